#include "NativeTrace.h"

#include <cstdio>
#include <mutex>

#include "CheckedJni.h"
#include "JavaStrings.h"
#include "NativeUtil.h"

std::atomic<jclass> NativeTrace::the_class{nullptr};
jmethodID NativeTrace::IDtrace = nullptr;
std::atomic<int> NativeTrace::traceflag{0};
jmethodID NativeTrace::IDentry = nullptr;
jmethodID NativeTrace::IDexit = nullptr;
jmethodID NativeTrace::IDtrace1 = nullptr;
jmethodID NativeTrace::IDtrace2 = nullptr;

namespace {
const char* const kTraceClass = "com/zel/ztservices/Trace";
const char* const kTwoStrings = "(Ljava/lang/String;Ljava/lang/String;)V";
const char* const kLevelAndTwoStrings = "(ILjava/lang/String;Ljava/lang/String;)V";
// The value line's buffer: the text, a blank and the value.
const size_t kValueLineSize = 52;

// Recursive: the host's "isOn" runs Java code that may itself call a native.
std::recursive_mutex fillLock;

// An output method the host class lacks leaves its identifier null, and its
// lines are skipped; that is not a failure of the call being traced, and the
// host is not told of it: the lookup's error is dropped, not taken aside.
jmethodID optionalStaticMethod(JNIEnv* env, jclass cls, const char* name, const char* sig) {
    // Raw calls: the one place an error is cleared rather than kept for the host.
    jmethodID id = env->GetStaticMethodID(cls, name, sig);
    if (id == nullptr && env->ExceptionCheck()) {
        env->ExceptionClear();
    }
    return id;
}
}  // namespace

NativeTrace::NativeTrace(JNIEnv* env) : env_(env) {
    if (the_class.load(std::memory_order_acquire) == nullptr) {
        fillCache(env);
    }
}

void NativeTrace::fillCache(JNIEnv* env) {
    int probe = 0;
    const char* message = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(fillLock);
        if (the_class.load(std::memory_order_acquire) != nullptr) {
            return;
        }
        jclass cls = jni::findClass(env, kTraceClass);
        if (cls == nullptr) {
            probe = 102;
            message = kTraceClass;
        } else {
            jmethodID isOnId = jni::staticMethodId(env, cls, "isOn", "()Z");
            if (isOnId == nullptr) {
                probe = 104;
                message = "isOn";
            } else {
                IDtrace = isOnId;
                jboolean on = JNI_FALSE;
                {
                    ExceptionStash::Harmless harmless;
                    on = jni::callStaticBooleanMethod(env, cls, isOnId);
                }
                traceflag.store(on ? 1 : 0, std::memory_order_relaxed);
                auto global = static_cast<jclass>(jni::newGlobalRef(env, cls));
                IDentry = optionalStaticMethod(env, global, "entry", kTwoStrings);
                IDexit = optionalStaticMethod(env, global, "exit", kTwoStrings);
                IDtrace1 = optionalStaticMethod(env, global, "trace", kTwoStrings);
                IDtrace2 = optionalStaticMethod(env, global, "trace", kLevelAndTwoStrings);
                the_class.store(global, std::memory_order_release);
            }
            jni::deleteLocalRef(env, cls);
        }
    }
    // Reported outside the lock: the logger is host code too.
    if (probe != 0) {
        DoException(env, 2, 2195, probe, message);
    }
}

void NativeTrace::UpdateTraceFlag() {
    jclass cls = the_class.load(std::memory_order_acquire);
    if (cls == nullptr) {
        return;
    }
    ExceptionStash::Harmless harmless;
    jboolean on = jni::callStaticBooleanMethod(env_, cls, IDtrace);
    traceflag.store(on ? 1 : 0, std::memory_order_relaxed);
}

void NativeTrace::entry(const char* className, const char* methodName) {
    if (isOn()) {
        callHost(IDentry, className, methodName);
    }
}

void NativeTrace::exit(const char* className, const char* methodName) {
    if (isOn()) {
        callHost(IDexit, className, methodName);
    }
}

void NativeTrace::trace(const char* methodName, const char* text) {
    if (isOn()) {
        callHost(IDtrace1, methodName, text);
    }
}

void NativeTrace::trace(int level, const char* methodName, const char* text) {
    if (isOn()) {
        callHost(IDtrace2, methodName, text, &level);
    }
}

void NativeTrace::trace(int level, const char* methodName, const char* text, int value) {
    if (!isOn()) {
        return;
    }
    char buffer[kValueLineSize];
    // snprintf cuts a text that is too long and always terminates.
    std::snprintf(buffer, sizeof buffer, "%s %d", text, value);
    trace(level, methodName, buffer);
}

void NativeTrace::callHost(jmethodID method, const char* first, const char* second,
                           const int* level) {
    jclass cls = the_class.load(std::memory_order_acquire);
    if (cls == nullptr || method == nullptr) {
        return;
    }
    ExceptionStash::Harmless harmless;
    // Deleted at once: a verb writes many lines, and a native's local
    // reference capacity is small.
    LocalRef<jstring> a(env_, newJavaString(env_, first));
    if (a.get() == nullptr) {
        return;
    }
    LocalRef<jstring> b(env_, newJavaString(env_, second));
    if (b.get() == nullptr) {
        return;
    }
    if (level != nullptr) {
        jni::callStaticVoidMethod(env_, cls, method, static_cast<jint>(*level), a.get(), b.get());
    } else {
        jni::callStaticVoidMethod(env_, cls, method, a.get(), b.get());
    }
}

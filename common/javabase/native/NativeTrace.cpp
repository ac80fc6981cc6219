#include "NativeTrace.h"

#include <cstdio>
#include <mutex>

#include "ExceptionStash.h"
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
// lines are skipped; that is not a failure of the call being traced.
jmethodID optionalStaticMethod(JNIEnv* env, jclass cls, const char* name, const char* sig) {
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
        jclass cls = env->FindClass(kTraceClass);
        ExceptionStash::park(env);
        if (cls == nullptr) {
            probe = 102;
            message = kTraceClass;
        } else {
            jmethodID isOnId = env->GetStaticMethodID(cls, "isOn", "()Z");
            ExceptionStash::park(env);
            if (isOnId == nullptr) {
                probe = 104;
                message = "isOn";
            } else {
                IDtrace = isOnId;
                jboolean on = env->CallStaticBooleanMethod(cls, isOnId);
                ExceptionStash::parkHarmless(env);
                traceflag.store(on ? 1 : 0, std::memory_order_relaxed);
                auto global = static_cast<jclass>(env->NewGlobalRef(cls));
                IDentry = optionalStaticMethod(env, global, "entry", kTwoStrings);
                IDexit = optionalStaticMethod(env, global, "exit", kTwoStrings);
                IDtrace1 = optionalStaticMethod(env, global, "trace", kTwoStrings);
                IDtrace2 = optionalStaticMethod(env, global, "trace", kLevelAndTwoStrings);
                the_class.store(global, std::memory_order_release);
            }
            env->DeleteLocalRef(cls);
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
    jboolean on = env_->CallStaticBooleanMethod(cls, IDtrace);
    ExceptionStash::parkHarmless(env_);
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
    jstring a = newJavaString(env_, first);
    if (a == nullptr) {
        ExceptionStash::parkHarmless(env_);
    }
    jstring b = nullptr;
    if (a != nullptr) {
        b = newJavaString(env_, second);
        if (b == nullptr) {
            ExceptionStash::parkHarmless(env_);
        }
    }
    if (b != nullptr) {
        if (level != nullptr) {
            env_->CallStaticVoidMethod(cls, method, static_cast<jint>(*level), a, b);
        } else {
            env_->CallStaticVoidMethod(cls, method, a, b);
        }
        ExceptionStash::parkHarmless(env_);
    }
    // Deleted at once: a verb writes many lines, and a native's local
    // reference capacity is small.
    env_->DeleteLocalRef(b);
    env_->DeleteLocalRef(a);
}

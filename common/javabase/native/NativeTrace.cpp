#include "NativeTrace.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "CheckedJni.h"
#include "InternalError.h"
#include "JavaStrings.h"

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

// The Java string of one text of a trace line: kept (a global reference, not
// to be deleted) or made for the line (a local reference, deleted with it).
class LineString {
public:
    LineString(JNIEnv* env, jstring string, bool made) : env_(env), string_(string), made_(made) {}
    ~LineString() {
        if (made_ && string_ != nullptr) {
            checked::deleteLocalRef(env_, string_);
        }
    }
    LineString(LineString&& other) noexcept
        : env_(other.env_), string_(other.string_), made_(other.made_) {
        other.string_ = nullptr;
    }
    LineString(const LineString&) = delete;
    LineString& operator=(const LineString&) = delete;
    LineString& operator=(LineString&&) = delete;

    jstring get() const { return string_; }

private:
    JNIEnv* env_;
    jstring string_;
    bool made_;
};

LineString madeString(JNIEnv* env, const char* text) {
    return LineString(env, newJavaString(env, text), true);
}

// The Java strings of the constant texts of trace lines (class and method
// names, fixed texts), one global reference each, for the library's life.
// Found by the text's address; the text itself is compared too, so an address
// that held another text once is never given the wrong string. When the table
// is full, or no global reference can be had, a line makes its strings as
// before; a string that cannot be made at all leaves the line out, as before.
class KeptStrings {
public:
    LineString get(JNIEnv* env, const char* text) {
        const size_t start = slotOf(text);
        for (size_t i = 0; i < kProbes; ++i) {
            Entry& e = entries_[(start + i) % kEntries];
            const char* key = e.key.load(std::memory_order_acquire);
            if (key == nullptr) {
                return add(env, text);
            }
            if (key == text) {
                return kept(env, e, text);
            }
        }
        return madeString(env, text);
    }

private:
    static constexpr size_t kEntries = 1024;
    static constexpr size_t kProbes = 16;

    struct Entry {
        std::atomic<const char*> key{nullptr};
        char* copy = nullptr;
        jstring string = nullptr;
    };

    static size_t slotOf(const char* text) {
        const auto bits = reinterpret_cast<std::uintptr_t>(text);
        return static_cast<size_t>((bits ^ (bits >> 12)) * 0x9E3779B1u) % kEntries;
    }

    static LineString kept(JNIEnv* env, const Entry& e, const char* text) {
        if (std::strcmp(e.copy, text) == 0) {
            return LineString(env, e.string, false);
        }
        return madeString(env, text);
    }

    LineString add(JNIEnv* env, const char* text) {
        std::lock_guard<std::mutex> guard(lock_);
        const size_t start = slotOf(text);
        for (size_t i = 0; i < kProbes; ++i) {
            Entry& e = entries_[(start + i) % kEntries];
            const char* key = e.key.load(std::memory_order_relaxed);
            if (key == text) {
                return kept(env, e, text);
            }
            if (key != nullptr) {
                continue;
            }
            LineString made = madeString(env, text);
            char* copy = made.get() != nullptr ? strdup(text) : nullptr;
            if (copy == nullptr) {
                return made;
            }
            auto global = static_cast<jstring>(checked::newGlobalRef(env, made.get()));
            if (global == nullptr) {
                std::free(copy);
                return made;
            }
            e.copy = copy;
            e.string = global;
            e.key.store(text, std::memory_order_release);
            return LineString(env, global, false);
        }
        return madeString(env, text);
    }

    Entry entries_[kEntries];
    std::mutex lock_;
};
KeptStrings keptStrings;

// The text of "%s %d" without a formatter: the value's digits written from
// the end of a small buffer.
void formatValueLine(char* out, size_t size, const char* text, int value) {
    char digits[12];
    char* d = digits + sizeof digits;
    // Widened first: the most negative int has no positive counterpart.
    long long v = value;
    const bool negative = v < 0;
    unsigned long long magnitude = negative ? static_cast<unsigned long long>(-v)
                                            : static_cast<unsigned long long>(v);
    do {
        *--d = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        *--d = '-';
    }
    // Cut, like snprintf, to what fits with the NUL.
    size_t at = 0;
    for (const char* p = text; *p != '\0' && at + 1 < size; ++p) {
        out[at++] = *p;
    }
    if (at + 1 < size) {
        out[at++] = ' ';
    }
    for (const char* p = d; p < digits + sizeof digits && at + 1 < size; ++p) {
        out[at++] = *p;
    }
    out[at] = '\0';
}

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

void NativeTrace::fillCache(JNIEnv* env) {
    int probe = 0;
    const char* message = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(fillLock);
        if (the_class.load(std::memory_order_acquire) != nullptr) {
            return;
        }
        jclass cls = checked::findClass(env, kTraceClass);
        if (cls == nullptr) {
            probe = 102;
            message = kTraceClass;
        } else {
            jmethodID isOnId = checked::staticMethodId(env, cls, "isOn", "()Z");
            if (isOnId == nullptr) {
                probe = 104;
                message = "isOn";
            } else {
                IDtrace = isOnId;
                jboolean on = JNI_FALSE;
                {
                    ExceptionStash::Harmless harmless;
                    on = checked::callStaticBooleanMethod(env, cls, isOnId);
                }
                traceflag.store(on ? 1 : 0, std::memory_order_relaxed);
                auto global = static_cast<jclass>(checked::newGlobalRef(env, cls));
                IDentry = optionalStaticMethod(env, global, "entry", kTwoStrings);
                IDexit = optionalStaticMethod(env, global, "exit", kTwoStrings);
                IDtrace1 = optionalStaticMethod(env, global, "trace", kTwoStrings);
                IDtrace2 = optionalStaticMethod(env, global, "trace", kLevelAndTwoStrings);
                the_class.store(global, std::memory_order_release);
            }
            checked::deleteLocalRef(env, cls);
        }
    }
    // Reported outside the lock: the logger is host code too.
    if (probe != 0) {
        raiseInternalError(env, probe, message);
    }
}

void NativeTrace::UpdateTraceFlag() {
    jclass cls = the_class.load(std::memory_order_acquire);
    if (cls == nullptr) {
        return;
    }
    ExceptionStash::Harmless harmless;
    const int on = checked::callStaticBooleanMethod(env_, cls, IDtrace) ? 1 : 0;
    // Written only when it changes: every verb on every thread refreshes it,
    // and a write of the same value would still take the line from the other
    // cores, which test it before every trace line.
    if (traceflag.load(std::memory_order_relaxed) != on) {
        traceflag.store(on, std::memory_order_relaxed);
    }
}

void NativeTrace::traceValue(int level, const char* methodName, const char* text, int value) {
    char buffer[kValueLineSize];
    formatValueLine(buffer, sizeof buffer, text, value);
    callHost(IDtrace2, methodName, buffer, false, &level);
}

void NativeTrace::callHost(jmethodID method, const char* first, const char* second,
                           bool secondKept, const int* level) {
    jclass cls = the_class.load(std::memory_order_acquire);
    if (cls == nullptr || method == nullptr) {
        return;
    }
    ExceptionStash::Harmless harmless;
    // A string made for the line is deleted with it: a verb writes many lines,
    // and a native's local reference capacity is small.
    LineString a = keptStrings.get(env_, first);
    if (a.get() == nullptr) {
        return;
    }
    LineString b = secondKept ? keptStrings.get(env_, second) : madeString(env_, second);
    if (b.get() == nullptr) {
        return;
    }
    if (level != nullptr) {
        checked::callStaticVoidMethod(env_, cls, method, static_cast<jint>(*level), a.get(),
                                      b.get());
    } else {
        checked::callStaticVoidMethod(env_, cls, method, a.get(), b.get());
    }
}

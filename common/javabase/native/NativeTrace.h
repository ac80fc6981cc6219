// Trace scope: every diagnostic line of the bridge goes to the host's trace class
// "com/zel/ztservices/Trace" through one of these. The host class, its method
// identifiers and the trace flag are cached once per library; while the flag is
// off a line costs one load and one test.
#ifndef NATIVE_TRACE_H
#define NATIVE_TRACE_H

#include <jni.h>

#include <atomic>
#include <new>

class NativeTrace {
public:
    // Fills the cache on first use; raises NativeError (probe 102 or 104) when the
    // host trace class or its "isOn" cannot be found.
    explicit NativeTrace(JNIEnv* env) : env_(env) {
        if (the_class.load(std::memory_order_acquire) == nullptr) {
            fillCache(env);
        }
    }
    // For destructors, which must not raise: uses the cache only if it is
    // filled already, and writes nothing otherwise.
    NativeTrace(JNIEnv* env, std::nothrow_t) noexcept : env_(env) {}
    ~NativeTrace() = default;
    NativeTrace(const NativeTrace&) = delete;
    NativeTrace& operator=(const NativeTrace&) = delete;

    // Asks the host whether tracing is on; only the verbs call this.
    void UpdateTraceFlag();

    // Class and method names, and the texts of these lines, are the same on
    // every call: each becomes a Java string once per library, kept.
    // While tracing is off a line is one load and one test, inline: every
    // converter and helper writes several on every call.
    void entry(const char* className, const char* methodName) {
        if (isOn()) {
            callHost(IDentry, className, methodName, true);
        }
    }
    void exit(const char* className, const char* methodName) {
        if (isOn()) {
            callHost(IDexit, className, methodName, true);
        }
    }
    void trace(const char* methodName, const char* text) {
        if (isOn()) {
            callHost(IDtrace1, methodName, text, true);
        }
    }
    void trace(int level, const char* methodName, const char* text) {
        if (isOn()) {
            callHost(IDtrace2, methodName, text, true, &level);
        }
    }
    // A text made for this line (a value read or written): a Java string of
    // its own, not kept.
    void traceMade(int level, const char* methodName, const char* text) {
        if (isOn()) {
            callHost(IDtrace2, methodName, text, false, &level);
        }
    }
    // The text and the value as "%s %d".
    void trace(int level, const char* methodName, const char* text, int value) {
        if (isOn()) {
            traceValue(level, methodName, text, value);
        }
    }

    static bool isOn() { return traceflag.load(std::memory_order_relaxed) != 0; }

    // Process-wide cache of this library. the_class is published last, so a
    // thread that sees it set also sees every identifier.
    static std::atomic<jclass> the_class;
    // The name is the host's design; it holds the identifier of "isOn", not
    // of a trace method (those are IDtrace1 and IDtrace2).
    static jmethodID IDtrace;
    static std::atomic<int> traceflag;
    static jmethodID IDentry;
    static jmethodID IDexit;
    static jmethodID IDtrace1;
    static jmethodID IDtrace2;

private:
    static void fillCache(JNIEnv* env);
    void traceValue(int level, const char* methodName, const char* text, int value);
    void callHost(jmethodID method, const char* first, const char* second, bool secondKept,
                  const int* level = nullptr);

    JNIEnv* env_;
};

#endif

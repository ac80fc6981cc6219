// A proxy JNI environment: hand `proxy.env()` to a native instead of the real
// environment, and every JNI call the native makes goes through a wrapper that
// counts it, may make it fail on demand, and otherwise forwards it to the real
// function with the REAL environment (the checked JNI of -Xcheck:jni insists on
// the real pointer). Every entry of the table is wrapped, so any call can be
// counted or made to fail.
#pragma once

#include "JniFunctions.h"

#include <jni.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace zt::test {

// One enumerator per JNI function, named like the function.
enum class Fn : int {
#define ZT_FN_ENUM(name) name,
#define ZT_FN_ENUM_V(name, shape) name,
    ZT_JNI_PLAIN(ZT_FN_ENUM) ZT_JNI_VARIADIC(ZT_FN_ENUM_V)
#undef ZT_FN_ENUM
#undef ZT_FN_ENUM_V
        Count
};

constexpr int kFnCount = static_cast<int>(Fn::Count);

const char* fnName(Fn f);

// Counts kept per proxy, in the categories a cost table needs.
struct JniCounts {
    long total = 0;
    long classLookups = 0;   // FindClass, GetObjectClass, GetSuperclass
    long fieldLookups = 0;   // GetFieldID, GetStaticFieldID
    long methodLookups = 0;  // GetMethodID, GetStaticMethodID
    long stringsCreated = 0; // NewStringUTF, NewString
    long lookups() const { return classLookups + fieldLookups + methodLookups; }
};

class JniProxy {
public:
    // Default: what the JVM would raise when the call fails, by function:
    // lookups raise NoClassDefFoundError / NoSuchFieldError / NoSuchMethodError
    // with the looked-up name as message; allocations (New*, Get*Chars,
    // Get*ArrayElements, critical sections) OutOfMemoryError; Call*Method*
    // RuntimeException; everything else raises nothing.
    static constexpr const char* kDefaultError = "<default>";

    // Wraps the calling thread's real environment (zt::test::env() by default).
    explicit JniProxy(JNIEnv* real = nullptr);
    ~JniProxy();
    JniProxy(const JniProxy&) = delete;
    JniProxy& operator=(const JniProxy&) = delete;

    JNIEnv* env() { return reinterpret_cast<JNIEnv*>(&proxyEnv_); }
    JNIEnv* real() const { return real_; }

    // --- counting -------------------------------------------------------
    // The "..." and V forms of a call (CallIntMethod, CallIntMethodV) are one
    // function here: C++ natives reach the V form through jni.h's inline
    // wrappers. They count, fail and hook together, under the "..." name.
    long count(Fn f) const;
    JniCounts counts() const;
    long total() const { return counts().total; }
    // "FindClass=1 GetFieldID=3 ..." for every function called at least once.
    std::string summary() const;
    void resetCounts(); // also resets maxLocalRefs()

    // Local references the native made through the proxy: the most it held
    // at once in any one frame (its own, or one it pushed through the proxy).
    // Each frame is also held to what -Xcheck:jni of the JDK 17 updates that
    // still check it plans for (32 for a native's own frame; n + 32 over what
    // the frame holds after PushLocalFrame(n) or EnsureLocalCapacity(n)): a
    // frame holding more is misuse, whatever this JDK checks.
    long maxLocalRefs() const { return maxLocal_; }
    long liveLocalRefs() const { return frames_.back().live; }

    // --- failure injection ----------------------------------------------
    // The nth next call of f (1 = the very next) and the times-1 calls after
    // it fail: the real function is not called, the wrapper returns
    // null/0/false (JNI_ENOMEM for PushLocalFrame and EnsureLocalCapacity, as
    // the JVM) and raises `error` (a class name like
    // "java/lang/NoSuchFieldError", "" for none, kDefaultError for what the
    // JVM would raise). times < 0: fail every call from the nth on.
    void failCall(Fn f, int nth = 1, int times = 1, const char* error = kDefaultError);
    void clearFailures();
    // How many calls were made to fail so far.
    long failuresInjected() const { return injected_; }

    // --- hooks ------------------------------------------------------------
    // Runs before every call of f (before counting is visible to the hook's
    // own real-env calls, which are not counted). Use it to change Java state
    // in the middle of a native, e.g. switch tracing on.
    void before(Fn f, std::function<void()> hook);

    // --- misuse seen by the proxy ------------------------------------------
    // Calls made while an exception was known to be pending (one the proxy
    // injected, one the native raised with Throw/ThrowNew through the proxy,
    // or the one a lookup or allocation returning null signals), other than
    // the calls JNI allows then (Exception*, Release*, Delete*, frames,
    // MonitorExit). -Xcheck:jni catches the rest.
    const std::vector<std::string>& misuse() const { return misuse_; }
    // takePendingException() tells every live proxy; call it yourself after
    // clearing an exception through the real environment.
    void exceptionTaken() { pendingFrom_.clear(); }
    static void exceptionTakenAll();
    // LocalFrame tells every live proxy that a native's frame starts afresh.
    static void nativeFrameStartedAll();

    // Called by the generated wrappers.
    struct Call;
    bool enter(Fn f);                       // true: make this call fail
    void raiseFor(Fn f, const char* name);  // raise the scheduled error
    void afterResult(Fn f, bool nullResult);
    void localRefMade();
    void localRefDeleted();
    void capacityAsked(Fn f, jint capacity);
    void framePopped(bool resultKept);

private:
    struct ProxyEnv {
        const JNINativeInterface_* functions;
        JniProxy* owner;
    };
    struct Failure {
        int countdown = 0; // calls still to pass before the first failure
        int times = 0;     // failures left; <0 forever
        std::string error;
    };

    JNIEnv* real_;
    JNINativeInterface_ table_;
    ProxyEnv proxyEnv_;
    std::array<long, kFnCount> counts_{};
    std::array<Failure, kFnCount> failures_{};
    std::array<std::function<void()>, kFnCount> hooks_{};
    std::vector<std::string> misuse_;
    std::string pendingFrom_; // non-empty: an exception is known to be pending
    std::string scheduledError_;
    long injected_ = 0;
    struct Frame {
        long live = 0;
        long planned = 32;
        bool overrun = false;
    };
    std::vector<Frame> frames_{Frame{}};
    long maxLocal_ = 0;

public:
    static JniProxy* owner(JNIEnv* e) { return reinterpret_cast<ProxyEnv*>(e)->owner; }
};

} // namespace zt::test

// A Java exception raised while a native still has JNI calls to make (a failed
// lookup before the logger call, a host method that threw before the write-back,
// a trace method that threw) is taken aside, so that no JNI call ever runs with an
// exception pending, and thrown again just before the native returns, so that the
// host still sees it. Exceptions are taken aside by the checked calls
// (CheckedJni.h) and raised again by the boundary (NativeBoundary.h); other
// code only asks raised() or opens a Harmless scope.
#ifndef EXCEPTION_STASH_H
#define EXCEPTION_STASH_H

#include <jni.h>

class ExceptionStash {
public:
    // Opened by the boundary of each exported native, on the call's environment.
    explicit ExceptionStash(JNIEnv* env);
    // Raises the first exception taken aside, unless another is pending.
    ~ExceptionStash();
    ExceptionStash(const ExceptionStash&) = delete;
    ExceptionStash& operator=(const ExceptionStash&) = delete;

    // After a JNI call that can raise: takes a pending exception aside. Outside
    // any native (no stash open on this thread) the exception stays pending.
    // What is parked here marks the call as failed (a record being built when
    // it was raised is not what the caller meant), unless a Harmless scope is
    // open.
    static void park(JNIEnv* env);
    // For JNI calls whose null result is the only sign that they raised: the
    // exception test is made only then.
    template <typename T>
    static T parkIfNull(JNIEnv* env, T result) {
        if (result == nullptr) {
            park(env);
        }
        return result;
    }
    // Whether the running call met an exception that fails it: one parked
    // (outside a Harmless scope) in the native running on this thread, or,
    // outside any native, one pending.
    static bool raised(JNIEnv* env);
    // The exception taken aside by the native running on this thread, or null.
    // A local frame that ends carries it out (PopLocalFrame's result) and
    // hands the stash the reference that outlives the frame.
    static jthrowable parkedException();
    static void carriedOut(jthrowable outlives);

    // Where a failure leaves the call's records intact (the trace facility,
    // diagnostics only, and the holder binding): what is parked while one is
    // open is still thrown at return, but never fails the call.
    class Harmless {
    public:
        Harmless();
        ~Harmless();
        Harmless(const Harmless&) = delete;
        Harmless& operator=(const Harmless&) = delete;
    };

private:
    JNIEnv* env_;
    ExceptionStash* outer_;
    int outerHarmlessDepth_;
    jthrowable parked_ = nullptr;
    bool failed_ = false;
};

#endif

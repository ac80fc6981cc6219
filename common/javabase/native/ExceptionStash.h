// A Java exception raised while a native still has JNI calls to make (a failed
// lookup before the logger call, a host method that threw before the write-back,
// a trace method that threw) is taken aside, so that no JNI call ever runs with an
// exception pending, and thrown again just before the native returns, so that the
// host still sees it.
#ifndef EXCEPTION_STASH_H
#define EXCEPTION_STASH_H

#include <jni.h>

class ExceptionStash {
public:
    // Opened first thing in each exported native, on the call's environment.
    explicit ExceptionStash(JNIEnv* env);
    // Raises the first exception taken aside, unless another is pending.
    ~ExceptionStash();
    ExceptionStash(const ExceptionStash&) = delete;
    ExceptionStash& operator=(const ExceptionStash&) = delete;

    // After a JNI call that can raise: takes a pending exception aside. Outside
    // any native (no stash open on this thread) the exception stays pending.
    // What is parked here marks the call as failed: a record being built when
    // it was raised is not what the caller meant.
    static void park(JNIEnv* env);
    // The same where a failure leaves the call's records intact: the trace
    // facility (diagnostics only) and the holder binding. What is parked here
    // is still thrown at return, but never fails the call.
    static void parkHarmless(JNIEnv* env);
    // Whether anything but a harmless exception was parked in the native running on
    // this thread.
    static bool failed();
    // For JNI calls whose null result is the only sign that they raised: the
    // exception test is made only then.
    template <typename T>
    static T parkIfNull(JNIEnv* env, T result) {
        if (result == nullptr) {
            park(env);
        }
        return result;
    }

private:
    static void take(JNIEnv* env, bool failure);

    JNIEnv* env_;
    ExceptionStash* outer_;
    jthrowable parked_ = nullptr;
    bool failed_ = false;
};

#endif

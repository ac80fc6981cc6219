// Local frames. Local references a test makes live in one of three levels of
// frame, innermost last:
//
//  1. per test: zt_harness_main (main.cpp) pushes a frame of 256 before each
//     test and pops it after, so references a test makes directly (newPint,
//     newObject ... outside any callNative) go with the test and do not pile
//     up across the tests of a process;
//  2. per native call: callNative() runs the call inside a LocalFrame(32),
//     the frame HotSpot gives a native (-Xcheck:jni warns beyond 32 local
//     references), so a native is held to what the JVM would give it; objects
//     it returns die with that frame and must be read inside the call;
//  3. per helper: every helper (getInt, newObject, callObject ...) works in a
//     Scope, a frame of its own (16), and hands back at most one reference,
//     moved out to the frame it was called in (Scope::keep); a pending
//     exception the native left is kept aside meanwhile and raised again.
//
// So a helper called inside callNative() leaves its result in the native's
// frame, and one called in the test body leaves it in the test's frame.
#include "HelperScope.h"
#include "JniProxy.h"
#include "Jvm.h"

namespace zt::test {

// --- native calls (level 2) ---------------------------------------------------

LocalFrame::LocalFrame(int capacity) : env_(env()) {
    if (env_->PushLocalFrame(capacity) != 0) {
        env_->ExceptionClear();
        throw JavaError("PushLocalFrame(" + std::to_string(capacity) + ") failed");
    }
    JniProxy::nativeFrameStartedAll();
}

LocalFrame::~LocalFrame() {
    // Returning from a native ends the JVM's "exception not checked" state;
    // the check does the same here and leaves a pending exception in place.
    env_->ExceptionCheck();
    env_->PopLocalFrame(nullptr);
}

void callNative(const std::function<void()>& fn) {
    LocalFrame frame(32);
    fn();
}

// --- helpers (level 3) ---------------------------------------------------------

namespace detail {

Scope::Scope(int capacity) : e_(zt::test::env()) {
    if (e_->ExceptionCheck()) {
        jthrowable t = e_->ExceptionOccurred();
        e_->ExceptionClear();
        saved_ = static_cast<jthrowable>(e_->NewGlobalRef(t));
        e_->DeleteLocalRef(t);
    }
    if (e_->PushLocalFrame(capacity) != 0) {
        e_->ExceptionClear();
        restore();
        throw JavaError("PushLocalFrame failed");
    }
    framed_ = true;
}

Scope::~Scope() {
    if (framed_) e_->PopLocalFrame(nullptr);
    restore();
}

void Scope::check(const std::string& what) {
    if (!e_->ExceptionCheck()) return;
    jthrowable t = e_->ExceptionOccurred();
    e_->ExceptionClear();
    Thrown d = describe(e_, t);
    e_->DeleteLocalRef(t);
    throw JavaError(what + ": " + d.className + (d.message.empty() ? "" : ": " + d.message));
}

void Scope::restore() {
    if (!saved_) return;
    e_->Throw(saved_);
    e_->DeleteGlobalRef(saved_);
    saved_ = nullptr;
}

} // namespace detail

} // namespace zt::test

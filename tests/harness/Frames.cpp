// Local frames. Local references a test makes live in one of three levels of
// frame, innermost last:
//
//  1. per test: zt_harness_main (main.cpp) pushes a frame of 64 before each
//     test and pops it after, so references a test makes directly (newPint,
//     newObject ... outside any callNative) go with the test and do not pile
//     up across the tests of a process;
//  2. per native call: callNative() runs the call inside a LocalFrame(32),
//     the frame HotSpot gives a native, so objects it returns die with that
//     frame and must be read inside the call; a native called through the
//     proxy environment is also held to what -Xcheck:jni of earlier JDK 17
//     updates plans for its frames (JniProxy::maxLocalRefs), which later
//     updates no longer check;
//  3. per helper: every helper (getInt, newObject, callObject ...) works in a
//     Scope, a frame of its own (16), and hands back at most one reference,
//     moved out to the frame it was called in (Scope::keep); a pending
//     exception the native left is kept aside meanwhile and raised again.
//
// So a helper called inside callNative() leaves its result in the native's
// frame, and one called in the test body leaves it in the test's frame.
//
// Each level counts the references helpers hand back into it and fails the
// test when that passes its capacity, whatever the JDK update checks: a test
// that calls helpers in a loop opens a LocalFrame per round, or gives what
// it is done with back through deleteLocalRef().
#include "HelperScope.h"
#include "JniProxy.h"
#include "Jvm.h"

#include <gtest/gtest.h>

#include <vector>

namespace zt::test {

namespace detail {
namespace {
struct OpenFrame {
    int capacity;
    int held;
};
thread_local std::vector<OpenFrame> openFrames;
}  // namespace

void frameOpened(int capacity) { openFrames.push_back({capacity, 0}); }

void frameClosed() {
    if (!openFrames.empty()) openFrames.pop_back();
}

void referenceHandedBack() {
    if (openFrames.empty()) return;
    OpenFrame& f = openFrames.back();
    if (++f.held == f.capacity + 1)
        ADD_FAILURE() << "a local frame of " << f.capacity
                      << " references is given more by the harness's helpers: release them "
                         "(deleteLocalRef) or open a LocalFrame for each round of the loop";
}

void referenceReleased() {
    if (!openFrames.empty() && openFrames.back().held > 0) --openFrames.back().held;
}
}  // namespace detail

void deleteLocalRef(jobject ref) {
    if (ref == nullptr) return;
    env()->DeleteLocalRef(ref);
    detail::referenceReleased();
}

// --- native calls (level 2) ---------------------------------------------------

LocalFrame::LocalFrame(int capacity) : env_(env()) {
    if (env_->PushLocalFrame(capacity) != 0) {
        env_->ExceptionClear();
        throw JavaError("PushLocalFrame(" + std::to_string(capacity) + ") failed");
    }
    detail::frameOpened(capacity);
    JniProxy::nativeFrameStartedAll();
}

LocalFrame::~LocalFrame() {
    // Returning from a native ends the JVM's "exception not checked" state;
    // the check does the same here and leaves a pending exception in place.
    env_->ExceptionCheck();
    env_->PopLocalFrame(nullptr);
    detail::frameClosed();
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
    frameOpened(capacity);
}

Scope::~Scope() {
    if (framed_) {
        e_->PopLocalFrame(nullptr);
        frameClosed();
    }
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

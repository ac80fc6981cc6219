// Internal to the harness (tests include Jvm.h, not this): the frame and
// exception handling every helper works in, and the lookups the helpers of
// several files share.
#pragma once

#include "Jvm.h"

#include <jni.h>

#include <string>

namespace zt::test::detail {

// Describes a throwable without leaving anything pending; the caller owns t.
Thrown describe(JNIEnv* e, jthrowable t);

// What the helpers hand back, counted per open frame (the per-test frame, a
// LocalFrame, a Scope): a frame that would have to hold more than it was
// opened for fails the test. The JVM's own check of this varies from one
// JDK update to the next, so the harness keeps its own.
void frameOpened(int capacity);
void frameClosed();
void referenceHandedBack();
void referenceReleased();

// What every helper does around its JNI calls: keeps aside an exception left
// pending by the code under test (raised again at the end), works in a local
// frame of its own, and turns a Java exception of its own into JavaError.
// (The third of the frame levels described at the top of Frames.cpp.)
class Scope {
public:
    explicit Scope(int capacity = 16);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    JNIEnv* env() const { return e_; }

    // Throws JavaError if the last call raised an exception.
    void check(const std::string& what);

    // Ends the frame, keeping one local reference (moved to the outer frame).
    template <typename T>
    T keep(T ref) {
        framed_ = false;
        frameClosed();
        T kept = static_cast<T>(e_->PopLocalFrame(ref));
        if (kept != nullptr) referenceHandedBack();
        return kept;
    }

private:
    void restore();

    JNIEnv* e_;
    jthrowable saved_ = nullptr;
    bool framed_ = false;
};

// Member lookups that turn a Java error into JavaError.
jfieldID fieldId(Scope& s, jobject obj, const char* field, const char* sig);
jmethodID methodId(Scope& s, jclass cls, const char* method, const char* sig, bool isStatic);
// The UTF-8 text of a string that is not null.
std::string utf(Scope& s, jstring str);

}  // namespace zt::test::detail

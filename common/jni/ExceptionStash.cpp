#include "ExceptionStash.h"

namespace {
// The thread's state is read around nearly every JNI call: initial-exec keeps
// each read a plain load (no call into the dynamic linker). The few bytes come
// from the room glibc keeps for libraries loaded later.
// The stash of the native running on this thread; natives may nest when a host
// method that a native calls calls a native in turn.
[[gnu::tls_model("initial-exec")]] thread_local ExceptionStash* current = nullptr;
// Open Harmless scopes on this thread.
[[gnu::tls_model("initial-exec")]] thread_local int harmlessDepth = 0;
}

ExceptionStash::ExceptionStash(JNIEnv* env)
    : env_(env), outer_(current), outerHarmlessDepth_(harmlessDepth) {
    current = this;
    // A native called from a trace method is a call of its own.
    harmlessDepth = 0;
}

ExceptionStash::~ExceptionStash() {
    current = outer_;
    harmlessDepth = outerHarmlessDepth_;
    if (parked_ == nullptr) {
        return;
    }
    if (!env_->ExceptionCheck()) {
        env_->Throw(parked_);
    }
    env_->DeleteLocalRef(parked_);
}

ExceptionStash::Harmless::Harmless() {
    ++harmlessDepth;
}

ExceptionStash::Harmless::~Harmless() {
    --harmlessDepth;
}

bool ExceptionStash::raised(JNIEnv* env) {
    if (current == nullptr) {
        return env->ExceptionCheck();
    }
    return current->failed_;
}

void ExceptionStash::park(JNIEnv* env) {
    if (!env->ExceptionCheck() || current == nullptr) {
        return;
    }
    current->failed_ = current->failed_ || harmlessDepth == 0;
    jthrowable thrown = env->ExceptionOccurred();
    env->ExceptionClear();
    // The first exception is the cause; later ones are consequences of it.
    if (current->parked_ == nullptr) {
        current->parked_ = thrown;
    } else {
        env->DeleteLocalRef(thrown);
    }
}

jthrowable ExceptionStash::parkedException() {
    return current != nullptr ? current->parked_ : nullptr;
}

void ExceptionStash::carriedOut(jthrowable outlives) {
    if (current != nullptr) {
        current->parked_ = outlives;
    }
}

#include "ExceptionStash.h"

namespace {
// The stash of the native running on this thread; natives may nest when a host
// method that a native calls calls a native in turn.
thread_local ExceptionStash* current = nullptr;
}

ExceptionStash::ExceptionStash(JNIEnv* env) : env_(env), outer_(current) {
    current = this;
}

ExceptionStash::~ExceptionStash() {
    current = outer_;
    if (parked_ == nullptr) {
        return;
    }
    if (!env_->ExceptionCheck()) {
        env_->Throw(parked_);
    }
    env_->DeleteLocalRef(parked_);
}

void ExceptionStash::park(JNIEnv* env) {
    take(env, true);
}

void ExceptionStash::parkHarmless(JNIEnv* env) {
    take(env, false);
}

bool ExceptionStash::failed() {
    return current != nullptr && current->failed_;
}

void ExceptionStash::take(JNIEnv* env, bool failure) {
    if (current == nullptr || !env->ExceptionCheck()) {
        return;
    }
    current->failed_ = current->failed_ || failure;
    jthrowable thrown = env->ExceptionOccurred();
    env->ExceptionClear();
    // The first exception is the cause; later ones are consequences of it.
    if (current->parked_ == nullptr) {
        current->parked_ = thrown;
    } else {
        env->DeleteLocalRef(thrown);
    }
}

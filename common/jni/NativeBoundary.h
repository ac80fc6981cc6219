// The one way out of every exported native, in all three libraries, whatever
// it returns: a Java exception taken aside during the call (ExceptionStash) is
// raised again as the native returns, and nothing C++ crosses into the JVM.
// What the native returns, and writes, when the body fails is `onFailure`'s
// to say: 2 and 2195 in the holders for a session verb, -1 for an XA native.
#ifndef NATIVE_BOUNDARY_H
#define NATIVE_BOUNDARY_H

#include <jni.h>

#include "ExceptionStash.h"

template <typename Body, typename OnFailure>
auto nativeBoundary(JNIEnv* env, Body&& body, OnFailure&& onFailure) noexcept -> decltype(body()) {
    ExceptionStash stash(env);
    try {
        return body();
    } catch (...) {
        return onFailure();
    }
}

#endif

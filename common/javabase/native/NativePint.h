// Binding of the host's integer holder "com/zel/zt/Pint" (one int field "x").
// Built anew by every verb that writes a holder; nothing is cached.
#ifndef NATIVE_PINT_H
#define NATIVE_PINT_H

#include <jni.h>

class NativePint {
public:
    // Raises NativeError (probe 102) when the class is missing. A class without
    // "x" leaves xFieldID null and raises nothing.
    explicit NativePint(JNIEnv* env);
    ~NativePint() = default;

    jfieldID xFieldID = nullptr;
};

#endif

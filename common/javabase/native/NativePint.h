// Binding of the host's integer holder "com/zel/zt/Pint" (one int field "x").
// The class is the one this library's class loader resolves, and the library
// lives exactly as long as that loader: its identifier, once found, is kept for
// every later call, without holding the class.
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

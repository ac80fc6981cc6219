// Java strings from bytes that came from outside the JVM (record fields the
// queue manager filled, names cut to a field's width). NewStringUTF takes only
// modified UTF-8; anything else is undefined behaviour in the JVM, so such
// bytes are decoded here first.
#ifndef JAVA_STRINGS_H
#define JAVA_STRINGS_H

#include <jni.h>

#include <cstddef>

// True when the NUL-terminated bytes are well-formed modified UTF-8: what
// NewStringUTF takes as it is.
bool isModifiedUtf8(const char* bytes);

// A new Java string, or null with the JVM's exception taken aside. Modified UTF-8
// goes through NewStringUTF unchanged; otherwise a standard 4-byte UTF-8
// sequence becomes its surrogate pair and every byte that starts no
// well-formed sequence becomes U+FFFD.
jstring newJavaString(JNIEnv* env, const char* bytes);

#endif

// JNI access helpers shared by the converters and verbs, exported under their
// plain names. Lookups that fail are reported to the host's internal-exception
// logger and raised as NativeError; readers and writers given a null identifier
// do nothing (readers give 0 or null).
#ifndef NATIVE_UTIL_H
#define NATIVE_UTIL_H

#include <jni.h>

#include "NativeError.h"

#define ZT_EXPORT __attribute__((visibility("default")))

extern "C" {

// Lookups: a null result traces the missing name and raises NativeError
// (probe 103 for a field, 104 for a method).
ZT_EXPORT jfieldID GetFieldID(JNIEnv* env, jclass cls, const char* name, const char* sig);
ZT_EXPORT jmethodID GetMethodID(JNIEnv* env, jclass cls, const char* name, const char* sig);
ZT_EXPORT jmethodID GetStaticMethodID(JNIEnv* env, jclass cls, const char* name,
                                      const char* sig);

// Not JNI's functions of the same names (env->GetIntField) nor the checked
// calls (checked::getIntField): these trace what they read or write and do nothing
// given a null identifier.
ZT_EXPORT jint GetIntField(JNIEnv* env, jobject obj, jfieldID id);
// The setters take the value before the object and identifier: the reverse of
// JNI's SetIntField(obj, id, value), an exported order that stays.
ZT_EXPORT void SetIntField(JNIEnv* env, jint value, jobject obj, jfieldID id);
// The character is widened as a signed 8-bit value.
ZT_EXPORT void SetCharField(JNIEnv* env, char value, jobject obj, jfieldID id);
// A new Java string from `length` bytes of `source`, up to its first NUL; at
// most 99 bytes (longer, or negative, raises NativeError with probe 103).
ZT_EXPORT void SetStringField(JNIEnv* env, const char* source, int length, jobject obj,
                              jfieldID id);

// The field's string as modified UTF-8, or null; pass it on at once to
// ZTCopyString, which releases it.
ZT_EXPORT const char* GetStringField(JNIEnv* env, jobject obj, jfieldID id, jstring* string);
// Copies into a fixed-width field: with its NUL when shorter than the field, cut
// to the width with no NUL otherwise. Releases the characters and ends the
// string's local reference.
ZT_EXPORT void ZTCopyString(JNIEnv* env, jstring string, const char* chars, char* destination,
                            int length);

// The field's array elements, or null; pass them on at once to ZTCopyByteArray.
ZT_EXPORT jbyte* GetByteArrayField(JNIEnv* env, jobject obj, jfieldID id, jbyteArray* array);
// Copies min(array length, length) bytes and releases the elements without
// copying back; ends the array's local reference.
ZT_EXPORT void ZTCopyByteArray(JNIEnv* env, jbyteArray array, jbyte* elements,
                               void* destination, int length);
// Stores a new byte array holding `length` bytes of `source`.
ZT_EXPORT void SetByteArrayField(JNIEnv* env, const void* source, int length, jobject obj,
                                 jfieldID id);

ZT_EXPORT jbyte* GetByteArrayElements(JNIEnv* env, jbyteArray array);
ZT_EXPORT jint* GetIntArrayElements(JNIEnv* env, jintArray array);

// Logs the probe and message to "com/zel/ztservices/ZTInternalException" and
// raises NativeError. Every caller passes completion code 2 and reason 2195.
[[noreturn]] ZT_EXPORT void DoException(JNIEnv* env, int compCode, int reason, int probe,
                                        const char* message);
}

#endif

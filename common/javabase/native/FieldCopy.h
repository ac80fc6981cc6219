// Field copies shared by the converters: a Java field into a fixed-width native
// field (the read helper followed at once by its copy), and the checks that keep
// a converter from reading a Java object or array that is not there.
#ifndef FIELD_COPY_H
#define FIELD_COPY_H

#include <jni.h>

#include "CheckedJni.h"
#include "FreeDeleter.h"
#include "NativeUtil.h"

inline void copyStringField(JNIEnv* env, jobject obj, jfieldID id, jstring& slot,
                            char* destination, int width) {
    const char* chars = GetStringField(env, obj, id, &slot);
    ZTCopyString(env, slot, chars, destination, width);
}

inline void copyByteArrayField(JNIEnv* env, jobject obj, jfieldID id, jbyteArray& slot,
                               void* destination, int width) {
    jbyte* elements = GetByteArrayField(env, obj, id, &slot);
    ZTCopyByteArray(env, slot, elements, destination, width);
}

// The class of an object the host passed in; a null object is the bridge's
// failure (its members cannot be looked up), not a crash.
jclass requireObjectClass(JNIEnv* env, jobject obj, const char* what);

// Raises NativeError (probe 103, naming the field) unless the array is there
// and holds at least `count` elements.
void requireRecords(JNIEnv* env, jobjectArray array, jint count, const char* field);

#endif

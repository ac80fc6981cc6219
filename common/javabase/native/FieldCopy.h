// Field copies shared by the converters: a Java field into a fixed-width native
// field (the read helper followed at once by its copy), and the checks that keep
// a converter from reading a Java object or array that is not there.
#ifndef FIELD_COPY_H
#define FIELD_COPY_H

#include <jni.h>

#include "CheckedJni.h"
#include "FreeDeleter.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

// While tracing is off no line shows what was read, so the copies read only
// what the native field takes, into memory of their own: no characters or
// elements lent by the JVM (a copy of the whole string or array made and freed
// on every read). With tracing on they go through the traced readers.
void copyStringRegion(JNIEnv* env, jobject obj, jfieldID id, char* destination, int width);
void copyByteArrayRegion(JNIEnv* env, jobject obj, jfieldID id, void* destination, int width);

inline void copyStringField(JNIEnv* env, jobject obj, jfieldID id, jstring& slot,
                            char* destination, int width) {
    if (!NativeTrace::isOn()) {
        copyStringRegion(env, obj, id, destination, width);
        return;
    }
    const char* chars = GetStringField(env, obj, id, &slot);
    ZTCopyString(env, slot, chars, destination, width);
}

inline void copyByteArrayField(JNIEnv* env, jobject obj, jfieldID id, jbyteArray& slot,
                               void* destination, int width) {
    if (!NativeTrace::isOn()) {
        copyByteArrayRegion(env, obj, id, destination, width);
        return;
    }
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

// Field copies shared by the converters: a Java field into a fixed-width native
// field (the read helper followed at once by its copy), and the checks that keep
// a converter from reading a Java object or array that is not there.
#ifndef FIELD_COPY_H
#define FIELD_COPY_H

#include <jni.h>

#include <cstring>

#include "CheckedJni.h"
#include "FreeDeleter.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

// While tracing is off no line shows what was read, so the copies read only
// what the native field takes, into memory of their own: no characters or
// elements lent by the JVM (a copy of the whole string or array made and freed
// on every read). With tracing on they go through the traced readers.
//
// A string copy tells whether it was exact: the field holds the whole string,
// plain ASCII, followed by a NUL, so that the write-back would make the same
// text from it (a null string, one cut to the width or one with other
// characters is not exact).
bool copyStringRegion(JNIEnv* env, jobject obj, jfieldID id, char* destination, int width);
void copyByteArrayRegion(JNIEnv* env, jobject obj, jfieldID id, void* destination, int width);

// Whether `bytes` (NUL-terminated) fit a field of `width` with their NUL and
// are plain ASCII.
bool copiedExactly(const char* bytes, int width);

inline bool copyStringField(JNIEnv* env, jobject obj, jfieldID id, jstring& slot, char* destination,
                            int width) {
    if (!NativeTrace::isOn()) {
        return copyStringRegion(env, obj, id, destination, width);
    }
    const char* chars = GetStringField(env, obj, id, &slot);
    const bool exact = chars != nullptr && copiedExactly(chars, width);
    ZTCopyString(env, slot, chars, destination, width);
    return exact;
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

// The int and character helpers (GetIntField, SetIntField, SetCharField)
// without their trace scope while tracing is off, when all it would do is test
// the flag: a converter reads and writes a dozen ints a call. A field that
// already holds the value is not written (checked::updateIntField); while
// tracing is on the write goes ahead, since its trace line shows the value.
inline jint readIntField(JNIEnv* env, jobject obj, jfieldID id) {
    if (!NativeTrace::isOn()) {
        return id != nullptr ? checked::getIntField(env, obj, id) : 0;
    }
    return GetIntField(env, obj, id);
}

inline void writeIntField(JNIEnv* env, jint value, jobject obj, jfieldID id) {
    if (!NativeTrace::isOn()) {
        if (id != nullptr) {
            checked::updateIntField(env, obj, id, value);
        }
        return;
    }
    SetIntField(env, value, obj, id);
}

inline void writeCharField(JNIEnv* env, char value, jobject obj, jfieldID id) {
    if (!NativeTrace::isOn()) {
        if (id != nullptr) {
            // Widened as SetCharField widens it: a signed 8-bit value.
            const auto widened = static_cast<jshort>(static_cast<signed char>(value));
            checked::updateCharField(env, obj, id, static_cast<jchar>(widened));
        }
        return;
    }
    SetCharField(env, value, obj, id);
}

// Write back only what moved. A field the copy-in read, exactly, and the queue
// manager left as the copy-in put it, already holds its value in the Java
// object: no JNI call is made for it. While tracing is on the write goes ahead,
// since its trace line shows the value. Byte arrays are not written through
// these: the host takes every one written back as a new array.
inline void writeBackInt(JNIEnv* env, jint value, jint copiedIn, jobject obj, jfieldID id) {
    if (NativeTrace::isOn()) {
        SetIntField(env, value, obj, id);
    } else if (value != copiedIn && id != nullptr) {
        // The field holds what the copy-in read: no read to make first.
        checked::setIntField(env, obj, id, value);
    }
}

inline void writeBackString(JNIEnv* env, const char* field, const char* copiedIn, int width,
                            bool exact, jobject obj, jfieldID id) {
    if (!exact || NativeTrace::isOn() ||
        std::memcmp(field, copiedIn, static_cast<size_t>(width)) != 0) {
        SetStringField(env, field, width, obj, id);
    }
}

// The class of an object the host passed in; a null object is the bridge's
// failure (its members cannot be looked up), not a crash.
jclass requireObjectClass(JNIEnv* env, jobject obj, const char* what);

// Raises NativeError (probe 103, naming the field) unless the array is there
// and holds at least `count` elements.
void requireRecords(JNIEnv* env, jobjectArray array, jint count, const char* field);

#endif

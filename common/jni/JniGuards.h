// Scope-owned JNI resources: each releases what it was given exactly once, on
// every path out of its scope, the native-error path included. A guard makes
// no JNI call but its release and takes what the checked calls (CheckedJni.h)
// obtained, so every library uses the same ones, whatever it does with errors.
#ifndef JNI_GUARDS_H
#define JNI_GUARDS_H

#include <jni.h>

// Modified UTF-8 characters of a Java string.
class StringChars {
public:
    StringChars(JNIEnv* env, jstring string, const char* chars)
        : env_(env), string_(string), chars_(chars) {}
    ~StringChars() {
        if (chars_ != nullptr) {
            env_->ReleaseStringUTFChars(string_, chars_);
        }
    }
    StringChars(const StringChars&) = delete;
    StringChars& operator=(const StringChars&) = delete;

    const char* get() const { return chars_; }

private:
    JNIEnv* env_;
    jstring string_;
    const char* chars_;
};

// Elements of a Java primitive array, released without copying back: what the
// queue manager wrote into them reaches Java only through explicit region copies.
template <typename ArrayType, typename ElementType,
          void (JNIEnv::*Release)(ArrayType, ElementType*, jint)>
class ArrayElements {
public:
    ArrayElements(JNIEnv* env, ArrayType array, ElementType* elements)
        : env_(env), array_(array), elements_(elements) {}
    ~ArrayElements() {
        if (elements_ != nullptr) {
            (env_->*Release)(array_, elements_, JNI_ABORT);
        }
    }
    ArrayElements(const ArrayElements&) = delete;
    ArrayElements& operator=(const ArrayElements&) = delete;

    ElementType* get() const { return elements_; }
    // The array is there but the JVM could not lend its elements.
    bool missing() const { return array_ != nullptr && elements_ == nullptr; }

private:
    JNIEnv* env_;
    ArrayType array_;
    ElementType* elements_;
};

using ByteArrayElements = ArrayElements<jbyteArray, jbyte, &JNIEnv::ReleaseByteArrayElements>;
using IntArrayElements = ArrayElements<jintArray, jint, &JNIEnv::ReleaseIntArrayElements>;

// A local reference ended at scope exit: element references fetched in loops,
// class references held by converters.
template <typename T>
class LocalRef {
public:
    LocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
    ~LocalRef() {
        if (ref_ != nullptr) {
            env_->DeleteLocalRef(ref_);
        }
    }
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;

    T get() const { return ref_; }
    // Ends the reference held, if any, and holds `ref`.
    void reset(T ref) {
        if (ref_ != nullptr) {
            env_->DeleteLocalRef(ref_);
        }
        ref_ = ref;
    }

private:
    JNIEnv* env_;
    T ref_;
};

#endif

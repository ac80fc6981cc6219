// Scope-owned JNI resources taken by the verbs: each is released exactly once,
// on every path out of the verb, the native-error path included.
#ifndef JNI_GUARDS_H
#define JNI_GUARDS_H

#include <jni.h>

#include "ExceptionStash.h"

// Modified UTF-8 characters of a Java string.
class StringChars {
public:
    StringChars(JNIEnv* env, jstring string) : env_(env), string_(string) {
        if (string_ != nullptr) {
            chars_ = ExceptionStash::parkIfNull(env_, env_->GetStringUTFChars(string_, nullptr));
        }
    }
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
    const char* chars_ = nullptr;
};

// Elements of a Java primitive array, released without copying back: what the
// queue manager wrote into them reaches Java only through explicit region copies.
template <typename ArrayType, typename ElementType,
          ElementType* (JNIEnv::*Get)(ArrayType, jboolean*),
          void (JNIEnv::*Release)(ArrayType, ElementType*, jint)>
class ArrayElements {
public:
    ArrayElements(JNIEnv* env, ArrayType array) : env_(env), array_(array) {
        if (array_ != nullptr) {
            elements_ = ExceptionStash::parkIfNull(env_, (env_->*Get)(array_, nullptr));
        }
    }
    // Takes over elements obtained elsewhere (for example through a traced helper).
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
    ElementType* elements_ = nullptr;
};

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

private:
    JNIEnv* env_;
    T ref_;
};

using ByteArrayElements = ArrayElements<jbyteArray, jbyte, &JNIEnv::GetByteArrayElements,
                                        &JNIEnv::ReleaseByteArrayElements>;
using IntArrayElements = ArrayElements<jintArray, jint, &JNIEnv::GetIntArrayElements,
                                       &JNIEnv::ReleaseIntArrayElements>;

#endif

// The JNI calls the bridge makes, each followed by the test that tells whether
// it raised, and a raised exception taken aside (ExceptionStash) at once: no
// caller can forget it, so no JNI call runs with an exception pending.
//
// The test is the cheapest one JNI allows: a call whose null result is its only
// sign of failure is tested only when null; a call that can raise whatever it
// returns (a Java method, an array region, an array store) is always tested; a
// call that cannot raise (field access on a valid identifier, array length,
// object class, reference deletion) is not tested. So routing a call through
// here never adds a JNI call on the path where nothing fails.
//
// A caller learns of a failure from the result (null) or from
// ExceptionStash::raised(). Inside an ExceptionStash::Harmless scope what is
// taken aside never fails the call (the trace facility, the holder binding).
//
// Three functions of one JNI name, told apart by how they are called:
// checked::getIntField here is the checked call (untraced, JNI's argument order
// after env); ::GetIntField (NativeUtil.h) is the exported helper the
// converters use (traced, does nothing given a null identifier, its own
// argument order); env->GetIntField is JNI's, called raw only in this folder.
#ifndef CHECKED_JNI_H
#define CHECKED_JNI_H

#include <jni.h>

#include <utility>

#include "ExceptionStash.h"
#include "JniGuards.h"

namespace checked {

// --- calls that fail with a null result ---------------------------------------
inline jclass findClass(JNIEnv* env, const char* name) {
    return ExceptionStash::parkIfNull(env, env->FindClass(name));
}
inline jfieldID fieldId(JNIEnv* env, jclass cls, const char* name, const char* sig) {
    return ExceptionStash::parkIfNull(env, env->GetFieldID(cls, name, sig));
}
inline jmethodID methodId(JNIEnv* env, jclass cls, const char* name, const char* sig) {
    return ExceptionStash::parkIfNull(env, env->GetMethodID(cls, name, sig));
}
inline jmethodID staticMethodId(JNIEnv* env, jclass cls, const char* name, const char* sig) {
    return ExceptionStash::parkIfNull(env, env->GetStaticMethodID(cls, name, sig));
}
// A null element is no failure: the exception test finds nothing pending.
inline jobject arrayElement(JNIEnv* env, jobjectArray array, jsize index) {
    return ExceptionStash::parkIfNull(env, env->GetObjectArrayElement(array, index));
}
inline jbyteArray newByteArray(JNIEnv* env, jsize length) {
    return ExceptionStash::parkIfNull(env, env->NewByteArray(length));
}
inline jstring newStringUtf(JNIEnv* env, const char* bytes) {
    return ExceptionStash::parkIfNull(env, env->NewStringUTF(bytes));
}
inline jstring newString(JNIEnv* env, const jchar* chars, jsize length) {
    return ExceptionStash::parkIfNull(env, env->NewString(chars, length));
}
template <typename... Args>
jobject newObject(JNIEnv* env, jclass cls, jmethodID ctor, Args... args) {
    return ExceptionStash::parkIfNull(env, env->NewObject(cls, ctor, args...));
}
inline jobject newGlobalRef(JNIEnv* env, jobject obj) {
    return ExceptionStash::parkIfNull(env, env->NewGlobalRef(obj));
}
// Null, and nothing raised, for a weak reference whose object is gone.
inline jobject newLocalRef(JNIEnv* env, jobject ref) {
    return ExceptionStash::parkIfNull(env, env->NewLocalRef(ref));
}
inline jweak newWeakGlobalRef(JNIEnv* env, jobject obj) {
    return ExceptionStash::parkIfNull(env, env->NewWeakGlobalRef(obj));
}
// Characters and elements lent by the JVM; none for a null string or array.
inline const char* stringUtfChars(JNIEnv* env, jstring string) {
    return string == nullptr
               ? nullptr
               : ExceptionStash::parkIfNull(env, env->GetStringUTFChars(string, nullptr));
}
inline jbyte* byteArrayElements(JNIEnv* env, jbyteArray array) {
    return array == nullptr
               ? nullptr
               : ExceptionStash::parkIfNull(env, env->GetByteArrayElements(array, nullptr));
}
inline jint* intArrayElements(JNIEnv* env, jintArray array) {
    return array == nullptr
               ? nullptr
               : ExceptionStash::parkIfNull(env, env->GetIntArrayElements(array, nullptr));
}
// The same, owned by a guard.
inline StringChars utfChars(JNIEnv* env, jstring string) {
    return StringChars(env, string, stringUtfChars(env, string));
}
inline ByteArrayElements elements(JNIEnv* env, jbyteArray array) {
    return ByteArrayElements(env, array, byteArrayElements(env, array));
}
inline IntArrayElements elements(JNIEnv* env, jintArray array) {
    return IntArrayElements(env, array, intArrayElements(env, array));
}

// --- calls that can raise whatever they return -----------------------------------
template <typename... Args>
jint callIntMethod(JNIEnv* env, jobject obj, jmethodID method, Args... args) {
    jint result = env->CallIntMethod(obj, method, args...);
    ExceptionStash::park(env);
    return result;
}
template <typename... Args>
jobject callObjectMethod(JNIEnv* env, jobject obj, jmethodID method, Args... args) {
    jobject result = env->CallObjectMethod(obj, method, args...);
    ExceptionStash::park(env);
    return result;
}
template <typename... Args>
void callVoidMethod(JNIEnv* env, jobject obj, jmethodID method, Args... args) {
    env->CallVoidMethod(obj, method, args...);
    ExceptionStash::park(env);
}
template <typename... Args>
jboolean callStaticBooleanMethod(JNIEnv* env, jclass cls, jmethodID method, Args... args) {
    jboolean result = env->CallStaticBooleanMethod(cls, method, args...);
    ExceptionStash::park(env);
    return result;
}
template <typename... Args>
void callStaticVoidMethod(JNIEnv* env, jclass cls, jmethodID method, Args... args) {
    env->CallStaticVoidMethod(cls, method, args...);
    ExceptionStash::park(env);
}
inline void getByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length,
                               jbyte* to) {
    env->GetByteArrayRegion(array, start, length, to);
    ExceptionStash::park(env);
}
inline void setByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length,
                               const jbyte* from) {
    env->SetByteArrayRegion(array, start, length, from);
    ExceptionStash::park(env);
}
inline void setIntArrayRegion(JNIEnv* env, jintArray array, jsize start, jsize length,
                              const jint* from) {
    env->SetIntArrayRegion(array, start, length, from);
    ExceptionStash::park(env);
}
inline void setObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    env->SetObjectArrayElement(array, index, value);
    ExceptionStash::park(env);
}

// Whether the call has failed so far, counting an exception left pending by
// calls that are not tested one by one (the releases that end a conversion):
// one exception test, then the stash's verdict.
inline bool failedSoFar(JNIEnv* env) {
    ExceptionStash::park(env);
    return ExceptionStash::raised(env);
}

// --- calls that cannot raise ---------------------------------------------------
inline jclass objectClass(JNIEnv* env, jobject obj) {
    return env->GetObjectClass(obj);
}
inline jsize arrayLength(JNIEnv* env, jarray array) {
    return env->GetArrayLength(array);
}
inline bool isSameObject(JNIEnv* env, jobject a, jobject b) {
    return env->IsSameObject(a, b) == JNI_TRUE;
}
inline void deleteLocalRef(JNIEnv* env, jobject ref) {
    env->DeleteLocalRef(ref);
}
inline void deleteGlobalRef(JNIEnv* env, jobject ref) {
    env->DeleteGlobalRef(ref);
}
inline void deleteWeakGlobalRef(JNIEnv* env, jweak ref) {
    env->DeleteWeakGlobalRef(ref);
}
inline jint getIntField(JNIEnv* env, jobject obj, jfieldID id) {
    return env->GetIntField(obj, id);
}
inline void setIntField(JNIEnv* env, jobject obj, jfieldID id, jint value) {
    env->SetIntField(obj, id, value);
}
inline jsize stringLength(JNIEnv* env, jstring string) {
    return env->GetStringLength(string);
}
inline jboolean getBooleanField(JNIEnv* env, jobject obj, jfieldID id) {
    return env->GetBooleanField(obj, id);
}
inline void setBooleanField(JNIEnv* env, jobject obj, jfieldID id, jboolean value) {
    env->SetBooleanField(obj, id, value);
}
inline void setCharField(JNIEnv* env, jobject obj, jfieldID id, jchar value) {
    env->SetCharField(obj, id, value);
}
// A primitive field that already holds the value is left as it is: the JVM
// reads a primitive field on a fast path (no change of thread state) but
// writes one on the slow path, so a read with no write costs less than the
// write, and the object ends the same.
inline void updateIntField(JNIEnv* env, jobject obj, jfieldID id, jint value) {
    if (env->GetIntField(obj, id) != value) {
        env->SetIntField(obj, id, value);
    }
}
inline void updateCharField(JNIEnv* env, jobject obj, jfieldID id, jchar value) {
    if (env->GetCharField(obj, id) != value) {
        env->SetCharField(obj, id, value);
    }
}
inline void updateBooleanField(JNIEnv* env, jobject obj, jfieldID id, jboolean value) {
    if (env->GetBooleanField(obj, id) != value) {
        env->SetBooleanField(obj, id, value);
    }
}
inline jobject getObjectField(JNIEnv* env, jobject obj, jfieldID id) {
    return env->GetObjectField(obj, id);
}
inline void setObjectField(JNIEnv* env, jobject obj, jfieldID id, jobject value) {
    env->SetObjectField(obj, id, value);
}
// The first `length` characters of a string whose length was just read, or
// the first `length` elements of an array no shorter (read or stored): no
// bounds to break.
inline void stringUtfPrefix(JNIEnv* env, jstring string, jsize length, char* to) {
    env->GetStringUTFRegion(string, 0, length, to);
}
inline void byteArrayPrefix(JNIEnv* env, jbyteArray array, jsize length, jbyte* to) {
    env->GetByteArrayRegion(array, 0, length, to);
}
inline void storeByteArrayPrefix(JNIEnv* env, jbyteArray array, jsize length, const jbyte* from) {
    env->SetByteArrayRegion(array, 0, length, from);
}
// The whole of an array just made with that length: no bounds to break.
inline void fillNewByteArray(JNIEnv* env, jbyteArray array, jsize length, const jbyte* from) {
    env->SetByteArrayRegion(array, 0, length, from);
}
inline void releaseStringUtfChars(JNIEnv* env, jstring string, const char* chars) {
    env->ReleaseStringUTFChars(string, chars);
}
inline void releaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elements) {
    env->ReleaseByteArrayElements(array, elements, JNI_ABORT);
}

// --- local frames ------------------------------------------------------------
// Inside a ReleaseFrame the local references the hot paths make (record array
// elements) are left to the frame, which releases them all at once as it
// ends: one PushLocalFrame and one PopLocalFrame instead of a DeleteLocalRef
// each. A verb's field copies and write-back leave theirs to the native's own
// frame (OwnFrameRoom). Such a reference is released
// with releaseLocalRef (or a FramedRef), which deletes it at once only outside
// a frame. Code that may make any number of them (a loop over records) opens
// frames of its own, a chunk of elements each.
// Initial-exec, as ExceptionStash's state: read for every reference released.
[[gnu::tls_model("initial-exec")]] inline thread_local bool releasedByFrame = false;

inline void releaseLocalRef(JNIEnv* env, jobject ref) {
    if (!releasedByFrame && ref != nullptr) {
        env->DeleteLocalRef(ref);
    }
}

class ReleaseFrame {
public:
    // Room for `capacity` references. A frame that cannot be had (the JVM out
    // of memory) fails the call like any allocation; the references are then
    // deleted one by one meanwhile.
    ReleaseFrame(JNIEnv* env, jint capacity)
        : env_(env), capacity_(capacity), outer_(releasedByFrame) {
        push();
    }
    ~ReleaseFrame() {
        pop();
        releasedByFrame = outer_;
    }
    ReleaseFrame(const ReleaseFrame&) = delete;
    ReleaseFrame& operator=(const ReleaseFrame&) = delete;

    // Releases everything made in the frame so far, and goes on in a new one.
    void renew() {
        pop();
        push();
    }

private:
    void push() {
        // Failure is a negative result (OutOfMemoryError raised with it); the
        // result alone tells, with no exception test on the path that works.
        pushed_ = env_->PushLocalFrame(capacity_) == JNI_OK;
        if (!pushed_) {
            ExceptionStash::park(env_);
        }
        releasedByFrame = pushed_;
    }
    void pop() {
        if (pushed_) {
            // An exception taken aside inside the frame is raised as the native
            // returns: its reference must outlive the frame.
            jthrowable parked = ExceptionStash::parkedException();
            jobject carried = env_->PopLocalFrame(parked);
            if (parked != nullptr) {
                ExceptionStash::carriedOut(static_cast<jthrowable>(carried));
            }
            pushed_ = false;
        }
    }

    JNIEnv* env_;
    jint capacity_;
    bool outer_;
    bool pushed_ = false;
};

// Room for `capacity` references in the native's own frame, asked for with
// one call (EnsureLocalCapacity) where a ReleaseFrame takes two: for the body
// of a native that ends with it (a verb), whose references the JVM then
// releases as the native returns. Room that cannot be had (the JVM out of
// memory) fails the call like any allocation; the references are then deleted
// one by one meanwhile.
class OwnFrameRoom {
public:
    OwnFrameRoom(JNIEnv* env, jint capacity) : outer_(releasedByFrame) {
        const bool room = env->EnsureLocalCapacity(capacity) == JNI_OK;
        if (!room) {
            ExceptionStash::park(env);
        }
        releasedByFrame = room;
    }
    ~OwnFrameRoom() { releasedByFrame = outer_; }
    OwnFrameRoom(const OwnFrameRoom&) = delete;
    OwnFrameRoom& operator=(const OwnFrameRoom&) = delete;

private:
    bool outer_;
};

// A native's own local frame, which the JVM releases as the native returns:
// a native that makes only a few references (the 16 JNI grants a native
// without asking) leaves them to it, as to a ReleaseFrame, instead of deleting
// each. Code it calls that may be called from outside a native still deletes
// them there.
class OwnFrame {
public:
    OwnFrame() : outer_(releasedByFrame) { releasedByFrame = true; }
    ~OwnFrame() { releasedByFrame = outer_; }
    OwnFrame(const OwnFrame&) = delete;
    OwnFrame& operator=(const OwnFrame&) = delete;

private:
    bool outer_;
};
}  // namespace checked

// A local reference released with checked::releaseLocalRef: left to the frame
// inside a ReleaseFrame, deleted as it ends otherwise.
template <typename T>
class FramedRef {
public:
    FramedRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
    ~FramedRef() { checked::releaseLocalRef(env_, ref_); }
    FramedRef(const FramedRef&) = delete;
    FramedRef& operator=(const FramedRef&) = delete;

    T get() const { return ref_; }

private:
    JNIEnv* env_;
    T ref_;
};

#endif

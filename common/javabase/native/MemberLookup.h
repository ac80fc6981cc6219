// The members of one class as the converters read them: from the class's
// member cache when there, else looked up by name (NativeError when missing)
// and kept.
#ifndef MEMBER_LOOKUP_H
#define MEMBER_LOOKUP_H

#include <jni.h>

#include "CheckedJni.h"
#include "FieldCopy.h"
#include "MemberCache.h"
#include "NativeUtil.h"

template <size_t N>
class Members {
public:
    Members(JNIEnv* env, MemberCache<N>& cache, jclass cls)
        : env_(env), cls_(cls), slots_(find(env, cache, cls)) {}

    jfieldID field(size_t slot, const char* name, const char* sig) {
        return keptOrFound<jfieldID>(slots_, slot,
                                     [&] { return GetFieldID(env_, cls_, name, sig); });
    }

    jmethodID method(size_t slot, const char* name, const char* sig) {
        return keptOrFound<jmethodID>(slots_, slot,
                                      [&] { return GetMethodID(env_, cls_, name, sig); });
    }

private:
    // No weak reference to be had is no failure: the call goes on uncached.
    static MemberSlots<N>* find(JNIEnv* env, MemberCache<N>& cache, jclass cls) {
        ExceptionStash::Harmless harmless;
        return cache.find(env, cls);
    }

    JNIEnv* env_;
    jclass cls_;
    MemberSlots<N>* slots_;
};

// The members of the elements of one record array, for a converter that reads
// them one by one: the class of the element before is kept (a global
// reference, for the converter's life, so that the elements can be walked in
// local frames of their own) with its identifiers, so that an array of one
// class asks the member cache once and recognises each further element with
// one comparison, and every element is still read through its own class's
// members.
template <typename Ids>
class ElementMembers {
public:
    explicit ElementMembers(JNIEnv* env) : env_(env) {}
    ~ElementMembers() {
        if (last_ != nullptr) {
            checked::deleteGlobalRef(env_, last_);
        }
    }
    ElementMembers(const ElementMembers&) = delete;
    ElementMembers& operator=(const ElementMembers&) = delete;

    // `resolve(cls)` gives the identifiers of a class met for the first time.
    template <typename Resolve>
    Ids of(jobject element, const char* what, Resolve&& resolve) {
        FramedRef<jclass> cls(env_, requireObjectClass(env_, element, what));
        if (last_ != nullptr && checked::isSameObject(env_, cls.get(), last_)) {
            return ids_;
        }
        const Ids ids = resolve(cls.get());
        if (last_ != nullptr) {
            checked::deleteGlobalRef(env_, last_);
        }
        // Not kept when no reference can be had: the next element resolves
        // its class again.
        ExceptionStash::Harmless harmless;
        last_ = static_cast<jclass>(checked::newGlobalRef(env_, cls.get()));
        ids_ = ids;
        return ids;
    }

private:
    JNIEnv* env_;
    jclass last_ = nullptr;
    Ids ids_{};
};

// Record arrays are walked in local frames of this many elements: their
// references are released a chunk at a time, not one call each.
constexpr jint kElementsPerFrame = 32;
// Room in such a frame: an element, its class, and what its fields hold.
constexpr jint kElementFrameRefs = 8 * kElementsPerFrame;

// Calls each(i, element) for the first `count` elements of `array`, in local
// frames of kElementsPerFrame elements (checked::ReleaseFrame); the element's
// reference is left to the frame.
template <typename Each>
void forEachElement(JNIEnv* env, jobjectArray array, jint count, Each&& each) {
    checked::ReleaseFrame frame(env, kElementFrameRefs);
    for (jint i = 0; i < count; ++i) {
        if (i != 0 && i % kElementsPerFrame == 0) {
            frame.renew();
        }
        FramedRef<jobject> element(env, checked::arrayElement(env, array, i));
        each(i, element.get());
    }
}

#endif

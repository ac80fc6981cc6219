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
        if (void* id = keptId(slots_, slot)) {
            return static_cast<jfieldID>(id);
        }
        jfieldID id = GetFieldID(env_, cls_, name, sig);
        keepId(slots_, slot, id);
        return id;
    }

    jmethodID method(size_t slot, const char* name, const char* sig) {
        if (void* id = keptId(slots_, slot)) {
            return static_cast<jmethodID>(id);
        }
        jmethodID id = GetMethodID(env_, cls_, name, sig);
        keepId(slots_, slot, id);
        return id;
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
// them one by one: the class of the element before is kept (a local reference,
// for the converter's life) with its identifiers, so that an array of one
// class asks the member cache once, and every element is still read through
// its own class's members.
template <typename Ids>
class ElementMembers {
public:
    explicit ElementMembers(JNIEnv* env) : env_(env) {}
    ~ElementMembers() {
        if (last_ != nullptr) {
            jni::deleteLocalRef(env_, last_);
        }
    }
    ElementMembers(const ElementMembers&) = delete;
    ElementMembers& operator=(const ElementMembers&) = delete;

    // `resolve(cls)` gives the identifiers of a class met for the first time.
    template <typename Resolve>
    Ids of(jobject element, const char* what, Resolve&& resolve) {
        jclass cls = requireObjectClass(env_, element, what);
        if (last_ != nullptr && jni::isSameObject(env_, cls, last_)) {
            jni::deleteLocalRef(env_, cls);
            return ids_;
        }
        Ids ids;
        try {
            ids = resolve(cls);
        } catch (...) {
            jni::deleteLocalRef(env_, cls);
            throw;
        }
        if (last_ != nullptr) {
            jni::deleteLocalRef(env_, last_);
        }
        last_ = cls;
        ids_ = ids;
        return ids;
    }

private:
    JNIEnv* env_;
    jclass last_ = nullptr;
    Ids ids_{};
};

#endif

// The members of one class as the converters read them: from the class's
// member cache when there, else looked up by name (NativeError when missing)
// and kept.
#ifndef MEMBER_LOOKUP_H
#define MEMBER_LOOKUP_H

#include <jni.h>

#include "ExceptionStash.h"
#include "MemberCache.h"
#include "NativeUtil.h"

template <size_t N>
class Members {
public:
    Members(JNIEnv* env, MemberCache<N>& cache, jclass cls)
        : env_(env), cls_(cls), slots_(cache.find(env, cls)) {
        if (slots_ == nullptr) {
            // No weak reference to be had: the call goes on uncached.
            ExceptionStash::parkHarmless(env);
        }
    }

    jfieldID field(size_t slot, const char* name, const char* sig) {
        if (void* id = cached(slot)) {
            return static_cast<jfieldID>(id);
        }
        jfieldID id = GetFieldID(env_, cls_, name, sig);
        keep(slot, id);
        return id;
    }

    jmethodID method(size_t slot, const char* name, const char* sig) {
        if (void* id = cached(slot)) {
            return static_cast<jmethodID>(id);
        }
        jmethodID id = GetMethodID(env_, cls_, name, sig);
        keep(slot, id);
        return id;
    }

private:
    void* cached(size_t slot) const {
        return slots_ != nullptr ? slots_->ids[slot].load(std::memory_order_relaxed) : nullptr;
    }
    void keep(size_t slot, void* id) {
        // Every thread finds the same identifier: a racing store is harmless.
        if (slots_ != nullptr) {
            slots_->ids[slot].store(id, std::memory_order_relaxed);
        }
    }

    JNIEnv* env_;
    jclass cls_;
    MemberSlots<N>* slots_;
};

#endif

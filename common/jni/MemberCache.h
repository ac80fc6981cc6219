// Member identifiers of the classes whose objects the host passes in, kept per
// class so that a warm call looks nothing up by name.
//
// A class is recognised by identity (IsSameObject against a weak reference),
// never by name: two classes of one name in two class loaders, and a subclass
// that hides a member of its base, each get identifiers of their own, and an
// identifier is only ever used on objects of the class it was looked up on.
// The weak reference keeps neither the class nor its loader alive; once the
// class is unloaded the reference is cleared and never matches again.
#ifndef MEMBER_CACHE_H
#define MEMBER_CACHE_H

#include <jni.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>

#include "CheckedJni.h"

// The identifiers of one class, a slot per member, each filled by its first
// successful lookup. A lookup that fails fills nothing and is made again (and
// reported again) by the next call.
template <size_t N>
struct MemberSlots {
    explicit MemberSlots(jweak cls) : cls(cls) {}
    const jweak cls;
    std::atomic<void*> ids[N]{};
};

// The identifier kept in `slot`, or null: not found yet, or nothing kept for
// the class at all (`slots` null).
template <size_t N>
void* keptId(const MemberSlots<N>* slots, size_t slot) {
    return slots != nullptr ? slots->ids[slot].load(std::memory_order_relaxed) : nullptr;
}

// Keeps an identifier found; every thread finds the same one for a class, so
// a racing store is harmless.
template <size_t N>
void keepId(MemberSlots<N>* slots, size_t slot, void* id) {
    if (slots != nullptr && id != nullptr) {
        slots->ids[slot].store(id, std::memory_order_relaxed);
    }
}

// The identifier in `slot`: the kept one, else what `lookup()` finds, kept
// when found. How a lookup fails is the caller's (the converters' lookups throw,
// the XID getters' give null).
template <typename Id, size_t N, typename Lookup>
Id keptOrFound(MemberSlots<N>* slots, size_t slot, Lookup&& lookup) {
    if (void* id = keptId(slots, slot)) {
        return static_cast<Id>(id);
    }
    Id id = lookup();
    keepId(slots, slot, id);
    return id;
}

template <size_t N>
class MemberCache {
public:
    constexpr MemberCache() = default;
    MemberCache(const MemberCache&) = delete;
    MemberCache& operator=(const MemberCache&) = delete;

    // The slots of `cls`, or null when none can be kept for it (every place
    // taken by a class still loaded, or no weak reference to be had, the JVM's
    // error taken aside): the caller then looks its members up by name, as if
    // nothing were cached.
    MemberSlots<N>* find(JNIEnv* env, jclass cls) {
        for (auto& place : classes_) {
            MemberSlots<N>* slots = place.load(std::memory_order_acquire);
            if (slots == nullptr) {
                break;
            }
            if (checked::isSameObject(env, slots->cls, cls)) {
                return slots;
            }
        }
        return add(env, cls);
    }

private:
    static constexpr int kClasses = 8;

    MemberSlots<N>* add(JNIEnv* env, jclass cls) {
        std::lock_guard<std::mutex> guard(lock_);
        int free = -1;
        int cleared = -1;
        for (int i = 0; i < kClasses; ++i) {
            MemberSlots<N>* slots = classes_[i].load(std::memory_order_acquire);
            if (slots == nullptr) {
                free = i;
                break;
            }
            if (checked::isSameObject(env, slots->cls, cls)) {
                return slots;  // added by another thread meanwhile
            }
            if (cleared < 0 && checked::isSameObject(env, slots->cls, nullptr)) {
                cleared = i;
            }
        }
        const int at = free >= 0 ? free : cleared;
        if (at < 0) {
            return nullptr;
        }
        jweak weak = checked::newWeakGlobalRef(env, cls);
        if (weak == nullptr) {
            return nullptr;
        }
        auto* slots = new (std::nothrow) MemberSlots<N>(weak);
        if (slots == nullptr) {
            checked::deleteWeakGlobalRef(env, weak);
            return nullptr;
        }
        MemberSlots<N>* replaced = classes_[at].load(std::memory_order_relaxed);
        classes_[at].store(slots, std::memory_order_release);
        if (replaced != nullptr) {
            retire(env, replaced);
        }
        return slots;
    }

    // An entry replaced belonged to an unloaded class: its weak reference is
    // deleted, so that class churn leaves the JVM's weak references flat. The
    // entry itself is never freed, since another thread may still be comparing
    // against it (a few dozen bytes per class unloaded while all places were
    // taken). Such a thread may then compare with a deleted reference whose
    // handle the JVM has given to a new weak reference, even one to its own
    // class; emptied first, the entry then only makes it look its members up
    // by name on the class it holds, which finds the right ones.
    static void retire(JNIEnv* env, MemberSlots<N>* slots) {
        for (auto& id : slots->ids) {
            id.store(nullptr, std::memory_order_relaxed);
        }
        std::atomic_thread_fence(std::memory_order_seq_cst);
        checked::deleteWeakGlobalRef(env, slots->cls);
    }

    std::atomic<MemberSlots<N>*> classes_[kClasses]{};
    std::mutex lock_;
};

#endif

#include "VerbFrame.h"

#include "CheckedJni.h"
#include "NativeError.h"

jint Verb::get(jobject holder) const {
    if (pint.xFieldID == nullptr || holder == nullptr) {
        return 0;
    }
    return jni::getIntField(env, holder, pint.xFieldID);
}

void Verb::set(jobject holder, jint number) const {
    if (pint.xFieldID != nullptr && holder != nullptr) {
        jni::setIntField(env, holder, pint.xFieldID, number);
    }
}

void Verb::beforeCall() const {
    if (ExceptionStash::raised(env)) {
        line("***********Records not built");
        throw NativeError();
    }
}

void reportBridgeFailure(JNIEnv* env, const jfieldID* boundX, jobject compCodeHolder,
                         jobject reasonHolder) noexcept {
    jfieldID x = boundX != nullptr ? *boundX : nullptr;
    if (boundX == nullptr) {
        LocalRef<jclass> cls(env, jni::findClass(env, "com/zel/zt/Pint"));
        if (cls.get() != nullptr) {
            x = jni::fieldId(env, cls.get(), "x", "I");
        }
    }
    if (x == nullptr) {
        return;
    }
    if (compCodeHolder != nullptr) {
        jni::setIntField(env, compCodeHolder, x, 2);
    }
    if (reasonHolder != nullptr) {
        jni::setIntField(env, reasonHolder, x, 2195);
    }
}

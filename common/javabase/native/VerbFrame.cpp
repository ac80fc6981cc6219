#include "VerbFrame.h"

#include "CheckedJni.h"
#include "NativeError.h"

jint Verb::get(jobject holder) const {
    if (pint.xFieldID == nullptr || holder == nullptr) {
        return 0;
    }
    return checked::getIntField(env, holder, pint.xFieldID);
}

void Verb::set(jobject holder, jint number) const {
    if (pint.xFieldID != nullptr && holder != nullptr) {
        checked::updateIntField(env, holder, pint.xFieldID, number);
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
        LocalRef<jclass> cls(env, checked::findClass(env, "com/zel/zt/Pint"));
        if (cls.get() != nullptr) {
            x = checked::fieldId(env, cls.get(), "x", "I");
        }
    }
    if (x == nullptr) {
        return;
    }
    if (compCodeHolder != nullptr) {
        checked::setIntField(env, compCodeHolder, x, 2);
    }
    if (reasonHolder != nullptr) {
        checked::setIntField(env, reasonHolder, x, 2195);
    }
}

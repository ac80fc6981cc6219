#include "VerbFrame.h"

jint Verb::get(jobject holder) const {
    if (pint.xFieldID == nullptr || holder == nullptr) {
        return 0;
    }
    return env->GetIntField(holder, pint.xFieldID);
}

void Verb::set(jobject holder, jint number) const {
    if (pint.xFieldID != nullptr && holder != nullptr) {
        env->SetIntField(holder, pint.xFieldID, number);
    }
}

void reportBridgeFailure(JNIEnv* env, const NativePint* pint, jobject compCodeHolder,
                         jobject reasonHolder) noexcept {
    ExceptionStash::park(env);
    jfieldID x = pint != nullptr ? pint->xFieldID : nullptr;
    if (pint == nullptr) {
        jclass cls = env->FindClass("com/zel/zt/Pint");
        ExceptionStash::park(env);
        if (cls != nullptr) {
            x = env->GetFieldID(cls, "x", "I");
            ExceptionStash::park(env);
            env->DeleteLocalRef(cls);
        }
    }
    if (x == nullptr) {
        return;
    }
    if (compCodeHolder != nullptr) {
        env->SetIntField(compCodeHolder, x, 2);
    }
    if (reasonHolder != nullptr) {
        env->SetIntField(reasonHolder, x, 2195);
    }
}

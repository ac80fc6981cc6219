#include "VerbFrame.h"

#include "NativeError.h"

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

void Verb::beforeCall() const {
    if (ExceptionStash::failed()) {
        trace.trace(2, methodName, "***********Records not built");
        throw NativeError();
    }
}

void requireArrayHolds(const Verb& verb, jarray array, jint count) {
    const bool holds = count >= 0 && (array == nullptr ? count == 0
                                                        : count <= verb.env->GetArrayLength(array));
    if (!holds) {
        verb.trace.trace(2, verb.methodName, "***********Length larger than its array", count);
        throw NativeError();
    }
}

void requireMessageBuffer(const Verb& verb, jbyteArray array, jint length) {
    if (array == nullptr) {
        verb.trace.trace(2, verb.methodName, "***********No message buffer");
        throw NativeError();
    }
    requireArrayHolds(verb, array, length);
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

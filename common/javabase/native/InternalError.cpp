#include "InternalError.h"

#include "CheckedJni.h"
#include "JniGuards.h"
#include "NativeError.h"

void raiseInternalError(JNIEnv* env, int probe, const char* message) {
    // What the failed lookup raised was taken aside by its checked call, so the
    // logger can be called.
    LocalRef<jclass> logger(env, checked::findClass(env, "com/zel/ztservices/ZTInternalException"));
    if (logger.get() != nullptr) {
        jmethodID log = checked::staticMethodId(env, logger.get(), "logZTInternalException",
                                                "(ILjava/lang/String;)V");
        if (log != nullptr) {
            LocalRef<jstring> text(env, checked::newStringUtf(env, message));
            checked::callStaticVoidMethod(env, logger.get(), log, static_cast<jint>(probe),
                                          text.get());
        }
    }
    throw NativeError();
}

#include "NativePint.h"

#include "ExceptionStash.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativePint";

NativePint::NativePint(JNIEnv* env) {
    NativeTrace trace(env);
    trace.entry(clsname, "NativePint");
    jclass cls = env->FindClass("com/zel/zt/Pint");
    ExceptionStash::park(env);
    if (cls == nullptr) {
        DoException(env, 2, 2195, 102, "com/zel/zt/Pint");
    }
    xFieldID = env->GetFieldID(cls, "x", "I");
    ExceptionStash::park(env);
    env->DeleteLocalRef(cls);
    trace.exit(clsname, "NativePint");
}

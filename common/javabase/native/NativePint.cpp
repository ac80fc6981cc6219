#include "NativePint.h"

#include "ExceptionStash.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativePint";

NativePint::NativePint(JNIEnv* env) {
    NativeTrace trace(env);
    trace.entry(clsname, "NativePint");
    jclass cls = ExceptionStash::parkIfNull(env, env->FindClass("com/zel/zt/Pint"));
    if (cls == nullptr) {
        DoException(env, 2, 2195, 102, "com/zel/zt/Pint");
    }
    xFieldID = ExceptionStash::parkIfNull(env, env->GetFieldID(cls, "x", "I"));
    env->DeleteLocalRef(cls);
    trace.exit(clsname, "NativePint");
}

#include "NativePint.h"

#include <atomic>

#include "ExceptionStash.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativePint";

namespace {
// Filled by the first binding that finds "x"; a failed binding keeps nothing,
// so it is tried again (and reported again) by the next call.
std::atomic<jfieldID> boundX{nullptr};
}  // namespace

NativePint::NativePint(JNIEnv* env) {
    NativeTrace trace(env);
    trace.entry(clsname, "NativePint");
    xFieldID = boundX.load(std::memory_order_relaxed);
    if (xFieldID == nullptr) {
        jclass cls = ExceptionStash::parkIfNull(env, env->FindClass("com/zel/zt/Pint"));
        if (cls == nullptr) {
            DoException(env, 2, 2195, 102, "com/zel/zt/Pint");
        }
        // A class without "x" binds to nothing: its holders are neither read
        // nor written, and the verb itself goes on.
        xFieldID = env->GetFieldID(cls, "x", "I");
        if (xFieldID == nullptr) {
            ExceptionStash::parkHarmless(env);
        } else {
            boundX.store(xFieldID, std::memory_order_relaxed);
        }
        env->DeleteLocalRef(cls);
    }
    trace.exit(clsname, "NativePint");
}

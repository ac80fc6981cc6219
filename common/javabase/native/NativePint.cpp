#include "NativePint.h"

#include <atomic>

#include "CheckedJni.h"
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
        LocalRef<jclass> cls(env, checked::findClass(env, "com/zel/zt/Pint"));
        if (cls.get() == nullptr) {
            DoException(env, 2, 2195, 102, "com/zel/zt/Pint");
        }
        // A class without "x" binds to nothing: its holders are neither read
        // nor written, and the verb itself goes on.
        {
            ExceptionStash::Harmless harmless;
            xFieldID = checked::fieldId(env, cls.get(), "x", "I");
        }
        if (xFieldID != nullptr) {
            boundX.store(xFieldID, std::memory_order_relaxed);
        }
    }
    trace.exit(clsname, "NativePint");
}

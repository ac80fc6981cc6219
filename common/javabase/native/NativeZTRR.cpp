#include "NativeZTRR.h"

#include "FieldCopy.h"
#include "JniGuards.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTRR";

NativeZTRR::NativeZTRR(JNIEnv* env, jobject record) : env_(env) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTRR");
    LocalRef<jclass> cls(env_, requireObjectClass(env_, record, "NativeZTRR"));
    completionCode_ = GetFieldID(env_, cls.get(), "completionCode", "I");
    reason_ = GetFieldID(env_, cls.get(), "reason", "I");
    trace.exit(clsname, "NativeZTRR");
}

void NativeZTRR::SetJavaZTRR(ZTRR record, jobject javaRecord) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTRR");
    SetIntField(env_, record.completionCode, javaRecord, completionCode_);
    SetIntField(env_, record.reason, javaRecord, reason_);
    trace.exit(clsname, "SetJavaZTRR");
}

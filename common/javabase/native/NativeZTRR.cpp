#include "NativeZTRR.h"

#include "FieldCopy.h"
#include "JniGuards.h"
#include "MemberLookup.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTRR";

namespace {
// Slots of the member cache, one per member looked up.
enum Member : size_t { kCompletionCode, kReason, kMemberCount };
MemberCache<kMemberCount> members;
}  // namespace

NativeZTRR::NativeZTRR(JNIEnv* env, jobject record) : env_(env) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTRR");
    // A class lacking a member fails here, before any record is written.
    membersOf(record);
    trace.exit(clsname, "NativeZTRR");
}

NativeZTRR::Ids NativeZTRR::membersOf(jobject javaRecord) {
    return elements_.of(javaRecord, "NativeZTRR", [this](jclass cls) {
        Members<kMemberCount> m(env_, members, cls);
        Ids ids;
        ids.completionCode = m.field(kCompletionCode, "completionCode", "I");
        ids.reason = m.field(kReason, "reason", "I");
        return ids;
    });
}

void NativeZTRR::SetJavaZTRR(ZTRR record, jobject javaRecord) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTRR");
    const Ids ids = membersOf(javaRecord);
    writeIntField(env_, record.completionCode, javaRecord, ids.completionCode);
    writeIntField(env_, record.reason, javaRecord, ids.reason);
    trace.exit(clsname, "SetJavaZTRR");
}

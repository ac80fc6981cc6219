#include "NativeZTPMR.h"

#include <cstring>

#include "FieldCopy.h"
#include "JniGuards.h"
#include "MemberLookup.h"
#include "NativeTrace.h"
#include "NativeUtil.h"
#include "ztm.h"

static const char* const clsname = "NativeZTPMR";

namespace {
const int kIdLength = 24;
const int kTokenLength = ZT_ACCOUNTING_TOKEN_LENGTH;
const int kFeedbackLength = 4;

// Slots of the member cache, one per member looked up.
enum Member : size_t {
    kMessageId, kCorrelationId, kFeedback, kAccountingToken, kGroupId, kMemberCount
};
MemberCache<kMemberCount> members;
}  // namespace

NativeZTPMR::NativeZTPMR(JNIEnv* env, jobject record, long fields) : env_(env), fields_(fields) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTPMR");
    // A class lacking a member fails here, before any record is built.
    membersOf(record);
    trace.exit(clsname, "NativeZTPMR");
}

NativeZTPMR::Ids NativeZTPMR::membersOf(jobject javaRecord) {
    return elements_.of(javaRecord, "NativeZTPMR", [this](jclass cls) {
        Members<kMemberCount> m(env_, members, cls);
        // All five, whatever the flags select.
        Ids ids;
        ids.messageId = m.field(kMessageId, "messageId", "[B");
        ids.correlationId = m.field(kCorrelationId, "correlationId", "[B");
        ids.feedback = m.field(kFeedback, "feedback", "I");
        ids.accountingToken = m.field(kAccountingToken, "accountingToken", "[B");
        ids.groupId = m.field(kGroupId, "groupId", "[B");
        return ids;
    });
}

NativeZTPMR::~NativeZTPMR() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTPMR");
    trace.exit(clsname, "~NativeZTPMR");
}

int NativeZTPMR::getMemNeeded(long fields) {
    int size = 0;
    if (fields & ZTPMRF_MSG_ID) size += kIdLength;
    if (fields & ZTPMRF_CORREL_ID) size += kIdLength;
    if (fields & ZTPMRF_GROUP_ID) size += kIdLength;
    if (fields & ZTPMRF_FEEDBACK) size += kFeedbackLength;
    if (fields & ZTPMRF_ACCOUNTING_TOKEN) size += kTokenLength;
    return size;
}

void NativeZTPMR::Initialise(unsigned char** position, jobject javaRecord) {
    NativeTrace trace(env_);
    trace.entry(clsname, "Initialise");
    const Ids ids = membersOf(javaRecord);
    unsigned char* out = *position;
    if (fields_ & ZTPMRF_MSG_ID) {
        copyByteArrayField(env_, javaRecord, ids.messageId, array_, out, kIdLength);
        out += kIdLength;
    }
    if (fields_ & ZTPMRF_CORREL_ID) {
        copyByteArrayField(env_, javaRecord, ids.correlationId, array_, out, kIdLength);
        out += kIdLength;
    }
    if (fields_ & ZTPMRF_GROUP_ID) {
        copyByteArrayField(env_, javaRecord, ids.groupId, array_, out, kIdLength);
        out += kIdLength;
    }
    if (fields_ & ZTPMRF_FEEDBACK) {
        const jint feedback = readIntField(env_, javaRecord, ids.feedback);
        std::memcpy(out, &feedback, kFeedbackLength);
        out += kFeedbackLength;
    }
    if (fields_ & ZTPMRF_ACCOUNTING_TOKEN) {
        copyByteArrayField(env_, javaRecord, ids.accountingToken, array_, out, kTokenLength);
    }
    trace.exit(clsname, "Initialise");
}

void NativeZTPMR::SetJavaZTPMR(unsigned char* record, jobject javaRecord) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTPMR");
    const Ids ids = membersOf(javaRecord);
    const unsigned char* in = record;
    if (fields_ & ZTPMRF_MSG_ID) {
        SetByteArrayField(env_, in, kIdLength, javaRecord, ids.messageId);
        in += kIdLength;
    }
    if (fields_ & ZTPMRF_CORREL_ID) {
        SetByteArrayField(env_, in, kIdLength, javaRecord, ids.correlationId);
        in += kIdLength;
    }
    if (fields_ & ZTPMRF_GROUP_ID) {
        SetByteArrayField(env_, in, kIdLength, javaRecord, ids.groupId);
        in += kIdLength;
    }
    if (fields_ & ZTPMRF_FEEDBACK) {
        jint feedback;
        std::memcpy(&feedback, in, kFeedbackLength);
        writeIntField(env_, feedback, javaRecord, ids.feedback);
        in += kFeedbackLength;
    }
    if (fields_ & ZTPMRF_ACCOUNTING_TOKEN) {
        SetByteArrayField(env_, in, kTokenLength, javaRecord, ids.accountingToken);
    }
    trace.exit(clsname, "SetJavaZTPMR");
}

#include "NativeZTPMR.h"

#include <cstring>

#include "FieldCopy.h"
#include "JniGuards.h"
#include "NativeTrace.h"
#include "NativeUtil.h"
#include "ztm.h"

static const char* const clsname = "NativeZTPMR";

namespace {
const int kIdLength = 24;
const int kTokenLength = ZT_ACCOUNTING_TOKEN_LENGTH;
const int kFeedbackLength = 4;
}  // namespace

NativeZTPMR::NativeZTPMR(JNIEnv* env, jobject record, long fields) : env_(env), fields_(fields) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTPMR");
    LocalRef<jclass> cls(env_, requireObjectClass(env_, record, "NativeZTPMR"));
    // All five, whatever the flags select.
    messageId_ = GetFieldID(env_, cls.get(), "messageId", "[B");
    correlationId_ = GetFieldID(env_, cls.get(), "correlationId", "[B");
    feedback_ = GetFieldID(env_, cls.get(), "feedback", "I");
    accountingToken_ = GetFieldID(env_, cls.get(), "accountingToken", "[B");
    groupId_ = GetFieldID(env_, cls.get(), "groupId", "[B");
    trace.exit(clsname, "NativeZTPMR");
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
    unsigned char* out = *position;
    if (fields_ & ZTPMRF_MSG_ID) {
        copyByteArrayField(env_, javaRecord, messageId_, array_, out, kIdLength);
        out += kIdLength;
    }
    if (fields_ & ZTPMRF_CORREL_ID) {
        copyByteArrayField(env_, javaRecord, correlationId_, array_, out, kIdLength);
        out += kIdLength;
    }
    if (fields_ & ZTPMRF_GROUP_ID) {
        copyByteArrayField(env_, javaRecord, groupId_, array_, out, kIdLength);
        out += kIdLength;
    }
    if (fields_ & ZTPMRF_FEEDBACK) {
        const jint feedback = GetIntField(env_, javaRecord, feedback_);
        std::memcpy(out, &feedback, kFeedbackLength);
        out += kFeedbackLength;
    }
    if (fields_ & ZTPMRF_ACCOUNTING_TOKEN) {
        copyByteArrayField(env_, javaRecord, accountingToken_, array_, out, kTokenLength);
    }
    trace.exit(clsname, "Initialise");
}

void NativeZTPMR::SetJavaZTPMR(unsigned char* record, jobject javaRecord) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTPMR");
    const unsigned char* in = record;
    if (fields_ & ZTPMRF_MSG_ID) {
        SetByteArrayField(env_, in, kIdLength, javaRecord, messageId_);
        in += kIdLength;
    }
    if (fields_ & ZTPMRF_CORREL_ID) {
        SetByteArrayField(env_, in, kIdLength, javaRecord, correlationId_);
        in += kIdLength;
    }
    if (fields_ & ZTPMRF_GROUP_ID) {
        SetByteArrayField(env_, in, kIdLength, javaRecord, groupId_);
        in += kIdLength;
    }
    if (fields_ & ZTPMRF_FEEDBACK) {
        jint feedback;
        std::memcpy(&feedback, in, kFeedbackLength);
        SetIntField(env_, feedback, javaRecord, feedback_);
        in += kFeedbackLength;
    }
    if (fields_ & ZTPMRF_ACCOUNTING_TOKEN) {
        SetByteArrayField(env_, in, kTokenLength, javaRecord, accountingToken_);
    }
    trace.exit(clsname, "SetJavaZTPMR");
}

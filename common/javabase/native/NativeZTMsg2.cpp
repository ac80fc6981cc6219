#include "NativeZTMsg2.h"

#include <cstring>

#include "FieldCopy.h"
#include "JniGuards.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTMsg2";

namespace {
// Both context bits together bring the context in from a message object.
const long kAllContext = ZTPMO_SET_IDENTITY_CONTEXT | ZTPMO_SET_ALL_CONTEXT;
}  // namespace

NativeZTMsg2::NativeZTMsg2(JNIEnv* env, jobject message) : env_(env), message_(message) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTMsg2");
    LocalRef<jclass> cls(env_, requireObjectClass(env_, message_, "NativeZTMsg2"));
    jclass c = cls.get();
    report_ = accessIntField(c, "report");
    messageType_ = accessIntField(c, "messageType");
    expiry_ = accessIntField(c, "expiry");
    feedback_ = accessIntField(c, "feedback");
    encoding_ = accessIntField(c, "encoding");
    characterSet_ = accessIntField(c, "characterSet");
    priority_ = accessIntField(c, "priority");
    persistence_ = accessIntField(c, "persistence");
    backoutCount_ = accessIntField(c, "backoutCount");
    putApplicationType_ = accessIntField(c, "putApplicationType");
    offset_ = accessIntField(c, "offset");
    messageFlags_ = accessIntField(c, "messageFlags");
    version_ = accessIntField(c, "version");
    readCursor_ = accessIntField(c, "readCursor");

    dateText_ = accessByteArrayField(c, "dateText");
    timeText_ = accessByteArrayField(c, "timeText");
    messageId_ = accessByteArrayField(c, "messageId");
    correlationId_ = accessByteArrayField(c, "correlationId");
    accountingToken_ = accessByteArrayField(c, "accountingToken");
    format_ = accessByteArrayField(c, "format");
    replyToQueueName_ = accessByteArrayField(c, "replyToQueueName");
    replyToQueueManagerName_ = accessByteArrayField(c, "replyToQueueManagerName");
    userId_ = accessByteArrayField(c, "userId");
    applicationIdData_ = accessByteArrayField(c, "applicationIdData");
    putApplicationName_ = accessByteArrayField(c, "putApplicationName");
    applicationOriginData_ = accessByteArrayField(c, "applicationOriginData");

    putTimeCached_ = accessBooleanField(c, "putTimeCached");
    formatCached_ = accessBooleanField(c, "formatCached");
    replyToQueueNameCached_ = accessBooleanField(c, "replyToQueueNameCached");
    replyToQueueManagerNameCached_ = accessBooleanField(c, "replyToQueueManagerNameCached");
    userIdCached_ = accessBooleanField(c, "userIdCached");
    applicationIdDataCached_ = accessBooleanField(c, "applicationIdDataCached");
    putApplicationNameCached_ = accessBooleanField(c, "putApplicationNameCached");
    applicationOriginDataCached_ = accessBooleanField(c, "applicationOriginDataCached");
    stringsNeedCcsidConversion_ = accessBooleanField(c, "stringsNeedCcsidConversion");

    // Looked up only: the host's message class must have them.
    getMessageData_ = GetMethodID(env_, c, "getMessageData", "(Z)[B");
    setMessageData_ = GetMethodID(env_, c, "setMessageData", "([B)V");

    version = getIntValue(version_);
    if (version > 1) {
        messageSequenceNumber_ = accessIntField(c, "messageSequenceNumber");
        offset_ = accessIntField(c, "offset");
        messageFlags_ = accessIntField(c, "messageFlags");
        originalLength_ = accessIntField(c, "originalLength");
        groupId_ = accessByteArrayField(c, "groupId");
    }
    trace.exit(clsname, "NativeZTMsg2");
}

NativeZTMsg2::~NativeZTMsg2() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTMsg2");
    trace.exit(clsname, "~NativeZTMsg2");
}

jfieldID NativeZTMsg2::accessIntField(jclass cls, const char* name) {
    return GetFieldID(env_, cls, name, "I");
}

jfieldID NativeZTMsg2::accessByteArrayField(jclass cls, const char* name) {
    return GetFieldID(env_, cls, name, "[B");
}

jfieldID NativeZTMsg2::accessBooleanField(jclass cls, const char* name) {
    return GetFieldID(env_, cls, name, "Z");
}

jint NativeZTMsg2::getIntValue(jfieldID id) {
    return GetIntField(env_, message_, id);
}

void NativeZTMsg2::copyByteArrayToNative(jfieldID id, unsigned char* field, int width) {
    copyByteArrayField(env_, message_, id, array_, field, width);
}

void NativeZTMsg2::copyByteArrayToNative(jfieldID id, char* field, int width) {
    copyByteArrayField(env_, message_, id, array_, field, width);
}

void NativeZTMsg2::copyNativeToByteArray(const unsigned char* field, int width, jfieldID id) {
    SetByteArrayField(env_, field, width, message_, id);
}

void NativeZTMsg2::copyNativeToByteArray(const char* field, int width, jfieldID id) {
    SetByteArrayField(env_, field, width, message_, id);
}

void NativeZTMsg2::copyNativeToJavaInt(jint value, jfieldID id) {
    SetIntField(env_, value, message_, id);
}

void NativeZTMsg2::setJavaBoolean(jfieldID id, bool value) {
    env_->SetBooleanField(message_, id, value ? JNI_TRUE : JNI_FALSE);
}

void NativeZTMsg2::populateNativeZTMDCommon(ZTMD* md) {
    NativeTrace trace(env_);
    trace.entry(clsname, "populateNativeZTMDCommon");
    std::memset(md, 0, sizeof *md);
    std::memcpy(md->eyeCatcher, ZTMD_EYE_CATCHER, sizeof md->eyeCatcher);
    md->version = version;
    md->encoding = getIntValue(encoding_);
    md->characterSet = getIntValue(characterSet_);
    copyByteArrayToNative(messageId_, md->messageId, sizeof md->messageId);
    copyByteArrayToNative(correlationId_, md->correlationId, sizeof md->correlationId);
    if (version > 1) {
        copyByteArrayToNative(groupId_, md->groupId, sizeof md->groupId);
        md->messageSequenceNumber = getIntValue(messageSequenceNumber_);
        md->offset = getIntValue(offset_);
    }
    trace.exit(clsname, "populateNativeZTMDCommon");
}

void NativeZTMsg2::populateNativeZTMDForPut(ZTMD* md, long putOptions) {
    NativeTrace trace(env_);
    trace.entry(clsname, "populateNativeZTMDForPut");
    populateNativeZTMDCommon(md);
    md->report = getIntValue(report_);
    md->messageType = getIntValue(messageType_);
    md->expiry = getIntValue(expiry_);
    md->feedback = getIntValue(feedback_);
    copyByteArrayToNative(format_, md->format, sizeof md->format);
    md->priority = getIntValue(priority_);
    md->persistence = getIntValue(persistence_);
    copyByteArrayToNative(replyToQueueName_, md->replyToQueueName, sizeof md->replyToQueueName);
    copyByteArrayToNative(replyToQueueManagerName_, md->replyToQueueManagerName,
                          sizeof md->replyToQueueManagerName);
    if ((putOptions & kAllContext) == kAllContext) {
        copyByteArrayToNative(userId_, md->userId, sizeof md->userId);
        copyByteArrayToNative(accountingToken_, md->accountingToken, sizeof md->accountingToken);
        copyByteArrayToNative(applicationIdData_, md->applicationIdData,
                              sizeof md->applicationIdData);
        md->putApplicationType = getIntValue(putApplicationType_);
        copyByteArrayToNative(putApplicationName_, md->putApplicationName,
                              sizeof md->putApplicationName);
        copyByteArrayToNative(applicationOriginData_, md->applicationOriginData,
                              sizeof md->applicationOriginData);
    }
    if (version > 1) {
        md->messageFlags = getIntValue(messageFlags_);
        md->originalLength = getIntValue(originalLength_);
    }
    trace.exit(clsname, "populateNativeZTMDForPut");
}

void NativeZTMsg2::populateNativeZTMDForGet(ZTMD* md) {
    NativeTrace trace(env_);
    trace.entry(clsname, "populateNativeZTMDForGet");
    populateNativeZTMDCommon(md);
    trace.exit(clsname, "populateNativeZTMDForGet");
}

void NativeZTMsg2::populateJavaZTMsg2Common(ZTMD* md) {
    NativeTrace trace(env_);
    trace.entry(clsname, "populateJavaZTMsg2Common");
    copyNativeToByteArray(md->correlationId, sizeof md->correlationId, correlationId_);
    copyNativeToByteArray(md->messageId, sizeof md->messageId, messageId_);
    copyNativeToByteArray(md->userId, sizeof md->userId, userId_);
    setJavaBoolean(userIdCached_, false);
    copyNativeToByteArray(md->accountingToken, sizeof md->accountingToken, accountingToken_);
    copyNativeToByteArray(md->applicationIdData, sizeof md->applicationIdData,
                          applicationIdData_);
    setJavaBoolean(applicationIdDataCached_, false);
    copyNativeToJavaInt(md->putApplicationType, putApplicationType_);
    copyNativeToByteArray(md->putApplicationName, sizeof md->putApplicationName,
                          putApplicationName_);
    setJavaBoolean(putApplicationNameCached_, false);
    copyNativeToByteArray(md->putDate, sizeof md->putDate, dateText_);
    copyNativeToByteArray(md->putTime, sizeof md->putTime, timeText_);
    setJavaBoolean(putTimeCached_, false);
    copyNativeToByteArray(md->applicationOriginData, sizeof md->applicationOriginData,
                          applicationOriginData_);
    setJavaBoolean(applicationOriginDataCached_, false);
    setJavaBoolean(stringsNeedCcsidConversion_, false);
    if (version > 1) {
        copyNativeToByteArray(md->groupId, sizeof md->groupId, groupId_);
        copyNativeToJavaInt(md->messageSequenceNumber, messageSequenceNumber_);
        copyNativeToJavaInt(md->offset, offset_);
    }
    trace.exit(clsname, "populateJavaZTMsg2Common");
}

void NativeZTMsg2::populateJavaZTMsg2AfterPut(ZTMD* md) {
    NativeTrace trace(env_);
    trace.entry(clsname, "populateJavaZTMsg2AfterPut");
    populateJavaZTMsg2Common(md);
    trace.exit(clsname, "populateJavaZTMsg2AfterPut");
}

void NativeZTMsg2::populateJavaZTMsg2AfterGet(ZTMD* md) {
    NativeTrace trace(env_);
    trace.entry(clsname, "populateJavaZTMsg2AfterGet");
    populateJavaZTMsg2Common(md);
    copyNativeToJavaInt(md->report, report_);
    copyNativeToJavaInt(md->messageType, messageType_);
    copyNativeToJavaInt(md->expiry, expiry_);
    copyNativeToJavaInt(md->feedback, feedback_);
    copyNativeToJavaInt(md->encoding, encoding_);
    copyNativeToByteArray(md->format, sizeof md->format, format_);
    setJavaBoolean(formatCached_, false);
    copyNativeToJavaInt(md->priority, priority_);
    copyNativeToJavaInt(md->persistence, persistence_);
    copyNativeToJavaInt(md->backoutCount, backoutCount_);
    copyNativeToByteArray(md->replyToQueueName, sizeof md->replyToQueueName, replyToQueueName_);
    setJavaBoolean(replyToQueueNameCached_, false);
    copyNativeToByteArray(md->replyToQueueManagerName, sizeof md->replyToQueueManagerName,
                          replyToQueueManagerName_);
    setJavaBoolean(replyToQueueManagerNameCached_, false);
    copyNativeToJavaInt(md->characterSet, characterSet_);
    if (version > 1) {
        copyNativeToJavaInt(md->messageFlags, messageFlags_);
        copyNativeToJavaInt(md->originalLength, originalLength_);
    }
    copyNativeToJavaInt(0, readCursor_);
    trace.exit(clsname, "populateJavaZTMsg2AfterGet");
}

#include "NativeZTMsg2.h"

#include <cstring>

#include "CheckedJni.h"
#include "FieldCopy.h"
#include "JniGuards.h"
#include "MemberLookup.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTMsg2";

namespace {
// Both context bits together bring the context in from a message object.
const long kAllContext = ZTPMO_SET_IDENTITY_CONTEXT | ZTPMO_SET_ALL_CONTEXT;
// Slots of the member cache, one per member looked up.
enum Member : size_t {
    kReport, kMessageType, kExpiry, kFeedback, kEncoding, kCharacterSet, kPriority, kPersistence,
    kBackoutCount, kPutApplicationType, kOffset, kMessageFlags, kVersion, kReadCursor, kDateText,
    kTimeText, kMessageId, kCorrelationId, kAccountingToken, kFormat, kReplyToQueueName,
    kReplyToQueueManagerName, kUserId, kApplicationIdData, kPutApplicationName,
    kApplicationOriginData, kPutTimeCached, kFormatCached, kReplyToQueueNameCached,
    kReplyToQueueManagerNameCached, kUserIdCached, kApplicationIdDataCached,
    kPutApplicationNameCached, kApplicationOriginDataCached, kStringsNeedCcsidConversion,
    kMessageSequenceNumber, kOriginalLength, kGroupId, kGetMessageData, kSetMessageData,
    kMemberCount
};
MemberCache<kMemberCount> members;

jfieldID accessIntField(Members<kMemberCount>& m, Member slot, const char* name) {
    return m.field(slot, name, "I");
}

jfieldID accessByteArrayField(Members<kMemberCount>& m, Member slot, const char* name) {
    return m.field(slot, name, "[B");
}

jfieldID accessBooleanField(Members<kMemberCount>& m, Member slot, const char* name) {
    return m.field(slot, name, "Z");
}
}  // namespace

NativeZTMsg2::NativeZTMsg2(JNIEnv* env, jobject message) : env_(env), message_(message) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTMsg2");
    FramedRef<jclass> cls(env_, requireObjectClass(env_, message_, "NativeZTMsg2"));
    Members<kMemberCount> m(env_, members, cls.get());
    report_ = accessIntField(m, kReport, "report");
    messageType_ = accessIntField(m, kMessageType, "messageType");
    expiry_ = accessIntField(m, kExpiry, "expiry");
    feedback_ = accessIntField(m, kFeedback, "feedback");
    encoding_ = accessIntField(m, kEncoding, "encoding");
    characterSet_ = accessIntField(m, kCharacterSet, "characterSet");
    priority_ = accessIntField(m, kPriority, "priority");
    persistence_ = accessIntField(m, kPersistence, "persistence");
    backoutCount_ = accessIntField(m, kBackoutCount, "backoutCount");
    putApplicationType_ = accessIntField(m, kPutApplicationType, "putApplicationType");
    offset_ = accessIntField(m, kOffset, "offset");
    messageFlags_ = accessIntField(m, kMessageFlags, "messageFlags");
    versionField_ = accessIntField(m, kVersion, "version");
    readCursor_ = accessIntField(m, kReadCursor, "readCursor");

    dateText_ = accessByteArrayField(m, kDateText, "dateText");
    timeText_ = accessByteArrayField(m, kTimeText, "timeText");
    messageId_ = accessByteArrayField(m, kMessageId, "messageId");
    correlationId_ = accessByteArrayField(m, kCorrelationId, "correlationId");
    accountingToken_ = accessByteArrayField(m, kAccountingToken, "accountingToken");
    format_ = accessByteArrayField(m, kFormat, "format");
    replyToQueueName_ = accessByteArrayField(m, kReplyToQueueName, "replyToQueueName");
    replyToQueueManagerName_ = accessByteArrayField(m, kReplyToQueueManagerName, "replyToQueueManagerName");
    userId_ = accessByteArrayField(m, kUserId, "userId");
    applicationIdData_ = accessByteArrayField(m, kApplicationIdData, "applicationIdData");
    putApplicationName_ = accessByteArrayField(m, kPutApplicationName, "putApplicationName");
    applicationOriginData_ = accessByteArrayField(m, kApplicationOriginData, "applicationOriginData");

    putTimeCached_ = accessBooleanField(m, kPutTimeCached, "putTimeCached");
    formatCached_ = accessBooleanField(m, kFormatCached, "formatCached");
    replyToQueueNameCached_ = accessBooleanField(m, kReplyToQueueNameCached, "replyToQueueNameCached");
    replyToQueueManagerNameCached_ = accessBooleanField(m, kReplyToQueueManagerNameCached, "replyToQueueManagerNameCached");
    userIdCached_ = accessBooleanField(m, kUserIdCached, "userIdCached");
    applicationIdDataCached_ = accessBooleanField(m, kApplicationIdDataCached, "applicationIdDataCached");
    putApplicationNameCached_ = accessBooleanField(m, kPutApplicationNameCached, "putApplicationNameCached");
    applicationOriginDataCached_ = accessBooleanField(m, kApplicationOriginDataCached, "applicationOriginDataCached");
    stringsNeedCcsidConversion_ = accessBooleanField(m, kStringsNeedCcsidConversion, "stringsNeedCcsidConversion");

    // Looked up only: the host's message class must have them.
    getMessageData_ = m.method(kGetMessageData, "getMessageData", "(Z)[B");
    setMessageData_ = m.method(kSetMessageData, "setMessageData", "([B)V");

    version = getIntValue(versionField_);
    if (version > 1) {
        // offset and messageFlags again: the host's message class has always
        // been read this way, and the cache makes the second lookup free.
        messageSequenceNumber_ = accessIntField(m, kMessageSequenceNumber, "messageSequenceNumber");
        offset_ = accessIntField(m, kOffset, "offset");
        messageFlags_ = accessIntField(m, kMessageFlags, "messageFlags");
        originalLength_ = accessIntField(m, kOriginalLength, "originalLength");
        groupId_ = accessByteArrayField(m, kGroupId, "groupId");
    }
    trace.exit(clsname, "NativeZTMsg2");
}

NativeZTMsg2::~NativeZTMsg2() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTMsg2");
    trace.exit(clsname, "~NativeZTMsg2");
}

jint NativeZTMsg2::getIntValue(jfieldID id) {
    return readIntField(env_, message_, id);
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
    writeIntField(env_, value, message_, id);
}

void NativeZTMsg2::writeBackJavaInt(jint value, jint copiedIn, jfieldID id) {
    writeBackInt(env_, value, copiedIn, message_, id);
}

void NativeZTMsg2::setJavaBoolean(jfieldID id, bool value) {
    checked::updateBooleanField(env_, message_, id, value ? JNI_TRUE : JNI_FALSE);
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
    context_ = (putOptions & kAllContext) == kAllContext;
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
    if (context_) {
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
    in_.keep(*md);
    trace.exit(clsname, "populateNativeZTMDForPut");
}

void NativeZTMsg2::populateNativeZTMDForGet(ZTMD* md) {
    NativeTrace trace(env_);
    trace.entry(clsname, "populateNativeZTMDForGet");
    populateNativeZTMDCommon(md);
    in_.keep(*md);
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
    if (context_) {
        writeBackJavaInt(md->putApplicationType, in_.putApplicationType, putApplicationType_);
    } else {
        copyNativeToJavaInt(md->putApplicationType, putApplicationType_);
    }
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
        writeBackJavaInt(md->messageSequenceNumber, in_.messageSequenceNumber,
                         messageSequenceNumber_);
        writeBackJavaInt(md->offset, in_.offset, offset_);
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
    writeBackJavaInt(md->encoding, in_.encoding, encoding_);
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
    writeBackJavaInt(md->characterSet, in_.characterSet, characterSet_);
    if (version > 1) {
        copyNativeToJavaInt(md->messageFlags, messageFlags_);
        copyNativeToJavaInt(md->originalLength, originalLength_);
    }
    copyNativeToJavaInt(0, readCursor_);
    trace.exit(clsname, "populateJavaZTMsg2AfterGet");
}

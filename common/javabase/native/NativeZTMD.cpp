#include "NativeZTMD.h"

#include <cstring>

#include "CheckedJni.h"
#include "FieldCopy.h"
#include "JniGuards.h"
#include "MemberLookup.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTMD";

namespace {
const char* const kString = "Ljava/lang/String;";
const char* const kBytes = "[B";

// Put options that carry the message context in from the descriptor.
const long kContextOptions = ZTPMO_SET_IDENTITY_CONTEXT | ZTPMO_SET_ALL_CONTEXT;

// A digit of the put date or time: its code as a signed byte, less '0'. Not
// checked: a blank or NUL simply adds its code less 48.
int digit(const char* field, int i) {
    return static_cast<signed char>(field[i]) - '0';
}

// Slots of the member cache, one per member looked up.
enum Member : size_t {
    kGetVersion, kReport, kMessageType, kExpiry, kFeedback, kEncoding, kFormat, kPriority,
    kPersistence, kBackoutCount, kReplyToQueueName, kReplyToQueueManagerName, kUserId,
    kAccountingToken, kApplicationIdData, kPutApplicationType, kPutApplicationName, kPutDate,
    kPutTime, kPutDateTime, kSetDateAndTime, kApplicationOriginData, kCharacterSet, kMessageId,
    kCorrelationId, kGroupId, kMessageSequenceNumber, kOffset, kMessageFlags, kOriginalLength,
    kMemberCount
};
MemberCache<kMemberCount> members;
}  // namespace

NativeZTMD::NativeZTMD(JNIEnv* env, jobject descriptor) : env_(env), descriptor_(descriptor) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTMD");
    FramedRef<jclass> cls(env_, requireObjectClass(env_, descriptor_, "NativeZTMD"));
    jclass c = cls.get();
    Members<kMemberCount> m(env_, members, c);
    jmethodID getVersion = m.method(kGetVersion, "getVersion", "()I");
    version = checked::callIntMethod(env_, descriptor_, getVersion);
    report_ = m.field(kReport, "report", "I");
    messageType_ = m.field(kMessageType, "messageType", "I");
    expiry_ = m.field(kExpiry, "expiry", "I");
    feedback_ = m.field(kFeedback, "feedback", "I");
    encoding_ = m.field(kEncoding, "encoding", "I");
    format_ = m.field(kFormat, "format", kString);
    priority_ = m.field(kPriority, "priority", "I");
    persistence_ = m.field(kPersistence, "persistence", "I");
    backoutCount_ = m.field(kBackoutCount, "backoutCount", "I");
    replyToQueueName_ = m.field(kReplyToQueueName, "replyToQueueName", kString);
    replyToQueueManagerName_ = m.field(kReplyToQueueManagerName, "replyToQueueManagerName", kString);
    userId_ = m.field(kUserId, "userId", kString);
    accountingToken_ = m.field(kAccountingToken, "accountingToken", kBytes);
    applicationIdData_ = m.field(kApplicationIdData, "applicationIdData", kString);
    putApplicationType_ = m.field(kPutApplicationType, "putApplicationType", "I");
    putApplicationName_ = m.field(kPutApplicationName, "putApplicationName", kString);
    putDate_ = m.field(kPutDate, "putDate", kString);
    putTime_ = m.field(kPutTime, "putTime", kString);
    // Looked up only: a class without it cannot be converted.
    putDateTime_ = m.field(kPutDateTime, "putDateTime", "Ljava/util/GregorianCalendar;");
    setDateAndTime_ = m.method(kSetDateAndTime, "setDateAndTime", "(IIIIIII)V");
    applicationOriginData_ = m.field(kApplicationOriginData, "applicationOriginData", kString);
    characterSet_ = m.field(kCharacterSet, "characterSet", "I");
    messageId_ = m.field(kMessageId, "messageId", kBytes);
    correlationId_ = m.field(kCorrelationId, "correlationId", kBytes);
    if (version > 1) {
        groupId_ = m.field(kGroupId, "groupId", kBytes);
        messageSequenceNumber_ = m.field(kMessageSequenceNumber, "messageSequenceNumber", "I");
        offset_ = m.field(kOffset, "offset", "I");
        messageFlags_ = m.field(kMessageFlags, "messageFlags", "I");
        originalLength_ = m.field(kOriginalLength, "originalLength", "I");
    }
    trace.exit(clsname, "NativeZTMD");
}

NativeZTMD::~NativeZTMD() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTMD");
    trace.exit(clsname, "~NativeZTMD");
}

void NativeZTMD::InitialiseForPut(ZTMD* record, long putOptions) {
    NativeTrace trace(env_);
    trace.entry(clsname, "InitialiseForPut");
    get_ = false;
    putOptions_ = putOptions;
    Initialise(record);
    trace.exit(clsname, "InitialiseForPut");
}

void NativeZTMD::InitialiseForGet(ZTMD* record) {
    NativeTrace trace(env_);
    trace.entry(clsname, "InitialiseForGet");
    get_ = true;
    Initialise(record);
    trace.exit(clsname, "InitialiseForGet");
}

bool NativeZTMD::copyString(jfieldID id, char* field, int width) {
    return copyStringField(env_, descriptor_, id, string_, field, width);
}

void NativeZTMD::copyBytes(jfieldID id, ZTBYTE* field, int width) {
    copyByteArrayField(env_, descriptor_, id, array_, field, width);
}

void NativeZTMD::Initialise(ZTMD* md) {
    NativeTrace trace(env_);
    trace.entry(clsname, "Initialise");
    std::memset(md, 0, sizeof *md);
    std::memcpy(md->eyeCatcher, ZTMD_EYE_CATCHER, sizeof md->eyeCatcher);
    md->version = version;
    exact_ = {};
    context_ = !get_ && (putOptions_ & kContextOptions) != 0;
    if (!get_) {
        md->report = readIntField(env_, descriptor_, report_);
        md->messageType = readIntField(env_, descriptor_, messageType_);
        md->expiry = readIntField(env_, descriptor_, expiry_);
        md->feedback = readIntField(env_, descriptor_, feedback_);
        copyString(format_, md->format, sizeof md->format);
        md->priority = readIntField(env_, descriptor_, priority_);
        md->persistence = readIntField(env_, descriptor_, persistence_);
        copyString(replyToQueueName_, md->replyToQueueName, sizeof md->replyToQueueName);
        copyString(replyToQueueManagerName_, md->replyToQueueManagerName,
                   sizeof md->replyToQueueManagerName);
        if (context_) {
            exact_.userId = copyString(userId_, md->userId, sizeof md->userId);
            copyBytes(accountingToken_, md->accountingToken, sizeof md->accountingToken);
            exact_.applicationIdData =
                copyString(applicationIdData_, md->applicationIdData, sizeof md->applicationIdData);
            md->putApplicationType = readIntField(env_, descriptor_, putApplicationType_);
            exact_.putApplicationName = copyString(putApplicationName_, md->putApplicationName,
                                                   sizeof md->putApplicationName);
            copyString(putDate_, md->putDate, sizeof md->putDate);
            copyString(putTime_, md->putTime, sizeof md->putTime);
            exact_.applicationOriginData =
                copyString(applicationOriginData_, md->applicationOriginData,
                           sizeof md->applicationOriginData);
        }
    }
    md->encoding = readIntField(env_, descriptor_, encoding_);
    md->characterSet = readIntField(env_, descriptor_, characterSet_);
    copyBytes(messageId_, md->messageId, sizeof md->messageId);
    copyBytes(correlationId_, md->correlationId, sizeof md->correlationId);
    if (version > 1) {
        copyBytes(groupId_, md->groupId, sizeof md->groupId);
        md->messageSequenceNumber = readIntField(env_, descriptor_, messageSequenceNumber_);
        md->offset = readIntField(env_, descriptor_, offset_);
        if (!get_) {
            md->messageFlags = readIntField(env_, descriptor_, messageFlags_);
            md->originalLength = readIntField(env_, descriptor_, originalLength_);
        }
    }
    in_.keep(*md);
    if (context_) {
        in_.keepContext(*md);
    }
    trace.exit(clsname, "Initialise");
}

void NativeZTMD::SetJavaZTMD(ZTMD md) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTMD");
    jobject d = descriptor_;
    if (get_) {
        writeIntField(env_, md.report, d, report_);
        writeIntField(env_, md.messageType, d, messageType_);
        writeIntField(env_, md.expiry, d, expiry_);
        writeIntField(env_, md.feedback, d, feedback_);
        writeBackInt(env_, md.encoding, in_.encoding, d, encoding_);
        SetStringField(env_, md.format, sizeof md.format, d, format_);
        writeIntField(env_, md.priority, d, priority_);
        writeIntField(env_, md.persistence, d, persistence_);
        writeIntField(env_, md.backoutCount, d, backoutCount_);
        SetStringField(env_, md.replyToQueueName, sizeof md.replyToQueueName, d,
                       replyToQueueName_);
        SetStringField(env_, md.replyToQueueManagerName, sizeof md.replyToQueueManagerName, d,
                       replyToQueueManagerName_);
        writeBackInt(env_, md.characterSet, in_.characterSet, d, characterSet_);
    }
    SetByteArrayField(env_, md.correlationId, sizeof md.correlationId, d, correlationId_);
    SetByteArrayField(env_, md.messageId, sizeof md.messageId, d, messageId_);
    writeBackString(env_, md.userId, in_.userId, sizeof md.userId, exact_.userId, d, userId_);
    SetByteArrayField(env_, md.accountingToken, sizeof md.accountingToken, d, accountingToken_);
    writeBackString(env_, md.applicationIdData, in_.applicationIdData, sizeof md.applicationIdData,
                    exact_.applicationIdData, d, applicationIdData_);
    if (context_) {
        writeBackInt(env_, md.putApplicationType, in_.putApplicationType, d, putApplicationType_);
    } else {
        writeIntField(env_, md.putApplicationType, d, putApplicationType_);
    }
    writeBackString(env_, md.putApplicationName, in_.putApplicationName,
                    sizeof md.putApplicationName, exact_.putApplicationName, d,
                    putApplicationName_);

    const char* date = md.putDate;
    const char* time = md.putTime;
    checked::callVoidMethod(env_, d, setDateAndTime_,
                            static_cast<jint>(1000 * digit(date, 0) + 100 * digit(date, 1) +
                                              10 * digit(date, 2) + digit(date, 3)),
                            static_cast<jint>(10 * digit(date, 4) + digit(date, 5)),
                            static_cast<jint>(10 * digit(date, 6) + digit(date, 7)),
                            static_cast<jint>(10 * digit(time, 0) + digit(time, 1)),
                            static_cast<jint>(10 * digit(time, 2) + digit(time, 3)),
                            static_cast<jint>(10 * digit(time, 4) + digit(time, 5)),
                            static_cast<jint>(100 * digit(time, 6) + 10 * digit(time, 7)));

    writeBackString(env_, md.applicationOriginData, in_.applicationOriginData,
                    sizeof md.applicationOriginData, exact_.applicationOriginData, d,
                    applicationOriginData_);
    if (version > 1) {
        SetByteArrayField(env_, md.groupId, sizeof md.groupId, d, groupId_);
        writeBackInt(env_, md.messageSequenceNumber, in_.messageSequenceNumber, d,
                     messageSequenceNumber_);
        writeBackInt(env_, md.offset, in_.offset, d, offset_);
        if (get_) {
            writeIntField(env_, md.messageFlags, d, messageFlags_);
            writeIntField(env_, md.originalLength, d, originalLength_);
        }
    }
    trace.exit(clsname, "SetJavaZTMD");
}

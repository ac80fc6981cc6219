// The message descriptor on its way to the queue manager (the exact ZTMD bytes
// of a put and a get) and back (what a put and a get write into the Java
// descriptor), with the queue manager's answers scripted.
#include "MessageTest.h"

using namespace zt::test;
using namespace msgtest;

namespace {

const std::string kReplyQ = "REPLY.QUEUE.NAME.OF.EXACTLY.FORTY.EIGHT.CHARS.XX";  // 48
const std::string kReplyQM = "REPLY.QMGR.NAME.OF.SIXTY.CHARACTERS.WHICH.IS.CUT.TO.48.ABCDEF";

// Distinct values in every Java field (version-2 fields only when asked).
const IntFields kCallerInts = {{"report", 0x11},  {"messageType", 0x12}, {"expiry", 0x13},
                               {"feedback", 0x14}, {"encoding", 0x15},    {"characterSet", 0x16},
                               {"priority", 7},    {"persistence", 1},    {"backoutCount", 5}};
const StringFields kCallerStrings = {
    {"format", "FMT"}, {"replyToQueueName", kReplyQ}, {"replyToQueueManagerName", kReplyQM}};
const StringFields kContextStrings = {{"userId", "USER1"},       {"applicationIdData", "appid"},
                                      {"putApplicationName", "putapp"}, {"putDate", "20231224"},
                                      {"putTime", "12345678"},   {"applicationOriginData", "ORIG"}};

void fill(jobject md, bool v2Fields) {
    setInts(md, kCallerInts);
    setStrings(md, kCallerStrings);
    setStrings(md, kContextStrings);
    setInt(md, "putApplicationType", 28);
    setBytes(md, "messageId", pattern(10, 1));
    setBytes(md, "correlationId", pattern(30, 0x30));
    setBytes(md, "accountingToken", pattern(32, 0xA0));
    if (v2Fields) {
        setBytes(md, "groupId", pattern(24, 0x60));
        setInts(md, {{"messageSequenceNumber", 41}, {"offset", 42}, {"messageFlags", 43},
                     {"originalLength", 44}});
    }
}

ZTMD cleared(int version) {
    ZTMD m;
    std::memset(&m, 0, sizeof m);
    std::memcpy(m.eyeCatcher, "MD  ", 4);
    m.version = version;
    return m;
}

// The fields a put and a get both send.
void common(ZTMD& m, bool v2) {
    m.encoding = 0x15;
    m.characterSet = 0x16;
    bytes(m.messageId, 24, pattern(10, 1));
    bytes(m.correlationId, 24, pattern(30, 0x30));
    if (v2) {
        bytes(m.groupId, 24, pattern(24, 0x60));
        m.messageSequenceNumber = 41;
        m.offset = 42;
    }
}

ZTMD expectedPut(int version, bool context) {
    ZTMD m = cleared(version);
    m.report = 0x11;
    m.messageType = 0x12;
    m.expiry = 0x13;
    m.feedback = 0x14;
    text(m.format, 8, "FMT");
    m.priority = 7;
    m.persistence = 1;
    text(m.replyToQueueName, 48, kReplyQ);
    text(m.replyToQueueManagerName, 48, kReplyQM);
    if (context) {
        text(m.userId, 12, "USER1");
        bytes(m.accountingToken, 32, pattern(32, 0xA0));
        text(m.applicationIdData, 32, "appid");
        m.putApplicationType = 28;
        text(m.putApplicationName, 28, "putapp");
        text(m.putDate, 8, "20231224");
        text(m.putTime, 8, "12345678");
        text(m.applicationOriginData, 4, "ORIG");
    }
    common(m, version > 1);
    if (version > 1) {
        m.messageFlags = 43;
        m.originalLength = 44;
    }
    return m;
}

ZTMD expectedGet(int version) {
    ZTMD m = cleared(version);
    common(m, version > 1);
    return m;
}

// What the queue manager leaves in every field of the record.
void stamp(ZTMD* m) {
    m->report = 0x21;
    m->messageType = 0x22;
    m->expiry = 0x23;
    m->feedback = 0x24;
    m->encoding = 0x25;
    m->characterSet = 0x26;
    std::memcpy(m->format, "QMFORMAT", 8);
    m->priority = 3;
    m->persistence = 0;
    bytes(m->messageId, 24, pattern(24, 0xB0));
    bytes(m->correlationId, 24, pattern(24, 0xC0));
    m->backoutCount = 9;
    text(m->replyToQueueName, 48, "QM.REPLY");
    text(m->replyToQueueManagerName, 48, "QM.REPLYQM");
    text(m->userId, 12, "qmuser");
    bytes(m->accountingToken, 32, pattern(32, 0xD0));
    text(m->applicationIdData, 32, "qmappid");
    m->putApplicationType = ZTAT_UNIX;
    text(m->putApplicationName, 28, "qmapp");
    std::memcpy(m->putDate, "20240131", 8);
    std::memcpy(m->putTime, "23595999", 8);
    std::memcpy(m->applicationOriginData, "QMOR", 4);
    bytes(m->groupId, 24, pattern(24, 0xE0));
    m->messageSequenceNumber = 51;
    m->offset = 52;
    m->messageFlags = 53;
    m->originalLength = 54;
}

void scriptStamp(const char* function, int cc = 0, int rc = 0) {
    ztmctl::Answer a;
    a.compCode = cc;
    a.reason = rc;
    a.dataLength = 0;
    a.hook = [](void** args) { stamp(static_cast<ZTMD*>(args[2])); };
    ztmctl::scriptNext(function, a);
}

jobject recording(int version) { return newObject(kRecordingDescriptor, "(I)V", version); }

std::vector<jint> dateAndTime(jobject md) {
    return intArrayValue(static_cast<jintArray>(getObject(md, "dateAndTime", "[I")));
}

const std::vector<jint> kStampedDateAndTime{2024, 1, 31, 23, 59, 59, 990};

// What both a put and a get bring back from the stamped record.
void expectStampedIdentity(jobject md) {
    expectStrings(md, {{"userId", "qmuser"},
                       {"applicationIdData", "qmappid"},
                       {"putApplicationName", "qmapp"},
                       {"applicationOriginData", "QMOR"}});
    expectInts(md, {{"putApplicationType", ZTAT_UNIX}, {"messageSequenceNumber", 51}, {"offset", 52}});
    EXPECT_EQ(getBytes(md, "messageId"), pattern(24, 0xB0));
    EXPECT_EQ(getBytes(md, "correlationId"), pattern(24, 0xC0));
    EXPECT_EQ(getBytes(md, "accountingToken"), pattern(32, 0xD0));
    EXPECT_EQ(getBytes(md, "groupId"), pattern(24, 0xE0));
    EXPECT_EQ(dateAndTime(md), kStampedDateAndTime);
}

class Descriptor : public MessageTest {
protected:
    Outcome putWith(jobject md, int options) {
        jobject pmo = newObject(kPutOptions, "(I)V", 1);
        setInt(pmo, "options", options);
        if (ztmctl::pendingScripts("ZTPUT") == 0) ztmctl::scriptNext("ZTPUT", ztmctl::Answer{});
        return put(1, 1, md, pmo, 3, newByteArray({1, 2, 3}));
    }
    ZTMD sentRecord(const char* function = "ZTPUT") {
        auto calls = ztmctl::callsOf(function);
        EXPECT_EQ(calls.size(), 1u);
        return calls.at(0).recordAs<ZTMD>("ZTMD");
    }
};

}  // namespace

TEST_F(Descriptor, PutWithoutContextBitsSendsNoContextFields) {
    for (int options : {0, ZTPMO_SYNCPOINT | ZTPMO_NEW_MSG_ID, 0x200, 0x1000}) {
        SCOPED_TRACE(options);
        ztmctl::clearCalls();
        jobject md = recording(2);
        fill(md, true);
        Outcome o = putWith(md, options);
        ASSERT_EQ(o.cc, 0);
        EXPECT_TRUE(sameBytes(sentRecord(), expectedPut(2, false)));
    }
}

TEST_F(Descriptor, PutWithEitherContextBitSendsAllEightContextFields) {
    for (int options : {ZTPMO_SET_IDENTITY_CONTEXT, ZTPMO_SET_ALL_CONTEXT,
                        ZTPMO_SET_IDENTITY_CONTEXT | ZTPMO_SET_ALL_CONTEXT | ZTPMO_SYNCPOINT}) {
        SCOPED_TRACE(options);
        ztmctl::clearCalls();
        jobject md = recording(2);
        fill(md, true);
        ASSERT_EQ(putWith(md, options).cc, 0);
        EXPECT_TRUE(sameBytes(sentRecord(), expectedPut(2, true)));
    }
}

TEST_F(Descriptor, VersionOneOrLessSendsNoVersionTwoFieldsAndNeedsNone) {
    // A class without the version-2 fields, answering 1, 0 and -1: the version
    // goes into the record as it is, and none of the five fields is looked up.
    for (int version : {1, 0, -1}) {
        SCOPED_TRACE(version);
        ztmctl::clearCalls();
        jobject md = newObject(kOldDescriptor, "()V");
        setInt(md, "reportedVersion", version);
        fill(md, false);
        scriptStamp("ZTPUT");
        jobject pmo = newObject(kPutOptions, "(I)V", 1);
        setInt(pmo, "options", ZTPMO_SET_ALL_CONTEXT);
        Outcome o = put(1, 1, md, pmo, 1, newByteArray({9}));
        ASSERT_EQ(o.cc, 0) << o.pending;
        EXPECT_EQ(o.pending, "");
        EXPECT_TRUE(sameBytes(sentRecord(), expectedPut(version, true)));
        EXPECT_EQ(getBytes(md, "messageId"), pattern(24, 0xB0));
        EXPECT_EQ(dateAndTime(md), kStampedDateAndTime);
    }
    // The host's class at version 1: its version-2 fields are neither sent nor
    // written back, whatever the queue manager leaves in the record.
    ztmctl::clearCalls();
    jobject md = recording(1);
    fill(md, true);
    scriptStamp("ZTPUT");
    ASSERT_EQ(put(1, 1, md, newObject(kPutOptions, "()V"), 1, newByteArray({9})).cc, 0);
    ZTMD sent = sentRecord();
    EXPECT_TRUE(allZero(reinterpret_cast<const uint8_t*>(&sent), offsetof(ZTMD, groupId),
                        sizeof(ZTMD)));
    EXPECT_EQ(getBytes(md, "groupId"), pattern(24, 0x60));
    EXPECT_EQ(getInt(md, "messageSequenceNumber"), 41);
    EXPECT_EQ(getInt(md, "offset"), 42);
    EXPECT_EQ(getInt(md, "messageFlags"), 43);
    EXPECT_EQ(getInt(md, "originalLength"), 44);
}

TEST_F(Descriptor, GetSendsOnlyEncodingCharacterSetAndIdentifiers) {
    for (int version : {2, 1}) {
        SCOPED_TRACE(version);
        ztmctl::clearCalls();
        jobject md = recording(version);
        fill(md, true);
        ztmctl::scriptNext("ZTGET", ztmctl::Answer{});
        Outcome o = get(1, 1, md, newObject(kGetOptions, "(I)V", 1), 4, newByteArray(Bytes(4)),
                        newPint(-1));
        ASSERT_EQ(o.cc, 0);
        EXPECT_TRUE(sameBytes(sentRecord("ZTGET"), expectedGet(version)));
    }
}

TEST_F(Descriptor, PutWritesBackIdentifiersContextAndDateButNotWhatTheCallerSet) {
    jobject md = recording(2);
    fill(md, true);
    scriptStamp("ZTPUT");
    ASSERT_EQ(putWith(md, 0).cc, 0);
    // Unchanged: what the caller chose for the message; putDate and putTime
    // are read for a put, never written.
    expectInts(md, kCallerInts);
    expectStrings(md, kCallerStrings);
    expectStrings(md, {{"putDate", "20231224"}, {"putTime", "12345678"}});
    expectInts(md, {{"messageFlags", 43}, {"originalLength", 44}});
    // Replaced: identifiers (new 24-byte arrays), context, date and time, group.
    expectStampedIdentity(md);
    EXPECT_EQ(getInt(md, "dateAndTimeCalls"), 1);
    // The host's calendar from those arguments: 2024-01-31T23:59:59.990Z.
    jobject calendar = getObject(md, "putDateTime", "Ljava/util/GregorianCalendar;");
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(env()->CallLongMethod(calendar, env()->GetMethodID(findClass("java/util/Calendar"),
                                                                 "getTimeInMillis", "()J")),
              1706745599990LL);
}

TEST_F(Descriptor, GetWritesBackEveryField) {
    jobject md = recording(2);
    fill(md, true);
    scriptStamp("ZTGET");
    Outcome o = get(1, 1, md, newObject(kGetOptions, "(I)V", 2), 4, newByteArray(Bytes(4)),
                    newPint(-1));
    ASSERT_EQ(o.cc, 0);
    expectInts(md, {{"report", 0x21},   {"messageType", 0x22}, {"expiry", 0x23},
                    {"feedback", 0x24}, {"encoding", 0x25},    {"characterSet", 0x26},
                    {"priority", 3},    {"persistence", 0},    {"backoutCount", 9}});
    expectStrings(md, {{"format", "QMFORMAT"},
                       {"replyToQueueName", "QM.REPLY"},
                       {"replyToQueueManagerName", "QM.REPLYQM"}});
    expectStampedIdentity(md);
    // Not sent on a get, but written back.
    expectInts(md, {{"messageFlags", 53}, {"originalLength", 54}});
}

TEST_F(Descriptor, DateAndTimeDigitsAreNotChecked) {
    // A record whose put date and time stayed zero: every digit counts -48.
    jobject md = recording(2);
    ASSERT_EQ(putWith(md, 0).cc, 0);
    EXPECT_EQ(dateAndTime(md), (std::vector<jint>{-53328, -528, -528, -528, -528, -528, -5280}));
    // A blank counts -16, a '9' 9: " 9" as a month is -151.
    ztmctl::Answer a;
    a.hook = [](void** args) {
        auto* m = static_cast<ZTMD*>(args[2]);
        std::memcpy(m->putDate, "2024 912", 8);
        std::memcpy(m->putTime, "00000001", 8);
    };
    ztmctl::scriptNext("ZTPUT", a);
    ASSERT_EQ(putWith(md, 0).cc, 0);
    EXPECT_EQ(dateAndTime(md), (std::vector<jint>{2024, -151, 12, 0, 0, 0, 10}));
}

TEST_F(Descriptor, FailedPutOrGetWritesNothingBack) {
    jobject md = recording(2);
    fill(md, true);
    scriptStamp("ZTPUT", 2, ZTRC_Q_FULL);
    Outcome o = putWith(md, 0);
    EXPECT_EQ(o.cc, 2);
    EXPECT_EQ(o.rc, ZTRC_Q_FULL);
    scriptStamp("ZTGET", 2, ZTRC_NO_MSG_AVAILABLE);
    jobject length = newPint(-7);
    o = get(1, 1, md, newObject(kGetOptions, "(I)V", 2), 4, newByteArray(Bytes(4)), length);
    EXPECT_EQ(o.cc, 2);
    EXPECT_EQ(o.rc, ZTRC_NO_MSG_AVAILABLE);
    EXPECT_EQ(pintValue(length), -7);
    EXPECT_EQ(getBytes(md, "messageId"), pattern(10, 1));
    EXPECT_EQ(getBytes(md, "correlationId"), pattern(30, 0x30));
    EXPECT_EQ(getString(md, "userId"), "USER1");
    EXPECT_EQ(getInt(md, "report"), 0x11);
    EXPECT_EQ(getInt(md, "messageFlags"), 43);
    EXPECT_EQ(getInt(md, "dateAndTimeCalls"), 0);
}

TEST_F(Descriptor, NullStringsAndArraysLeaveTheirFieldsZero) {
    jobject md = recording(2);
    for (const char* f : {"format", "replyToQueueName", "replyToQueueManagerName", "userId",
                          "applicationIdData", "putApplicationName", "putDate", "putTime",
                          "applicationOriginData"}) {
        setString(md, f, std::nullopt);
    }
    for (const char* f : {"messageId", "correlationId", "accountingToken", "groupId"}) {
        setBytes(md, f, std::nullopt);
    }
    setInt(md, "encoding", 0);
    setInt(md, "characterSet", 0);
    for (const char* f : {"report", "messageType", "expiry", "priority", "persistence",
                          "messageSequenceNumber", "messageFlags", "originalLength"}) {
        setInt(md, f, 0);
    }
    ASSERT_EQ(putWith(md, ZTPMO_SET_ALL_CONTEXT).cc, 0);
    EXPECT_TRUE(sameBytes(sentRecord(), cleared(2)));
}

TEST_F(Descriptor, ExceptionFromSetDateAndTimeReachesTheCallerAfterTheWriteBack) {
    // Not looked at: the put reports the queue manager's result, the fields
    // after the call are still written, and the exception is pending on return.
    jobject md = newObject("zt/messages/ThrowingDescriptor", "(I)V", 2);
    scriptStamp("ZTPUT");
    Outcome o = putWith(md, 0);
    EXPECT_EQ(o.cc, 0);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.pending, "java.lang.IllegalStateException");
    EXPECT_EQ(getString(md, "applicationOriginData"), "QMOR");
    EXPECT_EQ(getBytes(md, "groupId"), pattern(24, 0xE0));
    EXPECT_EQ(getInt(md, "offset"), 52);
}

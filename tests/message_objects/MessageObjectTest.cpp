// The message-object verbs of libsessbridge (_ZTPUTMSG2, _ZTPUT1MSG2,
// _ZTGETMSG2) against the real JVM: the ZTMD bytes a message object gives, what
// comes back into it (cached flags, readCursor), the version rules, and the
// refusals that keep the queue manager from reading outside the data array.
#include "MessageObjects.h"

#include <algorithm>

using namespace zt::test;
using namespace msgtest;

namespace {

const jint kHconn = 5;
const jint kHobj = 6;

void putMsg2(JNIEnv* e, jobject m, jobject pmo, jint length, jbyteArray data, const Holders& h) {
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTPUTMSG2(e, nullptr, kHconn, kHobj, m, pmo, length,
                                                     data, h.cc, h.rc);
    });
}

void put1Msg2(JNIEnv* e, jobject od, jobject m, jobject pmo, jint length, jbyteArray data,
              const Holders& h) {
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTPUT1MSG2(e, nullptr, kHconn, od, m, pmo, length,
                                                      data, h.cc, h.rc);
    });
}

void getMsg2(JNIEnv* e, jobject m, jobject gmo, jint length, jbyteArray buffer,
             const Holders& h) {
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTGETMSG2(e, nullptr, kHconn, kHobj, m, gmo, length,
                                                     buffer, h.length, h.cc, h.rc);
    });
}

jobject objectDescriptor(const char* name) {
    return newObject("com/zel/zt/ZTObjectDescriptor", "(Ljava/lang/String;)V", newString(name));
}

// The fields a put writes back (and a get too).
const std::vector<std::string> kPutWritesBack{
    "correlationId", "messageId", "userId", "accountingToken", "applicationIdData",
    "putApplicationType", "putApplicationName", "dateText", "timeText", "applicationOriginData",
    "groupId", "messageSequenceNumber", "offset"};

using MessagePut = BridgeTest;
using MessageGet = BridgeTest;
using MessageVersions = BridgeTest;
using MessageMends = BridgeTest;

}  // namespace

// --- the descriptor a put sends ------------------------------------------------------

TEST_F(MessagePut, ContextGoesOutOnlyWithBothContextBits) {
    const MessageValues v;
    jobject m = newMessage(v);
    jbyteArray data = newByteArray(text("payload"));
    const struct {
        jint options;
        bool context;
    } cases[] = {{0xC00, true},
                 {0x400, false},
                 {0x800, false},
                 {0, false},
                 {0xC00 | ZTPMO_SYNCPOINT | ZTPMO_NEW_MSG_ID, true},
                 {0x400 | ZTPMO_NEW_MSG_ID, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        ztmctl::clearCalls();
        // Refused, so that the message object stays as it was for the next case.
        ztmctl::scriptNext("ZTPUT", answer(2, ZTRC_Q_FULL));
        Holders h;
        putMsg2(env(), m, putOptionsObject(c.options), 7, data, h);
        EXPECT_EQ(h.compCode(), 2);
        EXPECT_EQ(h.reason(), ZTRC_Q_FULL);
        auto puts = ztmctl::callsOf("ZTPUT");
        ASSERT_EQ(puts.size(), 1u);
        EXPECT_TRUE(sameRecord(puts[0].record("ZTMD"), expectedPutRecord(v, c.context)));
        ZTMD sent = puts[0].recordAs<ZTMD>("ZTMD");
        EXPECT_EQ(bytesOf(sent.putDate), Bytes(8, 0)) << "dateText is never sent";
        EXPECT_EQ(bytesOf(sent.putTime), Bytes(8, 0)) << "timeText is never sent";
        EXPECT_EQ(puts[0].recordAs<ZTPMO>("ZTPMO").options, c.options);
        EXPECT_EQ(puts[0].arg("hconn"), kHconn);
        EXPECT_EQ(puts[0].arg("hobj"), kHobj);
        EXPECT_EQ(puts[0].arg("dataLength"), 7);
        EXPECT_EQ(puts[0].record("data"), text("payload"));
    }
}

TEST_F(MessagePut, ByteFieldsGoAsTheyAreCutToTheirWidthOrZeroFilled) {
    MessageValues v;
    v.format = Bytes{0xC3, 0xA9, 0xFF};       // not text: no conversion, no terminator
    v.userId = std::nullopt;                  // null: zeros
    v.accountingToken = pattern(40, 0x45, 3);  // cut to 32
    v.replyToQueueManagerName = Bytes{};      // empty: zeros
    jobject m = newMessage(v);
    ztmctl::scriptNext("ZTPUT", answer(2, ZTRC_Q_FULL));
    Holders h;
    putMsg2(env(), m, putOptionsObject(0xC00), 1, newByteArray({9}), h);
    auto puts = ztmctl::callsOf("ZTPUT");
    ASSERT_EQ(puts.size(), 1u);
    ZTMD sent = puts[0].recordAs<ZTMD>("ZTMD");
    EXPECT_EQ(bytesOf(sent.format), (Bytes{0xC3, 0xA9, 0xFF, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytesOf(sent.userId), Bytes(12, 0));
    EXPECT_EQ(bytesOf(sent.accountingToken), pattern(32, 0x45, 3));
    EXPECT_EQ(bytesOf(sent.replyToQueueName), Bytes(v.replyToQueueName->begin(),
                                                    v.replyToQueueName->begin() + 48));
    EXPECT_TRUE(sameRecord(puts[0].record("ZTMD"), expectedPutRecord(v, true)));
}

TEST_F(MessagePut, VersionOneOrLessGoesInAsItIsAndLeavesTheVersionTwoFieldsAlone) {
    for (jint version : {1, 0, -3}) {
        SCOPED_TRACE(version);
        ztmctl::clearCalls();
        MessageValues v;
        v.version = version;
        jobject m = newMessage(v);
        jobject groupIdBefore = getObject(m, "groupId", "[B");
        ztmctl::scriptNext("ZTPUT", answer(0, 0, answerWith(queueManagerRecord(2))));
        Holders h;
        putMsg2(env(), m, putOptionsObject(0xC00), 1, newByteArray({9}), h);
        EXPECT_EQ(h.compCode(), 0);
        auto puts = ztmctl::callsOf("ZTPUT");
        ASSERT_EQ(puts.size(), 1u);
        EXPECT_TRUE(sameRecord(puts[0].record("ZTMD"), expectedPutRecord(v, true)));
        EXPECT_EQ(puts[0].recordAs<ZTMD>("ZTMD").version, version);
        EXPECT_TRUE(env()->IsSameObject(getObject(m, "groupId", "[B"), groupIdBefore));
        EXPECT_EQ(getInt(m, "messageSequenceNumber"), v.messageSequenceNumber);
        EXPECT_EQ(getInt(m, "offset"), v.offset);
        EXPECT_EQ(getInt(m, "version"), version) << "version is read, never written";
        EXPECT_EQ(getBytes(m, "messageId"), bytesOf(queueManagerRecord().messageId));
    }
}

TEST_F(MessagePut, PutOneSendsTheSameDescriptorAndWritesAllThreeObjectsBack) {
    const MessageValues v;
    jobject m = newMessage(v);
    jobject od = objectDescriptor("Q.ONE");
    jobject pmo = putOptionsObject(0xC00);
    const ZTMD qm = queueManagerRecord();
    ztmctl::scriptNext("ZTPUT1", answer(0, 0, [qm](void** args) {
        std::memcpy(args[2], &qm, sizeof qm);
        std::memcpy(static_cast<ZTOD*>(args[1])->objectQMgrName, "ZTQM", 5);
        std::memcpy(static_cast<ZTPMO*>(args[3])->resolvedQueueName, "Q.RESOLVED", 11);
    }));
    Holders h;
    put1Msg2(env(), od, m, pmo, 3, newByteArray(text("abc")), h);
    EXPECT_EQ(h.compCode(), 0);
    EXPECT_EQ(h.reason(), 0);
    auto puts = ztmctl::callsOf("ZTPUT1");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_TRUE(sameRecord(puts[0].record("ZTMD"), expectedPutRecord(v, true)));
    EXPECT_EQ(std::string(puts[0].recordAs<ZTOD>("ZTOD").objectName), "Q.ONE");
    EXPECT_EQ(puts[0].record("data"), text("abc"));
    expectCommonFieldsFrom(m, qm, true);
    expectFlagsAfterPut(m, true);
    EXPECT_EQ(getString(od, "ObjectQMgrName"), std::optional<std::string>("ZTQM"));
    EXPECT_EQ(getString(pmo, "resolvedQueueName"), std::optional<std::string>("Q.RESOLVED"));
}

// --- what a put writes back ------------------------------------------------------------

TEST_F(MessagePut, AcceptedPutReplacesItsFieldsAndClearsExactlyTheirFlags) {
    const MessageValues v;
    const ZTMD qm = queueManagerRecord();
    for (int compCode : {0, 1}) {
        for (bool flags : {true, false}) {
            LocalFrame round(64);
            SCOPED_TRACE(testing::Message() << "cc " << compCode << ", flags " << flags);
            jobject m = newMessage(v, kMessageClass, flags);
            auto before = arraysOf(m);
            jobject pmo = putOptionsObject(0x800);
            ztmctl::scriptNext("ZTPUT", answer(compCode, compCode ? ZTRC_MULTIPLE_REASONS : 0,
                                               [qm](void** args) {
                                                   std::memcpy(args[2], &qm, sizeof qm);
                                                   std::memcpy(static_cast<ZTPMO*>(args[3])
                                                                   ->resolvedQueueName,
                                                               "Q.RESOLVED", 11);
                                               }));
            Holders h;
            putMsg2(env(), m, pmo, 1, newByteArray({1}), h);
            EXPECT_EQ(h.compCode(), compCode);
            EXPECT_EQ(h.reason(), compCode ? ZTRC_MULTIPLE_REASONS : 0);
            expectCommonFieldsFrom(m, qm, true);
            // report, format, the reply-to names, readCursor ... keep their values.
            expectUntouched(m, v, before, kPutWritesBack);
            expectFlagsAfterPut(m, flags);
            EXPECT_EQ(getString(pmo, "resolvedQueueName"),
                      std::optional<std::string>("Q.RESOLVED"));
        }
    }
}

TEST_F(MessagePut, RefusedPutChangesNothingButTheHolders) {
    const MessageValues v;
    jobject m = newMessage(v);
    auto before = arraysOf(m);
    jobject od = objectDescriptor("Q.ONE");
    jobject pmo = putOptionsObject(0xC00);
    const ZTMD qm = queueManagerRecord();
    auto scribble = [qm](void** args) { std::memcpy(args[2], &qm, sizeof qm); };
    ztmctl::scriptNext("ZTPUT", answer(2, ZTRC_PUT_INHIBITED, scribble));
    ztmctl::scriptNext("ZTPUT1", answer(2, ZTRC_PUT_INHIBITED, scribble));
    Holders h1, h2;
    putMsg2(env(), m, pmo, 1, newByteArray({1}), h1);
    put1Msg2(env(), od, m, pmo, 1, newByteArray({1}), h2);
    for (const Holders* h : {&h1, &h2}) {
        EXPECT_EQ(h->compCode(), 2);
        EXPECT_EQ(h->reason(), ZTRC_PUT_INHIBITED);
    }
    EXPECT_EQ(qmgrCalls(), (std::vector<std::string>{"ZTPUT", "ZTPUT1"}));
    expectUntouched(m, v, before);
    for (const auto& f : flagsOf(m)) EXPECT_TRUE(f.second) << f.first;
    EXPECT_EQ(getString(pmo, "resolvedQueueName"), std::nullopt);
}

// --- the descriptor a get sends, and what it writes back --------------------------------

TEST_F(MessageGet, SendsOnlyWhatSelectsTheMessageAndChangesNothingWhenRefused) {
    const MessageValues v;
    jobject m = newMessage(v);
    auto before = arraysOf(m);
    jobject gmo = getOptionsObject(ZTGMO_NO_SYNCPOINT);
    jbyteArray buffer = newByteArray(text("zzzzzz"));
    const ZTMD qm = queueManagerRecord();
    ztmctl::Answer refused = answer(2, ZTRC_NO_MSG_AVAILABLE, [qm](void** args) {
        std::memcpy(args[2], &qm, sizeof qm);
        std::memset(args[5], 'q', 6);  // discarded with the elements
    });
    refused.dataLength = 4;
    ztmctl::scriptNext("ZTGET", refused);
    Holders h;
    getMsg2(env(), m, gmo, 6, buffer, h);
    EXPECT_EQ(h.compCode(), 2);
    EXPECT_EQ(h.reason(), ZTRC_NO_MSG_AVAILABLE);
    auto gets = ztmctl::callsOf("ZTGET");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_TRUE(sameRecord(gets[0].record("ZTMD"), expectedGetRecord(v)));
    EXPECT_EQ(gets[0].arg("bufferLength"), 6);
    EXPECT_EQ(gets[0].recordAs<ZTGMO>("ZTGMO").options, ZTGMO_NO_SYNCPOINT);
    expectUntouched(m, v, before);  // readCursor included
    for (const auto& f : flagsOf(m)) EXPECT_TRUE(f.second) << f.first;
    EXPECT_EQ(byteArrayValue(buffer), text("zzzzzz"));
    EXPECT_EQ(h.dataLength(), -1);
}

TEST_F(MessageGet, AcceptedGetReplacesEveryFieldClearsEveryFlagAndRewindsTheCursor) {
    const ZTMD qm = queueManagerRecord();
    const struct {
        int compCode;
        int reason;
        jint dataLength;
        const char* buffer;
    } cases[] = {{1, ZTRC_TRUNCATED_MSG_ACCEPTED, 10, "012345"}, {0, 0, 3, "012zzz"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.compCode);
        MessageValues v;
        v.format = Bytes{'A', 'B', 'C'};
        jobject m = newMessage(v);
        jobject gmo = getOptionsObject();
        jbyteArray buffer = newByteArray(text("zzzzzz"));
        ztmctl::Answer a = answer(c.compCode, c.reason, [qm](void** args) {
            std::memcpy(args[2], &qm, sizeof qm);
            std::memcpy(static_cast<ZTGMO*>(args[3])->resolvedQueueName, "Q.GOT", 6);
            std::memcpy(args[5], "0123456789", 6);
        });
        a.dataLength = c.dataLength;
        ztmctl::scriptNext("ZTGET", a);
        Holders h;
        getMsg2(env(), m, gmo, 6, buffer, h);
        EXPECT_EQ(h.compCode(), c.compCode);
        EXPECT_EQ(h.reason(), c.reason);
        EXPECT_EQ(h.dataLength(), c.dataLength) << "the full length, even beyond the buffer";
        EXPECT_EQ(byteArrayValue(buffer), text(c.buffer)) << "only the bytes received";
        expectCommonFieldsFrom(m, qm, true);
        expectGetOnlyFieldsFrom(m, qm, true);
        EXPECT_EQ(getBytes(m, "format")->size(), 8u);
        EXPECT_EQ(getInt(m, "readCursor"), 0);
        for (const auto& f : flagsOf(m)) EXPECT_FALSE(f.second) << f.first;
        EXPECT_EQ(getInt(m, "version"), 2);
        EXPECT_EQ(getString(gmo, "resolvedQueueName"), std::optional<std::string>("Q.GOT"));
    }
}

// --- versions and classes -----------------------------------------------------------------

TEST_F(MessageVersions, Version1ClassWithoutGroupIdWorksForPutPutOneAndGet) {
    MessageValues v;
    v.version = 1;
    const ZTMD qm = queueManagerRecord(1);  // with version-2 fields the class cannot take
    ztmctl::scriptNext("ZTPUT", answer(0, 0, answerWith(qm)));
    ztmctl::scriptNext("ZTPUT1", answer(0, 0, answerWith(qm)));
    ztmctl::Answer got = answer(0, 0, answerWith(qm));
    got.dataLength = 0;
    ztmctl::scriptNext("ZTGET", got);

    jobject put = newMessage(v, kVersion1Class);
    jobject put1 = newMessage(v, kVersion1Class);
    jobject get = newMessage(v, kVersion1Class);
    Holders h1, h2, h3;
    putMsg2(env(), put, putOptionsObject(0xC00), 1, newByteArray({1}), h1);
    put1Msg2(env(), objectDescriptor("Q.ONE"), put1, putOptionsObject(0xC00), 1,
             newByteArray({1}), h2);
    getMsg2(env(), get, getOptionsObject(), 4, newByteArray({0, 0, 0, 0}), h3);
    for (const Holders* h : {&h1, &h2, &h3}) {
        EXPECT_EQ(h->compCode(), 0);
        EXPECT_EQ(h->reason(), 0);
    }
    EXPECT_EQ(takePendingException(), "");
    auto calls = ztmctl::calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(sameRecord(calls[0].record("ZTMD"), expectedPutRecord(v, true)));
    EXPECT_TRUE(sameRecord(calls[1].record("ZTMD"), expectedPutRecord(v, true)));
    EXPECT_TRUE(sameRecord(calls[2].record("ZTMD"), expectedGetRecord(v)));
    for (jobject m : {put, put1, get}) expectCommonFieldsFrom(m, qm, false);
    expectGetOnlyFieldsFrom(get, qm, false);
    EXPECT_EQ(getInt(get, "offset"), v.offset) << "offset is not written for version 1";
    EXPECT_EQ(getInt(get, "messageFlags"), v.messageFlags);
    EXPECT_EQ(getInt(get, "readCursor"), 0);
}

TEST_F(MessageVersions, ClassesLackingAMemberAreRefusedBeforeTheCall) {
    MessageValues v;  // version 2
    const struct {
        const char* cls;
        const char* error;
        const char* logged;
    } cases[] = {{kVersion1Class, "java.lang.NoSuchFieldError", "103 messageSequenceNumber"},
                 {kNoSetDataClass, "java.lang.NoSuchMethodError", "104 setMessageData"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cls);
        jobject m = newMessage(v, c.cls);
        setInt(m, "version", 2);
        jbyteArray buffer = newByteArray(text("zzzz"));
        Holders h1, h2, h3;
        InternalException::clear();
        putMsg2(env(), m, putOptionsObject(0xC00), 1, newByteArray({1}), h1);
        EXPECT_EQ(takePendingException(), c.error);
        put1Msg2(env(), objectDescriptor("Q.ONE"), m, putOptionsObject(0), 1, newByteArray({1}),
                 h2);
        EXPECT_EQ(takePendingException(), c.error);
        getMsg2(env(), m, getOptionsObject(), 4, buffer, h3);
        EXPECT_EQ(takePendingException(), c.error);
        for (const Holders* h : {&h1, &h2, &h3}) {
            EXPECT_EQ(h->compCode(), 2);
            EXPECT_EQ(h->reason(), 2195);
        }
        EXPECT_EQ(h3.dataLength(), -1);
        EXPECT_EQ(ztmctl::callCount(), 0u) << "the queue manager is not called";
        EXPECT_EQ(InternalException::logged(), std::vector<std::string>(3, c.logged));
        EXPECT_EQ(getInt(m, "readCursor"), v.readCursor);
        for (const auto& f : flagsOf(m)) EXPECT_TRUE(f.second) << f.first;
        EXPECT_EQ(byteArrayValue(buffer), text("zzzz"));
    }
}

// --- mended faults ------------------------------------------------------------------------

TEST_F(MessageMends, DataMissingOrLengthOutsideTheArrayIsRefusedBeforeTheCall) {
    const MessageValues v;
    jobject m = newMessage(v);
    auto before = arraysOf(m);
    jbyteArray ten = newByteArray(pattern(10, 2, 3));
    const struct {
        jbyteArray array;
        jint length;
    } refused[] = {{nullptr, 0}, {nullptr, 5}, {ten, -1}, {ten, 11}, {ten, 0x7FFFFFFF}};
    for (const auto& c : refused) {
        LocalFrame round(64);
        SCOPED_TRACE(testing::Message() << (c.array ? "array of 10" : "null") << ", length "
                                        << c.length);
        Holders h1, h2, h3;
        putMsg2(env(), m, putOptionsObject(0), c.length, c.array, h1);
        put1Msg2(env(), objectDescriptor("Q.ONE"), m, putOptionsObject(0), c.length, c.array, h2);
        getMsg2(env(), m, getOptionsObject(), c.length, c.array, h3);
        for (const Holders* h : {&h1, &h2, &h3}) {
            EXPECT_EQ(h->compCode(), 2);
            EXPECT_EQ(h->reason(), 2195);
        }
        EXPECT_EQ(h3.dataLength(), -1);
        EXPECT_EQ(ztmctl::callCount(), 0u);
        EXPECT_EQ(takePendingException(), "");
    }
    expectUntouched(m, v, before);
    EXPECT_EQ(byteArrayValue(ten), pattern(10, 2, 3));

    // The edges that fit are accepted: the whole array, and nothing at all.
    for (jbyteArray a : {ten, newByteArray({})}) {
        const jint length = env()->GetArrayLength(a);
        ztmctl::clearCalls();
        ztmctl::scriptNext("ZTPUT", answer(2, ZTRC_Q_FULL));
        ztmctl::scriptNext("ZTGET", answer(2, ZTRC_NO_MSG_AVAILABLE));
        Holders h1, h2;
        putMsg2(env(), m, putOptionsObject(0), length, a, h1);
        getMsg2(env(), m, getOptionsObject(), length, a, h2);
        EXPECT_EQ(h1.reason(), ZTRC_Q_FULL);
        EXPECT_EQ(h2.reason(), ZTRC_NO_MSG_AVAILABLE);
        auto calls = ztmctl::calls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].arg("dataLength"), length);
        EXPECT_EQ(calls[1].arg("bufferLength"), length);
    }
}

TEST_F(MessageMends, ElementsAreReleasedWhenANativeErrorEndsTheVerb) {
    // A get whose message converter fails after the buffer's memory was taken.
    jobject v1 = newMessage(MessageValues(), kVersion1Class);
    setInt(v1, "version", 2);
    jbyteArray buffer = newByteArray(text("zzzz"));
    {
        JniProxy proxy;
        Holders h;
        getMsg2(proxy.env(), v1, getOptionsObject(), 4, buffer, h);
        EXPECT_EQ(h.reason(), 2195);
        EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
        EXPECT_EQ(proxy.count(Fn::ReleaseByteArrayElements),
                  proxy.count(Fn::GetByteArrayElements));
        EXPECT_EQ(byteArrayValue(buffer), text("zzzz"));
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }
    // The buffer is free for the next get.
    ztmctl::Answer a = answer(0, 0, [](void** args) { std::memcpy(args[5], "abcd", 4); });
    a.dataLength = 4;
    ztmctl::scriptNext("ZTGET", a);
    Holders h;
    getMsg2(env(), newMessage(), getOptionsObject(), 4, buffer, h);
    EXPECT_EQ(h.compCode(), 0);
    EXPECT_EQ(byteArrayValue(buffer), text("abcd"));

    // A put accepted by the queue manager whose write-back then fails: the
    // response record's member cannot be found.
    jbyteArray data = newByteArray(text("data"));
    ztmctl::clearCalls();
    ztmctl::scriptNext("ZTPUT", answer(0, 0));
    {
        JniProxy proxy;
        bool armed = false;
        failFirstLookupAfterTheCall(proxy, armed);
        Holders hp;
        putMsg2(proxy.env(), newMessage(), putOptionsWithResponseRecord(), 4, data, hp);
        EXPECT_TRUE(armed);
        EXPECT_EQ(hp.compCode(), 2) << "in place of the queue manager's 0";
        EXPECT_EQ(hp.reason(), 2195);
        EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
        EXPECT_EQ(ztmctl::callsOf("ZTPUT").size(), 1u);
        EXPECT_EQ(proxy.count(Fn::ReleaseByteArrayElements),
                  proxy.count(Fn::GetByteArrayElements));
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }
    ztmctl::scriptNext("ZTPUT", answer(0, 0));
    Holders again;
    putMsg2(env(), newMessage(), putOptionsObject(0), 4, data, again);
    EXPECT_EQ(again.compCode(), 0);
    auto puts = ztmctl::callsOf("ZTPUT");
    ASSERT_EQ(puts.size(), 2u);
    EXPECT_EQ(puts[1].record("data"), text("data"));
}

// --- trace ---------------------------------------------------------------------------------

TEST_F(MessagePut, VerbsAndConverterTraceUnderTheirOwnNames) {
    Trace::setOn(true);
    ztmctl::scriptNext("ZTPUT", answer(0, 0));
    ztmctl::scriptNext("ZTGET", answer(1, ZTRC_TRUNCATED_MSG_ACCEPTED));
    Holders h1, h2;
    putMsg2(env(), newMessage(), putOptionsObject(0), 1, newByteArray({1}), h1);
    getMsg2(env(), newMessage(), getOptionsObject(), 1, newByteArray({1}), h2);
    const auto lines = Trace::lines();
    Trace::setOn(false);
    const char* const inOrder[] = {
        "entry com.zel.zt.server_ZTSESSION _ZTPUTMSG2", "entry NativeZTMsg2 NativeZTMsg2",
        "entry NativeZTMsg2 populateNativeZTMDForPut", "entry NativeZTMsg2 populateNativeZTMDCommon",
        "trace2 _ZTPUTMSG2 CompCode is  0", "entry NativeZTMsg2 populateJavaZTMsg2AfterPut",
        "exit com.zel.zt.server_ZTSESSION _ZTPUTMSG2", "exit NativeZTMsg2 ~NativeZTMsg2",
        "entry com.zel.zt.server_ZTSESSION _ZTGETMSG2", "entry NativeZTMsg2 populateNativeZTMDForGet",
        "trace2 _ZTGETMSG2 CompCode:  1", "trace2 _ZTGETMSG2 Reason: 3017",
        "entry NativeZTMsg2 populateJavaZTMsg2AfterGet", "exit com.zel.zt.server_ZTSESSION _ZTGETMSG2"};
    auto at = lines.begin();
    for (const char* line : inOrder) {
        at = std::find(at, lines.end(), line);
        ASSERT_NE(at, lines.end()) << line << " missing or out of order";
    }
}

// --- round trips through the stand-in queue manager -----------------------------------------

namespace {

void putMsg2To(jint hconn, jint hobj, jobject m, jint options, const Bytes& data,
               const Holders& h) {
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTPUTMSG2(env(), nullptr, hconn, hobj, m,
                                                     putOptionsObject(options),
                                                     static_cast<jint>(data.size()),
                                                     newByteArray(data), h.cc, h.rc);
    });
}

using MessageRoundTrip = BridgeTest;

}  // namespace

TEST_F(MessageRoundTrip, PutAndGetWithMessageObjects) {
    const ZTLONG hconn = connectQmgr();
    const ZTLONG hobj = openQueue(hconn, "Q.MSG2");
    MessageValues v;
    v.messageId = Bytes(24, 0);
    jobject put = newMessage(v);
    Holders hp;
    putMsg2To(hconn, hobj, put, ZTPMO_NO_SYNCPOINT | ZTPMO_NEW_MSG_ID, text("hello, queue"), hp);
    ASSERT_EQ(hp.compCode(), 0) << hp.reason();
    EXPECT_FALSE(allZero(getBytes(put, "messageId"))) << "the queue manager's new identifier";
    EXPECT_FALSE(allZero(getBytes(put, "dateText"))) << "the queue manager's put date";
    EXPECT_EQ(ztmctl::visibleDepth("Q.MSG2"), 1u);

    jobject got = newObject(kMessageClass, "()V");
    setInt(got, "readCursor", 9);
    jbyteArray buffer = newByteArray(Bytes(20, '.'));
    Holders hg;
    getWithMessageObject(hconn, hobj, got, buffer, hg);
    ASSERT_EQ(hg.compCode(), 0) << hg.reason();
    EXPECT_EQ(hg.dataLength(), 12);
    EXPECT_EQ(byteArrayValue(buffer), text("hello, queue........"));
    for (const char* same : {"messageId", "correlationId", "groupId", "userId", "dateText",
                             "timeText", "putApplicationName"})
        EXPECT_EQ(getBytes(got, same), getBytes(put, same)) << same;
    EXPECT_EQ(getBytes(got, "format"), v.format);
    EXPECT_EQ(getBytes(got, "replyToQueueName"),
              Bytes(v.replyToQueueName->begin(), v.replyToQueueName->begin() + 48));
    EXPECT_EQ(getInt(got, "report"), v.report);
    EXPECT_EQ(getInt(got, "persistence"), v.persistence);
    EXPECT_EQ(getInt(got, "readCursor"), 0);

    // Gone once got.
    setInt(got, "readCursor", 9);
    Holders again;
    getWithMessageObject(hconn, hobj, got, buffer, again);
    EXPECT_EQ(again.compCode(), 2);
    EXPECT_EQ(again.reason(), ZTRC_NO_MSG_AVAILABLE);
    EXPECT_EQ(getInt(got, "readCursor"), 9);
}

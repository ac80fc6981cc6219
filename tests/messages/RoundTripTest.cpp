// Round trips through the stand-in queue manager's message store: what Java
// puts, Java gets back, byte for byte and field for field; truncation, units
// of work, put-one and destination lists end to end.
#include "MessageTest.h"

#include <chrono>

using namespace zt::test;
using namespace msgtest;

namespace {

ZTOD objectDescriptor(const std::string& name, int version = 1) {
    ZTOD od;
    std::memset(&od, 0, sizeof od);
    std::memcpy(od.eyeCatcher, ZTOD_EYE_CATCHER, 4);
    od.version = version;
    od.objectType = ZTOT_Q;
    text(od.objectName, 48, name);
    return od;
}

class RoundTrip : public MessageTest {
protected:
    void SetUp() override {
        MessageTest::SetUp();
        char name[48] = {0};
        ZTLONG cc = -1, rc = -1;
        ZTCONN(name, &hconn, &cc, &rc);
        ASSERT_EQ(cc, 0);
        out = open("RT.Q", ZTOO_OUTPUT);
        in = open("RT.Q", ZTOO_INPUT_SHARED);
    }

    ZTLONG open(const std::string& queue, ZTLONG options, ZTOD* od = nullptr) {
        ZTOD plain = objectDescriptor(queue);
        ZTLONG hobj = -1, cc = -1, rc = -1;
        ZTOPEN(hconn, od ? od : &plain, options, &hobj, &cc, &rc);
        EXPECT_LE(cc, 1) << queue << " " << rc;
        return hobj;
    }

    void unitOfWork(bool commit) {
        ZTLONG cc = -1, rc = -1;
        if (commit) {
            ZTCMIT(hconn, &cc, &rc);
        } else {
            ZTBACK(hconn, &cc, &rc);
        }
        EXPECT_EQ(cc, 0) << rc;
    }

    // Puts `data` with a fresh descriptor; returns the descriptor as written back.
    jobject putData(const Bytes& data, int options = 0, ZTLONG hobj = 0) {
        jobject md = newObject(kRecordingDescriptor, "(I)V", 2);
        jobject pmo = newObject(kPutOptions, "()V");
        setInt(pmo, "options", options);
        Outcome o = put(hconn, hobj ? hobj : out, md, pmo, static_cast<jint>(data.size()),
                        newByteArray(data));
        EXPECT_EQ(o.cc, 0) << o.rc;
        return md;
    }

    struct Got {
        Outcome o;
        jobject md;
        jobject gmo;
        int length;
        Bytes data;
    };
    // Gets into a fresh descriptor (zero identifiers: the oldest message).
    Got getData(int options = 0, int bufferLength = 300, int waitInterval = 0) {
        Got g;
        g.md = newObject(kRecordingDescriptor, "(I)V", 2);
        g.gmo = newObject(kGetOptions, "()V");
        setInt(g.gmo, "options", options);
        setInt(g.gmo, "waitInterval", waitInterval);
        jbyteArray buffer = newByteArray(Bytes(bufferLength, 0xEE));
        jobject length = newPint(-7);
        g.o = get(hconn, in, g.md, g.gmo, bufferLength, buffer, length);
        g.length = pintValue(length);
        g.data = byteArrayValue(buffer);
        if (g.length >= 0 && g.length < bufferLength) g.data.resize(g.length);
        return g;
    }

    ZTLONG hconn = 0, out = 0, in = 0;
};

std::vector<jint> dateAndTime(jobject md) {
    return intArrayValue(static_cast<jintArray>(getObject(md, "dateAndTime", "[I")));
}

}  // namespace

TEST_F(RoundTrip, MessagesComeBackInOrderWithTheirBytesAndDescriptors) {
    const Bytes texts[] = {Bytes{'f', 'i', 'r', 's', 't'}, Bytes{0, 0xFF, 0x80, 0x7F, 0}, Bytes{}};
    jobject sent[3];
    for (int i = 0; i < 3; ++i) {
        jobject md = newObject(kRecordingDescriptor, "(I)V", 2);
        setInt(md, "report", 5 + i);
        setString(md, "format", std::string("ZTSTR"));
        setInt(md, "priority", 4);
        setInt(md, "encoding", 273);
        setInt(md, "characterSet", 819);
        setBytes(md, "correlationId", pattern(24, static_cast<uint8_t>(0x40 + i)));
        setString(md, "replyToQueueName", std::string("REPLY.Q"));
        setBytes(md, "groupId", pattern(24, 0x70));
        jobject pmo = newObject(kPutOptions, "()V");
        Outcome o = put(hconn, out, md, pmo, static_cast<jint>(texts[i].size()),
                        newByteArray(texts[i]));
        ASSERT_EQ(o.cc, 0) << o.rc;
        EXPECT_NE(getBytes(md, "messageId"), Bytes(24, 0));
        EXPECT_EQ(getString(pmo, "resolvedQueueName"), "RT.Q");
        EXPECT_EQ(dateAndTime(md).size(), 7u);
        sent[i] = md;
    }
    EXPECT_NE(getBytes(sent[0], "messageId"), getBytes(sent[1], "messageId"));
    EXPECT_EQ(ztmctl::visibleDepth("RT.Q"), 3u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Got g = getData();
        ASSERT_EQ(g.o.cc, 0) << g.o.rc;
        EXPECT_EQ(g.data, texts[i]);
        EXPECT_EQ(g.length, static_cast<int>(texts[i].size()));
        EXPECT_EQ(getString(g.gmo, "resolvedQueueName"), "RT.Q");
        for (const char* f : {"messageId", "correlationId", "accountingToken", "groupId"}) {
            EXPECT_EQ(getBytes(g.md, f), getBytes(sent[i], f)) << f;
        }
        for (const char* f : {"format", "replyToQueueName", "userId", "applicationIdData",
                              "putApplicationName", "applicationOriginData"}) {
            EXPECT_EQ(getString(g.md, f), getString(sent[i], f)) << f;
        }
        for (const char* f : {"report", "priority", "persistence", "encoding", "characterSet",
                              "messageType", "putApplicationType", "messageSequenceNumber"}) {
            EXPECT_EQ(getInt(g.md, f), getInt(sent[i], f)) << f;
        }
        EXPECT_EQ(dateAndTime(g.md), dateAndTime(sent[i]));
        EXPECT_EQ(getInt(g.md, "backoutCount"), 0);
    }
    EXPECT_EQ(getData().o.rc, ZTRC_NO_MSG_AVAILABLE);
}

TEST_F(RoundTrip, ShortBufferLeavesTheMessageUnlessTruncationIsAccepted) {
    Bytes data = pattern(250, 0);
    putData(data);
    Got refused = getData(0, 100);
    EXPECT_EQ(refused.o.cc, 2);
    EXPECT_EQ(refused.o.rc, ZTRC_TRUNCATED_MSG_FAILED);
    EXPECT_EQ(refused.length, -7);
    EXPECT_EQ(refused.data, Bytes(100, 0xEE));
    EXPECT_EQ(getBytes(refused.md, "messageId"), Bytes(24, 0));
    EXPECT_EQ(ztmctl::visibleDepth("RT.Q"), 1u);
    Got accepted = getData(ZTGMO_ACCEPT_TRUNCATED, 100);
    EXPECT_EQ(accepted.o.cc, 1);
    EXPECT_EQ(accepted.o.rc, ZTRC_TRUNCATED_MSG_ACCEPTED);
    EXPECT_EQ(accepted.length, 250);
    EXPECT_EQ(accepted.data, pattern(100, 0));
    EXPECT_NE(getBytes(accepted.md, "messageId"), Bytes(24, 0));
    EXPECT_EQ(ztmctl::totalDepth("RT.Q"), 0u);
}

TEST_F(RoundTrip, UnitsOfWorkCommitAndBackOut) {
    // A put inside a unit of work is seen only after the commit.
    jobject md = putData({'u', 'o', 'w'}, ZTPMO_SYNCPOINT);
    EXPECT_EQ(getData().o.rc, ZTRC_NO_MSG_AVAILABLE);
    unitOfWork(true);
    // A get inside a unit of work that is backed out: the message comes back.
    Got first = getData(ZTGMO_SYNCPOINT);
    ASSERT_EQ(first.o.cc, 0);
    EXPECT_EQ(first.data, (Bytes{'u', 'o', 'w'}));
    EXPECT_EQ(ztmctl::visibleDepth("RT.Q"), 0u);
    unitOfWork(false);
    Got again = getData();
    ASSERT_EQ(again.o.cc, 0);
    EXPECT_EQ(again.data, (Bytes{'u', 'o', 'w'}));
    EXPECT_EQ(getBytes(again.md, "messageId"), getBytes(md, "messageId"));
    EXPECT_EQ(getInt(again.md, "backoutCount"), 1);
    // A put backed out is gone.
    putData({'x'}, ZTPMO_SYNCPOINT);
    unitOfWork(false);
    EXPECT_EQ(ztmctl::totalDepth("RT.Q"), 0u);
}

TEST_F(RoundTrip, GetMatchesAndWaits) {
    putData({'a'});
    jobject b = putData({'b'});
    // Version-2 options matching the second message's identifier.
    jobject md = newObject(kRecordingDescriptor, "(I)V", 2);
    setBytes(md, "messageId", getBytes(b, "messageId"));
    jobject gmo = newObject(kGetOptions, "(I)V", 2);
    setInt(gmo, "matchOptions", ZTMO_MATCH_MSG_ID);
    jbyteArray buffer = newByteArray(Bytes(4));
    Outcome o = get(hconn, in, md, gmo, 4, buffer, newPint());
    ASSERT_EQ(o.cc, 0);
    EXPECT_EQ(byteArrayValue(buffer)[0], 'b');
    EXPECT_EQ(getData().data, Bytes{'a'});
    // An empty queue: the get waits for its interval, then reports no message.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(getData(ZTGMO_WAIT, 10, 200).o.rc, ZTRC_NO_MSG_AVAILABLE);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(180));
}

TEST_F(RoundTrip, PutOneOpensPutsAndClosesAndWritesTheDescriptorsBack) {
    jobject od = newObject("com/zel/zt/ZTObjectDescriptor", "(Ljava/lang/String;)V",
                           newString("ONE.Q"));
    jobject md = newObject(kRecordingDescriptor, "(I)V", 2);
    jobject pmo = newObject(kPutOptions, "()V");
    Outcome o = put1(hconn, od, md, pmo, 3, newByteArray({'o', 'n', 'e'}));
    ASSERT_EQ(o.cc, 0) << o.rc;
    EXPECT_EQ(ztmctl::openHandles(hconn), 2u);  // the fixture's only
    EXPECT_EQ(getString(od, "ObjectQMgrName"), ZT_DEFAULT_QMGR_NAME);
    EXPECT_EQ(getString(pmo, "resolvedQueueName"), "ONE.Q");
    EXPECT_EQ(getInt(pmo, "knownDestCount"), 1);
    in = open("ONE.Q", ZTOO_INPUT_SHARED);
    Got g = getData();
    EXPECT_EQ(g.data, (Bytes{'o', 'n', 'e'}));
    EXPECT_EQ(getBytes(g.md, "messageId"), getBytes(md, "messageId"));
    EXPECT_EQ(dateAndTime(g.md), dateAndTime(md));
}

TEST_F(RoundTrip, DestinationListsFillTrackersAndResponseRecords) {
    // _ZTPUT to a list opened beforehand: A known, NOSUCH.B unknown.
    ZTOR records[2];
    std::memset(records, 0, sizeof records);
    text(records[0].objectName, 48, "LIST.A");
    text(records[1].objectName, 48, "NOSUCH.B");
    ZTOD listOd = objectDescriptor("", 2);
    listOd.recsPresent = 2;
    listOd.objectRecords = records;
    ZTLONG list = open("", ZTOO_OUTPUT, &listOd);
    auto trackersOf = [](int n) {
        return objectArray(kTracker, n, [](int) { return newObject(kTracker, "()V"); });
    };
    auto responsesOf = [](int n) {
        return objectArray(kResponse, n, [](int) { return newObject(kResponse, "()V"); });
    };
    jobjectArray pmrs = trackersOf(2);
    jobjectArray rrs = responsesOf(2);
    jobject pmo = newObject(kPutOptions, "(I)V", 2);
    setObject(pmo, "putMessageRecords", kTrackers, pmrs);
    setObject(pmo, "responseRecords", kResponses, rrs);
    setInt(pmo, "putMsgRecordFields", ZTPMRF_MSG_ID);
    Outcome o = put(hconn, list, newObject(kDescriptor, "()V"), pmo, 4,
                    newByteArray({'l', 'i', 's', 't'}));
    EXPECT_EQ(o.cc, 1);
    EXPECT_EQ(getInt(pmo, "knownDestCount"), 1);
    EXPECT_EQ(getInt(pmo, "unknownDestCount"), 1);
    EXPECT_EQ(getInt(element(rrs, 0), "completionCode"), 0);
    EXPECT_EQ(getInt(element(rrs, 1), "completionCode"), 2);
    EXPECT_EQ(getInt(element(rrs, 1), "reason"), ZTRC_UNKNOWN_OBJECT_NAME);
    in = open("LIST.A", ZTOO_INPUT_SHARED);
    Got g = getData();
    EXPECT_EQ(g.data, (Bytes{'l', 'i', 's', 't'}));
    EXPECT_EQ(getBytes(g.md, "messageId"), getBytes(element(pmrs, 0), "messageId"));

    // _ZTPUT1 to a list: each destination its own identifier and response.
    jobject od = callStaticObject("com/zel/zt/ZTObjectDescriptor", "distributionList",
                                  "([Ljava/lang/String;)Lcom/zel/zt/ZTObjectDescriptor;",
                                  objectArray("java/lang/String", 2, [](int i) {
                                      return newString(i == 0 ? "P1" : "P2");
                                  }));
    pmrs = trackersOf(2);
    rrs = responsesOf(2);
    setObject(pmo, "putMessageRecords", kTrackers, pmrs);
    setObject(pmo, "responseRecords", kResponses, rrs);
    o = put1(hconn, od, newObject(kDescriptor, "()V"), pmo, 2, newByteArray({'p', '1'}));
    ASSERT_EQ(o.cc, 0) << o.rc;
    EXPECT_EQ(getInt(od, "KnownDestCount"), 2);
    EXPECT_EQ(getInt(pmo, "knownDestCount"), 2);
    EXPECT_NE(getBytes(element(pmrs, 0), "messageId"), getBytes(element(pmrs, 1), "messageId"));
    EXPECT_EQ(getBytes(element(pmrs, 0), "messageId")->size(), 24u);
    EXPECT_EQ(ztmctl::visibleDepth("P1"), 1u);
    EXPECT_EQ(ztmctl::visibleDepth("P2"), 1u);
    auto odResponses = static_cast<jobjectArray>(getObject(od, "responseRecords", kResponses));
    EXPECT_EQ(getInt(element(odResponses, 1), "completionCode"), 0);
    EXPECT_EQ(getInt(element(rrs, 1), "completionCode"), 0);
}

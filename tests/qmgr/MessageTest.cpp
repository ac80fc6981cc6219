// Put, put-one and get: FIFO order, identifiers, context, matching, waiting,
// truncation and errors.
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "QmgrTest.h"

namespace {

class MessageTest : public QmgrTest {
protected:
    void SetUp() override {
        QmgrTest::SetUp();
        hconn = connect();
        out = openQueue(hconn, "MSG.Q", ZTOO_OUTPUT | ZTOO_INQUIRE | ZTOO_SET);
        in = openQueue(hconn, "MSG.Q", ZTOO_INPUT_SHARED);
    }
    void setInt(ZTLONG selector, ZTLONG value) {
        ZTSET(hconn, out, 1, &selector, 1, &value, 0, nullptr, &r.cc, &r.rc);
        ASSERT_EQ(r.cc, ZTCC_OK);
    }
    ZTLONG hconn = 0, out = 0, in = 0;
    Result r;
};

bool digits(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] < '0' || p[i] > '9') return false;
    return true;
}

TEST_F(MessageTest, MessagesComeBackInOrderWithTheirBytes) {
    ZTMD a = putText(hconn, out, "first");
    ZTMD b = putText(hconn, out, std::string("se\0cond", 7));
    ZTMD c = putText(hconn, out, "");
    EXPECT_EQ(ztmctl::visibleDepth("MSG.Q"), 3u);
    Got g1 = getText(hconn, in);
    Got g2 = getText(hconn, in);
    Got g3 = getText(hconn, in);
    EXPECT_EQ(g1.r.cc, ZTCC_OK);
    EXPECT_EQ(g1.text, "first");
    EXPECT_EQ(g1.length, 5);
    EXPECT_EQ(g2.text, std::string("se\0cond", 7));
    EXPECT_EQ(g3.r.cc, ZTCC_OK);
    EXPECT_EQ(g3.length, 0);
    EXPECT_EQ(std::memcmp(g1.md.messageId, a.messageId, 24), 0);
    EXPECT_EQ(std::memcmp(g2.md.messageId, b.messageId, 24), 0);
    EXPECT_EQ(std::memcmp(g3.md.messageId, c.messageId, 24), 0);
    EXPECT_EQ(std::string(g1.gmo.resolvedQueueName), "MSG.Q");
    Got none = getText(hconn, in);
    EXPECT_EQ(none.r.cc, ZTCC_FAILED);
    EXPECT_EQ(none.r.rc, ZTRC_NO_MSG_AVAILABLE);
    EXPECT_EQ(ztmctl::totalDepth("MSG.Q"), 0u);
    // The recorder kept the put data and the buffer address.
    auto put = ztmctl::callsOf("ZTPUT").at(0);
    EXPECT_EQ(std::string(put.record("data").begin(), put.record("data").end()), "first");
    EXPECT_EQ(put.arg("dataLength"), 5);
    EXPECT_FALSE(ztmctl::callsOf("ZTPUT").at(2).hasRecord("data"));
}

TEST_F(MessageTest, PutStampsIdentifierDateTimeAndOwnContext) {
    ZTMD md = messageDescriptor();
    std::memcpy(md.userId, "someone", 7);  // ignored without context options
    md.putApplicationType = 99;
    md.report = 5;
    std::memcpy(md.format, "ZTSTR   ", 8);
    ZTPMO pmo = putOptions();
    Result res;
    const std::time_t before = std::time(nullptr);
    ZTPUT(hconn, out, &md, &pmo, 2, const_cast<char*>("hi"), &res.cc, &res.rc);
    ASSERT_EQ(res.cc, ZTCC_OK);
    EXPECT_FALSE(std::all_of(md.messageId, md.messageId + 24, [](ZTBYTE b) { return b == 0; }));
    EXPECT_TRUE(digits(md.putDate, 8));
    EXPECT_TRUE(digits(md.putTime, 8));
    struct tm tm;
    gmtime_r(&before, &tm);
    char today[40];
    std::snprintf(today, sizeof today, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday);
    const std::time_t after = std::time(nullptr);
    struct tm tm2;
    gmtime_r(&after, &tm2);
    if (tm.tm_mday == tm2.tm_mday) {
        EXPECT_EQ(std::string(md.putDate, 8), today);
    }
    const int hour = (md.putTime[0] - '0') * 10 + (md.putTime[1] - '0');
    EXPECT_TRUE(hour == tm.tm_hour || hour == tm2.tm_hour);
    EXPECT_NE(std::string(md.userId, 7), "someone");
    EXPECT_NE(md.userId[0], '\0');
    EXPECT_EQ(md.putApplicationType, ZTAT_UNIX);
    EXPECT_EQ(std::string(md.putApplicationName), "qmgr_tests");
    EXPECT_EQ(std::memcmp(md.accountingToken, "ZTAT", 4), 0);
    // The fields a put does not set are left as they were.
    EXPECT_EQ(md.report, 5);
    Got g = getText(hconn, in);
    EXPECT_EQ(g.md.report, 5);
    EXPECT_EQ(std::string(g.md.format, 8), "ZTSTR   ");
    EXPECT_EQ(std::memcmp(g.md.putDate, md.putDate, 16), 0);
    EXPECT_EQ(std::memcmp(g.md.userId, md.userId, 12), 0);
    EXPECT_EQ(g.md.backoutCount, 0);
}

TEST_F(MessageTest, IdentifiersAreUniqueUnlessGivenAndKept) {
    ZTMD a = putText(hconn, out, "a");
    ZTMD b = putText(hconn, out, "b");
    EXPECT_NE(std::memcmp(a.messageId, b.messageId, 24), 0);
    ZTMD given = messageDescriptor();
    std::memset(given.messageId, 0x11, 24);
    std::memset(given.correlationId, 0x22, 24);
    ZTPMO pmo = putOptions();
    Result res;
    ZTPUT(hconn, out, &given, &pmo, 1, const_cast<char*>("c"), &res.cc, &res.rc);
    EXPECT_EQ(given.messageId[0], 0x11);
    EXPECT_EQ(given.messageId[23], 0x11);
    EXPECT_EQ(given.correlationId[0], 0x22);
    pmo = putOptions(ZTPMO_NEW_MSG_ID);
    ZTPUT(hconn, out, &given, &pmo, 1, const_cast<char*>("d"), &res.cc, &res.rc);
    EXPECT_NE(std::memcmp(given.messageId, std::string(24, '\x11').data(), 24), 0);
}

TEST_F(MessageTest, ContextFromTheDescriptorWithContextOptions) {
    ZTMD md = messageDescriptor();
    std::memcpy(md.userId, "alice", 5);
    std::memset(md.accountingToken, 0x5A, 32);
    std::memcpy(md.applicationIdData, "ident", 5);
    md.putApplicationType = 42;
    std::memcpy(md.putApplicationName, "otherapp", 8);
    std::memcpy(md.putDate, "20240131", 8);
    std::memcpy(md.putTime, "23595999", 8);
    std::memcpy(md.applicationOriginData, "orig", 4);
    ZTMD identity = md;
    ZTPMO pmo = putOptions(ZTPMO_SET_IDENTITY_CONTEXT);
    Result res;
    ZTPUT(hconn, out, &identity, &pmo, 1, const_cast<char*>("x"), &res.cc, &res.rc);
    ASSERT_EQ(res.cc, ZTCC_OK);
    EXPECT_EQ(std::string(identity.userId), "alice");
    EXPECT_EQ(identity.accountingToken[31], 0x5A);
    EXPECT_EQ(std::string(identity.applicationIdData), "ident");
    EXPECT_EQ(identity.putApplicationType, ZTAT_UNIX);  // origin is the queue manager's
    EXPECT_NE(std::string(identity.putDate, 8), "20240131");
    EXPECT_EQ(identity.applicationOriginData[0], '\0');

    ZTMD all = md;
    pmo = putOptions(ZTPMO_SET_ALL_CONTEXT);
    ZTPUT(hconn, out, &all, &pmo, 1, const_cast<char*>("y"), &res.cc, &res.rc);
    ASSERT_EQ(res.cc, ZTCC_OK);
    EXPECT_EQ(all.putApplicationType, 42);
    EXPECT_EQ(std::string(all.putApplicationName), "otherapp");
    EXPECT_EQ(std::string(all.putDate, 8), "20240131");
    EXPECT_EQ(std::string(all.putTime, 8), "23595999");
    EXPECT_EQ(std::string(all.applicationOriginData, 4), "orig");
    getText(hconn, in);
    Got g = getText(hconn, in);
    EXPECT_EQ(std::string(g.md.putApplicationName), "otherapp");
    EXPECT_EQ(std::string(g.md.userId), "alice");
}

TEST_F(MessageTest, VersionOneDescriptorGetsNoVersionTwoFields) {
    ZTMD md = messageDescriptor(2);
    std::memset(md.groupId, 0x47, 24);
    md.messageSequenceNumber = 3;
    md.originalLength = 10;
    ZTPMO pmo = putOptions();
    ZTPUT(hconn, out, &md, &pmo, 1, const_cast<char*>("g"), &r.cc, &r.rc);
    ZTMD v1 = messageDescriptor(1);
    std::memset(v1.groupId, 0x01, 24);
    ZTGMO gmo = getOptions();
    char buf[4];
    ZTLONG len = 0;
    ZTGET(hconn, in, &v1, &gmo, 4, buf, &len, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(v1.version, 1);
    EXPECT_EQ(v1.groupId[0], 0x01);
    EXPECT_EQ(v1.messageSequenceNumber, 0);
    ZTMD putV1 = messageDescriptor(1);
    ZTPUT(hconn, out, &putV1, &pmo, 1, const_cast<char*>("h"), &r.cc, &r.rc);
    ZTMD v2 = messageDescriptor(2);
    ZTGMO gmo2 = getOptions(0, 0, 2);
    ZTGET(hconn, in, &v2, &gmo2, 4, buf, &len, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(v2.messageSequenceNumber, 1);  // a version 1 put's defaults
    EXPECT_EQ(v2.originalLength, -1);
    EXPECT_EQ(gmo2.groupStatus, ' ');
    EXPECT_EQ(gmo.groupStatus, '\0');  // version 1 options: untouched
}

TEST_F(MessageTest, GetMatchesOnIdentifiers) {
    ZTMD a = putText(hconn, out, "a");
    ZTMD b = messageDescriptor();
    std::memset(b.correlationId, 0x33, 24);
    ZTPMO pmo = putOptions();
    ZTPUT(hconn, out, &b, &pmo, 1, const_cast<char*>("b"), &r.cc, &r.rc);
    putText(hconn, out, "c");
    // Version 2 options: by correlation identifier.
    ZTMD want = messageDescriptor();
    std::memset(want.correlationId, 0x33, 24);
    ZTGMO gmo = getOptions(0, 0, 2);
    gmo.matchOptions = ZTMO_MATCH_CORREL_ID;
    char buf[8];
    ZTLONG len = 0;
    ZTGET(hconn, in, &want, &gmo, 8, buf, &len, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(buf[0], 'b');
    // Version 2 without match options: the oldest, whatever the identifiers.
    ZTMD any = messageDescriptor();
    std::memset(any.messageId, 0x77, 24);
    gmo = getOptions(0, 0, 2);
    ZTGET(hconn, in, &any, &gmo, 8, buf, &len, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(std::memcmp(any.messageId, a.messageId, 24), 0);
    // Version 1 options: on the non-zero message identifier.
    putText(hconn, out, "d");
    ZTGMO v1 = getOptions();
    ZTMD probe = messageDescriptor();
    std::memset(probe.messageId, 0x77, 24);
    ZTGET(hconn, in, &probe, &v1, 8, buf, &len, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_NO_MSG_AVAILABLE);
    Got gd = getText(hconn, in);  // zero identifiers: the oldest
    EXPECT_EQ(gd.text, "c");
}

TEST_F(MessageTest, TruncatedMessageAcceptedOrLeft) {
    putText(hconn, out, std::string(250, 'x'));
    Got refused = getText(hconn, in, 0, 0, 100);
    EXPECT_EQ(refused.r.cc, ZTCC_FAILED);
    EXPECT_EQ(refused.r.rc, ZTRC_TRUNCATED_MSG_FAILED);
    EXPECT_EQ(refused.length, 250);
    EXPECT_EQ(ztmctl::visibleDepth("MSG.Q"), 1u);
    Got accepted = getText(hconn, in, ZTGMO_ACCEPT_TRUNCATED, 0, 100);
    EXPECT_EQ(accepted.r.cc, ZTCC_WARNING);
    EXPECT_EQ(accepted.r.rc, ZTRC_TRUNCATED_MSG_ACCEPTED);
    EXPECT_EQ(accepted.length, 250);
    EXPECT_EQ(accepted.text, std::string(100, 'x'));
    EXPECT_EQ(ztmctl::totalDepth("MSG.Q"), 0u);
    // A zero-length buffer (null) takes an empty message.
    putText(hconn, out, "");
    ZTMD md = messageDescriptor();
    ZTGMO gmo = getOptions();
    ZTLONG len = -1;
    ZTGET(hconn, in, &md, &gmo, 0, nullptr, &len, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(len, 0);
}

TEST_F(MessageTest, GetWaitsForTheIntervalOrForAMessage) {
    auto t0 = std::chrono::steady_clock::now();
    Got none = getText(hconn, in, ZTGMO_WAIT, 150);
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(none.r.rc, ZTRC_NO_MSG_AVAILABLE);
    EXPECT_GE(waited, std::chrono::milliseconds(140));
    EXPECT_LT(waited, std::chrono::seconds(5));

    ZTLONG producer = connect();
    ZTLONG pout = openQueue(producer, "MSG.Q", ZTOO_OUTPUT);
    std::thread put([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        putText(producer, pout, "late");
    });
    Got g = getText(hconn, in, ZTGMO_WAIT, -1);  // without limit
    put.join();
    EXPECT_EQ(g.r.cc, ZTCC_OK);
    EXPECT_EQ(g.text, "late");
    EXPECT_EQ(ztmctl::callsOf("ZTGET").back().arg("bufferLength"), 1000);

    Got bad = getText(hconn, in, ZTGMO_WAIT, -2);
    EXPECT_EQ(bad.r.rc, ZTRC_WAIT_INTERVAL_ERROR);
}

TEST_F(MessageTest, WaitingGetEndsWhenItsConnectionOrHandleGoes) {
    ZTLONG other = connect();
    ZTLONG oin = openQueue(other, "MSG.Q", ZTOO_INPUT_SHARED);
    Got g;
    std::thread waiter([&] { g = getText(other, oin, ZTGMO_WAIT, -1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ZTLONG h = other;
    ZTDISC(&h, &r.cc, &r.rc);
    waiter.join();
    EXPECT_EQ(g.r.cc, ZTCC_FAILED);
    EXPECT_EQ(g.r.rc, ZTRC_HCONN_ERROR);

    Got g2;
    std::thread waiter2([&] { g2 = getText(hconn, in, ZTGMO_WAIT, 10000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ZTLONG hin = in;
    ZTCLOSE(hconn, &hin, ZTCO_NONE, &r.cc, &r.rc);
    waiter2.join();
    EXPECT_EQ(g2.r.rc, ZTRC_HOBJ_ERROR);
}

TEST_F(MessageTest, PutAndGetRefuseWhatTheyCannotDo) {
    Result res;
    putText(hconn, in, "x", 0, &res);
    EXPECT_EQ(res.rc, ZTRC_NOT_OPEN_FOR_OUTPUT);
    Got g = getText(hconn, out);
    EXPECT_EQ(g.r.rc, ZTRC_NOT_OPEN_FOR_INPUT);
    putText(hconn, out, "x", ZTPMO_SYNCPOINT | ZTPMO_NO_SYNCPOINT, &res);
    EXPECT_EQ(res.rc, ZTRC_OPTIONS_ERROR);
    g = getText(hconn, in, ZTGMO_SYNCPOINT | ZTGMO_NO_SYNCPOINT);
    EXPECT_EQ(g.r.rc, ZTRC_OPTIONS_ERROR);
    putText(hconn + 99, out, "x", 0, &res);
    EXPECT_EQ(res.rc, ZTRC_HCONN_ERROR);
    putText(hconn, out + 99, "x", 0, &res);
    EXPECT_EQ(res.rc, ZTRC_HOBJ_ERROR);

    ZTMD md = messageDescriptor();
    ZTPMO pmo = putOptions();
    ZTPUT(hconn, out, &md, &pmo, -1, const_cast<char*>("x"), &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_DATA_LENGTH_ERROR);
    ZTPUT(hconn, out, &md, &pmo, 5, nullptr, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_BUFFER_ERROR);
    ZTPUT(hconn, out, nullptr, &pmo, 1, const_cast<char*>("x"), &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_RECORD_ERROR);
    std::memcpy(pmo.eyeCatcher, "PMOX", 4);
    ZTPUT(hconn, out, &md, &pmo, 1, const_cast<char*>("x"), &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_RECORD_ERROR);
    ZTGMO gmo = getOptions();
    char buf[4];
    ZTLONG len = 0;
    ZTGET(hconn, in, &md, &gmo, -1, buf, &len, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_BUFFER_LENGTH_ERROR);
    ZTGET(hconn, in, &md, &gmo, 4, nullptr, &len, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_BUFFER_ERROR);
    ZTGET(hconn, in, &md, &gmo, 4, buf, nullptr, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_DATA_LENGTH_ERROR);
    std::memcpy(gmo.eyeCatcher, "GMOX", 4);
    ZTGET(hconn, in, &md, &gmo, 4, buf, &len, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_RECORD_ERROR);
    EXPECT_EQ(ztmctl::totalDepth("MSG.Q"), 0u);
}

TEST_F(MessageTest, InhibitedAndFullQueuesRefuse) {
    setInt(ZTIA_MAX_DEPTH, 2);
    putText(hconn, out, "1");
    putText(hconn, out, "2");
    Result res;
    putText(hconn, out, "3", 0, &res);
    EXPECT_EQ(res.rc, ZTRC_Q_FULL);
    ZTLONG sel = ZTIA_CURRENT_DEPTH, depth = -1;
    ZTINQ(hconn, out, 1, &sel, 1, &depth, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(depth, 2);
    setInt(ZTIA_INHIBIT_PUT, 1);
    setInt(ZTIA_MAX_DEPTH, 10);
    putText(hconn, out, "4", 0, &res);
    EXPECT_EQ(res.rc, ZTRC_PUT_INHIBITED);
    setInt(ZTIA_INHIBIT_GET, 1);
    Got g = getText(hconn, in);
    EXPECT_EQ(g.r.rc, ZTRC_GET_INHIBITED);
    setInt(ZTIA_INHIBIT_GET, 0);
    EXPECT_EQ(getText(hconn, in).text, "1");
}

TEST_F(MessageTest, PutOneOpensPutsAndCloses) {
    ZTOD od = objectDescriptor("ONE.Q");
    ZTMD md = messageDescriptor();
    ZTPMO pmo = putOptions();
    ZTPUT1(hconn, &od, &md, &pmo, 3, const_cast<char*>("one"), &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(ztmctl::openHandles(hconn), 2u);  // only the fixture's
    EXPECT_EQ(std::string(pmo.resolvedQueueName), "ONE.Q");
    EXPECT_EQ(std::string(pmo.resolvedQueueManagerName), ZT_DEFAULT_QMGR_NAME);
    EXPECT_EQ(pmo.knownDestCount, 1);
    EXPECT_EQ(std::string(od.objectQMgrName), ZT_DEFAULT_QMGR_NAME);
    ZTLONG oin = openQueue(hconn, "ONE.Q", ZTOO_INPUT_SHARED);
    Got g = getText(hconn, oin);
    EXPECT_EQ(g.text, "one");
    EXPECT_EQ(std::memcmp(g.md.messageId, md.messageId, 24), 0);
    auto rec = ztmctl::callsOf("ZTPUT1").at(0);
    EXPECT_EQ(rec.arg("dataLength"), 3);
    EXPECT_TRUE(rec.hasRecord("ZTOD"));
    EXPECT_TRUE(rec.hasRecord("ZTMD"));
    EXPECT_TRUE(rec.hasRecord("ZTPMO"));

    ZTOD bad = objectDescriptor("NOSUCH.ONE");
    ZTPUT1(hconn, &bad, &md, &pmo, 3, const_cast<char*>("one"), &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_UNKNOWN_OBJECT_NAME);
    ZTPUT1(hconn, &od, &md, &pmo, -3, const_cast<char*>("one"), &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_DATA_LENGTH_ERROR);
    ZTPUT1(hconn + 50, &od, &md, &pmo, 3, const_cast<char*>("one"), &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    EXPECT_EQ(ztmctl::openHandles(hconn), 3u);
}

TEST_F(MessageTest, PutToADestinationListFillsRecordsAndResponses) {
    // Queue B is put-inhibited: known at open, failing at put.
    ZTLONG bset = openQueue(hconn, "LIST.B", ZTOO_SET);
    ZTLONG sel = ZTIA_INHIBIT_PUT, one = 1;
    ZTSET(hconn, bset, 1, &sel, 1, &one, 0, nullptr, &r.cc, &r.rc);
    std::vector<ZTOR> recs = {objectRecord("LIST.A"), objectRecord("LIST.B"),
                              objectRecord("NOSUCH.C"), objectRecord("LIST.D"),
                              objectRecord("BAD NAME")};
    ZTOD od = objectDescriptor("", 2);
    od.recsPresent = 5;
    od.objectRecords = recs.data();
    ZTLONG hlist = 0;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hlist, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_WARNING);

    // Records of message id (0x1) and feedback (0x8): 28 bytes each.
    const ZTLONG flags = ZTPMRF_MSG_ID | ZTPMRF_FEEDBACK;
    std::vector<ZTBYTE> pmrs(5 * 28, 0);
    for (int i = 0; i < 5; ++i) {
        ZTLONG fb = 100 + i;
        std::memcpy(&pmrs[i * 28 + 24], &fb, 4);
    }
    std::memset(&pmrs[3 * 28], 0x44, 24);  // D keeps the id it was given
    std::vector<ZTRR> rrs(5, ZTRR{-1, -1});
    ZTPMO pmo = putOptions(0, 2);
    pmo.recordCount = 5;
    pmo.putMsgRecordFields = flags;
    pmo.putMsgRecords = pmrs.data();
    pmo.responseRecords = rrs.data();
    ZTMD md = messageDescriptor();
    ZTPUT(hconn, hlist, &md, &pmo, 4, const_cast<char*>("list"), &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_WARNING);
    EXPECT_EQ(r.rc, ZTRC_MULTIPLE_REASONS);
    EXPECT_EQ(pmo.knownDestCount, 2);
    EXPECT_EQ(pmo.unknownDestCount, 1);
    EXPECT_EQ(pmo.invalidDestCount, 2);
    const ZTLONG want[][2] = {{0, 0},
                              {2, ZTRC_PUT_INHIBITED},
                              {2, ZTRC_UNKNOWN_OBJECT_NAME},
                              {0, 0},
                              {2, ZTRC_OBJECT_NAME_ERROR}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rrs[i].completionCode, want[i][0]) << i;
        EXPECT_EQ(rrs[i].reason, want[i][1]) << i;
    }
    // A's id was stamped into its record and into the descriptor.
    EXPECT_FALSE(std::all_of(&pmrs[0], &pmrs[24], [](ZTBYTE b) { return b == 0; }));
    EXPECT_EQ(std::memcmp(md.messageId, &pmrs[0], 24), 0);
    EXPECT_EQ(pmrs[3 * 28], 0x44);
    auto rec = ztmctl::callsOf("ZTPUT").back();
    EXPECT_EQ(rec.record("ZTPMR[]").size(), 5u * 28u);
    EXPECT_EQ(rec.record("ZTRR[]").size(), 5u * 8u);
    EXPECT_EQ(rec.record("ZTPMR[]")[0], 0);  // as on entry

    ZTLONG ain = openQueue(hconn, "LIST.A", ZTOO_INPUT_SHARED);
    ZTLONG din = openQueue(hconn, "LIST.D", ZTOO_INPUT_SHARED);
    Got ga = getText(hconn, ain);
    Got gd = getText(hconn, din);
    EXPECT_EQ(ga.text, "list");
    EXPECT_EQ(gd.text, "list");
    EXPECT_EQ(ga.md.feedback, 100);
    EXPECT_EQ(gd.md.feedback, 103);
    EXPECT_EQ(gd.md.messageId[0], 0x44);
    EXPECT_EQ(ztmctl::totalDepth("LIST.B"), 0u);

    pmo.recordCount = 4;
    ZTPUT(hconn, hlist, &md, &pmo, 4, const_cast<char*>("list"), &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_RECS_PRESENT_ERROR);
}

TEST_F(MessageTest, PutOneToADestinationListGivesEachMessageItsOwnId) {
    std::vector<ZTOR> recs = {objectRecord("P1"), objectRecord("P2")};
    std::vector<ZTRR> odrr(2), pmorr(2);
    ZTOD od = objectDescriptor("", 2);
    od.recsPresent = 2;
    od.objectRecords = recs.data();
    od.responseRecords = odrr.data();
    std::vector<ZTBYTE> ids(2 * 24, 0);
    ZTPMO pmo = putOptions(0, 2);
    pmo.recordCount = 2;
    pmo.putMsgRecordFields = ZTPMRF_MSG_ID;
    pmo.putMsgRecords = ids.data();
    pmo.responseRecords = pmorr.data();
    ZTMD md = messageDescriptor();
    ZTPUT1(hconn, &od, &md, &pmo, 2, const_cast<char*>("p1"), &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(od.knownDestCount, 2);
    EXPECT_EQ(pmo.knownDestCount, 2);
    EXPECT_NE(std::memcmp(&ids[0], &ids[24], 24), 0);
    EXPECT_EQ(ztmctl::visibleDepth("P1"), 1u);
    EXPECT_EQ(ztmctl::visibleDepth("P2"), 1u);
    EXPECT_TRUE(ztmctl::callsOf("ZTPUT1").at(0).hasRecord("ZTOD.ZTRR[]"));
    EXPECT_TRUE(ztmctl::callsOf("ZTPUT1").at(0).hasRecord("ZTRR[]"));
}

TEST_F(MessageTest, RecordAccountingTokenCountsOnlyWithContextOptions) {
    std::vector<ZTOR> recs = {objectRecord("T1")};
    ZTOD od = objectDescriptor("", 2);
    od.recsPresent = 1;
    od.objectRecords = recs.data();
    ZTLONG hlist = 0;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hlist, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    std::vector<ZTBYTE> token(32, 0x6B);
    for (ZTLONG options : {0, ZTPMO_SET_IDENTITY_CONTEXT}) {
        ZTPMO pmo = putOptions(options, 2);
        pmo.recordCount = 1;
        pmo.putMsgRecordFields = ZTPMRF_ACCOUNTING_TOKEN;
        pmo.putMsgRecords = token.data();
        ZTMD md = messageDescriptor();
        ZTPUT(hconn, hlist, &md, &pmo, 1, const_cast<char*>("t"), &r.cc, &r.rc);
        ASSERT_EQ(r.cc, ZTCC_OK);
    }
    ZTLONG tin = openQueue(hconn, "T1", ZTOO_INPUT_SHARED);
    EXPECT_EQ(std::memcmp(getText(hconn, tin).md.accountingToken, "ZTAT", 4), 0);
    EXPECT_EQ(getText(hconn, tin).md.accountingToken[31], 0x6B);
}

}  // namespace

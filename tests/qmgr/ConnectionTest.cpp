// Connections, units of work and the control interface.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "QmgrTest.h"

namespace {

using ConnectionTest = QmgrTest;

TEST_F(ConnectionTest, ConnectGivesLiveUniquePositiveHandles) {
    ZTLONG a = connect();
    ZTLONG b = connect(ZT_DEFAULT_QMGR_NAME);
    NameField blank("", ' ');
    ZTLONG c = 0;
    Result r;
    ZTCONN(blank.bytes, &c, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_GT(a, 0);
    EXPECT_GT(b, 0);
    EXPECT_GT(c, 0);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_NE(a, c);
    EXPECT_TRUE(ztmctl::isLiveConnection(a));
    EXPECT_TRUE(ztmctl::isLiveConnection(c));
    EXPECT_EQ(ztmctl::liveConnections(), 3u);
}

TEST_F(ConnectionTest, NameFieldIsFixedWidthWithOrWithoutTerminator) {
    // 48 characters with no NUL anywhere: the whole field is the name.
    std::string full(48, 'Q');
    NameField f(full);
    ZTLONG h = 0;
    Result r;
    ZTCONN(f.bytes, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    // Blank padded and NUL padded spell the same queue manager.
    NameField blankPadded("QMA", ' ');
    ZTCONN(blankPadded.bytes, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    auto rec = ztmctl::callsOf("ZTCONN").at(1);
    EXPECT_EQ(rec.record("qmgrName").size(), 48u);
    EXPECT_EQ(std::memcmp(rec.record("qmgrName").data(), blankPadded.bytes, 48), 0);
}

TEST_F(ConnectionTest, UnknownOrMalformedQueueManagerFails) {
    for (const char* bad : {"NOSUCHQM", "NOSUCH", "QM WITH BLANK", "QM*"}) {
        NameField n(bad);
        ZTLONG h = 4711;
        Result r;
        ZTCONN(n.bytes, &h, &r.cc, &r.rc);
        EXPECT_EQ(r.cc, ZTCC_FAILED) << bad;
        EXPECT_EQ(r.rc, ZTRC_QMGR_NAME_ERROR) << bad;
        EXPECT_EQ(h, 4711) << bad;
    }
    ZTLONG h = 0;
    Result r;
    ZTCONN(nullptr, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_QMGR_NAME_ERROR);
    NameField n("");
    ZTCONN(n.bytes, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    EXPECT_EQ(ztmctl::liveConnections(), 0u);
}

TEST_F(ConnectionTest, ConnectXChecksTheConnectOptions) {
    NameField n("");
    ZTCNO cno = connectOptions(0x1234);
    ZTLONG h = 0;
    Result r;
    ZTCONNX(n.bytes, &cno, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_TRUE(ztmctl::isLiveConnection(h));
    auto rec = ztmctl::callsOf("ZTCONNX").at(0);
    auto copy = rec.recordAs<ZTCNO>("ZTCNO");
    EXPECT_EQ(copy.options, 0x1234);
    EXPECT_EQ(rec.pointer("ZTCNO"), &cno);

    std::memcpy(cno.eyeCatcher, "XXXX", 4);
    ZTLONG h2 = 99;
    ZTCONNX(n.bytes, &cno, &h2, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_FAILED);
    EXPECT_EQ(r.rc, ZTRC_RECORD_ERROR);
    EXPECT_EQ(h2, 99);
}

TEST_F(ConnectionTest, ServiceProviderConnectConnectsOrAnswers2195WhenSwitchedOff) {
    NameField n("");
    ZTLCNO l = spiConnectRecord();
    ZTCNO cno = connectOptions(7);
    ZTLONG h = 0;
    Result r;
    lpiSPIZTConnect(n.bytes, &l, &cno, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_TRUE(ztmctl::isLiveConnection(h));

    ztmctl::setSpiConnectAvailable(false);
    ZTLONG h2 = 55;
    lpiSPIZTConnect(n.bytes, &l, &cno, &h2, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_FAILED);
    EXPECT_EQ(r.rc, ZTRC_UNEXPECTED_ERROR);
    EXPECT_EQ(h2, 55);
    EXPECT_EQ(ztmctl::liveConnections(), 1u);

    auto rec = ztmctl::callsOf("lpiSPIZTConnect").at(1);
    auto copy = rec.recordAs<ZTLCNO>("ZTLCNO");
    EXPECT_EQ(copy.version, 2);
    EXPECT_EQ(copy.word8, 0x80);
    EXPECT_EQ(copy.word140, -1);
    EXPECT_EQ(rec.recordAs<ZTCNO>("ZTCNO").options, 7);
    EXPECT_EQ(rec.reason, ZTRC_UNEXPECTED_ERROR);

    // A bad service-provider record is refused.
    ztmctl::setSpiConnectAvailable(true);
    std::memcpy(l.eyeCatcher, "LCN ", 4);
    lpiSPIZTConnect(n.bytes, &l, &cno, &h2, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_RECORD_ERROR);
}

TEST_F(ConnectionTest, DisconnectEndsTheConnectionAndSpoilsTheHandle) {
    ZTLONG h = connect();
    const ZTLONG old = h;
    Result r;
    ZTDISC(&h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(h, ZTHC_UNUSABLE_HCONN);
    EXPECT_FALSE(ztmctl::isLiveConnection(old));
    EXPECT_EQ(ztmctl::callsOf("ZTDISC").at(0).arg("hconn"), old);

    // Every verb on the dead handle fails.
    ZTLONG again = old;
    ZTDISC(&again, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_FAILED);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    EXPECT_EQ(again, old);
    ZTBO bo = beginOptions();
    ZTBEGIN(old, &bo, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    ZTCMIT(old, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    ZTBACK(old, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    ZTBACK(0, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    ZTDISC(nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
}

TEST_F(ConnectionTest, UnitOfWorkIsTrackedPerConnection) {
    ZTLONG a = connect();
    ZTLONG b = connect();
    ZTBO bo = beginOptions();
    Result r;
    // Commit and backout with nothing begun are fine.
    ZTCMIT(a, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    ZTBACK(a, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);

    ZTBEGIN(a, &bo, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_TRUE(ztmctl::unitOfWorkOpen(a));
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(b));
    ZTBEGIN(a, &bo, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_FAILED);
    EXPECT_EQ(r.rc, ZTRC_UOW_IN_PROGRESS);
    ZTBEGIN(b, &bo, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    ZTCMIT(a, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(a));
    EXPECT_TRUE(ztmctl::unitOfWorkOpen(b));
    ZTBACK(b, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(b));
    // Begin again after the end, also without options.
    ZTBEGIN(a, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    // A bad begin-options record is refused.
    std::memcpy(bo.eyeCatcher, "BOX ", 4);
    ZTBEGIN(b, &bo, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_RECORD_ERROR);
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(b));
}

TEST_F(ConnectionTest, RecorderKeepsArgumentsRecordsAndResults) {
    ZTLONG h = connect();
    ZTBO bo = beginOptions();
    Result r;
    ZTBEGIN(h, &bo, &r.cc, &r.rc);
    ZTBEGIN(h, nullptr, &r.cc, &r.rc);
    ASSERT_EQ(ztmctl::callCount(), 3u);
    auto c0 = ztmctl::call(0);
    EXPECT_EQ(c0.function, "ZTCONN");
    EXPECT_TRUE(c0.finished);
    auto c1 = ztmctl::call(1);
    EXPECT_EQ(c1.function, "ZTBEGIN");
    ASSERT_EQ(c1.ints.size(), 1u);
    EXPECT_EQ(c1.ints[0].first, "hconn");
    EXPECT_EQ(c1.arg("hconn"), h);
    EXPECT_EQ(c1.pointer("ZTBO"), &bo);
    EXPECT_EQ(c1.pointer("compCode"), &r.cc);
    auto bo1 = c1.recordAs<ZTBO>("ZTBO");
    EXPECT_EQ(std::memcmp(bo1.eyeCatcher, "BO  ", 4), 0);
    EXPECT_EQ(c1.compCode, ZTCC_OK);
    auto c2 = ztmctl::call(2);
    EXPECT_EQ(c2.pointer("ZTBO"), nullptr);
    EXPECT_FALSE(c2.hasRecord("ZTBO"));
    EXPECT_EQ(c2.compCode, ZTCC_FAILED);
    EXPECT_EQ(c2.reason, ZTRC_UOW_IN_PROGRESS);
    EXPECT_THROW(ztmctl::call(3), std::out_of_range);
    EXPECT_THROW(c2.arg("nothing"), std::out_of_range);
    EXPECT_EQ(ztmctl::callsOf("ZTBEGIN").size(), 2u);

    ztmctl::clearCalls();
    EXPECT_EQ(ztmctl::callCount(), 0u);
    ztmctl::setRecording(false);
    ZTCMIT(h, &r.cc, &r.rc);
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(h));  // the work still ran
}

TEST_F(ConnectionTest, ScriptedAnswerReplacesTheWork) {
    ztmctl::Answer a;
    a.compCode = ZTCC_WARNING;
    a.reason = 1234;
    a.hconn = 777;
    ztmctl::scriptNext("ZTCONN", a);
    EXPECT_EQ(ztmctl::pendingScripts("ZTCONN"), 1u);
    NameField n("NOSUCHQM");  // would fail if the work ran
    ZTLONG h = 0;
    Result r;
    ZTCONN(n.bytes, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_WARNING);
    EXPECT_EQ(r.rc, 1234);
    EXPECT_EQ(h, 777);
    EXPECT_EQ(ztmctl::liveConnections(), 0u);
    EXPECT_EQ(ztmctl::pendingScripts("ZTCONN"), 0u);
    auto rec = ztmctl::call(0);
    EXPECT_TRUE(rec.scripted);
    EXPECT_EQ(rec.compCode, ZTCC_WARNING);
    EXPECT_EQ(rec.reason, 1234);
    // Used once: the next call does its own work.
    ZTCONN(n.bytes, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_QMGR_NAME_ERROR);
}

TEST_F(ConnectionTest, ScriptedHookSeesTheArgumentsInOrder) {
    ZTLONG h = connect();
    ztmctl::Answer a;
    ZTLONG seenHconn = 0;
    const void* seenBo = nullptr;
    a.hook = [&](void** args) {
        seenHconn = *static_cast<ZTLONG*>(args[0]);
        seenBo = args[1];
        *static_cast<ZTLONG*>(args[3]) = 4321;  // the reason out
    };
    ztmctl::scriptNext("ZTBEGIN", a);
    ZTBO bo = beginOptions();
    Result r;
    ZTBEGIN(h, &bo, &r.cc, &r.rc);
    EXPECT_EQ(seenHconn, h);
    EXPECT_EQ(seenBo, &bo);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(r.rc, 4321);
    EXPECT_EQ(ztmctl::callsOf("ZTBEGIN").at(0).reason, 4321);
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(h));  // no work was done
}

TEST_F(ConnectionTest, ScriptedAnswerCanFollowTheRealWork) {
    ztmctl::Answer a;
    a.runReal = true;
    a.compCode = ZTCC_WARNING;
    a.reason = 99;
    ztmctl::scriptNext("ZTCONN", a);
    NameField n("");
    ZTLONG h = 0;
    Result r;
    ZTCONN(n.bytes, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_WARNING);
    EXPECT_EQ(r.rc, 99);
    EXPECT_TRUE(ztmctl::isLiveConnection(h));
}

TEST_F(ConnectionTest, InstantModeAnswersAtOnceAndRecordsNothing) {
    ztmctl::setInstantMode(true);
    EXPECT_TRUE(ztmctl::instantMode());
    NameField n("NOSUCHQM");
    ZTLONG h = 0;
    Result r;
    ZTCONN(n.bytes, &h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(r.rc, ZTRC_NONE);
    EXPECT_EQ(h, 1);
    ZTDISC(&h, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_EQ(ztmctl::liveConnections(), 0u);
    ztmctl::reset();
    EXPECT_FALSE(ztmctl::instantMode());
}

TEST_F(ConnectionTest, ResetForgetsConnectionsScriptsAndCalls) {
    ZTLONG h = connect();
    ztmctl::scriptNext("ZTCMIT", ztmctl::Answer());
    ztmctl::setSpiConnectAvailable(false);
    ztmctl::reset();
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_EQ(ztmctl::pendingScripts("ZTCMIT"), 0u);
    EXPECT_FALSE(ztmctl::isLiveConnection(h));
    Result r;
    ZTCMIT(h, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    // A new connection never gets an old handle back.
    EXPECT_NE(connect(), h);
    NameField n("");
    ZTLCNO l = spiConnectRecord();
    ZTLONG h2 = 0;
    lpiSPIZTConnect(n.bytes, &l, nullptr, &h2, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
}

TEST_F(ConnectionTest, ConcurrentConnectsAndDisconnectsStayConsistent) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                NameField n("");
                ZTLONG h = 0;
                ZTLONG cc = 0, rc = 0;
                ZTCONN(n.bytes, &h, &cc, &rc);
                if (cc != ZTCC_OK) ++failures;
                ZTBO bo = beginOptions();
                ZTBEGIN(h, &bo, &cc, &rc);
                if (cc != ZTCC_OK) ++failures;
                ZTCMIT(h, &cc, &rc);
                if (cc != ZTCC_OK) ++failures;
                ZTDISC(&h, &cc, &rc);
                if (cc != ZTCC_OK || h != ZTHC_UNUSABLE_HCONN) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(ztmctl::liveConnections(), 0u);
    EXPECT_EQ(ztmctl::callCount(), 4u * 200u * 4u);
}

TEST_F(ConnectionTest, EveryVerbOnADeadConnectionFailsWithHconnError) {
    ZTLONG h = connect();
    const ZTLONG dead = h;
    Result r;
    ZTDISC(&h, &r.cc, &r.rc);
    ZTOD od = objectDescriptor("Q");
    ZTMD md = messageDescriptor();
    ZTPMO pmo = putOptions();
    ZTGMO gmo = getOptions();
    ZTLACT act;
    std::memset(&act, 0, sizeof act);
    std::memcpy(act.eyeCatcher, ZTLACT_EYE_CATCHER, 4);
    act.action = ZTLACT_ACTIVATE;
    ZTLPOP lpop;
    std::memcpy(lpop.eyeCatcher, ZTLPOP_EYE_CATCHER, 4);
    lpop.version = 1;
    lpop.options = ZTLPOP_DEFERRED;
    ZTLONG hobj = 1, sel = ZTIA_CURRENT_DEPTH, val = 0, len = 0;
    char buf[8] = "data";
    std::vector<std::function<void()>> verbs = {
        [&] { ZTOPEN(dead, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc); },
        [&] { ZTCLOSE(dead, &hobj, ZTCO_NONE, &r.cc, &r.rc); },
        [&] { ZTINQ(dead, hobj, 1, &sel, 1, &val, 0, nullptr, &r.cc, &r.rc); },
        [&] { ZTSET(dead, hobj, 1, &sel, 1, &val, 0, nullptr, &r.cc, &r.rc); },
        [&] { ZTPUT(dead, hobj, &md, &pmo, 4, buf, &r.cc, &r.rc); },
        [&] { ZTPUT1(dead, &od, &md, &pmo, 4, buf, &r.cc, &r.rc); },
        [&] { ZTGET(dead, hobj, &md, &gmo, 8, buf, &len, &r.cc, &r.rc); },
        [&] { lpiSPIPut(dead, hobj, &md, &pmo, 4, buf, &lpop, &r.cc, &r.rc); },
        [&] { lpiSPIActivateMessage(dead, &act, &r.cc, &r.rc); },
        [&] { ZTCMIT(dead, &r.cc, &r.rc); },
        [&] { ZTBACK(dead, &r.cc, &r.rc); },
    };
    for (size_t i = 0; i < verbs.size(); ++i) {
        r = Result();
        verbs[i]();
        EXPECT_EQ(r.cc, ZTCC_FAILED) << i;
        EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR) << i;
    }
    EXPECT_FALSE(ztmctl::queueExists("Q"));
}

}  // namespace

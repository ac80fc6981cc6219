// Units of work: syncpoint puts and gets, commit, backout, disconnect, XA
// branches through the engine's Transaction, and nothing lost under threads.
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "QmgrTest.h"
#include "engine.h"

namespace {

class SyncpointTest : public QmgrTest {
protected:
    void SetUp() override {
        QmgrTest::SetUp();
        hconn = connect();
        out = openQueue(hconn, "SP.Q", ZTOO_OUTPUT);
        in = openQueue(hconn, "SP.Q", ZTOO_INPUT_SHARED);
    }
    void TearDown() override {
        ztmeng::setThreadTransaction(nullptr);
        QmgrTest::TearDown();
    }
    void begin(ZTLONG h) {
        ZTBO bo = beginOptions();
        ZTBEGIN(h, &bo, &r.cc, &r.rc);
        ASSERT_EQ(r.cc, ZTCC_OK) << r.rc;
    }
    ZTLONG hconn = 0, out = 0, in = 0;
    Result r;
};

TEST_F(SyncpointTest, SyncpointPutAppearsOnlyOnCommit) {
    putText(hconn, out, "sp", ZTPMO_SYNCPOINT);
    EXPECT_EQ(ztmctl::visibleDepth("SP.Q"), 0u);
    EXPECT_EQ(ztmctl::totalDepth("SP.Q"), 1u);
    EXPECT_TRUE(ztmctl::unitOfWorkOpen(hconn));  // started implicitly
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);
    ZTBO bo = beginOptions();
    ZTBEGIN(hconn, &bo, &r.cc, &r.rc);  // work is pending: no new begin
    EXPECT_EQ(r.rc, ZTRC_UOW_IN_PROGRESS);
    ZTCMIT(hconn, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(hconn));
    EXPECT_EQ(getText(hconn, in).text, "sp");
}

TEST_F(SyncpointTest, BackoutDropsPutsAndReturnsGets) {
    putText(hconn, out, "one");
    putText(hconn, out, "two");
    begin(hconn);
    // Inside a begun unit of work syncpoint is the default.
    putText(hconn, out, "three");
    Got g = getText(hconn, in);
    EXPECT_EQ(g.text, "one");
    EXPECT_EQ(ztmctl::visibleDepth("SP.Q"), 1u);
    EXPECT_EQ(ztmctl::totalDepth("SP.Q"), 3u);
    // Outside syncpoint explicitly: final at once.
    Got now = getText(hconn, in, ZTGMO_NO_SYNCPOINT);
    EXPECT_EQ(now.text, "two");
    ZTBACK(hconn, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(ztmctl::totalDepth("SP.Q"), 1u);
    Got again = getText(hconn, in);
    EXPECT_EQ(again.text, "one");
    EXPECT_EQ(again.md.backoutCount, 1);
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);  // "three" is gone
}

TEST_F(SyncpointTest, BackedOutMessageKeepsItsPlaceInTheQueue) {
    putText(hconn, out, "a");
    putText(hconn, out, "b");
    EXPECT_EQ(getText(hconn, in, ZTGMO_SYNCPOINT).text, "a");
    EXPECT_EQ(getText(hconn, in, ZTGMO_SYNCPOINT).text, "b");
    ZTBACK(hconn, &r.cc, &r.rc);
    Got first = getText(hconn, in, ZTGMO_SYNCPOINT);
    EXPECT_EQ(first.text, "a");
    ZTBACK(hconn, &r.cc, &r.rc);
    Got twice = getText(hconn, in);
    EXPECT_EQ(twice.text, "a");
    EXPECT_EQ(twice.md.backoutCount, 2);
    EXPECT_EQ(getText(hconn, in).md.backoutCount, 1);
}

TEST_F(SyncpointTest, OtherConnectionsSeeOnlyCommittedWork) {
    ZTLONG other = connect();
    ZTLONG oin = openQueue(other, "SP.Q", ZTOO_INPUT_SHARED);
    putText(hconn, out, "x");
    EXPECT_EQ(getText(hconn, in, ZTGMO_SYNCPOINT).text, "x");
    EXPECT_EQ(getText(other, oin).r.rc, ZTRC_NO_MSG_AVAILABLE);  // locked by the get
    ZTBACK(hconn, &r.cc, &r.rc);
    EXPECT_EQ(getText(other, oin).text, "x");
    // A waiting get is woken by the commit of a syncpoint put.
    Got g;
    std::thread waiter([&] { g = getText(other, oin, ZTGMO_WAIT, 5000); });
    putText(hconn, out, "later", ZTPMO_SYNCPOINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ZTCMIT(hconn, &r.cc, &r.rc);
    waiter.join();
    EXPECT_EQ(g.text, "later");
}

TEST_F(SyncpointTest, ResetEndsAWaitingGetOfAConnectionWithPendingWork) {
    ZTLONG other = connect();
    ZTLONG oin = openQueue(other, "SP.Q", ZTOO_INPUT_SHARED);
    ZTLONG oout = openQueue(other, "SP.Q", ZTOO_OUTPUT);
    putText(other, oout, "pending", ZTPMO_SYNCPOINT);
    Got g;
    std::thread waiter([&] { g = getText(other, oin, ZTGMO_WAIT, -1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ztmctl::reset();  // the waiter then drops the last reference to its connection
    waiter.join();
    EXPECT_EQ(g.r.cc, ZTCC_FAILED);
    EXPECT_EQ(g.r.rc, ZTRC_HCONN_ERROR);
    EXPECT_EQ(ztmctl::liveConnections(), 0u);
    EXPECT_FALSE(ztmctl::queueExists("SP.Q"));
}

TEST_F(SyncpointTest, DisconnectCommitsTheOwnUnitOfWork) {
    ZTLONG other = connect();
    ZTLONG oout = openQueue(other, "SP.Q", ZTOO_OUTPUT);
    putText(other, oout, "kept", ZTPMO_SYNCPOINT);
    ZTDISC(&other, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(getText(hconn, in).text, "kept");
}

TEST_F(SyncpointTest, XaBranchTakesTheThreadsSyncpointWork) {
    auto t = ztmeng::Transaction::create();
    ztmeng::setThreadTransaction(t);
    EXPECT_EQ(ztmeng::threadTransaction(), t);
    putText(hconn, out, "xa");  // implicitly under syncpoint in a branch
    putText(hconn, out, "plain", ZTPMO_NO_SYNCPOINT);
    EXPECT_EQ(t->pendingOperations(), 1u);
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(hconn));  // not the connection's
    ZTCMIT(hconn, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_UOW_UNDER_XA);
    ZTBACK(hconn, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_UOW_UNDER_XA);
    ZTBO bo = beginOptions();
    ZTBEGIN(hconn, &bo, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_UOW_UNDER_XA);
    ztmeng::setThreadTransaction(nullptr);
    EXPECT_EQ(getText(hconn, in).text, "plain");
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);
    EXPECT_TRUE(t->prepare());
    EXPECT_EQ(t->state(), ztmeng::Transaction::State::Prepared);
    EXPECT_FALSE(t->prepare());
    // A prepared branch takes no more work.
    ztmeng::setThreadTransaction(t);
    Result res;
    putText(hconn, out, "late", 0, &res);
    EXPECT_EQ(res.rc, ZTRC_UOW_NOT_ACTIVE);
    ztmeng::setThreadTransaction(nullptr);
    EXPECT_TRUE(t->commit());
    EXPECT_FALSE(t->commit());
    EXPECT_FALSE(t->rollback());
    EXPECT_EQ(t->state(), ztmeng::Transaction::State::Committed);
    EXPECT_EQ(getText(hconn, in).text, "xa");
}

TEST_F(SyncpointTest, XaRollbackAndDroppedBranchReturnGets) {
    putText(hconn, out, "m1");
    putText(hconn, out, "m2");
    {
        auto t = ztmeng::Transaction::create();
        ztmeng::setThreadTransaction(t);
        EXPECT_EQ(getText(hconn, in).text, "m1");
        ztmeng::setThreadTransaction(nullptr);
        EXPECT_TRUE(t->rollback());
        EXPECT_EQ(t->state(), ztmeng::Transaction::State::RolledBack);
    }
    {
        auto t = ztmeng::Transaction::create();
        ztmeng::setThreadTransaction(t);
        EXPECT_EQ(getText(hconn, in).text, "m1");
        ztmeng::setThreadTransaction(nullptr);
        // Dropped without an end: rolled back, not lost.
    }
    Got g = getText(hconn, in);
    EXPECT_EQ(g.text, "m1");
    EXPECT_EQ(g.md.backoutCount, 2);
    // Work of a branch can be committed from another thread.
    auto t = ztmeng::Transaction::create();
    ztmeng::setThreadTransaction(t);
    EXPECT_EQ(getText(hconn, in).text, "m2");
    ztmeng::setThreadTransaction(nullptr);
    std::thread([&] { EXPECT_TRUE(t->commit()); }).join();
    EXPECT_EQ(ztmctl::totalDepth("SP.Q"), 0u);
}

// In memory, and with a state directory and persistent messages, where the
// threads' commits share the store's syncs: afterwards the next process on
// the directory finds nothing, every message having been got for good.
TEST_F(SyncpointTest, NothingIsLostBetweenThreads) {
    for (const bool kept : {false, true}) {
        SCOPED_TRACE(kept ? "persistent, with a state directory" : "in memory");
        std::string dir;
        if (kept) {
            char pattern[] = "/tmp/qmgr_threads_XXXXXX";
            ASSERT_NE(mkdtemp(pattern), nullptr);
            dir = pattern;
            ASSERT_TRUE(ztmctl::setStateDirectory(dir));
            hconn = connect();
            in = openQueue(hconn, "SP.Q", ZTOO_INPUT_SHARED);
        }
        constexpr int kProducers = 3, kConsumers = 3, kEach = 300;
        ztmctl::setRecording(false);
        std::atomic<int> errors{0};
        std::mutex seenMu;
        std::multiset<std::string> seen;
        std::atomic<bool> producing{true};
        std::vector<std::thread> threads;
        for (int p = 0; p < kProducers; ++p) {
            threads.emplace_back([&, p] {
                ZTLONG h = connect();
                ZTLONG o = openQueue(h, "SP.Q", ZTOO_OUTPUT);
                for (int i = 0; i < kEach; ++i) {
                    Result res;
                    const bool sp = i % 3 == 0;
                    putMessage(h, o, std::to_string(p) + ":" + std::to_string(i),
                               sp ? ZTPMO_SYNCPOINT : 0,
                               kept ? ZTPER_PERSISTENT : ZTPER_NOT_PERSISTENT, res);
                    if (res.cc != ZTCC_OK) ++errors;
                    if (sp) {
                        ZTLONG cc, rc;
                        ZTCMIT(h, &cc, &rc);
                        if (cc != ZTCC_OK) ++errors;
                    }
                }
            });
        }
        for (int c = 0; c < kConsumers; ++c) {
            threads.emplace_back([&, c] {
                ZTLONG h = connect();
                ZTLONG i = openQueue(h, "SP.Q", ZTOO_INPUT_SHARED);
                for (int n = 0;; ++n) {
                    Got g = getText(h, i, ZTGMO_WAIT | ZTGMO_SYNCPOINT, 200);
                    if (g.r.rc == ZTRC_NO_MSG_AVAILABLE) {
                        if (!producing) break;
                        continue;
                    }
                    if (g.r.cc != ZTCC_OK) {
                        ++errors;
                        break;
                    }
                    ZTLONG cc, rc;
                    if ((n + c) % 4 == 0) {
                        ZTBACK(h, &cc, &rc);  // it goes back for someone to take
                    } else {
                        ZTCMIT(h, &cc, &rc);
                        std::lock_guard<std::mutex> lock(seenMu);
                        seen.insert(g.text);
                    }
                    if (cc != ZTCC_OK) ++errors;
                }
            });
        }
        for (int p = 0; p < kProducers; ++p) threads[p].join();
        producing = false;
        for (size_t t = kProducers; t < threads.size(); ++t) threads[t].join();
        // A consumer may have stopped while another still backed a message out.
        for (Got g = getText(hconn, in); g.r.cc == ZTCC_OK; g = getText(hconn, in))
            seen.insert(g.text);
        EXPECT_EQ(errors.load(), 0);
        EXPECT_EQ(seen.size(), static_cast<size_t>(kProducers * kEach));
        std::set<std::string> unique(seen.begin(), seen.end());
        EXPECT_EQ(unique.size(), seen.size());  // each delivered exactly once
        EXPECT_EQ(ztmctl::totalDepth("SP.Q"), 0u);
        if (kept) {
            ASSERT_TRUE(ztmctl::setStateDirectory(dir));
            EXPECT_EQ(ztmctl::totalDepth("SP.Q"), 0u) << "a message got for good came back";
            ztmctl::reset();
            std::filesystem::remove_all(dir);
        }
    }
}

}  // namespace

// Prepared branches outlive the process when the resource manager is opened
// with a state directory: what a branch put and got is back after a restart
// (ztmctl::reset), listed by recover, and finished by commit or rollback.
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "QmgrTest.h"
#include "XidRecords.h"
#include "ztm_xa_control.h"

namespace {

class XaStore : public QmgrTest {
protected:
    void SetUp() override
    {
        QmgrTest::SetUp();
        char pattern[] = "/tmp/xa_store_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        openString_ = "QM1;state=" + dir_ + "/qm";
        begin();
    }

    void TearDown() override
    {
        QmgrTest::TearDown();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // A process's start: open the resource manager, connect, open the queue.
    void begin()
    {
        ASSERT_EQ(zstXAOpen(openString_.data(), kRmid, TMNOFLAGS, 8, 0, 1), XA_OK);
        hconn_ = connect("QM1");
        out_ = openQueue(hconn_, "ST.Q", ZTOO_OUTPUT);
        in_ = openQueue(hconn_, "ST.Q", ZTOO_INPUT_SHARED);
    }

    // The process ends: every queue, message and branch in memory is gone.
    void restart()
    {
        ztmctl::reset();
        begin();
    }

    // A branch that got "old" (put before, outside it) and put "new".
    XID preparedBranch(int n)
    {
        putText(hconn_, out_, "old " + std::to_string(n), ZTPMO_NO_SYNCPOINT);
        XID x = branchXid(n);
        EXPECT_EQ(zstXAStart(&x, kRmid, TMNOFLAGS, 1), XA_OK);
        EXPECT_EQ(getText(hconn_, in_, ZTGMO_SYNCPOINT).text, "old " + std::to_string(n));
        putText(hconn_, out_, "new " + std::to_string(n), ZTPMO_SYNCPOINT);
        EXPECT_EQ(zstXAEnd(&x, kRmid, TMSUCCESS), XA_OK);
        EXPECT_EQ(zstXAPrepare(&x, kRmid, TMNOFLAGS), XA_OK);
        return x;
    }

    int recoverAll(XID* xids, long count)
    {
        return zstXARecover(xids, count, kRmid, TMSTARTRSCAN | TMENDRSCAN);
    }

    static constexpr int kRmid = 3;
    std::string dir_;
    std::string openString_;
    ZTLONG hconn_ = 0;
    ZTLONG out_ = 0;
    ZTLONG in_ = 0;
};

TEST_F(XaStore, APreparedBranchIsListedAndCommittedAfterARestart)
{
    XID x = preparedBranch(1);
    restart();
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_PREPARED);
    XID found[4];
    ASSERT_EQ(recoverAll(found, 4), 1);
    EXPECT_EQ(gtridOf(found[0]), gtridOf(x));
    EXPECT_EQ(ztmctl::visibleDepth("ST.Q", "QM1"), 0u) << "in doubt, nothing is seen";
    ASSERT_EQ(zstXACommit(&found[0], kRmid, TMNOFLAGS), XA_OK);
    Got got = getText(hconn_, in_);
    EXPECT_EQ(got.text, "new 1");
    EXPECT_EQ(getText(hconn_, in_).r.cc, ZTCC_FAILED) << "the got message stays got";
    restart();
    EXPECT_EQ(recoverAll(found, 4), 0) << "a committed branch is gone from the store";
}

TEST_F(XaStore, ARollbackAfterARestartRestoresWhatTheBranchGot)
{
    XID x = preparedBranch(2);
    restart();
    ASSERT_EQ(zstXARollback(&x, kRmid, TMNOFLAGS), XA_OK);
    Got got = getText(hconn_, in_);
    EXPECT_EQ(got.text, "old 2");
    EXPECT_EQ(got.md.backoutCount, 1);
    EXPECT_EQ(getText(hconn_, in_).r.cc, ZTCC_FAILED) << "what it put is gone";
    restart();
    EXPECT_EQ(ztmXABranchCount(), 0);
}

TEST_F(XaStore, OnlyPreparedBranchesAreKeptAndEachOnce)
{
    XID kept = preparedBranch(3);
    XID active = branchXid(4);
    ASSERT_EQ(zstXAStart(&active, kRmid, TMNOFLAGS, 1), XA_OK);
    putText(hconn_, out_, "never prepared", ZTPMO_SYNCPOINT);
    ASSERT_EQ(zstXAEnd(&active, kRmid, TMSUCCESS), XA_OK);
    restart();
    // A second open of the same directory loads nothing twice.
    ASSERT_EQ(zstXAOpen(openString_.data(), kRmid + 1, TMNOFLAGS, 8, 0, 1), XA_OK);
    EXPECT_EQ(ztmXABranchCount(), 1);
    EXPECT_EQ(ztmXABranchState(&kept), ZTXA_BRANCH_PREPARED);
    EXPECT_EQ(ztmXABranchState(&active), ZTXA_BRANCH_NONE);
}

TEST_F(XaStore, AHeuristicOutcomeOutlivesTheProcessUntilForgotten)
{
    XID x = preparedBranch(5);
    ASSERT_EQ(ztmXAHeuristic(&x, XA_HEURRB), 0);
    restart();
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_HEURISTIC);
    EXPECT_EQ(zstXACommit(&x, kRmid, TMNOFLAGS), XA_HEURRB);
    EXPECT_EQ(zstXAForget(&x, kRmid, TMNOFLAGS), XA_OK);
    restart();
    EXPECT_EQ(ztmXABranchCount(), 0);
}

TEST_F(XaStore, WithoutAStateDirectoryNothingOutlivesTheProcess)
{
    openString_ = "QM1";
    restart();
    preparedBranch(6);
    restart();
    EXPECT_EQ(ztmXABranchCount(), 0);
}

TEST_F(XaStore, AnUnusableStateDirectoryFailsTheOpen)
{
    const std::string file = dir_ + "/plain-file";
    std::ofstream(file) << "not a directory";
    std::string open = "QM1;state=" + file;
    EXPECT_EQ(zstXAOpen(open.data(), kRmid + 1, TMNOFLAGS, 8, 0, 1), XAER_RMERR);
}

// With the queue manager's state directory where the branches are kept, a
// persistent message a branch put is kept when the branch commits after a
// restart, and a kept message the branch got is neither doubled while in
// doubt nor back once the commit is done.
TEST_F(XaStore, PersistentMessagesOfARecoveredBranchAreKeptOnce) {
    const std::string qmDir = dir_ + "/qm";
    auto startOn = [&] {
        std::string error;
        ASSERT_TRUE(ztmctl::setStateDirectory(qmDir, &error)) << error;
        begin();
    };
    auto putKept = [&](const std::string& text, ZTLONG options) {
        Result r;
        putMessage(hconn_, out_, text, options, ZTPER_PERSISTENT, r);
        EXPECT_EQ(r.cc, ZTCC_OK) << r.rc;
    };
    startOn();
    putKept("old", ZTPMO_NO_SYNCPOINT);
    XID x = branchXid(7);
    ASSERT_EQ(zstXAStart(&x, kRmid, TMNOFLAGS, 1), XA_OK);
    EXPECT_EQ(getText(hconn_, in_, ZTGMO_SYNCPOINT).text, "old");
    putKept("new", ZTPMO_SYNCPOINT);
    ASSERT_EQ(zstXAEnd(&x, kRmid, TMSUCCESS), XA_OK);
    ASSERT_EQ(zstXAPrepare(&x, kRmid, TMNOFLAGS), XA_OK);

    startOn();
    EXPECT_EQ(ztmctl::totalDepth("ST.Q", "QM1"), 2u) << "old once (got by the branch), new pending";
    EXPECT_EQ(ztmctl::visibleDepth("ST.Q", "QM1"), 0u);
    ASSERT_EQ(zstXACommit(&x, kRmid, TMNOFLAGS), XA_OK);

    startOn();
    EXPECT_EQ(ztmXABranchCount(), 0);
    EXPECT_EQ(getText(hconn_, in_).text, "new");
    EXPECT_EQ(getText(hconn_, in_).r.rc, ZTRC_NO_MSG_AVAILABLE) << "old is gone for good";
}

}  // namespace

// The queue manager as an XA resource manager (libztmzse), driven through
// the switch as a transaction manager drives it: branch states, XA codes for
// protocol errors and unknown XIDs, recovery scans, and the engine
// transaction each branch carries.
#include <gtest/gtest.h>

#include <thread>

#include "XidRecords.h"
#include "engine.h"

namespace {

class XaResourceManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        ztmctl::reset();
        ASSERT_EQ(swch->xa_open_entry(name_, kRmid, TMNOFLAGS), XA_OK);
    }
    void TearDown() override { ztmctl::reset(); }

    int start(XID& x, long flags = TMNOFLAGS) { return swch->xa_start_entry(&x, kRmid, flags); }
    int end(XID& x, long flags = TMSUCCESS) { return swch->xa_end_entry(&x, kRmid, flags); }
    int prepare(XID& x) { return swch->xa_prepare_entry(&x, kRmid, TMNOFLAGS); }
    int commit(XID& x, long flags = TMNOFLAGS) { return swch->xa_commit_entry(&x, kRmid, flags); }
    int rollback(XID& x) { return swch->xa_rollback_entry(&x, kRmid, TMNOFLAGS); }
    int forget(XID& x) { return swch->xa_forget_entry(&x, kRmid, TMNOFLAGS); }
    // A full scan; the identifiers listed.
    std::vector<XID> recoverAll()
    {
        XID found[32];
        int n = swch->xa_recover_entry(found, 32, kRmid, TMSTARTRSCAN | TMENDRSCAN);
        EXPECT_GE(n, 0);
        return std::vector<XID>(found, found + (n > 0 ? n : 0));
    }
    // Started, ended and prepared.
    void prepared(XID& x)
    {
        ASSERT_EQ(start(x), XA_OK);
        ASSERT_EQ(end(x), XA_OK);
        ASSERT_EQ(prepare(x), XA_OK);
    }

    static constexpr int kRmid = 7;
    char name_[4] = "QM1";
};

TEST_F(XaResourceManager, TwoPhaseCommitMovesTheBranchThroughItsStates)
{
    XID x = branchXid(1);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_NONE);
    EXPECT_EQ(start(x), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_ACTIVE);
    EXPECT_EQ(end(x), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_IDLE);
    EXPECT_EQ(prepare(x), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_PREPARED);
    EXPECT_EQ(commit(x), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_NONE);
    EXPECT_EQ(commit(x), XAER_NOTA);
    EXPECT_EQ(ztmXABranchCount(), 0);
}

TEST_F(XaResourceManager, CallsOutOfOrderAreProtocolErrors)
{
    XID x = branchXid(2);
    EXPECT_EQ(end(x), XAER_NOTA);
    EXPECT_EQ(prepare(x), XAER_NOTA);
    EXPECT_EQ(rollback(x), XAER_NOTA);
    EXPECT_EQ(forget(x), XAER_NOTA);
    ASSERT_EQ(start(x), XA_OK);
    EXPECT_EQ(start(x), XAER_PROTO) << "this thread is already associated";
    EXPECT_EQ(prepare(x), XAER_PROTO) << "still active";
    EXPECT_EQ(commit(x, TMONEPHASE), XAER_PROTO) << "still active";
    EXPECT_EQ(rollback(x), XAER_PROTO) << "still associated";
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(end(x), XAER_PROTO) << "no longer associated";
    EXPECT_EQ(commit(x), XAER_PROTO) << "two-phase commit of an unprepared branch";
    EXPECT_EQ(forget(x), XAER_PROTO) << "not heuristically completed";
    ASSERT_EQ(prepare(x), XA_OK);
    EXPECT_EQ(prepare(x), XAER_PROTO);
    EXPECT_EQ(commit(x, TMONEPHASE), XAER_PROTO) << "one-phase commit of a prepared branch";
    EXPECT_EQ(start(x, TMJOIN), XAER_PROTO) << "no work joins a prepared branch";
    EXPECT_EQ(rollback(x), XA_OK);
}

TEST_F(XaResourceManager, StartingAKnownXidAgainIsADuplicate)
{
    XID x = branchXid(3);
    ASSERT_EQ(start(x), XA_OK);
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(start(x), XAER_DUPID);
    // Another branch of the same global transaction is a new branch.
    XID other = branchXid(3, 2);
    EXPECT_EQ(start(other), XA_OK);
    EXPECT_EQ(end(other), XA_OK);
    EXPECT_EQ(ztmXABranchCount(), 2);
}

TEST_F(XaResourceManager, JoinAndResumeReassociateTheThread)
{
    XID x = branchXid(4);
    EXPECT_EQ(start(x, TMJOIN), XAER_NOTA);
    EXPECT_EQ(start(x, TMRESUME), XAER_NOTA);
    ASSERT_EQ(start(x), XA_OK);
    ASSERT_EQ(end(x, TMSUSPEND), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_ACTIVE) << "a suspended branch is not idle";
    EXPECT_EQ(prepare(x), XAER_PROTO);
    EXPECT_EQ(end(x, TMSUSPEND), XAER_PROTO) << "already suspended";
    EXPECT_EQ(start(x, TMJOIN | TMRESUME), XAER_INVAL);
    EXPECT_EQ(start(x, TMRESUME), XA_OK);
    EXPECT_EQ(start(x, TMRESUME), XAER_PROTO) << "already associated";
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(start(x, TMRESUME), XAER_PROTO) << "nothing suspended to resume";
    EXPECT_EQ(start(x, TMJOIN), XA_OK);
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(commit(x, TMONEPHASE), XA_OK);

    // A suspended association can be ended without resuming it.
    XID y = branchXid(5);
    ASSERT_EQ(start(y), XA_OK);
    ASSERT_EQ(end(y, TMSUSPEND), XA_OK);
    EXPECT_EQ(end(y, TMSUCCESS), XA_OK);
    EXPECT_EQ(ztmXABranchState(&y), ZTXA_BRANCH_IDLE);
    EXPECT_EQ(rollback(y), XA_OK);
}

TEST_F(XaResourceManager, AFailedBranchOnlyRollsBack)
{
    XID x = branchXid(6);
    ASSERT_EQ(start(x), XA_OK);
    EXPECT_EQ(end(x, TMFAIL), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_ROLLBACK_ONLY);
    EXPECT_EQ(start(x, TMJOIN), XA_RBROLLBACK);
    EXPECT_EQ(prepare(x), XA_RBROLLBACK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_NONE) << "rolled back and forgotten";

    XID y = branchXid(7);
    ASSERT_EQ(start(y), XA_OK);
    ASSERT_EQ(end(y, TMFAIL), XA_OK);
    EXPECT_EQ(commit(y, TMONEPHASE), XA_RBROLLBACK);
    EXPECT_EQ(commit(y, TMONEPHASE), XAER_NOTA);
}

TEST_F(XaResourceManager, BadArgumentsAreInvalidAndAsynchronousCallsRefused)
{
    XID x = branchXid(8);
    XID noGtrid = makeXid(1, {}, {1});
    XID longGtrid = branchXid(8);
    longGtrid.gtrid_length = 65;
    XID nullXid = branchXid(8);
    nullXid.formatID = -1;
    EXPECT_EQ(start(noGtrid), XAER_INVAL);
    EXPECT_EQ(start(longGtrid), XAER_INVAL);
    EXPECT_EQ(start(nullXid), XAER_INVAL);
    EXPECT_EQ(swch->xa_start_entry(nullptr, kRmid, TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(start(x, TMSUCCESS), XAER_INVAL);
    EXPECT_EQ(start(x, TMASYNC), XAER_ASYNC);
    ASSERT_EQ(start(x), XA_OK);
    EXPECT_EQ(end(x, TMSUCCESS | TMFAIL), XAER_INVAL);
    EXPECT_EQ(end(x, TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(end(x, TMSUSPEND | TMMIGRATE), XAER_INVAL) << "associations do not migrate";
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(swch->xa_prepare_entry(&x, kRmid, TMONEPHASE), XAER_INVAL);
    EXPECT_EQ(swch->xa_rollback_entry(&x, kRmid, TMASYNC), XAER_ASYNC);
    EXPECT_EQ(swch->xa_open_entry(nullptr, kRmid, TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(swch->xa_open_entry(name_, kRmid, TMJOIN), XAER_INVAL);
    EXPECT_EQ(swch->xa_open_entry(name_, kRmid, TMASYNC), XAER_ASYNC);
    int handle = 1;
    int retval = 0;
    EXPECT_EQ(swch->xa_complete_entry(&handle, &retval, kRmid, TMNOFLAGS), XAER_INVAL)
        << "no asynchronous call is outstanding";
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_IDLE) << "the refused calls changed nothing";
    EXPECT_EQ(rollback(x), XA_OK);
}

TEST_F(XaResourceManager, CallsNeedAnOpenResourceManager)
{
    XID x = branchXid(9);
    EXPECT_EQ(swch->xa_start_entry(&x, kRmid + 1, TMNOFLAGS), XAER_PROTO);
    XID found[1];
    EXPECT_EQ(swch->xa_recover_entry(found, 1, kRmid + 1, TMSTARTRSCAN), XAER_PROTO);
    ASSERT_EQ(start(x), XA_OK);
    EXPECT_EQ(swch->xa_close_entry(name_, kRmid, TMNOFLAGS), XAER_PROTO)
        << "the thread is still associated";
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(swch->xa_close_entry(name_, kRmid, TMNOFLAGS), XA_OK);
    EXPECT_EQ(commit(x, TMONEPHASE), XAER_PROTO) << "closed";
    // Opening again finds the branch where it was.
    ASSERT_EQ(swch->xa_open_entry(name_, kRmid, TMNOFLAGS), XA_OK);
    EXPECT_EQ(swch->xa_open_entry(name_, kRmid, TMNOFLAGS), XA_OK) << "a second open is harmless";
    EXPECT_EQ(commit(x, TMONEPHASE), XA_OK);
}

TEST_F(XaResourceManager, RecoverListsPreparedBranchesUntilTheyAreResolved)
{
    XID a = branchXid(10);
    XID b = branchXid(11);
    XID c = branchXid(12);
    XID active = branchXid(13);
    prepared(a);
    prepared(b);
    prepared(c);
    ASSERT_EQ(start(active), XA_OK);
    ASSERT_EQ(end(active), XA_OK);

    auto listed = recoverAll();
    ASSERT_EQ(listed.size(), 3u) << "only the prepared ones, in the order they began";
    EXPECT_TRUE(sameXid(listed[0], a));
    EXPECT_TRUE(sameXid(listed[1], b));
    EXPECT_TRUE(sameXid(listed[2], c));

    // A scan in steps: start, continue, end.
    XID found[2];
    EXPECT_EQ(swch->xa_recover_entry(found, 2, kRmid, TMSTARTRSCAN), 2);
    EXPECT_TRUE(sameXid(found[0], a));
    EXPECT_TRUE(sameXid(found[1], b));
    EXPECT_EQ(swch->xa_recover_entry(found, 2, kRmid, TMNOFLAGS), 1);
    EXPECT_TRUE(sameXid(found[0], c));
    EXPECT_EQ(swch->xa_recover_entry(found, 2, kRmid, TMENDRSCAN), 0);
    EXPECT_EQ(swch->xa_recover_entry(found, 2, kRmid, TMNOFLAGS), XAER_INVAL) << "no scan open";
    EXPECT_EQ(swch->xa_recover_entry(found, -1, kRmid, TMSTARTRSCAN), XAER_INVAL);
    EXPECT_EQ(swch->xa_recover_entry(nullptr, 2, kRmid, TMSTARTRSCAN), XAER_INVAL);
    EXPECT_EQ(swch->xa_recover_entry(found, 2, kRmid, TMSTARTRSCAN | TMJOIN), XAER_INVAL);
    EXPECT_EQ(swch->xa_recover_entry(nullptr, 0, kRmid, TMSTARTRSCAN | TMENDRSCAN), 0);

    EXPECT_EQ(commit(a), XA_OK);
    EXPECT_EQ(rollback(b), XA_OK);
    listed = recoverAll();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(sameXid(listed[0], c));
    EXPECT_EQ(commit(c), XA_OK);
    EXPECT_TRUE(recoverAll().empty());
    EXPECT_EQ(rollback(active), XA_OK);
}

TEST_F(XaResourceManager, HeuristicOutcomesAreReportedUntilForgotten)
{
    XID com = branchXid(14);
    XID rb = branchXid(15);
    XID idle = branchXid(16);
    prepared(com);
    prepared(rb);
    ASSERT_EQ(start(idle), XA_OK);
    ASSERT_EQ(end(idle), XA_OK);
    EXPECT_EQ(ztmXAHeuristic(&idle, XA_HEURCOM), -1) << "only a prepared branch";
    EXPECT_EQ(ztmXAHeuristic(&com, XA_OK), -1);
    ASSERT_EQ(ztmXAHeuristic(&com, XA_HEURCOM), 0);
    ASSERT_EQ(ztmXAHeuristic(&rb, XA_HEURRB), 0);
    EXPECT_EQ(recoverAll().size(), 2u) << "heuristically completed branches are listed";
    EXPECT_EQ(commit(com), XA_HEURCOM);
    EXPECT_EQ(rollback(com), XA_HEURCOM);
    EXPECT_EQ(commit(rb), XA_HEURRB);
    EXPECT_EQ(forget(com), XA_OK);
    EXPECT_EQ(forget(rb), XA_OK);
    EXPECT_EQ(forget(rb), XAER_NOTA);
    EXPECT_TRUE(recoverAll().empty());
    EXPECT_EQ(rollback(idle), XA_OK);
}

TEST_F(XaResourceManager, TheAssociatedThreadCarriesTheBranchTransaction)
{
    XID x = branchXid(17);
    EXPECT_EQ(ztmeng::threadTransaction(), nullptr);
    ASSERT_EQ(start(x), XA_OK);
    auto work = ztmeng::threadTransaction();
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(work->state(), ztmeng::Transaction::State::Active);
    ASSERT_EQ(end(x, TMSUSPEND), XA_OK);
    EXPECT_EQ(ztmeng::threadTransaction(), nullptr);
    ASSERT_EQ(start(x, TMRESUME), XA_OK);
    EXPECT_EQ(ztmeng::threadTransaction(), work);
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(ztmeng::threadTransaction(), nullptr);
    ASSERT_EQ(prepare(x), XA_OK);
    EXPECT_EQ(work->state(), ztmeng::Transaction::State::Prepared);
    ASSERT_EQ(commit(x), XA_OK);
    EXPECT_EQ(work->state(), ztmeng::Transaction::State::Committed);

    XID y = branchXid(18);
    ASSERT_EQ(start(y), XA_OK);
    auto other = ztmeng::threadTransaction();
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, work) << "each branch has its own";
    ASSERT_EQ(end(y), XA_OK);
    ASSERT_EQ(rollback(y), XA_OK);
    EXPECT_EQ(other->state(), ztmeng::Transaction::State::RolledBack);

    XID z = branchXid(19);
    prepared(z);
    ASSERT_EQ(ztmXAHeuristic(&z, XA_HEURRB), 0);
    ztmctl::reset();
    EXPECT_EQ(ztmXABranchCount(), 0) << "the engine's reset forgets the branches";
}

TEST_F(XaResourceManager, WorkFinishedBehindTheBranchsBackIsAResourceManagerError)
{
    XID x = branchXid(22);
    ASSERT_EQ(start(x), XA_OK);
    auto work = ztmeng::threadTransaction();
    ASSERT_EQ(end(x), XA_OK);
    ASSERT_TRUE(work->rollback());
    EXPECT_EQ(prepare(x), XAER_RMERR);
    EXPECT_EQ(commit(x, TMONEPHASE), XAER_RMERR);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_IDLE) << "kept for the transaction manager";
    EXPECT_EQ(rollback(x), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_NONE);
}

TEST_F(XaResourceManager, ThreadsJoinOneBranchAndEachEndsItsOwnAssociation)
{
    XID x = branchXid(20);
    XID y = branchXid(21);
    ASSERT_EQ(start(x), XA_OK);
    auto mine = ztmeng::threadTransaction();
    int joined = 0;
    int endedByOther = 0;
    int otherBranch = 0;
    int otherEnd = 0;
    bool sameWork = false;
    std::thread other([&] {
        endedByOther = swch->xa_end_entry(&x, kRmid, TMSUCCESS);
        joined = swch->xa_start_entry(&x, kRmid, TMJOIN);
        sameWork = ztmeng::threadTransaction() == mine;
        // Still associated with x: no second branch on this thread.
        otherBranch = swch->xa_start_entry(&y, kRmid, TMNOFLAGS);
        otherEnd = swch->xa_end_entry(&x, kRmid, TMSUCCESS);
    });
    other.join();
    EXPECT_EQ(endedByOther, XAER_PROTO) << "the other thread was not associated";
    EXPECT_EQ(joined, XA_OK);
    EXPECT_TRUE(sameWork);
    EXPECT_EQ(otherBranch, XAER_PROTO);
    EXPECT_EQ(otherEnd, XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_ACTIVE) << "this thread is still associated";
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_IDLE);
    EXPECT_EQ(commit(x, TMONEPHASE), XA_OK);
}

TEST_F(XaResourceManager, ResourcesOfOneInstanceJoinOnAThreadAndOtherInstancesStandBeside)
{
    // Two resources of this instance on one thread: the second joins.
    XID x = branchXid(23);
    ASSERT_EQ(start(x), XA_OK);
    auto work = ztmeng::threadTransaction(kRmid);
    EXPECT_EQ(start(x, TMJOIN), XA_OK);
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_ACTIVE) << "the other association still holds";
    EXPECT_EQ(ztmeng::threadTransaction(kRmid), work);
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_IDLE);
    EXPECT_EQ(end(x), XAER_PROTO);

    // Another instance: a branch of its own beside one of this instance.
    constexpr int kOther = kRmid + 1;
    ASSERT_EQ(swch->xa_open_entry(name_, kOther, TMNOFLAGS), XA_OK);
    char otherName[] = "QM2";
    EXPECT_EQ(swch->xa_open_entry(otherName, kOther, TMNOFLAGS), XAER_INVAL) << "open with another string";
    XID y = branchXid(24);
    XID z = branchXid(24, 2);
    ASSERT_EQ(start(y), XA_OK);
    EXPECT_EQ(swch->xa_start_entry(&y, kOther, TMJOIN), XAER_NOTA) << "not a branch of that instance";
    ASSERT_EQ(swch->xa_start_entry(&z, kOther, TMNOFLAGS), XA_OK);
    EXPECT_NE(ztmeng::threadTransaction(kOther), nullptr);
    EXPECT_NE(ztmeng::threadTransaction(kOther), ztmeng::threadTransaction(kRmid));
    EXPECT_EQ(start(x, TMJOIN), XAER_PROTO) << "one branch per instance on a thread";
    EXPECT_EQ(swch->xa_end_entry(&z, kRmid, TMSUCCESS), XAER_NOTA);
    EXPECT_EQ(swch->xa_close_entry(name_, kOther, TMNOFLAGS), XAER_PROTO);
    ASSERT_EQ(end(y), XA_OK);
    EXPECT_NE(ztmeng::threadTransaction(kOther), nullptr) << "ending one leaves the other";
    ASSERT_EQ(swch->xa_end_entry(&z, kOther, TMSUCCESS), XA_OK);
    EXPECT_EQ(ztmeng::threadTransaction(), nullptr);
    for (XID* b : {&x, &y}) {
        EXPECT_EQ(rollback(*b), XA_OK);
    }
    EXPECT_EQ(swch->xa_commit_entry(&z, kOther, TMONEPHASE), XA_OK);
}

}  // namespace

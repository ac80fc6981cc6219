// Queue work done on a connection while the thread is associated with an XA
// branch commits or rolls back with the branch, driven through the switch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QmgrTest.h"
#include "XidRecords.h"

namespace {

class XaBranchWork : public QmgrTest {
protected:
    void SetUp() override
    {
        QmgrTest::SetUp();
        ASSERT_EQ(swch->xa_open_entry(name_, kRmid, TMNOFLAGS), XA_OK);
        hconn_ = connect();
        out_ = openQueue(hconn_, "XA.Q", ZTOO_OUTPUT);
        in_ = openQueue(hconn_, "XA.Q", ZTOO_INPUT_SHARED);
    }

    int start(XID& x, long flags = TMNOFLAGS) { return swch->xa_start_entry(&x, kRmid, flags); }
    int end(XID& x, long flags = TMSUCCESS) { return swch->xa_end_entry(&x, kRmid, flags); }
    size_t visible() { return ztmctl::visibleDepth("XA.Q"); }

    static constexpr int kRmid = 2;
    char name_[5] = "ZTQM";
    ZTLONG hconn_ = 0;
    ZTLONG out_ = 0;
    ZTLONG in_ = 0;
};

TEST_F(XaBranchWork, PutsInABranchAppearWhenItCommits)
{
    XID x = branchXid(1);
    ASSERT_EQ(start(x), XA_OK);
    putText(hconn_, out_, "first", ZTPMO_SYNCPOINT);
    putText(hconn_, out_, "second");
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(visible(), 0u) << "nothing is seen before the commit";
    EXPECT_EQ(ztmctl::totalDepth("XA.Q"), 2u);
    ASSERT_EQ(swch->xa_prepare_entry(&x, kRmid, TMNOFLAGS), XA_OK);
    EXPECT_EQ(visible(), 0u) << "nor while prepared";
    ASSERT_EQ(swch->xa_commit_entry(&x, kRmid, TMNOFLAGS), XA_OK);
    EXPECT_EQ(visible(), 2u);
    EXPECT_EQ(getText(hconn_, in_).text, "first");
    EXPECT_EQ(getText(hconn_, in_).text, "second");
}

TEST_F(XaBranchWork, PutsAndGetsInABranchAreUndoneByItsRollback)
{
    putText(hconn_, out_, "kept", ZTPMO_NO_SYNCPOINT);
    XID x = branchXid(2);
    ASSERT_EQ(start(x), XA_OK);
    Got got = getText(hconn_, in_, ZTGMO_SYNCPOINT);
    EXPECT_EQ(got.text, "kept");
    putText(hconn_, out_, "dropped", ZTPMO_SYNCPOINT);
    ASSERT_EQ(end(x), XA_OK);
    EXPECT_EQ(visible(), 0u);
    ASSERT_EQ(swch->xa_rollback_entry(&x, kRmid, TMNOFLAGS), XA_OK);
    EXPECT_EQ(visible(), 1u) << "the got message is back, the put one gone";
    got = getText(hconn_, in_);
    EXPECT_EQ(got.text, "kept");
    EXPECT_EQ(got.md.backoutCount, 1);
    EXPECT_EQ(ztmctl::totalDepth("XA.Q"), 0u);
}

TEST_F(XaBranchWork, AFailedBranchLosesItsWorkAtPrepare)
{
    XID x = branchXid(3);
    ASSERT_EQ(start(x), XA_OK);
    putText(hconn_, out_, "lost", ZTPMO_SYNCPOINT);
    ASSERT_EQ(end(x, TMFAIL), XA_OK);
    EXPECT_EQ(swch->xa_prepare_entry(&x, kRmid, TMNOFLAGS), XA_RBROLLBACK);
    EXPECT_EQ(ztmctl::totalDepth("XA.Q"), 0u);
}

TEST_F(XaBranchWork, OnlyWorkDoneWhileAssociatedJoinsTheBranch)
{
    XID x = branchXid(4);
    ASSERT_EQ(start(x), XA_OK);
    putText(hconn_, out_, "in branch", ZTPMO_SYNCPOINT);
    Result r;
    ZTCMIT(hconn_, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_UOW_UNDER_XA) << "the branch is ended by the transaction manager only";
    ASSERT_EQ(end(x, TMSUSPEND), XA_OK);
    // Suspended: the connection's own unit of work again.
    putText(hconn_, out_, "own unit of work", ZTPMO_SYNCPOINT);
    ZTCMIT(hconn_, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(visible(), 1u);
    ASSERT_EQ(start(x, TMRESUME), XA_OK);
    putText(hconn_, out_, "in branch too", ZTPMO_SYNCPOINT);
    ASSERT_EQ(end(x), XA_OK);
    ASSERT_EQ(swch->xa_commit_entry(&x, kRmid, TMONEPHASE), XA_OK);
    EXPECT_EQ(visible(), 3u);
    // In the order they were put.
    EXPECT_EQ(getText(hconn_, in_).text, "in branch");
    EXPECT_EQ(getText(hconn_, in_).text, "own unit of work");
    EXPECT_EQ(getText(hconn_, in_).text, "in branch too");
}

TEST_F(XaBranchWork, AHeuristicDecisionCarriesOutTheWork)
{
    XID com = branchXid(5);
    XID rb = branchXid(6);
    for (XID* x : {&com, &rb}) {
        ASSERT_EQ(start(*x), XA_OK);
        putText(hconn_, out_, x == &com ? "decided" : "undone", ZTPMO_SYNCPOINT);
        ASSERT_EQ(end(*x), XA_OK);
        ASSERT_EQ(swch->xa_prepare_entry(x, kRmid, TMNOFLAGS), XA_OK);
    }
    ASSERT_EQ(ztmXAHeuristic(&com, XA_HEURCOM), 0);
    ASSERT_EQ(ztmXAHeuristic(&rb, XA_HEURRB), 0);
    EXPECT_EQ(visible(), 1u);
    EXPECT_EQ(ztmctl::totalDepth("XA.Q"), 1u);
    EXPECT_EQ(swch->xa_commit_entry(&rb, kRmid, TMNOFLAGS), XA_HEURRB);
    EXPECT_EQ(getText(hconn_, in_).text, "decided");
}

TEST_F(XaBranchWork, EachInstanceOnAThreadCarriesItsOwnConnectionsWork)
{
    // A producer and a consumer of one transaction, each a connection with
    // its own instance of the resource manager, enlisted on one thread.
    constexpr int kConsumerRmid = kRmid + 1;
    ASSERT_EQ(swch->xa_open_entry(name_, kConsumerRmid, TMNOFLAGS), XA_OK);
    const ZTLONG consumer = connect();
    const ZTLONG in = openQueue(consumer, "XA.Q", ZTOO_INPUT_SHARED);
    putText(hconn_, out_, "request", ZTPMO_NO_SYNCPOINT);
    XID produced = branchXid(7, 1);
    XID consumed = branchXid(7, 2);
    ASSERT_EQ(start(produced), XA_OK);
    ASSERT_EQ(swch->xa_start_entry(&consumed, kConsumerRmid, TMNOFLAGS), XA_OK)
        << "another instance's branch beside the first";
    putText(hconn_, out_, "reply", ZTPMO_SYNCPOINT);
    EXPECT_EQ(getText(consumer, in, ZTGMO_SYNCPOINT).text, "request");
    ASSERT_EQ(end(produced), XA_OK);
    ASSERT_EQ(swch->xa_end_entry(&consumed, kConsumerRmid, TMSUCCESS), XA_OK);
    // Finishing the branches apart shows which work each one holds.
    ASSERT_EQ(swch->xa_rollback_entry(&consumed, kConsumerRmid, TMNOFLAGS), XA_OK);
    EXPECT_EQ(visible(), 1u) << "the request is back, the reply still in the other branch";
    ASSERT_EQ(swch->xa_commit_entry(&produced, kRmid, TMONEPHASE), XA_OK);
    EXPECT_EQ(getText(hconn_, in_).text, "request");
    EXPECT_EQ(getText(hconn_, in_).text, "reply");
}

TEST_F(XaBranchWork, AConnectionKeepsItsBranchWhateverHappensBetween) {
    // Two sessions A and B, each with its own instance, on one thread: A's
    // work goes to X1, B's to X2. Between their first and second puts the
    // branches are left associated, or suspended and resumed in either
    // order; B then works before A. X1 must hold exactly A's puts.
    constexpr int kOther = kRmid + 1;
    ASSERT_EQ(swch->xa_open_entry(name_, kOther, TMNOFLAGS), XA_OK);
    const ZTLONG b = connect();
    const ZTLONG bOut = openQueue(b, "XA.Q", ZTOO_OUTPUT);
    const std::vector<int> orders[] = {{}, {kRmid, kOther}, {kOther, kRmid}};
    int n = 10;
    for (const std::vector<int>& resumed : orders) {
        SCOPED_TRACE("resumed in the order of " + std::to_string(resumed.size()) +
                     " rmids, first " + std::to_string(resumed.empty() ? 0 : resumed[0]));
        XID x1 = branchXid(++n, 1);
        XID x2 = branchXid(n, 2);
        auto xidOf = [&](int rmid) { return rmid == kRmid ? &x1 : &x2; };
        ASSERT_EQ(start(x1), XA_OK);
        ASSERT_EQ(swch->xa_start_entry(&x2, kOther, TMNOFLAGS), XA_OK);
        putText(hconn_, out_, "A1", ZTPMO_SYNCPOINT);
        putText(b, bOut, "B1", ZTPMO_SYNCPOINT);
        for (int rmid : resumed) ASSERT_EQ(swch->xa_end_entry(xidOf(rmid), rmid, TMSUSPEND), XA_OK);
        for (int rmid : resumed)
            ASSERT_EQ(swch->xa_start_entry(xidOf(rmid), rmid, TMRESUME), XA_OK);
        putText(b, bOut, "B2", ZTPMO_SYNCPOINT);
        putText(hconn_, out_, "A2", ZTPMO_SYNCPOINT);
        ASSERT_EQ(end(x1), XA_OK);
        ASSERT_EQ(swch->xa_end_entry(&x2, kOther, TMSUCCESS), XA_OK);
        ASSERT_EQ(swch->xa_commit_entry(&x1, kRmid, TMONEPHASE), XA_OK);
        ASSERT_EQ(swch->xa_rollback_entry(&x2, kOther, TMNOFLAGS), XA_OK);
        std::string seen;
        while (visible() > 0) seen += getText(hconn_, in_).text + " ";
        EXPECT_EQ(seen, "A1 A2 ");
    }
}

}  // namespace

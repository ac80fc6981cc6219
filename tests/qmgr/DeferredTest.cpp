// Deferred messages: lpiSPIPut with ZTLPOP_DEFERRED and lpiSPIActivateMessage.
#include "QmgrTest.h"
#include "engine.h"

namespace {

class DeferredTest : public QmgrTest {
protected:
    void SetUp() override {
        QmgrTest::SetUp();
        hconn = connect();
        out = openQueue(hconn, "DEF.Q", ZTOO_OUTPUT);
        in = openQueue(hconn, "DEF.Q", ZTOO_INPUT_SHARED);
    }
    void TearDown() override {
        ztmeng::setThreadTransaction(nullptr);
        QmgrTest::TearDown();
    }
    // A deferred put; returns the key (the message identifier).
    std::string deferredPut(const std::string& text, ZTLONG putOpts = 0, ZTLONG lpopOpts = 4) {
        ZTMD md = messageDescriptor();
        ZTPMO pmo = putOptions(putOpts);
        ZTLPOP lpop;
        std::memcpy(lpop.eyeCatcher, ZTLPOP_EYE_CATCHER, 4);
        lpop.version = 1;
        lpop.options = lpopOpts;
        lpiSPIPut(hconn, out, &md, &pmo, static_cast<ZTLONG>(text.size()),
                  const_cast<char*>(text.data()), &lpop, &r.cc, &r.rc);
        EXPECT_EQ(r.cc, ZTCC_OK) << r.rc;
        return std::string(reinterpret_cast<char*>(md.messageId), 24);
    }
    Result act(const std::string& key, ZTLONG action, ZTLONG h = 0) {
        ZTLACT a;
        std::memset(&a, 0, sizeof a);
        std::memcpy(a.eyeCatcher, ZTLACT_EYE_CATCHER, 4);
        a.version = 1;
        a.action = action;
        std::memcpy(a.messageKey, key.data(), std::min<size_t>(key.size(), 24));
        Result res;
        lpiSPIActivateMessage(h ? h : hconn, &a, &res.cc, &res.rc);
        return res;
    }
    ZTLONG hconn = 0, out = 0, in = 0;
    Result r;
};

TEST_F(DeferredTest, ActivatedMessageIsGotOnce) {
    const std::string key = deferredPut("later");
    EXPECT_EQ(ztmctl::visibleDepth("DEF.Q"), 0u);
    EXPECT_EQ(ztmctl::totalDepth("DEF.Q"), 1u);
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);
    Result res = act(key, ZTLACT_ACTIVATE);
    EXPECT_EQ(res.cc, ZTCC_OK);
    Got g = getText(hconn, in);
    EXPECT_EQ(g.text, "later");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(g.md.messageId), 24), key);
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);
    // The key is spent.
    res = act(key, ZTLACT_ACTIVATE);
    EXPECT_EQ(res.rc, ZTRC_UNKNOWN_MESSAGE_KEY);
    auto rec = ztmctl::callsOf("lpiSPIActivateMessage").at(0);
    EXPECT_EQ(rec.recordAs<ZTLACT>("ZTLACT").action, ZTLACT_ACTIVATE);
    EXPECT_EQ(ztmctl::callsOf("lpiSPIPut").at(0).recordAs<ZTLPOP>("ZTLPOP").options, 4);
}

TEST_F(DeferredTest, CancelledMessageIsNeverSeen) {
    const std::string keep = deferredPut("keep");
    const std::string drop = deferredPut("drop");
    EXPECT_EQ(act(drop, ZTLACT_CANCEL).cc, ZTCC_OK);
    EXPECT_EQ(ztmctl::totalDepth("DEF.Q"), 1u);
    EXPECT_EQ(act(drop, ZTLACT_ACTIVATE).rc, ZTRC_UNKNOWN_MESSAGE_KEY);
    EXPECT_EQ(act(keep, ZTLACT_ACTIVATE).cc, ZTCC_OK);
    EXPECT_EQ(getText(hconn, in).text, "keep");
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);
}

TEST_F(DeferredTest, OrdinarySpiPutIsVisibleAtOnce) {
    deferredPut("now", 0, 0);
    EXPECT_EQ(getText(hconn, in).text, "now");
}

TEST_F(DeferredTest, BadRequestsAreRefused) {
    const std::string key = deferredPut("x");
    EXPECT_EQ(act(key, 3).rc, ZTRC_ACTION_ERROR);
    EXPECT_EQ(act(key, 0).rc, ZTRC_ACTION_ERROR);
    EXPECT_EQ(act(std::string(24, '\x01'), ZTLACT_ACTIVATE).rc, ZTRC_UNKNOWN_MESSAGE_KEY);
    EXPECT_EQ(act(key, ZTLACT_ACTIVATE, hconn + 100).rc, ZTRC_HCONN_ERROR);
    Result res;
    lpiSPIActivateMessage(hconn, nullptr, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_RECORD_ERROR);
    ZTMD md = messageDescriptor();
    ZTPMO pmo = putOptions();
    lpiSPIPut(hconn, out, &md, &pmo, 1, const_cast<char*>("y"), nullptr, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_RECORD_ERROR);
    lpiSPIPut(hconn + 100, out, &md, &pmo, 1, const_cast<char*>("y"), nullptr, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_HCONN_ERROR);
    // A key given by the caller that is already deferred.
    ZTMD dup = messageDescriptor();
    std::memcpy(dup.messageId, key.data(), 24);
    ZTLPOP lpop;
    std::memcpy(lpop.eyeCatcher, ZTLPOP_EYE_CATCHER, 4);
    lpop.version = 1;
    lpop.options = ZTLPOP_DEFERRED;
    lpiSPIPut(hconn, out, &dup, &pmo, 1, const_cast<char*>("z"), &lpop, &res.cc, &res.rc);
    EXPECT_EQ(res.rc, ZTRC_DUPLICATE_MESSAGE_KEY);
    // Still there, still activatable.
    EXPECT_EQ(act(key, ZTLACT_ACTIVATE).cc, ZTCC_OK);
    EXPECT_EQ(getText(hconn, in).text, "x");
}

TEST_F(DeferredTest, KeysBelongToTheQueueManager) {
    const std::string key = deferredPut("q");
    ZTLONG other = connect();
    EXPECT_EQ(act(key, ZTLACT_ACTIVATE, other).cc, ZTCC_OK);  // any connection to it
    const std::string key2 = deferredPut("r");
    ZTLONG elsewhere = connect("OTHERQM");
    EXPECT_EQ(act(key2, ZTLACT_ACTIVATE, elsewhere).rc, ZTRC_UNKNOWN_MESSAGE_KEY);
}

TEST_F(DeferredTest, SyncpointRulesHold) {
    // A deferred put under syncpoint: its key exists for others only after commit.
    ZTLONG other = connect();
    const std::string key = deferredPut("sp", ZTPMO_SYNCPOINT);
    EXPECT_EQ(act(key, ZTLACT_ACTIVATE, other).rc, ZTRC_UNKNOWN_MESSAGE_KEY);
    ZTCMIT(hconn, &r.cc, &r.rc);
    // Activation inside a begun unit of work happens on commit.
    ZTBO bo = beginOptions();
    ZTBEGIN(other, &bo, &r.cc, &r.rc);
    EXPECT_EQ(act(key, ZTLACT_ACTIVATE, other).cc, ZTCC_OK);
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);
    EXPECT_EQ(act(key, ZTLACT_CANCEL).rc, ZTRC_UNKNOWN_MESSAGE_KEY);  // held by other's
    ZTBACK(other, &r.cc, &r.rc);
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);  // still deferred
    ZTBEGIN(other, &bo, &r.cc, &r.rc);
    EXPECT_EQ(act(key, ZTLACT_ACTIVATE, other).cc, ZTCC_OK);
    ZTCMIT(other, &r.cc, &r.rc);
    EXPECT_EQ(getText(hconn, in).text, "sp");

    // Put and activate in one unit of work; backed out, nothing remains.
    ZTBEGIN(hconn, &bo, &r.cc, &r.rc);
    const std::string k2 = deferredPut("gone");
    EXPECT_EQ(act(k2, ZTLACT_ACTIVATE).cc, ZTCC_OK);
    ZTBACK(hconn, &r.cc, &r.rc);
    EXPECT_EQ(ztmctl::totalDepth("DEF.Q"), 0u);
    EXPECT_EQ(act(k2, ZTLACT_ACTIVATE).rc, ZTRC_UNKNOWN_MESSAGE_KEY);
    // The same committed: visible.
    ZTBEGIN(hconn, &bo, &r.cc, &r.rc);
    const std::string k3 = deferredPut("both");
    EXPECT_EQ(act(k3, ZTLACT_ACTIVATE).cc, ZTCC_OK);
    ZTCMIT(hconn, &r.cc, &r.rc);
    EXPECT_EQ(getText(hconn, in).text, "both");
}

TEST_F(DeferredTest, CancelInAnXaBranchHappensOnCommit) {
    const std::string key = deferredPut("xa");
    auto t = ztmeng::Transaction::create();
    ztmeng::setThreadTransaction(t);
    EXPECT_EQ(act(key, ZTLACT_CANCEL).cc, ZTCC_OK);
    ztmeng::setThreadTransaction(nullptr);
    EXPECT_EQ(ztmctl::totalDepth("DEF.Q"), 1u);
    EXPECT_TRUE(t->commit());
    EXPECT_EQ(ztmctl::totalDepth("DEF.Q"), 0u);
    EXPECT_EQ(act(key, ZTLACT_ACTIVATE).rc, ZTRC_UNKNOWN_MESSAGE_KEY);
}

}  // namespace

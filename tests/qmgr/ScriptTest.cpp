// Scripted answers for the message verbs and for functions returning an XA
// code, as the bridge and XA tests use them.
#include "QmgrTest.h"
#include "engine.h"

namespace {

using ScriptTest = QmgrTest;

TEST_F(ScriptTest, ScriptedGetFillsTheCallersRecordsAndBuffer) {
    ztmctl::Answer a;
    a.compCode = ZTCC_WARNING;
    a.reason = ZTRC_TRUNCATED_MSG_ACCEPTED;
    a.dataLength = 250;
    a.hook = [](void** args) {
        std::memcpy(static_cast<ZTMD*>(args[2])->putDate, "20240131", 8);
        std::memcpy(static_cast<ZTGMO*>(args[3])->resolvedQueueName, "SCRIPTED", 8);
        const ZTLONG room = *static_cast<ZTLONG*>(args[4]);
        std::memset(args[5], 'z', static_cast<size_t>(room));
    };
    ztmctl::scriptNext("ZTGET", a);
    ZTMD md = messageDescriptor();
    ZTGMO gmo = getOptions();
    char buf[100];
    ZTLONG len = 0;
    Result r;
    // No connection at all: the scripted answer stands in for the work.
    ZTGET(4711, 12, &md, &gmo, 100, buf, &len, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_WARNING);
    EXPECT_EQ(r.rc, ZTRC_TRUNCATED_MSG_ACCEPTED);
    EXPECT_EQ(len, 250);
    EXPECT_EQ(std::string(md.putDate, 8), "20240131");
    EXPECT_EQ(std::string(gmo.resolvedQueueName), "SCRIPTED");
    EXPECT_EQ(buf[99], 'z');
    auto gets = ztmctl::callsOf("ZTGET");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].recordAs<ZTGMO>("ZTGMO").resolvedQueueName[0], '\0');  // as passed in
    EXPECT_EQ(gets[0].arg("bufferLength"), 100);
    EXPECT_EQ(gets[0].pointer("buffer"), buf);
    EXPECT_TRUE(gets[0].scripted);
    EXPECT_THROW(gets[0].recordAs<ZTMD>("ZTGMO"), std::length_error);
}

TEST_F(ScriptTest, ScriptedPutWritesResponseRecordsAfterTheRealWork) {
    ZTLONG h = connect();
    ZTLONG out = openQueue(h, "S.Q", ZTOO_OUTPUT);
    ztmctl::Answer a;
    a.runReal = true;
    a.compCode = ZTCC_FAILED;
    a.reason = 2085;
    ztmctl::scriptNext("ZTPUT", a);
    Result r;
    putText(h, out, "real", 0, &r);
    EXPECT_EQ(r.cc, ZTCC_FAILED);
    EXPECT_EQ(r.rc, 2085);
    EXPECT_EQ(ztmctl::visibleDepth("S.Q"), 1u);  // the put itself happened
    EXPECT_TRUE(ztmctl::callsOf("ZTPUT").at(0).scripted);
}

TEST_F(ScriptTest, ScriptsQueuePerFunctionInOrder) {
    ztmctl::Answer first, second;
    first.reason = 1;
    second.reason = 2;
    ztmctl::scriptNext("ZTCMIT", first);
    ztmctl::scriptNext("ZTCMIT", second);
    ztmctl::scriptNext("ZTBACK", second);
    Result r;
    ZTCMIT(1, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, 1);
    ZTBACK(1, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, 2);
    ZTCMIT(1, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, 2);
    ZTCMIT(1, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);  // scripts used up: the real answer
    ztmctl::scriptNext("ZTCMIT", first);
    ztmctl::clearScripts();
    EXPECT_EQ(ztmctl::pendingScripts("ZTCMIT"), 0u);
}

TEST_F(ScriptTest, FunctionsReturningAnXaCodeAreRecordedAndScripted) {
    auto run = [](int real) {
        ztmeng::Call c("zstXATest");
        int rmid = 3;
        c.arg("rmid", rmid).pointer("xid", nullptr);
        void* args[] = {nullptr, &rmid};
        return c.runXa(args, [real] { return real; });
    };
    EXPECT_EQ(run(XA_OK), XA_OK);
    ztmctl::Answer a;
    a.returnValue = XAER_RMFAIL;
    ztmctl::scriptNext("zstXATest", a);
    EXPECT_EQ(run(XA_OK), XAER_RMFAIL);
    ztmctl::Answer byCode;
    byCode.compCode = XA_RDONLY;  // without returnValue the completion code is returned
    ztmctl::scriptNext("zstXATest", byCode);
    EXPECT_EQ(run(XA_OK), XA_RDONLY);
    auto calls = ztmctl::callsOf("zstXATest");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].returnValue, XA_OK);
    EXPECT_EQ(calls[1].returnValue, XAER_RMFAIL);
    EXPECT_EQ(calls[1].arg("rmid"), 3);
    EXPECT_EQ(calls[1].pointer("xid"), nullptr);
    ztmctl::setInstantMode(true);
    EXPECT_EQ(run(XAER_PROTO), XA_OK);
    EXPECT_EQ(ztmctl::callCount(), 3u);
}

TEST_F(ScriptTest, InstantModeCoversEveryVerb) {
    ztmctl::setInstantMode(true);
    Result r;
    ZTLONG hobj = 0;
    ZTOPEN(99, nullptr, 0, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(hobj, 1);
    ZTLONG len = 77;
    ZTGET(99, 99, nullptr, nullptr, 0, nullptr, &len, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(len, 0);
    ZTPUT(99, 99, nullptr, nullptr, -5, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_NONE);
    lpiSPIActivateMessage(99, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(ztmctl::callCount(), 0u);
}

}  // namespace

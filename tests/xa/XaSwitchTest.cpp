// The exported XA switch of libxabridge: its record, and what each entry
// hands to the queue manager's XA function.
#include <gtest/gtest.h>

#include <cstring>

#include "XidRecords.h"

namespace {

class XaSwitch : public ::testing::Test {
protected:
    void SetUp() override { ztmctl::reset(); }
    void TearDown() override
    {
        zsxxAgentModel = 8;
        ztmctl::reset();
    }
};

TEST_F(XaSwitch, RecordNamesTheResourceManagerAndItsEntriesInXaOrder)
{
    char name[RMNAMESZ] = "Vantorix_XA_RMI";
    EXPECT_EQ(std::memcmp(ZTRMIXASwitch.name, name, sizeof name), 0);
    for (size_t i = 15; i < RMNAMESZ; ++i) {
        EXPECT_EQ(ZTRMIXASwitch.name[i], '\0') << "name byte " << i;
    }
    EXPECT_EQ(ZTRMIXASwitch.flags, TMNOMIGRATE);
    EXPECT_EQ(ZTRMIXASwitch.flags, 2);
    EXPECT_EQ(ZTRMIXASwitch.version, 0);
    EXPECT_EQ(ZTRMIXASwitch.xa_open_entry, &ZTRMIOpen);
    EXPECT_EQ(ZTRMIXASwitch.xa_close_entry, &ZTRMIClose);
    EXPECT_EQ(ZTRMIXASwitch.xa_start_entry, &ZTRMIStart);
    EXPECT_EQ(ZTRMIXASwitch.xa_end_entry, &ZTRMIEnd);
    EXPECT_EQ(ZTRMIXASwitch.xa_rollback_entry, &ZTRMIRollback);
    EXPECT_EQ(ZTRMIXASwitch.xa_prepare_entry, &ZTRMIPrepare);
    EXPECT_EQ(ZTRMIXASwitch.xa_commit_entry, &ZTRMICommit);
    EXPECT_EQ(ZTRMIXASwitch.xa_recover_entry, &ZTRMIRecover);
    EXPECT_EQ(ZTRMIXASwitch.xa_forget_entry, &ZTRMIForget);
    EXPECT_EQ(ZTRMIXASwitch.xa_complete_entry, &ZTRMIComplete);
    EXPECT_EQ(swch, &ZTRMIXASwitch);
    EXPECT_EQ(zsxxAgentModel, 8);
    // The entries follow one another at the width of an address.
    const char* base = reinterpret_cast<const char*>(&ZTRMIXASwitch);
    EXPECT_EQ(reinterpret_cast<const char*>(&ZTRMIXASwitch.xa_open_entry) - base,
              static_cast<long>(32 + 2 * sizeof(void*)));
    EXPECT_EQ(reinterpret_cast<const char*>(&ZTRMIXASwitch.xa_complete_entry) - base,
              static_cast<long>(32 + 11 * sizeof(void*)));
}

TEST_F(XaSwitch, OpenAddsTheAgentModelThenZeroAndOne)
{
    char openString[] = "QM1";
    EXPECT_EQ(ZTRMIOpen(openString, 5, TMNOFLAGS), XA_OK);
    auto call = onlyCall("zstXAOpen");
    EXPECT_EQ(call.pointer("openString"), openString);
    EXPECT_EQ(recordedString(call, "openString"), std::string("QM1", 4));
    EXPECT_EQ(call.arg("rmid"), 5);
    EXPECT_EQ(call.arg("flags"), 0);
    EXPECT_EQ(call.arg("agentModel"), 8);
    EXPECT_EQ(call.arg("arg5"), 0);
    EXPECT_EQ(call.arg("arg6"), 1);
    EXPECT_EQ(call.returnValue, XA_OK);

    // The current value is read at every call.
    zsxxAgentModel = 42;
    EXPECT_EQ(swch->xa_open_entry(openString, 6, TMNOFLAGS), XA_OK);
    auto opens = ztmctl::callsOf("zstXAOpen");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[1].arg("agentModel"), 42);
    EXPECT_EQ(opens[1].arg("rmid"), 6);
    EXPECT_EQ(opens[1].arg("arg5"), 0);
    EXPECT_EQ(opens[1].arg("arg6"), 1);
}

TEST_F(XaSwitch, StartAddsOneAndTheOtherEntriesPassTheirArgumentsUnchanged)
{
    char name[] = "QM1";
    ASSERT_EQ(ZTRMIOpen(name, 3, TMNOFLAGS), XA_OK);
    XID xid = branchXid(1);
    // Scripted answers keep the resource manager out of it: only the
    // arguments matter here.
    for (const char* f : {"zstXAStart", "zstXAEnd", "zstXARollback", "zstXAPrepare", "zstXACommit",
                          "zstXAForget", "zstXARecover", "zstXAComplete", "zstXAClose"}) {
        ztmctl::Answer a;
        a.returnValue = XA_OK;
        ztmctl::scriptNext(f, a);
    }
    EXPECT_EQ(ZTRMIStart(&xid, 3, TMJOIN), XA_OK);
    EXPECT_EQ(ZTRMIEnd(&xid, 3, TMSUSPEND), XA_OK);
    EXPECT_EQ(ZTRMIRollback(&xid, 3, TMNOFLAGS), XA_OK);
    EXPECT_EQ(ZTRMIPrepare(&xid, 3, TMNOFLAGS), XA_OK);
    EXPECT_EQ(ZTRMICommit(&xid, 3, TMONEPHASE), XA_OK);
    EXPECT_EQ(ZTRMIForget(&xid, 3, TMNOFLAGS), XA_OK);
    XID found[4];
    EXPECT_EQ(ZTRMIRecover(found, 4, 3, TMSTARTRSCAN | TMENDRSCAN), XA_OK);
    int handle = 11;
    int retval = 0;
    EXPECT_EQ(ZTRMIComplete(&handle, &retval, 3, TMNOFLAGS), XA_OK);
    EXPECT_EQ(ZTRMIClose(name, 3, TMNOFLAGS), XA_OK);

    auto start = onlyCall("zstXAStart");
    EXPECT_EQ(start.pointer("xid"), &xid);
    EXPECT_EQ(start.arg("rmid"), 3);
    EXPECT_EQ(start.arg("flags"), asFlags(TMJOIN));
    EXPECT_EQ(start.arg("arg4"), 1);
    EXPECT_TRUE(sameXid(start.recordAs<XID>("XID"), xid));

    const struct {
        const char* function;
        uint32_t flags;
    } xidCalls[] = {{"zstXAEnd", TMSUSPEND},
                    {"zstXARollback", TMNOFLAGS},
                    {"zstXAPrepare", TMNOFLAGS},
                    {"zstXACommit", TMONEPHASE},
                    {"zstXAForget", TMNOFLAGS}};
    for (const auto& c : xidCalls) {
        auto call = onlyCall(c.function);
        EXPECT_EQ(call.pointer("xid"), &xid) << c.function;
        EXPECT_EQ(call.arg("rmid"), 3) << c.function;
        EXPECT_EQ(call.arg("flags"), asFlags(c.flags)) << c.function;
        EXPECT_FALSE(call.hasArg("arg4")) << c.function;
        EXPECT_TRUE(sameXid(call.recordAs<XID>("XID"), xid)) << c.function;
    }
    auto recover = onlyCall("zstXARecover");
    EXPECT_EQ(recover.pointer("xids"), found);
    EXPECT_EQ(recover.arg("count"), 4);
    EXPECT_EQ(recover.arg("rmid"), 3);
    EXPECT_EQ(recover.arg("flags"), asFlags(TMSTARTRSCAN | TMENDRSCAN));
    auto complete = onlyCall("zstXAComplete");
    EXPECT_EQ(complete.pointer("handle"), &handle);
    EXPECT_EQ(complete.pointer("retval"), &retval);
    EXPECT_EQ(complete.arg("rmid"), 3);
    auto close = onlyCall("zstXAClose");
    EXPECT_EQ(close.pointer("closeString"), name);
    EXPECT_EQ(close.arg("rmid"), 3);
}

TEST_F(XaSwitch, EveryEntryReturnsTheQueueManagersCodeUnchanged)
{
    char name[] = "QM1";
    XID xid = branchXid(2);
    XID found[2];
    int handle = 0;
    int retval = 0;
    const int codes[] = {XAER_RMFAIL, XAER_OUTSIDE, XA_RBEND, XA_HEURMIX, XA_RDONLY, -12345};
    for (int code : codes) {
        for (const char* f :
             {"zstXAOpen", "zstXAClose", "zstXAStart", "zstXAEnd", "zstXARollback", "zstXAPrepare",
              "zstXACommit", "zstXARecover", "zstXAForget", "zstXAComplete"}) {
            ztmctl::Answer a;
            a.returnValue = code;
            ztmctl::scriptNext(f, a);
        }
        EXPECT_EQ(ZTRMIOpen(name, 1, TMNOFLAGS), code);
        EXPECT_EQ(ZTRMIClose(name, 1, TMNOFLAGS), code);
        EXPECT_EQ(ZTRMIStart(&xid, 1, TMNOFLAGS), code);
        EXPECT_EQ(ZTRMIEnd(&xid, 1, TMSUCCESS), code);
        EXPECT_EQ(ZTRMIRollback(&xid, 1, TMNOFLAGS), code);
        EXPECT_EQ(ZTRMIPrepare(&xid, 1, TMNOFLAGS), code);
        EXPECT_EQ(ZTRMICommit(&xid, 1, TMNOFLAGS), code);
        EXPECT_EQ(ZTRMIRecover(found, 2, 1, TMSTARTRSCAN), code);
        EXPECT_EQ(ZTRMIForget(&xid, 1, TMNOFLAGS), code);
        EXPECT_EQ(ZTRMIComplete(&handle, &retval, 1, TMNOFLAGS), code);
    }
    // Every call reached the queue manager once.
    EXPECT_EQ(ztmctl::callCount(), 10u * (sizeof codes / sizeof codes[0]));
}

}  // namespace

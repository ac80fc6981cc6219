// The XA functions of the queue manager. Each call goes through the engine's
// recorder (ztm_control.h) with the arguments it received, then is answered
// by a scripted answer if one waits, else by the resource manager.
//
// Recorded names: ints "rmid", "flags" for all but complete (which has them
// too); open "agentModel", "arg5", "arg6"; start "arg4"; recover "count".
// Pointers: "openString" / "closeString", "xid", "xids", "handle", "retval".
// Records: the string with its NUL ("openString" / "closeString") and the
// "XID" record of the calls that take one.
#include <cstdio>
#include <cstring>
#include <exception>

#include "ResourceManager.h"
#include "engine.h"
#include "ztm_xa_control.h"

namespace {

ztmzse::ResourceManager& rm()
{
    // The queue manager starts (restoring the branches in doubt of its state
    // directory) before the resource manager's lock is first taken.
    static const bool started = (ztmeng::stateDirectory(), true);
    (void)started;
    return ztmzse::resourceManager();
}

void recordString(ztmeng::Call& call, const char* name, const char* s)
{
    call.pointer(name, s);
    if (s != nullptr) {
        call.record(name, s, std::strlen(s) + 1);
    }
}

// A call that names one branch: the XID's address and a copy of the record.
void recordXid(ztmeng::Call& call, XID* xid, int rmid, long flags)
{
    call.pointer("xid", xid).record("XID", xid, xid != nullptr ? sizeof(XID) : 0);
    call.arg("rmid", rmid).arg("flags", flags);
}

// Nothing C++ leaves an entry point: a failure inside (a damaged store, no
// memory) is answered as the resource manager's error.
template <typename Body>
int guarded(const char* function, int failure, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", function, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unexpected failure\n", function);
    }
    return failure;
}

}  // namespace

extern "C" {

int zstXAOpen(char* openString, int rmid, long flags, int agentModel, int arg5, int arg6)
{
    return guarded("zstXAOpen", XAER_RMERR, [&] {
        ztmeng::Call call("zstXAOpen");
        recordString(call, "openString", openString);
        call.arg("rmid", rmid)
            .arg("flags", flags)
            .arg("agentModel", agentModel)
            .arg("arg5", arg5)
            .arg("arg6", arg6);
        void* args[] = {openString, &rmid, &flags, &agentModel, &arg5, &arg6};
        return call.runXa(args, [&] { return rm().open(openString, rmid, flags); });
    });
}

int zstXAClose(char* closeString, int rmid, long flags)
{
    return guarded("zstXAClose", XAER_RMERR, [&] {
        ztmeng::Call call("zstXAClose");
        recordString(call, "closeString", closeString);
        call.arg("rmid", rmid).arg("flags", flags);
        void* args[] = {closeString, &rmid, &flags};
        return call.runXa(args, [&] { return rm().close(closeString, rmid, flags); });
    });
}

int zstXAStart(XID* xid, int rmid, long flags, int arg4)
{
    return guarded("zstXAStart", XAER_RMERR, [&] {
        ztmeng::Call call("zstXAStart");
        recordXid(call, xid, rmid, flags);
        call.arg("arg4", arg4);
        void* args[] = {xid, &rmid, &flags, &arg4};
        return call.runXa(args, [&] { return rm().start(xid, rmid, flags); });
    });
}

int zstXAEnd(XID* xid, int rmid, long flags)
{
    return guarded("zstXAEnd", XAER_RMERR, [&] {
        ztmeng::Call call("zstXAEnd");
        recordXid(call, xid, rmid, flags);
        void* args[] = {xid, &rmid, &flags};
        return call.runXa(args, [&] { return rm().end(xid, rmid, flags); });
    });
}

int zstXARollback(XID* xid, int rmid, long flags)
{
    return guarded("zstXARollback", XAER_RMERR, [&] {
        ztmeng::Call call("zstXARollback");
        recordXid(call, xid, rmid, flags);
        void* args[] = {xid, &rmid, &flags};
        return call.runXa(args, [&] { return rm().rollback(xid, rmid, flags); });
    });
}

int zstXAPrepare(XID* xid, int rmid, long flags)
{
    return guarded("zstXAPrepare", XAER_RMERR, [&] {
        ztmeng::Call call("zstXAPrepare");
        recordXid(call, xid, rmid, flags);
        void* args[] = {xid, &rmid, &flags};
        return call.runXa(args, [&] { return rm().prepare(xid, rmid, flags); });
    });
}

int zstXACommit(XID* xid, int rmid, long flags)
{
    return guarded("zstXACommit", XAER_RMERR, [&] {
        ztmeng::Call call("zstXACommit");
        recordXid(call, xid, rmid, flags);
        void* args[] = {xid, &rmid, &flags};
        return call.runXa(args, [&] { return rm().commit(xid, rmid, flags); });
    });
}

int zstXARecover(XID* xids, long count, int rmid, long flags)
{
    return guarded("zstXARecover", XAER_RMERR, [&] {
        ztmeng::Call call("zstXARecover");
        call.pointer("xids", xids).arg("count", count).arg("rmid", rmid).arg("flags", flags);
        void* args[] = {xids, &count, &rmid, &flags};
        return call.runXa(args, [&] { return rm().recover(xids, count, rmid, flags); });
    });
}

int zstXAForget(XID* xid, int rmid, long flags)
{
    return guarded("zstXAForget", XAER_RMERR, [&] {
        ztmeng::Call call("zstXAForget");
        recordXid(call, xid, rmid, flags);
        void* args[] = {xid, &rmid, &flags};
        return call.runXa(args, [&] { return rm().forget(xid, rmid, flags); });
    });
}

int zstXAComplete(int* handle, int* retval, int rmid, long flags)
{
    return guarded("zstXAComplete", XAER_RMERR, [&] {
        ztmeng::Call call("zstXAComplete");
        call.pointer("handle", handle).pointer("retval", retval).arg("rmid", rmid).arg("flags", flags);
        void* args[] = {handle, retval, &rmid, &flags};
        return call.runXa(args, [&] { return rm().complete(handle, retval, rmid, flags); });
    });
}

int ztmXABranchState(const XID* xid)
{
    return guarded("ztmXABranchState", ZTXA_BRANCH_NONE, [&] {
        return rm().branchState(xid);
    });
}

int ztmXABranchCount(void)
{
    return guarded("ztmXABranchCount", -1, [&] {
        return rm().branchCount();
    });
}

int ztmXAHeuristic(const XID* xid, int outcome)
{
    return guarded("ztmXAHeuristic", -1, [&] {
        return rm().heuristic(xid, outcome);
    });
}

}  // extern "C"

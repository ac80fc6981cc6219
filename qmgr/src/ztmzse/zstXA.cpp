// The XA functions of the queue manager. Each call is recorded with the
// arguments it received (for the tests of the bridges that reach it), then
// answered by a scripted result if one is waiting, else by the resource
// manager.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "ResourceManager.h"
#include "ztm_xa_control.h"

namespace {

struct RecoverScript {
    std::vector<XID> records;
    int result = 0;
};

struct Recorder {
    std::mutex mutex;
    std::vector<ZTXACall> calls;
    std::map<int, std::deque<int>> results;
    std::deque<RecoverScript> recovers;
};

Recorder& recorder()
{
    static Recorder r;
    return r;
}

ZTXACall newCall(int function, const void* address, int rmid, long flags)
{
    ZTXACall call;
    std::memset(&call, 0, sizeof call);
    call.function = function;
    call.address = address;
    call.rmid = rmid;
    call.flags = flags;
    return call;
}

void copyString(ZTXACall& call, const char* s)
{
    if (s != nullptr) {
        call.hasString = 1;
        std::strncpy(call.string, s, sizeof call.string - 1);
    }
}

void copyXid(ZTXACall& call, const XID* xid)
{
    if (xid != nullptr) {
        call.hasXid = 1;
        call.xid = *xid;
    }
}

// A scripted result for function, taken off its queue, if one waits.
bool takeScript(int function, int& result)
{
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.results.find(function);
    if (it == r.results.end() || it->second.empty()) {
        return false;
    }
    result = it->second.front();
    it->second.pop_front();
    return true;
}

template <typename Act>
int answer(ZTXACall call, Act act)
{
    int result = 0;
    call.scripted = takeScript(call.function, result) ? 1 : 0;
    if (call.scripted == 0) {
        result = act();
    }
    call.result = result;
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.calls.push_back(call);
    return result;
}

ztmzse::ResourceManager& rm()
{
    return ztmzse::resourceManager();
}

} // namespace

extern "C" {

int zstXAOpen(char* openString, int rmid, long flags, int agentModel, int arg5, int arg6)
{
    ZTXACall call = newCall(ZTXA_FN_OPEN, openString, rmid, flags);
    copyString(call, openString);
    call.agentModel = agentModel;
    call.arg5 = arg5;
    call.arg6 = arg6;
    return answer(call, [&] { return rm().open(openString, rmid, flags); });
}

int zstXAClose(char* closeString, int rmid, long flags)
{
    ZTXACall call = newCall(ZTXA_FN_CLOSE, closeString, rmid, flags);
    copyString(call, closeString);
    return answer(call, [&] { return rm().close(closeString, rmid, flags); });
}

int zstXAStart(XID* xid, int rmid, long flags, int arg4)
{
    ZTXACall call = newCall(ZTXA_FN_START, xid, rmid, flags);
    copyXid(call, xid);
    call.arg4 = arg4;
    return answer(call, [&] { return rm().start(xid, rmid, flags); });
}

int zstXAEnd(XID* xid, int rmid, long flags)
{
    ZTXACall call = newCall(ZTXA_FN_END, xid, rmid, flags);
    copyXid(call, xid);
    return answer(call, [&] { return rm().end(xid, rmid, flags); });
}

int zstXARollback(XID* xid, int rmid, long flags)
{
    ZTXACall call = newCall(ZTXA_FN_ROLLBACK, xid, rmid, flags);
    copyXid(call, xid);
    return answer(call, [&] { return rm().rollback(xid, rmid, flags); });
}

int zstXAPrepare(XID* xid, int rmid, long flags)
{
    ZTXACall call = newCall(ZTXA_FN_PREPARE, xid, rmid, flags);
    copyXid(call, xid);
    return answer(call, [&] { return rm().prepare(xid, rmid, flags); });
}

int zstXACommit(XID* xid, int rmid, long flags)
{
    ZTXACall call = newCall(ZTXA_FN_COMMIT, xid, rmid, flags);
    copyXid(call, xid);
    return answer(call, [&] { return rm().commit(xid, rmid, flags); });
}

int zstXARecover(XID* xids, long count, int rmid, long flags)
{
    ZTXACall call = newCall(ZTXA_FN_RECOVER, xids, rmid, flags);
    call.count = count;
    RecoverScript script;
    bool scripted = false;
    {
        Recorder& r = recorder();
        std::lock_guard<std::mutex> lock(r.mutex);
        if (!r.recovers.empty()) {
            script = std::move(r.recovers.front());
            r.recovers.pop_front();
            scripted = true;
        }
    }
    if (scripted) {
        const long fill = std::min(static_cast<long>(script.records.size()), count);
        if (xids != nullptr && fill > 0) {
            std::copy_n(script.records.begin(), fill, xids);
        }
        call.scripted = 1;
        call.result = script.result;
        Recorder& r = recorder();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.calls.push_back(call);
        return script.result;
    }
    return answer(call, [&] { return rm().recover(xids, count, rmid, flags); });
}

int zstXAForget(XID* xid, int rmid, long flags)
{
    ZTXACall call = newCall(ZTXA_FN_FORGET, xid, rmid, flags);
    copyXid(call, xid);
    return answer(call, [&] { return rm().forget(xid, rmid, flags); });
}

int zstXAComplete(int* handle, int* retval, int rmid, long flags)
{
    ZTXACall call = newCall(ZTXA_FN_COMPLETE, handle, rmid, flags);
    call.address2 = retval;
    return answer(call, [&] { return rm().complete(handle, retval, rmid, flags); });
}

int ztmXACallCount(void)
{
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<int>(r.calls.size());
}

int ztmXAGetCall(int index, ZTXACall* call)
{
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (call == nullptr || index < 0 || static_cast<std::size_t>(index) >= r.calls.size()) {
        return -1;
    }
    *call = r.calls[static_cast<std::size_t>(index)];
    return 0;
}

void ztmXAClearCalls(void)
{
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.calls.clear();
}

void ztmXAScriptResult(int function, int result)
{
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.results[function].push_back(result);
}

void ztmXAScriptRecover(const XID* records, int fill, int result)
{
    RecoverScript script;
    if (records != nullptr && fill > 0) {
        script.records.assign(records, records + fill);
    }
    script.result = result;
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.recovers.push_back(std::move(script));
}

int ztmXAHeuristic(const XID* xid, int outcome)
{
    return rm().heuristic(xid, outcome);
}

int ztmXABranchState(const XID* xid)
{
    return rm().branchState(xid);
}

int ztmXABranchCount(void)
{
    return rm().branchCount();
}

void ztmXAReset(void)
{
    {
        Recorder& r = recorder();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.calls.clear();
        r.results.clear();
        r.recovers.clear();
    }
    rm().reset();
}

} // extern "C"

// Call recorder, scripted answers, instant mode and the test control
// interface. The recorder has its own lock, never held together with the
// engine's.
//
// Recording is off until a test switches it on: the demo and a client that
// runs for days use this library too, and a kept record costs kilobytes per
// call. When on, the log keeps the first calls up to its limit (a gap-free
// prefix a test can index) and only counts the rest.
#include <atomic>
#include <deque>
#include <mutex>

#include "state.h"

namespace ztmeng {
namespace {

struct Recorder {
    std::mutex mu;
    std::vector<std::shared_ptr<ztmctl::RecordedCall>> log;
    size_t logBytes = 0;      // approxBytes() of the calls in log
    size_t dropped = 0;       // calls made while recording that log has no room for
    ztmctl::RecordLimit limit;
    std::map<std::string, std::deque<ztmctl::Answer>> scripts;
    std::vector<std::function<void()>> resetListeners;
};

Recorder& recorder() {
    static Recorder* r = new Recorder;  // never destroyed: used until exit
    return *r;
}

std::atomic<bool> g_instant{false};
std::atomic<ZTLONG> g_instantGetLength{0};
std::atomic<bool> g_recording{false};
// Set once the log is full, so that a call does not copy records no one keeps;
// cleared when the log is emptied or its limit changes.
std::atomic<bool> g_full{false};

// What a recorded call holds, roughly: its records and names, and a fixed
// share for the containers' nodes.
size_t approxBytes(const ztmctl::RecordedCall& c) {
    size_t n = sizeof(ztmctl::RecordedCall) + c.function.size();
    for (const auto& kv : c.records) n += kv.first.size() + kv.second.size() + 64;
    for (const auto& kv : c.ints) n += kv.first.size() + sizeof(kv) + 16;
    for (const auto& kv : c.pointers) n += kv.first.size() + 64;
    return n;
}

void emptyLogLocked(Recorder& r) {
    r.log.clear();
    r.log.shrink_to_fit();
    r.logBytes = 0;
    r.dropped = 0;
    g_full = false;
}

bool popScript(const char* function, ztmctl::Answer& out) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    auto it = r.scripts.find(function);
    if (it == r.scripts.end() || it->second.empty()) return false;
    out = std::move(it->second.front());
    it->second.pop_front();
    return true;
}

}  // namespace

bool instant() { return g_instant.load(std::memory_order_relaxed); }

void addResetListener(std::function<void()> listener) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    r.resetListeners.push_back(std::move(listener));
}

struct Call::State {
    const char* function;
    bool instant;
    bool recording;                             // recording was on at entry
    std::shared_ptr<ztmctl::RecordedCall> rec;  // null when not kept
};

Call::Call(const char* function)
    : s_(new State{function, instant(), g_recording.load(std::memory_order_relaxed), nullptr}) {
    if (!s_->instant && s_->recording && !g_full.load(std::memory_order_relaxed)) {
        s_->rec = std::make_shared<ztmctl::RecordedCall>();
        s_->rec->function = function;
    }
}

Call::~Call() = default;

Call& Call::arg(const char* name, int64_t value) {
    if (s_->rec) s_->rec->ints.emplace_back(name, value);
    return *this;
}

Call& Call::pointer(const char* name, const void* p) {
    if (s_->rec) s_->rec->pointers[name] = p;
    return *this;
}

Call& Call::record(const char* name, const void* p, size_t n) {
    if (s_->rec && p != nullptr && n > 0) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        s_->rec->records[name].assign(b, b + n);
    }
    return *this;
}

namespace {

// Keeps the call's record if the log has room, counts it otherwise. Once one
// call did not fit, later ones are not kept either (even smaller ones), so the
// log stays the first calls in order.
void publish(bool recording, std::shared_ptr<ztmctl::RecordedCall>& rec) {
    if (!recording) return;
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    if (rec) {  // null: the log was already full when the call began
        const size_t bytes = approxBytes(*rec);
        if (!g_full && r.log.size() < r.limit.calls && r.logBytes <= r.limit.bytes &&
            bytes <= r.limit.bytes - r.logBytes) {
            r.log.push_back(rec);
            r.logBytes += bytes;
            return;
        }
        g_full = true;
        rec.reset();
    }
    ++r.dropped;
}

void finish(const std::shared_ptr<ztmctl::RecordedCall>& rec, bool scripted, int32_t cc,
            int32_t reason, int64_t rv) {
    if (!rec) return;
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    rec->compCode = cc;
    rec->reason = reason;
    rec->returnValue = rv;
    rec->scripted = scripted;
    rec->finished = true;
}

void applyOuts(const ztmctl::Answer& a, const Outs& outs) {
    if (a.hconn && outs.hconn) *outs.hconn = *a.hconn;
    if (a.hobj && outs.hobj) *outs.hobj = *a.hobj;
    if (a.dataLength && outs.dataLength) *outs.dataLength = *a.dataLength;
}

}  // namespace

void Call::run(void** args, ZTLONG* compCode, ZTLONG* reason, const Outs& outs,
               const std::function<void(ZTLONG&, ZTLONG&)>& work) {
    if (s_->instant) {
        if (outs.hconn) *outs.hconn = 1;
        if (outs.hobj) *outs.hobj = 1;
        if (outs.dataLength) *outs.dataLength = g_instantGetLength.load(std::memory_order_relaxed);
        if (compCode) *compCode = ZTCC_OK;
        if (reason) *reason = ZTRC_NONE;
        return;
    }
    publish(s_->recording, s_->rec);
    ztmctl::Answer answer;
    const bool scripted = popScript(s_->function, answer);
    ZTLONG cc = ZTCC_OK, rc = ZTRC_NONE;
    if (forkedChild())
        fail(cc, rc, ZTRC_QMGR_NOT_AVAILABLE);
    else if (!scripted || answer.runReal)
        work(cc, rc);
    if (scripted) {
        cc = answer.compCode;
        rc = answer.reason;
    }
    if (compCode) *compCode = cc;
    if (reason) *reason = rc;
    if (scripted) {
        applyOuts(answer, outs);
        if (answer.hook) answer.hook(args);
        // The hook may have written the results itself.
        if (compCode) cc = *compCode;
        if (reason) rc = *reason;
    }
    finish(s_->rec, scripted, cc, rc, 0);
}

int Call::runXa(void** args, const std::function<int()>& work) {
    if (s_->instant) return XA_OK;
    publish(s_->recording, s_->rec);
    ztmctl::Answer answer;
    const bool scripted = popScript(s_->function, answer);
    int rv = 0;
    if (!scripted || answer.runReal) rv = work();
    if (scripted) {
        rv = static_cast<int>(answer.returnValue ? *answer.returnValue : answer.compCode);
        if (answer.hook) answer.hook(args);
    }
    finish(s_->rec, scripted, 0, 0, rv);
    return rv;
}

}  // namespace ztmeng

namespace ztmctl {

using ztmeng::engine;
using ztmeng::recorder;

void reset() {
    ztmeng::OldState old;
    {
        std::lock_guard<std::mutex> lock(engine().mu);
        old = ztmeng::resetLocked();
    }
    engine().changed.notify_all();
    std::vector<std::function<void()>> listeners;
    {
        ztmeng::Recorder& r = recorder();
        std::lock_guard<std::mutex> lock(r.mu);
        ztmeng::emptyLogLocked(r);
        r.scripts.clear();
        listeners = r.resetListeners;
    }
    ztmeng::g_instant = false;
    ztmeng::g_instantGetLength = 0;
    ztmeng::setThreadTransaction(nullptr);
    for (auto& l : listeners) l();
    // old is destroyed here, outside every lock.
}

bool setStateDirectory(const std::string& directory, std::string* error) {
    reset();
    if (directory.empty()) return true;
    std::string why;
    bool ok;
    {
        std::lock_guard<std::mutex> lock(engine().mu);
        ok = ztmeng::attachStoreLocked(engine(), directory, why);
        if (!ok) engine().unavailable = why;
    }
    if (ok) {
        ztmeng::startedOnStateDirectory();
        std::lock_guard<std::mutex> lock(engine().mu);
        why = engine().unavailable;
        ok = why.empty();
    }
    if (!ok && error != nullptr) *error = why;
    return ok;
}

void failStoreWrites(int count) {
    ztmeng::MessageStore::failWrites(count);
}

size_t callCount() {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    return r.log.size();
}

RecordedCall call(size_t i) {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    if (i >= r.log.size()) throw std::out_of_range("no recorded call " + std::to_string(i));
    return *r.log[i];
}

std::vector<RecordedCall> calls() {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    std::vector<RecordedCall> out;
    out.reserve(r.log.size());
    for (const auto& c : r.log) out.push_back(*c);
    return out;
}

std::vector<RecordedCall> callsOf(const std::string& function) {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    std::vector<RecordedCall> out;
    for (const auto& c : r.log)
        if (c->function == function) out.push_back(*c);
    return out;
}

void clearCalls() {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    ztmeng::emptyLogLocked(r);
}

size_t droppedCalls() {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    return r.dropped;
}

void setRecording(bool on) { ztmeng::g_recording = on; }
bool recording() { return ztmeng::g_recording.load(); }

void setRecordLimit(const RecordLimit& limit) {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    r.limit = limit;
    ztmeng::g_full = false;  // the next call finds out whether there is room
}

RecordLimit recordLimit() {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    return r.limit;
}

void scriptNext(const std::string& function, const Answer& answer) {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    r.scripts[function].push_back(answer);
}

size_t pendingScripts(const std::string& function) {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    auto it = r.scripts.find(function);
    return it == r.scripts.end() ? 0 : it->second.size();
}

void clearScripts() {
    auto& r = recorder();
    std::lock_guard<std::mutex> lock(r.mu);
    r.scripts.clear();
}

void setInstantMode(bool on) { ztmeng::g_instant = on; }
void setInstantGetLength(int length) { ztmeng::g_instantGetLength = length; }
bool instantMode() { return ztmeng::instant(); }

}  // namespace ztmctl

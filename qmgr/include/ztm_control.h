// Test control interface of the stand-in queue manager (C++ only).
//
// Exported by libztmcs, never by the bridge libraries. Tests link ztmcs and
// use it to look at and steer the queue manager underneath the code they test:
//
//   ztmctl::reset();                                   // in SetUp
//   ztmctl::setRecording(true);                        // off unless switched on
//   ztmctl::Answer a;
//   a.compCode = 1; a.reason = 3017; a.dataLength = 250;
//   a.hook = [](void** args) {                          // ZTGET's 9 arguments
//       std::memcpy(static_cast<ZTMD*>(args[2])->putDate, "20240131", 8);
//   };
//   ztmctl::scriptNext("ZTGET", a);                     // next ZTGET answers this
//   ... call the bridge ...
//   auto gets = ztmctl::callsOf("ZTGET");
//   ZTGMO gmo = gets.at(0).recordAs<ZTGMO>("ZTGMO");    // as it was passed in
//   EXPECT_EQ(gets[0].arg("bufferLength"), 100);
//   EXPECT_EQ(gets[0].pointer("buffer"), nullptr);
//
// While recording is on, every function of ztm.h is recorded when it is
// called, in the order the calls began, up to a limit (see setRecordLimit),
// with:
//  - ints: the integer arguments in parameter order, by name. Values passed by
//    pointer (the in/out handles of ZTDISC and ZTCLOSE) are recorded as they
//    were on entry; outputs are not recorded.
//      ZTDISC "hconn"; ZTBEGIN/ZTCMIT/ZTBACK "hconn"; ZTOPEN "hconn" "options";
//      ZTCLOSE "hconn" "hobj" "options"; ZTINQ/ZTSET "hconn" "hobj"
//      "selectorCount" "intAttrCount" "charAttrLength"; ZTPUT/lpiSPIPut "hconn"
//      "hobj" "dataLength"; ZTPUT1 "hconn" "dataLength"; ZTGET "hconn" "hobj"
//      "bufferLength"; lpiSPIActivateMessage "hconn"; zstXA... their integers.
//  - records: byte copies taken on entry, before any work: "qmgrName" (the 48
//    bytes), "ZTCNO", "ZTLCNO", "ZTBO", "ZTOD", "ZTMD", "ZTPMO", "ZTGMO",
//    "ZTLPOP", "ZTLACT", "XID"; the arrays records point to: "ZTOR[]"
//    (recsPresent x 96 of a version 2 ZTOD), "ZTRR[]" (the response records as
//    they were on entry: the ZTOD's for ZTOPEN, the ZTPMO's for the puts; for
//    ZTPUT1 the ZTOD's are "ZTOD.ZTRR[]"), "ZTPMR[]" (recordCount x the record
//    size given by the ZTPMO's field flags); "data" (the put data);
//    "selectors", "intAttrs", "charAttrs" (ZTINQ/ZTSET, as passed in). A
//    record whose pointer is null, or an array with a count below 1, is absent.
//  - pointers: every pointer argument as passed, by parameter name ("qmgrName",
//    "hconn", "ZTMD", "data", "buffer", "dataLength", "compCode", ...), so a
//    test can see that null was passed or which buffer was used.
//  - compCode, reason: what the function answered (returnValue for zstXA...).
//
// Not thread-affine: every function here may be called from any thread.
#ifndef ZTM_CONTROL_H
#define ZTM_CONTROL_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(__GNUC__)
#define ZTMCTL_API __attribute__((visibility("default")))
#else
#define ZTMCTL_API
#endif

namespace ztmctl {

// One recorded call.
struct RecordedCall {
    std::string function;
    std::vector<std::pair<std::string, int64_t>> ints;        // parameter order
    std::map<std::string, std::vector<uint8_t>> records;      // copies on entry
    std::map<std::string, const void*> pointers;              // as passed
    int32_t compCode = 0;
    int32_t reason = 0;
    int64_t returnValue = 0;   // zstXA... functions
    bool finished = false;     // false while the call is still running
    bool scripted = false;     // a scripted answer replaced or amended the work

    bool hasArg(const std::string& name) const {
        for (const auto& kv : ints) if (kv.first == name) return true;
        return false;
    }
    // Integer argument by name; throws std::out_of_range when absent.
    int64_t arg(const std::string& name) const {
        for (const auto& kv : ints) if (kv.first == name) return kv.second;
        throw std::out_of_range("no argument " + name + " in " + function);
    }
    bool hasRecord(const std::string& name) const { return records.count(name) != 0; }
    // Record bytes by name; throws std::out_of_range when absent.
    const std::vector<uint8_t>& record(const std::string& name) const {
        auto it = records.find(name);
        if (it == records.end()) throw std::out_of_range("no record " + name + " in " + function);
        return it->second;
    }
    // The record as a struct (size must match the copy exactly).
    template <class T> T recordAs(const std::string& name) const {
        const auto& r = record(name);
        if (r.size() != sizeof(T)) throw std::length_error("record " + name + " has another size");
        T t;
        std::memcpy(&t, r.data(), sizeof(T));
        return t;
    }
    // Pointer argument by name; throws std::out_of_range when absent.
    const void* pointer(const std::string& name) const {
        auto it = pointers.find(name);
        if (it == pointers.end()) throw std::out_of_range("no pointer " + name + " in " + function);
        return it->second;
    }
};

// A scripted answer for the next call of one function.
struct Answer {
    int32_t compCode = 0;
    int32_t reason = 0;
    // Out values written when present (and the function has that output):
    std::optional<int32_t> hconn;       // ZTCONN, ZTCONNX, lpiSPIZTConnect, ZTDISC
    std::optional<int32_t> hobj;        // ZTOPEN, ZTCLOSE
    std::optional<int32_t> dataLength;  // ZTGET
    std::optional<int64_t> returnValue; // zstXA... (default: compCode)
    // Called after the out values are written, with the function's arguments
    // in parameter order: a pointer argument as passed (ZTMD*, void* buffer,
    // ZTLONG* hconn ...), a value argument by the address of its copy
    // (ZTLONG* for hconn, options, lengths). Runs without any engine lock
    // held, so it may call the queue manager itself.
    std::function<void(void** args)> hook;
    // false: the answer replaces the function's own work entirely.
    // true: the work runs first, then compCode/reason are overridden by the
    // answer, the present out values written and the hook called.
    bool runReal = false;
};

// Forget everything: connections, queues, messages, units of work, deferred
// messages, the state directory (its files stay; see setStateDirectory),
// recorded calls (and the count of dropped ones), scripts; switch
// instant mode off and the service-provider connect on. The recording switch
// and its limit stay as they are: they say how the process is watched, not
// what the queue manager holds. Handles issued before stay dead (handle
// numbers are never reused). Waiting gets end with ZTRC_HCONN_ERROR. The
// calling thread leaves its XA branch; libraries built on the engine (the XA
// resource manager) forget their state through their reset listeners.
ZTMCTL_API void reset();

// The state directory: where the queue manager keeps what must outlive the
// process. Each process takes it from the environment variable
// ZT_STATE_DIRECTORY when the queue manager starts (first use); one that
// cannot be used (owned by another process, a damaged or read-only store) is
// reported on stderr and every connect answers ZTRC_QMGR_NOT_AVAILABLE until
// a reset. In it, messages.db holds the persistent messages
// (ZTPER_PERSISTENT, not deferred ones): a put is kept once committed (at
// once outside a unit of work) and removed once a get of it is committed,
// each synced before the change is visible and the verb answers; a verb
// whose change the store refuses (a full disk, the file removed or replaced
// meanwhile) answers ZTRC_STORE_ERROR and changed nothing. In a child forked
// without exec after the queue manager started, every verb answers
// ZTRC_QMGR_NOT_AVAILABLE until a reset. A reset forgets the directory too
// (the files stay).
// setStateDirectory: reset(), then start again on `directory` ("" for none),
// as a new process would: the kept messages are back on their queues. false
// and why in *error when the directory is refused (connects are refused then,
// as above).
ZTMCTL_API bool setStateDirectory(const std::string& directory, std::string* error = nullptr);
// The next `count` writes of the message store fail as on a full disk (the
// verbs waiting for them answer ZTRC_STORE_ERROR); 0 stops it. A reset does not.
ZTMCTL_API void failStoreWrites(int count);

// Recording: off when the library loads, so that a process that never asks
// (the demo, a long-running client) keeps nothing; on only when a test
// switches it on. The functions work the same either way. The test programs
// that link this library switch it on at the start of every test
// (tests/harness/RecordCalls.cpp).
ZTMCTL_API void setRecording(bool on);
ZTMCTL_API bool recording();

// While on, the log keeps the first calls and drops the rest: a call is kept
// while the log holds fewer than `calls` calls and their copies (records,
// names and a fixed share per entry, roughly) fit in `bytes`; once one call
// does not fit, no later call is kept until the log is emptied (clearCalls,
// reset) or the limit changes, so call(i) is always the i-th call made.
// Dropped calls are only counted. The default holds any single test's calls
// and bounds a forgotten switch to tens of MiB.
struct RecordLimit {
    size_t calls = 10000;
    size_t bytes = size_t{64} << 20;
};
ZTMCTL_API void setRecordLimit(const RecordLimit& limit);
ZTMCTL_API RecordLimit recordLimit();

// Recorded calls.
ZTMCTL_API size_t callCount();
ZTMCTL_API RecordedCall call(size_t i);            // throws std::out_of_range
ZTMCTL_API std::vector<RecordedCall> calls();
ZTMCTL_API std::vector<RecordedCall> callsOf(const std::string& function);
// Calls made while recording that the log had no room for.
ZTMCTL_API size_t droppedCalls();
// Empties the log (and the dropped count); the next calls are kept again.
ZTMCTL_API void clearCalls();

// Scripted answers: queued per function, each used by exactly one call.
ZTMCTL_API void scriptNext(const std::string& function, const Answer& answer);
ZTMCTL_API size_t pendingScripts(const std::string& function);
ZTMCTL_API void clearScripts();

// Instant mode, for benchmarks: every function answers cc 0, reason 0 at
// once, records nothing and does no work; handle outputs are set to 1, a get's
// data length to 0, an XA function returns XA_OK.
ZTMCTL_API void setInstantMode(bool on);
ZTMCTL_API bool instantMode();
// The data length an instant get reports (0 unless set; reset sets it to 0),
// so that a benchmark can receive a message of that size into any buffer.
ZTMCTL_API void setInstantGetLength(int length);

// lpiSPIZTConnect available (default) or answering cc 2, reason 2195 without
// connecting, so that the caller falls back to ZTCONNX.
ZTMCTL_API void setSpiConnectAvailable(bool available);

// Inspection of the queue manager's state, for tests.
ZTMCTL_API size_t liveConnections();
ZTMCTL_API bool isLiveConnection(int32_t hconn);
ZTMCTL_API bool unitOfWorkOpen(int32_t hconn);      // begun or holding syncpoint work
ZTMCTL_API size_t openHandles(int32_t hconn);
// Messages a get can see / all messages the queue holds (uncommitted and
// deferred ones too), on the default queue manager unless one is named.
ZTMCTL_API size_t visibleDepth(const std::string& queue, const std::string& qmgr = "");
ZTMCTL_API size_t totalDepth(const std::string& queue, const std::string& qmgr = "");
ZTMCTL_API bool queueExists(const std::string& queue, const std::string& qmgr = "");

}  // namespace ztmctl

#endif  // ZTM_CONTROL_H

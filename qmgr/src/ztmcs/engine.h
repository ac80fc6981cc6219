// Internal C++ interface of the queue manager engine (libztmcs), used by
// libztm (the verbs) and libztmzse (the XA resource manager). Not for the
// bridges: they see only ztm.h.
//
// Units of work. A Transaction holds the syncpoint work of one unit of work:
// messages put (invisible until commit), messages got (hidden from other
// gets, back on the queue with backoutCount + 1 after a rollback), deferred
// messages activated or cancelled. Work done under syncpoint by a connection
// goes into
//   1. the calling thread's transaction, when one is set with
//      setThreadTransaction() (the thread is associated with an XA branch);
//   2. otherwise the connection's own unit of work (ZTBEGIN, or started
//      implicitly by the first syncpoint put or get), ended by ZTCMIT/ZTBACK.
// While a thread transaction is set, ZTBEGIN, ZTCMIT and ZTBACK on that thread
// fail with ZTRC_UOW_UNDER_XA: the branch is ended by its owner only.
//
//   auto t = ztmeng::Transaction::create();
//   ztmeng::setThreadTransaction(t);       // xa_start
//   ZTPUT(...syncpoint...);                // goes into t
//   ztmeng::setThreadTransaction(nullptr); // xa_end
//   t->prepare();  t->commit();            // or t->rollback()
//
// A transaction is shared: it may be prepared, committed or rolled back from
// any thread, and several threads may carry it (XA join). All operations are
// thread-safe; they take the engine's lock, so never call them from inside
// a function that already holds it (a scripted hook runs without it).
#ifndef ZTM_ENGINE_H
#define ZTM_ENGINE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ztm.h"
#include "ztm_control.h"

#if defined(__GNUC__)
#define ZTMENG_API __attribute__((visibility("default")))
#else
#define ZTMENG_API
#endif

namespace ztmeng {

class ZTMENG_API Transaction {
public:
    enum class State { Active, Prepared, Committed, RolledBack };

    static std::shared_ptr<Transaction> create();
    // Dropping the last reference to a transaction that is still active or
    // prepared rolls it back, so no message is ever lost with it.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    State state() const;
    // Number of pending operations (puts, gets, activations, cancellations).
    size_t pendingOperations() const;
    // Active -> Prepared; after it no more work can join the transaction.
    // false when the transaction is not active.
    bool prepare();
    // Active or Prepared -> Committed: puts become visible, gets final, its
    // persistent changes kept in the message store first. false (and nothing
    // done) when it was already committed or rolled back, when another
    // thread is committing it, or when the store refused its changes (then
    // it stays as it was, and says why on stderr).
    bool commit();
    // Active or Prepared -> RolledBack: puts vanish, gotten messages return.
    // false (and nothing done) when it was already committed or rolled back,
    // or while another thread is committing it.
    bool rollback();

    // A message a unit of work holds, copied out so that a prepared unit of
    // work can be kept outside the process (the XA resource manager's state
    // directory) and made again in a later one.
    struct Held {
        bool got = false;  // got under it (else put under it)
        std::string qmgr;
        std::string queue;
        ZTMD md{};
        std::vector<uint8_t> data;
    };
    // The puts and gets it holds, in the order they were done. false when it
    // holds work that cannot be copied (deferred messages, activations,
    // cancellations) or is not prepared.
    bool held(std::vector<Held>& out) const;
    // A prepared transaction holding these messages again: puts pending on
    // their queues (created when missing), gets locked, so commit and
    // rollback do with them what they would have done before.
    static std::shared_ptr<Transaction> restore(const std::vector<Held>& messages);

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    Transaction();
    std::unique_ptr<Impl> impl_;
};

// The transactions of the calling thread's XA branches: at most one per
// resource-manager instance (rmid), several instances side by side.
// setThreadTransaction(t) makes t the thread's only one (null: none);
// setThreadTransaction(rmid, qmgr, t) sets or (null) ends the one of rmid,
// whose open string names queue manager qmgr. threadTransaction() is the one
// started first, or null.
//
// suspendThreadTransaction(t) stops t taking work (TMSUSPEND) but keeps its
// place and the connections that worked in it; setThreadTransaction with t
// again resumes it so. endThreadTransaction(t) forgets t, suspended or not.
//
// Which branch a connection's syncpoint work joins when there are several:
// the one it joined before while they last (none while that one is
// suspended); else the earliest started one of its own queue manager (any,
// when none names it) that no other connection of the thread has joined;
// else the earliest started of those.
ZTMENG_API void setThreadTransaction(std::shared_ptr<Transaction> transaction);
ZTMENG_API void setThreadTransaction(int rmid, const std::string& qmgr,
                                     std::shared_ptr<Transaction> transaction);
ZTMENG_API void suspendThreadTransaction(const std::shared_ptr<Transaction>& transaction);
ZTMENG_API void endThreadTransaction(const std::shared_ptr<Transaction>& transaction);
ZTMENG_API std::shared_ptr<Transaction> threadTransaction();
ZTMENG_API std::shared_ptr<Transaction> threadTransaction(int rmid);

// Called (without the engine lock) at the end of every ztmctl::reset(), so
// libraries built on the engine can forget their own state too.
ZTMENG_API void addResetListener(std::function<void()> listener);

// Called when the engine starts on a state directory (at its first use, or
// ztmctl::setStateDirectory), once its message store is loaded and before
// any verb is served: a library built on the engine restores what it keeps
// there (the XA resource manager, its in-doubt branches). A listener that
// cannot use the directory answers false and why; the queue manager is then
// unavailable, as for a damaged message store. A listener added after the
// start runs at once.
using StartListener = std::function<bool(const std::string& directory, std::string& error)>;
ZTMENG_API void addStartListener(StartListener listener);

// The state directory whose message store the engine uses ("" when none):
// set by ZT_STATE_DIRECTORY when the engine starts, or ztmctl::setStateDirectory.
ZTMENG_API std::string stateDirectory();

// True in instant mode (see ztm_control.h): a function answers at once.
ZTMENG_API bool instant();

// Outputs a scripted answer or instant mode may write.
struct Outs {
    ZTLONG* hconn = nullptr;
    ZTLONG* hobj = nullptr;
    ZTLONG* dataLength = nullptr;
};

// One call of a queue manager function: records it (see ztm_control.h),
// applies a scripted answer or instant mode, runs the work otherwise.
//
//   ztmeng::Call c("zstXAStart");
//   c.arg("rmid", rmid).arg("flags", flags).pointer("xid", xid)
//    .record("XID", xid, sizeof(XID));
//   void* args[] = {xid, &rmid, &flags, &arg4};
//   return c.runXa(args, [&] { return realStart(...); });
class ZTMENG_API Call {
public:
    explicit Call(const char* function);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    Call& arg(const char* name, int64_t value);
    Call& pointer(const char* name, const void* p);
    // Copies n bytes at p now; nothing when p is null or n is 0.
    Call& record(const char* name, const void* p, size_t n);

    // A function answering completion code and reason. work sets cc/reason
    // and writes its own outputs. cc and reason may be null (nothing written).
    void run(void** args, ZTLONG* compCode, ZTLONG* reason, const Outs& outs,
             const std::function<void(ZTLONG& cc, ZTLONG& reason)>& work);
    // A function returning an XA code.
    int runXa(void** args, const std::function<int()>& work);

private:
    struct State;
    std::unique_ptr<State> s_;
};

// The verbs, with the parameters of ztm.h; libztm exports them as C functions.
namespace verbs {
ZTMENG_API void ZTCONN(char* qmgrName, ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTCONNX(char* qmgrName, ZTCNO* connectOptions, ZTLONG* hconn,
                        ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void lpiSPIZTConnect(char* qmgrName, ZTLCNO* spiConnect, ZTCNO* connectOptions,
                                ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTDISC(ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTBEGIN(ZTLONG hconn, ZTBO* beginOptions, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTCMIT(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTBACK(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTOPEN(ZTLONG hconn, ZTOD* objDesc, ZTLONG options, ZTLONG* hobj,
                       ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTCLOSE(ZTLONG hconn, ZTLONG* hobj, ZTLONG options, ZTLONG* compCode,
                        ZTLONG* reason);
ZTMENG_API void ZTINQ(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
                      ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength,
                      char* charAttrs, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTSET(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
                      ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength,
                      char* charAttrs, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTPUT(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions,
                      ZTLONG dataLength, void* data, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTPUT1(ZTLONG hconn, ZTOD* objDesc, ZTMD* msgDesc, ZTPMO* putOptions,
                       ZTLONG dataLength, void* data, ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void ZTGET(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTGMO* getOptions,
                      ZTLONG bufferLength, void* buffer, ZTLONG* dataLength,
                      ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void lpiSPIPut(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions,
                          ZTLONG dataLength, void* data, ZTLPOP* spiPutOptions,
                          ZTLONG* compCode, ZTLONG* reason);
ZTMENG_API void lpiSPIActivateMessage(ZTLONG hconn, ZTLACT* activate, ZTLONG* compCode,
                                      ZTLONG* reason);
}  // namespace verbs

}  // namespace ztmeng

#endif  // ZTM_ENGINE_H

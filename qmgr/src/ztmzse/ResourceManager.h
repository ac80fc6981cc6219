// The queue manager as an XA resource manager: the table of transaction
// branches keyed by XID, with the XA rules for each call. Each branch owns an
// engine transaction; while a thread is associated with the branch it is the
// thread's transaction, so the queue work done on that thread under
// syncpoint commits or rolls back with the branch.
#ifndef ZTMZSE_RESOURCE_MANAGER_H
#define ZTMZSE_RESOURCE_MANAGER_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BranchStore.h"
#include "engine.h"
#include "ztm.h"

namespace ztmzse {

class ResourceManager {
public:
    int open(const char* openString, int rmid, long flags);
    int close(const char* closeString, int rmid, long flags);
    int start(const XID* xid, int rmid, long flags);
    int end(const XID* xid, int rmid, long flags);
    int prepare(const XID* xid, int rmid, long flags);
    int commit(const XID* xid, int rmid, long flags);
    int rollback(const XID* xid, int rmid, long flags);
    int forget(const XID* xid, int rmid, long flags);
    int recover(XID* xids, long count, int rmid, long flags);
    int complete(int* handle, int* retval, int rmid, long flags);

    // The queue manager started on a state directory: its branches in doubt
    // are loaded (their messages held) before anyone is served. false and
    // why in error when its store cannot be used.
    bool restore(const std::string& directory, std::string& error);

    // Administration and inspection (the test control API).
    int heuristic(const XID* xid, int outcome);
    int branchState(const XID* xid);
    int branchCount();
    void reset();

private:
    enum class State { Active, Idle, Prepared, Heuristic };

    struct Branch {
        XID xid{};
        int rmid = 0;  // the instance it was started on; 0 when recovered
        std::shared_ptr<ztmeng::Transaction> work;
        std::uint64_t sequence = 0;  // creation order, the order recover lists
        State state = State::Active;
        bool rollbackOnly = false;
        bool busy = false;  // its store is being written, without the lock
        int heuristicOutcome = 0;  // XA_HEURCOM or XA_HEURRB once heuristic
        // Per thread, how many associations (a start and each join) it holds
        // or has suspended: one per XAResource of this instance it enlisted.
        std::map<std::thread::id, int> associated;
        std::map<std::thread::id, int> suspended;
        // Where it is kept once prepared (its resource manager was opened
        // with a state directory), else null.
        std::shared_ptr<BranchStore> store;
    };

    struct Scan {
        std::vector<XID> xids;
        std::size_t next = 0;
    };

    // An open resource-manager instance.
    struct Instance {
        std::string openString;
        std::string qmgr;
        // Where its prepared branches are kept, or null (in memory only).
        std::shared_ptr<BranchStore> store;
    };

    using Key = std::string;
    using Table = std::map<Key, Branch>;
    static Key keyOf(const XID& xid);
    static bool validXid(const XID* xid);

    // Common checks of the calls that name one branch: the resource manager
    // open, no asynchronous mode, only the allowed flag bits, a well-formed
    // XID. XA_OK when they pass, else the XA code to return.
    int checkCall(const XID* xid, int rmid, long flags, long allowed) const;
    // checkCall, then the branch itself (XAER_NOTA when there is none).
    int lookup(const XID* xid, int rmid, long flags, long allowed, Table::iterator& it);
    Branch* find(const XID* xid);
    // The branch of instance rmid the thread is associated with, or null.
    const Branch* associatedWith(std::thread::id thread, int rmid) const;
    // The calling thread carries the branch's work for its instance; then it
    // no longer does: ended, or suspended (kept aside with the connections
    // that worked in it, for a resume).
    void associate(const Branch& branch);
    static void dissociate(const Branch& branch, bool suspended);
    // The store of a state directory, opened (and its branches loaded) on
    // first use. false and why in error when it cannot be used.
    bool storeFor(const std::string& directory, std::shared_ptr<BranchStore>& store,
                  std::string& error);
    // Runs io (the store's synced writes) without the lock, the branch
    // marked busy meanwhile; it then points at the branch again. false when
    // the branch went meanwhile (a reset).
    bool unlockedFor(std::unique_lock<std::mutex>& lock, Table::iterator& it, const std::function<void()>& io);
    // Removes a prepared or heuristic branch from its store: XA_OK, XAER_NOTA
    // when the store no longer holds it, XAER_RMFAIL when the store refused
    // (the branch then stays as it is), XAER_RMERR when the branch went
    // meanwhile (it then points nowhere).
    int unstore(std::unique_lock<std::mutex>& lock, Table::iterator& it);

    std::mutex mutex_;
    std::map<int, Instance> open_;  // by rmid
    std::map<std::string, std::shared_ptr<BranchStore>> stores_;  // by directory
    Table branches_;
    std::map<std::pair<std::thread::id, int>, Scan> scans_;
    std::uint64_t nextSequence_ = 1;
};

ResourceManager& resourceManager();

}  // namespace ztmzse

#endif  // ZTMZSE_RESOURCE_MANAGER_H

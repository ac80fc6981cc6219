#include "ResourceManager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ztm_xa_control.h"

namespace ztmzse {

namespace {

// The flags a caller may give: asynchronous calls are not offered (the
// switch does not announce TMUSEASYNC), so TMASYNC is answered apart.
constexpr long kStartFlags = TMJOIN | TMRESUME | TMNOWAIT;
constexpr long kEndFlags = TMSUCCESS | TMFAIL | TMSUSPEND;
constexpr long kCommitFlags = TMONEPHASE | TMNOWAIT;
constexpr long kRecoverFlags = TMSTARTRSCAN | TMENDRSCAN;

}  // namespace

ResourceManager& resourceManager()
{
    static ResourceManager rm;
    // The engine's reset forgets the branches too.
    static const bool listening = [] {
        ztmeng::addResetListener([] { rm.reset(); });
        return true;
    }();
    (void)listening;
    return rm;
}

ResourceManager::Key ResourceManager::keyOf(const XID& xid)
{
    Key key(reinterpret_cast<const char*>(&xid.formatID), sizeof xid.formatID);
    key.append(reinterpret_cast<const char*>(&xid.gtrid_length), sizeof xid.gtrid_length);
    key.append(reinterpret_cast<const char*>(&xid.bqual_length), sizeof xid.bqual_length);
    key.append(xid.data, static_cast<std::size_t>(xid.gtrid_length + xid.bqual_length));
    return key;
}

bool ResourceManager::validXid(const XID* xid)
{
    // A format of -1 is the null XID; a branch needs a gtrid.
    return xid != nullptr && xid->formatID != -1 && xid->gtrid_length >= 1 &&
           xid->gtrid_length <= MAXGTRIDSIZE && xid->bqual_length >= 0 &&
           xid->bqual_length <= MAXBQUALSIZE;
}

int ResourceManager::checkCall(const XID* xid, int rmid, long flags, long allowed) const
{
    if (open_.count(rmid) == 0) {
        return XAER_PROTO;
    }
    if ((flags & TMASYNC) != 0) {
        return XAER_ASYNC;
    }
    if ((flags & ~allowed) != 0 || !validXid(xid)) {
        return XAER_INVAL;
    }
    return XA_OK;
}

int ResourceManager::lookup(const XID* xid, int rmid, long flags, long allowed, Table::iterator& it)
{
    if (int rc = checkCall(xid, rmid, flags, allowed); rc != XA_OK) {
        return rc;
    }
    it = branches_.find(keyOf(*xid));
    return it == branches_.end() ? XAER_NOTA : XA_OK;
}

ResourceManager::Branch* ResourceManager::find(const XID* xid)
{
    auto it = branches_.find(keyOf(*xid));
    return it == branches_.end() ? nullptr : &it->second;
}

bool ResourceManager::associatedAnywhere(std::thread::id thread) const
{
    return std::any_of(branches_.begin(), branches_.end(), [thread](const auto& entry) {
        return entry.second.associated.count(thread) != 0;
    });
}

void ResourceManager::associate(const Branch& branch)
{
    ztmeng::setThreadTransaction(branch.work);
}

void ResourceManager::dissociate(const Branch& branch)
{
    if (ztmeng::threadTransaction() == branch.work) {
        ztmeng::setThreadTransaction(nullptr);
    }
}

// The open string: the queue manager's name, then options separated by ';'.
// "state=<directory>" keeps prepared branches there across processes.
int ResourceManager::storeFor(const std::string& openString, std::shared_ptr<BranchStore>& store)
{
    store.reset();
    std::string directory;
    std::size_t at = openString.find(';');
    while (at != std::string::npos) {
        const std::size_t next = openString.find(';', at + 1);
        const std::string option = openString.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        if (option.rfind("state=", 0) == 0) {
            directory = option.substr(6);
        }
        at = next;
    }
    if (directory.empty()) {
        return XA_OK;
    }
    auto known = stores_.find(directory);
    if (known != stores_.end()) {
        store = known->second;
        return XA_OK;
    }
    std::string error;
    std::shared_ptr<BranchStore> opened = BranchStore::open(directory, error);
    std::vector<BranchStore::Saved> saved;
    if (opened && !opened->loadAll(saved)) {
        error = "cannot read the branches of " + directory;
        opened.reset();
    }
    if (!opened) {
        std::fprintf(stderr, "zstXAOpen: %s\n", error.c_str());
        return XAER_RMERR;
    }
    // The branches a previous process prepared are in doubt again here.
    for (BranchStore::Saved& s : saved) {
        const Key key = keyOf(s.xid);
        if (branches_.count(key) != 0) {
            continue;
        }
        Branch branch;
        branch.xid = s.xid;
        branch.sequence = nextSequence_++;
        branch.store = opened;
        if (s.heuristicOutcome != 0) {
            branch.work = ztmeng::Transaction::create();
            branch.state = State::Heuristic;
            branch.heuristicOutcome = s.heuristicOutcome;
        } else {
            branch.work = ztmeng::Transaction::restore(s.messages);
            branch.state = State::Prepared;
        }
        branches_.emplace(key, std::move(branch));
    }
    stores_.emplace(directory, opened);
    store = opened;
    return XA_OK;
}

bool ResourceManager::unstore(Branch& branch)
{
    if (!branch.store) {
        return true;
    }
    if (!branch.store->remove(keyOf(branch.xid))) {
        return false;
    }
    branch.store.reset();
    return true;
}

int ResourceManager::open(const char* openString, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if ((flags & TMASYNC) != 0) {
        return XAER_ASYNC;
    }
    if (flags != TMNOFLAGS || openString == nullptr) {
        return XAER_INVAL;
    }
    std::shared_ptr<BranchStore> store;
    if (int rc = storeFor(openString, store); rc != XA_OK) {
        return rc;
    }
    // Opening an open resource manager again is allowed and changes nothing.
    open_.emplace(rmid, openString);
    return XA_OK;
}

int ResourceManager::close(const char*, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if ((flags & TMASYNC) != 0) {
        return XAER_ASYNC;
    }
    if (flags != TMNOFLAGS) {
        return XAER_INVAL;
    }
    const std::thread::id self = std::this_thread::get_id();
    for (const auto& entry : branches_) {
        if (entry.second.associated.count(self) != 0 || entry.second.suspended.count(self) != 0) {
            return XAER_PROTO;
        }
    }
    open_.erase(rmid);
    scans_.erase({self, rmid});
    return XA_OK;
}

int ResourceManager::start(const XID* xid, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkCall(xid, rmid, flags, kStartFlags); rc != XA_OK) {
        return rc;
    }
    if ((flags & TMJOIN) != 0 && (flags & TMRESUME) != 0) {
        return XAER_INVAL;
    }
    const std::thread::id self = std::this_thread::get_id();
    // One branch at a time per thread.
    if (associatedAnywhere(self)) {
        return XAER_PROTO;
    }
    Branch* branch = find(xid);
    if ((flags & (TMJOIN | TMRESUME)) == 0) {
        if (branch != nullptr) {
            return XAER_DUPID;
        }
        Branch created;
        created.xid = *xid;
        created.work = ztmeng::Transaction::create();
        created.sequence = nextSequence_++;
        created.associated.insert(self);
        associate(created);
        branches_.emplace(keyOf(*xid), std::move(created));
        return XA_OK;
    }
    if (branch == nullptr) {
        return XAER_NOTA;
    }
    if (branch->state == State::Prepared || branch->state == State::Heuristic) {
        return XAER_PROTO;
    }
    if ((flags & TMRESUME) != 0) {
        // Associations do not migrate: only the suspending thread resumes.
        if (branch->suspended.erase(self) == 0) {
            return XAER_PROTO;
        }
    } else if (branch->rollbackOnly) {
        return XA_RBROLLBACK;
    }
    branch->associated.insert(self);
    branch->state = State::Active;
    associate(*branch);
    return XA_OK;
}

int ResourceManager::end(const XID* xid, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Table::iterator it;
    const int rc = lookup(xid, rmid, flags, kEndFlags, it);
    if (rc != XA_OK && rc != XAER_NOTA) {
        return rc;
    }
    // Exactly one of the three ways to end.
    const long how = flags & kEndFlags;
    if (how != TMSUCCESS && how != TMFAIL && how != TMSUSPEND) {
        return XAER_INVAL;
    }
    if (rc != XA_OK) {
        return rc;
    }
    Branch& branch = it->second;
    const std::thread::id self = std::this_thread::get_id();
    const bool active = branch.associated.count(self) != 0;
    const bool suspended = branch.suspended.count(self) != 0;
    // A suspended association may be ended, not suspended again.
    if (!active && !(suspended && how != TMSUSPEND)) {
        return XAER_PROTO;
    }
    if (active) {
        dissociate(branch);
    }
    branch.associated.erase(self);
    if (how == TMSUSPEND) {
        branch.suspended.insert(self);
        return branch.rollbackOnly ? XA_RBROLLBACK : XA_OK;
    }
    branch.suspended.erase(self);
    if (how == TMFAIL) {
        branch.rollbackOnly = true;
    }
    if (branch.associated.empty() && branch.suspended.empty()) {
        branch.state = State::Idle;
    }
    return (how == TMSUCCESS && branch.rollbackOnly) ? XA_RBROLLBACK : XA_OK;
}

int ResourceManager::prepare(const XID* xid, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Table::iterator it;
    if (int rc = lookup(xid, rmid, flags, TMNOFLAGS, it); rc != XA_OK) {
        return rc;
    }
    Branch& branch = it->second;
    if (branch.state != State::Idle) {
        return XAER_PROTO;
    }
    if (branch.rollbackOnly) {
        branch.work->rollback();
        branches_.erase(it);
        return XA_RBROLLBACK;
    }
    // The work was finished elsewhere: nothing left that could commit.
    if (!branch.work->prepare()) {
        return XAER_RMERR;
    }
    std::shared_ptr<BranchStore> store;
    if (storeFor(open_[rmid], store) != XA_OK) {
        branch.work->rollback();
        branches_.erase(it);
        return XAER_RMERR;
    }
    if (store) {
        // On disk before the answer: a prepared branch must outlive us.
        BranchStore::Saved saved;
        saved.xid = branch.xid;
        if (!branch.work->held(saved.messages) || !store->save(keyOf(branch.xid), saved)) {
            branch.work->rollback();
            branches_.erase(it);
            return XAER_RMERR;
        }
        branch.store = store;
    }
    branch.state = State::Prepared;
    return XA_OK;
}

int ResourceManager::commit(const XID* xid, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Table::iterator it;
    if (int rc = lookup(xid, rmid, flags, kCommitFlags, it); rc != XA_OK) {
        return rc;
    }
    Branch& branch = it->second;
    if (branch.state == State::Heuristic) {
        return branch.heuristicOutcome;
    }
    const bool onePhase = (flags & TMONEPHASE) != 0;
    if (onePhase ? branch.state != State::Idle : branch.state != State::Prepared) {
        return XAER_PROTO;
    }
    if (branch.rollbackOnly) {
        branch.work->rollback();
        branches_.erase(it);
        return XA_RBROLLBACK;
    }
    // Gone from the store first: once that is done the outcome is commit.
    if (!unstore(branch)) {
        return XAER_RMFAIL;
    }
    if (!branch.work->commit()) {
        return XAER_RMERR;
    }
    branches_.erase(it);
    return XA_OK;
}

int ResourceManager::rollback(const XID* xid, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Table::iterator it;
    if (int rc = lookup(xid, rmid, flags, TMNOFLAGS, it); rc != XA_OK) {
        return rc;
    }
    Branch& branch = it->second;
    if (!branch.associated.empty()) {
        return XAER_PROTO;
    }
    if (branch.state == State::Heuristic) {
        return branch.heuristicOutcome;
    }
    if (!unstore(branch)) {
        return XAER_RMFAIL;
    }
    branch.work->rollback();
    branches_.erase(it);
    return XA_OK;
}

int ResourceManager::forget(const XID* xid, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Table::iterator it;
    if (int rc = lookup(xid, rmid, flags, TMNOFLAGS, it); rc != XA_OK) {
        return rc;
    }
    if (it->second.state != State::Heuristic) {
        return XAER_PROTO;
    }
    if (!unstore(it->second)) {
        return XAER_RMFAIL;
    }
    branches_.erase(it);
    return XA_OK;
}

int ResourceManager::recover(XID* xids, long count, int rmid, long flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_.count(rmid) == 0) {
        return XAER_PROTO;
    }
    if ((flags & ~kRecoverFlags) != 0 || count < 0 || (xids == nullptr && count > 0)) {
        return XAER_INVAL;
    }
    const auto scanKey = std::make_pair(std::this_thread::get_id(), rmid);
    if ((flags & TMSTARTRSCAN) != 0) {
        // The branches in doubt now, in the order they began.
        std::vector<const Branch*> doubt;
        for (const auto& entry : branches_) {
            if (entry.second.state == State::Prepared || entry.second.state == State::Heuristic) {
                doubt.push_back(&entry.second);
            }
        }
        std::sort(doubt.begin(), doubt.end(),
                  [](const Branch* a, const Branch* b) { return a->sequence < b->sequence; });
        Scan scan;
        for (const Branch* branch : doubt) {
            scan.xids.push_back(branch->xid);
        }
        scans_[scanKey] = std::move(scan);
    }
    auto it = scans_.find(scanKey);
    // Continuing a scan that was never started.
    if (it == scans_.end()) {
        return XAER_INVAL;
    }
    Scan& scan = it->second;
    const std::size_t left = scan.xids.size() - scan.next;
    const std::size_t n = std::min(left, static_cast<std::size_t>(count));
    if (n > 0) {
        std::copy_n(scan.xids.begin() + static_cast<std::ptrdiff_t>(scan.next), n, xids);
    }
    scan.next += n;
    if ((flags & TMENDRSCAN) != 0) {
        scans_.erase(it);
    }
    return static_cast<int>(n);
}

int ResourceManager::complete(int*, int*, int rmid, long)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_.count(rmid) == 0) {
        return XAER_PROTO;
    }
    // No call is ever made asynchronously, so no handle is outstanding.
    return XAER_INVAL;
}

int ResourceManager::heuristic(const XID* xid, int outcome)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!validXid(xid) || (outcome != XA_HEURCOM && outcome != XA_HEURRB)) {
        return -1;
    }
    Branch* branch = find(xid);
    if (branch == nullptr || branch->state != State::Prepared) {
        return -1;
    }
    if (branch->store && !branch->store->setHeuristic(keyOf(*xid), outcome)) {
        return -1;
    }
    if (outcome == XA_HEURCOM) {
        branch->work->commit();
    } else {
        branch->work->rollback();
    }
    branch->state = State::Heuristic;
    branch->heuristicOutcome = outcome;
    return 0;
}

int ResourceManager::branchState(const XID* xid)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!validXid(xid)) {
        return ZTXA_BRANCH_NONE;
    }
    const Branch* branch = find(xid);
    if (branch == nullptr) {
        return ZTXA_BRANCH_NONE;
    }
    switch (branch->state) {
    case State::Active: return ZTXA_BRANCH_ACTIVE;
    case State::Idle: return branch->rollbackOnly ? ZTXA_BRANCH_ROLLBACK_ONLY : ZTXA_BRANCH_IDLE;
    case State::Prepared: return ZTXA_BRANCH_PREPARED;
    case State::Heuristic: return ZTXA_BRANCH_HEURISTIC;
    }
    return ZTXA_BRANCH_NONE;
}

int ResourceManager::branchCount()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(branches_.size());
}

void ResourceManager::reset()
{
    Table dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_.clear();
        scans_.clear();
        stores_.clear();
        dropped.swap(branches_);
        nextSequence_ = 1;
    }
    // Their work rolls back as the last references go, outside the lock.
}

}  // namespace ztmzse

#include "ResourceManager.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>

#include "StateDirectory.h"
#include "ztm_xa_control.h"

namespace ztmzse {

namespace {

// The flags a caller may give: asynchronous calls are not offered (the
// switch does not announce TMUSEASYNC), so TMASYNC is answered apart.
constexpr long kStartFlags = TMJOIN | TMRESUME | TMNOWAIT;
constexpr long kEndFlags = TMSUCCESS | TMFAIL | TMSUSPEND;
constexpr long kCommitFlags = TMONEPHASE | TMNOWAIT;
constexpr long kRecoverFlags = TMSTARTRSCAN | TMENDRSCAN;

struct OpenOptions {
    std::string qmgr;
    std::string state;  // the state directory, empty when none
};

std::string trimmed(const std::string& s)
{
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The open string: the queue manager's name, then options "name=value"
// separated by ';'. Blanks around names and values do not count, names are
// matched in any case, and ";;" stands for a ';' that is part of a value.
bool parseOpenString(const std::string& text, OpenOptions& out, std::string& error)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ';') {
            parts.back() += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == ';') {
            parts.back() += ';';
            ++i;
        } else {
            parts.emplace_back();
        }
    }
    out = OpenOptions();
    out.qmgr = trimmed(parts[0]);
    if (out.qmgr.find_first_of("; \t") != std::string::npos) {
        error = "bad queue manager name \"" + out.qmgr + "\"";
        return false;
    }
    bool haveState = false;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t eq = parts[i].find('=');
        if (eq == std::string::npos) {
            error = "option \"" + trimmed(parts[i]) + "\" is not name=value";
            return false;
        }
        std::string name = trimmed(parts[i].substr(0, eq));
        const std::string value = trimmed(parts[i].substr(eq + 1));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (name != "state") {
            error = "unknown option \"" + name + "\"";
            return false;
        }
        if (value.empty() || haveState) {
            error = value.empty() ? "state= names no directory" : "state= given twice";
            return false;
        }
        out.state = value;
        haveState = true;
    }
    return true;
}

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

namespace {
// Loaded with the queue manager, before anyone is served: when it starts on
// a state directory, the branches in doubt there hold their messages again.
[[maybe_unused]] const bool restoresAtStart = [] {
    ztmeng::addStartListener([](const std::string& directory, std::string& error) {
        return resourceManager().restore(directory, error);
    });
    return true;
}();
}  // namespace

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
    if (it == branches_.end()) {
        return XAER_NOTA;
    }
    // Another thread is completing it right now.
    return it->second.busy ? XAER_PROTO : XA_OK;
}

ResourceManager::Branch* ResourceManager::find(const XID* xid)
{
    auto it = branches_.find(keyOf(*xid));
    return it == branches_.end() ? nullptr : &it->second;
}

const ResourceManager::Branch* ResourceManager::associatedWith(std::thread::id thread, int rmid) const
{
    for (const auto& entry : branches_) {
        if (entry.second.rmid == rmid && entry.second.associated.count(thread) != 0) {
            return &entry.second;
        }
    }
    return nullptr;
}

void ResourceManager::associate(const Branch& branch)
{
    ztmeng::setThreadTransaction(branch.rmid, open_[branch.rmid].qmgr, branch.work);
}

void ResourceManager::dissociate(const Branch& branch, bool suspended) {
    if (suspended) {
        ztmeng::suspendThreadTransaction(branch.work);
    } else {
        ztmeng::endThreadTransaction(branch.work);
    }
}

bool ResourceManager::restore(const std::string& directory, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<BranchStore> store;
    return storeFor(directory, store, error);
}

bool ResourceManager::storeFor(const std::string& directory, std::shared_ptr<BranchStore>& store,
                               std::string& error) {
    std::shared_ptr<ztmeng::StateDirectory> claimed = ztmeng::StateDirectory::claim(directory, error);
    if (claimed) {
        auto known = stores_.find(claimed->path());
        if (known != stores_.end()) {
            store = known->second;
            return true;
        }
    }
    std::vector<BranchStore::Saved> saved;
    std::shared_ptr<BranchStore> opened = claimed ? BranchStore::open(claimed, error) : nullptr;
    if (opened && !opened->loadAll(saved, error)) {
        opened.reset();
    }
    if (!opened) {
        return false;
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
    stores_.emplace(claimed->path(), opened);
    store = opened;
    return true;
}

bool ResourceManager::unlockedFor(std::unique_lock<std::mutex>& lock, Table::iterator& it,
                                  const std::function<void()>& io)
{
    const Key key = it->first;
    const std::uint64_t sequence = it->second.sequence;
    it->second.busy = true;
    lock.unlock();
    io();
    lock.lock();
    // The table may have been reset meanwhile (the end of the process).
    it = branches_.find(key);
    if (it == branches_.end() || it->second.sequence != sequence) {
        return false;
    }
    it->second.busy = false;
    return true;
}

int ResourceManager::unstore(std::unique_lock<std::mutex>& lock, Table::iterator& it)
{
    const std::shared_ptr<BranchStore> store = it->second.store;
    if (!store) {
        return XA_OK;
    }
    const XID xid = it->second.xid;
    BranchStore::Removed removed = BranchStore::Removed::Failed;
    if (!unlockedFor(lock, it, [&] { removed = store->remove(xid); })) {
        return XAER_RMERR;
    }
    switch (removed) {
    case BranchStore::Removed::Yes: break;
    case BranchStore::Removed::NotThere: return XAER_NOTA;
    case BranchStore::Removed::Failed: return XAER_RMFAIL;
    }
    it->second.store.reset();
    return XA_OK;
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
    // Opening an open instance again with the same string changes nothing.
    auto known = open_.find(rmid);
    if (known != open_.end()) {
        if (known->second.openString == openString) {
            return XA_OK;
        }
        std::fprintf(stderr, "zstXAOpen: rmid %d is open with \"%s\", not \"%s\"\n", rmid,
                     known->second.openString.c_str(), openString);
        return XAER_INVAL;
    }
    OpenOptions options;
    std::string error;
    if (!parseOpenString(openString, options, error)) {
        std::fprintf(stderr, "zstXAOpen: open string \"%s\": %s\n", openString, error.c_str());
        return XAER_INVAL;
    }
    Instance instance;
    instance.openString = openString;
    instance.qmgr = options.qmgr;
    // Without "state=" the branches go where the queue manager keeps its
    // persistent messages, so a recovered branch's messages are kept too.
    const std::string state = options.state.empty() ? ztmeng::stateDirectory() : options.state;
    if (!state.empty() && !storeFor(state, instance.store, error)) {
        std::fprintf(stderr, "zstXAOpen: %s\n", error.c_str());
        return XAER_RMERR;
    }
    open_.emplace(rmid, std::move(instance));
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
        const Branch& branch = entry.second;
        if (branch.rmid == rmid && (branch.associated.count(self) != 0 || branch.suspended.count(self) != 0)) {
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
    // One branch at a time per thread and instance; other instances' branches
    // may be carried side by side.
    const Branch* current = associatedWith(self, rmid);
    Branch* branch = find(xid);
    if ((flags & (TMJOIN | TMRESUME)) == 0) {
        if (current != nullptr) {
            return XAER_PROTO;
        }
        if (branch != nullptr) {
            return XAER_DUPID;
        }
        Branch created;
        created.xid = *xid;
        created.rmid = rmid;
        created.work = ztmeng::Transaction::create();
        created.sequence = nextSequence_++;
        created.associated[self] = 1;
        associate(created);
        branches_.emplace(keyOf(*xid), std::move(created));
        return XA_OK;
    }
    // Another instance's branch is not one this instance can join.
    if (branch == nullptr || branch->rmid != rmid) {
        return XAER_NOTA;
    }
    if (branch->busy) {
        return XAER_PROTO;
    }
    if (current != nullptr && current != branch) {
        return XAER_PROTO;
    }
    if (branch->state == State::Prepared || branch->state == State::Heuristic) {
        return XAER_PROTO;
    }
    if ((flags & TMRESUME) != 0) {
        // Associations do not migrate: only the suspending thread resumes.
        auto held = branch->suspended.find(self);
        if (held == branch->suspended.end()) {
            return XAER_PROTO;
        }
        if (--held->second == 0) {
            branch->suspended.erase(held);
        }
    } else if (branch->rollbackOnly) {
        return XA_RBROLLBACK;
    }
    // A second resource of this instance joining on the same thread adds an
    // association to the one the thread has; its work already goes there.
    if (branch->associated[self]++ == 0) {
        associate(*branch);
    }
    branch->state = State::Active;
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
    if (branch.rmid != rmid) {
        return XAER_NOTA;
    }
    const std::thread::id self = std::this_thread::get_id();
    const auto active = branch.associated.find(self);
    const auto suspended = branch.suspended.find(self);
    // A suspended association may be ended, not suspended again.
    if (active == branch.associated.end() && !(suspended != branch.suspended.end() && how != TMSUSPEND)) {
        return XAER_PROTO;
    }
    if (active != branch.associated.end()) {
        // The thread carries the work until its last association ends.
        if (--active->second == 0) {
            branch.associated.erase(active);
        }
    } else if (--suspended->second == 0) {
        branch.suspended.erase(suspended);
    }
    if (how == TMSUSPEND) {
        ++branch.suspended[self];
    }
    // Suspended, the thread keeps which connections worked in the branch.
    if (branch.associated.count(self) == 0) {
        dissociate(branch, branch.suspended.count(self) != 0);
    }
    if (how == TMSUSPEND) {
        return branch.rollbackOnly ? XA_RBROLLBACK : XA_OK;
    }
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
    std::unique_lock<std::mutex> lock(mutex_);
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
    const std::shared_ptr<BranchStore> store = open_[rmid].store;
    if (store) {
        // On disk before the answer: a prepared branch must outlive us. The
        // sync runs without the lock, shared with other threads' prepares.
        BranchStore::Saved saved;
        saved.xid = branch.xid;
        bool stored = branch.work->held(saved.messages);
        if (!unlockedFor(lock, it, [&] { stored = stored && store->save(saved); })) {
            return XAER_RMERR;
        }
        if (!stored) {
            it->second.work->rollback();
            branches_.erase(it);
            return XAER_RMERR;
        }
        it->second.store = store;
    }
    it->second.state = State::Prepared;
    return XA_OK;
}

int ResourceManager::commit(const XID* xid, int rmid, long flags)
{
    std::unique_lock<std::mutex> lock(mutex_);
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
    // The messages first, the branch's row after: a message store that
    // refuses leaves the branch prepared, in memory and on disk, for the
    // transaction manager to commit again. A crash between the two writes
    // leaves the row of a branch whose messages are kept: the next process
    // has it in doubt again, and committing it again delivers its puts a
    // second time (its gets are gone already). The other order would lose
    // them: the row gone, the puts never kept. A row removed by someone
    // else is not this branch's outcome: checked first, nothing committed.
    const std::shared_ptr<BranchStore> store = branch.store;
    const std::shared_ptr<ztmeng::Transaction> work = branch.work;
    const XID kept = branch.xid;
    BranchStore::Removed there = BranchStore::Removed::Yes;
    BranchStore::Removed removed = BranchStore::Removed::Yes;
    bool committed = false;
    const bool stayed = unlockedFor(lock, it, [&] {
        if (store) there = store->holds(kept);
        committed = there == BranchStore::Removed::Yes && work->commit();
        if (committed && store) removed = store->remove(kept);
    });
    if (removed == BranchStore::Removed::Failed) {
        // Kept all the same: the row only brings the branch back in doubt.
        std::fprintf(stderr, "zstXACommit: committed, but its row stays in %s\n",
                     store->file().c_str());
    }
    if (!stayed) {
        return committed ? XA_OK : XAER_RMERR;
    }
    if (committed || there == BranchStore::Removed::NotThere) {
        branches_.erase(it);
        return committed ? XA_OK : XAER_NOTA;
    }
    // Unchanged. A store that refused is XAER_RMFAIL, "try again": to a
    // transaction manager XAER_RMERR from a commit says the work was rolled
    // back, which is so only of work finished behind the branch's back.
    const ztmeng::Transaction::State now = work->state();
    const bool open =
        now == ztmeng::Transaction::State::Active || now == ztmeng::Transaction::State::Prepared;
    return (there == BranchStore::Removed::Failed || open) ? XAER_RMFAIL : XAER_RMERR;
}

int ResourceManager::rollback(const XID* xid, int rmid, long flags)
{
    std::unique_lock<std::mutex> lock(mutex_);
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
    if (int rc = unstore(lock, it); rc != XA_OK) {
        if (rc == XAER_NOTA) {
            branches_.erase(it);
        }
        return rc;
    }
    it->second.work->rollback();
    branches_.erase(it);
    return XA_OK;
}

int ResourceManager::forget(const XID* xid, int rmid, long flags)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Table::iterator it;
    if (int rc = lookup(xid, rmid, flags, TMNOFLAGS, it); rc != XA_OK) {
        return rc;
    }
    if (it->second.state != State::Heuristic) {
        return XAER_PROTO;
    }
    const int rc = unstore(lock, it);
    if (rc == XA_OK || rc == XAER_NOTA) {
        branches_.erase(it);
    }
    return rc;
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
    if (branch == nullptr || branch->state != State::Prepared || branch->busy) {
        return -1;
    }
    // A heuristic commit keeps its messages first, as commit does; a
    // rollback writes none, only the outcome.
    if (outcome == XA_HEURCOM && !branch->work->commit()) {
        return -1;
    }
    if (branch->store && !branch->store->setHeuristic(*xid, outcome)) {
        if (outcome == XA_HEURRB) {
            return -1;
        }
        std::fprintf(stderr, "ztmXAHeuristic: committed, but %s still has it prepared\n",
                     branch->store->file().c_str());
    }
    if (outcome == XA_HEURRB) {
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

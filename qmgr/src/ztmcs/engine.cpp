// Engine state, units of work and the connection verbs.
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "state.h"

namespace ztmeng {

namespace {
std::atomic<bool> g_forkedChild{false};

// A child forked without exec copies the engine, but its connections, queues
// and store are the parent's: the child's queue manager is unavailable. They
// are set aside, never used or destroyed (closing the store would write the
// parent's files), and every verb answers ZTRC_QMGR_NOT_AVAILABLE until a
// reset (the XA resource manager keeps its own state and decides for it).
// The lock is held across fork so that the copy is whole; the state
// directories' handler, registered earlier, runs after this one and before
// it in the child, keeping the order in which both locks are taken.
void lockForFork() {
    engine().mu.lock();
}
void unlockInParent() {
    engine().mu.unlock();
}
void disownInChild() {
    Engine& e = engine();
    new OldState{std::move(e.qmgrs), std::move(e.conns), std::move(e.store)};  // never freed
    e.qmgrs.clear();
    e.conns.clear();
    e.unavailable = "forked from the process that owns the queue manager";
    g_forkedChild = true;
    e.mu.unlock();
}

// The start listeners (addStartListener), and whether the engine has started.
struct StartListeners {
    std::mutex mu;
    std::vector<StartListener> list;
    bool started = false;
};
StartListeners& startListeners() {
    static auto* l = new StartListeners;  // outlives static destructors
    return *l;
}
// The engine being started, for the starting thread's listeners alone: every
// other thread waits for the start to finish. Once started, one load.
std::atomic<bool> g_starting{false};
Engine* g_startingEngine = nullptr;
std::thread::id g_startingThread;

// The state directory of a process comes from ZT_STATE_DIRECTORY, read once
// when the engine starts; a directory that cannot be used leaves the queue
// manager unavailable (every connect refused) rather than running without
// what it was told to keep.
Engine* startEngine() {
    auto* e = new Engine;
    pthread_atfork(lockForFork, unlockInParent, disownInChild);
    const char* directory = std::getenv("ZT_STATE_DIRECTORY");
    std::string error;
    if (directory != nullptr && *directory != '\0' && !attachStoreLocked(*e, directory, error)) {
        e->unavailable = error;
        std::fprintf(stderr, "ztm: state directory refused: %s\n", error.c_str());
    }
    g_startingEngine = e;
    g_startingThread = std::this_thread::get_id();
    g_starting.store(true, std::memory_order_release);
    startedOnStateDirectory();
    g_starting.store(false, std::memory_order_release);
    return e;
}
}  // namespace

Engine& engine() {
    if (g_starting.load(std::memory_order_acquire) &&
        g_startingThread == std::this_thread::get_id())
        return *g_startingEngine;
    static Engine* e = startEngine();  // never destroyed: threads may still use it at exit
    return *e;
}

bool forkedChild() {
    return g_forkedChild.load(std::memory_order_relaxed);
}

void addStartListener(StartListener listener) {
    StartListeners& l = startListeners();
    std::unique_lock<std::mutex> lock(l.mu);
    l.list.push_back(listener);
    if (!l.started) return;
    // Loaded after the start: restore now, late as it is.
    lock.unlock();
    startedOnStateDirectory(&listener);
}

void startedOnStateDirectory(const StartListener* only) {
    std::vector<StartListener> listeners;
    {
        StartListeners& l = startListeners();
        std::lock_guard<std::mutex> lock(l.mu);
        l.started = true;
        listeners = only != nullptr ? std::vector<StartListener>{*only} : l.list;
    }
    const std::string directory = stateDirectory();
    if (directory.empty()) return;
    for (const StartListener& listener : listeners) {
        std::string error;
        if (listener(directory, error)) continue;
        std::fprintf(stderr, "ztm: state directory refused: %s\n", error.c_str());
        std::lock_guard<std::mutex> lock(engine().mu);
        engine().unavailable = error;
    }
}

// ---------------------------------------------------------------- helpers

std::string fieldName(const char* field, size_t width) {
    if (field == nullptr) return std::string();
    size_t n = 0;
    while (n < width && field[n] != '\0') ++n;
    while (n > 0 && field[n - 1] == ' ') --n;
    return std::string(field, n);
}

void setField(char* field, size_t width, const std::string& s) {
    std::memset(field, 0, width);
    std::memcpy(field, s.data(), std::min(width, s.size()));
}

bool eyeCatcherIs(const char* field, const char* expected) {
    return std::memcmp(field, expected, 4) == 0;
}

ConnPtr findConn(ZTLONG hconn) {
    auto& conns = engine().conns;
    auto it = conns.find(hconn);
    return it == conns.end() ? nullptr : it->second;
}

QMgrPtr qmgrNamed(const std::string& name) {
    auto& qmgrs = engine().qmgrs;
    auto it = qmgrs.find(name);
    if (it != qmgrs.end()) return it->second;
    auto qm = std::make_shared<QMgr>();
    qm->name = name;
    qmgrs.emplace(name, qm);
    return qm;
}

QueuePtr queueNamed(QMgr& qm, const std::string& name) {
    auto it = qm.queues.find(name);
    if (it != qm.queues.end()) return it->second;
    auto q = std::make_shared<Queue>();
    q->name = name;
    q->qmgr = &qm;
    qm.queues.emplace(name, q);
    return q;
}

void setStateLocked(Queue& q, Message& m, Message::State s) {
    if (m.state == Message::State::Visible) --q.visible;
    if (s == Message::State::Visible) ++q.visible;
    m.state = s;
}

void removeMessageLocked(Queue& q, const MsgPtr& m) {
    auto it = q.msgs.find(m->seq);
    if (it == q.msgs.end() || it->second != m) return;
    if (m->state == Message::State::Visible) --q.visible;
    q.msgs.erase(it);
}

// ------------------------------------------------------- units of work

namespace {
// The thread's XA branches in the order they were started. A suspended one
// takes no work but keeps its place and connections for its resume.
struct ThreadBranch {
    int rmid = 0;
    std::string qmgr;
    std::shared_ptr<Transaction> transaction;
    std::vector<ZTLONG> connections;  // the ones whose work joined it
    bool suspended = false;
};
thread_local std::vector<ThreadBranch> t_threadBranches;

std::vector<ThreadBranch>::iterator threadEntryOf(const std::shared_ptr<Transaction>& t) {
    return std::find_if(t_threadBranches.begin(), t_threadBranches.end(),
                        [&](const ThreadBranch& b) { return b.transaction == t; });
}

bool joinedBy(const ThreadBranch& b, ZTLONG hconn) {
    return std::find(b.connections.begin(), b.connections.end(), hconn) != b.connections.end();
}


void forgetKey(Queue& q, const Message& m) {
    if (!m.key.empty() && q.qmgr != nullptr) {
        auto it = q.qmgr->deferred.find(m.key);
        if (it != q.qmgr->deferred.end() && it->second.second.get() == &m)
            q.qmgr->deferred.erase(it);
    }
}
}  // namespace

Transaction* threadBranchFor(const Connection& c) {
    auto& branches = t_threadBranches;
    if (branches.empty()) return nullptr;
    for (ThreadBranch& b : branches)
        if (!b.suspended && joinedBy(b, c.id)) return b.transaction.get();
    const std::string& name = c.qmgr ? c.qmgr->name : std::string();
    const bool named = std::any_of(branches.begin(), branches.end(), [&](const ThreadBranch& b) {
        return !b.suspended && b.qmgr == name;
    });
    ThreadBranch* chosen = nullptr;
    for (ThreadBranch& b : branches) {
        if (b.suspended || (named && b.qmgr != name)) continue;
        if (chosen == nullptr) chosen = &b;
        if (b.connections.empty()) {
            chosen = &b;
            break;
        }
    }
    if (chosen == nullptr) return nullptr;
    chosen->connections.push_back(c.id);
    return chosen->transaction.get();
}

MessageStore::Row storeRow(const Queue& q, const Message& m) {
    MessageStore::Row row;
    row.id = m.durableId;
    row.qmgr = q.qmgr != nullptr ? q.qmgr->name : std::string();
    row.queue = q.name;
    row.md = m.md;
    row.data = m.data;
    return row;
}

void StoreSync::take(MessageStore::Change change) {
    if (!store_) store_ = engine().store;
    changes_.push_back(std::move(change));
}

void StoreSync::put(const QueuePtr& q, const MsgPtr& m) {
    setStateLocked(*q, *m, Message::State::Storing);
    take(MessageStore::Change{m->durableId, std::make_unique<MessageStore::Row>(storeRow(*q, *m))});
    puts_.emplace_back(q, m);
}

void StoreSync::get(const QueuePtr& q, const MsgPtr& m) {
    setStateLocked(*q, *m, Message::State::Storing);
    take(MessageStore::Change{m->durableId, nullptr});
    gets_.emplace_back(q, m);
}

bool StoreSync::commit(Transaction::Impl& t, std::shared_ptr<Transaction> hold) {
    if (engine().store) {
        for (const Op& op : t.ops) {
            const Message& m = *op.msg;
            if (m.durableId == 0) continue;
            if (op.kind == Op::Kind::Put)
                take(MessageStore::Change{
                    m.durableId, std::make_unique<MessageStore::Row>(storeRow(*op.queue, m))});
            else if (op.kind == Op::Kind::Get)
                take(MessageStore::Change{m.durableId, nullptr});
        }
    }
    if (!store_) {
        commitLocked(t);
        return true;
    }
    t.storing = true;
    committing_ = &t;
    hold_ = std::move(hold);
    return false;
}

bool StoreSync::finish() {
    if (!store_) return true;
    std::string error;
    const bool kept = store_->keep(std::move(changes_), error);
    if (!kept) std::fprintf(stderr, "ztm: refused, not done: %s\n", error.c_str());
    Engine& e = engine();
    {
        std::lock_guard<std::mutex> lock(e.mu);
        for (auto& put : puts_) {
            if (kept)
                setStateLocked(*put.first, *put.second, Message::State::Visible);
            else
                removeMessageLocked(*put.first, put.second);
        }
        for (auto& got : gets_) {
            if (kept)
                removeMessageLocked(*got.first, got.second);
            else
                setStateLocked(*got.first, *got.second, Message::State::Visible);
        }
        if (committing_ != nullptr) {
            Transaction::Impl& t = *committing_;
            t.storing = false;
            // A reset meanwhile rolled it back in memory; the store has it.
            if (kept &&
                (t.state == Transaction::State::Active || t.state == Transaction::State::Prepared))
                commitLocked(t);
        }
    }
    e.changed.notify_all();
    store_.reset();
    return kept;
}

void commitLocked(Transaction::Impl& t) {
    for (Op& op : t.ops) {
        Queue& q = *op.queue;
        Message& m = *op.msg;
        m.owner = nullptr;
        switch (op.kind) {
        case Op::Kind::Put:
            setStateLocked(q, m, m.deferred ? Message::State::Deferred : Message::State::Visible);
            break;
        case Op::Kind::Get:
            removeMessageLocked(q, op.msg);
            break;
        case Op::Kind::Activate:
            if (m.state == Message::State::Deferred) setStateLocked(q, m, Message::State::Visible);
            forgetKey(q, m);
            break;
        case Op::Kind::Cancel:
            forgetKey(q, m);
            removeMessageLocked(q, op.msg);
            break;
        }
    }
    t.ops.clear();
    t.state = Transaction::State::Committed;
    engine().changed.notify_all();
}

void rollbackLocked(Transaction::Impl& t) {
    for (auto it = t.ops.rbegin(); it != t.ops.rend(); ++it) {
        Queue& q = *it->queue;
        Message& m = *it->msg;
        m.owner = nullptr;
        switch (it->kind) {
        case Op::Kind::Put:
            forgetKey(q, m);
            removeMessageLocked(q, it->msg);
            break;
        case Op::Kind::Get:
            ++m.md.backoutCount;
            setStateLocked(q, m, Message::State::Visible);
            break;
        case Op::Kind::Activate:
        case Op::Kind::Cancel:
            break;  // the message stays deferred
        }
    }
    t.ops.clear();
    t.state = Transaction::State::RolledBack;
    engine().changed.notify_all();
}

Transaction::Transaction() : impl_(new Impl) {}

Transaction::~Transaction() {
    // Only an unfinished transaction needs the lock; the engine finishes its
    // own ones before dropping them while it holds the lock.
    if (impl_->state == State::Active || impl_->state == State::Prepared) {
        std::lock_guard<std::mutex> lock(engine().mu);
        rollbackLocked(*impl_);
    }
}

std::shared_ptr<Transaction> Transaction::create() {
    return std::shared_ptr<Transaction>(new Transaction);
}

Transaction::State Transaction::state() const {
    std::lock_guard<std::mutex> lock(engine().mu);
    return impl_->state;
}

size_t Transaction::pendingOperations() const {
    std::lock_guard<std::mutex> lock(engine().mu);
    return impl_->ops.size();
}

bool Transaction::prepare() {
    std::lock_guard<std::mutex> lock(engine().mu);
    if (!takesWork(*impl_)) return false;
    impl_->state = State::Prepared;
    return true;
}

bool Transaction::commit() {
    StoreSync sync;
    {
        std::lock_guard<std::mutex> lock(engine().mu);
        if ((impl_->state != State::Active && impl_->state != State::Prepared) || impl_->storing)
            return false;
        if (sync.commit(*impl_, nullptr)) return true;
    }
    // Kept, then committed; a store that refused leaves it as it was.
    return sync.finish();
}

bool Transaction::rollback() {
    std::lock_guard<std::mutex> lock(engine().mu);
    if ((impl_->state != State::Active && impl_->state != State::Prepared) || impl_->storing)
        return false;
    rollbackLocked(*impl_);
    return true;
}

void setThreadTransaction(std::shared_ptr<Transaction> transaction) {
    t_threadBranches.clear();
    if (transaction) t_threadBranches.push_back(ThreadBranch{0, std::string(), std::move(transaction), {}});
}

void setThreadTransaction(int rmid, const std::string& qmgr, std::shared_ptr<Transaction> transaction) {
    auto& branches = t_threadBranches;
    // A suspended branch finished meanwhile by another thread is not resumed.
    branches.erase(std::remove_if(branches.begin(), branches.end(),
                                  [](const ThreadBranch& b) {
                                      return b.suspended &&
                                             b.transaction->state() != Transaction::State::Active;
                                  }),
                   branches.end());
    auto resumed = transaction ? threadEntryOf(transaction) : branches.end();
    if (resumed != branches.end()) {
        resumed->suspended = false;
        return;
    }
    auto it = std::find_if(branches.begin(), branches.end(), [rmid](const ThreadBranch& b) {
        return !b.suspended && b.rmid == rmid;
    });
    if (it != branches.end()) branches.erase(it);
    if (transaction) branches.push_back(ThreadBranch{rmid, qmgr, std::move(transaction), {}});
}

void suspendThreadTransaction(const std::shared_ptr<Transaction>& transaction) {
    auto it = threadEntryOf(transaction);
    if (it != t_threadBranches.end()) it->suspended = true;
}

void endThreadTransaction(const std::shared_ptr<Transaction>& transaction) {
    auto it = threadEntryOf(transaction);
    if (it != t_threadBranches.end()) t_threadBranches.erase(it);
}

std::shared_ptr<Transaction> threadTransaction() {
    for (const ThreadBranch& b : t_threadBranches)
        if (!b.suspended) return b.transaction;
    return nullptr;
}

std::shared_ptr<Transaction> threadTransaction(int rmid) {
    for (const ThreadBranch& b : t_threadBranches)
        if (!b.suspended && b.rmid == rmid) return b.transaction;
    return nullptr;
}

bool implicitSyncpoint(const Connection& c) {
    return c.begun || threadTransaction() != nullptr;
}

Transaction::Impl* syncpointTarget(Connection& c, ZTLONG& reason) {
    Transaction* branch = threadBranchFor(c);
    if (branch == nullptr) {
        if (!c.uow) c.uow = Transaction::create();
        branch = c.uow.get();
    }
    Transaction::Impl& t = branch->impl();
    if (!takesWork(t)) {
        reason = ZTRC_UOW_NOT_ACTIVE;
        return nullptr;
    }
    return &t;
}

// ------------------------------------------------------------ connections

void closeHandleLocked(Handle& h) {
    const bool input = (h.options & (ZTOO_INPUT_SHARED | ZTOO_INPUT_EXCLUSIVE)) != 0;
    if (!input) return;
    for (Destination& d : h.dests) {
        if (!d.queue) continue;
        if (d.queue->inputOpeners > 0) --d.queue->inputOpeners;
        if (h.options & ZTOO_INPUT_EXCLUSIVE) d.queue->exclusiveInput = false;
    }
}

void endConnectionLocked(Connection& c) {
    for (auto& kv : c.handles) closeHandleLocked(kv.second);
    c.handles.clear();
    // Committed by the caller: dropping it here never needs the lock.
    if (c.uow) {
        Transaction::Impl& t = c.uow->impl();
        if (t.state == Transaction::State::Active) commitLocked(t);
        c.uow.reset();
    }
    c.begun = false;
    c.live = false;
    engine().changed.notify_all();
}

OldState resetLocked() {
    Engine& e = engine();
    OldState old;
    old.qmgrs.swap(e.qmgrs);
    old.conns.swap(e.conns);
    for (auto& kv : old.conns) {
        Connection& c = *kv.second;
        c.live = false;
        // Finished here, under the lock, so that dropping the connection
        // later never needs the lock (a waiting get may drop the last one).
        if (c.uow) {
            Transaction::Impl& t = c.uow->impl();
            if (t.state == Transaction::State::Active || t.state == Transaction::State::Prepared)
                rollbackLocked(t);
        }
    }
    e.spiAvailable = true;
    old.store = std::move(e.store);
    e.unavailable.clear();
    g_forkedChild = false;
    e.nextDurableId = 1;
    return old;
}

bool attachStoreLocked(Engine& e, const std::string& directory, std::string& error) {
    std::vector<MessageStore::Row> rows;
    std::unique_ptr<MessageStore> store = MessageStore::open(directory, rows, error);
    if (!store) return false;
    // Engine& given, not engine(): this runs while the engine starts too.
    for (MessageStore::Row& row : rows) {
        auto found = e.qmgrs.find(row.qmgr);
        if (found == e.qmgrs.end()) {
            auto qm = std::make_shared<QMgr>();
            qm->name = row.qmgr;
            found = e.qmgrs.emplace(row.qmgr, qm).first;
        }
        Queue& q = *queueNamed(*found->second, row.queue);
        auto m = std::make_shared<Message>();
        m->seq = e.nextSeq++;
        m->md = row.md;
        m->data = std::move(row.data);
        m->durableId = row.id;
        m->state = Message::State::Visible;
        q.msgs.emplace(m->seq, m);
        ++q.visible;
        e.nextDurableId = std::max(e.nextDurableId, row.id + 1);
    }
    e.store = std::move(store);
    return true;
}

std::string stateDirectory() {
    std::lock_guard<std::mutex> lock(engine().mu);
    return engine().store ? engine().store->directory() : std::string();
}

namespace {

bool validName(const std::string& name) {
    if (name.empty()) return false;
    for (char ch : name) {
        const bool ok = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                        (ch >= '0' && ch <= '9') || ch == '.' || ch == '_' || ch == '/' ||
                        ch == '%';
        if (!ok) return false;
    }
    return true;
}

void connect(const char* qmgrName, ZTLONG* hconn, ZTLONG& cc, ZTLONG& rc) {
    if (qmgrName == nullptr) return fail(cc, rc, ZTRC_QMGR_NAME_ERROR);
    if (hconn == nullptr) return fail(cc, rc, ZTRC_HCONN_ERROR);
    std::string name = fieldName(qmgrName, ZT_QMGR_NAME_LENGTH);
    if (name.empty()) name = ZT_DEFAULT_QMGR_NAME;
    if (!validName(name) || namesNothing(name))
        return fail(cc, rc, ZTRC_QMGR_NAME_ERROR);
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mu);
    if (!e.unavailable.empty()) return fail(cc, rc, ZTRC_QMGR_NOT_AVAILABLE);
    auto c = std::make_shared<Connection>();
    c->id = e.nextHconn++;
    c->qmgr = qmgrNamed(name);
    e.conns.emplace(c->id, c);
    *hconn = c->id;
}

bool badConnectOptions(const ZTCNO* cno) {
    return cno != nullptr && !eyeCatcherIs(cno->eyeCatcher, ZTCNO_EYE_CATCHER);
}

}  // namespace

bool validObjectName(const std::string& name) { return validName(name); }

bool namesNothing(const std::string& name) { return name.compare(0, 6, "NOSUCH") == 0; }

namespace verbs {

void ZTCONN(char* qmgrName, ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason) {
    Call call("ZTCONN");
    call.pointer("qmgrName", qmgrName).pointer("hconn", hconn)
        .pointer("compCode", compCode).pointer("reason", reason)
        .record("qmgrName", qmgrName, ZT_QMGR_NAME_LENGTH);
    void* args[] = {qmgrName, hconn, compCode, reason};
    Outs outs;
    outs.hconn = hconn;
    call.run(args, compCode, reason, outs,
             [&](ZTLONG& cc, ZTLONG& rc) { connect(qmgrName, hconn, cc, rc); });
}

void ZTCONNX(char* qmgrName, ZTCNO* connectOptions, ZTLONG* hconn, ZTLONG* compCode,
             ZTLONG* reason) {
    Call call("ZTCONNX");
    call.pointer("qmgrName", qmgrName).pointer("ZTCNO", connectOptions).pointer("hconn", hconn)
        .pointer("compCode", compCode).pointer("reason", reason)
        .record("qmgrName", qmgrName, ZT_QMGR_NAME_LENGTH)
        .record("ZTCNO", connectOptions, sizeof(ZTCNO));
    void* args[] = {qmgrName, connectOptions, hconn, compCode, reason};
    Outs outs;
    outs.hconn = hconn;
    call.run(args, compCode, reason, outs, [&](ZTLONG& cc, ZTLONG& rc) {
        if (badConnectOptions(connectOptions)) return fail(cc, rc, ZTRC_RECORD_ERROR);
        connect(qmgrName, hconn, cc, rc);
    });
}

void lpiSPIZTConnect(char* qmgrName, ZTLCNO* spiConnect, ZTCNO* connectOptions, ZTLONG* hconn,
                     ZTLONG* compCode, ZTLONG* reason) {
    Call call("lpiSPIZTConnect");
    call.pointer("qmgrName", qmgrName).pointer("ZTLCNO", spiConnect)
        .pointer("ZTCNO", connectOptions).pointer("hconn", hconn)
        .pointer("compCode", compCode).pointer("reason", reason)
        .record("qmgrName", qmgrName, ZT_QMGR_NAME_LENGTH)
        .record("ZTLCNO", spiConnect, sizeof(ZTLCNO))
        .record("ZTCNO", connectOptions, sizeof(ZTCNO));
    void* args[] = {qmgrName, spiConnect, connectOptions, hconn, compCode, reason};
    Outs outs;
    outs.hconn = hconn;
    call.run(args, compCode, reason, outs, [&](ZTLONG& cc, ZTLONG& rc) {
        {
            std::lock_guard<std::mutex> lock(engine().mu);
            if (!engine().spiAvailable) return fail(cc, rc, ZTRC_UNEXPECTED_ERROR);
        }
        if (spiConnect == nullptr || !eyeCatcherIs(spiConnect->eyeCatcher, ZTLCNO_EYE_CATCHER) ||
            badConnectOptions(connectOptions))
            return fail(cc, rc, ZTRC_RECORD_ERROR);
        connect(qmgrName, hconn, cc, rc);
    });
}

void ZTDISC(ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason) {
    Call call("ZTDISC");
    if (hconn != nullptr) call.arg("hconn", *hconn);
    call.pointer("hconn", hconn).pointer("compCode", compCode).pointer("reason", reason);
    void* args[] = {hconn, compCode, reason};
    Outs outs;
    outs.hconn = hconn;
    call.run(args, compCode, reason, outs, [&](ZTLONG& cc, ZTLONG& rc) {
        if (hconn == nullptr) return fail(cc, rc, ZTRC_HCONN_ERROR);
        Engine& e = engine();
        StoreSync sync;
        std::shared_ptr<Transaction> uow;  // its commit being kept
        {
            std::lock_guard<std::mutex> lock(e.mu);
            ConnPtr c = findConn(*hconn);
            if (!c) return fail(cc, rc, ZTRC_HCONN_ERROR);
            // A normal disconnect commits the connection's own unit of work.
            if (c->uow && !takesWork(c->uow->impl())) return fail(cc, rc, ZTRC_UOW_NOT_ACTIVE);
            if (c->uow && !sync.commit(c->uow->impl(), c->uow)) uow = c->uow;
        }
        // Not kept: still connected, its unit of work open, as before.
        if (uow && !sync.finish()) return fail(cc, rc, ZTRC_STORE_ERROR);
        std::lock_guard<std::mutex> lock(e.mu);
        if (ConnPtr c = findConn(*hconn)) {
            endConnectionLocked(*c);
            e.conns.erase(*hconn);
        }
        *hconn = ZTHC_UNUSABLE_HCONN;
    });
}

void ZTBEGIN(ZTLONG hconn, ZTBO* beginOptions, ZTLONG* compCode, ZTLONG* reason) {
    Call call("ZTBEGIN");
    call.arg("hconn", hconn).pointer("ZTBO", beginOptions)
        .pointer("compCode", compCode).pointer("reason", reason)
        .record("ZTBO", beginOptions, sizeof(ZTBO));
    void* args[] = {&hconn, beginOptions, compCode, reason};
    call.run(args, compCode, reason, Outs(), [&](ZTLONG& cc, ZTLONG& rc) {
        std::lock_guard<std::mutex> lock(engine().mu);
        ConnPtr c = findConn(hconn);
        if (!c) return fail(cc, rc, ZTRC_HCONN_ERROR);
        if (beginOptions != nullptr && !eyeCatcherIs(beginOptions->eyeCatcher, ZTBO_EYE_CATCHER))
            return fail(cc, rc, ZTRC_RECORD_ERROR);
        if (threadTransaction()) return fail(cc, rc, ZTRC_UOW_UNDER_XA);
        if (c->begun || (c->uow && !c->uow->impl().ops.empty()))
            return fail(cc, rc, ZTRC_UOW_IN_PROGRESS);
        c->begun = true;
        if (!c->uow) c->uow = Transaction::create();
    });
}

namespace {
void endUnitOfWork(const char* function, ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason,
                   bool commit) {
    Call call(function);
    call.arg("hconn", hconn).pointer("compCode", compCode).pointer("reason", reason);
    void* args[] = {&hconn, compCode, reason};
    call.run(args, compCode, reason, Outs(), [&](ZTLONG& cc, ZTLONG& rc) {
        StoreSync sync;
        std::shared_ptr<Transaction> uow;  // its commit being kept
        {
            std::lock_guard<std::mutex> lock(engine().mu);
            ConnPtr c = findConn(hconn);
            if (!c) return fail(cc, rc, ZTRC_HCONN_ERROR);
            if (threadTransaction()) return fail(cc, rc, ZTRC_UOW_UNDER_XA);
            if (c->uow && !takesWork(c->uow->impl())) return fail(cc, rc, ZTRC_UOW_NOT_ACTIVE);
            if (c->uow && commit && !sync.commit(c->uow->impl(), c->uow)) {
                uow = c->uow;
            } else {
                if (c->uow && !commit) rollbackLocked(c->uow->impl());
                c->uow.reset();
                c->begun = false;
                return;
            }
        }
        // Not kept: the unit of work stays open, as it was.
        if (!sync.finish()) return fail(cc, rc, ZTRC_STORE_ERROR);
        std::lock_guard<std::mutex> lock(engine().mu);
        ConnPtr c = findConn(hconn);
        if (c && c->uow == uow) {
            c->uow.reset();
            c->begun = false;
        }
    });
}
}  // namespace

void ZTCMIT(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason) {
    endUnitOfWork("ZTCMIT", hconn, compCode, reason, true);
}

void ZTBACK(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason) {
    endUnitOfWork("ZTBACK", hconn, compCode, reason, false);
}

}  // namespace verbs
}  // namespace ztmeng

// ------------------------------------------------------ control: state

namespace ztmctl {

using namespace ztmeng;

void setSpiConnectAvailable(bool available) {
    std::lock_guard<std::mutex> lock(engine().mu);
    engine().spiAvailable = available;
}

size_t liveConnections() {
    std::lock_guard<std::mutex> lock(engine().mu);
    return engine().conns.size();
}

bool isLiveConnection(int32_t hconn) {
    std::lock_guard<std::mutex> lock(engine().mu);
    return findConn(hconn) != nullptr;
}

bool unitOfWorkOpen(int32_t hconn) {
    std::lock_guard<std::mutex> lock(engine().mu);
    ConnPtr c = findConn(hconn);
    return c && (c->begun || (c->uow && !c->uow->impl().ops.empty()));
}

size_t openHandles(int32_t hconn) {
    std::lock_guard<std::mutex> lock(engine().mu);
    ConnPtr c = findConn(hconn);
    return c ? c->handles.size() : 0;
}

namespace {
QueuePtr lookupQueue(const std::string& queue, const std::string& qmgr) {
    const std::string qmName = qmgr.empty() ? std::string(ZT_DEFAULT_QMGR_NAME) : qmgr;
    auto it = engine().qmgrs.find(qmName);
    if (it == engine().qmgrs.end()) return nullptr;
    auto q = it->second->queues.find(queue);
    return q == it->second->queues.end() ? nullptr : q->second;
}
}  // namespace

size_t visibleDepth(const std::string& queue, const std::string& qmgr) {
    std::lock_guard<std::mutex> lock(engine().mu);
    QueuePtr q = lookupQueue(queue, qmgr);
    return q ? q->visible : 0;
}

size_t totalDepth(const std::string& queue, const std::string& qmgr) {
    std::lock_guard<std::mutex> lock(engine().mu);
    QueuePtr q = lookupQueue(queue, qmgr);
    return q ? q->msgs.size() : 0;
}

bool queueExists(const std::string& queue, const std::string& qmgr) {
    std::lock_guard<std::mutex> lock(engine().mu);
    return lookupQueue(queue, qmgr) != nullptr;
}

}  // namespace ztmctl

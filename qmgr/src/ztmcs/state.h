// The engine's state, private to libztmcs. Everything here is guarded by
// Engine::mu.
#ifndef ZTM_STATE_H
#define ZTM_STATE_H

#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "MessageStore.h"
#include "engine.h"

namespace ztmeng {

struct Message {
    enum class State {
        Visible,     // a get can take it
        PendingPut,  // put under syncpoint, not committed yet
        LockedGet,   // got under syncpoint, not committed yet
        Deferred,    // put deferred, waiting for activation
        Storing,     // put or got outside syncpoint, its change not yet kept
    };
    uint64_t seq = 0;  // position on its queue (FIFO order)
    ZTMD md{};         // the stored descriptor (all fields, version 2)
    std::vector<uint8_t> data;
    State state = State::Visible;
    bool deferred = false;               // becomes Deferred, not Visible, on commit
    Transaction::Impl* owner = nullptr;  // unit of work holding it, if any
    std::string key;                     // deferred-message key (24 bytes)
    // A persistent message while the engine has a message store: its id
    // there (on disk once its put is committed). 0 otherwise.
    uint64_t durableId = 0;
};
using MsgPtr = std::shared_ptr<Message>;

struct QMgr;

struct Queue {
    std::string name;
    QMgr* qmgr = nullptr;
    std::map<uint64_t, MsgPtr> msgs;  // every message it holds, by seq
    size_t visible = 0;               // how many of them are Visible
    int32_t maxDepth = ZT_DEFAULT_MAX_DEPTH;
    int32_t inhibitGet = 0;
    int32_t inhibitPut = 0;
    int inputOpeners = 0;
    bool exclusiveInput = false;
};
using QueuePtr = std::shared_ptr<Queue>;

struct QMgr {
    std::string name;
    std::unordered_map<std::string, QueuePtr> queues;
    // Deferred messages by key, from the put until commit of activate/cancel.
    std::unordered_map<std::string, std::pair<QueuePtr, MsgPtr>> deferred;
};
using QMgrPtr = std::shared_ptr<QMgr>;

// One entry of an open object: the queue itself, or one destination of a list.
struct Destination {
    ZTLONG compCode = 0;  // result of the open for this destination
    ZTLONG reason = 0;
    QueuePtr queue;       // null when the open failed for it
};

struct Handle {
    ZTLONG options = 0;
    bool list = false;
    std::vector<Destination> dests;  // one entry, or one per object record
};

struct Connection {
    ZTLONG id = 0;
    QMgrPtr qmgr;
    bool live = true;
    bool begun = false;                // ZTBEGIN seen
    std::shared_ptr<Transaction> uow;  // own unit of work, null when none
    std::map<ZTLONG, Handle> handles;
};
using ConnPtr = std::shared_ptr<Connection>;

struct Op {
    enum class Kind { Put, Get, Activate, Cancel };
    Kind kind;
    QueuePtr queue;
    MsgPtr msg;
};

struct Transaction::Impl {
    State state = State::Active;
    bool storing = false;  // its commit is being kept: it takes no more work
    std::vector<Op> ops;
};

struct Engine {
    std::mutex mu;
    // The state directory's message store, null without one (then nothing is
    // kept). unavailable: why the directory named at start was refused;
    // connections are refused until a reset.
    std::shared_ptr<MessageStore> store;
    std::string unavailable;
    uint64_t nextDurableId = 1;
    std::condition_variable changed;  // messages became visible, or state went away
    std::unordered_map<std::string, QMgrPtr> qmgrs;
    std::unordered_map<ZTLONG, ConnPtr> conns;
    ZTLONG nextHconn = 1;   // never reset: old handles stay dead
    ZTLONG nextHobj = 1;
    uint64_t nextSeq = 1;
    uint64_t idCounter = 0;
    bool spiAvailable = true;
};

Engine& engine();
// True in a child forked (without exec) after the engine started, until a
// reset: every verb answers ZTRC_QMGR_NOT_AVAILABLE.
bool forkedChild();

// Helpers; all expect Engine::mu held unless said otherwise.

inline void fail(ZTLONG& cc, ZTLONG& rc, ZTLONG reason) {
    cc = ZTCC_FAILED;
    rc = reason;
}

// A fixed-width name field as a string: up to the first NUL, trailing blanks
// dropped. Null gives "".
std::string fieldName(const char* field, size_t width);
// Writes s into a fixed field, NUL padded, cut to the width.
void setField(char* field, size_t width, const std::string& s);
bool eyeCatcherIs(const char* field, const char* expected);

ConnPtr findConn(ZTLONG hconn);
QMgrPtr qmgrNamed(const std::string& name);  // creating it
QueuePtr queueNamed(QMgr& qm, const std::string& name);  // creating it

// The transaction that syncpoint work of this connection joins, created
// implicitly for the connection when needed. reason set and null returned
// when the thread's branch cannot take work.
Transaction::Impl* syncpointTarget(Connection& c, ZTLONG& reason);
// The calling thread's XA branch this connection's syncpoint work goes to
// (the rule is in engine.h), or null when the thread has none.
Transaction* threadBranchFor(const Connection& c);
// True when a get or put with neither syncpoint option runs under syncpoint.
bool implicitSyncpoint(const Connection& c);

// The persistent changes of one verb, kept before they are published:
// gathered with the engine lock held, the message of a put or a get outside
// syncpoint is Storing (no get sees it) and a committing unit of work takes
// no more work; finish(), once the lock is released, writes and syncs them,
// then publishes (the put visible, the got message gone, the commit made) or,
// when the store refused, undoes what was prepared, so that nothing changed.
// A verb holds one, outside its lock.
class StoreSync {
public:
    void put(const QueuePtr& q, const MsgPtr& m);
    void get(const QueuePtr& q, const MsgPtr& m);
    // The commit of t: made at once (true) when it changes nothing kept;
    // otherwise t is storing until finish() commits it. `hold` (may be null)
    // keeps t alive meanwhile.
    bool commit(Transaction::Impl& t, std::shared_ptr<Transaction> hold);
    // Without the engine lock. false when the store refused (said on stderr).
    bool finish();

private:
    void take(MessageStore::Change change);

    std::shared_ptr<MessageStore> store_;
    std::vector<MessageStore::Change> changes_;
    std::vector<std::pair<QueuePtr, MsgPtr>> puts_, gets_;
    Transaction::Impl* committing_ = nullptr;
    std::shared_ptr<Transaction> hold_;
};

// The unit of work's puts visible, gets final, in memory.
void commitLocked(Transaction::Impl& t);
void rollbackLocked(Transaction::Impl& t);
// A unit of work that is active and not being committed.
inline bool takesWork(const Transaction::Impl& t) {
    return t.state == Transaction::State::Active && !t.storing;
}

// A stored copy of a persistent message for the message store.
MessageStore::Row storeRow(const Queue& q, const Message& m);
// Whether a put of this descriptor is kept when the engine has a store.
inline bool persistent(const ZTMD& md) {
    return md.persistence == ZTPER_PERSISTENT;
}

// Ends a connection: handles closed, its own unit of work (committed by the
// caller through a StoreSync) let go.
void endConnectionLocked(Connection& c);
void closeHandleLocked(Handle& h);

void removeMessageLocked(Queue& q, const MsgPtr& m);
void setStateLocked(Queue& q, Message& m, Message::State s);

// Everything forgotten; returns the old state so that it is destroyed
// after the lock is released.
struct OldState {
    std::unordered_map<std::string, QMgrPtr> qmgrs;
    std::unordered_map<ZTLONG, ConnPtr> conns;
    std::shared_ptr<MessageStore> store;
};
OldState resetLocked();
// After resetLocked: opens the message store of `directory` and puts the
// messages it holds on their queues. false and a message when refused.
bool attachStoreLocked(Engine& e, const std::string& directory, std::string& error);
// Without the lock, once started on a directory: runs the start listeners (or
// only *only); one that refuses leaves the queue manager unavailable.
void startedOnStateDirectory(const StartListener* only = nullptr);

// Queue and queue manager names: letters, digits and . _ / %, not empty.
bool validObjectName(const std::string& name);
// Names of queue managers and queues that do not exist (and are never
// created): those starting with "NOSUCH".
bool namesNothing(const std::string& name);

// The result of a call that reached several destinations: all succeeded cc 0,
// some cc 1, none cc 2; the reason the failures share, or
// ZTRC_MULTIPLE_REASONS when they differ.
void combineResults(ZTLONG succeeded, ZTLONG total, ZTLONG commonReason, bool mixed, ZTLONG& cc,
                    ZTLONG& rc);

// Size of one put-message record for the given field flags.
size_t putMsgRecordSize(ZTLONG flags);

// The work of the verbs, behind the recording and scripting of verbs.cpp.
// Each sets cc/rc and writes its own outputs; none holds the lock on entry.
void workOpen(ZTLONG hconn, ZTOD* od, ZTLONG options, ZTLONG* hobj, ZTLONG& cc, ZTLONG& rc);
void workClose(ZTLONG hconn, ZTLONG* hobj, ZTLONG options, ZTLONG& cc, ZTLONG& rc);
void workInquire(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
                 ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
                 ZTLONG& cc, ZTLONG& rc);
void workSet(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
             ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
             ZTLONG& cc, ZTLONG& rc);
void workPut(ZTLONG hconn, ZTLONG hobj, ZTMD* md, ZTPMO* pmo, ZTLONG dataLength, void* data,
             ZTLPOP* lpop, ZTLONG& cc, ZTLONG& rc);
void workPut1(ZTLONG hconn, ZTOD* od, ZTMD* md, ZTPMO* pmo, ZTLONG dataLength, void* data,
              ZTLONG& cc, ZTLONG& rc);
void workGet(ZTLONG hconn, ZTLONG hobj, ZTMD* md, ZTGMO* gmo, ZTLONG bufferLength,
             void* buffer, ZTLONG* dataLength, ZTLONG& cc, ZTLONG& rc);
void workActivate(ZTLONG hconn, ZTLACT* act, ZTLONG& cc, ZTLONG& rc);

}  // namespace ztmeng

#endif  // ZTM_STATE_H

// Messages: put, put-one, get, deferred messages.
//
// Put. A message goes to the end of its queue. Its message identifier is the
// descriptor's when that is not all zero and ZTPMO_NEW_MSG_ID is not set,
// otherwise a new unique one. Context: without context options the queue
// manager sets all of it (its user, accounting token, application type and
// name, date and time; identity and origin data empty); with
// ZTPMO_SET_IDENTITY_CONTEXT (0x400) the identity fields (userId,
// accountingToken, applicationIdData) come from the descriptor and the origin
// fields are the queue manager's; with ZTPMO_SET_ALL_CONTEXT (0x800) all
// context fields, date and time included, come from the descriptor. The
// stored identifier and context are written back into the descriptor.
//
// Destination lists. A put to a list handle (or ZTPUT1 with a list) puts one
// message per known destination, each with its own new identifier unless one
// is given, and answers per destination in the put options' response records.
// A version 2 ZTPMO with a record count must have one record per destination;
// the put-message records give each message's identifiers, feedback and
// accounting token (the fields their flags select), and receive the message
// identifier used. ZTMD receives the first delivered message's identifier.
// A put to a single queue leaves the put-message and response records alone.
// Counts: known = messages put, unknown = destinations unknown at open,
// invalid = destinations invalid at open or whose put failed.
//
// Get. The oldest visible message that matches. Matching: with a version 2
// ZTGMO, on message and/or correlation identifier as its matchOptions ask;
// with version 1, on each identifier of the ZTMD that is not all zero.
// ZTGMO_WAIT waits up to waitInterval milliseconds (-1: without limit). A
// message longer than the buffer: with ZTGMO_ACCEPT_TRUNCATED the buffer's
// worth is returned, cc 1, the message is consumed; otherwise cc 2, the
// message stays; either way the data length says the full length and the
// descriptor describes the message. Messages are FIFO whatever their priority
// and do not expire.
//
// Syncpoint. A put or get runs under syncpoint with ZTPMO_SYNCPOINT /
// ZTGMO_SYNCPOINT, not with ..._NO_SYNCPOINT, and otherwise when the
// connection has begun a unit of work or the thread is in an XA branch.
// Under syncpoint without a begun unit of work one is started implicitly and
// ended by ZTCMIT/ZTBACK (or committed by ZTDISC). Puts appear on commit;
// gets are final on commit and return on backout with backoutCount + 1.
// Queue depth counts every message a queue holds, uncommitted and deferred
// ones included.
//
// Deferred messages. lpiSPIPut with ZTLPOP_DEFERRED puts a message no get
// sees; its key is the message identifier returned in the ZTMD.
// lpiSPIActivateMessage with ZTLACT_ACTIVATE makes it visible, with
// ZTLACT_CANCEL discards it; inside a unit of work (begun, or the thread's XA
// branch) that happens on commit. A key that is unknown, not committed yet
// (outside the unit of work that put it) or already being activated or
// cancelled by another unit of work is ZTRC_UNKNOWN_MESSAGE_KEY.
#include <pwd.h>
#include <unistd.h>

#include <cerrno>  // program_invocation_short_name
#include <chrono>
#include <cstdio>
#include <ctime>

#include "state.h"

namespace ztmeng {

namespace {

bool allZero(const ZTBYTE* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

// The queue manager's own context, worked out once.
struct OwnContext {
    char userId[ZT_USER_ID_LENGTH] = {};
    ZTBYTE accountingToken[ZT_ACCOUNTING_TOKEN_LENGTH] = {};
    char applName[28] = {};
    OwnContext() {
        std::string user = "ztuser";
        struct passwd pw;
        struct passwd* found = nullptr;
        char buf[1024];
        if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &found) == 0 && found != nullptr)
            user = found->pw_name;
        setField(userId, sizeof userId, user);
        std::memcpy(accountingToken, "ZTAT", 4);
        std::memcpy(accountingToken + 4, user.data(), std::min<size_t>(user.size(), 28));
        setField(applName, sizeof applName, program_invocation_short_name);
    }
};

const OwnContext& ownContext() {
    static const OwnContext c;
    return c;
}

void stampNow(char date[8], char time[8]) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const auto hundredths = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000 / 10;
    struct tm tm;
    gmtime_r(&t, &tm);
    char buf[20];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", (tm.tm_year + 1900) % 10000, tm.tm_mon + 1,
                  tm.tm_mday);
    std::memcpy(date, buf, 8);
    std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(hundredths));
    std::memcpy(time, buf, 8);
}

// "ZTMI", 8 bytes of the process's start time, 8 of a counter, 4 of the pid:
// unique in the process, and across processes in practice.
void newMessageId(ZTBYTE id[ZT_MSG_ID_LENGTH]) {
    static const uint64_t start = static_cast<uint64_t>(
        std::chrono::system_clock::now().time_since_epoch().count());
    static const uint32_t pid = static_cast<uint32_t>(getpid());
    const uint64_t n = ++engine().idCounter;
    std::memcpy(id, "ZTMI", 4);
    for (int i = 0; i < 8; ++i) id[4 + i] = static_cast<ZTBYTE>(start >> (56 - 8 * i));
    for (int i = 0; i < 8; ++i) id[12 + i] = static_cast<ZTBYTE>(n >> (56 - 8 * i));
    for (int i = 0; i < 4; ++i) id[20 + i] = static_cast<ZTBYTE>(pid >> (24 - 8 * i));
}

// The descriptor a put stores, before per-destination fields.
ZTMD storedDescriptor(const ZTMD& in, ZTLONG options) {
    ZTMD md = in;
    std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
    md.version = 2;
    md.backoutCount = 0;
    if (in.version < 2) {
        std::memset(md.groupId, 0, sizeof md.groupId);
        md.messageSequenceNumber = 1;
        md.offset = 0;
        md.messageFlags = 0;
        md.originalLength = -1;
    }
    const OwnContext& own = ownContext();
    if (!(options & (ZTPMO_SET_IDENTITY_CONTEXT | ZTPMO_SET_ALL_CONTEXT))) {
        std::memcpy(md.userId, own.userId, sizeof md.userId);
        std::memcpy(md.accountingToken, own.accountingToken, sizeof md.accountingToken);
        std::memset(md.applicationIdData, 0, sizeof md.applicationIdData);
    }
    if (!(options & ZTPMO_SET_ALL_CONTEXT)) {
        md.putApplicationType = ZTAT_UNIX;
        std::memcpy(md.putApplicationName, own.applName, sizeof md.putApplicationName);
        stampNow(md.putDate, md.putTime);
        std::memset(md.applicationOriginData, 0, sizeof md.applicationOriginData);
    }
    return md;
}

// Writes what a put sets into the caller's descriptor.
void putOutputs(ZTMD& out, const ZTMD& md) {
    std::memcpy(out.messageId, md.messageId, sizeof out.messageId);
    std::memcpy(out.correlationId, md.correlationId, sizeof out.correlationId);
    std::memcpy(out.userId, md.userId, sizeof out.userId);
    std::memcpy(out.accountingToken, md.accountingToken, sizeof out.accountingToken);
    std::memcpy(out.applicationIdData, md.applicationIdData, sizeof out.applicationIdData);
    out.putApplicationType = md.putApplicationType;
    std::memcpy(out.putApplicationName, md.putApplicationName, sizeof out.putApplicationName);
    std::memcpy(out.putDate, md.putDate, sizeof out.putDate);
    std::memcpy(out.putTime, md.putTime, sizeof out.putTime);
    std::memcpy(out.applicationOriginData, md.applicationOriginData,
                sizeof out.applicationOriginData);
}

// Writes the stored descriptor into the caller's, keeping its eye-catcher and
// version; the fields of version 2 only when the caller's is version 2.
void getOutputs(ZTMD& out, const ZTMD& md) {
    const ZTLONG version = out.version;
    const size_t v1 = offsetof(ZTMD, groupId);
    std::memcpy(reinterpret_cast<char*>(&out) + 8, reinterpret_cast<const char*>(&md) + 8, v1 - 8);
    if (version >= 2)
        std::memcpy(reinterpret_cast<char*>(&out) + v1, reinterpret_cast<const char*>(&md) + v1,
                    sizeof(ZTMD) - v1);
}

ZTLONG checkPutArgs(const ZTMD* md, const ZTPMO* pmo, ZTLONG dataLength, const void* data) {
    if (md == nullptr || !eyeCatcherIs(md->eyeCatcher, ZTMD_EYE_CATCHER)) return ZTRC_RECORD_ERROR;
    if (pmo == nullptr || !eyeCatcherIs(pmo->eyeCatcher, ZTPMO_EYE_CATCHER))
        return ZTRC_RECORD_ERROR;
    if ((pmo->options & ZTPMO_SYNCPOINT) && (pmo->options & ZTPMO_NO_SYNCPOINT))
        return ZTRC_OPTIONS_ERROR;
    if (dataLength < 0 || dataLength > ZT_MAX_MESSAGE_LENGTH) return ZTRC_DATA_LENGTH_ERROR;
    if (data == nullptr && dataLength > 0) return ZTRC_BUFFER_ERROR;
    return ZTRC_NONE;
}

// The per-destination fields of a version 2 put with put-message records.
struct PutRecords {
    ZTBYTE* base = nullptr;
    size_t size = 0;
    ZTLONG flags = 0;
    ZTBYTE* at(size_t i) const { return base == nullptr || size == 0 ? nullptr : base + i * size; }
};

// Applies record fields to md; returns the address of its message id slot.
// Like the descriptor's, the record's accounting token counts only when the
// put sets the context.
ZTBYTE* applyRecord(ZTBYTE* rec, ZTLONG flags, ZTLONG options, ZTMD& md, bool& idGiven) {
    ZTBYTE* idSlot = nullptr;
    if (rec == nullptr) return nullptr;
    if (flags & ZTPMRF_MSG_ID) {
        idSlot = rec;
        std::memcpy(md.messageId, rec, ZT_MSG_ID_LENGTH);
        idGiven = !allZero(rec, ZT_MSG_ID_LENGTH);
        rec += ZT_MSG_ID_LENGTH;
    }
    if (flags & ZTPMRF_CORREL_ID) {
        std::memcpy(md.correlationId, rec, ZT_CORREL_ID_LENGTH);
        rec += ZT_CORREL_ID_LENGTH;
    }
    if (flags & ZTPMRF_GROUP_ID) {
        std::memcpy(md.groupId, rec, ZT_GROUP_ID_LENGTH);
        rec += ZT_GROUP_ID_LENGTH;
    }
    if (flags & ZTPMRF_FEEDBACK) {
        std::memcpy(&md.feedback, rec, sizeof(ZTLONG));
        rec += sizeof(ZTLONG);
    }
    if ((flags & ZTPMRF_ACCOUNTING_TOKEN) &&
        (options & (ZTPMO_SET_IDENTITY_CONTEXT | ZTPMO_SET_ALL_CONTEXT)))
        std::memcpy(md.accountingToken, rec, ZT_ACCOUNTING_TOKEN_LENGTH);
    return idSlot;
}

struct PutJob {
    Transaction::Impl* target;  // null: outside syncpoint
    bool deferred;
    bool newId;
    const void* data;
    size_t length;
    StoreSync* sync;  // where a kept put outside syncpoint goes
};

// One message onto one queue; its reason, or 0 and the stored descriptor.
ZTLONG putOne(const PutJob& job, const QueuePtr& qp, ZTMD md, bool idGiven, ZTMD& stored) {
    Queue& q = *qp;
    if (q.inhibitPut) return ZTRC_PUT_INHIBITED;
    if (q.msgs.size() >= static_cast<size_t>(q.maxDepth)) return ZTRC_Q_FULL;
    if (!idGiven || job.newId) newMessageId(md.messageId);
    std::string key;
    if (job.deferred) {
        key.assign(reinterpret_cast<const char*>(md.messageId), ZT_MSG_ID_LENGTH);
        if (q.qmgr->deferred.count(key)) return ZTRC_DUPLICATE_MESSAGE_KEY;
    }
    auto m = std::make_shared<Message>();
    m->seq = engine().nextSeq++;
    m->md = md;
    const ZTBYTE* bytes = static_cast<const ZTBYTE*>(job.data);
    m->data.assign(bytes, bytes + job.length);
    m->deferred = job.deferred;
    m->key = key;
    m->state = Message::State::PendingPut;  // counted visible only via setStateLocked
    Engine& e = engine();
    // Deferred messages are not kept: their keys live in memory only.
    if (e.store && !job.deferred && persistent(md)) m->durableId = e.nextDurableId++;
    q.msgs.emplace(m->seq, m);
    if (job.target != nullptr) {
        m->owner = job.target;
        job.target->ops.push_back(Op{Op::Kind::Put, qp, m});
    } else if (m->durableId != 0) {
        job.sync->put(qp, m);  // visible once kept
    } else {
        setStateLocked(q, *m, job.deferred ? Message::State::Deferred : Message::State::Visible);
    }
    if (job.deferred) q.qmgr->deferred.emplace(key, std::make_pair(qp, m));
    stored = md;
    return ZTRC_NONE;
}

}  // namespace

namespace {

// The response records it filled in (null: none) are left in *answered.
void putLocked(ZTLONG hconn, ZTLONG hobj, ZTMD* md, ZTPMO* pmo, ZTLONG dataLength, void* data,
               ZTLPOP* lpop, ZTLONG& cc, ZTLONG& rc, StoreSync& sync, ZTRR** answered) {
    ConnPtr c = findConn(hconn);
    if (!c) return fail(cc, rc, ZTRC_HCONN_ERROR);
    auto hit = c->handles.find(hobj);
    if (hit == c->handles.end()) return fail(cc, rc, ZTRC_HOBJ_ERROR);
    const ZTLONG bad = checkPutArgs(md, pmo, dataLength, data);
    if (bad != ZTRC_NONE) return fail(cc, rc, bad);
    Handle& h = hit->second;
    if (!(h.options & ZTOO_OUTPUT)) return fail(cc, rc, ZTRC_NOT_OPEN_FOR_OUTPUT);

    const ZTLONG options = pmo->options;
    PutRecords recs;
    ZTRR* responses = nullptr;
    if (pmo->version >= 2 && h.list) {
        const ZTLONG n = pmo->recordCount;
        if (n < 0 || (n > 0 && static_cast<size_t>(n) != h.dests.size()))
            return fail(cc, rc, ZTRC_RECS_PRESENT_ERROR);
        if (n > 0) {
            recs.base = pmo->putMsgRecords;
            recs.flags = pmo->putMsgRecordFields;
            recs.size = putMsgRecordSize(recs.flags);
            responses = pmo->responseRecords;
            *answered = responses;
        }
    }

    PutJob job{nullptr,
               lpop != nullptr && (lpop->options & ZTLPOP_DEFERRED) != 0,
               (options & ZTPMO_NEW_MSG_ID) != 0,
               data,
               static_cast<size_t>(dataLength),
               &sync};
    const bool syncpoint = (options & ZTPMO_SYNCPOINT) ||
                           (!(options & ZTPMO_NO_SYNCPOINT) && implicitSyncpoint(*c));
    if (syncpoint) {
        ZTLONG why = ZTRC_NONE;
        job.target = syncpointTarget(*c, why);
        if (job.target == nullptr) return fail(cc, rc, why);
    }

    const ZTMD base = storedDescriptor(*md, options);
    const bool baseIdGiven = !allZero(md->messageId, ZT_MSG_ID_LENGTH);
    ZTLONG known = 0, unknown = 0, invalid = 0, common = ZTRC_NONE;
    bool mixed = false, delivered = false;
    ZTMD first{};
    for (size_t i = 0; i < h.dests.size(); ++i) {
        const Destination& d = h.dests[i];
        ZTLONG dcc = d.compCode, drc = d.reason;
        if (d.queue) {
            ZTMD one = base;
            bool idGiven = baseIdGiven;
            ZTBYTE* idSlot = applyRecord(recs.at(i), recs.flags, options, one, idGiven);
            ZTMD stored;
            drc = putOne(job, d.queue, one, idGiven, stored);
            dcc = drc == ZTRC_NONE ? ZTCC_OK : ZTCC_FAILED;
            if (drc == ZTRC_NONE) {
                ++known;
                if (idSlot != nullptr) std::memcpy(idSlot, stored.messageId, ZT_MSG_ID_LENGTH);
                if (!delivered) first = stored;
                delivered = true;
            } else {
                ++invalid;
            }
        } else if (d.reason == ZTRC_OBJECT_NAME_ERROR) {
            ++invalid;
        } else {
            ++unknown;
        }
        if (dcc != ZTCC_OK) {
            if (common != ZTRC_NONE && common != drc) mixed = true;
            common = drc;
        }
        if (responses != nullptr) {
            responses[i].completionCode = dcc;
            responses[i].reason = drc;
        }
    }

    if (delivered) putOutputs(*md, first);
    pmo->knownDestCount = known;
    pmo->unknownDestCount = unknown;
    pmo->invalidDestCount = invalid;
    std::memset(pmo->resolvedQueueName, 0, sizeof pmo->resolvedQueueName);
    if (!h.list) setField(pmo->resolvedQueueName, ZT_Q_NAME_LENGTH, h.dests.front().queue->name);
    setField(pmo->resolvedQueueManagerName, ZT_QMGR_NAME_LENGTH, c->qmgr->name);
    if (h.list) {
        combineResults(known, static_cast<ZTLONG>(h.dests.size()), common, mixed, cc, rc);
    } else if (!delivered) {
        fail(cc, rc, common);
    }
    if (delivered && job.target == nullptr) engine().changed.notify_all();
}

}  // namespace

void workPut(ZTLONG hconn, ZTLONG hobj, ZTMD* md, ZTPMO* pmo, ZTLONG dataLength, void* data,
             ZTLPOP* lpop, ZTLONG& cc, ZTLONG& rc) {
    StoreSync sync;
    ZTRR* responses = nullptr;
    {
        std::lock_guard<std::mutex> lock(engine().mu);
        putLocked(hconn, hobj, md, pmo, dataLength, data, lpop, cc, rc, sync, &responses);
    }
    if (sync.finish()) return;
    // Not kept: none of its messages is on a queue, so every destination
    // that took one failed.
    for (ZTLONG i = 0; responses != nullptr && i < pmo->recordCount; ++i) {
        if (responses[i].completionCode != ZTCC_OK) continue;
        responses[i].completionCode = ZTCC_FAILED;
        responses[i].reason = ZTRC_STORE_ERROR;
    }
    pmo->invalidDestCount += pmo->knownDestCount;
    pmo->knownDestCount = 0;
    fail(cc, rc, ZTRC_STORE_ERROR);
}

void workPut1(ZTLONG hconn, ZTOD* od, ZTMD* md, ZTPMO* pmo, ZTLONG dataLength, void* data,
              ZTLONG& cc, ZTLONG& rc) {
    const ZTLONG bad = checkPutArgs(md, pmo, dataLength, data);
    if (bad != ZTRC_NONE) {
        std::lock_guard<std::mutex> lock(engine().mu);
        return fail(cc, rc, findConn(hconn) ? bad : ZTRC_HCONN_ERROR);
    }
    ZTLONG hobj = ZTHO_UNUSABLE_HOBJ;
    workOpen(hconn, od, ZTOO_OUTPUT, &hobj, cc, rc);
    if (cc == ZTCC_FAILED) return;
    ZTLONG pcc = ZTCC_OK, prc = ZTRC_NONE;
    workPut(hconn, hobj, md, pmo, dataLength, data, nullptr, pcc, prc);
    cc = pcc;
    rc = prc;
    ZTLONG ccc = ZTCC_OK, crc = ZTRC_NONE;
    workClose(hconn, &hobj, ZTCO_NONE, ccc, crc);
}

namespace {

struct GetRequest {
    ZTLONG hconn, hobj;
    ZTMD* md;
    ZTGMO* gmo;
    ZTLONG bufferLength;
    void* buffer;
    ZTLONG* dataLength;
    ZTLONG options;
    bool matchMsg, matchCorrel;
    ZTBYTE wantMsg[ZT_MSG_ID_LENGTH];
    ZTBYTE wantCorrel[ZT_CORREL_ID_LENGTH];
};

MsgPtr firstMatch(const Queue& q, const GetRequest& req) {
    if (q.visible == 0) return nullptr;
    for (const auto& kv : q.msgs) {
        const Message& m = *kv.second;
        if (m.state != Message::State::Visible) continue;
        if (req.matchMsg && std::memcmp(m.md.messageId, req.wantMsg, ZT_MSG_ID_LENGTH) != 0)
            continue;
        if (req.matchCorrel &&
            std::memcmp(m.md.correlationId, req.wantCorrel, ZT_CORREL_ID_LENGTH) != 0)
            continue;
        return kv.second;
    }
    return nullptr;
}

bool answer(ZTLONG& cc, ZTLONG& rc, ZTLONG reason) {
    fail(cc, rc, reason);
    return true;
}

// One look at the queue, with the lock held; true when the get is answered.
// Connection and handle are looked up afresh each time: after a wait they
// may be gone. Nothing found here outlives the call, so a waiting get never
// holds the last reference to a connection.
bool tryGet(const GetRequest& req, ZTLONG& cc, ZTLONG& rc, StoreSync& sync) {
    ConnPtr c = findConn(req.hconn);
    if (!c) return answer(cc, rc, ZTRC_HCONN_ERROR);
    auto hit = c->handles.find(req.hobj);
    if (hit == c->handles.end()) return answer(cc, rc, ZTRC_HOBJ_ERROR);
    const Handle& h = hit->second;
    if (!(h.options & (ZTOO_INPUT_SHARED | ZTOO_INPUT_EXCLUSIVE)) || h.list)
        return answer(cc, rc, ZTRC_NOT_OPEN_FOR_INPUT);
    const QueuePtr qp = h.dests.front().queue;
    Queue& q = *qp;
    if (q.inhibitGet) return answer(cc, rc, ZTRC_GET_INHIBITED);
    const bool syncpoint = (req.options & ZTGMO_SYNCPOINT) ||
                           (!(req.options & ZTGMO_NO_SYNCPOINT) && implicitSyncpoint(*c));
    Transaction::Impl* target = nullptr;
    if (syncpoint) {
        ZTLONG why = ZTRC_NONE;
        target = syncpointTarget(*c, why);
        if (target == nullptr) return answer(cc, rc, why);
    }

    const MsgPtr found = firstMatch(q, req);
    if (!found) return false;
    const size_t length = found->data.size();
    const size_t room = static_cast<size_t>(req.bufferLength);
    const size_t fits = std::min(length, room);
    if (fits > 0) std::memcpy(req.buffer, found->data.data(), fits);
    *req.dataLength = static_cast<ZTLONG>(length);
    getOutputs(*req.md, found->md);
    setField(req.gmo->resolvedQueueName, ZT_Q_NAME_LENGTH, q.name);
    if (req.gmo->version >= 2)
        req.gmo->groupStatus = req.gmo->segmentStatus = req.gmo->segmentation = ' ';
    const bool truncated = length > room;
    if (truncated && !(req.options & ZTGMO_ACCEPT_TRUNCATED))
        return answer(cc, rc, ZTRC_TRUNCATED_MSG_FAILED);
    if (target != nullptr) {
        setStateLocked(q, *found, Message::State::LockedGet);
        found->owner = target;
        target->ops.push_back(Op{Op::Kind::Get, qp, found});
    } else if (found->durableId != 0 && engine().store) {
        sync.get(qp, found);  // handed over once its removal is kept
    } else {
        removeMessageLocked(q, found);
    }
    if (truncated) {
        cc = ZTCC_WARNING;
        rc = ZTRC_TRUNCATED_MSG_ACCEPTED;
    }
    return true;
}

}  // namespace

void workGet(ZTLONG hconn, ZTLONG hobj, ZTMD* md, ZTGMO* gmo, ZTLONG bufferLength, void* buffer,
             ZTLONG* dataLength, ZTLONG& cc, ZTLONG& rc) {
    Engine& e = engine();
    std::unique_lock<std::mutex> lock(e.mu);
    if (!findConn(hconn)) return fail(cc, rc, ZTRC_HCONN_ERROR);
    if (md == nullptr || !eyeCatcherIs(md->eyeCatcher, ZTMD_EYE_CATCHER))
        return fail(cc, rc, ZTRC_RECORD_ERROR);
    if (gmo == nullptr || !eyeCatcherIs(gmo->eyeCatcher, ZTGMO_EYE_CATCHER))
        return fail(cc, rc, ZTRC_RECORD_ERROR);
    const ZTLONG options = gmo->options;
    if ((options & ZTGMO_SYNCPOINT) && (options & ZTGMO_NO_SYNCPOINT))
        return fail(cc, rc, ZTRC_OPTIONS_ERROR);
    if (bufferLength < 0) return fail(cc, rc, ZTRC_BUFFER_LENGTH_ERROR);
    if (buffer == nullptr && bufferLength > 0) return fail(cc, rc, ZTRC_BUFFER_ERROR);
    if (dataLength == nullptr) return fail(cc, rc, ZTRC_DATA_LENGTH_ERROR);
    const bool wait = (options & ZTGMO_WAIT) != 0;
    if (wait && gmo->waitInterval < -1) return fail(cc, rc, ZTRC_WAIT_INTERVAL_ERROR);

    GetRequest req{hconn, hobj, md, gmo, bufferLength, buffer, dataLength, options, false, false,
                   {}, {}};
    if (gmo->version >= 2) {
        req.matchMsg = (gmo->matchOptions & ZTMO_MATCH_MSG_ID) != 0;
        req.matchCorrel = (gmo->matchOptions & ZTMO_MATCH_CORREL_ID) != 0;
    } else {
        req.matchMsg = !allZero(md->messageId, ZT_MSG_ID_LENGTH);
        req.matchCorrel = !allZero(md->correlationId, ZT_CORREL_ID_LENGTH);
    }
    std::memcpy(req.wantMsg, md->messageId, ZT_MSG_ID_LENGTH);
    std::memcpy(req.wantCorrel, md->correlationId, ZT_CORREL_ID_LENGTH);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(wait ? gmo->waitInterval : 0);

    StoreSync sync;
    while (!tryGet(req, cc, rc, sync)) {
        if (!wait) return fail(cc, rc, ZTRC_NO_MSG_AVAILABLE);
        if (gmo->waitInterval == -1) {
            e.changed.wait(lock);
        } else if (e.changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            // Past the deadline: one last look, then give up.
            if (!tryGet(req, cc, rc, sync)) fail(cc, rc, ZTRC_NO_MSG_AVAILABLE);
            break;
        }
    }
    lock.unlock();
    // Not kept: the message is back on its queue; it was not received.
    if (!sync.finish()) fail(cc, rc, ZTRC_STORE_ERROR);
}

void workActivate(ZTLONG hconn, ZTLACT* act, ZTLONG& cc, ZTLONG& rc) {
    std::lock_guard<std::mutex> lock(engine().mu);
    ConnPtr c = findConn(hconn);
    if (!c) return fail(cc, rc, ZTRC_HCONN_ERROR);
    if (act == nullptr || !eyeCatcherIs(act->eyeCatcher, ZTLACT_EYE_CATCHER))
        return fail(cc, rc, ZTRC_RECORD_ERROR);
    if (act->action != ZTLACT_ACTIVATE && act->action != ZTLACT_CANCEL)
        return fail(cc, rc, ZTRC_ACTION_ERROR);
    QMgr& qm = *c->qmgr;
    const std::string key(reinterpret_cast<const char*>(act->messageKey), ZT_MESSAGE_KEY_LENGTH);
    auto it = qm.deferred.find(key);
    if (it == qm.deferred.end()) return fail(cc, rc, ZTRC_UNKNOWN_MESSAGE_KEY);
    QueuePtr q = it->second.first;
    MsgPtr m = it->second.second;
    Transaction::Impl* target = nullptr;
    if (implicitSyncpoint(*c)) {
        ZTLONG why = ZTRC_NONE;
        target = syncpointTarget(*c, why);
        if (target == nullptr) return fail(cc, rc, why);
    }
    // Only the unit of work that holds the message (its put, or an earlier
    // activate/cancel) may act on it before that unit of work ends.
    if (m->owner != nullptr && m->owner != target) return fail(cc, rc, ZTRC_UNKNOWN_MESSAGE_KEY);
    const bool activate = act->action == ZTLACT_ACTIVATE;
    if (target != nullptr) {
        m->owner = target;
        target->ops.push_back(Op{activate ? Op::Kind::Activate : Op::Kind::Cancel, q, m});
        return;
    }
    qm.deferred.erase(it);
    if (activate) {
        setStateLocked(*q, *m, Message::State::Visible);
        engine().changed.notify_all();
    } else {
        removeMessageLocked(*q, m);
    }
}

}  // namespace ztmeng

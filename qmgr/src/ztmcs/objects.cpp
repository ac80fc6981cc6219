// Objects: open (a queue or a destination list), close, inquire, set.
//
// Queues are local queues, created on their first open. A destination list is
// an open of a version 2 object descriptor with object records; each record
// is resolved on its own:
//   known    a valid queue name on this queue manager (created if new);
//   unknown  a well-formed name that names nothing: a queue name starting
//            with "NOSUCH" (ZTRC_UNKNOWN_OBJECT_NAME) or another queue
//            manager (ZTRC_UNKNOWN_OBJECT_QMGR);
//   invalid  an empty name, or one with a blank or a character other than
//            letters, digits and . _ / % (ZTRC_OBJECT_NAME_ERROR).
// Every record gets its response record and is counted. All known: cc 0;
// some: cc 1 and a handle to the known ones; none: cc 2 and no handle. The
// reason of a partial or total failure is the failures' reason when they all
// share one, ZTRC_MULTIPLE_REASONS otherwise. Lists open for output only.
#include "state.h"

namespace ztmeng {

namespace {

const ZTLONG kAccess = ZTOO_INPUT_SHARED | ZTOO_INPUT_EXCLUSIVE | ZTOO_BROWSE | ZTOO_OUTPUT |
                       ZTOO_INQUIRE | ZTOO_SET;
const ZTLONG kInput = ZTOO_INPUT_SHARED | ZTOO_INPUT_EXCLUSIVE;

// One object name (and queue manager name) resolved on the connection's
// queue manager.
Destination resolve(QMgr& qm, const char* nameField, const char* qmgrField) {
    Destination d;
    const std::string name = fieldName(nameField, ZT_Q_NAME_LENGTH);
    const std::string qmName = fieldName(qmgrField, ZT_QMGR_NAME_LENGTH);
    if (!validObjectName(name)) {
        fail(d.compCode, d.reason, ZTRC_OBJECT_NAME_ERROR);
    } else if (!qmName.empty() && qmName != qm.name) {
        fail(d.compCode, d.reason, ZTRC_UNKNOWN_OBJECT_QMGR);
    } else if (namesNothing(name)) {
        fail(d.compCode, d.reason, ZTRC_UNKNOWN_OBJECT_NAME);
    } else {
        d.queue = queueNamed(qm, name);
    }
    return d;
}

void openList(Connection& c, ZTOD& od, Handle& h, ZTLONG& cc, ZTLONG& rc) {
    const ZTLONG n = od.recsPresent;
    h.list = true;
    h.dests.reserve(static_cast<size_t>(n));
    ZTLONG known = 0, unknown = 0, invalid = 0, common = ZTRC_NONE;
    bool mixed = false;
    for (ZTLONG i = 0; i < n; ++i) {
        const ZTOR& rec = od.objectRecords[i];
        Destination d = resolve(*c.qmgr, rec.objectName, rec.objectQMgrName);
        if (d.compCode == ZTCC_OK) {
            ++known;
        } else {
            if (d.reason == ZTRC_OBJECT_NAME_ERROR)
                ++invalid;
            else
                ++unknown;
            if (common != ZTRC_NONE && common != d.reason) mixed = true;
            common = d.reason;
        }
        if (od.responseRecords != nullptr) {
            od.responseRecords[i].completionCode = d.compCode;
            od.responseRecords[i].reason = d.reason;
        }
        h.dests.push_back(std::move(d));
    }
    od.knownDestCount = known;
    od.unknownDestCount = unknown;
    od.invalidDestCount = invalid;
    combineResults(known, n, common, mixed, cc, rc);
}

void openQueue(Connection& c, ZTOD& od, Handle& h, ZTLONG& cc, ZTLONG& rc) {
    Destination d = resolve(*c.qmgr, od.objectName, od.objectQMgrName);
    if (d.compCode != ZTCC_OK) return fail(cc, rc, d.reason);
    Queue& q = *d.queue;
    if (h.options & kInput) {
        const bool exclusive = (h.options & ZTOO_INPUT_EXCLUSIVE) != 0;
        if (q.exclusiveInput || (exclusive && q.inputOpeners > 0))
            return fail(cc, rc, ZTRC_OBJECT_IN_USE);
        ++q.inputOpeners;
        q.exclusiveInput = exclusive;
    }
    setField(od.objectQMgrName, ZT_QMGR_NAME_LENGTH, c.qmgr->name);
    h.dests.push_back(std::move(d));
}

// The attributes a selector names, and how they are checked.
enum class Kind { Int, Char, Unknown };
Kind selectorKind(ZTLONG s) {
    switch (s) {
    case ZTIA_CURRENT_DEPTH:
    case ZTIA_MAX_DEPTH:
    case ZTIA_INHIBIT_GET:
    case ZTIA_INHIBIT_PUT:
        return Kind::Int;
    case ZTCA_Q_NAME:
        return Kind::Char;
    default:
        return Kind::Unknown;
    }
}

// Checks the counts and selectors of ZTINQ/ZTSET; the reason, or 0.
ZTLONG checkAttributeRequest(ZTLONG selectorCount, const ZTLONG* selectors, ZTLONG intAttrCount,
                             const ZTLONG* intAttrs, ZTLONG charAttrLength,
                             const char* charAttrs) {
    if (selectorCount < 0 || selectorCount > ZT_MAX_SELECTORS) return ZTRC_SELECTOR_COUNT_ERROR;
    if (selectorCount > 0 && selectors == nullptr) return ZTRC_SELECTOR_ERROR;
    if (intAttrCount < 0) return ZTRC_INT_COUNT_ERROR;
    if (charAttrLength < 0) return ZTRC_CHAR_ATTR_LENGTH_ERROR;
    ZTLONG ints = 0, chars = 0;
    for (ZTLONG i = 0; i < selectorCount; ++i) {
        switch (selectorKind(selectors[i])) {
        case Kind::Int: ++ints; break;
        case Kind::Char: chars += ZT_Q_NAME_LENGTH; break;
        case Kind::Unknown: return ZTRC_SELECTOR_ERROR;
        }
    }
    if (ints > intAttrCount || (ints > 0 && intAttrs == nullptr)) return ZTRC_INT_COUNT_ERROR;
    if (chars > charAttrLength || (chars > 0 && charAttrs == nullptr))
        return ZTRC_CHAR_ATTR_LENGTH_ERROR;
    return ZTRC_NONE;
}

// The queue behind an attribute call whose request is sound, or null with
// the reason set.
Queue* attributeQueue(ZTLONG hconn, ZTLONG hobj, ZTLONG need, ZTLONG notOpenReason,
                      ZTLONG selectorCount, const ZTLONG* selectors, ZTLONG intAttrCount,
                      const ZTLONG* intAttrs, ZTLONG charAttrLength, const char* charAttrs,
                      ZTLONG& rc) {
    ConnPtr c = findConn(hconn);
    if (!c) {
        rc = ZTRC_HCONN_ERROR;
        return nullptr;
    }
    auto it = c->handles.find(hobj);
    if (it == c->handles.end()) {
        rc = ZTRC_HOBJ_ERROR;
        return nullptr;
    }
    const Handle& h = it->second;
    if (!(h.options & need) || h.list) {
        rc = notOpenReason;
        return nullptr;
    }
    rc = checkAttributeRequest(selectorCount, selectors, intAttrCount, intAttrs, charAttrLength,
                               charAttrs);
    return rc == ZTRC_NONE ? h.dests.front().queue.get() : nullptr;
}

}  // namespace

void combineResults(ZTLONG succeeded, ZTLONG total, ZTLONG commonReason, bool mixed, ZTLONG& cc,
                    ZTLONG& rc) {
    if (succeeded == total) {
        cc = ZTCC_OK;
        rc = ZTRC_NONE;
        return;
    }
    cc = succeeded > 0 ? ZTCC_WARNING : ZTCC_FAILED;
    rc = mixed ? ZTRC_MULTIPLE_REASONS : commonReason;
}

void workOpen(ZTLONG hconn, ZTOD* od, ZTLONG options, ZTLONG* hobj, ZTLONG& cc, ZTLONG& rc) {
    std::lock_guard<std::mutex> lock(engine().mu);
    ConnPtr c = findConn(hconn);
    if (!c) return fail(cc, rc, ZTRC_HCONN_ERROR);
    if (od == nullptr || !eyeCatcherIs(od->eyeCatcher, ZTOD_EYE_CATCHER))
        return fail(cc, rc, ZTRC_RECORD_ERROR);
    if (hobj == nullptr) return fail(cc, rc, ZTRC_HOBJ_ERROR);
    if (od->objectType != ZTOT_Q) return fail(cc, rc, ZTRC_OBJECT_TYPE_ERROR);
    if (!(options & kAccess) || ((options & kInput) == kInput))
        return fail(cc, rc, ZTRC_OPTIONS_ERROR);
    const bool list = od->version >= 2 && od->recsPresent != 0;
    Handle h;
    h.options = options;
    if (list) {
        if (od->recsPresent < 0 || od->recsPresent > ZT_MAX_RECORDS)
            return fail(cc, rc, ZTRC_RECS_PRESENT_ERROR);
        if (od->objectRecords == nullptr) return fail(cc, rc, ZTRC_RECORD_ERROR);
        if ((options & kAccess) != ZTOO_OUTPUT) return fail(cc, rc, ZTRC_OPTIONS_ERROR);
        openList(*c, *od, h, cc, rc);
    } else {
        openQueue(*c, *od, h, cc, rc);
    }
    if (cc == ZTCC_FAILED) return;
    const ZTLONG id = engine().nextHobj++;
    c->handles.emplace(id, std::move(h));
    *hobj = id;
}

void workClose(ZTLONG hconn, ZTLONG* hobj, ZTLONG options, ZTLONG& cc, ZTLONG& rc) {
    std::lock_guard<std::mutex> lock(engine().mu);
    ConnPtr c = findConn(hconn);
    if (!c) return fail(cc, rc, ZTRC_HCONN_ERROR);
    if (hobj == nullptr) return fail(cc, rc, ZTRC_HOBJ_ERROR);
    auto it = c->handles.find(*hobj);
    if (it == c->handles.end()) return fail(cc, rc, ZTRC_HOBJ_ERROR);
    if (options != ZTCO_NONE) return fail(cc, rc, ZTRC_OPTIONS_ERROR);
    closeHandleLocked(it->second);
    c->handles.erase(it);
    *hobj = ZTHO_UNUSABLE_HOBJ;
    engine().changed.notify_all();  // a get waiting on the handle ends
}

void workInquire(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
                 ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
                 ZTLONG& cc, ZTLONG& rc) {
    std::lock_guard<std::mutex> lock(engine().mu);
    Queue* q = attributeQueue(hconn, hobj, ZTOO_INQUIRE, ZTRC_NOT_OPEN_FOR_INQUIRE, selectorCount,
                              selectors, intAttrCount, intAttrs, charAttrLength, charAttrs, rc);
    if (q == nullptr) return fail(cc, rc, rc);
    ZTLONG* intOut = intAttrs;
    char* charOut = charAttrs;
    for (ZTLONG i = 0; i < selectorCount; ++i) {
        switch (selectors[i]) {
        case ZTIA_CURRENT_DEPTH: *intOut++ = static_cast<ZTLONG>(q->msgs.size()); break;
        case ZTIA_MAX_DEPTH: *intOut++ = q->maxDepth; break;
        case ZTIA_INHIBIT_GET: *intOut++ = q->inhibitGet; break;
        case ZTIA_INHIBIT_PUT: *intOut++ = q->inhibitPut; break;
        case ZTCA_Q_NAME:
            // Character attributes are blank padded.
            std::memset(charOut, ' ', ZT_Q_NAME_LENGTH);
            std::memcpy(charOut, q->name.data(), q->name.size());
            charOut += ZT_Q_NAME_LENGTH;
            break;
        }
    }
}

void workSet(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
             ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
             ZTLONG& cc, ZTLONG& rc) {
    std::lock_guard<std::mutex> lock(engine().mu);
    Queue* q = attributeQueue(hconn, hobj, ZTOO_SET, ZTRC_NOT_OPEN_FOR_SET, selectorCount,
                              selectors, intAttrCount, intAttrs, charAttrLength, charAttrs, rc);
    if (q == nullptr) return fail(cc, rc, rc);
    // All or nothing: every value is checked before any is set.
    for (ZTLONG i = 0, v = 0; i < selectorCount; ++i) {
        const ZTLONG s = selectors[i];
        if (s == ZTIA_MAX_DEPTH || s == ZTIA_INHIBIT_GET || s == ZTIA_INHIBIT_PUT) {
            const ZTLONG value = intAttrs[v++];
            const bool ok = s == ZTIA_MAX_DEPTH ? (value >= 0 && value <= 999999999)
                                                : (value == 0 || value == 1);
            if (!ok) return fail(cc, rc, ZTRC_ATTR_VALUE_ERROR);
        } else {
            return fail(cc, rc, ZTRC_ATTR_NOT_SETTABLE);
        }
    }
    for (ZTLONG i = 0; i < selectorCount; ++i) {
        const ZTLONG value = intAttrs[i];
        switch (selectors[i]) {
        case ZTIA_MAX_DEPTH: q->maxDepth = value; break;
        case ZTIA_INHIBIT_GET: q->inhibitGet = value; break;
        case ZTIA_INHIBIT_PUT: q->inhibitPut = value; break;
        }
    }
    engine().changed.notify_all();  // waiting gets look at get-inhibited again
}

}  // namespace ztmeng

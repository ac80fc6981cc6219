#include "BranchStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "MdFields.h"

namespace ztmzse {

namespace {

// The descriptor as kept: its integers high byte first whatever the machine,
// so that a state directory moves between byte orders; the eye-catcher and
// byte fields as they are.
using MdBytes = std::array<uint8_t, sizeof(ZTMD)>;
static_assert(sizeof(ZTLONG) == 4, "descriptor integers are 4 bytes");

template <typename Each>
void forEachInteger(Each each) {
    each(offsetof(ZTMD, version));
    for (const ztmeng::MdField& f : ztmeng::kMdFields)
        if (f.integer) each(f.offset);
}

MdBytes keptMd(const ZTMD& md) {
    MdBytes out;
    std::memcpy(out.data(), &md, sizeof md);
    forEachInteger([&](std::size_t at) {
        ZTLONG v;
        std::memcpy(&v, out.data() + at, sizeof v);
        const auto u = static_cast<uint32_t>(v);
        for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(u >> (24 - 8 * i));
    });
    return out;
}

ZTMD mdFromKept(const void* kept) {
    const auto* in = static_cast<const uint8_t*>(kept);
    ZTMD md;
    std::memcpy(&md, in, sizeof md);
    forEachInteger([&](std::size_t at) {
        uint32_t u = 0;
        for (std::size_t i = 0; i < 4; ++i) u = (u << 8) | in[at + i];
        const auto v = static_cast<ZTLONG>(u);
        std::memcpy(reinterpret_cast<char*>(&md) + at, &v, sizeof v);
    });
    return md;
}

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return ok_; }
    sqlite3_stmt* get() const { return st_; }
    Statement& blob(int i, const void* p, std::size_t n) {
        ok_ = ok_ && sqlite3_bind_blob(st_, i, n == 0 ? "" : p, static_cast<int>(n), SQLITE_TRANSIENT) == SQLITE_OK;
        return *this;
    }
    Statement& text(int i, const std::string& s) {
        ok_ = ok_ && sqlite3_bind_text(st_, i, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT) == SQLITE_OK;
        return *this;
    }
    Statement& integer(int i, sqlite3_int64 v) {
        ok_ = ok_ && sqlite3_bind_int64(st_, i, v) == SQLITE_OK;
        return *this;
    }
    // The XID's three key columns from i on.
    Statement& xid(int i, const XID& x) {
        const auto g = static_cast<std::size_t>(x.gtrid_length);
        return integer(i, x.formatID).blob(i + 1, x.data, g).blob(i + 2, x.data + g, static_cast<std::size_t>(x.bqual_length));
    }
    // One step of a statement that returns no rows.
    bool done() { return ok_ && sqlite3_step(st_) == SQLITE_DONE; }

private:
    sqlite3_stmt* st_ = nullptr;
    bool ok_;
};

std::vector<uint8_t> columnBytes(sqlite3_stmt* st, int i) {
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, i));
    return std::vector<uint8_t>(p, p + sqlite3_column_bytes(st, i));
}

const char kSchema[] =
    "CREATE TABLE branch(format_id INTEGER NOT NULL, gtrid BLOB NOT NULL, bqual BLOB NOT NULL,"
    " outcome INTEGER NOT NULL, PRIMARY KEY(format_id, gtrid, bqual));"
    "CREATE TABLE message(format_id INTEGER NOT NULL, gtrid BLOB NOT NULL, bqual BLOB NOT NULL,"
    " n INTEGER NOT NULL, got INTEGER NOT NULL, qmgr TEXT NOT NULL, queue TEXT NOT NULL,"
    " md BLOB NOT NULL, data BLOB NOT NULL, PRIMARY KEY(format_id, gtrid, bqual, n));";
const char kSelectBranches[] = "SELECT format_id, gtrid, bqual, outcome FROM branch ORDER BY rowid";
const char kSelectMessages[] =
    "SELECT got, qmgr, queue, md, data FROM message WHERE format_id = ? AND gtrid = ? AND bqual = ? ORDER BY n";

bool fitsFormatId(sqlite3_int64 v) {
    // Java's format is an int; -1 is the null XID, which has no branch.
    return v != -1 && v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// A name column as the engine's fields take it.
bool nameOk(sqlite3_stmt* st, int i) {
    return sqlite3_column_type(st, i) == SQLITE_TEXT && sqlite3_column_bytes(st, i) <= ZT_Q_NAME_LENGTH;
}

}  // namespace

std::unique_ptr<BranchStore> BranchStore::open(std::shared_ptr<ztmeng::StateDirectory> directory,
                                               std::string& error) {
    const std::string path = directory->path() + "/branches.db";
    struct stat st{};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    // SQLite takes an empty file for a new database: that would lose every
    // branch a damaged store held without a word.
    if (exists && st.st_size == 0) {
        error = path + ": empty file, not a branch store (left as it is)";
        return nullptr;
    }
    sqlite3* db = nullptr;
    const int how = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
    if (sqlite3_open_v2(path.c_str(), &db, how, nullptr) != SQLITE_OK) {
        error = "cannot open " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<BranchStore> store(new BranchStore(std::move(directory), path, db));
    // The owner is alone on the directory; a moment's wait covers a reader
    // such as the sqlite3 shell.
    sqlite3_busy_timeout(db, 2000);
    auto refuse = [&](const std::string& why) {
        error = path + ": " + why + " (left as it is)";
        return nullptr;
    };
    if (exists) {
        Statement version(db, "PRAGMA user_version");
        if (!version.ok() || sqlite3_step(version.get()) != SQLITE_ROW) {
            return refuse(std::string("not readable as a branch store: ") + sqlite3_errmsg(db));
        }
        const int format = sqlite3_column_int(version.get(), 0);
        if (format != kFormat) {
            return refuse("format " + std::to_string(format) + ", this queue manager reads format " +
                          std::to_string(kFormat));
        }
        if (!Statement(db, kSelectBranches).ok() || !Statement(db, kSelectMessages).ok()) {
            return refuse(std::string("tables missing or not as written: ") + sqlite3_errmsg(db));
        }
    } else {
        const std::string create = std::string("BEGIN;") + kSchema + "PRAGMA user_version=" +
                                   std::to_string(kFormat) + ";COMMIT";
        if (!store->exec(create.c_str())) {
            error = "cannot set up " + path + ": " + sqlite3_errmsg(db);
            return nullptr;
        }
    }
    // WAL with a full sync: one fsync per prepare, and a commit that returned
    // is on disk.
    if (!store->exec("PRAGMA journal_mode=WAL") || !store->exec("PRAGMA synchronous=FULL")) {
        error = "cannot set up " + path + ": " + sqlite3_errmsg(db);
        return nullptr;
    }
    return store;
}

BranchStore::~BranchStore() { sqlite3_close(db_); }

bool BranchStore::exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool BranchStore::save(const Saved& branch) {
    if (!fitsFormatId(branch.xid.formatID)) return false;
    Change change{Change::Kind::Save};
    change.saved = &branch;
    return write(change) == Removed::Yes;
}

bool BranchStore::setHeuristic(const XID& xid, int outcome) {
    Change change{Change::Kind::Heuristic};
    change.xid = xid;
    change.outcome = outcome;
    return write(change) == Removed::Yes;
}

BranchStore::Removed BranchStore::remove(const XID& xid) {
    Change change{Change::Kind::Remove};
    change.xid = xid;
    return write(change);
}

BranchStore::Removed BranchStore::holds(const XID& xid) {
    Change change{Change::Kind::Holds};
    change.xid = xid;
    return write(change);
}

BranchStore::Removed BranchStore::write(Change& change) {
    std::unique_lock<std::mutex> lock(queueMutex_);
    queued_.push_back(&change);
    while (!change.done) {
        if (writing_) {
            written_.wait(lock);
            continue;
        }
        // This thread writes what has queued up, its own change among it.
        std::vector<Change*> batch;
        batch.swap(queued_);
        writing_ = true;
        lock.unlock();
        writeBatch(batch);
        lock.lock();
        for (Change* c : batch) c->done = true;
        writing_ = false;
        written_.notify_all();
    }
    return change.result;
}

void BranchStore::writeBatch(const std::vector<Change*>& batch) noexcept {
    try {
        if (!exec("BEGIN IMMEDIATE")) return;
        for (Change* c : batch) {
            if (!exec("SAVEPOINT change")) {
                c->result = Removed::Failed;
                continue;
            }
            c->result = apply(*c);
            if (c->result == Removed::Failed) exec("ROLLBACK TO change");
            exec("RELEASE change");
        }
        if (exec("COMMIT")) return;
    } catch (...) {
        // Nothing written, as below.
    }
    exec("ROLLBACK");
    for (Change* c : batch) c->result = Removed::Failed;
}

// One change inside the shared transaction: Yes when done, NotThere when a
// removed branch was not stored, Failed when the database refused.
BranchStore::Removed BranchStore::apply(const Change& change) {
    const char* const deleteMessages = "DELETE FROM message WHERE format_id = ? AND gtrid = ? AND bqual = ?";
    switch (change.kind) {
    case Change::Kind::Save: {
        const Saved& branch = *change.saved;
        bool ok = Statement(db_, "INSERT OR REPLACE INTO branch(format_id, gtrid, bqual, outcome) VALUES(?, ?, ?, ?)")
                      .xid(1, branch.xid)
                      .integer(4, branch.heuristicOutcome)
                      .done();
        ok = ok && Statement(db_, deleteMessages).xid(1, branch.xid).done();
        int n = 0;
        for (const auto& m : branch.messages) {
            if (!ok) break;
            ok = Statement(
                     db_,
                     "INSERT INTO message(format_id, gtrid, bqual, n, got, qmgr, queue, md, data)"
                     " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)")
                     .xid(1, branch.xid)
                     .integer(4, n++)
                     .integer(5, m.got ? 1 : 0)
                     .text(6, m.qmgr)
                     .text(7, m.queue)
                     .blob(8, keptMd(m.md).data(), sizeof(MdBytes))  // 364 bytes on every machine
                     .blob(9, m.data.data(), m.data.size())
                     .done();
        }
        return ok ? Removed::Yes : Removed::Failed;
    }
    case Change::Kind::Heuristic: {
        // The work is done: only the outcome stays to be answered.
        bool ok = Statement(db_, "UPDATE branch SET outcome = ? WHERE format_id = ? AND gtrid = ? AND bqual = ?")
                      .integer(1, change.outcome)
                      .xid(2, change.xid)
                      .done();
        ok = ok && Statement(db_, deleteMessages).xid(1, change.xid).done();
        return ok ? Removed::Yes : Removed::Failed;
    }
    case Change::Kind::Remove: {
        bool ok = Statement(db_, deleteMessages).xid(1, change.xid).done();
        ok = ok && Statement(db_, "DELETE FROM branch WHERE format_id = ? AND gtrid = ? AND bqual = ?")
                       .xid(1, change.xid)
                       .done();
        if (!ok) return Removed::Failed;
        return sqlite3_changes(db_) > 0 ? Removed::Yes : Removed::NotThere;
    }
    case Change::Kind::Holds: {
        Statement there(db_,
                        "SELECT 1 FROM branch WHERE format_id = ? AND gtrid = ? AND bqual = ?");
        if (!there.xid(1, change.xid).ok()) return Removed::Failed;
        const int rc = sqlite3_step(there.get());
        return rc == SQLITE_ROW    ? Removed::Yes
               : rc == SQLITE_DONE ? Removed::NotThere
                                   : Removed::Failed;
    }
    }
    return Removed::Failed;
}

bool BranchStore::loadAll(std::vector<Saved>& out, std::string& error) {
    out.clear();
    Statement branches(db_, kSelectBranches);
    Statement messages(db_, kSelectMessages);
    if (!branches.ok() || !messages.ok()) {
        error = file_ + ": " + sqlite3_errmsg(db_);
        return false;
    }
    int row = 0;
    auto damaged = [&](const std::string& what) {
        error = file_ + ": branch row " + std::to_string(row) + ": " + what + " (left as it is)";
        out.clear();
        return false;
    };
    sqlite3_stmt* b = branches.get();
    int rc;
    while ((rc = sqlite3_step(b)) == SQLITE_ROW) {
        ++row;
        Saved saved;
        if (sqlite3_column_type(b, 0) != SQLITE_INTEGER || !fitsFormatId(sqlite3_column_int64(b, 0)))
            return damaged("format ID not an int other than -1");
        const std::vector<uint8_t> gtrid = columnBytes(b, 1);
        const std::vector<uint8_t> bqual = columnBytes(b, 2);
        if (gtrid.empty() || gtrid.size() > MAXGTRIDSIZE)
            return damaged("gtrid length " + std::to_string(gtrid.size()) + " (1 to 64)");
        if (bqual.size() > MAXBQUALSIZE)
            return damaged("bqual length " + std::to_string(bqual.size()) + " (0 to 64)");
        saved.xid.formatID = static_cast<long>(sqlite3_column_int64(b, 0));
        saved.xid.gtrid_length = static_cast<long>(gtrid.size());
        saved.xid.bqual_length = static_cast<long>(bqual.size());
        std::memcpy(saved.xid.data, gtrid.data(), gtrid.size());
        if (!bqual.empty()) std::memcpy(saved.xid.data + gtrid.size(), bqual.data(), bqual.size());
        const sqlite3_int64 outcome = sqlite3_column_int64(b, 3);
        if (outcome != 0 && outcome != XA_HEURCOM && outcome != XA_HEURRB)
            return damaged("outcome " + std::to_string(outcome));
        saved.heuristicOutcome = static_cast<int>(outcome);

        sqlite3_stmt* m = messages.get();
        sqlite3_reset(m);
        if (sqlite3_bind_int64(m, 1, saved.xid.formatID) != SQLITE_OK ||
            sqlite3_bind_blob(m, 2, gtrid.data(), static_cast<int>(gtrid.size()), SQLITE_TRANSIENT) != SQLITE_OK ||
            sqlite3_bind_blob(m, 3, bqual.empty() ? "" : static_cast<const void*>(bqual.data()),
                              static_cast<int>(bqual.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
            return damaged(sqlite3_errmsg(db_));
        }
        int mrc;
        while ((mrc = sqlite3_step(m)) == SQLITE_ROW) {
            const std::string which = "message " + std::to_string(saved.messages.size() + 1) + ": ";
            ztmeng::Transaction::Held held;
            const sqlite3_int64 got = sqlite3_column_int64(m, 0);
            if (got != 0 && got != 1) return damaged(which + "got " + std::to_string(got));
            if (!nameOk(m, 1) || !nameOk(m, 2)) return damaged(which + "queue manager or queue name");
            if (sqlite3_column_bytes(m, 3) != static_cast<int>(sizeof held.md))
                return damaged(which + "descriptor of " + std::to_string(sqlite3_column_bytes(m, 3)) +
                               " bytes (" + std::to_string(sizeof held.md) + ")");
            held.got = got == 1;
            held.qmgr = reinterpret_cast<const char*>(sqlite3_column_text(m, 1));
            held.queue = reinterpret_cast<const char*>(sqlite3_column_text(m, 2));
            held.md = mdFromKept(sqlite3_column_blob(m, 3));
            held.data = columnBytes(m, 4);
            saved.messages.push_back(std::move(held));
        }
        if (mrc != SQLITE_DONE) return damaged(sqlite3_errmsg(db_));
        out.push_back(std::move(saved));
    }
    if (rc != SQLITE_DONE) return damaged(sqlite3_errmsg(db_));
    return true;
}

}  // namespace ztmzse

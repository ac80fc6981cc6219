#include "BranchStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace ztmzse {

namespace {

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
    Statement& integer(int i, int v) {
        ok_ = ok_ && sqlite3_bind_int(st_, i, v) == SQLITE_OK;
        return *this;
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

}  // namespace

std::unique_ptr<BranchStore> BranchStore::open(const std::string& directory, std::string& error) {
    if (directory.empty() || (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)) {
        error = "cannot create state directory " + directory + ": " + std::strerror(errno);
        return nullptr;
    }
    sqlite3* db = nullptr;
    const std::string path = directory + "/branches.db";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        error = "cannot open " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<BranchStore> store(new BranchStore(directory, db));
    // WAL with a full sync: one fsync per prepare, and a commit that returned
    // is on disk.
    if (!store->exec("PRAGMA journal_mode=WAL") || !store->exec("PRAGMA synchronous=FULL") ||
        !store->exec("CREATE TABLE IF NOT EXISTS branch(key BLOB PRIMARY KEY, xid BLOB NOT NULL,"
                     " outcome INTEGER NOT NULL)") ||
        !store->exec("CREATE TABLE IF NOT EXISTS message(key BLOB NOT NULL, n INTEGER NOT NULL,"
                     " got INTEGER NOT NULL, qmgr TEXT NOT NULL, queue TEXT NOT NULL,"
                     " md BLOB NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, n))")) {
        error = "cannot set up " + path + ": " + sqlite3_errmsg(db);
        return nullptr;
    }
    return store;
}

BranchStore::~BranchStore() { sqlite3_close(db_); }

bool BranchStore::exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool BranchStore::save(const std::string& key, const Saved& branch) {
    if (!exec("BEGIN IMMEDIATE")) return false;
    bool ok = Statement(db_, "INSERT OR REPLACE INTO branch(key, xid, outcome) VALUES(?, ?, ?)")
                  .blob(1, key.data(), key.size())
                  .blob(2, &branch.xid, sizeof branch.xid)
                  .integer(3, branch.heuristicOutcome)
                  .done();
    ok = ok && Statement(db_, "DELETE FROM message WHERE key = ?").blob(1, key.data(), key.size()).done();
    int n = 0;
    for (const auto& m : branch.messages) {
        if (!ok) break;
        ok = Statement(db_, "INSERT INTO message(key, n, got, qmgr, queue, md, data) VALUES(?, ?, ?, ?, ?, ?, ?)")
                 .blob(1, key.data(), key.size())
                 .integer(2, n++)
                 .integer(3, m.got ? 1 : 0)
                 .text(4, m.qmgr)
                 .text(5, m.queue)
                 .blob(6, &m.md, sizeof m.md)
                 .blob(7, m.data.data(), m.data.size())
                 .done();
    }
    if (!ok) {
        exec("ROLLBACK");
        return false;
    }
    return exec("COMMIT");
}

bool BranchStore::setHeuristic(const std::string& key, int outcome) {
    // The work is done: only the outcome stays to be answered.
    if (!exec("BEGIN IMMEDIATE")) return false;
    bool ok = Statement(db_, "UPDATE branch SET outcome = ? WHERE key = ?")
                  .integer(1, outcome)
                  .blob(2, key.data(), key.size())
                  .done();
    ok = ok && Statement(db_, "DELETE FROM message WHERE key = ?").blob(1, key.data(), key.size()).done();
    if (!ok) {
        exec("ROLLBACK");
        return false;
    }
    return exec("COMMIT");
}

bool BranchStore::remove(const std::string& key) {
    if (!exec("BEGIN IMMEDIATE")) return false;
    bool ok = Statement(db_, "DELETE FROM message WHERE key = ?").blob(1, key.data(), key.size()).done() &&
              Statement(db_, "DELETE FROM branch WHERE key = ?").blob(1, key.data(), key.size()).done();
    if (!ok) {
        exec("ROLLBACK");
        return false;
    }
    return exec("COMMIT");
}

bool BranchStore::loadAll(std::vector<Saved>& out) {
    out.clear();
    Statement branches(db_, "SELECT key, xid, outcome FROM branch ORDER BY rowid");
    Statement messages(db_, "SELECT got, qmgr, queue, md, data FROM message WHERE key = ? ORDER BY n");
    if (!branches.ok() || !messages.ok()) return false;
    int rc;
    while ((rc = sqlite3_step(branches.get())) == SQLITE_ROW) {
        Saved saved;
        const std::vector<uint8_t> key = columnBytes(branches.get(), 0);
        const std::vector<uint8_t> xid = columnBytes(branches.get(), 1);
        if (xid.size() != sizeof saved.xid) return false;
        std::memcpy(&saved.xid, xid.data(), sizeof saved.xid);
        saved.heuristicOutcome = sqlite3_column_int(branches.get(), 2);
        sqlite3_reset(messages.get());
        if (sqlite3_bind_blob(messages.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT) !=
            SQLITE_OK) {
            return false;
        }
        int mrc;
        while ((mrc = sqlite3_step(messages.get())) == SQLITE_ROW) {
            ztmeng::Transaction::Held m;
            m.got = sqlite3_column_int(messages.get(), 0) != 0;
            m.qmgr = reinterpret_cast<const char*>(sqlite3_column_text(messages.get(), 1));
            m.queue = reinterpret_cast<const char*>(sqlite3_column_text(messages.get(), 2));
            const std::vector<uint8_t> md = columnBytes(messages.get(), 3);
            if (md.size() != sizeof m.md) return false;
            std::memcpy(&m.md, md.data(), sizeof m.md);
            m.data = columnBytes(messages.get(), 4);
            saved.messages.push_back(std::move(m));
        }
        if (mrc != SQLITE_DONE) return false;
        out.push_back(std::move(saved));
    }
    return rc == SQLITE_DONE;
}

}  // namespace ztmzse

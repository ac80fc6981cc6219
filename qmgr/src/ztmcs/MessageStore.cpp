#include "MessageStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <limits>

#include "MdFields.h"
#include "StateDirectory.h"
#include "state.h"

namespace ztmeng {

namespace {

// Raised in user_version: a file of another format is refused, not guessed at.
constexpr int kFormatVersion = 1;
const char kFileName[] = "messages.db";

std::atomic<int> g_failWrites{0};

// The next failure a test asked for, if any.
bool injectedFailure() {
    int n = g_failWrites.load();
    while (n > 0 && !g_failWrites.compare_exchange_weak(n, n - 1)) {
    }
    return n > 0;
}

bool identity(const std::string& path, dev_t& device, ino_t& inode) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    device = st.st_dev;
    inode = st.st_ino;
    return true;
}

// The descriptor's fields as columns, integers as integers and byte fields as
// blobs of their exact length.
using Field = MdField;
constexpr const auto& kFields = kMdFields;
constexpr int kFieldCount = static_cast<int>(sizeof kFields / sizeof kFields[0]);
// Columns before the descriptor's: id, qmgr, queue; data comes after it.
constexpr int kFirstField = 3;
constexpr int kDataColumn = kFirstField + kFieldCount;

std::string columnList() {
    std::string s = "id, qmgr, queue";
    for (const Field& f : kFields) s += std::string(", \"") + f.name + "\"";
    return s + ", data";
}

std::string createTable() {
    std::string s =
        "CREATE TABLE message(id INTEGER PRIMARY KEY, qmgr TEXT NOT NULL, queue TEXT NOT NULL";
    for (const Field& f : kFields)
        s += std::string(", \"") + f.name + "\" " + (f.integer ? "INTEGER" : "BLOB") + " NOT NULL";
    return s + ", data BLOB NOT NULL)";
}

std::string insertStatement() {
    std::string s = "INSERT OR REPLACE INTO message(" + columnList() + ") VALUES(?";
    for (int i = 1; i < kDataColumn + 1; ++i) s += ", ?";
    return s + ")";
}

bool exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// One row as loaded; an empty string, or what is wrong with it.
std::string readRow(sqlite3_stmt* st, MessageStore::Row& row) {
    if (sqlite3_column_type(st, 0) != SQLITE_INTEGER || sqlite3_column_int64(st, 0) <= 0)
        return "an id that is not a positive integer";
    row.id = static_cast<uint64_t>(sqlite3_column_int64(st, 0));
    for (int c = 1; c <= 2; ++c) {
        const unsigned char* text = sqlite3_column_text(st, c);
        const int bytes = sqlite3_column_bytes(st, c);
        if (sqlite3_column_type(st, c) != SQLITE_TEXT || text == nullptr ||
            bytes > ZT_Q_NAME_LENGTH ||
            !validObjectName(std::string(reinterpret_cast<const char*>(text), bytes)))
            return c == 1 ? "a queue manager name that is not one" : "a queue name that is not one";
        (c == 1 ? row.qmgr : row.queue).assign(reinterpret_cast<const char*>(text), bytes);
    }
    std::memcpy(row.md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
    row.md.version = 2;
    char* md = reinterpret_cast<char*>(&row.md);
    for (int i = 0; i < kFieldCount; ++i) {
        const Field& f = kFields[i];
        const int c = kFirstField + i;
        if (f.integer) {
            const sqlite3_int64 v = sqlite3_column_int64(st, c);
            if (sqlite3_column_type(st, c) != SQLITE_INTEGER ||
                v < std::numeric_limits<ZTLONG>::min() || v > std::numeric_limits<ZTLONG>::max())
                return std::string("field ") + f.name + " is not a 32-bit integer";
            const ZTLONG value = static_cast<ZTLONG>(v);
            std::memcpy(md + f.offset, &value, sizeof value);
        } else {
            if (sqlite3_column_type(st, c) != SQLITE_BLOB ||
                static_cast<size_t>(sqlite3_column_bytes(st, c)) != f.size)
                return std::string("field ") + f.name + " is not " + std::to_string(f.size) +
                       " bytes";
            std::memcpy(md + f.offset, sqlite3_column_blob(st, c), f.size);
        }
    }
    if (row.md.persistence != ZTPER_PERSISTENT) return "a message that is not persistent";
    if (row.md.backoutCount < 0) return "a negative backout count";
    const int type = sqlite3_column_type(st, kDataColumn);
    const int bytes = sqlite3_column_bytes(st, kDataColumn);
    if (type != SQLITE_BLOB || bytes > ZT_MAX_MESSAGE_LENGTH) return "data that is not a message";
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, kDataColumn));
    if (bytes > 0) row.data.assign(p, p + bytes);
    return std::string();
}

// The format version and the rows of an open file; false and what is wrong
// in `error` when it is not a message store of this format.
bool load(sqlite3* db, std::vector<MessageStore::Row>& rows, std::string& error) {
    sqlite3_stmt* st = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    if (version != kFormatVersion) {
        if (version < 0)
            error = std::string("not readable: ") + sqlite3_errmsg(db);
        else if (version == 0)
            error = "not a message store (no format version)";
        else
            error = "format version " + std::to_string(version) + ", not " +
                    std::to_string(kFormatVersion);
        return false;
    }
    const std::string select = "SELECT " + columnList() + " FROM message ORDER BY id";
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        error = std::string("no message table of this format: ") + sqlite3_errmsg(db);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        MessageStore::Row row;
        const std::string wrong = readRow(st, row);
        if (!wrong.empty()) {
            error = "row " + std::to_string(sqlite3_column_int64(st, 0)) + " holds " + wrong;
            sqlite3_finalize(st);
            return false;
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) error = std::string("cannot read its rows: ") + sqlite3_errmsg(db);
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

// A new, empty store: the schema is made under another name and renamed into
// place, so that a process dying half way leaves no file without a schema.
bool create(const std::string& file, std::string& error) {
    const std::string fresh = file + ".new";
    ::unlink(fresh.c_str());
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(fresh.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                              nullptr) == SQLITE_OK &&
              exec(db, "PRAGMA synchronous=FULL") &&
              exec(db, "BEGIN; " + createTable() +
                           "; PRAGMA user_version=" + std::to_string(kFormatVersion) + "; COMMIT");
    if (!ok) error = std::string("cannot create: ") + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    // A log left without its file (removed while in use) belongs to nothing:
    // applied to the new file it would bring back pages of the old one.
    ::unlink((file + "-wal").c_str());
    ::unlink((file + "-shm").c_str());
    if (ok && ::rename(fresh.c_str(), file.c_str()) != 0) {
        error = std::string("cannot create: ") + std::strerror(errno);
        ok = false;
    }
    if (!ok) ::unlink(fresh.c_str());
    return ok;
}

}  // namespace

MessageStore::MessageStore(std::shared_ptr<StateDirectory> claim, std::string file, sqlite3* db)
    : claim_(std::move(claim)), directory_(claim_->path()), file_(std::move(file)), db_(db) {}

MessageStore::~MessageStore() {
    std::string detached;
    if (stillTheDirectorys(detached)) {
        sqlite3_close(db_);
        return;
    }
    // Taken away: SQLite leaves the write-ahead log by name, and the next
    // file of that name would take its pages for its own. Ours goes; one that
    // is not ours any more (another store's, made since) stays.
    int keepLog = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &keepLog);
    dev_t device = 0;
    ino_t inode = 0;
    const std::string log = file_ + "-wal";
    const bool ours = identity(log, device, inode) && device == logDevice_ && inode == logInode_;
    sqlite3_close(db_);
    if (ours) {
        ::unlink(log.c_str());
        ::unlink((file_ + "-shm").c_str());
    }
}

void MessageStore::failWrites(int count) {
    g_failWrites = count;
}

std::unique_ptr<MessageStore> MessageStore::open(const std::string& directory,
                                                 std::vector<Row>& rows, std::string& error) {
    rows.clear();
    std::shared_ptr<StateDirectory> claim = StateDirectory::claim(directory, error);
    if (!claim) return nullptr;
    const std::string file = claim->path() + "/" + kFileName;
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) {
        if (errno != ENOENT || !create(file, error)) {
            if (error.empty()) error = std::strerror(errno);
            error = file + ": " + error;
            return nullptr;
        }
    }
    // Read-only until accepted: a connection that may write folds the
    // write-ahead log into the file when it closes, and a refused store is
    // left exactly as it is, its log included. Reading makes an empty log
    // and index where there were none; those go again.
    const std::string log = file + "-wal", index = file + "-shm";
    const bool hadLog = ::access(log.c_str(), F_OK) == 0;
    const bool hadIndex = ::access(index.c_str(), F_OK) == 0;
    sqlite3* db = nullptr;
    std::string wrong;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        wrong = std::string("cannot open: ") + (db ? sqlite3_errmsg(db) : "out of memory");
    else
        load(db, rows, wrong);
    if (wrong.empty()) {
        // Never SQLITE_OPEN_CREATE here: a file that vanished is not made anew.
        sqlite3_close(db);
        db = nullptr;
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            wrong = std::string("cannot open: ") + (db ? sqlite3_errmsg(db) : "out of memory");
        else if (sqlite3_db_readonly(db, "main") != 0)
            wrong = "read-only: persistent messages could not be kept";
    }
    if (!wrong.empty()) {
        sqlite3_close(db);
        if (!hadLog) ::unlink(log.c_str());
        if (!hadIndex) ::unlink(index.c_str());
        error = file + ": " + wrong;
        rows.clear();
        return nullptr;
    }
    std::unique_ptr<MessageStore> store(new MessageStore(claim, file, db));
    // WAL with a full sync: a commit that returned is on disk, one fsync
    // each. The read makes the log, whose identity the store notes.
    if (!exec(db, "PRAGMA journal_mode=WAL") || !exec(db, "PRAGMA synchronous=FULL") ||
        !exec(db, "SELECT count(*) FROM message") ||
        !identity(file, store->device_, store->inode_) ||
        !identity(file + "-wal", store->logDevice_, store->logInode_)) {
        error = file + ": cannot set up: " + sqlite3_errmsg(db);
        rows.clear();
        return nullptr;
    }
    return store;
}

bool MessageStore::stillTheDirectorys(std::string& error) {
    if (detached_.empty()) {
        dev_t device = 0;
        ino_t inode = 0;
        if (!identity(file_, device, inode))
            detached_ = std::string("gone (") + std::strerror(errno) + ")";
        else if (device != device_ || inode != inode_)
            detached_ = "replaced by another file";
        if (!detached_.empty())
            detached_ = file_ + ": " + detached_ + " while in use; nothing more is kept in it";
    }
    if (detached_.empty()) return true;
    error = detached_;
    return false;
}

bool MessageStore::keep(std::vector<Change> changes, std::string& error) {
    uint64_t ticket;
    {
        std::lock_guard<std::mutex> lock(pendingMu_);
        for (Change& change : changes) pending_.push_back(std::move(change));
        ticket = ++queued_;
    }
    std::lock_guard<std::mutex> writing(writeMu_);
    if (decided_ < ticket) {
        // Everything queued meanwhile goes into one transaction and one sync;
        // the verbs waiting for it find their answer below.
        std::vector<Change> batch;
        uint64_t upTo;
        {
            std::lock_guard<std::mutex> lock(pendingMu_);
            batch.swap(pending_);
            upTo = queued_;
        }
        std::string why;
        if (!stillTheDirectorys(why) || !write(batch, why))
            for (uint64_t t = decided_ + 1; t <= upTo; ++t) failed_.emplace(t, why);
        decided_ = upTo;
    }
    auto refused = failed_.find(ticket);
    if (refused == failed_.end()) return true;
    error = std::move(refused->second);
    failed_.erase(refused);
    return false;
}

bool MessageStore::write(const std::vector<Change>& changes, std::string& error) {
    if (injectedFailure()) {
        error = file_ + ": database or disk is full (injected by a test)";
        return false;
    }
    sqlite3_stmt* ins = nullptr;
    sqlite3_stmt* del = nullptr;
    bool ok =
        exec(db_, "BEGIN IMMEDIATE") &&
        sqlite3_prepare_v2(db_, insertStatement().c_str(), -1, &ins, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db_, "DELETE FROM message WHERE id = ?", -1, &del, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < changes.size(); ++i) {
        const Change& ch = changes[i];
        sqlite3_stmt* st = ch.row ? ins : del;
        sqlite3_reset(st);
        ok = sqlite3_bind_int64(st, 1, static_cast<sqlite3_int64>(ch.id)) == SQLITE_OK;
        if (ok && ch.row) {
            const Row& r = *ch.row;
            ok = sqlite3_bind_text(st, 2, r.qmgr.data(), static_cast<int>(r.qmgr.size()),
                                   SQLITE_STATIC) == SQLITE_OK &&
                 sqlite3_bind_text(st, 3, r.queue.data(), static_cast<int>(r.queue.size()),
                                   SQLITE_STATIC) == SQLITE_OK;
            const char* md = reinterpret_cast<const char*>(&r.md);
            for (int f = 0; ok && f < kFieldCount; ++f) {
                const Field& field = kFields[f];
                const int at = kFirstField + f + 1;
                if (field.integer) {
                    ZTLONG v;
                    std::memcpy(&v, md + field.offset, sizeof v);
                    ok = sqlite3_bind_int64(st, at, v) == SQLITE_OK;
                } else {
                    ok = sqlite3_bind_blob(st, at, md + field.offset, static_cast<int>(field.size),
                                           SQLITE_STATIC) == SQLITE_OK;
                }
            }
            // An empty message is an empty blob, not NULL.
            ok = ok &&
                 sqlite3_bind_blob(st, kDataColumn + 1,
                                   r.data.empty() ? "" : static_cast<const void*>(r.data.data()),
                                   static_cast<int>(r.data.size()), SQLITE_STATIC) == SQLITE_OK;
        }
        ok = ok && sqlite3_step(st) == SQLITE_DONE;
    }
    if (!ok) error = file_ + ": " + sqlite3_errmsg(db_);
    sqlite3_finalize(ins);
    sqlite3_finalize(del);
    if (ok && exec(db_, "COMMIT")) return true;
    if (ok) error = file_ + ": " + sqlite3_errmsg(db_);
    exec(db_, "ROLLBACK");
    return false;
}

}  // namespace ztmeng

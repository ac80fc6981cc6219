#include "MessageStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

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
    sqlite3_close(db_);
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
    // Never SQLITE_OPEN_CREATE here: a file that vanished is not made anew.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        error = file + ": cannot open: " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<MessageStore> store(new MessageStore(claim, file, db));
    std::string wrong;
    if (!load(db, rows, wrong)) {
        error = file + ": " + wrong;
        rows.clear();
        return nullptr;
    }
    // WAL with a full sync: a commit that returned is on disk, one fsync each.
    if (!exec(db, "PRAGMA journal_mode=WAL") || !exec(db, "PRAGMA synchronous=FULL")) {
        error = file + ": cannot set up: " + sqlite3_errmsg(db);
        rows.clear();
        return nullptr;
    }
    return store;
}

uint64_t MessageStore::queue(Change change) {
    std::lock_guard<std::mutex> lock(pendingMu_);
    pending_.push_back(std::move(change));
    return ++queued_;
}

uint64_t MessageStore::insert(Row row) {
    const uint64_t id = row.id;
    return queue(Change{id, std::make_unique<Row>(std::move(row))});
}

uint64_t MessageStore::remove(uint64_t id) {
    return queue(Change{id, nullptr});
}

bool MessageStore::write(const std::vector<Change>& changes, std::string& error) {
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

bool MessageStore::sync(uint64_t ticket, std::string& error) {
    std::lock_guard<std::mutex> writing(writeMu_);
    if (durable_ >= ticket) return true;  // another thread's sync took it along
    std::vector<Change> changes;
    uint64_t upTo;
    {
        std::lock_guard<std::mutex> lock(pendingMu_);
        changes.swap(pending_);
        upTo = queued_;
    }
    if (write(changes, error)) {
        durable_ = upTo;
        return true;
    }
    // Kept, in order, ahead of what was queued meanwhile.
    std::lock_guard<std::mutex> lock(pendingMu_);
    changes.insert(changes.end(), std::make_move_iterator(pending_.begin()),
                   std::make_move_iterator(pending_.end()));
    pending_.swap(changes);
    return false;
}

}  // namespace ztmeng

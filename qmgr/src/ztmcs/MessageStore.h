// Persistent messages kept in a state directory (messages.db, SQLite), so
// that a committed persistent message outlives the process and one got for
// good does not come back.
//
// Changes are queued while the engine lock is held, in the order the engine
// made them, and written by sync() after the verb let go of that lock: the
// lock is never held across a disk sync, and commits that queue changes while
// another thread syncs share that thread's next sync. Each row holds the
// descriptor field by field and a format version sits in the file, so that a
// 32-bit and a 64-bit process read each other's stores; every row is checked
// as it is loaded and a store that does not check out is refused, untouched.
#ifndef ZTM_MESSAGE_STORE_H
#define ZTM_MESSAGE_STORE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ztm.h"

struct sqlite3;

namespace ztmeng {

class StateDirectory;

class MessageStore {
public:
    struct Row {
        uint64_t id = 0;  // > 0; queue order is id order
        std::string qmgr;
        std::string queue;
        ZTMD md{};
        std::vector<uint8_t> data;
    };

    // Claims the directory (creating it when missing) and opens its
    // messages.db, creating the file when there is none. Null and a message
    // naming the file and what is wrong when it cannot be used; the rows it
    // holds, in id order, in `rows` otherwise.
    static std::unique_ptr<MessageStore> open(const std::string& directory, std::vector<Row>& rows,
                                              std::string& error);
    ~MessageStore();
    MessageStore(const MessageStore&) = delete;
    MessageStore& operator=(const MessageStore&) = delete;

    const std::string& directory() const { return directory_; }
    const std::string& file() const { return file_; }

    // With the engine lock held: queue an insert or a removal. Each returns
    // the ticket sync() takes to make it (and all queued before it) durable.
    uint64_t insert(Row row);
    uint64_t remove(uint64_t id);

    // Without the engine lock: everything queued up to `ticket` is on disk
    // (synced) when it returns true. false: the database refused; the
    // changes stay queued for the next sync, `error` says why.
    bool sync(uint64_t ticket, std::string& error);

private:
    struct Change {
        uint64_t id = 0;
        std::unique_ptr<Row> row;  // null: remove
    };
    MessageStore(std::shared_ptr<StateDirectory> claim, std::string file, sqlite3* db);
    uint64_t queue(Change change);
    bool write(const std::vector<Change>& changes, std::string& error);

    std::shared_ptr<StateDirectory> claim_;  // held while the file is open
    std::string directory_;
    std::string file_;
    sqlite3* db_;

    std::mutex pendingMu_;  // guards pending_, queued_
    std::vector<Change> pending_;
    uint64_t queued_ = 0;   // tickets handed out
    std::mutex writeMu_;    // one writer at a time; guards db_ use, durable_
    uint64_t durable_ = 0;  // tickets on disk
};

}  // namespace ztmeng

#endif  // ZTM_MESSAGE_STORE_H

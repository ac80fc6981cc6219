// Persistent messages kept in a state directory (messages.db, SQLite), so
// that a committed persistent message outlives the process and one got for
// good does not come back.
//
// A verb keeps its changes (keep()) after it let go of the engine lock and
// before it makes them visible: the lock is never held across a disk sync,
// and the changes of verbs that arrive while another thread writes share that
// thread's next transaction and sync. A write that fails takes all of its
// transaction's changes with it and none of them is tried again: each verb
// hears that its changes were not kept and undoes nothing on disk. Each row
// holds the descriptor field by field and a format version sits in the file,
// so that a 32-bit and a 64-bit process read each other's stores; the file is
// opened read-only and every row checked before it is accepted, so that a
// store that does not check out is refused untouched (its write-ahead log
// included). A file that is no longer the directory's (removed, or replaced
// with mv, while open) is noticed before each write and written no more.
#ifndef ZTM_MESSAGE_STORE_H
#define ZTM_MESSAGE_STORE_H

#include <sys/types.h>

#include <cstdint>
#include <map>
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

    // One change: a row to insert, or (row null) the row `id` to remove.
    struct Change {
        uint64_t id = 0;
        std::unique_ptr<Row> row;
    };

    // Claims the directory (creating it when missing) and opens its
    // messages.db, creating the file when there is none. Null and a message
    // naming the file and what is wrong when it cannot be used (damaged,
    // another format, read-only); the rows it holds, in id order, in `rows`
    // otherwise.
    static std::unique_ptr<MessageStore> open(const std::string& directory, std::vector<Row>& rows,
                                              std::string& error);
    ~MessageStore();
    MessageStore(const MessageStore&) = delete;
    MessageStore& operator=(const MessageStore&) = delete;

    const std::string& directory() const { return directory_; }
    const std::string& file() const { return file_; }

    // Without the engine lock: the changes of one verb, all or none, written
    // and synced when it returns true. false: none of them is on disk nor
    // will be, and `error` names the file and why.
    bool keep(std::vector<Change> changes, std::string& error);

    // For tests: the next `count` writes fail as a full disk would.
    static void failWrites(int count);

private:
    MessageStore(std::shared_ptr<StateDirectory> claim, std::string file, sqlite3* db);
    bool write(const std::vector<Change>& changes, std::string& error);
    // Whether the open file is still the directory's messages.db (the same
    // file, not removed or replaced); once not, it stays detached.
    bool stillTheDirectorys(std::string& error);

    std::shared_ptr<StateDirectory> claim_;  // held while the file is open
    std::string directory_;
    std::string file_;
    sqlite3* db_;

    dev_t device_ = 0;  // the open file's identity
    ino_t inode_ = 0;
    dev_t logDevice_ = 0;  // its write-ahead log's
    ino_t logInode_ = 0;

    std::mutex pendingMu_;  // guards pending_, queued_
    std::vector<Change> pending_;
    uint64_t queued_ = 0;   // tickets handed out, one per keep()
    std::mutex writeMu_;    // one writer at a time; guards what follows and db_ use
    uint64_t decided_ = 0;  // tickets written or refused
    std::map<uint64_t, std::string> failed_;  // refused tickets not yet told, and why
    std::string detached_;                    // why the file is no longer written
};

}  // namespace ztmeng

#endif  // ZTM_MESSAGE_STORE_H

// Prepared transaction branches kept in a state directory, so that they
// outlive the process: one SQLite database (branches.db) per directory, one
// row per branch with the messages its unit of work holds. A row is written,
// and synced, before prepare answers; it goes when the branch is committed,
// rolled back or forgotten.
//
// Writes of several threads share one sync: a thread that finds another one
// writing leaves its change queued, and the next writer takes every queued
// change into one database transaction (each change under its own
// savepoint, so one that fails fails alone).
//
// Rows hold explicit fields (the XID's format, gtrid and bqual; each message's
// queue, descriptor record and data), never a record whose layout depends on
// the width, and the descriptor's integers high byte first, so processes of
// either width and byte order read each other's stores. The
// database's user_version is the format; a file of another format, or one
// that is not a store at all, is refused and left as it is.
#ifndef ZTMZSE_BRANCH_STORE_H
#define ZTMZSE_BRANCH_STORE_H

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "StateDirectory.h"
#include "engine.h"
#include "ztm.h"

struct sqlite3;

namespace ztmzse {

class BranchStore {
public:
    // 1 held raw XID records; 2 the descriptor in the writer's byte order.
    static constexpr int kFormat = 3;

    struct Saved {
        XID xid{};
        int heuristicOutcome = 0;  // XA_HEURCOM / XA_HEURRB once decided, else 0
        std::vector<ztmeng::Transaction::Held> messages;
    };

    // Opens the database of a claimed directory, creating it when missing.
    // Null and a message naming the file in error when it cannot be opened
    // or is not a store of this format.
    static std::unique_ptr<BranchStore> open(std::shared_ptr<ztmeng::StateDirectory> directory,
                                             std::string& error);
    ~BranchStore();
    BranchStore(const BranchStore&) = delete;
    BranchStore& operator=(const BranchStore&) = delete;

    // Each returns false when the database refused.
    bool save(const Saved& branch);
    bool setHeuristic(const XID& xid, int outcome);
    enum class Removed { Yes, NotThere, Failed };
    Removed remove(const XID& xid);
    // What remove() would answer now (Failed: the database could not be
    // read), nothing written.
    Removed holds(const XID& xid);
    // Every branch, each row checked; false and what is wrong in error.
    bool loadAll(std::vector<Saved>& out, std::string& error);

    const std::string& file() const { return file_; }

private:
    BranchStore(std::shared_ptr<ztmeng::StateDirectory> directory, std::string file, sqlite3* db)
        : directory_(std::move(directory)), file_(std::move(file)), db_(db) {}
    bool exec(const char* sql);

    // One change waiting for, or done by, a shared write.
    struct Change {
        enum class Kind { Save, Heuristic, Remove, Holds } kind;
        const Saved* saved = nullptr;  // Save
        XID xid{};                     // Heuristic, Remove, Holds
        int outcome = 0;               // Heuristic
        Removed result = Removed::Failed;
        bool done = false;
    };
    Removed write(Change& change);
    void writeBatch(const std::vector<Change*>& batch) noexcept;
    Removed apply(const Change& change);

    std::shared_ptr<ztmeng::StateDirectory> directory_;  // held while open
    std::string file_;
    sqlite3* db_;
    std::mutex queueMutex_;
    std::condition_variable written_;
    std::vector<Change*> queued_;
    bool writing_ = false;
};

}  // namespace ztmzse

#endif  // ZTMZSE_BRANCH_STORE_H

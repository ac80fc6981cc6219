// Prepared transaction branches kept in a state directory, so that they
// outlive the process: one SQLite database (branches.db) per directory, one
// row per branch with the messages its unit of work holds. A row is written,
// and synced, before prepare answers; it goes when the branch is committed,
// rolled back or forgotten.
#ifndef ZTMZSE_BRANCH_STORE_H
#define ZTMZSE_BRANCH_STORE_H

#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "ztm.h"

struct sqlite3;

namespace ztmzse {

class BranchStore {
public:
    struct Saved {
        XID xid{};
        int heuristicOutcome = 0;  // XA_HEURCOM / XA_HEURRB once decided, else 0
        std::vector<ztmeng::Transaction::Held> messages;
    };

    // Opens (creating them when missing) the directory and its database;
    // null and a message in error when that fails.
    static std::unique_ptr<BranchStore> open(const std::string& directory, std::string& error);
    ~BranchStore();
    BranchStore(const BranchStore&) = delete;
    BranchStore& operator=(const BranchStore&) = delete;

    // Each returns false when the database refused.
    bool save(const std::string& key, const Saved& branch);
    bool setHeuristic(const std::string& key, int outcome);
    bool remove(const std::string& key);
    bool loadAll(std::vector<Saved>& out);

    const std::string& directory() const { return directory_; }

private:
    BranchStore(std::string directory, sqlite3* db) : directory_(std::move(directory)), db_(db) {}
    bool exec(const char* sql);

    std::string directory_;
    sqlite3* db_;
};

}  // namespace ztmzse

#endif  // ZTMZSE_BRANCH_STORE_H

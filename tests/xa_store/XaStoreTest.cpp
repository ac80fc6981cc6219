// Prepared branches outlive the process when the resource manager is opened
// with a state directory: what a branch put and got is back after a restart
// (ztmctl::reset), listed by recover, and finished by commit or rollback.
#include <filesystem>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "QmgrTest.h"
#include "XidRecords.h"
#include "ztm_xa_control.h"

namespace {

class XaStore : public QmgrTest {
protected:
    void SetUp() override
    {
        QmgrTest::SetUp();
        char pattern[] = "/tmp/xa_store_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        openString_ = "QM1;state=" + dir_ + "/qm";
        begin();
    }

    void TearDown() override
    {
        QmgrTest::TearDown();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // A process's start: open the resource manager, connect, open the queue.
    void begin()
    {
        ASSERT_EQ(zstXAOpen(openString_.data(), kRmid, TMNOFLAGS, 8, 0, 1), XA_OK);
        hconn_ = connect("QM1");
        out_ = openQueue(hconn_, "ST.Q", ZTOO_OUTPUT);
        in_ = openQueue(hconn_, "ST.Q", ZTOO_INPUT_SHARED);
    }

    // The process ends: every queue, message and branch in memory is gone.
    void restart()
    {
        ztmctl::reset();
        begin();
    }

    // A branch that got "old" (put before, outside it) and put "new".
    XID preparedBranch(int n)
    {
        putText(hconn_, out_, "old " + std::to_string(n), ZTPMO_NO_SYNCPOINT);
        XID x = branchXid(n);
        EXPECT_EQ(zstXAStart(&x, kRmid, TMNOFLAGS, 1), XA_OK);
        EXPECT_EQ(getText(hconn_, in_, ZTGMO_SYNCPOINT).text, "old " + std::to_string(n));
        putText(hconn_, out_, "new " + std::to_string(n), ZTPMO_SYNCPOINT);
        EXPECT_EQ(zstXAEnd(&x, kRmid, TMSUCCESS), XA_OK);
        EXPECT_EQ(zstXAPrepare(&x, kRmid, TMNOFLAGS), XA_OK);
        return x;
    }

    int recoverAll(XID* xids, long count)
    {
        return zstXARecover(xids, count, kRmid, TMSTARTRSCAN | TMENDRSCAN);
    }

    std::string storeFile() const { return dir_ + "/qm/branches.db"; }

    // Changes the store as another program would.
    void alter(const std::string& sql)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << sql << ": " << error;
        sqlite3_free(error);
        sqlite3_close(db);
    }

    // The first column of the first row of a query of the store, as text.
    std::string query(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_stmt* st = nullptr;
        std::string out;
        if (sqlite3_open(storeFile().c_str(), &db) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }

    static std::string contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // In a child process: opens this directory under another rmid, writes
    // what the open printed to the pipe, exits with whether the answer was
    // `expected` and (unless -1) the child then held `branches` branches.
    int openInAChild(int expected, int branches, std::string& printed)
    {
        int pipeFds[2];
        EXPECT_EQ(pipe(pipeFds), 0);
        const pid_t child = fork();
        if (child == 0) {
            dup2(pipeFds[1], 2);
            const int rc = zstXAOpen(openString_.data(), kRmid + 1, TMNOFLAGS, 8, 0, 1);
            _exit(rc == expected && (branches == -1 || ztmXABranchCount() == branches) ? 0 : 1);
        }
        close(pipeFds[1]);
        char buffer[512];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            printed.append(buffer, static_cast<std::size_t>(n));
        }
        close(pipeFds[0]);
        int status = -1;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static constexpr int kRmid = 3;
    std::string dir_;
    std::string openString_;
    ZTLONG hconn_ = 0;
    ZTLONG out_ = 0;
    ZTLONG in_ = 0;
};

TEST_F(XaStore, APreparedBranchIsListedAndCommittedAfterARestart)
{
    XID x = preparedBranch(1);
    restart();
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_PREPARED);
    XID found[4];
    ASSERT_EQ(recoverAll(found, 4), 1);
    EXPECT_EQ(gtridOf(found[0]), gtridOf(x));
    EXPECT_EQ(ztmctl::visibleDepth("ST.Q", "QM1"), 0u) << "in doubt, nothing is seen";
    ASSERT_EQ(zstXACommit(&found[0], kRmid, TMNOFLAGS), XA_OK);
    Got got = getText(hconn_, in_);
    EXPECT_EQ(got.text, "new 1");
    EXPECT_EQ(getText(hconn_, in_).r.cc, ZTCC_FAILED) << "the got message stays got";
    restart();
    EXPECT_EQ(recoverAll(found, 4), 0) << "a committed branch is gone from the store";
}

TEST_F(XaStore, ARollbackAfterARestartRestoresWhatTheBranchGot)
{
    XID x = preparedBranch(2);
    restart();
    ASSERT_EQ(zstXARollback(&x, kRmid, TMNOFLAGS), XA_OK);
    Got got = getText(hconn_, in_);
    EXPECT_EQ(got.text, "old 2");
    EXPECT_EQ(got.md.backoutCount, 1);
    EXPECT_EQ(getText(hconn_, in_).r.cc, ZTCC_FAILED) << "what it put is gone";
    restart();
    EXPECT_EQ(ztmXABranchCount(), 0);
}

TEST_F(XaStore, OnlyPreparedBranchesAreKeptAndEachOnce)
{
    XID kept = preparedBranch(3);
    XID active = branchXid(4);
    ASSERT_EQ(zstXAStart(&active, kRmid, TMNOFLAGS, 1), XA_OK);
    putText(hconn_, out_, "never prepared", ZTPMO_SYNCPOINT);
    ASSERT_EQ(zstXAEnd(&active, kRmid, TMSUCCESS), XA_OK);
    restart();
    // A second open of the same directory loads nothing twice.
    ASSERT_EQ(zstXAOpen(openString_.data(), kRmid + 1, TMNOFLAGS, 8, 0, 1), XA_OK);
    EXPECT_EQ(ztmXABranchCount(), 1);
    EXPECT_EQ(ztmXABranchState(&kept), ZTXA_BRANCH_PREPARED);
    EXPECT_EQ(ztmXABranchState(&active), ZTXA_BRANCH_NONE);
}

TEST_F(XaStore, AHeuristicOutcomeOutlivesTheProcessUntilForgotten)
{
    XID x = preparedBranch(5);
    ASSERT_EQ(ztmXAHeuristic(&x, XA_HEURRB), 0);
    restart();
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_HEURISTIC);
    EXPECT_EQ(zstXACommit(&x, kRmid, TMNOFLAGS), XA_HEURRB);
    EXPECT_EQ(zstXAForget(&x, kRmid, TMNOFLAGS), XA_OK);
    restart();
    EXPECT_EQ(ztmXABranchCount(), 0);
}

TEST_F(XaStore, WithoutAStateDirectoryNothingOutlivesTheProcess)
{
    openString_ = "QM1";
    restart();
    preparedBranch(6);
    restart();
    EXPECT_EQ(ztmXABranchCount(), 0);
}

TEST_F(XaStore, AnUnusableStateDirectoryFailsTheOpen)
{
    const std::string file = dir_ + "/plain-file";
    std::ofstream(file) << "not a directory";
    std::string open = "QM1;state=" + file;
    EXPECT_EQ(zstXAOpen(open.data(), kRmid + 1, TMNOFLAGS, 8, 0, 1), XAER_RMERR);
}

TEST_F(XaStore, AStateDirectoryHasOneOwningProcess)
{
    preparedBranch(7);
    std::string printed;
    EXPECT_EQ(openInAChild(XAER_RMERR, -1, printed), 0) << "a second process is refused: " << printed;
    EXPECT_NE(printed.find(dir_ + "/qm"), std::string::npos) << printed;
    ztmctl::reset();  // this process lets the directory go
    printed.clear();
    EXPECT_EQ(openInAChild(XA_OK, 1, printed), 0) << "the next owner finds the branch: " << printed;
    begin();
    EXPECT_EQ(ztmXABranchCount(), 1) << "the child ended, the directory is free again";
}

TEST_F(XaStore, CompletingABranchNoLongerStoredIsNotItsOutcome)
{
    XID committed = preparedBranch(8);
    XID rolledBack = preparedBranch(9);
    alter("DELETE FROM message; DELETE FROM branch");
    EXPECT_EQ(zstXACommit(&committed, kRmid, TMNOFLAGS), XAER_NOTA);
    EXPECT_EQ(zstXARollback(&rolledBack, kRmid, TMNOFLAGS), XAER_NOTA);
    EXPECT_EQ(ztmXABranchCount(), 0);
    for (Got got = getText(hconn_, in_); got.r.cc == ZTCC_OK; got = getText(hconn_, in_)) {
        EXPECT_EQ(got.text.rfind("new", 0), std::string::npos) << "committed here too: " << got.text;
    }
}

TEST_F(XaStore, TheStoreHoldsExplicitFieldsWhateverTheWidth)
{
    XID x = preparedBranch(10);
    ztmctl::reset();
    // The descriptor's integers high byte first, on every machine: its
    // version (offset 4) is 2.
    EXPECT_EQ(query("SELECT hex(substr(md, 5, 4)) FROM message WHERE got = 0"), "00000002");
    // What a process of the other width or byte order writes: the fields,
    // not the records; here priority (offset 40) 7 and character set
    // (offset 28) 1208.
    alter("UPDATE branch SET format_id = 77, bqual = x'0102'; UPDATE message SET format_id = 77, bqual = x'0102'");
    alter(
        "UPDATE message SET md = substr(md, 1, 28) || x'000004B8' || substr(md, 33, 8) || "
        "x'00000007' ||"
        " substr(md, 45) WHERE got = 0");
    x.formatID = 77;
    x.bqual_length = 2;
    std::memcpy(x.data + x.gtrid_length, "\x01\x02", 2);
    begin();
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_PREPARED);
    ASSERT_EQ(zstXACommit(&x, kRmid, TMNOFLAGS), XA_OK);
    const Got got = getText(hconn_, in_);
    EXPECT_EQ(got.text, "new 10");
    EXPECT_EQ(got.md.priority, 7);
    EXPECT_EQ(got.md.characterSet, 1208);
}

TEST_F(XaStore, ADamagedStoreIsRefusedAndLeftAsItIs)
{
    enum class Other { None, Garbage, Empty, Foreign };
    struct Damage {
        const char* what;
        const char* sql;
        Other other;
        const char* says;
    };
    const Damage damages[] = {
        {"a gtrid of 200 bytes", "UPDATE branch SET gtrid = zeroblob(200)", Other::None,
         "gtrid length 200"},
        {"an empty gtrid", "UPDATE branch SET gtrid = x''", Other::None, "gtrid length 0"},
        {"a bqual of 65 bytes", "UPDATE branch SET bqual = zeroblob(65)", Other::None,
         "bqual length 65"},
        {"the null XID's format", "UPDATE branch SET format_id = -1", Other::None, "format ID"},
        {"a format beyond an int", "UPDATE branch SET format_id = 1099511627776", Other::None,
         "format ID"},
        {"a format of text", "UPDATE branch SET format_id = 'x'", Other::None, "format ID"},
        {"an unknown outcome", "UPDATE branch SET outcome = 99", Other::None, "outcome 99"},
        {"a descriptor cut short", "UPDATE message SET md = zeroblob(10)", Other::None,
         "descriptor of 10 bytes"},
        {"got neither 0 nor 1", "UPDATE message SET got = 5", Other::None, "got 5"},
        {"a queue name too long", "UPDATE message SET queue = substr(hex(zeroblob(25)), 1, 49)",
         Other::None, "queue"},
        {"another format", "PRAGMA user_version = 1", Other::None, "format 1"},
        {"the descriptor in the writer's byte order", "PRAGMA user_version = 2", Other::None,
         "format 2"},
        {"no branch table", "DROP TABLE branch", Other::None, "tables missing"},
        {"not a database", nullptr, Other::Garbage, "not readable"},
        {"an empty file", nullptr, Other::Empty, "empty file"},
        {"a database without the schema", nullptr, Other::Foreign, "format 0"},
    };
    int n = 20;
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        ztmctl::reset();
        std::filesystem::remove_all(dir_ + "/qm");
        begin();
        preparedBranch(n++);
        ztmctl::reset();
        switch (d.other) {
        case Other::None: alter(d.sql); break;
        case Other::Garbage: std::ofstream(storeFile(), std::ios::trunc) << "forty branches were here"; break;
        case Other::Empty: std::ofstream(storeFile(), std::ios::trunc).close(); break;
        case Other::Foreign:
            std::filesystem::remove(storeFile());
            alter("CREATE TABLE other(x)");
            break;
        }
        const std::string before = contents(storeFile());
        testing::internal::CaptureStderr();
        EXPECT_EQ(zstXAOpen(openString_.data(), kRmid, TMNOFLAGS, 8, 0, 1), XAER_RMERR);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_NE(printed.find(storeFile()), std::string::npos) << printed;
        EXPECT_NE(printed.find(d.says), std::string::npos) << printed;
        EXPECT_EQ(contents(storeFile()), before) << "left as it is";
        EXPECT_EQ(ztmXABranchCount(), 0);
    }
}

TEST_F(XaStore, OpenStringsAreReadAsUsersWriteThem)
{
    struct Row {
        const char* options;  // after "QM1", @ stands for the directory
        int rc;
        const char* directory;  // where the branch is kept, @ as above
    };
    const Row rows[] = {
        {"; state=@", XA_OK, "@"},
        {";STATE=@", XA_OK, "@"},
        {" ;  State = @ ", XA_OK, "@"},
        {";state=@/semi;;colon", XA_OK, "@/semi;colon"},
        {";state=@/semi;colon", XAER_INVAL, nullptr},
        {";bogus=1", XAER_INVAL, nullptr},
        {";state=", XAER_INVAL, nullptr},
        {";state=@;state=@", XAER_INVAL, nullptr},
        {";", XAER_INVAL, nullptr},
    };
    auto expand = [this](std::string s) {
        for (std::size_t at; (at = s.find('@')) != std::string::npos;) {
            s.replace(at, 1, dir_ + "/os");
        }
        return s;
    };
    int n = 40;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.options);
        ztmctl::reset();
        std::filesystem::remove_all(dir_ + "/os");
        openString_ = expand(std::string("QM1") + row.options);
        testing::internal::CaptureStderr();
        const int rc = zstXAOpen(openString_.data(), kRmid, TMNOFLAGS, 8, 0, 1);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(rc, row.rc) << printed;
        if (row.directory == nullptr) {
            EXPECT_NE(printed.find(openString_), std::string::npos) << "the message names the string";
            EXPECT_FALSE(std::filesystem::exists(dir_ + "/os")) << "nothing made";
            continue;
        }
        ASSERT_EQ(rc, XA_OK);
        restart();
        preparedBranch(n++);
        EXPECT_TRUE(std::filesystem::exists(expand(row.directory) + "/branches.db"));
        restart();
        EXPECT_EQ(ztmXABranchCount(), 1) << "kept where the string says";
    }
}

TEST_F(XaStore, ThreadsPreparingTogetherShareSyncsAndLoseNothing)
{
    constexpr int kThreads = 8;
    constexpr int kEach = 15;
    std::vector<std::thread> threads;
    std::vector<int> failed(kThreads, 0);
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([this, t, &failed] {
            const ZTLONG hconn = connect("QM1");
            const ZTLONG out = openQueue(hconn, "ST.Q", ZTOO_OUTPUT);
            for (int i = 0; i < kEach; i++) {
                XID x = branchXid(100 + t * kEach + i);
                failed[t] += zstXAStart(&x, kRmid, TMNOFLAGS, 1) != XA_OK;
                putText(hconn, out, "thread " + std::to_string(t), ZTPMO_SYNCPOINT);
                failed[t] += zstXAEnd(&x, kRmid, TMSUCCESS) != XA_OK;
                failed[t] += zstXAPrepare(&x, kRmid, TMNOFLAGS) != XA_OK;
                // Half are completed again at once, beside the others' prepares.
                if (i % 2 == 1) failed[t] += zstXARollback(&x, kRmid, TMNOFLAGS) != XA_OK;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failed, std::vector<int>(kThreads, 0));
    restart();
    const int kept = kThreads * ((kEach + 1) / 2);
    EXPECT_EQ(ztmXABranchCount(), kept) << "each prepared branch once, each rolled back one gone";
    std::vector<XID> found(static_cast<std::size_t>(kept) + 1);
    ASSERT_EQ(recoverAll(found.data(), static_cast<long>(found.size())), kept);
    for (int i = 0; i < kept; i++) {
        ASSERT_EQ(zstXACommit(&found[static_cast<std::size_t>(i)], kRmid, TMNOFLAGS), XA_OK);
    }
    EXPECT_EQ(ztmctl::visibleDepth("ST.Q", "QM1"), static_cast<std::size_t>(kept));
    restart();
    EXPECT_EQ(ztmXABranchCount(), 0);
}

// An open string without "state=" keeps the branches in the queue manager's
// own state directory.
TEST_F(XaStore, WithoutStateTheBranchesGoWhereTheQueueManagerKeepsItsMessages) {
    const std::string qmDir = dir_ + "/env";
    openString_ = "QM1";
    auto startOn = [&] {
        ztmctl::reset();
        std::string error;
        ASSERT_TRUE(ztmctl::setStateDirectory(qmDir, &error)) << error;
        begin();
    };
    startOn();
    const XID x = preparedBranch(5);
    startOn();
    EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_PREPARED);
    EXPECT_TRUE(std::filesystem::exists(qmDir + "/branches.db"));
}

// With the queue manager's state directory where the branches are kept, a
// persistent message a branch put is kept when the branch commits after a
// restart, and a kept message the branch got is neither doubled while in
// doubt nor back once the commit is done.
TEST_F(XaStore, PersistentMessagesOfARecoveredBranchAreKeptOnce) {
    const std::string qmDir = dir_ + "/qm";
    auto startOn = [&] {
        std::string error;
        ASSERT_TRUE(ztmctl::setStateDirectory(qmDir, &error)) << error;
        begin();
    };
    auto putKept = [&](const std::string& text, ZTLONG options) {
        Result r;
        putMessage(hconn_, out_, text, options, ZTPER_PERSISTENT, r);
        EXPECT_EQ(r.cc, ZTCC_OK) << r.rc;
    };
    startOn();
    putKept("old", ZTPMO_NO_SYNCPOINT);
    XID x = branchXid(7);
    ASSERT_EQ(zstXAStart(&x, kRmid, TMNOFLAGS, 1), XA_OK);
    EXPECT_EQ(getText(hconn_, in_, ZTGMO_SYNCPOINT).text, "old");
    putKept("new", ZTPMO_SYNCPOINT);
    ASSERT_EQ(zstXAEnd(&x, kRmid, TMSUCCESS), XA_OK);
    ASSERT_EQ(zstXAPrepare(&x, kRmid, TMNOFLAGS), XA_OK);

    startOn();
    EXPECT_EQ(ztmctl::totalDepth("ST.Q", "QM1"), 2u) << "old once (got by the branch), new pending";
    EXPECT_EQ(ztmctl::visibleDepth("ST.Q", "QM1"), 0u);
    ASSERT_EQ(zstXACommit(&x, kRmid, TMNOFLAGS), XA_OK);

    startOn();
    EXPECT_EQ(ztmXABranchCount(), 0);
    EXPECT_EQ(getText(hconn_, in_).text, "new");
    EXPECT_EQ(getText(hconn_, in_).r.rc, ZTRC_NO_MSG_AVAILABLE) << "old is gone for good";
}

// This test program again, in a new process whose queue manager starts on
// `directory` by ZT_STATE_DIRECTORY: its exit status.
int runStartedByEnvironment(const std::string& directory) {
    // This program again; under an emulator (ZT_TEST_EMULATOR: its full path
    // and words, separated by '|') through it, as the kernel cannot start it
    // alone. The emulator answers /proc/self/exe with this program's path.
    // execv, not execvp: no shell tries a program the kernel refused.
    std::vector<std::string> words;
    if (const char* emulator = std::getenv("ZT_TEST_EMULATOR")) {
        std::string rest = emulator;
        for (size_t bar; !rest.empty();
             rest = bar == std::string::npos ? "" : rest.substr(bar + 1)) {
            bar = rest.find('|');
            if (bar != 0) words.push_back(rest.substr(0, bar));
        }
    }
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return -1;
    words.push_back(self);
    words.push_back("--gtest_filter=StartedByEnvironment.*");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        setenv("ZT_STATE_DIRECTORY", directory.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Run by runStartedByEnvironment: the branch InDoubtWorkIsHeldFromTheStart
// left prepared holds its messages before anything else is called.
TEST(StartedByEnvironment, AConsumerFirstIsServedNothingInDoubt) {
    if (std::getenv("ZT_STATE_DIRECTORY") == nullptr)
        GTEST_SKIP() << "run by InDoubtWorkIsHeldFromTheStart";
    NameField name("QM1");
    ZTLONG hconn = 0;
    Result r;
    ZTCONN(name.bytes, &hconn, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK) << r.rc;
    const ZTLONG in = openQueue(hconn, "ST.Q", ZTOO_INPUT_SHARED);
    EXPECT_EQ(getText(hconn, in).r.rc, ZTRC_NO_MSG_AVAILABLE);
    EXPECT_EQ(ztmctl::totalDepth("ST.Q", "QM1"), 2u) << "what the branch got and put";
    EXPECT_EQ(ztmXABranchCount(), 1);
}

// The queue manager restores the in-doubt branches of its state directory
// when it starts, before anyone is served: a consumer connecting before any
// xa_open finds what a prepared branch got still held and what it put still
// invisible; the outcome decided later delivers each message once. A
// decision the message store refuses (a full disk) answers an error and
// changes nothing: the branch stays prepared, in memory and in branches.db,
// for the transaction manager to decide again, in this process or the next.
TEST_F(XaStore, InDoubtWorkIsHeldFromTheStartUntilDecided) {
    const std::string qmDir = dir_ + "/qm";
    enum class Decision { Commit, Rollback, HeuristicCommit };
    struct Outcome {
        const char* what;
        Decision decision;
        const char* delivered;  // what the consumer gets once decided
        bool child;             // a process started by ZT_STATE_DIRECTORY looks first
        bool refused;           // the message store first refuses a write
        int whileRefused;       // the decision's answer then
        bool restartAfterRefusal;
    };
    const Outcome outcomes[] = {
        {"commit", Decision::Commit, "new", false, false, 0, false},
        {"rollback", Decision::Rollback, "old", false, false, 0, false},
        {"commit, a new process started by the environment first", Decision::Commit, "new", true,
         false, 0, false},
        {"commit refused by the message store, committed again", Decision::Commit, "new", false,
         true, XAER_RMFAIL, false},
        {"commit refused, committed in the next process", Decision::Commit, "new", false, true,
         XAER_RMFAIL, true},
        {"rollback while the message store refuses (it writes no message)", Decision::Rollback,
         "old", false, true, XA_OK, false},
        {"heuristic commit refused, then done", Decision::HeuristicCommit, "new", false, true, -1,
         true},
    };
    int n = 60;
    for (const Outcome& o : outcomes) {
        SCOPED_TRACE(o.what);
        openString_ = "QM1";
        ztmctl::reset();
        std::filesystem::remove_all(qmDir);
        std::string error;
        ASSERT_TRUE(ztmctl::setStateDirectory(qmDir, &error)) << error;
        begin();
        Result r;
        putMessage(hconn_, out_, "old", ZTPMO_NO_SYNCPOINT, ZTPER_PERSISTENT, r);
        ASSERT_EQ(r.cc, ZTCC_OK) << r.rc;
        XID x = branchXid(n++);
        ASSERT_EQ(zstXAStart(&x, kRmid, TMNOFLAGS, 1), XA_OK);
        ASSERT_EQ(getText(hconn_, in_, ZTGMO_SYNCPOINT).text, "old");
        putMessage(hconn_, out_, "new", ZTPMO_SYNCPOINT, ZTPER_PERSISTENT, r);
        ASSERT_EQ(zstXAEnd(&x, kRmid, TMSUCCESS), XA_OK);
        ASSERT_EQ(zstXAPrepare(&x, kRmid, TMNOFLAGS), XA_OK);

        if (o.child) {
            ztmctl::reset();  // this process lets the directory go
            EXPECT_EQ(runStartedByEnvironment(qmDir), 0) << "see the child's output above";
        }
        // The next process: a consumer first, no xa_open yet.
        ZTLONG consumer = 0, in = 0;
        auto nextProcess = [&] {
            ASSERT_TRUE(ztmctl::setStateDirectory(qmDir, &error)) << error;
            consumer = connect("QM1");
            in = openQueue(consumer, "ST.Q", ZTOO_INPUT_SHARED);
        };
        nextProcess();
        EXPECT_EQ(getText(consumer, in).r.rc, ZTRC_NO_MSG_AVAILABLE)
            << "in doubt, nothing is served";
        EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_PREPARED);

        ASSERT_EQ(zstXAOpen(openString_.data(), kRmid, TMNOFLAGS, 8, 0, 1), XA_OK);
        auto decide = [&] {
            switch (o.decision) {
            case Decision::Commit:
                return zstXACommit(&x, kRmid, TMNOFLAGS);
            case Decision::Rollback:
                return zstXARollback(&x, kRmid, TMNOFLAGS);
            case Decision::HeuristicCommit:
                return ztmXAHeuristic(&x, XA_HEURCOM);
            }
            return XAER_PROTO;
        };
        bool decided = false;
        if (o.refused) {
            ztmctl::failStoreWrites(1);
            const int answer = decide();
            ztmctl::failStoreWrites(0);
            EXPECT_EQ(answer, o.whileRefused);
            decided = answer == XA_OK;
        }
        if (o.refused && !decided) {
            EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_PREPARED) << "changed nothing";
            XID found[2];
            EXPECT_EQ(recoverAll(found, 2), 1) << "still in doubt";
            EXPECT_EQ(query("SELECT count(*) FROM branch"), "1") << "still in branches.db";
            EXPECT_EQ(getText(consumer, in).r.rc, ZTRC_NO_MSG_AVAILABLE) << "nothing served";
            if (o.restartAfterRefusal) {
                nextProcess();
                ASSERT_EQ(zstXAOpen(openString_.data(), kRmid, TMNOFLAGS, 8, 0, 1), XA_OK);
                EXPECT_EQ(ztmXABranchState(&x), ZTXA_BRANCH_PREPARED) << "in doubt after a restart";
            }
        }
        if (!decided) {
            ASSERT_EQ(decide(), XA_OK);
        }
        if (o.decision == Decision::HeuristicCommit) {
            EXPECT_EQ(zstXACommit(&x, kRmid, TMNOFLAGS), XA_HEURCOM);
            EXPECT_EQ(zstXAForget(&x, kRmid, TMNOFLAGS), XA_OK);
        }
        EXPECT_EQ(getText(consumer, in).text, o.delivered);
        EXPECT_EQ(getText(consumer, in).r.rc, ZTRC_NO_MSG_AVAILABLE) << "each message once";
        nextProcess();
        EXPECT_EQ(ztmXABranchCount(), 0);
        EXPECT_EQ(ztmctl::totalDepth("ST.Q", "QM1"), 0u) << "nothing back after a restart";
    }
}

}  // namespace

// Persistent messages in a state directory: what a process committed is
// there, exactly once, for the next process on the directory (a child killed
// with SIGKILL stands for the crash); what it did not commit, or did not ask
// to keep, is not. A damaged store is refused, named and left as it was.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "QmgrTest.h"
#include "engine.h"

namespace {

const char kQueue[] = "KEPT.Q";

// One process's use of the queue, checking every answer.
struct Session {
    ZTLONG hconn = 0, out = 0, in = 0;
    bool ok = true;

    void open() {
        NameField n("");
        Result r;
        ZTCONN(n.bytes, &hconn, &r.cc, &r.rc);
        ok = ok && r.cc == ZTCC_OK;
        for (auto [options, hobj] :
             {std::make_pair(ZTOO_OUTPUT, &out), std::make_pair(ZTOO_INPUT_SHARED, &in)}) {
            ZTOD od = objectDescriptor(kQueue);
            ZTOPEN(hconn, &od, options, hobj, &r.cc, &r.rc);
            ok = ok && r.cc == ZTCC_OK;
        }
    }
    void put(const std::string& text, ZTLONG persistence, ZTLONG options) {
        Result r;
        putMessage(hconn, out, text, options, persistence, r);
        ok = ok && r.cc == ZTCC_OK;
    }
    void get(const std::string& expected, ZTLONG options) {
        ok = ok && getText(hconn, in, options).text == expected;
    }
    void end(bool commit) {
        Result r;
        (commit ? ZTCMIT : ZTBACK)(hconn, &r.cc, &r.rc);
        ok = ok && r.cc == ZTCC_OK;
    }
    void disconnect() {
        Result r;
        ZTDISC(&hconn, &r.cc, &r.rc);
        ok = ok && r.cc == ZTCC_OK;
    }
    // Every message a get sees, in order, taken for good.
    std::vector<std::string> drain() {
        std::vector<std::string> all;
        for (Got g = getText(hconn, in); g.r.cc == ZTCC_OK; g = getText(hconn, in))
            all.push_back(g.text);
        return all;
    }
};

constexpr ZTLONG P = ZTPER_PERSISTENT;
constexpr ZTLONG NP = ZTPER_NOT_PERSISTENT;
constexpr ZTLONG SP = ZTPMO_SYNCPOINT;
constexpr ZTLONG NSP = ZTPMO_NO_SYNCPOINT;
constexpr ZTLONG GSP = ZTGMO_SYNCPOINT;
constexpr ZTLONG GNSP = ZTGMO_NO_SYNCPOINT;

struct CrashCase {
    const char* what;
    std::function<void(Session&)> work;  // done by the process that is killed
    std::vector<std::string> kept;       // what the next process finds, in order
};

// clang-format off
const std::vector<CrashCase>& crashCases() {
    static const std::vector<CrashCase> cases = {
        {"persistent put outside a unit of work", [](Session& s) { s.put("a", P, NSP); }, {"a"}},
        {"persistent put committed", [](Session& s) { s.put("b", P, SP); s.end(true); }, {"b"}},
        {"persistent put not committed", [](Session& s) { s.put("c", P, SP); }, {}},
        {"persistent put backed out", [](Session& s) { s.put("d", P, SP); s.end(false); }, {}},
        {"persistent put committed by the disconnect",
         [](Session& s) { s.put("e", P, SP); s.disconnect(); }, {"e"}},
        {"non-persistent put",
         [](Session& s) { s.put("f", NP, NSP); s.put("g", NP, SP); s.end(true); }, {}},
        {"persistence as the queue's default (not persistent)",
         [](Session& s) { s.put("h", ZTPER_PERSISTENCE_AS_Q_DEF, NSP); }, {}},
        {"queue order is put order, commit order aside",
         [](Session& s) {
             s.put("i1", P, SP);
             s.put("i2", NP, NSP);
             s.put("i3", P, NSP);
             s.end(true);
         },
         {"i1", "i3"}},
        {"get outside a unit of work",
         [](Session& s) { s.put("j1", P, NSP); s.put("j2", P, NSP); s.get("j1", GNSP); },
         {"j2"}},
        {"get committed",
         [](Session& s) { s.put("k", P, NSP); s.get("k", GSP); s.end(true); }, {}},
        {"get not committed", [](Session& s) { s.put("l", P, NSP); s.get("l", GSP); }, {"l"}},
        {"get backed out",
         [](Session& s) { s.put("m", P, NSP); s.get("m", GSP); s.end(false); }, {"m"}},
        {"put and get in one committed unit of work",
         [](Session& s) {
             s.put("n1", P, NSP);
             s.put("n2", P, SP);
             s.get("n1", GSP);
             s.end(true);
         },
         {"n2"}},
    };
    return cases;
}
// clang-format on

class Persistence : public QmgrTest {
protected:
    void SetUp() override {
        QmgrTest::SetUp();
        char pattern[] = "/tmp/qmgr_kept_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        QmgrTest::TearDown();  // the reset lets go of the directory
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // A child process starts on the directory, does `work`, reports and is
    // killed with SIGKILL. true when every answer it got was cc 0.
    bool crashAfter(const std::function<void(Session&)>& work) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return false;
        const pid_t pid = fork();
        if (pid == 0) {
            close(pipeFds[0]);
            Session s;
            s.ok = ztmctl::setStateDirectory(dir_);
            s.open();
            work(s);
            const char report = s.ok ? 'K' : 'F';
            if (write(pipeFds[1], &report, 1) != 1) _exit(3);
            for (;;) pause();
        }
        close(pipeFds[1]);
        char report = 0;
        const bool reported = pid > 0 && read(pipeFds[0], &report, 1) == 1;
        close(pipeFds[0]);
        if (pid > 0) kill(pid, SIGKILL);
        int status = 0;
        const bool killed = pid > 0 && waitpid(pid, &status, 0) == pid && WIFSIGNALED(status) &&
                            WTERMSIG(status) == SIGKILL;
        return reported && killed && report == 'K';
    }

    // This process starts on the directory as the next one would.
    Session restart() {
        std::string error;
        EXPECT_TRUE(ztmctl::setStateDirectory(dir_, &error)) << error;
        Session s;
        s.open();
        EXPECT_TRUE(s.ok);
        return s;
    }

    std::string file() const { return dir_ + "/messages.db"; }
    std::string dir_;
};

TEST_F(Persistence, WhatACommittedProcessKeptIsThereOnceAfterSigkill) {
    for (const CrashCase& c : crashCases()) {
        SCOPED_TRACE(c.what);
        ztmctl::reset();
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(crashAfter(c.work)) << "the child's work failed or it did not die by SIGKILL";
        Session s = restart();
        EXPECT_EQ(s.drain(), c.kept);
        // What was got for good stays got: a third process finds nothing.
        s = restart();
        EXPECT_EQ(s.drain(), std::vector<std::string>());
    }
}

// A kept message comes back exactly as it was put: every byte of the
// descriptor (a pattern, all context given) and of the data.
TEST_F(Persistence, AKeptMessageComesBackAsItWasPut) {
    Session s = restart();
    ZTMD md;
    auto* bytes = reinterpret_cast<unsigned char*>(&md);
    for (size_t i = 0; i < sizeof md; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
    md.version = 2;
    md.persistence = P;
    md.backoutCount = 0;
    const ZTMD given = md;
    const std::string data("\0binary\xff data", 13);
    ZTPMO pmo = putOptions(ZTPMO_SET_ALL_CONTEXT | ZTPMO_NO_SYNCPOINT);
    Result r;
    ZTPUT(s.hconn, s.out, &md, &pmo, static_cast<ZTLONG>(data.size()),
          const_cast<char*>(data.data()), &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK) << r.rc;
    s = restart();
    Got g = getText(s.hconn, s.in);
    EXPECT_EQ(g.r.cc, ZTCC_OK);
    EXPECT_EQ(g.text, data);
    for (size_t i = 0; i < sizeof md; ++i)
        EXPECT_EQ(reinterpret_cast<const unsigned char*>(&g.md)[i],
                  reinterpret_cast<const unsigned char*>(&given)[i])
            << "descriptor byte " << i;
}

// Two processes never share a directory: the second is refused while the
// first lives, and takes over once it is gone.
TEST_F(Persistence, ADirectoryHasOneProcessAtATime) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        const char report = ztmctl::setStateDirectory(dir_) ? 'K' : 'F';
        if (write(pipeFds[1], &report, 1) != 1) _exit(3);
        for (;;) pause();
    }
    close(pipeFds[1]);
    char report = 0;
    ASSERT_EQ(read(pipeFds[0], &report, 1), 1);
    close(pipeFds[0]);
    std::string error;
    EXPECT_FALSE(ztmctl::setStateDirectory(dir_, &error));
    EXPECT_NE(error.find(std::filesystem::canonical(dir_).string()), std::string::npos) << error;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(report, 'K');
    EXPECT_TRUE(ztmctl::setStateDirectory(dir_, &error)) << error;
}

// Each damage is refused with a message that names the file and says what
// is wrong; the file is left exactly as it was.
TEST_F(Persistence, ADamagedStoreIsRefusedAndLeftAlone) {
    struct Damage {
        const char* what;
        const char* sql;      // applied to a good store with one kept message; null: file below
        const char* content;  // the whole file, when sql is null
        const char* said;     // part of the message
    };
    // clang-format off
    const Damage damages[] = {
        {"empty file", nullptr, "", "not a message store"},
        {"not a database", nullptr, "this is not a database, not even close....", "not readable"},
        {"another format version", "PRAGMA user_version=2", nullptr, "format version 2"},
        {"no message table", "DROP TABLE message", nullptr, "no message table"},
        {"short message id", "UPDATE message SET messageId = x'0102'", nullptr, "messageId"},
        {"priority beyond 32 bits", "UPDATE message SET priority = 4294967296", nullptr,
         "priority"},
        {"text where an integer belongs", "UPDATE message SET expiry = 'never'", nullptr, "expiry"},
        {"not persistent", "UPDATE message SET persistence = 0", nullptr, "not persistent"},
        {"negative backout count", "UPDATE message SET backoutCount = -1", nullptr, "backout"},
        {"queue name not a name", "UPDATE message SET queue = 'A B'", nullptr, "queue name"},
        {"queue name empty", "UPDATE message SET queue = ''", nullptr, "queue name"},
        {"queue manager name not text", "UPDATE message SET qmgr = x'00'", nullptr,
         "queue manager"},
        {"data not a blob", "UPDATE message SET data = 5", nullptr, "data"},
        {"id zero", "UPDATE message SET id = 0", nullptr, "id"},
    };
    // clang-format on
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        ztmctl::reset();
        std::filesystem::remove_all(dir_);
        {
            Session s = restart();
            s.put("kept", P, NSP);
        }
        ztmctl::reset();
        if (d.sql != nullptr) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(file().c_str(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr),
                      SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, d.sql, nullptr, nullptr, nullptr), SQLITE_OK)
                << sqlite3_errmsg(db);
            sqlite3_close(db);
        } else {
            std::ofstream(file(), std::ios::binary | std::ios::trunc) << d.content;
        }
        std::stringstream before;
        before << std::ifstream(file(), std::ios::binary).rdbuf();
        std::string error;
        EXPECT_FALSE(ztmctl::setStateDirectory(dir_, &error));
        EXPECT_NE(error.find("messages.db"), std::string::npos) << error;
        EXPECT_NE(error.find(d.said), std::string::npos) << error;
        std::stringstream after;
        after << std::ifstream(file(), std::ios::binary).rdbuf();
        EXPECT_EQ(before.str(), after.str()) << "the refused store was changed";
        // As a process started on it: the queue manager is not available.
        NameField n("");
        ZTLONG h = 0;
        Result r;
        ZTCONN(n.bytes, &h, &r.cc, &r.rc);
        EXPECT_EQ(r.rc, ZTRC_QMGR_NOT_AVAILABLE);
    }
}

// Run by ctest with ZT_STATE_DIRECTORY set (qmgr_state_from_environment_*):
// the queue manager takes it when it starts, before any reset. A path it
// cannot use (a plain file) leaves it unavailable instead of running without
// what it was told to keep.
TEST(StateFromEnvironment, IsTakenWhenTheQueueManagerStarts) {
    const char* dir = std::getenv("ZT_STATE_DIRECTORY");
    if (dir == nullptr) GTEST_SKIP() << "needs ZT_STATE_DIRECTORY (see tests/qmgr/CMakeLists.txt)";
    const bool usable = !std::filesystem::is_regular_file(dir);
    NameField n("");
    ZTLONG h = 0;
    Result r;
    ZTCONN(n.bytes, &h, &r.cc, &r.rc);
    if (usable) {
        EXPECT_EQ(r.cc, ZTCC_OK) << r.rc;
        EXPECT_EQ(ztmeng::stateDirectory(), std::filesystem::canonical(dir).string());
        EXPECT_TRUE(std::filesystem::is_regular_file(std::string(dir) + "/messages.db"));
    } else {
        EXPECT_EQ(r.rc, ZTRC_QMGR_NOT_AVAILABLE);
        EXPECT_EQ(ztmeng::stateDirectory(), "");
    }
    ZTDISC(&h, &r.cc, &r.rc);
}

}  // namespace

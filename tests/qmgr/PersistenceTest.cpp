// Persistent messages in a state directory: what a process committed is
// there, exactly once, for the next process on the directory (a child killed
// with SIGKILL stands for the crash); what it did not commit, or did not ask
// to keep, is not. A damaged store is refused, named and left as it was. A
// verb the store could not keep answers 2/3043 and changed nothing, in memory
// or on disk; a forked child does not reach its parent's store.
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <algorithm>
#include <sstream>
#include <thread>
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
        ok = ok && tryPut(text, persistence, options).cc == ZTCC_OK;
    }
    Result tryPut(const std::string& text, ZTLONG persistence, ZTLONG options) {
        Result r;
        putMessage(hconn, out, text, options, persistence, r);
        return r;
    }
    void get(const std::string& expected, ZTLONG options) {
        ok = ok && getText(hconn, in, options).text == expected;
    }
    void end(bool commit) { ok = ok && tryEnd(commit).cc == ZTCC_OK; }
    Result tryEnd(bool commit) {
        Result r;
        (commit ? ZTCMIT : ZTBACK)(hconn, &r.cc, &r.rc);
        return r;
    }
    void disconnect() { ok = ok && tryDisconnect().cc == ZTCC_OK; }
    Result tryDisconnect() {
        Result r;
        ZTDISC(&hconn, &r.cc, &r.rc);
        return r;
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
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // A small tmpfs on the directory, for a disk that really fills up; needs
    // the right to mount (root in CI). "" when mounted, else why not.
    std::string mountSmallDisk(const char* size) {
        const std::string options = std::string("size=") + size;
        if (mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        mounted_ = true;
        return std::string();
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
    bool mounted_ = false;
};

std::string contentOf(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

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

// A persistent change the store cannot keep answers 2/3043 and changes
// nothing: not the queue in memory (a failed put is not on it, a failed get
// left its message there, a failed commit or disconnect left the unit of work
// open), not the store (the next process finds what was kept before). Each
// verb meets each way the store can refuse: a write that fails, and the
// store taken away underneath (its directory removed, its file unlinked or
// replaced with mv), noticed before the change is made.
TEST_F(Persistence, AChangeTheStoreRefusedIsNotMade) {
    struct Verb {
        const char* what;
        std::function<void(Session&)> before;  // kept before the store refuses
        std::function<Result(Session&)> verb;  // refused
        size_t visible;                        // on the queue in memory afterwards
        bool uowOpen;                          // the unit of work still open afterwards
        std::vector<std::string> kept;         // what the next process finds
    };
    // clang-format off
    const Verb verbs[] = {
        {"put outside a unit of work", [](Session& s) { s.put("a", P, NSP); },
         [](Session& s) { return s.tryPut("b", P, NSP); }, 1, false, {"a"}},
        {"get outside a unit of work", [](Session& s) { s.put("a", P, NSP); },
         [](Session& s) { return getText(s.hconn, s.in, GNSP).r; }, 1, false, {"a"}},
        {"commit of a put", [](Session& s) { s.put("a", P, NSP); s.put("b", P, SP); },
         [](Session& s) { return s.tryEnd(true); }, 1, true, {"a"}},
        {"commit of a get",
         [](Session& s) { s.put("a", P, NSP); s.put("b", P, NSP); s.get("a", GSP); },
         [](Session& s) { return s.tryEnd(true); }, 1, true, {"a", "b"}},
        {"disconnect committing a put", [](Session& s) { s.put("a", P, NSP); s.put("b", P, SP); },
         [](Session& s) { return s.tryDisconnect(); }, 1, true, {"a"}},
    };
    struct Refusal {
        const char* what;
        std::function<void(const std::string& dir)> cause;
        bool keepsItsFile;  // the next process finds what was kept before (else nothing)
    };
    const Refusal refusals[] = {
        {"a write that fails", [](const std::string&) { ztmctl::failStoreWrites(1); }, true},
        {"state directory removed",
         [](const std::string& dir) { std::filesystem::remove_all(dir); }, false},
        {"messages.db unlinked",
         [](const std::string& dir) { std::filesystem::remove(dir + "/messages.db"); }, false},
        {"messages.db replaced (mv) with an empty store",
         [](const std::string& dir) {
             const std::string file = dir + "/messages.db", copy = dir + "/copy.db";
             sqlite3* db = nullptr;
             ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
                       SQLITE_OK);
             ASSERT_EQ(sqlite3_exec(db, ("VACUUM INTO '" + copy + "'").c_str(), nullptr, nullptr,
                                    nullptr),
                       SQLITE_OK)
                 << sqlite3_errmsg(db);
             sqlite3_close(db);
             ASSERT_EQ(sqlite3_open(copy.c_str(), &db), SQLITE_OK);
             ASSERT_EQ(sqlite3_exec(db, "DELETE FROM message", nullptr, nullptr, nullptr),
                       SQLITE_OK);
             sqlite3_close(db);
             ASSERT_EQ(std::rename(copy.c_str(), file.c_str()), 0);
         },
         false},
    };
    // clang-format on
    for (const Refusal& how : refusals) {
        for (const Verb& v : verbs) {
            SCOPED_TRACE(std::string(v.what) + ", " + how.what);
            ztmctl::reset();
            std::filesystem::remove_all(dir_);
            Session s = restart();
            v.before(s);
            ASSERT_TRUE(s.ok);
            how.cause(dir_);
            const Result r = v.verb(s);
            EXPECT_EQ(r.cc, ZTCC_FAILED);
            EXPECT_EQ(r.rc, ZTRC_STORE_ERROR);
            EXPECT_EQ(ztmctl::visibleDepth(kQueue), v.visible);
            EXPECT_EQ(ztmctl::unitOfWorkOpen(s.hconn), v.uowOpen);
            if (v.uowOpen) s.end(false);
            EXPECT_TRUE(s.ok);
            s = restart();
            EXPECT_EQ(s.drain(), how.keepsItsFile ? v.kept : std::vector<std::string>());
        }
    }
}

// Puts of several threads share transactions and syncs: when one such write
// fails, every put in it answers 2/3043 and is not made, and only those. The
// queue and, after a restart, the store hold exactly the puts that answered
// success, each thread's in the order it put them.
TEST_F(Persistence, PutsSharingARefusedWriteAreRefusedTogether) {
    constexpr int kThreads = 8, kPuts = 25, kFailures = 3;
    std::string error;
    ASSERT_TRUE(ztmctl::setStateDirectory(dir_, &error)) << error;
    ztmctl::failStoreWrites(kFailures);
    std::vector<std::vector<std::string>> kept(kThreads);
    std::vector<int> refused(kThreads, 0);
    std::vector<char> answered(kThreads, 1);  // each answer cc 0 or 2/3043
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            Session s;
            s.open();
            for (int i = 0; i < kPuts; ++i) {
                const std::string text = std::to_string(t) + "." + std::to_string(i);
                const Result r = s.tryPut(text, P, NSP);
                if (r.cc == ZTCC_OK)
                    kept[t].push_back(text);
                else if (r.cc == ZTCC_FAILED && r.rc == ZTRC_STORE_ERROR)
                    ++refused[t];
                else
                    answered[t] = 0;
            }
            s.disconnect();
            answered[t] = answered[t] && s.ok;
        });
    for (std::thread& t : threads) t.join();
    ztmctl::failStoreWrites(0);
    size_t keptCount = 0, refusedCount = 0;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(answered[t]) << "thread " << t;
        keptCount += kept[t].size();
        refusedCount += static_cast<size_t>(refused[t]);
    }
    EXPECT_GE(refusedCount, static_cast<size_t>(kFailures));
    EXPECT_EQ(keptCount + refusedCount, static_cast<size_t>(kThreads * kPuts));
    EXPECT_EQ(ztmctl::visibleDepth(kQueue), keptCount);
    Session s = restart();
    std::vector<std::vector<std::string>> found(kThreads);
    for (const std::string& text : s.drain()) found.at(std::stoi(text)).push_back(text);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(found[t], kept[t]) << "thread " << t;
}

// The same on a disk that really fills up (a 256 KiB tmpfs): 4 KiB
// persistent puts until one is refused, then a get, which may be refused
// too. The next process finds exactly what was answered with success.
TEST_F(Persistence, AFullDiskKeepsItsWord) {
    const std::string why = mountSmallDisk("256k");
    if (!why.empty()) GTEST_SKIP() << why << " (needs root, as in CI)";
    Session s = restart();
    std::vector<std::string> kept;
    Result refused;
    for (int i = 0; i < 200 && refused.cc != ZTCC_FAILED; ++i) {
        std::string text = "m" + std::to_string(i) + ":";
        text.resize(4096, 'x');
        refused = s.tryPut(text, P, NSP);
        if (refused.cc == ZTCC_OK) kept.push_back(text);
    }
    ASSERT_EQ(refused.cc, ZTCC_FAILED) << "the disk never filled up";
    EXPECT_EQ(refused.rc, ZTRC_STORE_ERROR);
    EXPECT_EQ(ztmctl::visibleDepth(kQueue), kept.size());
    Got g = getText(s.hconn, s.in, GNSP, 0, 8192);
    if (g.r.cc == ZTCC_OK) {
        EXPECT_EQ(g.text, kept.front());
        kept.erase(kept.begin());
    } else {
        EXPECT_EQ(g.r.rc, ZTRC_STORE_ERROR);
    }
    EXPECT_EQ(ztmctl::visibleDepth(kQueue), kept.size());
    s = restart();
    // Looked at under syncpoint and backed out: the disk is still full.
    std::vector<std::string> found;
    for (Got f = getText(s.hconn, s.in, GSP, 0, 8192); f.r.cc == ZTCC_OK;
         f = getText(s.hconn, s.in, GSP, 0, 8192))
        found.push_back(f.text);
    s.end(false);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(found.size(), kept.size());
    EXPECT_TRUE(found == kept) << "the next process found other messages than were kept";
}

// A child forked without exec after the queue manager started: the parent's
// connections, queues and store are the parent's. Every verb of the child
// answers 3042, and its parent's store is untouched; the parent goes on with
// its messages, each delivered once. A child that wants a queue manager
// starts one on another directory (here through the control interface).
TEST_F(Persistence, AForkedChildIsNotASecondOwner) {
    Session s = restart();
    for (int i = 0; i < 10; ++i) s.put("f" + std::to_string(i), P, NSP);
    ASSERT_TRUE(s.ok);
    // The store and its log, as the child finds them.
    const auto files = [this] { return contentOf(file()) + contentOf(file() + "-wal"); };
    const std::string before = files();
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        // One letter per check: '1' when it held.
        std::string report;
        const Got g = getText(s.hconn, s.in, GNSP);
        report += g.r.cc == ZTCC_FAILED && g.r.rc == ZTRC_QMGR_NOT_AVAILABLE ? '1' : '0';
        const Result p = s.tryPut("child", P, NSP);
        report += p.cc == ZTCC_FAILED && p.rc == ZTRC_QMGR_NOT_AVAILABLE ? '1' : '0';
        NameField n("");
        ZTLONG h = 0;
        Result c;
        ZTCONN(n.bytes, &h, &c.cc, &c.rc);
        report += c.cc == ZTCC_FAILED && c.rc == ZTRC_QMGR_NOT_AVAILABLE ? '1' : '0';
        const Result d = s.tryDisconnect();
        report += d.cc == ZTCC_FAILED && d.rc == ZTRC_QMGR_NOT_AVAILABLE ? '1' : '0';
        // Its own queue manager on its own directory; the parent's stays the parent's.
        report += ztmctl::setStateDirectory(dir_) ? '0' : '1';
        report += ztmctl::setStateDirectory(dir_ + "/child") ? '1' : '0';
        Session own;
        own.open();
        own.put("own", P, NSP);
        own.get("own", GNSP);
        report += own.ok ? '1' : '0';
        _exit(write(pipeFds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size())
                  ? 0
                  : 3);
    }
    close(pipeFds[1]);
    char report[16] = {};
    const ssize_t n = read(pipeFds[0], report, sizeof report);
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(std::string(report, n > 0 ? n : 0), "1111111")
        << "get, put, connect, disconnect answered 3042; the parent's directory refused, "
           "another one taken";
    std::filesystem::remove_all(dir_ + "/child");
    EXPECT_TRUE(files() == before) << "the child changed its parent's store";
    std::vector<std::string> all = s.drain();
    EXPECT_EQ(all.size(), 10u);
    s = restart();
    EXPECT_EQ(s.drain(), std::vector<std::string>());
}

// Each damage is refused with a message that names the file and says what
// is wrong; the files are left exactly as they were, the write-ahead log
// included (a store is only read until it is accepted). A store that cannot
// be written is as unusable as a damaged one.
TEST_F(Persistence, ADamagedStoreIsRefusedAndLeftAlone) {
    enum How {
        Content,   // the whole file replaced by `change`
        Sql,       // `change` applied and written into the file
        InLog,     // `change` applied and left in the write-ahead log
        ReadOnly,  // the file made read-only (and mounted so for root)
    };
    struct Damage {
        const char* what;
        How how;
        const char* change;
        const char* said;  // part of the message
    };
    // clang-format off
    const Damage damages[] = {
        {"empty file", Content, "", "not a message store"},
        {"not a database", Content, "this is not a database, not even close....", "not readable"},
        {"another format version", Sql, "PRAGMA user_version=2", "format version 2"},
        {"no message table", Sql, "DROP TABLE message", "no message table"},
        {"short message id", Sql, "UPDATE message SET messageId = x'0102'", "messageId"},
        {"priority beyond 32 bits", Sql, "UPDATE message SET priority = 4294967296", "priority"},
        {"text where an integer belongs", Sql, "UPDATE message SET expiry = 'never'", "expiry"},
        {"not persistent", Sql, "UPDATE message SET persistence = 0", "not persistent"},
        {"negative backout count", Sql, "UPDATE message SET backoutCount = -1", "backout"},
        {"queue name not a name", Sql, "UPDATE message SET queue = 'A B'", "queue name"},
        {"queue name empty", Sql, "UPDATE message SET queue = ''", "queue name"},
        {"queue manager name not text", Sql, "UPDATE message SET qmgr = x'00'", "queue manager"},
        {"data not a blob", Sql, "UPDATE message SET data = 5", "data"},
        {"id zero", Sql, "UPDATE message SET id = 0", "id"},
        {"another format version in the log", InLog, "PRAGMA user_version=2", "format version 2"},
        {"a bad row in the log", InLog, "UPDATE message SET persistence = 0", "not persistent"},
        {"read-only", ReadOnly, nullptr, "read-only"},
    };
    // clang-format on
    const std::string log = file() + "-wal";
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        ztmctl::reset();
        std::filesystem::remove_all(dir_);
        {
            Session s = restart();
            s.put("kept", P, NSP);
        }
        ztmctl::reset();
        bool boundReadOnly = false;
        if (d.how == Sql || d.how == InLog) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(file().c_str(), &db), SQLITE_OK);
            if (d.how == Sql) {
                EXPECT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr),
                          SQLITE_OK);
            } else {
                // Left in the log: no checkpoint, neither now nor on close.
                EXPECT_EQ(
                    sqlite3_exec(db, "PRAGMA wal_autocheckpoint=0", nullptr, nullptr, nullptr),
                    SQLITE_OK);
                EXPECT_EQ(sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr),
                          SQLITE_OK);
            }
            EXPECT_EQ(sqlite3_exec(db, d.change, nullptr, nullptr, nullptr), SQLITE_OK)
                << sqlite3_errmsg(db);
            sqlite3_close(db);
            if (d.how == InLog) {
                ASSERT_TRUE(std::filesystem::exists(log));
            }
        } else if (d.how == Content) {
            std::ofstream(file(), std::ios::binary | std::ios::trunc) << d.change;
        } else {
            ASSERT_EQ(chmod(file().c_str(), 0444), 0);
            // Root writes whatever the mode says: a read-only bind mount of the file.
            if (geteuid() == 0) {
                if (mount(file().c_str(), file().c_str(), nullptr, MS_BIND, nullptr) != 0) {
                    std::printf("[ SKIPPED  ] %s: cannot bind-mount: %s\n", d.what,
                                std::strerror(errno));
                    continue;
                }
                boundReadOnly = true;
                EXPECT_EQ(mount(nullptr, file().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                                nullptr),
                          0)
                    << std::strerror(errno);
            }
        }
        const std::string before = contentOf(file());
        const bool logBefore = std::filesystem::exists(log);
        const std::string logContent = contentOf(log);
        std::string error;
        EXPECT_FALSE(ztmctl::setStateDirectory(dir_, &error));
        EXPECT_NE(error.find("messages.db"), std::string::npos) << error;
        EXPECT_NE(error.find(d.said), std::string::npos) << error;
        EXPECT_TRUE(contentOf(file()) == before) << "the refused store was changed";
        EXPECT_EQ(std::filesystem::exists(log), logBefore) << "its log was removed or made";
        EXPECT_TRUE(contentOf(log) == logContent) << "its log was changed";
        // As a process started on it: the queue manager is not available.
        NameField n("");
        ZTLONG h = 0;
        Result r;
        ZTCONN(n.bytes, &h, &r.cc, &r.rc);
        EXPECT_EQ(r.rc, ZTRC_QMGR_NOT_AVAILABLE);
        if (boundReadOnly) {
            EXPECT_EQ(umount2(file().c_str(), MNT_DETACH), 0) << std::strerror(errno);
        }
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

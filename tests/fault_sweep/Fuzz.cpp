// Seeded random calls of every native: object graphs scrambled (random nulls,
// lengths, counts, versions, strings with NULs, lone surrogates and U+00FF,
// record arrays mixing classes, subclasses hiding the declared fields),
// arguments of the wrong class, counts and lengths off by one or extreme, and
// the queue manager scripted at random with hostile answers.
//
// ZT_FUZZ_SEED (default 1) and ZT_FUZZ_SECONDS (default 20) steer the run;
// every failing case prints "ZT_FUZZ_CASE <case seed>", which
// scripts/run-fuzz adds to fuzz_cases.txt, replayed by Fuzz.SavedCases.
#include "Natives.h"

#include "Jvm.h"
#include "ztm.h"
#include "ztm_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

using namespace zt::test;
using namespace sweep;

namespace {

const char* const kFunctions[] = {"ZTCONN", "ZTCONNX", "lpiSPIZTConnect", "ZTDISC", "ZTBEGIN",
                                  "ZTCMIT", "ZTBACK", "ZTOPEN", "ZTCLOSE", "ZTINQ", "ZTSET",
                                  "ZTPUT", "ZTPUT1", "ZTGET", "lpiSPIPut",
                                  "lpiSPIActivateMessage", "zstXAOpen", "zstXAClose",
                                  "zstXAStart", "zstXAEnd", "zstXAPrepare", "zstXACommit",
                                  "zstXARollback", "zstXAForget", "zstXARecover"};

struct Tally {
    uint64_t skipped = 0, reachedQm = 0, raised = 0;
} tally;

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool isPint(jobject o) { return o != nullptr && env()->IsInstanceOf(o, findClass("com/zel/zt/Pint")); }

// One case, from its seed alone; what it broke, or nothing.
std::vector<std::string> runCase(uint64_t seed, std::string& label) {
    std::mt19937_64 rng(seed);
    auto pick = [&](size_t n) { return size_t(rng() % n); };
    const Native& n = natives()[pick(natives().size())];
    Shape s;
    s.trace = pick(2) == 1;
    s.version = int(pick(3)) + 1;
    s.dests = int(pick(5)) - 1;
    if (s.dests == 2) s.dests = 3;
    s.cold = pick(4) == 0;
    label = std::string(n.name) + " [" + s.text() + "]";

    LocalFrame frame(256);
    twistObject = [&](jobject o, Declared d) -> jobject {
        switch (pick(12)) {
        case 0: return nullptr;
        case 1: case 2:
            if (d == Declared::AnyObject) return pick(2) ? newObject("java/lang/Object", "()V") : newString("another class");
            if (d == Declared::ObjectArray) return env()->NewObjectArray(jsize(pick(6)), findClass("java/lang/String"), nullptr);
            return o;
        case 3: case 4: case 5: case 6:
            if (o == nullptr || d == Declared::ObjectArray) return o;
            return callStaticObject("sweeptest/Scramble", "of", "(Ljava/lang/Object;J)Ljava/lang/Object;",
                                    o, jlong(rng()));
        default: return o;
        }
    };
    twistInt = [&](jint v) -> jint {
        switch (pick(10)) {
        case 0: return -1;
        case 1: return 0;
        case 2: return v + 1;
        case 3: return INT_MAX;
        case 4: return INT_MIN;
        default: return v;
        }
    };
    Call c;
    try {
        c = n.prepare(s);
    } catch (...) {
        twistObject = nullptr;
        twistInt = nullptr;
        takePendingException();
        ++tally.skipped;
        return {};  // a queue manager state the twisted values could not set up
    }
    twistObject = nullptr;
    twistInt = nullptr;
    // A get may wait, but not for long: an empty queue is no finding.
    for (jobject o : c.objects)
        if (o != nullptr && env()->IsInstanceOf(o, findClass("com/zel/zt/ZTGetMessageOptions"))) {
            const jint wait = getInt(o, "waitInterval");
            if (wait < 0 || wait > 20) setInt(o, "waitInterval", 20);
        }
    ztmctl::clearCalls();
    for (size_t k = pick(3); k > 0; --k) {
        const std::string fn = kFunctions[pick(std::size(kFunctions))];
        ztmctl::Answer a;
        a.compCode = jint(pick(3));
        a.reason = pick(2) ? 0 : jint(rng());
        a.runReal = pick(2) == 1;
        if (pick(2)) a.returnValue = int64_t(int32_t(rng()));
        const int pattern = int(pick(size_t(hostilePatterns())));
        if (pick(3)) a.hook = [fn, pattern](void** args) { hostile(fn, args, pattern); };
        ztmctl::scriptNext(fn, a);
    }
    Trace::setOn(s.trace);
    std::vector<std::string> v;
    {
        JniProxy proxy;
        callNative([&] { c.run(proxy.env()); });
        Trace::setOn(false);
        const std::string pending = takePendingException();
        if (!pending.empty()) ++tally.raised;
        // Java code the native called dereferenced null. The interpreter
        // raises that through SIGSEGV, and under qemu-user the thread returns
        // from a signal with the thread-local storage of the newest thread.
        if (pending == "java.lang.NullPointerException")
            v.push_back("a NullPointerException from Java code");
        for (const auto& m : proxy.misuse()) v.push_back("misuse: " + m);
        for (int i = 0; i < kFnCount; ++i) {
            const std::string name = fnName(Fn(i));
            if (name.rfind("Get", 0) != 0) continue;
            for (int j = 0; j < kFnCount; ++j)
                if (fnName(Fn(j)) == "Release" + name.substr(3) && proxy.count(Fn(i)) != proxy.count(Fn(j)))
                    v.push_back(name + " and its release unpaired");
        }
        // A native's own 32, or the room a verb's local frame declares (the
        // message and open verbs leave their field copies' references to it).
        if (proxy.maxLocalRefs() > 128) v.push_back("local references " + std::to_string(proxy.maxLocalRefs()));
    }
    ztmctl::clearScripts();
    const size_t qm = ztmctl::callCount();
    if (qm > 0) ++tally.reachedQm;
    if (n.kind == Kind::Holders && isPint(c.cc) && isPint(c.rc)) {
        const jint cc = pintValue(c.cc), rc = pintValue(c.rc);
        if (qm > 0) {
            const auto last = ztmctl::call(qm - 1);
            if (cc != last.compCode || rc != last.reason)
                v.push_back("holders " + std::to_string(cc) + "/" + std::to_string(rc) + ", queue manager " +
                            std::to_string(last.compCode) + "/" + std::to_string(last.reason));
        } else if (cc != 2 || rc != 2195) {
            v.push_back("holders " + std::to_string(cc) + "/" + std::to_string(rc) + " without a queue manager call");
        }
    }
    if (n.kind == Kind::XaReturn && qm == 0 && *c.result >= 0)
        v.push_back("returned " + std::to_string(*c.result) + " without a queue manager call");
    if (qm > 1 && n.kind != Kind::XaReturn) v.push_back("queue manager called " + std::to_string(qm) + " times");
    // Still usable: a Java call round trip.
    if (callStaticInt("java/lang/Integer", "parseInt", "(Ljava/lang/String;)I", newString("7")) != 7)
        v.push_back("the JVM no longer answers");
    return v;
}

// Where this thread's thread-local storage is. qemu-user (i386) keeps one
// TLS descriptor for all threads and reloads it on return from a signal: a
// thread that took one then uses the newest thread's storage (errno, malloc's
// cache, the JVM's current thread). Not inlined, so each call looks afresh.
__attribute__((noinline)) const void* threadStorage() {
    static thread_local char probe;
    return &probe;
}

uint64_t envU64(const char* name, uint64_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoull(v, nullptr, 0) : fallback;
}

class Fuzz : public ::testing::Test {
protected:
    const void* storage_ = threadStorage();

    void TearDown() override {
        Trace::setOn(false);
        Trace::clear();
        ztmctl::clearScripts();
        ztmctl::reset();
    }
    void check(uint64_t seed) {
        std::string label;
        const auto v = runCase(seed, label);
        // Past this, nothing this thread does can be trusted: stop the run.
        if (threadStorage() != storage_) {
            std::cout << "ZT_FUZZ_CASE " << seed << std::endl;
            FAIL() << label << " (case " << seed
                   << "): this thread now uses another thread's thread-local storage";
        }
        if (v.empty()) return;
        std::cout << "ZT_FUZZ_CASE " << seed << std::endl;
        std::string what = label + " (case " + std::to_string(seed) + "):";
        for (const auto& line : v) what += "\n    " + line;
        ADD_FAILURE() << what;
    }
};

TEST_F(Fuzz, RandomCallsForAFixedTime) {
    const uint64_t seed = envU64("ZT_FUZZ_SEED", 1);
    const double seconds = double(envU64("ZT_FUZZ_SECONDS", 20));
    const auto start = std::chrono::steady_clock::now();
    uint64_t i = 0;
    // The case under way, for scripts/run-fuzz to save when the process dies in it.
    const char* current = std::getenv("ZT_FUZZ_CURRENT");
    for (; std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds; ++i) {
        const uint64_t c = mix(seed * 0x100000001B3ull + i);
        if (current && *current) std::ofstream(current, std::ios::trunc) << c << '\n';
        check(c);
        if (HasFatalFailure()) return;
        Trace::clear();
        InternalException::clear();
    }
    std::cout << "fuzz: seed " << seed << ", " << i << " cases in " << seconds << " s ("
              << tally.reachedQm << " reached the queue manager, " << tally.raised
              << " left an exception pending, " << tally.skipped << " not set up)\n";
}

// Every case a longer run found, kept as a regression case.
TEST_F(Fuzz, SavedCases) {
    std::ifstream in(ZT_FUZZ_CASES);
    ASSERT_TRUE(in) << ZT_FUZZ_CASES;
    std::string line;
    size_t replayed = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        check(std::stoull(line));
        if (HasFatalFailure()) return;
        ++replayed;
    }
    std::cout << "fuzz: " << replayed << " saved cases replayed\n";
}

}  // namespace

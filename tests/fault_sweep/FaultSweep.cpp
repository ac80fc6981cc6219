// Every JNI call a native makes, made to fail in turn as the JVM would fail
// it, for every native of the three libraries and every shape of its
// arguments: the native must leave the JVM usable, release what it took, call
// the queue manager at most once (and not at all when its records could not
// be built), report the queue manager's outcome or the bridge's failure, and
// leave pending the first exception raised.
//
// ZT_SWEEP_STRIDE=n tries every n-th position only (the sanitizer build and
// the emulated 32-bit target); ZT_SWEEP_ONLY=<native> sweeps one native.
#include "Natives.h"

#include "Jvm.h"
#include "ztm.h"
#include "ztm_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>

using namespace zt::test;
using namespace sweep;

namespace {

bool startsWith(const char* s, const char* p) { return std::strncmp(s, p, std::strlen(p)) == 0; }

// The calls a JVM can fail: lookups, allocations, element and character
// blocks, frames, and calls of Java methods (the method threw). The others
// (field access, array lengths, exception checks ...) cannot fail.
bool failable(Fn f) {
    const char* n = fnName(f);
    if (f == Fn::NewGlobalRef || f == Fn::NewWeakGlobalRef || f == Fn::NewLocalRef ||
        f == Fn::NewDirectByteBuffer)
        return false;
    return f == Fn::FindClass || f == Fn::GetFieldID || f == Fn::GetStaticFieldID ||
           f == Fn::GetMethodID || f == Fn::GetStaticMethodID || f == Fn::PushLocalFrame ||
           f == Fn::EnsureLocalCapacity || f == Fn::AllocObject || startsWith(n, "New") ||
           (startsWith(n, "Call") && !std::strstr(n, "MethodA")) ||
           (startsWith(n, "Get") && (std::strstr(n, "Chars") || std::strstr(n, "Elements") ||
                                     std::strstr(n, "Critical")));
}

// Get<X> and its Release<X>, for every block of elements or characters.
std::vector<std::pair<Fn, Fn>> blockPairs() {
    std::vector<std::pair<Fn, Fn>> pairs;
    for (int i = 0; i < kFnCount; ++i) {
        const std::string n = fnName(Fn(i));
        if (n.rfind("Get", 0) != 0) continue;
        for (int j = 0; j < kFnCount; ++j)
            if (fnName(Fn(j)) == "Release" + n.substr(3)) pairs.push_back({Fn(i), Fn(j)});
    }
    return pairs;
}

struct Injection {
    Fn fn;
    int nth;
};

struct Observed {
    long qmCalls = 0;
    ztmctl::RecordedCall last;
    jint cc = 0, rc = 0, result = 0;
    Thrown pending;
    std::vector<std::string> misuse;
    std::array<long, kFnCount> counts{};
    long maxLocal = 0;
    long qmCallsAtFailure = -1;  // queue manager calls made when the failure came
    long injected = 0;
};

Observed run(const Native& n, const Shape& s, const std::optional<Injection>& fail) {
    LocalFrame frame(64);
    Trace::setOn(s.trace);
    Trace::clear();
    InternalException::clear();
    Call call = n.prepare(s);
    ztmctl::clearCalls();
    Observed o;
    {
        JniProxy proxy;
        int seen = 0;
        if (fail) {
            // A local frame the JVM cannot give raises OutOfMemoryError: the
            // exception, not the result, is what tells the native.
            const bool frame = fail->fn == Fn::PushLocalFrame || fail->fn == Fn::EnsureLocalCapacity;
            proxy.failCall(fail->fn, fail->nth, 1, frame ? "java/lang/OutOfMemoryError" : JniProxy::kDefaultError);
            proxy.before(fail->fn, [&] {
                if (++seen == fail->nth) o.qmCallsAtFailure = long(ztmctl::callCount());
            });
        }
        callNative([&] { call.run(proxy.env()); });
        o.pending = takePendingThrowable();
        o.misuse = proxy.misuse();
        for (int i = 0; i < kFnCount; ++i) o.counts[i] = proxy.count(Fn(i));
        o.maxLocal = proxy.maxLocalRefs();
        o.injected = proxy.failuresInjected();
    }
    o.qmCalls = long(ztmctl::callCount());
    if (o.qmCalls > 0) o.last = ztmctl::call(size_t(o.qmCalls - 1));
    if (call.cc) o.cc = pintValue(call.cc), o.rc = pintValue(call.rc);
    o.result = *call.result;
    Trace::setOn(false);
    return o;
}

// What the injected failure raises: "java.lang.X" and its message.
Thrown expectedThrow(Fn f, const Observed& o) {
    (void)o;
    std::string cls;
    if (f == Fn::FindClass) cls = "java.lang.NoClassDefFoundError";
    else if (f == Fn::GetFieldID || f == Fn::GetStaticFieldID) cls = "java.lang.NoSuchFieldError";
    else if (f == Fn::GetMethodID || f == Fn::GetStaticMethodID) cls = "java.lang.NoSuchMethodError";
    else if (startsWith(fnName(f), "Call")) cls = "java.lang.RuntimeException";
    else cls = "java.lang.OutOfMemoryError";
    return {cls, ""};
}

// A failure the verb goes on after: in the trace facility (static calls of the
// trace class, lookups on it, text made for it) or in binding the holders.
bool harmless(Fn f, const Observed& o) {
    const char* n = fnName(f);
    if (startsWith(n, "CallStatic") || f == Fn::GetStaticMethodID || f == Fn::GetStaticFieldID)
        return true;
    if (f == Fn::NewStringUTF || f == Fn::NewString) return true;  // before the call: trace text
    const std::string& m = o.pending.message;
    return (f == Fn::FindClass &&
            (m == "com/zel/ztservices/Trace" || m == "com/zel/zt/Pint")) ||
           (f == Fn::GetFieldID && m == "x");
}

std::vector<std::string> violations(const Native& n, const Observed& base, const Observed& o,
                                    const Injection& inj) {
    std::vector<std::string> v;
    auto fail = [&](const std::string& what) { v.push_back(what); };
    if (o.injected != 1) fail("the injection did not happen (" + std::to_string(o.injected) + ")");
    for (const auto& m : o.misuse) fail("misuse: " + m);
    for (auto [get, rel] : blockPairs()) {
        long taken = o.counts[int(get)] - (inj.fn == get ? 1 : 0);
        if (o.counts[int(rel)] != taken)
            fail(std::string(fnName(get)) + " " + std::to_string(taken) + " taken, " +
                 std::to_string(o.counts[int(rel)]) + " released");
    }
    // A native's own 32, or the room a verb's local frame declares (the message
    // and open verbs leave their field copies' references to it).
    if (o.maxLocal > 128) fail("local references " + std::to_string(o.maxLocal) + " > 128");
    const Thrown want = expectedThrow(inj.fn, o);
    if (o.pending.className != want.className)
        fail("pending at return: '" + o.pending.className + "' (" + o.pending.message +
             "), not the injected '" + want.className + "'");
    if (n.kind == Kind::NoQm) return v;
    if (o.qmCalls > base.qmCalls)
        fail("queue manager called " + std::to_string(o.qmCalls) + " times");
    const bool beforeQm = o.qmCallsAtFailure == 0;
    const bool called = o.qmCalls > 0;
    if (beforeQm && called && !(n.kind == Kind::Holders && harmless(inj.fn, o)))
        fail("queue manager called after a failure building its records");
    if (beforeQm && !called && n.kind == Kind::Holders && harmless(inj.fn, o))
        fail("a failure of the trace facility or holder binding stopped the verb");
    if (n.kind == Kind::Holders) {
        // The established rule: a native error while writing the outputs back,
        // after the queue manager answered, ends the verb as the bridge's failure.
        const bool writeBackFailure = o.qmCallsAtFailure > 0 && o.cc == 2 && o.rc == 2195;
        if (called && (o.cc != o.last.compCode || o.rc != o.last.reason) && !writeBackFailure)
            fail("holders " + std::to_string(o.cc) + "/" + std::to_string(o.rc) +
                 ", the queue manager answered " + std::to_string(o.last.compCode) + "/" +
                 std::to_string(o.last.reason));
        if (!called && (o.cc != 2 || o.rc != 2195))
            fail("holders " + std::to_string(o.cc) + "/" + std::to_string(o.rc) +
                 " without a queue manager call");
    } else {
        if (called && o.result != o.last.returnValue && !(o.qmCallsAtFailure > 0 && o.result < 0))
            fail("returned " + std::to_string(o.result) + ", the queue manager answered " +
                 std::to_string(o.last.returnValue));
        if (!called && o.result >= 0) fail("returned " + std::to_string(o.result) + " without a queue manager call");
    }
    return v;
}

long envLong(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atol(v) : fallback;
}

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override { ztmctl::reset(); }
    void TearDown() override {
        Trace::setOn(false);
        Trace::clear();
        ztmctl::reset();
    }
};

TEST_F(FaultSweep, EveryFailableCallOfEveryNativeInEveryShape) {
    const long stride = std::max(1L, envLong("ZT_SWEEP_STRIDE", 1));
    const char* only = std::getenv("ZT_SWEEP_ONLY");
    const auto start = std::chrono::steady_clock::now();
    long shapes = 0, positions = 0, calls = 0, runs = 0, failures = 0, afterAnswer = 0, unreached = 0;
    size_t nativesSwept = 0;
    for (const Native& n : natives()) {
        if (only && *only && n.name != std::string(only)) continue;
        ++nativesSwept;
        for (const Shape& s : shapesOf(n, true)) {
            ++shapes;
            // Warm first: the identifier caches filled and the strings of the
            // constant trace texts kept (a call may meet texts the one before
            // did not, the first of a process filling the trace cache), so
            // that the count is the steady one (a cold shape stays cold: its
            // classes are new).
            run(n, s, std::nullopt);
            run(n, s, std::nullopt);
            const Observed base = run(n, s, std::nullopt);
            EXPECT_TRUE(base.misuse.empty()) << n.name << " " << s.text();
            EXPECT_EQ(base.pending.className, "") << n.name << " " << s.text() << " " << base.pending.message;
            if (n.kind != Kind::NoQm) {
                EXPECT_GE(base.qmCalls, 1) << n.name << " " << s.text();
            }
            std::vector<Injection> all;
            for (int i = 0; i < kFnCount; ++i) {
                calls += base.counts[i];
                if (!failable(Fn(i))) continue;
                for (int k = 1; k <= base.counts[i]; ++k) all.push_back({Fn(i), k});
            }
            positions += long(all.size());
            for (size_t i = 0; i < all.size(); ++i) {
                if (long(i) % stride != (shapes % stride)) continue;
                ++runs;
                const Observed o = run(n, s, all[i]);
                // Cold calls look up more or less by name as the garbage
                // collector frees places in the member caches: a call that
                // made fewer calls than the count had no such position.
                if (o.injected == 0 && s.cold) {
                    ++unreached;
                    continue;
                }
                const auto v = violations(n, base, o, all[i]);
                if (n.kind == Kind::Holders && o.qmCallsAtFailure > 0 && o.cc == 2 && o.rc == 2195 &&
                    o.last.compCode != 2)
                    ++afterAnswer;
                if (v.empty()) continue;
                ++failures;
                std::ostringstream what;
                what << n.name << " [" << s.text() << "] failing " << fnName(all[i].fn) << " #"
                     << all[i].nth << ":";
                for (const auto& line : v) what << "\n    " << line;
                ADD_FAILURE() << what.str();
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "fault sweep: " << nativesSwept << " natives, " << shapes
              << " native x shape combinations, " << calls << " JNI calls counted, " << positions
              << " failable positions; " << runs << " injected failures run (stride " << stride
              << "), " << unreached << " cold positions not reached, " << failures
              << " with violations, " << seconds << " s; " << afterAnswer
              << " write-back failures turned the queue manager's answer into 2/2195\n";
}

}  // namespace

// Runs with reduced host classes ahead of the real ones on the class path: an
// integer holder without "x" (its field is "value") and a trace class without
// "exit". The first test must be the first to use the trace bridge in this
// process, so it stays first in this file and this file stays alone in its
// executable.
#include "ConnTest.h"

#include "NativePint.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace zt::test;
using namespace conntest;

namespace {

const char* const kPint = "com/zel/zt/Pint";

Holders reducedHolders(int value) {
    return {newObject(kPint, "(I)V", value), newObject(kPint, "(I)V", value), newObject(kPint, "(I)V", value)};
}

std::vector<int> reducedValues(const Holders& h) {
    return {getInt(h.hconn, "value"), getInt(h.cc, "value"), getInt(h.rc, "value")};
}

long countOf(const Lines& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

}  // namespace

TEST(ReducedHost, ConcurrentFirstUseFillsTheTraceCacheOnce) {
    ztmctl::reset();
    Trace::setOn(true);
    Trace::clear();
    constexpr int kThreads = 8;
    // The thread that fills the cache holds still at two points, giving the
    // others time to barge in: before it makes the global reference (another
    // thread must not start a fill of its own) and before it looks up "entry"
    // (a thread that starts now must not use the class before its identifiers
    // are there; half the threads start only then). Where the fill is guarded
    // the others cannot move, and the wait times out.
    std::atomic<int> ready{0}, fillsStarted{0}, fillerPaused{0}, verbsDone{0};
    auto waitFor = [](const std::atomic<int>& counter, int atLeast) {
        for (int i = 0; i < 200 && counter.load() < atLeast; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    std::vector<long> methodLookups(kThreads), globalRefs(kThreads), misuse(kThreads);
    std::vector<std::string> pending(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            JNIEnv* e = env();
            {
                JniProxy proxy(e);
                bool traceClassSought = false;
                int staticLookups = 0;
                proxy.before(Fn::FindClass, [&] {
                    if (!traceClassSought) ++fillsStarted;  // the first FindClass is the trace class
                    traceClassSought = true;
                });
                // The trace class's reference: made after the class was sought and
                // before its five methods are looked up. The strings of the
                // constant trace texts are kept by global references too, later.
                long classRefs = 0;
                proxy.before(Fn::NewGlobalRef, [&] {
                    if (traceClassSought && staticLookups < 5) {
                        ++classRefs;
                        waitFor(fillsStarted, 2);
                    }
                });
                proxy.before(Fn::GetStaticMethodID, [&] {
                    if (++staticLookups == 2) {
                        ++fillerPaused;
                        waitFor(verbsDone, 1);
                    }
                });
                ++ready;
                while (ready.load() < kThreads) std::this_thread::yield();
                if (i >= kThreads / 2) waitFor(fillerPaused, 1);
                callNative([&] { Java_com_zel_zt_server_ZTSESSION__1ZTCMIT(proxy.env(), kSession, 0, nullptr, nullptr); });
                ++verbsDone;
                pending[i] = takePendingException();
                methodLookups[i] = proxy.count(Fn::GetStaticMethodID);
                globalRefs[i] = classRefs;
                misuse[i] = static_cast<long>(proxy.misuse().size());
            }
            detachThread();
        });
    }
    for (std::thread& t : threads) t.join();

    long lookups = 0, refs = 0;
    for (int i = 0; i < kThreads; ++i) {
        lookups += methodLookups[i];
        refs += globalRefs[i];
        EXPECT_EQ(misuse[i], 0) << "thread " << i;
        // The holder class cannot be bound: the JVM's error reaches each caller.
        EXPECT_EQ(pending[i], "java.lang.NoSuchFieldError") << "thread " << i;
    }
    // "isOn", "entry", "exit", both "trace": looked up by one thread only.
    EXPECT_EQ(lookups, 5);
    EXPECT_EQ(refs, 1);
    // Every thread saw every identifier the class has: each wrote its entry
    // lines, and none tried the missing "exit".
    const Lines l = Trace::lines();
    EXPECT_EQ(countOf(l, "entry com.zel.zt.server_ZTSESSION _ZTCMIT"), kThreads);
    EXPECT_EQ(countOf(l, "entry NativePint NativePint"), kThreads);
    EXPECT_EQ(l.size(), 2u * kThreads);
    EXPECT_EQ(ztmctl::callsOf("ZTCMIT").size(), static_cast<size_t>(kThreads));
}

TEST(ReducedHost, AHolderClassWithoutXBindsToNothingWithoutAnError) {
    InternalException::clear();
    JniProxy proxy;
    jfieldID bound = reinterpret_cast<jfieldID>(&proxy);
    EXPECT_FALSE(raisesNativeError(proxy.env(), [&] {
        NativePint pint(proxy.env());
        bound = pint.xFieldID;
    }));
    EXPECT_EQ(bound, nullptr);
    EXPECT_TRUE(InternalException::logged().empty());
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
    EXPECT_TRUE(proxy.misuse().empty());
}

TEST(ReducedHost, VerbsNeitherReadNorWriteUnboundHolders) {
    Trace::setOn(false);
    ztmctl::reset();
    for (const VerbCall& verb : allVerbs()) {
        SCOPED_TRACE(verb.name);
        LocalFrame frame(16);
        ztmctl::clearCalls();
        Holders h = reducedHolders(5);
        jstring qmgr = newString("QM1");
        JniProxy proxy;
        callNative([&] { verb.call(proxy.env(), h, 0, qmgr); });
        EXPECT_EQ(reducedValues(h), std::vector<int>({5, 5, 5}));
        EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
        EXPECT_EQ(ztmctl::callCount(), verb.name == "_honourPVXInternal" ? 0u : 1u) << "the verb still ran";
        EXPECT_TRUE(proxy.misuse().empty());
    }
    // _ZTDISC read the handle as 0, not through the missing field.
    Holders h = reducedHolders(5);
    ztmctl::clearCalls();
    callNative([&] { verbNamed("_ZTDISC").call(env(), h, 0, nullptr); });
    takePendingException();
    ASSERT_EQ(ztmctl::callCount(), 1u);
    EXPECT_EQ(ztmctl::call(0).arg("hconn"), 0);

    // The native-error handler has no field to write 2/2195 into either.
    ztmctl::clearCalls();
    callNative([&] { verbNamed("_ZTCONN").call(env(), h, 0, nullptr); });
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
    EXPECT_EQ(reducedValues(h), std::vector<int>({5, 5, 5}));
    EXPECT_EQ(ztmctl::callCount(), 0u);
}

TEST(ReducedHost, LinesOfAMissingTraceMethodAreSkipped) {
    ztmctl::reset();
    Trace::setOn(true);
    Holders h = reducedHolders(5);
    callNative([&] { verbNamed("_ZTBACK").call(env(), h, 0, nullptr); });  // carries the switch in
    takePendingException();
    Trace::clear();
    callNative([&] { verbNamed("_ZTCONN").call(env(), h, 0, newString("QM1")); });
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
    EXPECT_EQ(Trace::lines(), Lines({"entry NativePint NativePint", "entry com.zel.zt.server_ZTSESSION _ZTCONN",
                                     "trace2 _ZTCONN Queue manager:", "trace2 _ZTCONN QM1",
                                     "trace2 _ZTCONN CompCode:  0", "trace2 _ZTCONN Reason: 0"}));
    EXPECT_EQ(ztmctl::liveConnections(), 1u);
    Trace::setOn(false);
}

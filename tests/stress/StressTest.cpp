// Sixteen threads, each on connections of its own, run every native of the
// three libraries (XA and deferred included) while one more thread switches
// tracing on and off. The program's first call of each library is made inside
// the race, so the identifier caches, the trace facility's cache and the
// libraries' lazily kept classes are filled by racing threads. Built with
// -DZT_SANITIZE=thread it is the ThreadSanitizer's test; in every build, a
// check that no call raised or misused JNI.
#include "Natives.h"

#include "Jvm.h"
#include "ztm_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace zt::test;
using namespace sweep;

namespace {

TEST(Stress, SixteenThreadsRunEveryNativeWhileTracingToggles) {
    ztmctl::setRecording(false);  // the log is the tests' own, not the race's
    const int rounds = std::getenv("ZT_STRESS_ROUNDS") ? std::atoi(std::getenv("ZT_STRESS_ROUNDS")) : 10;
    constexpr int kThreads = 16;
    std::atomic<bool> go{false}, done{false};
    std::atomic<long> calls{0};
    std::mutex lock;
    std::vector<std::string> problems;
    auto note = [&](std::string what) {
        std::lock_guard<std::mutex> g(lock);
        if (problems.size() < 20) problems.push_back(std::move(what));
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            sharedQueueManager = true;
            threadIndex = t + 1;
            env();  // attached before the start, so that the race is in the calls
            while (!go) std::this_thread::yield();
            for (int r = 0; r < rounds; ++r) {
                // Each thread starts at another native, so that first calls collide.
                for (size_t i = 0; i < natives().size(); ++i) {
                    const Native& n = natives()[(i + size_t(t) * 3) % natives().size()];
                    for (const Shape& s : shapesOf(n, false)) {
                        if (s.trace) continue;  // the toggling thread decides
                        LocalFrame frame(64);
                        try {
                            Call c = n.prepare(s);
                            JniProxy proxy;
                            callNative([&] { c.run(proxy.env()); });
                            const std::string pending = takePendingException();
                            if (!pending.empty()) note(std::string(n.name) + ": " + pending);
                            if (!proxy.misuse().empty()) note(std::string(n.name) + ": " + proxy.misuse()[0]);
                            ++calls;
                        } catch (const std::exception& e) {
                            note(std::string(n.name) + " setup: " + e.what());
                        }
                    }
                }
            }
            detachThread();
        });
    }
    std::thread toggler([&] {
        env();
        while (!go) std::this_thread::yield();
        for (bool on = true; !done; on = !on) {
            Trace::setOn(on);
            Trace::clear();
            std::this_thread::yield();
        }
        Trace::setOn(false);
        detachThread();
    });
    go = true;
    for (auto& th : threads) th.join();
    done = true;
    toggler.join();
    Trace::clear();
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems, the first: " << problems[0];
    std::cout << "stress: " << kThreads << " threads, " << calls << " native calls\n";
    ztmctl::reset();
}

}  // namespace

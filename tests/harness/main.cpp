// gtest main for JVM tests: the JVM starts in a global environment (so listing
// the tests starts none), and each test runs in a local frame of its own.
#include "HelperScope.h"
#include "Jvm.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class JvmEnvironment : public ::testing::Environment {
public:
    void SetUp() override { zt::test::startJvm(); }
};

// A frame per test (the outermost of the frame levels Frames.cpp describes)
// frees its local references, and a test that leaves a Java exception pending
// fails the run: it would leak into the next test.
class FramePerTest : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        if (!zt::test::vm()) return;
        framed_ = zt::test::env()->PushLocalFrame(kTestFrame) == 0;
        if (framed_) zt::test::detail::frameOpened(kTestFrame);
    }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        if (!zt::test::vm()) return;
        zt::test::Thrown left = zt::test::takePendingThrowable();
        if (!left.className.empty()) {
            std::fprintf(stderr, "ERROR: %s.%s left a Java exception pending: %s %s\n",
                         info.test_suite_name(), info.name(), left.className.c_str(),
                         left.message.c_str());
            leaked = true;
        }
        if (framed_) {
            zt::test::env()->PopLocalFrame(nullptr);
            zt::test::detail::frameClosed();
        }
        framed_ = false;
    }
    bool leaked = false;

private:
    static constexpr int kTestFrame = 64;
    bool framed_ = false;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new JvmEnvironment);
    auto* frames = new FramePerTest;
    ::testing::UnitTest::GetInstance()->listeners().Append(frames);
    int rc = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    return rc != 0 || frames->leaked ? 1 : 0;
}

// The recording switch and its limit. This program does not link
// zt_record_calls, so recording is as the library loads it until a test
// switches it; each test leaves it off again.
#include <string>

#include "QmgrTest.h"

namespace {

// Read before any test runs (libztmcs is initialised before this program).
const bool kRecordingAtLoad = ztmctl::recording();

class Recording : public QmgrTest {
protected:
    void TearDown() override {
        ztmctl::reset();
        ztmctl::setRecording(false);
        ztmctl::setRecordLimit(ztmctl::RecordLimit());
    }

    // Connect, open, n puts of `text`, n gets, close, disconnect: 2n + 4 calls.
    void roundTrips(int n, const std::string& text = "m") {
        ZTLONG h = connect();
        ZTLONG o = openQueue(h, "REC.Q", ZTOO_OUTPUT | ZTOO_INPUT_SHARED);
        for (int i = 0; i < n; ++i) putText(h, o, text);
        for (int i = 0; i < n; ++i) EXPECT_EQ(getText(h, o, 0, 0, text.size()).text, text);
        Result r;
        ZTCLOSE(h, &o, 0, &r.cc, &r.rc);
        EXPECT_EQ(r.cc, ZTCC_OK);
        ZTDISC(&h, &r.cc, &r.rc);
        EXPECT_EQ(r.cc, ZTCC_OK);
    }
};

TEST_F(Recording, OffAtLoadAndThenKeepsNothingWhileTheWorkRuns) {
    EXPECT_FALSE(kRecordingAtLoad);
    EXPECT_FALSE(ztmctl::recording());
    roundTrips(50);
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_EQ(ztmctl::droppedCalls(), 0u);
    EXPECT_TRUE(ztmctl::calls().empty());
    EXPECT_EQ(ztmctl::totalDepth("REC.Q"), 0u);  // every put and get ran
}

TEST_F(Recording, OnKeepsEveryCallInOrder) {
    ztmctl::setRecording(true);
    EXPECT_TRUE(ztmctl::recording());
    roundTrips(2, "hello");
    const auto all = ztmctl::calls();
    const std::vector<std::string> expected{"ZTCONN", "ZTOPEN", "ZTPUT", "ZTPUT",
                                            "ZTGET",  "ZTGET",  "ZTCLOSE", "ZTDISC"};
    ASSERT_EQ(all.size(), expected.size());
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].function, expected[i]) << i;
        EXPECT_TRUE(all[i].finished) << i;
    }
    const auto& data = all[2].record("data");
    EXPECT_EQ(std::string(data.begin(), data.end()), "hello");
    EXPECT_EQ(ztmctl::droppedCalls(), 0u);

    ztmctl::setRecording(false);
    roundTrips(1);
    EXPECT_EQ(ztmctl::callCount(), expected.size()) << "nothing added once switched off";
}

TEST_F(Recording, KeepsTheFirstCallsUpToTheCallLimitAndCountsTheRest) {
    ztmctl::setRecording(true);
    ztmctl::RecordLimit limit;
    limit.calls = 5;
    ztmctl::setRecordLimit(limit);
    EXPECT_EQ(ztmctl::recordLimit().calls, 5u);
    roundTrips(10);  // 24 calls
    ASSERT_EQ(ztmctl::callCount(), 5u);
    EXPECT_EQ(ztmctl::droppedCalls(), 19u);
    EXPECT_EQ(ztmctl::call(0).function, "ZTCONN");
    EXPECT_EQ(ztmctl::call(4).function, "ZTPUT");
    EXPECT_THROW(ztmctl::call(5), std::out_of_range);
    EXPECT_EQ(ztmctl::callsOf("ZTGET").size(), 0u);
    EXPECT_EQ(ztmctl::totalDepth("REC.Q"), 0u);  // the dropped calls did their work

    // Emptying the log makes room again.
    ztmctl::clearCalls();
    EXPECT_EQ(ztmctl::droppedCalls(), 0u);
    roundTrips(1);
    EXPECT_EQ(ztmctl::callCount(), 5u);
    EXPECT_EQ(ztmctl::call(3).function, "ZTGET");
    EXPECT_EQ(ztmctl::call(4).function, "ZTCLOSE");
}

TEST_F(Recording, ByteLimitKeepsAPrefixOfTheCalls) {
    ztmctl::setRecording(true);
    ztmctl::RecordLimit limit;
    limit.bytes = 64 * 1024;
    ztmctl::setRecordLimit(limit);
    roundTrips(20, std::string(10 * 1024, 'x'));  // 20 puts copy 200 KiB of data
    const size_t kept = ztmctl::callCount();
    EXPECT_EQ(kept + ztmctl::droppedCalls(), 44u);
    size_t data = 0;
    for (const auto& c : ztmctl::calls())
        if (c.hasRecord("data")) data += c.record("data").size();
    EXPECT_GT(data, 0u);
    EXPECT_LE(data, limit.bytes);
    // The puts stopped fitting; the small gets, close and disconnect after
    // them were not kept either, so the log is the first `kept` calls.
    ASSERT_GT(kept, 2u);
    EXPECT_LT(kept, 22u);
    for (size_t i = 2; i < kept; ++i) EXPECT_EQ(ztmctl::call(i).function, "ZTPUT") << i;
}

TEST_F(Recording, DefaultLimitBoundsALongRun) {
    ztmctl::setRecording(true);
    const size_t limit = ztmctl::RecordLimit().calls;
    const int pairs = static_cast<int>(limit / 2) + 100;
    roundTrips(pairs);
    EXPECT_EQ(ztmctl::callCount(), limit);
    EXPECT_EQ(ztmctl::droppedCalls(), 2 * static_cast<size_t>(pairs) + 4 - limit);
}

TEST_F(Recording, ResetForgetsTheCallsAndKeepsTheSwitchAndLimit) {
    ztmctl::setRecording(true);
    ztmctl::RecordLimit limit;
    limit.calls = 2;
    ztmctl::setRecordLimit(limit);
    roundTrips(1);
    ASSERT_EQ(ztmctl::callCount(), 2u);
    ASSERT_EQ(ztmctl::droppedCalls(), 4u);
    ztmctl::reset();
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_EQ(ztmctl::droppedCalls(), 0u);
    EXPECT_TRUE(ztmctl::recording());
    EXPECT_EQ(ztmctl::recordLimit().calls, 2u);
    roundTrips(1);
    EXPECT_EQ(ztmctl::callCount(), 2u);
}

}  // namespace

// Opening queues and destination lists, close, inquire and set.
#include <chrono>
#include <vector>

#include "QmgrTest.h"

namespace {

class ObjectTest : public QmgrTest {
protected:
    void SetUp() override {
        QmgrTest::SetUp();
        hconn = connect();
    }
    ZTLONG hconn = 0;
    Result r;

    ZTLONG inquireInt(ZTLONG hobj, ZTLONG selector) {
        ZTLONG value = -12345;
        ZTINQ(hconn, hobj, 1, &selector, 1, &value, 0, nullptr, &r.cc, &r.rc);
        EXPECT_EQ(r.cc, ZTCC_OK);
        return value;
    }
};

TEST_F(ObjectTest, OpenCreatesTheQueueAndGivesAHandle) {
    EXPECT_FALSE(ztmctl::queueExists("Q1"));
    ZTOD od = objectDescriptor("Q1");
    ZTLONG hobj = 0;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT | ZTOO_INQUIRE, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_GT(hobj, 0);
    EXPECT_TRUE(ztmctl::queueExists("Q1"));
    EXPECT_EQ(ztmctl::openHandles(hconn), 1u);
    // The resolved queue manager name is written back.
    EXPECT_EQ(std::string(od.objectQMgrName), ZT_DEFAULT_QMGR_NAME);
    auto rec = ztmctl::callsOf("ZTOPEN").at(0);
    EXPECT_EQ(rec.arg("options"), ZTOO_OUTPUT | ZTOO_INQUIRE);
    EXPECT_EQ(rec.recordAs<ZTOD>("ZTOD").objectQMgrName[0], '\0');  // as passed in
    EXPECT_FALSE(rec.hasRecord("ZTOR[]"));
    // A second open gives another handle to the same queue.
    ZTLONG hobj2 = openQueue(hconn, "Q1", ZTOO_INQUIRE);
    EXPECT_NE(hobj, hobj2);
}

TEST_F(ObjectTest, OpenRefusesWhatItCannotDo) {
    ZTLONG hobj = 77;
    ZTOD od = objectDescriptor("Q1");
    od.objectType = 2;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OBJECT_TYPE_ERROR);
    od = objectDescriptor("Q1");
    ZTOPEN(hconn, &od, 0, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OPTIONS_ERROR);
    ZTOPEN(hconn, &od, ZTOO_INPUT_SHARED | ZTOO_INPUT_EXCLUSIVE, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OPTIONS_ERROR);
    std::memcpy(od.eyeCatcher, "ODX ", 4);
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_RECORD_ERROR);
    ZTOPEN(hconn, nullptr, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_RECORD_ERROR);
    od = objectDescriptor("");
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OBJECT_NAME_ERROR);
    od = objectDescriptor("BAD NAME");
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OBJECT_NAME_ERROR);
    od = objectDescriptor("NOSUCH.Q");
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_UNKNOWN_OBJECT_NAME);
    od = objectDescriptor("Q1");
    std::memcpy(od.objectQMgrName, "OTHERQM", 7);
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_UNKNOWN_OBJECT_QMGR);
    od = objectDescriptor("Q1");
    ZTOPEN(hconn + 1000, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HCONN_ERROR);
    EXPECT_EQ(r.cc, ZTCC_FAILED);
    EXPECT_EQ(hobj, 77);  // never written on failure
    EXPECT_FALSE(ztmctl::queueExists("NOSUCH.Q"));
    EXPECT_FALSE(ztmctl::queueExists("Q1"));
    EXPECT_EQ(ztmctl::openHandles(hconn), 0u);
}

TEST_F(ObjectTest, BlankPaddedAndOwnQueueManagerNamesResolve) {
    ZTOD od = objectDescriptor("");
    std::memset(od.objectName, ' ', 48);
    std::memcpy(od.objectName, "PADDED", 6);
    std::memcpy(od.objectQMgrName, ZT_DEFAULT_QMGR_NAME, sizeof ZT_DEFAULT_QMGR_NAME - 1);
    ZTLONG hobj = 0;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_TRUE(ztmctl::queueExists("PADDED"));
}

TEST_F(ObjectTest, ExclusiveInputExcludesOtherReaders) {
    ZTLONG other = connect();
    ZTLONG ex = openQueue(hconn, "Q1", ZTOO_INPUT_EXCLUSIVE);
    ZTOD od = objectDescriptor("Q1");
    ZTLONG hobj = 0;
    ZTOPEN(other, &od, ZTOO_INPUT_SHARED, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OBJECT_IN_USE);
    openQueue(other, "Q1", ZTOO_OUTPUT);  // output is not affected
    ZTCLOSE(hconn, &ex, ZTCO_NONE, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    ZTLONG shared = openQueue(other, "Q1", ZTOO_INPUT_SHARED);
    ZTOPEN(hconn, &od, ZTOO_INPUT_EXCLUSIVE, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OBJECT_IN_USE);
    // Disconnecting closes the shared reader's handle.
    ZTDISC(&other, &r.cc, &r.rc);
    (void)shared;
    openQueue(hconn, "Q1", ZTOO_INPUT_EXCLUSIVE);
}

TEST_F(ObjectTest, CloseSpoilsTheHandle) {
    ZTLONG hobj = openQueue(hconn, "Q1", ZTOO_INQUIRE);
    const ZTLONG old = hobj;
    ZTCLOSE(hconn, &hobj, 5, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OPTIONS_ERROR);
    EXPECT_EQ(hobj, old);
    ZTCLOSE(hconn, &hobj, ZTCO_NONE, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(hobj, ZTHO_UNUSABLE_HOBJ);
    EXPECT_EQ(ztmctl::callsOf("ZTCLOSE").at(1).arg("hobj"), old);
    hobj = old;
    ZTCLOSE(hconn, &hobj, ZTCO_NONE, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HOBJ_ERROR);
    EXPECT_EQ(hobj, old);
    ZTLONG sel = ZTIA_CURRENT_DEPTH, value = 0;
    ZTINQ(hconn, old, 1, &sel, 1, &value, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HOBJ_ERROR);
    // A handle belongs to its connection.
    ZTLONG other = connect();
    ZTLONG mine = openQueue(hconn, "Q1", ZTOO_INQUIRE);
    ZTCLOSE(other, &mine, ZTCO_NONE, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_HOBJ_ERROR);
}

TEST_F(ObjectTest, InquireGivesTheAttributesInSelectorOrder) {
    ZTLONG hobj = openQueue(hconn, "INQ.Q", ZTOO_INQUIRE);
    ZTLONG selectors[] = {ZTIA_MAX_DEPTH, ZTCA_Q_NAME, ZTIA_CURRENT_DEPTH, ZTIA_INHIBIT_PUT,
                          ZTIA_INHIBIT_GET};
    ZTLONG ints[5] = {-1, -1, -1, -1, -1};
    char chars[50];
    std::memset(chars, '#', sizeof chars);
    ZTINQ(hconn, hobj, 5, selectors, 5, ints, 50, chars, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(ints[0], ZT_DEFAULT_MAX_DEPTH);
    EXPECT_EQ(ints[1], 0);
    EXPECT_EQ(ints[2], 0);
    EXPECT_EQ(ints[3], 0);
    EXPECT_EQ(ints[4], -1);  // more room than needed: left alone
    EXPECT_EQ(std::string(chars, 48), "INQ.Q" + std::string(43, ' '));
    EXPECT_EQ(chars[48], '#');
    auto rec = ztmctl::callsOf("ZTINQ").at(0);
    EXPECT_EQ(rec.arg("selectorCount"), 5);
    EXPECT_EQ(rec.record("selectors").size(), 20u);
    EXPECT_EQ(rec.record("charAttrs").size(), 50u);
    EXPECT_EQ(rec.record("charAttrs")[0], '#');  // as on entry
}

TEST_F(ObjectTest, InquireRefusesCountsThatDoNotFit) {
    ZTLONG hobj = openQueue(hconn, "Q1", ZTOO_INQUIRE | ZTOO_OUTPUT);
    ZTLONG selectors[] = {ZTIA_CURRENT_DEPTH, ZTIA_MAX_DEPTH, ZTCA_Q_NAME};
    ZTLONG ints[2] = {-1, -1};
    char chars[48];
    ZTINQ(hconn, hobj, 3, selectors, 1, ints, 48, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_INT_COUNT_ERROR);
    EXPECT_EQ(ints[0], -1);
    ZTINQ(hconn, hobj, 3, selectors, 2, ints, 47, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_CHAR_ATTR_LENGTH_ERROR);
    ZTINQ(hconn, hobj, 3, selectors, 2, nullptr, 48, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_INT_COUNT_ERROR);
    ZTINQ(hconn, hobj, 3, selectors, 2, ints, 48, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_CHAR_ATTR_LENGTH_ERROR);
    ZTINQ(hconn, hobj, -1, selectors, 2, ints, 48, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_SELECTOR_COUNT_ERROR);
    ZTINQ(hconn, hobj, ZT_MAX_SELECTORS + 1, selectors, 2, ints, 48, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_SELECTOR_COUNT_ERROR);
    ZTINQ(hconn, hobj, 3, nullptr, 2, ints, 48, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_SELECTOR_ERROR);
    ZTINQ(hconn, hobj, 3, selectors, -2, ints, 48, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_INT_COUNT_ERROR);
    ZTINQ(hconn, hobj, 3, selectors, 2, ints, -1, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_CHAR_ATTR_LENGTH_ERROR);
    ZTLONG unknown = 4242;
    ZTINQ(hconn, hobj, 1, &unknown, 2, ints, 48, chars, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_SELECTOR_ERROR);
    EXPECT_EQ(ints[0], -1);
    // Zero selectors is a valid, empty inquiry.
    ZTINQ(hconn, hobj, 0, nullptr, 0, nullptr, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    ZTLONG outOnly = openQueue(hconn, "Q1", ZTOO_OUTPUT);
    ZTINQ(hconn, outOnly, 1, selectors, 2, ints, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_NOT_OPEN_FOR_INQUIRE);
}

TEST_F(ObjectTest, SetChangesOnlySettableAttributesAllOrNothing) {
    ZTLONG hobj = openQueue(hconn, "Q1", ZTOO_INQUIRE | ZTOO_SET);
    ZTLONG selectors[] = {ZTIA_MAX_DEPTH, ZTIA_INHIBIT_PUT, ZTIA_INHIBIT_GET};
    ZTLONG values[] = {10, 1, 1};
    ZTSET(hconn, hobj, 3, selectors, 3, values, 0, nullptr, &r.cc, &r.rc);
    ASSERT_EQ(r.cc, ZTCC_OK);
    EXPECT_EQ(inquireInt(hobj, ZTIA_MAX_DEPTH), 10);
    EXPECT_EQ(inquireInt(hobj, ZTIA_INHIBIT_PUT), 1);
    EXPECT_EQ(inquireInt(hobj, ZTIA_INHIBIT_GET), 1);
    EXPECT_EQ(ztmctl::callsOf("ZTSET").at(0).record("intAttrs").size(), 12u);

    ZTLONG bad[] = {20, 2, 0};
    ZTSET(hconn, hobj, 3, selectors, 3, bad, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_ATTR_VALUE_ERROR);
    EXPECT_EQ(inquireInt(hobj, ZTIA_MAX_DEPTH), 10);  // nothing changed
    ZTLONG negative = -1;
    ZTSET(hconn, hobj, 1, selectors, 1, &negative, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_ATTR_VALUE_ERROR);
    ZTLONG depthSel[] = {ZTIA_INHIBIT_PUT, ZTIA_CURRENT_DEPTH};
    ZTLONG depthVal[] = {0, 5};
    ZTSET(hconn, hobj, 2, depthSel, 2, depthVal, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_ATTR_NOT_SETTABLE);
    EXPECT_EQ(inquireInt(hobj, ZTIA_INHIBIT_PUT), 1);
    ZTLONG nameSel = ZTCA_Q_NAME;
    char name[48] = "RENAMED";
    ZTSET(hconn, hobj, 1, &nameSel, 0, nullptr, 48, name, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_ATTR_NOT_SETTABLE);
    ZTSET(hconn, hobj, 2, selectors, 1, values, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_INT_COUNT_ERROR);
    ZTLONG inqOnly = openQueue(hconn, "Q1", ZTOO_INQUIRE);
    ZTSET(hconn, inqOnly, 1, selectors, 1, values, 0, nullptr, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_NOT_OPEN_FOR_SET);
}

TEST_F(ObjectTest, DestinationListReportsEveryRecord) {
    std::vector<ZTOR> recs = {objectRecord("D1"), objectRecord(""), objectRecord("NOSUCH.D"),
                              objectRecord("D2", ZT_DEFAULT_QMGR_NAME),
                              objectRecord("D3", "FARAWAY"), objectRecord("BAD NAME")};
    std::vector<ZTRR> rrs(recs.size(), ZTRR{-7, -7});
    ZTOD od = objectDescriptor("", 2);
    od.recsPresent = static_cast<ZTLONG>(recs.size());
    od.objectRecords = recs.data();
    od.responseRecords = rrs.data();
    ZTLONG hobj = 0;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_WARNING);
    EXPECT_EQ(r.rc, ZTRC_MULTIPLE_REASONS);
    EXPECT_GT(hobj, 0);
    EXPECT_EQ(od.knownDestCount, 2);
    EXPECT_EQ(od.unknownDestCount, 2);
    EXPECT_EQ(od.invalidDestCount, 2);
    const ZTLONG want[][2] = {{0, 0},
                              {2, ZTRC_OBJECT_NAME_ERROR},
                              {2, ZTRC_UNKNOWN_OBJECT_NAME},
                              {0, 0},
                              {2, ZTRC_UNKNOWN_OBJECT_QMGR},
                              {2, ZTRC_OBJECT_NAME_ERROR}};
    for (size_t i = 0; i < recs.size(); ++i) {
        EXPECT_EQ(rrs[i].completionCode, want[i][0]) << i;
        EXPECT_EQ(rrs[i].reason, want[i][1]) << i;
    }
    EXPECT_TRUE(ztmctl::queueExists("D1"));
    EXPECT_TRUE(ztmctl::queueExists("D2"));
    auto rec = ztmctl::callsOf("ZTOPEN").at(0);
    EXPECT_EQ(rec.record("ZTOR[]").size(), 6u * 96u);
    EXPECT_EQ(rec.record("ZTRR[]").size(), 6u * 8u);
    EXPECT_EQ(std::memcmp(rec.record("ZTOR[]").data() + 3 * 96, "D2", 2), 0);
    ZTRR first;
    std::memcpy(&first, rec.record("ZTRR[]").data(), sizeof first);
    EXPECT_EQ(first.completionCode, -7);  // as on entry
}

TEST_F(ObjectTest, DestinationListAllFailingOrRefused) {
    std::vector<ZTOR> recs = {objectRecord("NOSUCH.A"), objectRecord("NOSUCH.B")};
    ZTOD od = objectDescriptor("", 2);
    od.recsPresent = 2;
    od.objectRecords = recs.data();
    ZTLONG hobj = 55;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);  // no response records
    EXPECT_EQ(r.cc, ZTCC_FAILED);
    EXPECT_EQ(r.rc, ZTRC_UNKNOWN_OBJECT_NAME);  // the one reason they share
    EXPECT_EQ(od.unknownDestCount, 2);
    EXPECT_EQ(hobj, 55);
    EXPECT_EQ(ztmctl::openHandles(hconn), 0u);

    ZTOPEN(hconn, &od, ZTOO_OUTPUT | ZTOO_INQUIRE, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_OPTIONS_ERROR);
    od.objectRecords = nullptr;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_RECORD_ERROR);
    od.recsPresent = -1;
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, ZTRC_RECS_PRESENT_ERROR);
    // Version 1 ignores the record fields: a plain queue open.
    ZTOD v1 = objectDescriptor("PLAIN", 1);
    v1.recsPresent = 3;
    ZTOPEN(hconn, &v1, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
    EXPECT_EQ(r.cc, ZTCC_OK);
    EXPECT_FALSE(ztmctl::callsOf("ZTOPEN").back().hasRecord("ZTOR[]"));
}

TEST_F(ObjectTest, LargeDestinationListOpensInLinearTime) {
    auto openList = [&](ZTLONG n) {
        std::vector<ZTOR> recs;
        recs.reserve(n);
        for (ZTLONG i = 0; i < n; ++i) recs.push_back(objectRecord("DEST." + std::to_string(i)));
        std::vector<ZTRR> rrs(n);
        ZTOD od = objectDescriptor("", 2);
        od.recsPresent = n;
        od.objectRecords = recs.data();
        od.responseRecords = rrs.data();
        ZTLONG hobj = 0;
        auto t0 = std::chrono::steady_clock::now();
        ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &r.cc, &r.rc);
        auto t1 = std::chrono::steady_clock::now();
        EXPECT_EQ(r.cc, ZTCC_OK);
        EXPECT_EQ(od.knownDestCount, n);
        return std::chrono::duration<double>(t1 - t0).count();
    };
    ztmctl::setRecording(false);
    const double small = openList(10000);
    ztmctl::reset();
    hconn = connect();
    ztmctl::setRecording(false);
    const double large = openList(100000);
    // Ten times the records: well under a hundred times the time (a quadratic
    // open would take ~100x), with slack for a busy machine.
    EXPECT_LT(large, 40 * small + 0.5) << "10k: " << small << " s, 100k: " << large << " s";
    EXPECT_LT(large, 20.0);
}

}  // namespace

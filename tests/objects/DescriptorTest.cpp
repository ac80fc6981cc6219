// _ZTOPEN and the descriptor converters: what the queue manager receives, what
// comes back into the Java objects, and the calls refused before the queue
// manager is asked.
#include "Bytes.h"
#include "Objects.h"

#include <algorithm>
#include <cstring>
#include <functional>

using namespace zt::test;
using namespace objtest;

namespace {

const jint kOut = ZTOO_OUTPUT;

std::string bytesAt(const std::vector<uint8_t>& v, size_t at, size_t n) {
    return std::string(reinterpret_cast<const char*>(v.data()) + at, n);
}

// A version 2 descriptor whose record count is `count`, with `records`
// object and response records (response records preset to -1/-1).
jobject countedList(jint count, int records) {
    jobject od = newObject("objtest/CountedDescriptor", "()V");
    setInt(od, "Version", 2);
    setInt(od, "count", count);
    setString(od, "ObjectName", std::string("Q1"));
    JNIEnv* e = env();
    jobjectArray objs = e->NewObjectArray(records, findClass("com/zel/zt/ZTObjectRecord"), nullptr);
    jobjectArray resps = e->NewObjectArray(records, findClass("com/zel/zt/ZTResponseRecord"), nullptr);
    for (int i = 0; i < records; ++i) {
        jobject o = newObject("com/zel/zt/ZTObjectRecord", "(Ljava/lang/String;Ljava/lang/String;)V",
                              newString("Q.R" + std::to_string(i)), newString(""));
        jobject r = newObject("com/zel/zt/ZTResponseRecord", "()V");
        setInt(r, "completionCode", -1);
        setInt(r, "reason", -1);
        e->SetObjectArrayElement(objs, i, o);
        e->SetObjectArrayElement(resps, i, r);
    }
    setObject(od, "objectRecords", kObjectRecords, objs);
    setObject(od, "responseRecords", kResponses, resps);
    return od;
}

}  // namespace

TEST_F(ObjectsTest, Version1ReachesTheQueueManagerWithEverythingFrom168Zero) {
    jobject od = descriptor("QUEUE.ONE");
    setString(od, "ObjectQMgrName", std::nullopt);
    setString(od, "DynamicQName", std::string(47, 'D'));
    setString(od, "AlternateUserId", std::string("USER12345678X"));  // 13: cut to 12
    // Version 1 ignores the list members, whatever they hold.
    jobject list = destinationList({"Q.A", "Q.B"});
    setObject(od, "objectRecords", kObjectRecords, getObject(list, "objectRecords", kObjectRecords));
    setObject(od, "responseRecords", kResponses, getObject(list, "responseRecords", kResponses));
    setCounts(od, -1);
    setResponse(od, 0, {-1, -1});
    // The queue manager opens the queue, then names it back with a 48-byte
    // name (no NUL) and sets the counts a version 1 descriptor does not have.
    ztmctl::Answer a;
    a.runReal = true;
    a.hook = [](void** args) {
        ZTOD* rec = static_cast<ZTOD*>(args[1]);
        std::memset(rec->objectName, 'N', sizeof rec->objectName);
        rec->knownDestCount = 5;
        rec->unknownDestCount = 6;
        rec->invalidDestCount = 7;
    };
    ztmctl::scriptNext("ZTOPEN", a);
    jobject hobj = newPint(-5);
    JniProxy proxy;
    EXPECT_EQ(open(od, kOut, hobj, proxy.env()), (Outcome{0, 0}));
    EXPECT_EQ(proxy.count(Fn::CallIntMethod), 0) << "GetNumberofRecords is for version 2 only";

    auto call = lastOpen();
    const auto& raw = call.record("ZTOD");
    ASSERT_EQ(raw.size(), sizeof(ZTOD));
    ZTOD rec = call.recordAs<ZTOD>("ZTOD");
    EXPECT_EQ(bytesAt(raw, 0, 4), "OD  ");
    EXPECT_EQ(rec.version, 1);
    EXPECT_EQ(rec.objectType, ZTOT_Q);
    EXPECT_EQ(bytesAt(raw, 12, 10), std::string("QUEUE.ONE\0", 10));
    EXPECT_TRUE(allZero(raw.data(), 22, 60)) << "the rest of the name stays zero";
    EXPECT_TRUE(allZero(raw.data(), 60, 108)) << "a null name leaves its field zero";
    EXPECT_EQ(bytesAt(raw, 108, 48), std::string(47, 'D') + '\0');
    EXPECT_EQ(bytesAt(raw, 156, 12), "USER12345678");
    EXPECT_TRUE(allZero(raw.data(), 168, raw.size())) << "bytes 168 to the end";
    EXPECT_FALSE(call.hasRecord("ZTOR[]"));

    // Names come back (48 bytes without NUL: all of them); nothing else does.
    EXPECT_GT(pintValue(hobj), 0);
    EXPECT_EQ(ztmctl::openHandles(hconn), 1u);
    EXPECT_EQ(getString(od, "ObjectName"), std::string(48, 'N'));
    EXPECT_EQ(getString(od, "ObjectQMgrName"), std::string(ZT_DEFAULT_QMGR_NAME));
    EXPECT_EQ(counts(od), (std::vector<jint>{-1, -1, -1}));
    EXPECT_EQ(response(od, 0), (Outcome{-1, -1}));
}

TEST_F(ObjectsTest, StringFieldsAreCutToTheirWidthAndTerminatedOnlyWhenShorter) {
    struct Case {
        const char* field;
        std::string value;
        size_t offset, width;
        std::string expected;  // the field's bytes
    };
    const std::string n48(48, 'a'), n49 = std::string(48, 'b') + "Z";
    const std::vector<Case> cases = {
        {"ObjectName", n48, 12, 48, n48},
        {"ObjectName", n49, 12, 48, n49.substr(0, 48)},
        {"ObjectName", "SHORT.Q", 12, 48, std::string("SHORT.Q") + std::string(41, '\0')},
        {"ObjectQMgrName", n49, 60, 48, n49.substr(0, 48)},
        {"DynamicQName", n48, 108, 48, n48},
        {"AlternateUserId", "ABCDEFGHIJKL", 156, 12, "ABCDEFGHIJKL"},
        {"AlternateUserId", "ABCDEFGHIJKLMNOP", 156, 12, "ABCDEFGHIJKL"},
        {"AlternateUserId", "ABC", 156, 12, std::string("ABC") + std::string(9, '\0')},
    };
    for (const auto& c : cases) {
        LocalFrame frame;
        ztmctl::clearCalls();
        jobject od = descriptor("Q1");
        setString(od, c.field, c.value);
        open(od, kOut, newPint());
        const auto call = lastOpen();
        const auto& raw = call.record("ZTOD");
        EXPECT_EQ(bytesAt(raw, c.offset, c.width), c.expected) << c.field << " = " << c.value;
        // What does not fit goes nowhere (the next field is empty).
        if (c.value.size() > c.width) {
            EXPECT_EQ(raw[c.offset + c.width], 0) << c.field;
        }
    }
}

TEST_F(ObjectsTest, Version2WithThreeRecordsPassesA288ByteAnd24ByteArray) {
    jobject od = destinationList({"Q.A", "Q.B", "Q.C"});
    jobject r0 = element(od, "objectRecords", kObjectRecords, 0);
    jobject r1 = element(od, "objectRecords", kObjectRecords, 1);
    jobject r2 = element(od, "objectRecords", kObjectRecords, 2);
    setString(r0, "objectQMgrName", std::nullopt);
    setString(r1, "objectName", std::string(48, 'L') + "XYZ");
    setString(r2, "objectQMgrName", std::string(ZT_DEFAULT_QMGR_NAME));
    open(od, kOut, newPint());

    auto call = lastOpen();
    const auto& raw = call.record("ZTOD");
    ZTOD rec = call.recordAs<ZTOD>("ZTOD");
    EXPECT_EQ(rec.version, 2);
    EXPECT_EQ(rec.recsPresent, 3);
    EXPECT_EQ(rec.knownDestCount, 0);
    EXPECT_EQ(rec.unknownDestCount, 0);
    EXPECT_EQ(rec.invalidDestCount, 0);
    EXPECT_TRUE(allZero(raw.data(), 184, 192));
    EXPECT_NE(rec.objectRecords, nullptr);
    EXPECT_NE(rec.responseRecords, nullptr);
    EXPECT_TRUE(allZero(raw.data(), offsetof(ZTOD, reserved2),
                        offsetof(ZTOD, reserved2) + sizeof rec.reserved2));

    const auto& ors = call.record("ZTOR[]");
    ASSERT_EQ(ors.size(), 288u);
    EXPECT_EQ(bytesAt(ors, 0, 4), std::string("Q.A\0", 4));
    EXPECT_TRUE(allZero(ors.data(), 48, 96)) << "null queue manager name of record 0";
    EXPECT_EQ(bytesAt(ors, 96, 48), std::string(48, 'L')) << "record 1 cut to 48, no NUL";
    EXPECT_EQ(bytesAt(ors, 144, 1), std::string(1, '\0'));
    EXPECT_EQ(bytesAt(ors, 192, 4), std::string("Q.C\0", 4)) << "record 2 starts at byte 192";
    EXPECT_TRUE(allZero(ors.data(), 196, 240));
    const std::string qm = ZT_DEFAULT_QMGR_NAME;
    EXPECT_EQ(bytesAt(ors, 240, qm.size() + 1), qm + '\0');
    EXPECT_TRUE(allZero(ors.data(), 240 + qm.size() + 1, 288));

    const auto& rrs = call.record("ZTRR[]");
    ASSERT_EQ(rrs.size(), 24u);
    EXPECT_TRUE(allZero(rrs.data(), 0, rrs.size()));
}

TEST_F(ObjectsTest, WarningWritesHandleCountsInTheirOrderAndResponseRecords) {
    // Real stand-in: 3 known, 2 unknown, 1 invalid destination.
    jobject od = destinationList({"Q.A", "BAD NAME", "NOSUCH.1", "Q.B", "NOSUCH.2", "Q.C"});
    setCounts(od, -1);
    for (int i = 0; i < 6; ++i) setResponse(od, i, {-1, -1});
    // The order of the count writes: before every SetIntField, see which
    // count changed since the last one.
    std::vector<std::string> order;
    std::vector<jint> seen = counts(od);
    auto look = [&] {
        std::vector<jint> now = counts(od);
        const char* names[] = {"Invalid", "Unknown", "Known"};
        for (int i = 0; i < 3; ++i)
            if (now[i] != seen[i]) order.push_back(names[i]);
        seen = now;
    };
    JniProxy proxy;
    proxy.before(Fn::SetIntField, look);
    jobject hobj = newPint(-5);
    EXPECT_EQ(open(od, kOut, hobj, proxy.env()), (Outcome{1, ZTRC_MULTIPLE_REASONS}));
    look();
    EXPECT_EQ(order, (std::vector<std::string>{"Invalid", "Unknown", "Known"}));
    EXPECT_GT(pintValue(hobj), 0);
    EXPECT_EQ(counts(od), (std::vector<jint>{1, 2, 3}));
    const std::vector<Outcome> expected = {{0, 0}, {2, ZTRC_OBJECT_NAME_ERROR}, {2, ZTRC_UNKNOWN_OBJECT_NAME},
                                           {0, 0}, {2, ZTRC_UNKNOWN_OBJECT_NAME}, {0, 0}};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(response(od, i), expected[i]) << "record " << i;
    EXPECT_TRUE(proxy.misuse().empty());
}

TEST_F(ObjectsTest, ResponseRecordsComeFromTheConvertersOwnArray) {
    static ZTRR decoy[3] = {{9, 9999}, {9, 9999}, {9, 9999}};
    // The queue manager fills record 1 only, then points the descriptor
    // elsewhere: the records the Java side gets are the converter's.
    ztmctl::Answer a;
    a.compCode = 1;
    a.reason = ZTRC_UNKNOWN_OBJECT_NAME;
    a.hobj = 4242;
    a.hook = [](void** args) {
        ZTOD* rec = static_cast<ZTOD*>(args[1]);
        rec->responseRecords[1] = ZTRR{2, ZTRC_UNKNOWN_OBJECT_NAME};
        rec->responseRecords = decoy;
        rec->knownDestCount = 2;
        rec->unknownDestCount = 1;
    };
    ztmctl::scriptNext("ZTOPEN", a);
    jobject od = destinationList({"Q.A", "NOSUCH.B", "Q.C"});
    for (int i = 0; i < 3; ++i) setResponse(od, i, {-1, -1});
    jobject hobj = newPint(-5);
    EXPECT_EQ(open(od, kOut, hobj), (Outcome{1, ZTRC_UNKNOWN_OBJECT_NAME}));
    EXPECT_EQ(pintValue(hobj), 4242);
    EXPECT_EQ(response(od, 0), (Outcome{0, 0})) << "a record left as it was is zero";
    EXPECT_EQ(response(od, 1), (Outcome{2, ZTRC_UNKNOWN_OBJECT_NAME}));
    EXPECT_EQ(response(od, 2), (Outcome{0, 0}));
    EXPECT_EQ(counts(od), (std::vector<jint>{0, 1, 2}));

    // A record count under 1 in the descriptor the queue manager hands back:
    // counts still written, no response record.
    a.hook = [](void** args) {
        ZTOD* rec = static_cast<ZTOD*>(args[1]);
        rec->responseRecords[0] = ZTRR{2, 1};
        rec->recsPresent = 0;
        rec->knownDestCount = 3;
    };
    ztmctl::scriptNext("ZTOPEN", a);
    for (int i = 0; i < 3; ++i) setResponse(od, i, {-1, -1});
    setCounts(od, -1);
    EXPECT_EQ(open(od, kOut, hobj), (Outcome{1, ZTRC_UNKNOWN_OBJECT_NAME}));
    EXPECT_EQ(counts(od), (std::vector<jint>{0, 0, 3}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(response(od, i), (Outcome{-1, -1})) << i;
}

TEST_F(ObjectsTest, NullResponseElementIsSkippedAndTheOthersWritten) {
    for (int nullAt : {1, 0}) {
        LocalFrame frame;
        jobject od = destinationList({"Q.A", "BAD NAME", "NOSUCH.C"});
        for (int i = 0; i < 3; ++i) setResponse(od, i, {-1, -1});
        env()->SetObjectArrayElement(static_cast<jobjectArray>(getObject(od, "responseRecords", kResponses)),
                                     nullAt, nullptr);
        EXPECT_EQ(open(od, kOut, newPint()), (Outcome{1, ZTRC_MULTIPLE_REASONS}));
        const std::vector<Outcome> expected = {{0, 0}, {2, ZTRC_OBJECT_NAME_ERROR}, {2, ZTRC_UNKNOWN_OBJECT_NAME}};
        for (int i = 0; i < 3; ++i) {
            if (i == nullAt) continue;
            EXPECT_EQ(response(od, i), expected[i]) << "record " << i << ", null at " << nullAt;
        }
        EXPECT_EQ(counts(od), (std::vector<jint>{1, 1, 1}));
    }
}

TEST_F(ObjectsTest, RecordCountZeroOrNegativeBuildsNoArrays) {
    // 0: an open of ObjectName; the counts are written back, no response record.
    jobject od = countedList(0, 2);
    setCounts(od, -1);
    jobject hobj = newPint(-5);
    EXPECT_EQ(open(od, kOut, hobj), (Outcome{0, 0}));
    ZTOD rec = lastOpen().recordAs<ZTOD>("ZTOD");
    EXPECT_EQ(rec.recsPresent, 0);
    EXPECT_EQ(rec.objectRecords, nullptr);
    EXPECT_EQ(rec.responseRecords, nullptr);
    EXPECT_GT(pintValue(hobj), 0);
    EXPECT_EQ(counts(od), (std::vector<jint>{0, 0, 0}));
    EXPECT_EQ(response(od, 0), (Outcome{-1, -1}));
    EXPECT_EQ(response(od, 1), (Outcome{-1, -1}));

    // Negative: passed on as it is; the queue manager refuses it, and a
    // completion code 2 leaves handle holder and descriptor alone.
    ztmctl::clearCalls();
    od = countedList(-5, 2);
    setCounts(od, -1);
    setString(od, "ObjectQMgrName", std::string("KEEP"));
    hobj = newPint(-5);
    EXPECT_EQ(open(od, kOut, hobj), (Outcome{2, ZTRC_RECS_PRESENT_ERROR}));
    auto call = lastOpen();
    rec = call.recordAs<ZTOD>("ZTOD");
    EXPECT_EQ(rec.recsPresent, -5);
    EXPECT_EQ(rec.objectRecords, nullptr);
    EXPECT_EQ(rec.responseRecords, nullptr);
    EXPECT_FALSE(call.hasRecord("ZTOR[]"));
    EXPECT_EQ(pintValue(hobj), -5);
    EXPECT_EQ(getString(od, "ObjectQMgrName"), std::string("KEEP"));
    EXPECT_EQ(counts(od), (std::vector<jint>{-1, -1, -1}));
}

TEST_F(ObjectsTest, FailureFromTheQueueManagerLeavesHolderAndDescriptor) {
    ztmctl::Answer a;
    a.compCode = 2;
    a.reason = ZTRC_UNKNOWN_OBJECT_NAME;
    a.hobj = 4242;
    a.hook = [](void** args) {
        ZTOD* rec = static_cast<ZTOD*>(args[1]);
        std::memcpy(rec->objectName, "CHANGED", 8);
        std::memcpy(rec->objectQMgrName, "CHANGED", 8);
        rec->responseRecords[0] = ZTRR{2, 1};
        rec->invalidDestCount = 1;
    };
    ztmctl::scriptNext("ZTOPEN", a);
    jobject od = destinationList({"Q.A"});
    setString(od, "ObjectName", std::string("ASKED"));
    setResponse(od, 0, {-1, -1});
    setCounts(od, -1);
    jobject hobj = newPint(-5);
    EXPECT_EQ(open(od, kOut, hobj), (Outcome{2, ZTRC_UNKNOWN_OBJECT_NAME}));
    EXPECT_EQ(pintValue(hobj), -5);
    EXPECT_EQ(getString(od, "ObjectName"), std::string("ASKED"));
    EXPECT_EQ(getString(od, "ObjectQMgrName"), std::string(""));
    EXPECT_EQ(counts(od), (std::vector<jint>{-1, -1, -1}));
    EXPECT_EQ(response(od, 0), (Outcome{-1, -1}));
}

TEST_F(ObjectsTest, ListArraysThatDoNotHoldTheCountAreRefusedBeforeTheCall) {
    struct Case {
        const char* what;
        const char* logged;
        std::function<void(jobject)> spoil;
    };
    auto shorter = [](const char* field, const char* sig, const char* cls) {
        return [=](jobject od) {
            setObject(od, field, sig, env()->NewObjectArray(2, findClass(cls), nullptr));
        };
    };
    auto nullElement = [](int i) {
        return [=](jobject od) {
            env()->SetObjectArrayElement(static_cast<jobjectArray>(getObject(od, "objectRecords", kObjectRecords)), i,
                                         nullptr);
        };
    };
    const std::vector<Case> cases = {
        {"null object records", "103 objectRecords",
         [](jobject od) { setObject(od, "objectRecords", kObjectRecords, nullptr); }},
        {"null response records", "103 responseRecords",
         [](jobject od) { setObject(od, "responseRecords", kResponses, nullptr); }},
        {"2 object records for 3", "103 objectRecords",
         shorter("objectRecords", kObjectRecords, "com/zel/zt/ZTObjectRecord")},
        {"2 response records for 3", "103 responseRecords",
         shorter("responseRecords", kResponses, "com/zel/zt/ZTResponseRecord")},
        {"object record 0 null", "103 objectRecords", nullElement(0)},
        {"object record 2 null", "103 objectRecords", nullElement(2)},
    };
    Trace::setOn(true);
    for (const auto& c : cases) {
        LocalFrame frame;
        InternalException::clear();
        Trace::clear();
        jobject od = countedList(3, 3);
        c.spoil(od);
        setCounts(od, -1);
        jobject hobj = newPint(-5);
        EXPECT_EQ(open(od, kOut, hobj), kBridgeFailure) << c.what;
        EXPECT_EQ(ztmctl::callsOf("ZTOPEN").size(), 0u) << c.what;
        EXPECT_EQ(InternalException::logged(), std::vector<std::string>{c.logged}) << c.what;
        EXPECT_EQ(takePendingException(), "") << c.what;
        EXPECT_EQ(pintValue(hobj), -5) << c.what;
        EXPECT_EQ(counts(od), (std::vector<jint>{-1, -1, -1})) << c.what;
        auto lines = Trace::lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "exit com.zel.zt.server_ZTSESSION _ZTOPEN"), 0)
            << c.what << ": the native-error handler writes no exit line";
    }
}

TEST_F(ObjectsTest, DescriptorClassWithoutDynamicQNameIsRefusedBeforeTheCall) {
    jobject od = newObject("objtest/NoDynamicQNameDescriptor", "()V");
    jobject hobj = newPint(-5);
    Trace::setOn(true);
    EXPECT_EQ(open(od, kOut, hobj), kBridgeFailure);
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_EQ(InternalException::logged(), std::vector<std::string>{"103 DynamicQName"});
    EXPECT_EQ(pintValue(hobj), -5);
    EXPECT_EQ(getString(od, "ObjectName"), std::string("Q1"));
    auto lines = Trace::lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "trace2 GetFieldID DynamicQName"), lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "exit com.zel.zt.server_ZTSESSION _ZTOPEN"), lines.end());

    // No descriptor at all: likewise, and nothing to look up.
    EXPECT_EQ(open(nullptr, kOut, hobj), kBridgeFailure);
    EXPECT_EQ(takePendingException(), "");
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_EQ(pintValue(hobj), -5);
}

TEST_F(ObjectsTest, ResponseRecordWithoutReasonEndsAsABridgeFailure) {
    // A Java response record is always a ZTResponseRecord (the array type says
    // so): its missing "reason" is the last field lookup of a good open failing.
    // Each list's records are of a class never seen before, so that its
    // members are looked up rather than found in the cache.
    auto freshList = [] {
        jobjectArray names = env()->NewObjectArray(2, findClass("java/lang/String"), nullptr);
        env()->SetObjectArrayElement(names, 0, newString("Q.A"));
        env()->SetObjectArrayElement(names, 1, newString("Q.B"));
        return callStaticObject("objtest/Fresh", "listWithFreshResponses",
                                "([Ljava/lang/String;)Lcom/zel/zt/ZTObjectDescriptor;", names);
    };
    open(freshList(), kOut, newPint());
    JniProxy proxy;
    open(freshList(), kOut, newPint(), proxy.env());
    const long lookups = proxy.count(Fn::GetFieldID);
    ASSERT_GE(lookups, 2) << "the two members of the new class come last";

    jobject od = freshList();
    ztmctl::clearCalls();
    InternalException::clear();
    proxy.resetCounts();
    proxy.failCall(Fn::GetFieldID, static_cast<int>(lookups));
    EXPECT_EQ(open(od, kOut, newPint(), proxy.env()), kBridgeFailure);
    EXPECT_EQ(InternalException::logged(), std::vector<std::string>{"103 reason"});
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
    EXPECT_EQ(ztmctl::callsOf("ZTOPEN").size(), 1u);
    EXPECT_EQ(response(od, 0), (Outcome{-1, -1}));
    EXPECT_EQ(response(od, 1), (Outcome{-1, -1}));
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
}

TEST_F(ObjectsTest, CloseWritesTheHandleBackOnlyForCompletionCode0Or1) {
    jobject hobj = newPint(-5);
    ASSERT_EQ(open(descriptor("Q1"), kOut, hobj), (Outcome{0, 0}));
    const jint handle = pintValue(hobj);
    ztmctl::clearCalls();

    // Refused: the holder keeps the handle passed in.
    jobject wrong = newPint(handle + 100);
    EXPECT_EQ(close(wrong), (Outcome{2, ZTRC_HOBJ_ERROR}));
    EXPECT_EQ(pintValue(wrong), handle + 100);
    EXPECT_EQ(ztmctl::callsOf("ZTCLOSE").at(0).arg("hobj"), handle + 100);
    ztmctl::Answer failed;
    failed.compCode = 2;
    failed.reason = ZTRC_HOBJ_ERROR;
    failed.hobj = 555;
    ztmctl::scriptNext("ZTCLOSE", failed);
    EXPECT_EQ(close(hobj), (Outcome{2, ZTRC_HOBJ_ERROR}));
    EXPECT_EQ(pintValue(hobj), handle);

    // A warning writes what the queue manager left.
    ztmctl::Answer warned;
    warned.compCode = 1;
    warned.reason = 3001;
    warned.hobj = 555;
    ztmctl::scriptNext("ZTCLOSE", warned);
    jobject copy = newPint(handle);
    EXPECT_EQ(close(copy), (Outcome{1, 3001}));
    EXPECT_EQ(pintValue(copy), 555);

    // The real close.
    EXPECT_EQ(close(hobj), (Outcome{0, 0}));
    EXPECT_EQ(pintValue(hobj), ZTHO_UNUSABLE_HOBJ);
    EXPECT_EQ(ztmctl::openHandles(hconn), 0u);
}

// Get-message and put-message options: the exact ZTGMO and ZTPMO bytes, the
// destination-list record arrays built beside a ZTPMO, and what is written
// back into the Java objects, with the queue manager's answers scripted.
#include "MessageTest.h"

using namespace zt::test;
using namespace msgtest;

namespace {

const std::string k48 = "RESOLVED.QUEUE.NAME.FILLING.ALL.FORTY.EIGHT.BYTE";

// Record size for flags 0x9: a message identifier and a feedback.
constexpr size_t kIdAndFeedback = 24 + 4;

jobject getOptions(int version) {
    jobject gmo = newObject(kGetOptions, "(I)V", version);
    setInt(gmo, "options", ZTGMO_WAIT | ZTGMO_ACCEPT_TRUNCATED);
    setInt(gmo, "waitInterval", 1500);
    setInt(gmo, "matchOptions", ZTMO_MATCH_MSG_ID | ZTMO_MATCH_CORREL_ID);
    return gmo;
}

ZTGMO expectedGmo(int version, int matchOptions) {
    ZTGMO g;
    std::memset(&g, 0, sizeof g);
    std::memcpy(g.eyeCatcher, "GMO ", 4);
    g.version = version;
    g.options = ZTGMO_WAIT | ZTGMO_ACCEPT_TRUNCATED;
    g.waitInterval = 1500;
    g.matchOptions = matchOptions;
    return g;
}

// The queue manager's get outputs: a resolved name and the three statuses.
void scriptGet(const std::string& resolved, char group, char segment, char segmentation) {
    ztmctl::Answer a;
    a.dataLength = 0;
    a.hook = [=](void** args) {
        auto* g = static_cast<ZTGMO*>(args[3]);
        std::memcpy(g->resolvedQueueName, resolved.data(), resolved.size());
        g->groupStatus = group;
        g->segmentStatus = segment;
        g->segmentation = segmentation;
        std::memcpy(static_cast<ZTMD*>(args[2])->messageId, "NEWID", 5);
    };
    ztmctl::scriptNext("ZTGET", a);
}

jobject tracker(int i) {
    jobject t = newObject(kTracker, "()V");
    setBytes(t, "messageId", pattern(10, static_cast<uint8_t>(0x10 * (i + 1))));
    setBytes(t, "correlationId", pattern(3, 0xF0));
    setInt(t, "feedback", 100 + i);
    return t;
}

jobjectArray trackers(int n, int nullAt = -1) {
    return objectArray(kTracker, n, [&](int i) { return i == nullAt ? nullptr : tracker(i); });
}

jobjectArray responses(int n) {
    return objectArray(kResponse, n, [](int) {
        jobject r = newObject(kResponse, "()V");
        setInt(r, "completionCode", -5);
        setInt(r, "reason", -5);
        return r;
    });
}

jobject listOptions(const char* cls, jobjectArray pmrs, jobjectArray rrs, int fields) {
    jobject pmo = newObject(cls, "(I)V", 2);
    setObject(pmo, "putMessageRecords", kTrackers, pmrs);
    setObject(pmo, "responseRecords", kResponses, rrs);
    setInt(pmo, "putMsgRecordFields", fields);
    return pmo;
}

// The queue manager answers a destination-list put: each put-message record
// gets a new identifier and feedback, each response record (cc 1, 3000 + i).
void scriptListPut(int cc = 0, int records = 2) {
    ztmctl::Answer a;
    a.compCode = cc;
    a.hook = [records](void** args) {
        auto* p = static_cast<ZTPMO*>(args[3]);
        text(p->resolvedQueueName, 48, "RQ");
        text(p->resolvedQueueManagerName, 48, "RQM");
        p->knownDestCount = 4;
        p->unknownDestCount = 5;
        p->invalidDestCount = 6;
        for (int i = 0; p->putMsgRecords != nullptr && i < records; ++i) {
            ZTBYTE* r = p->putMsgRecords + i * kIdAndFeedback;
            bytes(r, 24, pattern(24, static_cast<uint8_t>(0x80 + i)));
            const ZTLONG feedback = 900 + i;
            std::memcpy(r + 24, &feedback, 4);
        }
        for (int i = 0; p->responseRecords != nullptr && i < records; ++i) {
            p->responseRecords[i] = ZTRR{1, 3000 + i};
        }
    };
    ztmctl::scriptNext("ZTPUT", a);
}

ZTPMO sentPmo(ztmctl::RecordedCall* out = nullptr) {
    auto calls = ztmctl::callsOf("ZTPUT");
    EXPECT_EQ(calls.size(), 1u);
    if (out) *out = calls.at(0);
    return calls.at(0).recordAs<ZTPMO>("ZTPMO");
}

Bytes responseOf(jobjectArray rrs, int i) {
    jobject r = element(rrs, i);
    return {static_cast<uint8_t>(getInt(r, "completionCode")),
            static_cast<uint8_t>(getInt(r, "reason") - 3000)};
}

class Options : public MessageTest {
protected:
    Outcome putList(jobject pmo) {
        return put(1, 1, newObject(kDescriptor, "()V"), pmo, 2, newByteArray({7, 7}));
    }
    Outcome getWith(jobject gmo) {
        return get(1, 1, newObject(kDescriptor, "()V"), gmo, 8, newByteArray(Bytes(8)),
                   newPint(-1));
    }
};

}  // namespace

TEST_F(Options, GetOptionsVersionOneSendsNoMatchOptionsAndReadsBackOnlyTheName) {
    jobject gmo = getOptions(1);
    scriptGet(k48, 'G', 'S', 'Y');
    ASSERT_EQ(getWith(gmo).cc, 0);
    ZTGMO sent = ztmctl::callsOf("ZTGET").at(0).recordAs<ZTGMO>("ZTGMO");
    EXPECT_TRUE(sameBytes(sent, expectedGmo(1, 0)));
    EXPECT_EQ(getString(gmo, "resolvedQueueName"), k48);  // 48 bytes, no NUL: all of them
    EXPECT_EQ(getChar(gmo, "groupStatus"), ' ');
    EXPECT_EQ(getChar(gmo, "segmentStatus"), ' ');
    EXPECT_EQ(getChar(gmo, "segmentation"), ' ');
    EXPECT_EQ(getInt(gmo, "matchOptions"), ZTMO_MATCH_MSG_ID | ZTMO_MATCH_CORREL_ID);
}

TEST_F(Options, GetOptionsVersionTwoSendsMatchOptionsAndWidensStatusesAsSignedBytes) {
    jobject gmo = getOptions(2);
    scriptGet(std::string("Q1\0JUNK", 7), 'G', static_cast<char>(0xC1), 0x7F);
    ASSERT_EQ(getWith(gmo).cc, 0);
    ZTGMO sent = ztmctl::callsOf("ZTGET").at(0).recordAs<ZTGMO>("ZTGMO");
    EXPECT_TRUE(sameBytes(sent, expectedGmo(2, ZTMO_MATCH_MSG_ID | ZTMO_MATCH_CORREL_ID)));
    EXPECT_EQ(getString(gmo, "resolvedQueueName"), "Q1");
    EXPECT_EQ(getChar(gmo, "groupStatus"), 'G');
    EXPECT_EQ(getChar(gmo, "segmentStatus"), 0xFFC1);
    EXPECT_EQ(getChar(gmo, "segmentation"), 0x7F);
}

TEST_F(Options, GetOptionsNoReadBackLeavesTheObjectAsItWas) {
    jobject gmo = getOptions(2);
    setBoolean(gmo, "noReadBack", true);
    setString(gmo, "resolvedQueueName", std::string("BEFORE"));
    setChar(gmo, "groupStatus", 'a');
    setChar(gmo, "segmentStatus", 'b');
    setChar(gmo, "segmentation", 'c');
    scriptGet("AFTER", 'G', 'S', 'Y');
    jobject md = newObject(kDescriptor, "()V");
    ASSERT_EQ(get(1, 1, md, gmo, 8, newByteArray(Bytes(8)), newPint(-1)).cc, 0);
    EXPECT_EQ(getString(gmo, "resolvedQueueName"), "BEFORE");
    EXPECT_EQ(getChar(gmo, "groupStatus"), 'a');
    EXPECT_EQ(getChar(gmo, "segmentStatus"), 'b');
    EXPECT_EQ(getChar(gmo, "segmentation"), 'c');
    EXPECT_EQ(getInt(gmo, "options"), ZTGMO_WAIT | ZTGMO_ACCEPT_TRUNCATED);
    EXPECT_EQ(getInt(gmo, "waitInterval"), 1500);
    EXPECT_EQ(getBoolean(gmo, "noReadBack"), true);
    // Only the options object is spared: the descriptor is written back.
    EXPECT_EQ(getBytes(md, "messageId"), (Bytes{'N', 'E', 'W', 'I', 'D', 0, 0, 0, 0, 0, 0, 0,
                                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Options, PutOptionsVersionOneSendsNoListFieldsAndReadsBackNamesAndCounts) {
    // Version-2 members set anyway: a version-1 object sends none of them.
    jobject pmo = listOptions(kPutOptions, trackers(2), responses(2), 0x9);
    setInt(pmo, "version", 1);
    setInt(pmo, "options", ZTPMO_SYNCPOINT);
    setInt(pmo, "contextReferenceHandle", 77);
    scriptListPut();
    ASSERT_EQ(putList(pmo).cc, 0);
    ZTPMO expected;
    std::memset(&expected, 0, sizeof expected);
    std::memcpy(expected.eyeCatcher, "PMO ", 4);
    expected.version = 1;
    expected.options = ZTPMO_SYNCPOINT;
    expected.context = 77;
    ZTPMO sent = sentPmo();
    EXPECT_TRUE(sameBytes(sent, expected));
    EXPECT_TRUE(allZero(reinterpret_cast<const uint8_t*>(&sent), offsetof(ZTPMO, recordCount),
                        sizeof(ZTPMO)));
    EXPECT_EQ(getString(pmo, "resolvedQueueName"), "RQ");
    EXPECT_EQ(getString(pmo, "resolvedQueueManagerName"), "RQM");
    EXPECT_EQ(getInt(pmo, "knownDestCount"), 4);
    EXPECT_EQ(getInt(pmo, "unknownDestCount"), 5);
    EXPECT_EQ(getInt(pmo, "invalidDestCount"), 6);

    // Version 0 and less: nothing is written back at all.
    ztmctl::clearCalls();
    jobject old = newObject(kPutOptions, "(I)V", 0);
    scriptListPut();
    ASSERT_EQ(putList(old).cc, 0);
    EXPECT_EQ(sentPmo().version, 0);
    EXPECT_EQ(getString(old, "resolvedQueueName"), std::nullopt);
    EXPECT_EQ(getInt(old, "knownDestCount"), 0);
}

TEST_F(Options, DestinationListRecordsAreBuiltAndWrittenBack) {
    jobjectArray pmrs = trackers(2);
    jobjectArray rrs = responses(2);
    jobject pmo = listOptions(kPutOptions, pmrs, rrs, ZTPMRF_MSG_ID | ZTPMRF_FEEDBACK);
    scriptListPut();
    ASSERT_EQ(putList(pmo).cc, 0);
    ztmctl::RecordedCall call;
    ZTPMO sent = sentPmo(&call);
    EXPECT_EQ(sent.recordCount, 2);
    EXPECT_EQ(sent.putMsgRecordFields, 0x9);
    EXPECT_NE(sent.putMsgRecords, nullptr);
    EXPECT_NE(sent.responseRecords, nullptr);
    // Two records of 28 bytes end to end: identifier (10 bytes, then zeros), feedback.
    Bytes want(2 * kIdAndFeedback, 0);
    for (int i = 0; i < 2; ++i) {
        Bytes id = pattern(10, static_cast<uint8_t>(0x10 * (i + 1)));
        std::copy(id.begin(), id.end(), want.begin() + i * kIdAndFeedback);
        const jint feedback = 100 + i;
        std::memcpy(&want[i * kIdAndFeedback + 24], &feedback, 4);
    }
    EXPECT_EQ(call.record("ZTPMR[]"), want);
    EXPECT_EQ(call.record("ZTRR[]"), Bytes(16, 0));
    // Back: selected fields replaced (24-byte arrays), the others untouched.
    for (int i = 0; i < 2; ++i) {
        jobject t = element(pmrs, i);
        EXPECT_EQ(getBytes(t, "messageId"), pattern(24, static_cast<uint8_t>(0x80 + i)));
        EXPECT_EQ(getInt(t, "feedback"), 900 + i);
        EXPECT_EQ(getBytes(t, "correlationId"), pattern(3, 0xF0));
        EXPECT_EQ(responseOf(rrs, i), (Bytes{1, static_cast<uint8_t>(i)}));
    }
    EXPECT_EQ(getInt(pmo, "knownDestCount"), 4);
}

TEST_F(Options, NullMiddleTrackerTakesNoNativeRecord) {
    jobjectArray pmrs = trackers(3, 1);
    jobject pmo = listOptions(kPutOptions, pmrs, responses(3), ZTPMRF_MSG_ID | ZTPMRF_FEEDBACK);
    scriptListPut(0, 2);
    ASSERT_EQ(putList(pmo).cc, 0);
    ztmctl::RecordedCall call;
    EXPECT_EQ(sentPmo(&call).recordCount, 3);
    const Bytes& sent = call.record("ZTPMR[]");
    ASSERT_EQ(sent.size(), 3 * kIdAndFeedback);
    // Native 0 from element 0, native 1 from element 2, native 2 zero.
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 10), pattern(10, 0x10));
    EXPECT_EQ(Bytes(sent.begin() + kIdAndFeedback, sent.begin() + kIdAndFeedback + 10),
              pattern(10, 0x30));
    jint feedback = 0;
    std::memcpy(&feedback, &sent[kIdAndFeedback + 24], 4);
    EXPECT_EQ(feedback, 102);
    EXPECT_TRUE(allZero(sent.data(), 2 * kIdAndFeedback, sent.size()));
    // Back: native 0 to element 0, native 1 to element 2; element 1 stays null.
    EXPECT_EQ(getBytes(element(pmrs, 0), "messageId"), pattern(24, 0x80));
    EXPECT_EQ(getInt(element(pmrs, 0), "feedback"), 900);
    EXPECT_EQ(element(pmrs, 1), nullptr);
    EXPECT_EQ(getBytes(element(pmrs, 2), "messageId"), pattern(24, 0x81));
    EXPECT_EQ(getInt(element(pmrs, 2), "feedback"), 901);
}

TEST_F(Options, CountsBelowOneOrNoFieldsBuildNoPutMessageRecords) {
    struct Case {
        int count;
        int fields;
        size_t responseBytes;  // 0: no response-record array
    };
    for (Case c : {Case{0, 0x9, 0}, Case{-3, 0x9, 0}, Case{3, 0, 24}}) {
        SCOPED_TRACE(c.count);
        ztmctl::clearCalls();
        jobjectArray rrs = responses(3);
        jobject pmo = listOptions(kCountedPutOptions, trackers(3), rrs, c.fields);
        setInt(pmo, "numResponseRecords", c.count);
        scriptListPut(0, 3);
        ASSERT_EQ(putList(pmo).cc, 0);
        ztmctl::RecordedCall call;
        ZTPMO sent = sentPmo(&call);
        EXPECT_EQ(sent.recordCount, c.count);  // as getNumResponseRecords said
        EXPECT_EQ(sent.putMsgRecordFields, 0);
        EXPECT_EQ(sent.putMsgRecords, nullptr);
        EXPECT_FALSE(call.hasRecord("ZTPMR[]"));
        EXPECT_EQ(sent.responseRecords != nullptr, c.responseBytes != 0);
        if (c.responseBytes != 0) {
            EXPECT_EQ(call.record("ZTRR[]"), Bytes(c.responseBytes, 0));
            EXPECT_EQ(responseOf(rrs, 2), (Bytes{1, 2}));
        } else {
            EXPECT_EQ(getInt(element(rrs, 0), "completionCode"), -5);
        }
    }
}

TEST_F(Options, PutOptionsNoReadBackLeavesEveryObjectAsItWas) {
    jobjectArray pmrs = trackers(2);
    jobjectArray rrs = responses(2);
    jobject pmo = listOptions(kPutOptions, pmrs, rrs, ZTPMRF_MSG_ID | ZTPMRF_FEEDBACK);
    setBoolean(pmo, "noReadBack", true);
    setString(pmo, "resolvedQueueName", std::string("BEFORE"));
    setInt(pmo, "knownDestCount", -1);
    scriptListPut();
    ASSERT_EQ(putList(pmo).cc, 0);
    EXPECT_EQ(getString(pmo, "resolvedQueueName"), "BEFORE");
    EXPECT_EQ(getString(pmo, "resolvedQueueManagerName"), std::nullopt);
    EXPECT_EQ(getInt(pmo, "knownDestCount"), -1);
    EXPECT_EQ(getInt(pmo, "unknownDestCount"), 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(getBytes(element(pmrs, i), "messageId"),
                  pattern(10, static_cast<uint8_t>(0x10 * (i + 1))));
        EXPECT_EQ(getInt(element(pmrs, i), "feedback"), 100 + i);
        EXPECT_EQ(getInt(element(rrs, i), "completionCode"), -5);
    }
}

TEST_F(Options, ArraysShorterThanTheCountAreRefusedBeforeTheCall) {
    struct Case {
        int responses, trackers, fields;
        const char* logged;
    };
    for (Case c : {Case{2, 3, 0x1, "103 responseRecords"},
                   Case{3, 2, 0x1, "103 putMessageRecords"}}) {
        SCOPED_TRACE(c.logged);
        ztmctl::clearCalls();
        InternalException::clear();
        jobject pmo = listOptions(kCountedPutOptions, trackers(c.trackers),
                                  responses(c.responses), c.fields);
        setInt(pmo, "numResponseRecords", 3);
        Outcome o = putList(pmo);
        EXPECT_EQ(o.cc, 2);
        EXPECT_EQ(o.rc, 2195);
        EXPECT_EQ(ztmctl::callsOf("ZTPUT").size(), 0u);
        EXPECT_EQ(InternalException::logged(), std::vector<std::string>{c.logged});
    }
    // A null or empty array, or a null first element, is no array: the put goes ahead.
    for (int shape = 0; shape < 3; ++shape) {
        SCOPED_TRACE(shape);
        ztmctl::clearCalls();
        jobjectArray none = shape == 0   ? nullptr
                            : shape == 1 ? objectArray(kResponse, 0, [](int) { return nullptr; })
                                         : objectArray(kResponse, 3, [](int) { return nullptr; });
        jobject pmo = listOptions(kCountedPutOptions, trackers(3), none, 0x1);
        setInt(pmo, "numResponseRecords", 3);
        scriptListPut(0, 0);
        ASSERT_EQ(putList(pmo).cc, 0);
        ztmctl::RecordedCall call;
        ZTPMO sent = sentPmo(&call);
        EXPECT_EQ(sent.responseRecords, nullptr);
        EXPECT_EQ(call.record("ZTPMR[]").size(), 72u);
    }
}

TEST_F(Options, ResponseRecordClassWithoutReasonTurnsASuccessfulPutIntoAFailure) {
    // The class is loaded by a loader of its own, under the host's name.
    jobject file = newObject("java/io/File", "(Ljava/lang/String;)V", newString(ZT_ALT_JAR));
    jobject url = callObject(callObject(file, "toURI", "()Ljava/net/URI;"), "toURL",
                             "()Ljava/net/URL;");
    jobjectArray urls = env()->NewObjectArray(1, findClass("java/net/URL"), url);
    jobject loader = newObject("java/net/URLClassLoader",
                               "([Ljava/net/URL;Ljava/lang/ClassLoader;)V", urls,
                               static_cast<jobject>(nullptr));
    auto cls = static_cast<jclass>(callObject(loader, "loadClass",
                                              "(Ljava/lang/String;)Ljava/lang/Class;",
                                              newString("zt.messagesalt.PutOptions")));
    jobject pmo = env()->NewObject(cls, env()->GetMethodID(cls, "<init>", "(I)V"), 2);
    ASSERT_NE(pmo, nullptr);
    scriptListPut(0, 2);
    Outcome o = putList(pmo);
    EXPECT_EQ(ztmctl::callsOf("ZTPUT").size(), 1u);  // the put was made
    EXPECT_EQ(o.cc, 2);
    EXPECT_EQ(o.rc, 2195);
    EXPECT_EQ(o.pending, "java.lang.NoSuchFieldError");
    EXPECT_EQ(InternalException::logged(), std::vector<std::string>{"103 reason"});
}

TEST_F(Options, MixedRecordArraysUseEachElementsOwnClass) {
    // Identifiers of one class used on an object of another read and write
    // outside that object: each element goes through its own class's members.
    const Bytes own = pattern(10, 0xA0);
    const Bytes base = pattern(10, 0xB0);
    for (int s : {0, 1}) {
        SCOPED_TRACE(s == 0 ? "subclass first" : "record class first");
        LocalFrame frame;
        ztmctl::clearCalls();
        jobject hiding = newObject("zt/messages/HidingTracker", "([B[B)V", newByteArray(own),
                                   newByteArray(base));
        jobjectArray pmrs = objectArray(kTracker, 2, [&](int i) { return i == s ? hiding : tracker(i); });
        jobjectArray rrs = objectArray(kResponse, 2, [&](int i) {
            return i == s ? newObject("zt/messages/HidingResponse", "()V") : element(responses(1), 0);
        });
        jobject pmo = listOptions(kPutOptions, pmrs, rrs, ZTPMRF_MSG_ID | ZTPMRF_FEEDBACK);
        scriptListPut();
        ASSERT_EQ(putList(pmo).cc, 0);

        ztmctl::RecordedCall call;
        sentPmo(&call);
        const Bytes& sent = call.record("ZTPMR[]");
        ASSERT_EQ(sent.size(), 2 * kIdAndFeedback);
        const auto at = [&](int i) { return sent.begin() + i * kIdAndFeedback; };
        EXPECT_EQ(Bytes(at(s), at(s) + 10), own);
        jint feedback = 0;
        std::memcpy(&feedback, &*(at(s) + 24), 4);
        EXPECT_EQ(feedback, 555);
        EXPECT_EQ(Bytes(at(1 - s), at(1 - s) + 10),
                  pattern(10, static_cast<uint8_t>(0x10 * (2 - s))));

        // Back: the subclass's own fields, its hidden ones untouched.
        EXPECT_EQ(getBytes(hiding, "messageId"), pattern(24, static_cast<uint8_t>(0x80 + s)));
        EXPECT_EQ(getInt(hiding, "feedback"), 900 + s);
        EXPECT_EQ(byteArrayValue(static_cast<jbyteArray>(
                      callObject(hiding, "baseMessageId", "()[B"))),
                  base);
        EXPECT_EQ(callInt(hiding, "baseFeedback", "()I"), 444);
        EXPECT_EQ(getInt(element(pmrs, 1 - s), "feedback"), 900 + (1 - s));
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(responseOf(rrs, i), (Bytes{1, static_cast<uint8_t>(i)})) << i;
        }
        EXPECT_EQ(callInt(element(rrs, s), "baseCompletionCode", "()I"), -5);
        EXPECT_EQ(takePendingException(), "");
    }
}

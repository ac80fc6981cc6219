// The put, put-one and get verbs around the converters: what a get copies into
// the buffer, lengths that do not fit their arrays, converters that fail with
// the buffer taken, and local references over a long destination list.
#include "MessageTest.h"

using namespace zt::test;
using namespace msgtest;

namespace {

const Bytes kUntouched(120, 0x55);

// A get answer that fills the buffer (as far as the buffer length allows) and
// stamps a message identifier and a resolved queue name.
void scriptGet(int cc, int rc, int dataLength) {
    ztmctl::Answer a;
    a.compCode = cc;
    a.reason = rc;
    a.dataLength = dataLength;
    a.hook = [](void** args) {
        const ZTLONG length = *static_cast<ZTLONG*>(args[4]);
        auto* buffer = static_cast<uint8_t*>(args[5]);
        for (ZTLONG i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>(i);
        bytes(static_cast<ZTMD*>(args[2])->messageId, 24, pattern(24, 0xB0));
        text(static_cast<ZTGMO*>(args[3])->resolvedQueueName, 48, "Q1");
    };
    ztmctl::scriptNext("ZTGET", a);
}

Bytes expectBuffer(size_t copied) {
    Bytes b = kUntouched;
    for (size_t i = 0; i < copied; ++i) b[i] = static_cast<uint8_t>(i);
    return b;
}

class Verbs : public MessageTest {
protected:
    jobject md_ = nullptr;
    jobject gmo_ = nullptr;
    jbyteArray buffer_ = nullptr;
    jobject length_ = nullptr;

    Outcome getInto(jint bufferLength) {
        md_ = newObject(kDescriptor, "()V");
        gmo_ = newObject(kGetOptions, "()V");
        buffer_ = newByteArray(kUntouched);
        length_ = newPint(-7);
        return get(1, 1, md_, gmo_, bufferLength, buffer_, length_);
    }
};

}  // namespace

TEST_F(Verbs, GetOfALongerMessageAcceptedWithWarningCopiesOnlyTheBuffer) {
    scriptGet(1, ZTRC_TRUNCATED_MSG_ACCEPTED, 250);
    Outcome o = getInto(100);
    EXPECT_EQ(o.cc, 1);
    EXPECT_EQ(o.rc, ZTRC_TRUNCATED_MSG_ACCEPTED);
    EXPECT_EQ(ztmctl::callsOf("ZTGET").at(0).arg("bufferLength"), 100);
    EXPECT_EQ(byteArrayValue(buffer_), expectBuffer(100));
    EXPECT_EQ(pintValue(length_), 250);
    EXPECT_EQ(getBytes(md_, "messageId"), pattern(24, 0xB0));
    EXPECT_EQ(getString(gmo_, "resolvedQueueName"), "Q1");
}

TEST_F(Verbs, GetRefusedForAShortBufferCopiesNothing) {
    scriptGet(2, ZTRC_TRUNCATED_MSG_FAILED, 250);
    Outcome o = getInto(100);
    EXPECT_EQ(o.cc, 2);
    EXPECT_EQ(o.rc, ZTRC_TRUNCATED_MSG_FAILED);
    EXPECT_EQ(byteArrayValue(buffer_), kUntouched);  // what the call wrote is discarded
    EXPECT_EQ(pintValue(length_), -7);
    EXPECT_EQ(getBytes(md_, "messageId"), Bytes(24, 0));
    EXPECT_EQ(getString(gmo_, "resolvedQueueName"), std::nullopt);
    EXPECT_EQ(lastElementsTaken, lastElementsReleased);
}

TEST_F(Verbs, GetOfNoBytesCopiesNothingButWritesTheRest) {
    for (int dataLength : {0, -5}) {
        SCOPED_TRACE(dataLength);
        scriptGet(0, 0, dataLength);
        Outcome o = getInto(100);
        EXPECT_EQ(o.cc, 0);
        EXPECT_EQ(byteArrayValue(buffer_), kUntouched);
        EXPECT_EQ(pintValue(length_), dataLength);
        EXPECT_EQ(getBytes(md_, "messageId"), pattern(24, 0xB0));
        EXPECT_EQ(getString(gmo_, "resolvedQueueName"), "Q1");
    }
}

TEST_F(Verbs, LengthsThatDoNotFitTheArrayAreRefusedWithoutACall) {
    struct Case {
        jint length;
        bool nullArray;
    };
    for (Case c : {Case{-1, false}, Case{11, false}, Case{0, true}, Case{5, true}}) {
        LocalFrame round(64);
        SCOPED_TRACE(testing::Message() << c.length << (c.nullArray ? " null" : ""));
        jbyteArray data = c.nullArray ? nullptr : newByteArray(pattern(10, 1));
        jobject od = newObject("com/zel/zt/ZTObjectDescriptor", "(Ljava/lang/String;)V",
                               newString("Q1"));
        jobject length = newPint(-7);
        Outcome outcomes[] = {
            put(1, 1, newObject(kDescriptor, "()V"), newObject(kPutOptions, "()V"), c.length,
                data),
            put1(1, od, newObject(kDescriptor, "()V"), newObject(kPutOptions, "()V"), c.length,
                 data),
            get(1, 1, newObject(kDescriptor, "()V"), newObject(kGetOptions, "()V"), c.length,
                data, length),
        };
        for (const Outcome& o : outcomes) {
            EXPECT_EQ(o.cc, 2);
            EXPECT_EQ(o.rc, 2195);
            EXPECT_EQ(o.pending, "");
        }
        EXPECT_EQ(ztmctl::callCount(), 0u);
        EXPECT_EQ(pintValue(length), -7);
        if (data != nullptr) {
            EXPECT_EQ(byteArrayValue(data), pattern(10, 1));
        }
    }
}

TEST_F(Verbs, LengthsThatFitAreHandedOnAsTheyAre) {
    jbyteArray data = newByteArray(pattern(10, 1));
    for (jint length : {10, 3, 0}) {
        ztmctl::scriptNext("ZTPUT", ztmctl::Answer{});
        EXPECT_EQ(put(1, 1, newObject(kDescriptor, "()V"), newObject(kPutOptions, "()V"), length,
                      data)
                      .cc,
                  0);
    }
    ztmctl::scriptNext("ZTPUT", ztmctl::Answer{});
    EXPECT_EQ(put(1, 1, newObject(kDescriptor, "()V"), newObject(kPutOptions, "()V"), 0,
                  newByteArray({}))
                  .cc,
              0);
    auto puts = ztmctl::callsOf("ZTPUT");
    ASSERT_EQ(puts.size(), 4u);
    EXPECT_EQ(puts[0].arg("dataLength"), 10);
    EXPECT_EQ(puts[0].record("data"), pattern(10, 1));
    EXPECT_EQ(puts[1].arg("dataLength"), 3);
    EXPECT_EQ(puts[1].record("data"), pattern(3, 1));
    EXPECT_EQ(puts[2].arg("dataLength"), 0);
    EXPECT_EQ(puts[3].arg("dataLength"), 0);
    scriptGet(0, 0, 120);
    EXPECT_EQ(getInto(120).cc, 0);
    EXPECT_EQ(byteArrayValue(buffer_), expectBuffer(120));
}

TEST_F(Verbs, GetReleasesTheBufferWhenAConverterFailsAndTheArrayStaysUsable) {
    for (bool descriptorFails : {true, false}) {
        SCOPED_TRACE(descriptorFails ? "descriptor without correlationId" : "null get options");
        ztmctl::clearCalls();
        jbyteArray buffer = newByteArray(kUntouched);
        jobject md = descriptorFails ? newObject("zt/messages/NoCorrelationIdDescriptor", "()V")
                                     : newObject(kDescriptor, "()V");
        jobject gmo = descriptorFails ? newObject(kGetOptions, "()V") : nullptr;
        jobject length = newPint(-7);
        Outcome o = get(1, 1, md, gmo, 100, buffer, length);
        EXPECT_EQ(o.cc, 2);
        EXPECT_EQ(o.rc, 2195);
        EXPECT_EQ(o.pending, descriptorFails ? "java.lang.NoSuchFieldError" : "");
        EXPECT_EQ(ztmctl::callCount(), 0u);
        EXPECT_EQ(lastElementsReleased, lastElementsTaken);
        EXPECT_EQ(pintValue(length), -7);
        EXPECT_EQ(byteArrayValue(buffer), kUntouched);
        // Usable after: the next get fills it.
        scriptGet(0, 0, 4);
        EXPECT_EQ(get(1, 1, newObject(kDescriptor, "()V"), newObject(kGetOptions, "()V"), 100,
                      buffer, length)
                      .cc,
                  0);
        EXPECT_EQ(byteArrayValue(buffer), expectBuffer(4));
    }
}

TEST_F(Verbs, PutOneWithADescriptorLackingCorrelationIdIsNotMade) {
    jobject od = newObject("com/zel/zt/ZTObjectDescriptor", "(Ljava/lang/String;)V",
                           newString("Q1"));
    Outcome o = put1(1, od, newObject("zt/messages/NoCorrelationIdDescriptor", "()V"),
                     newObject(kPutOptions, "()V"), 1, newByteArray({1}));
    EXPECT_EQ(o.cc, 2);
    EXPECT_EQ(o.rc, 2195);
    EXPECT_EQ(o.pending, "java.lang.NoSuchFieldError");
    EXPECT_EQ(InternalException::logged(), std::vector<std::string>{"103 correlationId"});
    EXPECT_EQ(ztmctl::callCount(), 0u);
}

TEST_F(Verbs, TenThousandDestinationsKeepLocalReferencesBounded) {
    const int n = 10000;
    jobjectArray pmrs = objectArray(kTracker, n, [](int i) {
        jobject t = newObject(kTracker, "()V");
        setBytes(t, "messageId", pattern(24, static_cast<uint8_t>(i)));
        setBytes(t, "accountingToken", pattern(32, static_cast<uint8_t>(i)));
        return t;
    });
    jobjectArray rrs = objectArray(kResponse, n, [](int) { return newObject(kResponse, "()V"); });
    jobject pmo = newObject(kPutOptions, "(I)V", 2);
    setObject(pmo, "putMessageRecords", kTrackers, pmrs);
    setObject(pmo, "responseRecords", kResponses, rrs);
    setInt(pmo, "putMsgRecordFields", 0x1F);
    ztmctl::Answer a;
    a.hook = [](void** args) {
        auto* p = static_cast<ZTPMO*>(args[3]);
        for (int i = 0; i < n; ++i) p->responseRecords[i] = ZTRR{0, i};
        p->putMsgRecords[(n - 1) * ZTPMR_MAX_LENGTH] = 0xEE;  // last record's identifier
    };
    ztmctl::scriptNext("ZTPUT", a);
    Outcome o = put(1, 1, newObject(kDescriptor, "()V"), pmo, 1, newByteArray({1}));
    ASSERT_EQ(o.cc, 0);
    EXPECT_EQ(ztmctl::callsOf("ZTPUT").at(0).record("ZTPMR[]").size(),
              static_cast<size_t>(n) * ZTPMR_MAX_LENGTH);
    // Flat whatever the count: the records are walked in local frames of 32
    // elements, each with room for 256 references (what an element's fields
    // hold included).
    EXPECT_LE(lastMaxLocalRefs, 256);
    EXPECT_EQ(getInt(element(rrs, n - 1), "reason"), n - 1);
    Bytes last = pattern(24, static_cast<uint8_t>(n - 1));
    last[0] = 0xEE;
    EXPECT_EQ(getBytes(element(pmrs, n - 1), "messageId"), last);
}

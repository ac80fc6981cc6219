// XID conversion between Java objects and the native record, and the
// diagnostic print, with real Java objects.
#include <gtest/gtest.h>

#include "XaJvm.h"

using namespace zt::test;

namespace {

// A record whose every byte is 0xEE, lengths included, so that what the
// conversion did not write shows.
XID untouched()
{
    XID x;
    std::memset(&x, 0xEE, sizeof x);
    return x;
}

bool restIs(const XID& x, size_t from, uint8_t value)
{
    for (size_t i = from; i < XIDDATASIZE; ++i) {
        if (static_cast<uint8_t>(x.data[i]) != value) {
            return false;
        }
    }
    return true;
}

int toNative(JNIEnv* e, jobject xid, XID& x)
{
    int rc = -999;
    callNative([&] { rc = javaToCxid(e, xid, &x); });
    return rc;
}

// --- Java object to record ------------------------------------------------

TEST(XidToNative, FillsTheRecordFromAHostXidAndWritesNothingElse)
{
    jobject xid = newZTXid(7, {1, 2}, {3});
    XID x = untouched();
    int rc = 0;
    EXPECT_EQ(output([&] { rc = toNative(env(), xid, x); }), "");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(x.formatID, 7);
    EXPECT_EQ(x.gtrid_length, 2);
    EXPECT_EQ(x.bqual_length, 1);
    EXPECT_EQ(gtridOf(x), (Bytes{1, 2}));
    EXPECT_EQ(bqualOf(x), (Bytes{3}));
    EXPECT_TRUE(restIs(x, 3, 0xEE)) << "bytes past the two parts are not written";
}

TEST(XidToNative, TakesAnyClassWithTheThreeGettersUpTo64BytesAPart)
{
    Bytes g = pattern(64, 1);
    Bytes b = pattern(64, 0x80);
    jobject xid = newTestXid(-5, g, b);
    XID x = untouched();
    int rc = 0;
    EXPECT_EQ(output([&] { rc = toNative(env(), xid, x); }), "");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(x.formatID, -5);
    EXPECT_EQ(x.gtrid_length, 64);
    EXPECT_EQ(x.bqual_length, 64);
    EXPECT_EQ(gtridOf(x), g);
    EXPECT_EQ(bqualOf(x), b);
}

TEST(XidToNative, EmptyPartsAreAccepted)
{
    jobject xid = newTestXid(0, Bytes{}, Bytes{});
    XID x = untouched();
    EXPECT_EQ(output([&] { EXPECT_EQ(toNative(env(), xid, x), 0); }), "");
    EXPECT_EQ(x.formatID, 0);
    EXPECT_EQ(x.gtrid_length, 0);
    EXPECT_EQ(x.bqual_length, 0);
    EXPECT_TRUE(restIs(x, 0, 0xEE));
}

TEST(XidToNative, A65ByteGtridIsRefusedAndTheLengthsStayAsTheyWere)
{
    jobject xid = newTestXid(33, pattern(65, 1), Bytes{1});
    XID x = makeXid(1, pattern(9, 1), pattern(9, 1));
    int rc = 0;
    EXPECT_EQ(output([&] { rc = toNative(env(), xid, x); }), "gtrid too big (65)\n");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(x.formatID, 33) << "the format is stored before the gtrid is looked at";
    EXPECT_EQ(x.gtrid_length, 9);
    EXPECT_EQ(x.bqual_length, 9);
}

TEST(XidToNative, A65ByteBqualIsRefusedAfterTheGtridWasStored)
{
    jobject xid = newTestXid(34, Bytes{4, 5, 6}, pattern(65, 1));
    XID x = makeXid(1, pattern(9, 1), pattern(9, 1));
    int rc = 0;
    EXPECT_EQ(output([&] { rc = toNative(env(), xid, x); }), "bqual too big (65)\n");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(x.formatID, 34);
    EXPECT_EQ(x.gtrid_length, 3);
    EXPECT_EQ(gtridOf(x), (Bytes{4, 5, 6}));
    EXPECT_EQ(x.bqual_length, 9);
}

TEST(XidToNative, NullArraysAreRefused)
{
    XID x = untouched();
    jobject noGtrid = newTestXid(1, std::nullopt, Bytes{1});
    EXPECT_EQ(output([&] { EXPECT_EQ(toNative(env(), noGtrid, x), -1); }),
              "failed to get globalTransactionId from xid\n");
    jobject noBqual = newTestXid(1, Bytes{1}, std::nullopt);
    EXPECT_EQ(output([&] { EXPECT_EQ(toNative(env(), noBqual, x), -1); }),
              "failed to get branch qualifer from xid\n");
    EXPECT_EQ(takePendingException(), "");
}

TEST(XidToNative, AClassWithoutGetBranchQualifierLeavesThePartlyFilledRecord)
{
    jobject xid = newObject("xatest/XidWithoutBqual", "(I[B)V", 9, newByteArray({4, 5, 6}));
    XID x = untouched();
    int rc = 0;
    EXPECT_EQ(output([&] { rc = toNative(env(), xid, x); }),
              "failed to get methodID for xid.getBranchQualifier()\n");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchMethodError");
    EXPECT_EQ(x.formatID, 9);
    EXPECT_EQ(x.gtrid_length, 3);
    EXPECT_EQ(gtridOf(x), (Bytes{4, 5, 6}));
    EXPECT_EQ(x.bqual_length, untouched().bqual_length);
}

TEST(XidToNative, MissingOrThrowingGettersEachHaveTheirMessage)
{
    XID x = untouched();
    struct Case {
        jobject xid;
        std::string message;
        std::string exception;
    };
    jobject throwsFormat = newTestXid(1, Bytes{1}, Bytes{2});
    setBoolean(throwsFormat, "throwInGetFormatId", true);
    jobject throwsGtrid = newTestXid(1, Bytes{1}, Bytes{2});
    setBoolean(throwsGtrid, "throwInGetGtrid", true);
    jobject throwsBqual = newTestXid(1, Bytes{1}, Bytes{2});
    setBoolean(throwsBqual, "throwInGetBqual", true);
    const Case cases[] = {
        {newObject("xatest/XidWrongFormatType", "()V"),
         "failed to get methodID for xid.getFormatId()\n", "java.lang.NoSuchMethodError"},
        {newString("not an xid"), "failed to get methodID for xid.getFormatId()\n",
         "java.lang.NoSuchMethodError"},
        {throwsFormat, "call to getFormatId failed", "java.lang.IllegalStateException"},
        {newObject("xatest/XidWithoutGtrid", "()V"),
         "failed to get methodID for xid.getGlobalTransactionId()\n",
         "java.lang.NoSuchMethodError"},
        {throwsGtrid, "failed to get globalTransactionId from xid\n",
         "java.lang.IllegalStateException"},
        {throwsBqual, "failed to get branch qualifer from xid\n",
         "java.lang.IllegalStateException"},
    };
    for (const Case& c : cases) {
        int rc = 0;
        EXPECT_EQ(output([&] { rc = toNative(env(), c.xid, x); }), c.message);
        EXPECT_EQ(rc, -1) << c.message;
        EXPECT_EQ(takePendingException(), c.exception) << c.message;
    }
}

TEST(XidToNative, ArrayElementsNotAvailable)
{
    jobject xid = newZTXid(7, {1, 2}, {3});
    XID x = untouched();
    {
        JniProxy proxy;
        proxy.failCall(Fn::GetByteArrayElements, 1);
        EXPECT_EQ(output([&] { EXPECT_EQ(toNative(proxy.env(), xid, x), -1); }),
                  "failed to get array elements for gtrid\n");
        EXPECT_EQ(takePendingException(), "java.lang.OutOfMemoryError");
        EXPECT_EQ(proxy.count(Fn::ReleaseByteArrayElements), 0);
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }
    {
        JniProxy proxy;
        proxy.failCall(Fn::GetByteArrayElements, 2, 1, "");
        EXPECT_EQ(output([&] { EXPECT_EQ(toNative(proxy.env(), xid, x), -1); }),
                  "failed to get array elements for bqual\n");
        EXPECT_EQ(takePendingException(), "");
        EXPECT_EQ(proxy.count(Fn::ReleaseByteArrayElements), 1) << "the gtrid's were released";
        EXPECT_EQ(x.bqual_length, 1) << "the length is stored before the elements are taken";
    }
}

TEST(XidToNative, ANullObjectIsRefused)
{
    XID x = untouched();
    EXPECT_EQ(output([&] { EXPECT_EQ(toNative(env(), nullptr, x), -1); }),
              "failed to get class of xid (null)\n");
    EXPECT_TRUE(restIs(x, 0, 0xEE));
}

// --- record to Java object -----------------------------------------------

jobject toJava(JNIEnv* e, const XID& x, const std::function<void(jobject)>& check)
{
    jobject result = nullptr;
    callNative([&] {
        result = cXidToJava(e, x);
        check(result);
    });
    return result;
}

TEST(XidToJava, BuildsAHostZTXidThatConvertsBackToTheSameRecord)
{
    XID x = makeXid(7, {1, 2}, {3}, 0x55);
    std::string out = output([&] {
        toJava(env(), x, [&](jobject obj) {
            ASSERT_TRUE(isZTXid(obj));
            EXPECT_EQ(formatOf(obj), 7);
            EXPECT_EQ(gtridOf(obj), (Bytes{1, 2}));
            EXPECT_EQ(bqualOf(obj), (Bytes{3}));
            XID back = untouched();
            EXPECT_EQ(javaToCxid(env(), obj, &back), 0);
            EXPECT_TRUE(sameXid(back, x));
            EXPECT_EQ(gtridOf(back), (Bytes{1, 2}));
            EXPECT_EQ(bqualOf(back), (Bytes{3}));
        });
    });
    EXPECT_EQ(out, "");
}

TEST(XidToJava, EmptyAndFullPartsAndAnyFormat)
{
    toJava(env(), makeXid(0, {}, {}), [](jobject obj) {
        ASSERT_TRUE(isZTXid(obj));
        EXPECT_EQ(formatOf(obj), 0);
        EXPECT_TRUE(gtridOf(obj).empty());
        EXPECT_TRUE(bqualOf(obj).empty());
    });
    XID full = makeXid(-1, pattern(64, 0x90), pattern(64, 3));
    toJava(env(), full, [&](jobject obj) { EXPECT_TRUE(javaXidIs(obj, full)); });
}

TEST(XidToJava, LengthsOutsideTheRecordAreRefused)
{
    struct Case {
        long gtrid;
        long bqual;
        std::string message;
    };
    const Case cases[] = {
        {65, 1, "gtrid length out of range (65)\n"},
        {-1, 1, "gtrid length out of range (-1)\n"},
        {1, 65, "bqual length out of range (65)\n"},
        {64, -2, "bqual length out of range (-2)\n"},
    };
    for (const Case& c : cases) {
        XID x = makeXid(1, {1}, {2});
        x.gtrid_length = c.gtrid;
        x.bqual_length = c.bqual;
        EXPECT_EQ(output([&] { toJava(env(), x, [](jobject obj) { EXPECT_EQ(obj, nullptr); }); }),
                  c.message);
        EXPECT_EQ(takePendingException(), "") << c.message;
    }
}

TEST(XidToJava, JniFailuresGiveNullWithTheirMessageOrThePendingException)
{
    XID x = makeXid(7, {1, 2}, {3});
    struct Case {
        Fn fn;
        int nth;
        const char* error;  // "" raises nothing
        std::string message;
        std::string exception;
    };
    const Case cases[] = {
        {Fn::FindClass, 1, JniProxy::kDefaultError, "", "java.lang.NoClassDefFoundError"},
        {Fn::FindClass, 1, "", "failed to find ZTXid class\n", ""},
        {Fn::GetMethodID, 1, JniProxy::kDefaultError, "", "java.lang.NoSuchMethodError"},
        {Fn::GetMethodID, 1, "", "failed to get methodID for ZTXid constructor\n", ""},
        {Fn::NewByteArray, 1, JniProxy::kDefaultError, "failed to create byte array for gtrid\n",
         "java.lang.OutOfMemoryError"},
        {Fn::NewByteArray, 2, "", "failed to create byte array for bqual\n", ""},
        {Fn::SetByteArrayRegion, 1, "java/lang/ArrayIndexOutOfBoundsException", "",
         "java.lang.ArrayIndexOutOfBoundsException"},
        {Fn::SetByteArrayRegion, 2, "java/lang/ArrayIndexOutOfBoundsException", "",
         "java.lang.ArrayIndexOutOfBoundsException"},
        {Fn::NewObjectV, 1, "java/lang/OutOfMemoryError", "", "java.lang.OutOfMemoryError"},
        {Fn::NewObjectV, 1, "", "failed to create an instance of ZTXid\n", ""},
    };
    for (const Case& c : cases) {
        JniProxy proxy;
        proxy.failCall(c.fn, c.nth, 1, c.error);
        std::string out =
            output([&] { toJava(proxy.env(), x, [](jobject obj) { EXPECT_EQ(obj, nullptr); }); });
        EXPECT_EQ(out, c.message) << fnName(c.fn) << " #" << c.nth;
        EXPECT_EQ(takePendingException(), c.exception) << fnName(c.fn) << " #" << c.nth;
        EXPECT_EQ(proxy.failuresInjected(), 1);
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }
}

TEST(XidToJava, TheHostZTXidComparesByContentAndCopiesItsArrays)
{
    jbyteArray g = newByteArray({1, 2});
    jobject a = newObject("com/zel/zt/ZTXid", "(I[B[B)V", 7, g, newByteArray({0xab}));
    jobject b = newZTXid(7, {1, 2}, {0xab});
    jobject other = newZTXid(7, {1, 2}, {0xac});
    // Objects.equals(a, b) asks a.equals(b).
    auto equals = [](jobject x, jobject y) {
        return callStaticBoolean("java/util/Objects", "equals",
                                 "(Ljava/lang/Object;Ljava/lang/Object;)Z", x, y);
    };
    EXPECT_TRUE(equals(a, b));
    EXPECT_FALSE(equals(a, other));
    EXPECT_FALSE(equals(a, newString("x")));
    EXPECT_EQ(callInt(a, "hashCode", "()I"), callInt(b, "hashCode", "()I"));
    EXPECT_EQ(stringValue(static_cast<jstring>(callObject(a, "toString", "()Ljava/lang/String;"))),
              "ZTXid[formatId=7, gtrid=0102, bqual=ab]");
    // Changing the caller's array or the returned one changes nothing inside.
    jbyte nine = 9;
    env()->SetByteArrayRegion(g, 0, 1, &nine);
    env()->SetByteArrayRegion(static_cast<jbyteArray>(callObject(a, "getGlobalTransactionId", "()[B")),
                              1, 1, &nine);
    EXPECT_EQ(gtridOf(a), (Bytes{1, 2}));
}

// --- debugXid --------------------------------------------------------------

TEST(DebugXid, PrintsTheFormatThenEachPartOnALine)
{
    XID x = makeXid(7, {1, 2}, {3});
    EXPECT_EQ(capture(Streams::Stdout, [&] { debugXid(&x); }), "xid: format=7\n1 2 \n3 \n");
    EXPECT_EQ(output([&] { debugXid(&x); }), "xid: format=7\n1 2 \n3 \n") << "nothing on stderr";
}

TEST(DebugXid, BytesAreSignedWhenWidened)
{
    XID x = makeXid(-2, {0xab, 0x7f, 0x00, 0x80, 0xff}, {0x10, 0x05});
    EXPECT_EQ(capture(Streams::Stdout, [&] { debugXid(&x); }),
              "xid: format=-2\nffffffab 7f 0 ffffff80 ffffffff \n10 5 \n");
}

TEST(DebugXid, EmptyOrNegativeLengthsPrintOnlyTheLineEnds)
{
    XID x = makeXid(1, {}, {});
    EXPECT_EQ(capture(Streams::Stdout, [&] { debugXid(&x); }), "xid: format=1\n\n\n");
    x.gtrid_length = -3;
    x.bqual_length = -1;
    EXPECT_EQ(capture(Streams::Stdout, [&] { debugXid(&x); }), "xid: format=1\n\n\n");
}

TEST(DebugXid, LengthsBeyondTheRecordPrintOnlyItsBytes)
{
    XID x = makeXid(3, pattern(64, 1), pattern(64, 1));
    x.gtrid_length = 200;
    x.bqual_length = 5;
    std::string out = capture(Streams::Stdout, [&] { debugXid(&x); });
    std::string expected = "xid: format=3\n";
    for (int i = 0; i < 128; ++i) {
        char b[8];
        std::snprintf(b, sizeof b, "%x ", i < 64 ? i + 1 : i - 63);
        expected += b;
    }
    expected += "\n\n";
    EXPECT_EQ(out, expected);
}

}  // namespace

// The natives of com.zel.zt.server.ZTXAi with real Java objects: what each
// zstXA function receives through the switch, the codes coming back, the
// bridge's own failures and the recover write-back.
#include <gtest/gtest.h>

#include "XaJvm.h"

using namespace zt::test;

namespace {

const XidNative kStart = Java_com_zel_zt_server_ZTXAi_xa_1start_1N;
const XidNative kEnd = Java_com_zel_zt_server_ZTXAi_xa_1end_1N;
const XidNative kPrepare = Java_com_zel_zt_server_ZTXAi_xa_1prepare_1N;
const XidNative kCommit = Java_com_zel_zt_server_ZTXAi_xa_1commit_1N;
const XidNative kRollback = Java_com_zel_zt_server_ZTXAi_xa_1rollback_1N;

// One XID verb, called as the JVM would, in a native-sized frame.
jint verb(XidNative native, jobject xid, jint rmid, jint flags, JNIEnv* e = nullptr)
{
    return callXa([&] { return native(e != nullptr ? e : env(), xaClass(), xid, rmid, flags); });
}

class XaVerbs : public ::testing::Test {
protected:
    void SetUp() override { ztmctl::reset(); }
    void TearDown() override
    {
        zsxxAgentModel = 8;
        ztmctl::reset();
    }

    static jint open(JNIEnv* e, jstring name, jint rmid, jint flags)
    {
        return callXa([&] {
            return Java_com_zel_zt_server_ZTXAi_xa_1open_1N(e, xaClass(), name, rmid, flags);
        });
    }
    static jint close(JNIEnv* e, jstring name, jint rmid, jint flags)
    {
        return callXa([&] {
            return Java_com_zel_zt_server_ZTXAi_xa_1close_1N(e, xaClass(), name, rmid, flags);
        });
    }
    static jint recover(JNIEnv* e, jobjectArray xids, jint rmid, jint flags)
    {
        return callXa([&] {
            return Java_com_zel_zt_server_ZTXAi_xa_1recover_1N(e, xaClass(), xids, rmid, flags);
        });
    }

    // An Object[] of n distinct marker strings; a second array, markers_,
    // holds the same strings to compare with.
    jobjectArray markedArray(jsize n)
    {
        jclass object = findClass("java/lang/Object");
        jobjectArray a = env()->NewObjectArray(n, object, nullptr);
        markers_ = env()->NewObjectArray(n, object, nullptr);
        for (jsize i = 0; i < n; ++i) {
            jstring marker = newString("m" + std::to_string(i));
            env()->SetObjectArrayElement(a, i, marker);
            env()->SetObjectArrayElement(markers_, i, marker);
            deleteLocalRef(marker);
        }
        return a;
    }
    bool markerAt(jobjectArray a, jsize i)
    {
        jobject e = env()->GetObjectArrayElement(a, i);
        jobject marker = env()->GetObjectArrayElement(markers_, i);
        bool same = env()->IsSameObject(e, marker);
        env()->DeleteLocalRef(e);
        env()->DeleteLocalRef(marker);
        return same;
    }
    jobject element(jobjectArray a, jsize i) { return env()->GetObjectArrayElement(a, i); }

    // Prepared branches on rmid 1, through the switch as a TM would.
    void prepareBranches(const std::vector<XID>& xids)
    {
        char name[] = "QM1";
        ASSERT_EQ(ZTRMIOpen(name, 1, TMNOFLAGS), XA_OK);
        for (XID x : xids) {
            ASSERT_EQ(ZTRMIStart(&x, 1, TMNOFLAGS), XA_OK);
            ASSERT_EQ(ZTRMIEnd(&x, 1, TMSUCCESS), XA_OK);
            ASSERT_EQ(ZTRMIPrepare(&x, 1, TMNOFLAGS), XA_OK);
        }
        ztmctl::clearCalls();
    }

    // The next recover fills these records and returns result.
    static void scriptRecover(const std::vector<XID>& records, int result)
    {
        ztmctl::Answer a;
        a.returnValue = result;
        a.hook = [records](void** args) {
            XID* buffer = static_cast<XID*>(args[0]);
            const long count = *static_cast<long*>(args[1]);
            for (size_t i = 0; i < records.size() && static_cast<long>(i) < count; ++i) {
                buffer[i] = records[i];
            }
        };
        ztmctl::scriptNext("zstXARecover", a);
    }

    jobjectArray markers_ = nullptr;
};

// --- open and close ---------------------------------------------------------

TEST_F(XaVerbs, OpenReachesZstXAOpenWithTheNameTheAgentModelZeroAndOne)
{
    EXPECT_EQ(open(env(), newString("QM1"), 5, 0), XA_OK);
    auto call = onlyCall("zstXAOpen");
    EXPECT_EQ(recordedString(call, "openString"), std::string("QM1", 4));
    EXPECT_EQ(call.arg("rmid"), 5);
    EXPECT_EQ(call.arg("flags"), 0);
    EXPECT_EQ(call.arg("agentModel"), 8);
    EXPECT_EQ(call.arg("arg5"), 0);
    EXPECT_EQ(call.arg("arg6"), 1);

    zsxxAgentModel = 17;
    EXPECT_EQ(open(env(), newString("QM2"), 6, 0), XA_OK);
    auto opens = ztmctl::callsOf("zstXAOpen");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(recordedString(opens[1], "openString"), std::string("QM2", 4));
    EXPECT_EQ(opens[1].arg("agentModel"), 17) << "the value at the time of the call";
    EXPECT_EQ(opens[1].arg("arg5"), 0);
    EXPECT_EQ(opens[1].arg("arg6"), 1);
}

TEST_F(XaVerbs, TheNameGoesAsModifiedUtf8AndFlagsKeepTheirBits)
{
    // "A", U+0000, "B", U+00E9: modified UTF-8 writes the NUL as C0 80.
    const std::string name =
        "A\xc0\x80"
        "B\xc3\xa9";
    ztmctl::Answer ok;
    ok.returnValue = XA_OK;
    ztmctl::scriptNext("zstXAOpen", ok);
    ztmctl::scriptNext("zstXAClose", ok);
    EXPECT_EQ(open(env(), newString(name), -1, static_cast<jint>(0x80000000u)), XA_OK);
    EXPECT_EQ(close(env(), newString(name), 2, static_cast<jint>(TMJOIN)), XA_OK);
    auto o = onlyCall("zstXAOpen");
    EXPECT_EQ(recordedString(o, "openString"), name + std::string(1, '\0'));
    EXPECT_EQ(o.arg("rmid"), -1);
    EXPECT_EQ(o.arg("flags"), asFlags(0x80000000u)) << "a flags word, not a signed number";
    auto c = onlyCall("zstXAClose");
    EXPECT_EQ(recordedString(c, "closeString"), name + std::string(1, '\0'));
    EXPECT_EQ(c.arg("rmid"), 2);
    EXPECT_EQ(c.arg("flags"), asFlags(TMJOIN));
}

TEST_F(XaVerbs, OpenAndCloseReturnTheEntryCodeAndReleaseTheNameEvenOnFailure)
{
    for (int code : {XAER_RMERR, XAER_INVAL, XA_RETRY}) {
        ztmctl::Answer a;
        a.returnValue = code;
        ztmctl::scriptNext("zstXAOpen", a);
        ztmctl::scriptNext("zstXAClose", a);
        JniProxy proxy;
        EXPECT_EQ(open(proxy.env(), newString("QM1"), 1, 0), code);
        EXPECT_EQ(close(proxy.env(), newString("QM1"), 1, 0), code);
        EXPECT_EQ(proxy.count(Fn::GetStringUTFChars), 2);
        EXPECT_EQ(proxy.count(Fn::ReleaseStringUTFChars), 2);
    }
}

TEST_F(XaVerbs, ANameWhoseCharactersCannotBeHadIsRefused)
{
    JniProxy proxy;
    proxy.failCall(Fn::GetStringUTFChars, 1, 2);
    std::string out = output([&] {
        EXPECT_EQ(open(proxy.env(), newString("QM1"), 1, 0), -1);
        EXPECT_EQ(takePendingException(), "java.lang.OutOfMemoryError");
        EXPECT_EQ(close(proxy.env(), newString("QM1"), 1, 0), -1);
        EXPECT_EQ(takePendingException(), "java.lang.OutOfMemoryError");
    });
    EXPECT_EQ(out,
              "xa_open(): failed to get string from qmgrName\n"
              "xa_close(): failed to get string from qmgrName\n");
    EXPECT_EQ(proxy.count(Fn::ReleaseStringUTFChars), 0);
    EXPECT_EQ(ztmctl::callCount(), 0u) << "the switch is not called";
}

TEST_F(XaVerbs, ANullNameIsRefusedWithoutCallingTheSwitch)
{
    std::string out = output([&] {
        EXPECT_EQ(open(env(), nullptr, 1, 0), -1);
        EXPECT_EQ(close(env(), nullptr, 1, 0), -1);
    });
    EXPECT_EQ(out, "xa_open(): qmgrName is null\nxa_close(): qmgrName is null\n");
    EXPECT_EQ(ztmctl::callCount(), 0u);
}

// --- the six XID verbs ---------------------------------------------------------

TEST_F(XaVerbs, EachXidVerbHandsTheConvertedRecordRmidAndFlagsToItsFunction)
{
    const Bytes g = pattern(5, 1);
    const Bytes b = {9};
    const XID expected = makeXid(99, g, b);
    const uint32_t flags = 0x80000000u | TMSUCCESS;
    for (const XidVerb& v : xidVerbs()) {
        ztmctl::clearCalls();
        ztmctl::Answer ok;
        ok.returnValue = XA_OK;
        ztmctl::scriptNext(v.function, ok);
        jobject xid = newTestXid(99, g, b);
        std::string out =
            output([&] { EXPECT_EQ(verb(v.native, xid, 4, static_cast<jint>(flags)), XA_OK); });
        EXPECT_EQ(out, "") << v.verb;
        ASSERT_EQ(ztmctl::callCount(), 1u) << v.verb;
        auto call = ztmctl::call(0);
        EXPECT_EQ(call.function, v.function);
        EXPECT_TRUE(sameXid(call.recordAs<XID>("XID"), expected)) << v.verb;
        EXPECT_NE(call.pointer("xid"), nullptr);
        EXPECT_EQ(call.arg("rmid"), 4) << v.verb;
        EXPECT_EQ(call.arg("flags"), asFlags(flags)) << v.verb;
        if (std::string(v.function) == "zstXAStart") {
            EXPECT_EQ(call.arg("arg4"), 1);
        } else {
            EXPECT_FALSE(call.hasArg("arg4")) << v.verb;
        }
    }
}

TEST_F(XaVerbs, EachXidVerbReturnsTheEntryCodeUnchanged)
{
    jobject xid = newZTXid(1, {1}, {2});
    for (const XidVerb& v : xidVerbs()) {
        for (int code : {XA_RBROLLBACK, XA_HEURHAZ, XAER_NOTA, XAER_RMFAIL, -4711}) {
            ztmctl::Answer a;
            a.returnValue = code;
            ztmctl::scriptNext(v.function, a);
            EXPECT_EQ(verb(v.native, xid, 1, 0), code) << v.verb;
        }
    }
    // Unscripted, the resource manager answers: nothing is open.
    EXPECT_EQ(verb(kStart, xid, 1, 0), XAER_PROTO);
}

TEST_F(XaVerbs, A65ByteGtridIsRefusedWithBothMessagesInOrderAndNoCall)
{
    for (const XidVerb& v : xidVerbs()) {
        jobject xid = newZTXid(1, pattern(65, 1), {1});
        jint rc = 0;
        std::string out = output([&] { rc = verb(v.native, xid, 1, 0); });
        EXPECT_EQ(out, "gtrid too big (65)\n" + std::string(v.verb) + ": failed to convert xid\n");
        EXPECT_EQ(rc, -1) << v.verb;
    }
    jobject bigBqual = newZTXid(1, {1}, pattern(65, 1));
    std::string out = output([&] { EXPECT_EQ(verb(kEnd, bigBqual, 1, 0), -1); });
    EXPECT_EQ(out, "bqual too big (65)\nxa_end: failed to convert xid\n");
    EXPECT_EQ(ztmctl::callCount(), 0u) << "the switch is never called";
}

TEST_F(XaVerbs, A64ByteGtridAndBqualGoThrough)
{
    prepareBranches({});
    jobject xid = newZTXid(3, pattern(64, 1), pattern(64, 100));
    EXPECT_EQ(output([&] {
                  EXPECT_EQ(verb(kStart, xid, 1, 0), XA_OK);
                  EXPECT_EQ(verb(kEnd, xid, 1, TMSUCCESS), XA_OK);
                  EXPECT_EQ(verb(kRollback, xid, 1, 0), XA_OK);
              }),
              "");
    EXPECT_TRUE(sameXid(onlyCall("zstXAStart").recordAs<XID>("XID"),
                        makeXid(3, pattern(64, 1), pattern(64, 100))));
}

TEST_F(XaVerbs, ConversionFailuresPairTheConversionMessageWithTheVerbs)
{
    jobject throwsFormat = newTestXid(1, Bytes{1}, Bytes{2});
    setBoolean(throwsFormat, "throwInGetFormatId", true);
    std::string out = output([&] { EXPECT_EQ(verb(kCommit, throwsFormat, 1, 0), -1); });
    EXPECT_EQ(out, "call to getFormatId failedxa_commit: failed to convert xid\n");
    EXPECT_EQ(takePendingException(), "java.lang.IllegalStateException");

    jobject noBqual = newObject("xatest/XidWithoutBqual", "(I[B)V", 9, newByteArray({4, 5, 6}));
    out = output([&] { EXPECT_EQ(verb(kPrepare, noBqual, 1, 0), -1); });
    EXPECT_EQ(
        out,
        "failed to get methodID for xid.getBranchQualifier()\nxa_prepare: failed to convert xid\n");
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchMethodError");
    EXPECT_EQ(ztmctl::callCount(), 0u);
}

TEST_F(XaVerbs, ANullXidIsRefusedWithoutCallingTheSwitch)
{
    std::string expected;
    std::string out = output([&] {
        for (const XidVerb& v : xidVerbs()) {
            EXPECT_EQ(verb(v.native, nullptr, 1, 0), -1) << v.verb;
            expected += std::string(v.verb) + ": xid is null\n";
        }
    });
    EXPECT_EQ(out, expected);
    EXPECT_EQ(ztmctl::callCount(), 0u);
}

TEST_F(XaVerbs, AnExceptionPendingAfterTheConversionStopsTheVerbSilently)
{
    jobject xid = newZTXid(1, {1}, {2});
    JniProxy proxy;
    int releases = 0;
    // The second release ends the conversion; an exception raised there is
    // pending when the conversion reports success.
    proxy.before(Fn::ReleaseByteArrayElements, [&] {
        if (++releases == 2) {
            JNIEnv* e = proxy.real();
            e->ThrowNew(e->FindClass("java/lang/IllegalStateException"), "late");
        }
    });
    std::string out = output([&] { EXPECT_EQ(verb(kRollback, xid, 1, 0, proxy.env()), -1); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(takePendingException(), "java.lang.IllegalStateException");
    EXPECT_EQ(ztmctl::callCount(), 0u);
}

// --- recover ---------------------------------------------------------------------

TEST_F(XaVerbs, RecoverSetsAsManyElementsAsItFoundAndLeavesTheRest)
{
    const std::vector<XID> doubt = {branchXid(1), branchXid(2), branchXid(3, 7)};
    prepareBranches(doubt);
    jobjectArray xids = markedArray(10);
    EXPECT_EQ(output([&] { EXPECT_EQ(recover(env(), xids, 1, TMSTARTRSCAN | TMENDRSCAN), 3); }),
              "");
    for (jsize i = 0; i < 3; ++i) {
        EXPECT_TRUE(javaXidIs(element(xids, i), doubt[static_cast<size_t>(i)])) << i;
    }
    for (jsize i = 3; i < 10; ++i) {
        EXPECT_TRUE(markerAt(xids, i)) << i;
    }
    auto call = onlyCall("zstXARecover");
    EXPECT_EQ(call.arg("count"), 10);
    EXPECT_EQ(call.arg("rmid"), 1);
    EXPECT_EQ(call.arg("flags"), asFlags(TMSTARTRSCAN | TMENDRSCAN));
    EXPECT_NE(call.pointer("xids"), nullptr);
}

TEST_F(XaVerbs, RecoverResultsOfZeroOrBelowLeaveTheArrayAlone)
{
    const std::vector<XID> records = {branchXid(1), branchXid(2)};
    for (int result : {0, XAER_RMERR, XAER_PROTO}) {
        scriptRecover(records, result);
        jobjectArray xids = markedArray(4);
        EXPECT_EQ(recover(env(), xids, 1, TMSTARTRSCAN), result);
        for (jsize i = 0; i < 4; ++i) {
            EXPECT_TRUE(markerAt(xids, i)) << result << " " << i;
        }
    }
}

TEST_F(XaVerbs, ARecoverResultAboveTheCountIsLimitedToTheCount)
{
    const std::vector<XID> records = {branchXid(1), branchXid(2)};
    scriptRecover(records, 5);
    jobjectArray xids = markedArray(2);
    EXPECT_EQ(recover(env(), xids, 1, TMSTARTRSCAN), 2);
    EXPECT_TRUE(javaXidIs(element(xids, 0), records[0]));
    EXPECT_TRUE(javaXidIs(element(xids, 1), records[1]));
}

TEST_F(XaVerbs, AnEmptyArrayAsksTheQueueManagerWithCountZero)
{
    prepareBranches({branchXid(1)});
    jobjectArray xids = markedArray(0);
    EXPECT_EQ(output([&] { EXPECT_EQ(recover(env(), xids, 1, TMSTARTRSCAN | TMENDRSCAN), 0); }),
              "");
    auto call = onlyCall("zstXARecover");
    EXPECT_EQ(call.arg("count"), 0);
    EXPECT_NE(call.pointer("xids"), nullptr);
}

TEST_F(XaVerbs, ARecordThatCannotBecomeAZTXidFailsTheRecover)
{
    // A transaction manager must never take an element it was not handed for
    // a branch in doubt: a recover that cannot hand back all it reports fails.
    for (long badLength : {70L, -1L}) {
        SCOPED_TRACE(badLength);
        std::vector<XID> records = {branchXid(1), branchXid(2), branchXid(3)};
        records[1].gtrid_length = badLength;
        scriptRecover(records, 3);
        jobjectArray xids = markedArray(5);
        jint rc = 0;
        std::string out = output([&] { rc = recover(env(), xids, 1, TMSTARTRSCAN); });
        EXPECT_EQ(out, "gtrid length out of range (" + std::to_string(badLength) +
                           ")\nfailed to create java xid\n");
        EXPECT_EQ(rc, XAER_RMERR);
        EXPECT_TRUE(javaXidIs(element(xids, 0), records[0]));
        for (jsize i = 1; i < 5; ++i) {
            EXPECT_TRUE(markerAt(xids, i)) << i;
        }
        EXPECT_EQ(takePendingException(), "");
    }
}

TEST_F(XaVerbs, ARecoverWithoutTheXidClassFailsWithTheJvmsError)
{
    const std::vector<XID> records = {branchXid(1), branchXid(2)};
    scriptRecover(records, 2);
    jobjectArray xids = markedArray(2);
    JniProxy proxy;
    // Once a recover has kept the class, it is found by name again only if
    // the kept one is gone: both are made to happen.
    proxy.failCall(Fn::NewLocalRef, 1, 1, "");
    proxy.failCall(Fn::FindClass, 1);
    jint rc = 0;
    callNative([&] { rc = recover(proxy.env(), xids, 1, TMSTARTRSCAN); });
    EXPECT_EQ(rc, XAER_RMERR);
    EXPECT_EQ(takePendingException(), "java.lang.NoClassDefFoundError");
    EXPECT_TRUE(markerAt(xids, 0));
    EXPECT_TRUE(markerAt(xids, 1));
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
}

TEST_F(XaVerbs, AnArrayThatRefusesZTXidEndsRecoverWithTheException)
{
    prepareBranches({branchXid(1), branchXid(2)});
    jobjectArray strings = env()->NewObjectArray(3, findClass("java/lang/String"), nullptr);
    jobject keep = newString("keep");
    env()->SetObjectArrayElement(strings, 0, keep);
    EXPECT_EQ(output([&] { EXPECT_EQ(recover(env(), strings, 1, TMSTARTRSCAN | TMENDRSCAN), -1); }),
              "");
    EXPECT_EQ(takePendingException(), "java.lang.ArrayStoreException");
    jobject first = element(strings, 0);
    EXPECT_TRUE(env()->IsSameObject(first, keep));
}

TEST_F(XaVerbs, ANullArrayIsRefusedWithoutCallingTheSwitch)
{
    EXPECT_EQ(output([&] { EXPECT_EQ(recover(env(), nullptr, 1, TMSTARTRSCAN), -1); }),
              "xa_recover: xids is null\n");
    EXPECT_EQ(ztmctl::callCount(), 0u);
}

TEST_F(XaVerbs, ALongRecoverSetsEveryElementInOrder)
{
    std::vector<XID> doubt;
    for (int i = 0; i < 200; ++i) {
        doubt.push_back(branchXid(i));
    }
    prepareBranches(doubt);
    jobjectArray xids = markedArray(200);
    EXPECT_EQ(recover(env(), xids, 1, TMSTARTRSCAN | TMENDRSCAN), 200);
    for (jsize i = 0; i < 200; ++i) {
        LocalFrame round(16);
        EXPECT_TRUE(javaXidIs(element(xids, i), doubt[static_cast<size_t>(i)])) << i;
    }
}

// --- through the JVM's own binding of the natives ------------------------------------

TEST_F(XaVerbs, AJavaTransactionManagerDrivesBranchesThroughTheHostClass)
{
    // Loaded from a class of the application class loader, as the host
    // would: the JVM then binds ZTXAi's natives by their symbol names.
    callStaticVoid("xatest/Loader", "load", "(Ljava/lang/String;)V", newString(XABRIDGE_PATH));
    const char* cls = "com/zel/zt/server/ZTXAi";
    const char* xidSig = "(Ljava/lang/Object;II)I";
    jstring qm = newString("QM1");
    jobject done = newZTXid(0x1234, {1, 2, 3}, {1});
    jobject undone = newZTXid(0x1234, {4, 5, 6}, {1});
    jobject doubt = newZTXid(0x1234, {7, 8, 9}, {2});
    EXPECT_EQ(callStaticInt(cls, "xa_open_N", "(Ljava/lang/String;II)I", qm, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_start_N", xidSig, done, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_end_N", xidSig, done, 3, static_cast<jint>(TMSUCCESS)), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_prepare_N", xidSig, done, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_commit_N", xidSig, done, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_commit_N", xidSig, done, 3, 0), XAER_NOTA);
    EXPECT_EQ(callStaticInt(cls, "xa_start_N", xidSig, undone, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_end_N", xidSig, undone, 3, static_cast<jint>(TMFAIL)), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_rollback_N", xidSig, undone, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_start_N", xidSig, doubt, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_end_N", xidSig, doubt, 3, static_cast<jint>(TMSUCCESS)),
              XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_prepare_N", xidSig, doubt, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_forget_N", xidSig, doubt, 3, 0), XAER_PROTO);

    jobjectArray found = env()->NewObjectArray(4, findClass("com/zel/zt/ZTXid"), nullptr);
    EXPECT_EQ(callStaticInt(cls, "xa_recover_N", "([Ljava/lang/Object;II)I", found, 3,
                            static_cast<jint>(TMSTARTRSCAN | TMENDRSCAN)),
              1);
    jobject listed = element(found, 0);
    EXPECT_TRUE(callStaticBoolean("java/util/Objects", "equals",
                                  "(Ljava/lang/Object;Ljava/lang/Object;)Z", listed, doubt))
        << "ZTXid.equals: the same identifier";
    EXPECT_EQ(element(found, 1), nullptr);
    EXPECT_EQ(callStaticInt(cls, "xa_commit_N", xidSig, listed, 3, 0), XA_OK);
    EXPECT_EQ(callStaticInt(cls, "xa_close_N", "(Ljava/lang/String;II)I", qm, 3, 0), XA_OK);
    EXPECT_EQ(ztmctl::callsOf("zstXAStart").size(), 3u);
    EXPECT_EQ(ztmctl::callsOf("zstXAOpen").at(0).arg("agentModel"), 8);
}

}  // namespace

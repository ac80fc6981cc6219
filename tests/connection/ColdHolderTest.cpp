// The holder class is looked up by the first verb that binds a holder and then
// kept for the library's life, so a failing lookup can only be seen before
// that. This runs in a process of its own in which no verb has bound a holder
// yet; nothing here may run a verb through the real environment first.
#include "ConnTest.h"
#include "com_zel_zt_server_ZTSESSION.h"
#include "ztm.h"

using namespace zt::test;
using namespace conntest;

namespace {

Holders holders(int hconn) {
    return {newPint(hconn), newPint(-1), newPint(-1)};
}

std::vector<int> values(const Holders& h) {
    return {pintValue(h.hconn), pintValue(h.cc), pintValue(h.rc)};
}

// A holder class the JVM cannot find (probe 102): every verb, whichever comes
// first, its binding or its trace scope, looks "x" up again and reports
// 2/2195, so the caller never reads a stale success. No queue manager call, no
// C++ exception out of the native, and the JVM's error reaches the host.
TEST(ColdHolder, AMissingHolderClassEndsEveryVerbCleanlyUntilItIsFound) {
    ztmctl::reset();
    Trace::setOn(false);
    // The trace cache filled by the one native that binds no holder.
    callNative([] {
        Java_com_zel_zt_server_ZTSESSION__1ZTINQ__IIIILcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2(
            env(), nullptr, 0, 0, 0, 0, nullptr, nullptr);
    });
    // A connection made on the queue manager directly: a verb would bind.
    char name[ZT_QMGR_NAME_LENGTH] = {};
    ZTCNO cno = {{'C', 'N', 'O', ' '}, 1, 0};
    ZTLONG connected = 0, ccz = -1, rcz = -1;
    ZTCONNX(name, &cno, &connected, &ccz, &rcz);
    ASSERT_EQ(ccz, ZTCC_OK);
    const jint hconn = static_cast<jint>(connected);
    for (const VerbCall& verb : allVerbs()) {
        SCOPED_TRACE(verb.name);
        LocalFrame frame(16);
        ztmctl::clearCalls();
        InternalException::clear();
        Holders h = holders(hconn);
        jstring qmgr = newString("QM1");
        JniProxy proxy;
        proxy.failCall(Fn::FindClass, 1, 1);
        jint result = -1;
        callNative([&] { result = verb.call(proxy.env(), h, hconn, qmgr); });
        EXPECT_EQ(values(h), std::vector<int>({hconn, 2, 2195}));
        EXPECT_EQ(result, 0);
        EXPECT_EQ(InternalException::logged(), Lines({"102 com/zel/zt/Pint"}));
        EXPECT_EQ(ztmctl::callCount(), 0u);
        EXPECT_EQ(takePendingException(), "java.lang.NoClassDefFoundError");
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }
    EXPECT_TRUE(ztmctl::isLiveConnection(hconn));

    // Neither the holder class nor the logger to be found: nothing written,
    // nothing logged, still a normal return.
    {
        Holders h = holders(hconn);
        JniProxy proxy;
        proxy.failCall(Fn::FindClass, 1, -1);
        InternalException::clear();
        callNative([&] { verbNamed("_ZTCMIT").call(proxy.env(), h, hconn, nullptr); });
        EXPECT_EQ(takePendingException(), "java.lang.NoClassDefFoundError");
        EXPECT_EQ(values(h), std::vector<int>({hconn, -1, -1}));
        EXPECT_TRUE(InternalException::logged().empty());
        EXPECT_TRUE(proxy.misuse().empty());
    }

    // Found once, the class is kept: no later call looks it up again.
    {
        Holders h = holders(hconn);
        callNative([&] { verbNamed("_ZTCMIT").call(env(), h, hconn, nullptr); });
        EXPECT_EQ(values(h), std::vector<int>({hconn, 0, 0}));
        Holders later = holders(hconn);
        JniProxy proxy;
        proxy.failCall(Fn::FindClass, 1, -1);
        callNative([&] { verbNamed("_ZTCMIT").call(proxy.env(), later, hconn, nullptr); });
        EXPECT_EQ(proxy.count(Fn::FindClass), 0);
        EXPECT_EQ(values(later), std::vector<int>({hconn, 0, 0}));
        EXPECT_EQ(takePendingException(), "");
    }
    ztmctl::reset();
}

}  // namespace

// Runs where the host trace class cannot be used: built twice, once with a
// class path that lacks it (probe 102) and once with a trace class that lacks
// "isOn" (probe 104). Every native that builds a trace scope fails the same
// way on every call, and still returns normally.
#include "ConnTest.h"

#include "NativeUtil.h"

#ifndef ZT_EXPECT_LOGGED
#error "ZT_EXPECT_LOGGED (probe and message) must be defined"
#endif
#ifndef ZT_EXPECT_THROWN
#error "ZT_EXPECT_THROWN (the JVM's error) must be defined"
#endif

using namespace zt::test;
using namespace conntest;

TEST(MissingTrace, EveryScopeFailsEachTimeAndNoVerbCallsTheQueueManager) {
    ztmctl::reset();
    for (int round = 1; round <= 2; ++round) {
        for (const VerbCall& verb : allVerbs()) {
            SCOPED_TRACE(verb.name + " round " + std::to_string(round));
            LocalFrame frame(16);
            InternalException::clear();
            Holders h = {newPint(77), newPint(-1), newPint(-1)};
            jstring qmgr = newString("QM1");
            JniProxy proxy;
            jint result = -1;
            callNative([&] { result = verb.call(proxy.env(), h, 0, qmgr); });
            // Whether the holder binding or the trace scope fails first, the
            // verb reports 2/2195 and leaves the handle alone.
            EXPECT_EQ(std::vector<int>({pintValue(h.hconn), pintValue(h.cc), pintValue(h.rc)}),
                      std::vector<int>({77, 2, 2195}));
            EXPECT_EQ(result, 0);
            EXPECT_EQ(InternalException::logged(), std::vector<std::string>({ZT_EXPECT_LOGGED}));
            EXPECT_EQ(takePendingException(), ZT_EXPECT_THROWN);
            EXPECT_EQ(ztmctl::callCount(), 0u);
            EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
        }
    }

    // The helpers open scopes too.
    InternalException::clear();
    jobject holder = newPint(3);
    EXPECT_TRUE(raisesNativeError(env(), [&] { GetIntField(env(), holder, nullptr); }));
    EXPECT_EQ(InternalException::logged(), std::vector<std::string>({ZT_EXPECT_LOGGED}));
    EXPECT_EQ(takePendingException(), ZT_EXPECT_THROWN);

    // A native without a scope is unaffected.
    jint converted = -1;
    callNative([&] { converted = Java_com_zel_zt_server_ZTSESSION_init_1conversion(env(), kSession); });
    EXPECT_EQ(converted, 1);
}

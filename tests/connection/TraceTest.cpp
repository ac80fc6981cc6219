// The trace bridge seen from the host: what each verb writes, in which order
// (which also shows each verb's frame shape), and what tracing off costs.
#include "ConnTest.h"

#include "NativeUtil.h"

using namespace zt::test;
using namespace conntest;

namespace {

using TraceBridge = ConnectionTest;

std::string entry(const std::string& method) { return "entry " + std::string(kSessionClass) + " " + method; }
std::string exit_(const std::string& method) { return "exit " + std::string(kSessionClass) + " " + method; }
const std::string kPintEntry = "entry NativePint NativePint";
const std::string kPintExit = "exit NativePint NativePint";

jint connect() {
    Holders h = ConnectionTest::holders(0);
    callNative([&] { verbNamed("_ZTCONN").call(env(), h, 0, newString("QM1")); });
    return pintValue(h.hconn);
}

}  // namespace

TEST_F(TraceBridge, WithTracingOffAVerbAsksTheHostOnlyIsOn) {
    const jint hconn = connect();
    for (const VerbCall& verb : allVerbs()) {
        SCOPED_TRACE(verb.name);
        LocalFrame frame(16);
        // _ZTDISC ends a connection of its own.
        const jint handle = verb.name == "_ZTDISC" ? connect() : hconn;
        Holders h = holders(handle);
        jstring name = newString("QM1");
        JniProxy proxy;
        callNative([&] { verb.call(proxy.env(), h, handle, name); });
        // _honourPVXInternal does not refresh the flag.
        EXPECT_EQ(proxy.count(Fn::CallStaticBooleanMethod), verb.name == "_honourPVXInternal" ? 0 : 1);
        EXPECT_EQ(proxy.count(Fn::CallStaticVoidMethod), 0);
        EXPECT_EQ(proxy.count(Fn::NewStringUTF), 0);
        EXPECT_EQ(pintValue(h.cc), 0) << "the verb did its work";
        EXPECT_TRUE(proxy.misuse().empty());
    }
    EXPECT_TRUE(Trace::lines().empty());
}

TEST_F(TraceBridge, TheFlagChangesAtTheNextVerbOnly) {
    Holders h = holders();
    JniProxy proxy;
    // Switched on in the host while the first verb runs: that verb keeps the
    // value it read at its start.
    proxy.before(Fn::SetIntField, [] { Trace::setOn(true); });
    callNative([&] { verbNamed("_ZTCMIT").call(proxy.env(), h, 0, nullptr); });
    EXPECT_TRUE(Trace::lines().empty());

    callNative([&] { verbNamed("_ZTCMIT").call(env(), h, 0, nullptr); });
    Lines l = Trace::lines();
    ASSERT_FALSE(l.empty());
    EXPECT_EQ(l.front(), entry("_ZTCMIT"));

    // Helpers and converters never ask the host: they follow the last verb.
    Trace::setOn(false);
    Trace::clear();
    proxy.resetCounts();
    asNative([&] { GetIntField(proxy.env(), h.cc, nullptr); });
    EXPECT_EQ(Trace::lines(), Lines({"trace2 GetIntField Int field: 0"}));
    EXPECT_EQ(proxy.count(Fn::CallStaticBooleanMethod), 0);
}

TEST_F(TraceBridge, EachVerbWritesItsLinesInItsFrameOrder) {
    const jint hconn = connect();
    setTracing(true);
    const std::string name = "QM1";
    struct Expected {
        const char* verb;
        Lines lines;
    };
    const Expected expected[] = {
        {"_ZTCONN",
         {kPintEntry, kPintExit, entry("_ZTCONN"), "trace2 _ZTCONN Queue manager:", "trace2 _ZTCONN QM1",
          "trace2 _ZTCONN CompCode:  0", "trace2 _ZTCONN Reason: 0", exit_("_ZTCONN")}},
        {"_ZTCONNX",
         {kPintEntry, kPintExit, entry("_ZTCONNX"), "trace2 _ZTCONNX QueueManager:", "trace2 _ZTCONNX QM1",
          "trace2 _ZTCONNX CompCode is  0", "trace2 _ZTCONNX Reason: 0", exit_("_ZTCONNX")}},
        {"_spiConnect",
         {kPintEntry, kPintExit, entry("_spiConnect"), "trace2 _spiConnect QueueManager:",
          "trace2 _spiConnect QM1", "trace2 _spiConnect options: 0",
          "trace2 _spiConnect Attempting to connect for SPI", "trace2 _spiConnect CompCode is  0",
          "trace2 _spiConnect Reason:  0", exit_("_spiConnect")}},
        {"_ZTBEGIN",
         {kPintEntry, kPintExit, entry("_ZTBEGIN"), "trace2 _ZTBEGIN CompCode:  0", "trace2 _ZTBEGIN Reason: 0",
          exit_("_ZTBEGIN")}},
        {"_ZTCMIT", {entry("_ZTCMIT"), kPintEntry, kPintExit, exit_("_ZTCMIT")}},
        {"_ZTBACK", {entry("_ZTBACK"), kPintEntry, kPintExit, exit_("_ZTBACK")}},
        {"_ZTDISC",
         {entry("_ZTDISC"), kPintEntry, kPintExit, "trace2 _ZTDISC CompCode:  0", "trace2 _ZTDISC Reason: 0",
          exit_("_ZTDISC")}},
        {"_honourPVXInternal",
         {kPintEntry, kPintExit,
          "trace2 _honourPVXInternal This should never be called outside Lumenvale Zenthra"}},
    };
    for (const Expected& x : expected) {
        SCOPED_TRACE(x.verb);
        LocalFrame frame(16);
        Holders h = holders(hconn);
        jstring qmgr = newString(name);
        Trace::clear();
        JniProxy proxy;
        callNative([&] { verbNamed(x.verb).call(proxy.env(), h, hconn, qmgr); });
        EXPECT_EQ(pintValue(h.cc), 0);
        EXPECT_EQ(Trace::lines(), x.lines);
        // The strings of a line end with it: a long trace does not pile up references.
        EXPECT_LE(proxy.maxLocalRefs(), 3);
    }
}

TEST_F(TraceBridge, SpiFallbackTracesBothAttempts) {
    ztmctl::setSpiConnectAvailable(false);
    setTracing(true);
    Holders h = holders();
    jstring qmgr = newString("QM1");
    jint result = -1;
    callNative([&] {
        result = Java_com_zel_zt_server_ZTSESSION__1spiConnect(env(), kSession, qmgr, 3, h.hconn, h.cc, h.rc);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Trace::lines(),
              Lines({kPintEntry, kPintExit, entry("_spiConnect"), "trace2 _spiConnect QueueManager:",
                     "trace2 _spiConnect QM1", "trace2 _spiConnect options: 3",
                     "trace2 _spiConnect Attempting to connect for SPI", "trace2 _spiConnect CompCode is  2",
                     "trace2 _spiConnect Reason:  2195", "trace2 _spiConnect Attempting to connect using ZTCONNX instead",
                     "trace2 _spiConnect CompCode is  0", "trace2 _spiConnect Reason:  0", exit_("_spiConnect")}));
}

TEST_F(TraceBridge, AHostTraceMethodThatThrowsDoesNotStopTheVerb) {
    setTracing(true);
    Holders h = holders(0);
    jstring qmgr = newString("QM1");
    JniProxy proxy;
    // The third line the host is given (the verb's entry line) throws.
    proxy.failCall(Fn::CallStaticVoidMethod, 3, 1, "java/lang/IllegalStateException");
    callNative([&] { verbNamed("_ZTCONN").call(proxy.env(), h, 0, qmgr); });
    EXPECT_EQ(takePendingException(), "java.lang.IllegalStateException");
    EXPECT_EQ(pintValue(h.cc), 0);
    EXPECT_TRUE(ztmctl::isLiveConnection(pintValue(h.hconn)));
    EXPECT_EQ(Trace::lines().back(), exit_("_ZTCONN"));
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
}

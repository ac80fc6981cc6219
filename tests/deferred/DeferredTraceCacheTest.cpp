// libdeferbridge keeps a trace cache of its own. This runs in a process of its
// own, so that the order of first uses is known: libsessbridge fills its cache
// first, and libdeferbridge must still look the host trace class up itself on
// its own first use (and only then).
#include "MessageObjects.h"

using namespace zt::test;
using namespace msgtest;

namespace {

// Trace lookups of one verb call: the class, then "isOn" and the four
// output methods, all through this call's environment.
struct Lookups {
    long findClass;
    long staticMethods;
};

Lookups sessionPut() {
    JniProxy proxy;
    ztmctl::scriptNext("ZTPUT", answer(0, 0));
    Holders h;
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTPUTMSG2(proxy.env(), nullptr, 1, 2, newMessage(),
                                                     putOptionsObject(0), 1, newByteArray({1}),
                                                     h.cc, h.rc);
    });
    EXPECT_EQ(h.compCode(), 0);
    return {proxy.count(Fn::FindClass), proxy.count(Fn::GetStaticMethodID)};
}

Lookups deferredActivate(JniProxy& proxy, const Holders& h) {
    ztmctl::scriptNext("lpiSPIActivateMessage", answer(0, 0));
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1spiDefActivate(proxy.env(), nullptr, 1,
                                                          newByteArray(Bytes(24, 3)), h.cc, h.rc);
    });
    return {proxy.count(Fn::FindClass), proxy.count(Fn::GetStaticMethodID)};
}

}  // namespace

TEST(DeferredTraceCache, FilledOnTheDeferredLibrarysOwnFirstUse) {
    ztmctl::reset();
    Trace::setOn(true);
    Trace::clear();
    InternalException::clear();

    // The session library first: it fills its own cache once.
    const Lookups firstSession = sessionPut();
    EXPECT_EQ(firstSession.staticMethods, 5) << "isOn, entry, exit and the two trace methods";
    const Lookups laterSession = sessionPut();
    EXPECT_EQ(laterSession.staticMethods, 0);
    EXPECT_EQ(firstSession.findClass, 2) << "the trace class and the holder class";
    EXPECT_EQ(laterSession.findClass, 0);

    // The deferred library's first use still asks the JVM for the trace class:
    // when that lookup fails, it is the trace class it reports.
    {
        JniProxy proxy;
        proxy.failCall(Fn::FindClass, 1);
        Holders h;
        deferredActivate(proxy, h);
        EXPECT_EQ(takePendingException(), "java.lang.NoClassDefFoundError");
        EXPECT_EQ(InternalException::logged(),
                  std::vector<std::string>{"102 com/zel/ztservices/Trace"});
        EXPECT_EQ(h.compCode(), 2) << "the holder binding failed with its trace scope";
        EXPECT_EQ(h.reason(), 2195);
        EXPECT_EQ(ztmctl::callsOf("lpiSPIActivateMessage").size(), 0u);
    }
    Trace::clear();
    JniProxy first;
    Holders h1;
    const Lookups firstDeferred = deferredActivate(first, h1);
    EXPECT_EQ(h1.compCode(), 0);
    EXPECT_EQ(firstDeferred.staticMethods, 5) << "its own isOn and output methods";
    const auto lines = Trace::lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "entry com.zel.zt.server_ZTSESSION_DEF _spiDefActivate"),
              lines.end());

    JniProxy later;
    Holders h2;
    const Lookups laterDeferred = deferredActivate(later, h2);
    EXPECT_EQ(h2.compCode(), 0);
    EXPECT_EQ(laterDeferred.staticMethods, 0);
    EXPECT_EQ(firstDeferred.findClass, 2) << "its own trace class and holder class";
    EXPECT_EQ(laterDeferred.findClass, 0) << "each once";

    // The session library's cache was neither used up nor replaced.
    EXPECT_EQ(sessionPut().staticMethods, 0);
    Trace::setOn(false);
    ztmctl::reset();
}

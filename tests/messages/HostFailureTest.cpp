// A host method that throws while the records are being built stops the verb
// before the queue manager: a caller that retries on the exception must not
// find its message put twice. The verb ends as the bridge's failure and the
// exception reaches the caller. After the queue manager was called, and in the
// trace facility, a throwing host method changes no outcome.
#include "MessageTest.h"

using namespace zt::test;
using namespace msgtest;

namespace {

class HostFailure : public MessageTest {
protected:
    static jobject putOptions() { return newObject(kPutOptions, "(I)V", 1); }
    static jobject getOptions() { return newObject(kGetOptions, "(I)V", 2); }
};

TEST_F(HostFailure, AThrowingGetVersionStopsEachVerbBeforeTheQueueManager) {
    const Bytes data = {1, 2, 3};
    struct Case {
        const char* name;
        std::function<Outcome()> call;
        const char* thrown;
    };
    const std::vector<Case> cases = {
        {"_ZTPUT, descriptor",
         [&] {
             return put(1, 1, newObject("zt/messages/VersionlessDescriptor", "()V"),
                          putOptions(), 3, newByteArray(data));
         },
         "java.lang.IllegalStateException"},
        {"_ZTPUT1, descriptor",
         [&] {
             return put1(1, newObject("com/zel/zt/ZTObjectDescriptor", "()V"),
                           newObject("zt/messages/VersionlessDescriptor", "()V"), putOptions(), 3,
                           newByteArray(data));
         },
         "java.lang.IllegalStateException"},
        {"_ZTGET, descriptor",
         [&] {
             return get(1, 1, newObject("zt/messages/VersionlessDescriptor", "()V"),
                          getOptions(), 3, newByteArray(data), newPint(-1));
         },
         "java.lang.IllegalStateException"},
        {"_ZTGET, get options",
         [&] {
             return get(1, 1, newObject(kDescriptor, "()V"),
                          newObject("zt/messages/VersionlessGetOptions", "()V"), 3,
                          newByteArray(data), newPint(-1));
         },
         "java.lang.UnsupportedOperationException"},
        {"_ZTPUT1, GetNumberofRecords",
         [&] {
             return put1(1, newObject("zt/messages/CountlessObjectDescriptor", "()V"),
                           newObject(kDescriptor, "()V"), putOptions(), 3, newByteArray(data));
         },
         "java.lang.IllegalStateException"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalFrame frame;
        ztmctl::clearCalls();
        InternalException::clear();
        const Outcome o = c.call();
        EXPECT_EQ(o.cc, 2);
        EXPECT_EQ(o.rc, 2195);
        EXPECT_EQ(o.pending, c.thrown);
        EXPECT_EQ(ztmctl::callCount(), 0u) << "the queue manager was called";
        EXPECT_EQ(lastElementsTaken, lastElementsReleased);
    }
}

TEST_F(HostFailure, AThrowingTraceMethodNeverStopsAVerb) {
    // Tracing is diagnostics only: the put is made and its outcome written,
    // and what the trace method threw reaches the caller as the native returns.
    Trace::setOn(true);
    for (int nth : {1, 2, 5}) {
        SCOPED_TRACE(nth);
        LocalFrame frame;
        ztmctl::clearCalls();
        ztmctl::Answer a;
        a.compCode = 1;
        a.reason = 2049;
        ztmctl::scriptNext("ZTPUT", a);
        jobject cc = newPint(-1);
        jobject rc = newPint(-1);
        JniProxy proxy;
        proxy.failCall(Fn::CallStaticVoidMethod, nth);
        callNative([&] {
            Java_com_zel_zt_server_ZTSESSION__1ZTPUT(proxy.env(), nullptr, 1, 1,
                                                     newObject(kDescriptor, "()V"), putOptions(),
                                                     2, newByteArray({9, 9}), cc, rc);
        });
        EXPECT_EQ(proxy.failuresInjected(), 1);
        EXPECT_EQ(takePendingException(), "java.lang.RuntimeException");
        EXPECT_EQ(ztmctl::callsOf("ZTPUT").size(), 1u);
        EXPECT_EQ(pintValue(cc), 1);
        EXPECT_EQ(pintValue(rc), 2049);
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse().front();
    }
    Trace::setOn(false);
    Trace::clear();
}

}  // namespace

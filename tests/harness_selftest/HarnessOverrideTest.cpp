// A jar put before the host jar replaces host classes for the whole process.
#include "Jvm.h"

#include <gtest/gtest.h>

using namespace zt::test;

TEST(HostOverride, ReplacedTraceClassLacksIsOn) {
    jclass trace = findClass("com/zel/ztservices/Trace");
    ASSERT_NE(trace, nullptr);
    JniProxy proxy;
    callNative([&] { EXPECT_EQ(proxy.env()->GetStaticMethodID(trace, "isOn", "()Z"), nullptr); });
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchMethodError");
    EXPECT_THROW(Trace::setOn(true), JavaError);
    // The other host classes are still there.
    EXPECT_EQ(pintValue(newPint(4)), 4);
}

// Defects the fault sweep found, each pinned by the smallest call that showed it.
#include "Natives.h"

#include "Jvm.h"
#include "ztm.h"
#include "ztm_control.h"

#include <gtest/gtest.h>

extern "C" JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTPUT1(JNIEnv*, jobject, jint,
                                                                           jobject, jobject, jobject,
                                                                           jint, jbyteArray, jobject,
                                                                           jobject);

using namespace zt::test;

namespace {

class SweepRegression : public ::testing::Test {
protected:
    void SetUp() override {
        ztmctl::reset();
        char name[48] = {};
        ZTLONG cc = -1, rc = -1;
        ZTCONN(name, &hconn, &cc, &rc);
        ASSERT_EQ(cc, ZTCC_OK);
    }
    void TearDown() override { ztmctl::reset(); }
    ZTLONG hconn = 0;
};

// A put to a destination list whose last response record is of a class not
// seen before: its members are looked up only when the outcome is written back,
// after the message was put. That lookup failing used to turn the holders into
// the bridge's failure (2/2195), and a caller retrying on it put the message twice.
TEST_F(SweepRegression, WriteBackFailureAfterThePutKeepsTheQueueManagersAnswer) {
    const sweep::Shape cold{false, 2, 3, true};
    jobject od = sweep::objectDescriptor(cold, "UNUSED");
    jobject md = sweep::messageDescriptor(cold);
    jobject pmo = sweep::putOptions(cold);
    jobject cc = newPint(0), rc = newPint(0);
    jbyteArray data = newByteArray(std::vector<uint8_t>(8, 1));
    // Count the lookups of a clean call on classes just as new, then fail the last.
    long lookups = 0;
    {
        jobject od2 = sweep::objectDescriptor(cold, "UNUSED");
        jobject md2 = sweep::messageDescriptor(cold);
        jobject pmo2 = sweep::putOptions(cold);
        JniProxy proxy;
        callNative([&] {
            Java_com_zel_zt_server_ZTSESSION__1ZTPUT1(proxy.env(), nullptr, hconn, od2, md2, pmo2, 8,
                                                      data, cc, rc);
        });
        lookups = proxy.count(Fn::GetFieldID);
        ASSERT_EQ(pintValue(cc), 0);
    }
    ztmctl::clearCalls();
    JniProxy proxy;
    proxy.failCall(Fn::GetFieldID, int(lookups));
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTPUT1(proxy.env(), nullptr, hconn, od, md, pmo, 8, data,
                                                  cc, rc);
    });
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
    ASSERT_EQ(ztmctl::callsOf("ZTPUT1").size(), 1u);
    EXPECT_EQ(pintValue(cc), 0);
    EXPECT_EQ(pintValue(rc), 0);
    EXPECT_EQ(ztmctl::visibleDepth("SWEEP.L2"), 2u);  // the clean put and this one
    EXPECT_TRUE(proxy.misuse().empty());
}

}  // namespace

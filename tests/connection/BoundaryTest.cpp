// The native boundary and the checked JNI calls under the real JVM: what a
// call raises is taken aside at once (nothing runs with it pending), fails the
// call unless a harmless scope is open, and is raised again as the native
// returns; a C++ failure never leaves the boundary.
#include "Jvm.h"

#include "CheckedJni.h"
#include "NativeBoundary.h"
#include "NativeError.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace zt::test;

namespace {

const char* const kMissing = "zt/no/SuchClass";

// An int-returning native body, called as the JVM calls one.
template <typename Body>
jint inNative(Body&& body) {
    jint result = 0;
    callNative([&] { result = body(); });
    return result;
}

}  // namespace

TEST(Boundary, ReturnsTheBodysResultOrTheFailuresAndNothingCrossesIt) {
    JNIEnv* e = env();
    EXPECT_EQ(inNative([&] {
                  return nativeBoundary(
                      e, [] { return jint{7}; }, [] { return jint{-1}; });
              }),
              7);
    EXPECT_EQ(inNative([&] {
                  return nativeBoundary(
                      e, []() -> jint { throw NativeError(); }, [] { return jint{-1}; });
              }),
              -1);
    // Any C++ exception, not only the bridge's own.
    EXPECT_EQ(inNative([&] {
                  return nativeBoundary(
                      e, []() -> jint { throw std::runtime_error("x"); }, [] { return jint{-2}; });
              }),
              -2);
    int failures = 0;
    callNative([&] {
        nativeBoundary(
            e, [] { throw NativeError(); }, [&] { ++failures; });
    });
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(takePendingException(), "");
}

TEST(Boundary, ARaisedCallIsTakenAsideFailsTheCallAndIsRaisedAtReturn) {
    JniProxy proxy;
    JNIEnv* e = proxy.env();
    bool raisedInside = false;
    jclass found = nullptr;
    callNative([&] {
        nativeBoundary(
            e,
            [&] {
                EXPECT_EQ(checked::findClass(e, kMissing), nullptr);
                EXPECT_FALSE(e->ExceptionCheck()) << "left pending";
                raisedInside = ExceptionStash::raised(e);
                // Later calls run normally; a second error is a consequence.
                found = checked::findClass(e, "java/lang/String");
                EXPECT_EQ(checked::findClass(e, "zt/no/Other"), nullptr);
            },
            [] {});
    });
    EXPECT_TRUE(raisedInside);
    EXPECT_NE(found, nullptr);
    EXPECT_EQ(takePendingException(), "java.lang.NoClassDefFoundError");
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
}

TEST(Boundary, WhatAHarmlessScopeTakesAsideIsRaisedButFailsNothing) {
    JniProxy proxy;
    JNIEnv* e = proxy.env();
    bool raisedAfterHarmless = true;
    bool raisedAfterFailure = false;
    callNative([&] {
        nativeBoundary(
            e,
            [&] {
                {
                    ExceptionStash::Harmless harmless;
                    EXPECT_EQ(checked::findClass(e, kMissing), nullptr);
                }
                raisedAfterHarmless = ExceptionStash::raised(e);
                // Outside the scope the same failure counts.
                EXPECT_EQ(checked::findClass(e, "zt/no/Other"), nullptr);
                raisedAfterFailure = ExceptionStash::raised(e);
            },
            [] {});
    });
    EXPECT_FALSE(raisedAfterHarmless);
    EXPECT_TRUE(raisedAfterFailure);
    // The first one raised is the one the caller sees.
    std::string pending = takePendingException();
    EXPECT_EQ(pending, "java.lang.NoClassDefFoundError");
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
}

TEST(Boundary, ANativeCalledInsideAHarmlessScopeIsACallOfItsOwn) {
    // A trace method may call a native: its failures are its own, and the
    // harmless scope of the caller does not excuse them.
    JNIEnv* e = env();
    bool innerRaised = false;
    bool outerRaised = true;
    callNative([&] {
        nativeBoundary(
            e,
            [&] {
                ExceptionStash::Harmless harmless;
                nativeBoundary(
                    e,
                    [&] {
                        EXPECT_EQ(checked::findClass(e, kMissing), nullptr);
                        innerRaised = ExceptionStash::raised(e);
                    },
                    [] {});
                // The inner native returned with its error pending, as the
                // JVM would leave it for the trace method; taken aside here
                // under the harmless scope.
                ExceptionStash::park(e);
                outerRaised = ExceptionStash::raised(e);
            },
            [] {});
    });
    EXPECT_TRUE(innerRaised);
    EXPECT_FALSE(outerRaised);
    EXPECT_EQ(takePendingException(), "java.lang.NoClassDefFoundError");
}

TEST(Boundary, OutsideANativeAnErrorStaysPendingAndCounts) {
    // The XID conversions are exported and may be called outside any native.
    JNIEnv* e = env();
    bool raised = false;
    callNative([&] {
        EXPECT_EQ(checked::findClass(e, kMissing), nullptr);
        EXPECT_TRUE(e->ExceptionCheck());
        raised = ExceptionStash::raised(e);
    });
    EXPECT_TRUE(raised);
    EXPECT_EQ(takePendingException(), "java.lang.NoClassDefFoundError");
}

TEST(CheckedCalls, AFailedHostMethodIsTestedWhateverItReturnsAndNothingIsAddedWhenAllGoesWell) {
    // "x".codePointAt(5) throws and returns 0: only the exception test tells.
    // A call returning a reference is tested only when null.
    JniProxy proxy;
    JNIEnv* e = proxy.env();
    jmethodID codePointAt = e->GetMethodID(findClass("java/lang/String"), "codePointAt", "(I)I");
    ASSERT_NE(codePointAt, nullptr);
    jstring bad = newString("x");
    jstring five = newString("5");
    bool raised = false;
    int checksWhenWell = -1;
    callNative([&] {
        nativeBoundary(
            e,
            [&] {
                const int before = proxy.count(Fn::ExceptionCheck);
                LocalRef<jclass> cls(e, checked::findClass(e, "java/lang/String"));
                LocalRef<jbyteArray> array(e, checked::newByteArray(e, 4));
                StringChars chars = checked::utfChars(e, five);
                EXPECT_STREQ(chars.get(), "5");
                checksWhenWell = proxy.count(Fn::ExceptionCheck) - before;
                checked::callIntMethod(e, bad, codePointAt, jint{5});
                raised = ExceptionStash::raised(e);
            },
            [] {});
    });
    EXPECT_EQ(checksWhenWell, 0);
    EXPECT_TRUE(raised);
    EXPECT_EQ(takePendingException(), "java.lang.StringIndexOutOfBoundsException");
    EXPECT_EQ(proxy.liveLocalRefs(), 0);
}

TEST(CheckedCalls, GuardsReleaseWhatTheyWereLentOnEveryPathOut) {
    JniProxy proxy;
    JNIEnv* e = proxy.env();
    jstring text = newString("held");
    jbyteArray bytes = newByteArray({1, 2, 3});
    callNative([&] {
        nativeBoundary(
            e,
            [&] {
                StringChars chars = checked::utfChars(e, text);
                ByteArrayElements elements = checked::elements(e, bytes);
                ByteArrayElements none = checked::elements(e, static_cast<jbyteArray>(nullptr));
                EXPECT_FALSE(none.missing());
                EXPECT_EQ(none.get(), nullptr);
                elements.get()[0] = 9;  // never copied back
                throw NativeError();
            },
            [] {});
    });
    EXPECT_EQ(proxy.count(Fn::ReleaseStringUTFChars), 1);
    EXPECT_EQ(proxy.count(Fn::ReleaseByteArrayElements), 1);
    EXPECT_EQ(byteArrayValue(bytes), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
}

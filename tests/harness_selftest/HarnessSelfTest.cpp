// The harness proves itself against the real JVM before other tests lean on it.
#include "Jvm.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace zt::test;

namespace {

const char* const kHolder = "zt/selftest/Holder";

} // namespace

TEST(Jvm, StartsOnceWithHostAndTestClasses) {
    ASSERT_NE(vm(), nullptr);
    JNIEnv* e = env();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetVersion() >= JNI_VERSION_1_8, true);
    // Both jars are on the class path; classes are cached as global refs.
    jclass pint = findClass("com/zel/zt/Pint");
    EXPECT_EQ(findClass("com/zel/zt/Pint"), pint);
    EXPECT_EQ(e->GetObjectRefType(pint), JNIGlobalRefType);
    EXPECT_NE(findClass(kHolder), nullptr);
    EXPECT_THROW(findClass("zt/selftest/NoSuchClass"), JavaError);
    EXPECT_EQ(takePendingException(), "") << "a failed helper leaves nothing pending";
}

TEST(Helpers, PintRoundTrip) {
    jobject p = newPint(42);
    EXPECT_EQ(pintValue(p), 42);
    setInt(p, "x", -7);
    EXPECT_EQ(pintValue(p), -7);
    EXPECT_EQ(pintValue(newPint()), 0);
    EXPECT_THROW(getInt(p, "y"), JavaError);
    EXPECT_EQ(takePendingException(), "");
}

TEST(Helpers, FieldsOfEveryKind) {
    jobject h = newObject(kHolder, "(ILjava/lang/String;)V", 3, newString("abc"));
    EXPECT_EQ(getInt(h, "i"), 3);
    EXPECT_EQ(getString(h, "s"), std::optional<std::string>("abc"));
    setString(h, "s", std::nullopt);
    EXPECT_EQ(getString(h, "s"), std::nullopt);
    setString(h, "s", std::string("h\xc3\xa9llo"));
    EXPECT_EQ(getString(h, "s"), std::optional<std::string>("h\xc3\xa9llo"));

    EXPECT_FALSE(getBoolean(h, "flag"));
    setBoolean(h, "flag", true);
    EXPECT_TRUE(getBoolean(h, "flag"));

    setChar(h, "c", 0xFFC1);
    EXPECT_EQ(getChar(h, "c"), 0xFFC1);

    EXPECT_EQ(getBytes(h, "bytes"), std::nullopt);
    std::vector<uint8_t> raw{0, 1, 0x80, 0xFF};
    setBytes(h, "bytes", raw);
    EXPECT_EQ(getBytes(h, "bytes"), std::optional<std::vector<uint8_t>>(raw));

    jobject p = newPint(9);
    setObject(h, "any", "Ljava/lang/Object;", p);
    EXPECT_TRUE(env()->IsSameObject(getObject(h, "any", "Ljava/lang/Object;"), p));
    EXPECT_EQ(getStaticInt(kHolder, "counter"), 5);
}

TEST(Helpers, StringsArraysAndCalls) {
    EXPECT_EQ(stringValue(newString("QM1")), std::optional<std::string>("QM1"));
    EXPECT_EQ(stringValue(nullptr), std::nullopt);
    std::vector<uint8_t> b{9, 8, 7};
    EXPECT_EQ(byteArrayValue(newByteArray(b)), b);
    EXPECT_TRUE(byteArrayValue(newByteArray({})).empty());
    std::vector<jint> ints{1, -2, 0x7FFFFFFF};
    EXPECT_EQ(intArrayValue(newIntArray(ints)), ints);

    EXPECT_EQ(callStaticInt(kHolder, "add", "(II)I", 20, 22), 42);
    jobject h = newObject(kHolder, "()V");
    setInt(h, "i", 6);
    callVoid(h, "bump", "(I)V", 1);
    EXPECT_EQ(callInt(h, "times", "(I)I", 3), 21);
    EXPECT_TRUE(callStaticBoolean("java/lang/Boolean", "parseBoolean", "(Ljava/lang/String;)Z",
                                  newString("true")));
    // A Java exception in a helper call is a JavaError carrying its class and message.
    try {
        callStaticVoid(kHolder, "fail", "(Ljava/lang/String;)V", newString("boom"));
        ADD_FAILURE() << "no JavaError";
    } catch (const JavaError& err) {
        EXPECT_NE(std::string(err.what()).find("java.lang.IllegalStateException: boom"), std::string::npos)
            << err.what();
    }
    EXPECT_EQ(takePendingException(), "");
}

TEST(Helpers, HostTraceAndInternalExceptionLog) {
    Trace::clear();
    Trace::setOn(true);
    EXPECT_TRUE(callStaticBoolean("com/zel/ztservices/Trace", "isOn", "()Z"));
    callStaticVoid("com/zel/ztservices/Trace", "entry", "(Ljava/lang/String;Ljava/lang/String;)V",
                   newString("Cls"), newString("_ZTCONN"));
    callStaticVoid("com/zel/ztservices/Trace", "trace", "(ILjava/lang/String;Ljava/lang/String;)V", 2,
                   newString("_ZTCONN"), newString("Reason: 2195"));
    EXPECT_EQ(Trace::lines(), (std::vector<std::string>{"entry Cls _ZTCONN", "trace2 _ZTCONN Reason: 2195"}));
    Trace::clear();
    Trace::setOn(false);
    EXPECT_TRUE(Trace::lines().empty());

    InternalException::clear();
    callStaticVoid("com/zel/ztservices/ZTInternalException", "logZTInternalException",
                   "(ILjava/lang/String;)V", 103, newString("x"));
    EXPECT_EQ(InternalException::logged(), std::vector<std::string>{"103 x"});
    InternalException::clear();
    EXPECT_TRUE(InternalException::logged().empty());
}

TEST(Exceptions, TakeReportsClassAndMessageAndClears) {
    EXPECT_EQ(takePendingException(), "");
    JNIEnv* e = env();
    e->ThrowNew(findClass("java/lang/IllegalArgumentException"), "bad");
    Thrown t = takePendingThrowable();
    EXPECT_EQ(t.className, "java.lang.IllegalArgumentException");
    EXPECT_EQ(t.message, "bad");
    EXPECT_FALSE(e->ExceptionCheck());
}

TEST(Exceptions, HelpersKeepAPendingExceptionPending) {
    jobject p = newPint(5);
    env()->ThrowNew(findClass("java/lang/NoSuchFieldError"), "x");
    // The helpers work around it (no JNI call with it pending) and put it back.
    EXPECT_EQ(pintValue(p), 5);
    setInt(p, "x", 6);
    EXPECT_EQ(pintValue(p), 6);
    EXPECT_EQ(Trace::lines().size(), 0u);
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
}

TEST(Proxy, CountsEachCallUnderItsName) {
    JniProxy proxy;
    jclass found = nullptr;
    callNative([&] {
        JNIEnv* e = proxy.env();
        found = e->FindClass("com/zel/zt/Pint");
        ASSERT_NE(found, nullptr);
        EXPECT_FALSE(e->ExceptionCheck());
        EXPECT_TRUE(env()->IsSameObject(found, findClass("com/zel/zt/Pint")));
    });
    EXPECT_EQ(proxy.count(Fn::FindClass), 1);
    EXPECT_EQ(proxy.count(Fn::ExceptionCheck), 1);
    EXPECT_EQ(proxy.total(), 2);
    EXPECT_EQ(proxy.counts().classLookups, 1);
    EXPECT_EQ(proxy.summary(), "FindClass=1 ExceptionCheck=1");
    proxy.resetCounts();
    EXPECT_EQ(proxy.total(), 0);
}

TEST(Proxy, VariadicFormsForwardTheirArguments) {
    JniProxy proxy;
    callNative([&] {
        JNIEnv* e = proxy.env();
        jclass holder = e->FindClass(kHolder);
        jmethodID add = e->GetStaticMethodID(holder, "add", "(II)I");
        EXPECT_EQ(e->CallStaticIntMethod(holder, add, 40, 2), 42);
        ASSERT_FALSE(e->ExceptionCheck());
        // C code reaches the "..." entry itself (C++ goes through the V entry).
        EXPECT_EQ(e->functions->CallStaticIntMethod(e, holder, add, 1, 2), 3);
        ASSERT_FALSE(e->ExceptionCheck());
        jmethodID ctor = e->GetMethodID(holder, "<init>", "(ILjava/lang/String;)V");
        jstring s = e->NewStringUTF("made");
        jobject h = e->NewObject(holder, ctor, 7, s);
        ASSERT_NE(h, nullptr);
        jmethodID bump = e->GetMethodID(holder, "bump", "(I)V");
        e->CallVoidMethod(h, bump, 5);
        ASSERT_FALSE(e->ExceptionCheck());
        jmethodID times = e->GetMethodID(holder, "times", "(I)I");
        EXPECT_EQ(e->CallIntMethod(h, times, 2), 24);
        ASSERT_FALSE(e->ExceptionCheck());
        jfieldID sf = e->GetFieldID(holder, "s", "Ljava/lang/String;");
        EXPECT_EQ(stringValue(static_cast<jstring>(e->GetObjectField(h, sf))), std::optional<std::string>("made"));
    });
    // Both forms count as one function.
    EXPECT_EQ(proxy.count(Fn::CallStaticIntMethod), 2);
    EXPECT_EQ(proxy.count(Fn::CallStaticIntMethodV), 2);
    EXPECT_EQ(proxy.count(Fn::NewObject), 1);
    EXPECT_EQ(proxy.count(Fn::CallVoidMethod), 1);
    EXPECT_EQ(proxy.count(Fn::CallIntMethod), 1);
    JniCounts c = proxy.counts();
    EXPECT_EQ(c.classLookups, 1);
    EXPECT_EQ(c.fieldLookups, 1);
    EXPECT_EQ(c.methodLookups, 4);
    EXPECT_EQ(c.stringsCreated, 1);
    EXPECT_EQ(c.total, 17);
    EXPECT_TRUE(proxy.misuse().empty());
}

TEST(Proxy, InjectedLookupFailuresRaiseWhatTheJvmRaises) {
    JniProxy proxy;
    proxy.failCall(Fn::FindClass);
    callNative([&] { EXPECT_EQ(proxy.env()->FindClass("com/zel/zt/Pint"), nullptr); });
    Thrown t = takePendingThrowable();
    EXPECT_EQ(t.className, "java.lang.NoClassDefFoundError");
    EXPECT_EQ(t.message, "com/zel/zt/Pint");
    // Once only: the next call goes through.
    callNative([&] { EXPECT_NE(proxy.env()->FindClass("com/zel/zt/Pint"), nullptr); });
    EXPECT_EQ(takePendingException(), "");
    EXPECT_EQ(proxy.count(Fn::FindClass), 2);
    EXPECT_EQ(proxy.failuresInjected(), 1);

    // The 2nd next GetFieldID fails, with NoSuchFieldError.
    proxy.failCall(Fn::GetFieldID, 2);
    jclass pint = findClass("com/zel/zt/Pint");
    callNative([&] {
        EXPECT_NE(proxy.env()->GetFieldID(pint, "x", "I"), nullptr);
        EXPECT_FALSE(proxy.env()->ExceptionCheck());
        EXPECT_EQ(proxy.env()->GetFieldID(pint, "x", "I"), nullptr);
    });
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");

    proxy.failCall(Fn::GetStaticMethodID);
    callNative([&] { EXPECT_EQ(proxy.env()->GetStaticMethodID(findClass(kHolder), "add", "(II)I"), nullptr); });
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchMethodError");

    // A chosen error, or none at all.
    proxy.failCall(Fn::NewStringUTF, 1, 1, "");
    callNative([&] { EXPECT_EQ(proxy.env()->NewStringUTF("x"), nullptr); });
    EXPECT_EQ(takePendingException(), "");
    proxy.failCall(Fn::CallStaticIntMethod, 1, 1, "java/lang/IllegalStateException");
    callNative([&] {
        JNIEnv* e = proxy.env();
        jmethodID add = e->GetStaticMethodID(findClass(kHolder), "add", "(II)I");
        EXPECT_EQ(e->CallStaticIntMethod(findClass(kHolder), add, 1, 1), 0);
    });
    EXPECT_EQ(takePendingException(), "java.lang.IllegalStateException");
    EXPECT_TRUE(proxy.misuse().empty());
}

TEST(Proxy, RepeatedFailuresAndClearing) {
    JniProxy proxy;
    proxy.failCall(Fn::GetObjectClass, 1, -1);
    jobject p = newPint(1);
    callNative([&] {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(proxy.env()->GetObjectClass(p), nullptr);
    });
    EXPECT_EQ(takePendingException(), "") << "GetObjectClass raises nothing by default";
    proxy.clearFailures();
    callNative([&] { EXPECT_NE(proxy.env()->GetObjectClass(p), nullptr); });
    EXPECT_EQ(proxy.failuresInjected(), 3);
}

TEST(Proxy, RecordsCallsMadeWithAnExceptionPending) {
    JniProxy proxy;
    proxy.failCall(Fn::GetFieldID);
    jclass pint = findClass("com/zel/zt/Pint");
    callNative([&] {
        JNIEnv* e = proxy.env();
        EXPECT_EQ(e->GetFieldID(pint, "x", "I"), nullptr);
        e->DeleteLocalRef(nullptr); // allowed while pending
        EXPECT_TRUE(e->ExceptionCheck());
    });
    EXPECT_TRUE(proxy.misuse().empty());
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
    // After the test took it, the proxy knows nothing is pending.
    callNative([&] { EXPECT_NE(proxy.env()->GetFieldID(pint, "x", "I"), nullptr); });
    EXPECT_TRUE(proxy.misuse().empty());

    // The proxy sees a native that goes on after the failure (without the
    // real JVM seeing the bad call: the failing call is not forwarded).
    proxy.failCall(Fn::FindClass);
    proxy.failCall(Fn::GetFieldID, 1, 1, "");
    callNative([&] {
        JNIEnv* e = proxy.env();
        EXPECT_EQ(e->FindClass("com/zel/zt/Pint"), nullptr);
        EXPECT_EQ(e->GetFieldID(pint, "x", "I"), nullptr);
    });
    ASSERT_EQ(proxy.misuse().size(), 1u);
    EXPECT_NE(proxy.misuse()[0].find("GetFieldID called with an exception pending"), std::string::npos)
        << proxy.misuse()[0];
    EXPECT_EQ(takePendingException(), "java.lang.NoClassDefFoundError");
}

TEST(Proxy, HookRunsBeforeTheCall) {
    JniProxy proxy;
    int seen = -1;
    Trace::setOn(false);
    proxy.before(Fn::CallStaticBooleanMethod, [&] {
        Trace::setOn(true);
        seen = static_cast<int>(proxy.count(Fn::CallStaticBooleanMethod));
    });
    callNative([&] {
        JNIEnv* e = proxy.env();
        jclass trace = e->FindClass("com/zel/ztservices/Trace");
        jmethodID isOn = e->GetStaticMethodID(trace, "isOn", "()Z");
        EXPECT_EQ(e->CallStaticBooleanMethod(trace, isOn), JNI_TRUE);
    });
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(proxy.count(Fn::CallStaticBooleanMethod), 1);
    Trace::setOn(false);
}

TEST(LocalFrames, FrameHoldsThirtyTwoAndKeepsAPendingException) {
    jobject keep = newPint(3);
    for (int round = 0; round < 100; ++round) {
        callNative([&] {
            JNIEnv* e = env();
            for (int i = 0; i < 32; ++i) ASSERT_NE(e->NewLocalRef(keep), nullptr);
        });
    }
    callNative([&] { env()->ThrowNew(findClass("java/lang/RuntimeException"), "left by the native"); });
    Thrown t = takePendingThrowable();
    EXPECT_EQ(t.className, "java.lang.RuntimeException");
    EXPECT_EQ(t.message, "left by the native");
}

TEST(LocalFrames, ProxyTracksTheLocalRefsANativeHolds) {
    JniProxy proxy;
    jobject keep = newPint(3);
    jclass pint = findClass("com/zel/zt/Pint");
    callNative([&] {
        JNIEnv* e = proxy.env();
        for (int i = 0; i < 40; ++i) {
            jobject r = e->NewLocalRef(keep);
            if (i % 2) e->DeleteLocalRef(r);
        }
        EXPECT_EQ(proxy.liveLocalRefs(), 20);
        // A frame the native pushes counts on its own; the kept result moves out.
        ASSERT_EQ(e->PushLocalFrame(8), JNI_OK);
        for (int i = 0; i < 5; ++i) e->GetObjectClass(keep);
        EXPECT_EQ(proxy.liveLocalRefs(), 5);
        e->PopLocalFrame(e->NewLocalRef(keep));
        EXPECT_EQ(proxy.liveLocalRefs(), 21);
        EXPECT_EQ(e->NewGlobalRef(pint) != nullptr, true); // global: not counted
    });
    EXPECT_EQ(proxy.maxLocalRefs(), 21);
    EXPECT_EQ(takePendingException(), "");
    // The next native starts from an empty frame.
    callNative([&] { proxy.env()->NewLocalRef(keep); });
    EXPECT_EQ(proxy.liveLocalRefs(), 1);
    proxy.resetCounts();
    EXPECT_EQ(proxy.maxLocalRefs(), 0);
    EXPECT_TRUE(proxy.misuse().empty());

    // Held to the plan of -Xcheck:jni that some JDK 17 updates check: 32 in
    // a native's own frame, n + 32 more after EnsureLocalCapacity(n).
    struct Row {
        jint ensure;  // 0: not asked
        int refs;
        bool overrun;
    };
    for (const Row& row : {Row{0, 32, false}, Row{0, 33, true}, Row{10, 42, false},
                           Row{10, 43, true}}) {
        JniProxy p;
        callNative([&] {
            JNIEnv* e = p.env();
            if (row.ensure != 0) {
                ASSERT_EQ(e->EnsureLocalCapacity(row.ensure), JNI_OK);
            }
            for (int i = 0; i < row.refs; ++i) e->NewLocalRef(keep);
        });
        EXPECT_EQ(p.misuse().size(), row.overrun ? 1u : 0u) << row.ensure << " " << row.refs;
    }
}

TEST(Capture, KeepsTheOrderOfBothStreams) {
    std::string out = capture(Streams::Both, [] {
        std::printf("one\n");
        std::fprintf(stderr, "two\n");
        callStaticVoid(kHolder, "say", "(Ljava/lang/String;)V", newString("three"));
        std::printf("four");
    });
    EXPECT_EQ(out, "one\ntwo\nthree\nfour");
    std::string onlyOut = capture(Streams::Stdout, [] {
        std::printf("to stdout\n");
        std::fprintf(stderr, "[harness self-test: this line goes to stderr on purpose]\n");
    });
    EXPECT_EQ(onlyOut, "to stdout\n");
    Capture c(Streams::Stderr);
    std::fprintf(stderr, "err only");
    EXPECT_EQ(c.finish(), "err only");
}

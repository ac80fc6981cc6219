// The JNI calls each verb makes once warm, counted exactly through the proxy
// environment over a queue manager that answers at once. The table is pinned:
// a lookup by name on a warm call, or a Java string made while tracing is off,
// fails here.
//
// With ZT_JNI_COUNTS_CSV=<file> set, the table is also written there (the
// benchmark command does that).
#include <jni.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Jvm.h"
#include "xa_switch.h"
#include "ztm_control.h"

#include "com_zel_zt_server_ZTSESSION.h"
#include "com_zel_zt_server_ZTXAi.h"

using namespace zt::test;

namespace {

struct Counted {
    long total, lookups, strings, hostCalls;
};

bool operator==(const Counted& a, const Counted& b) {
    return a.total == b.total && a.lookups == b.lookups && a.strings == b.strings &&
           a.hostCalls == b.hostCalls;
}

std::ostream& operator<<(std::ostream& out, const Counted& c) {
    return out << "{total " << c.total << ", lookups " << c.lookups << ", strings " << c.strings
               << ", host calls " << c.hostCalls << "}";
}

struct Verb {
    const char* name;
    std::function<void(JNIEnv*)> call;
    // Expected with tracing off and on.
    Counted off;
    Counted on;
    // Java strings the verb's write-back makes whatever the trace setting:
    // none once warm, the string fields holding the record's texts already.
    long writeBackStrings;
};

// `byFunction` gets where the calls went ("GetIntField=12 SetIntField=3 ...").
Counted measure(const std::function<void(JNIEnv*)>& call, std::string& byFunction) {
    JniProxy proxy;
    callNative([&] { call(proxy.env()); });
    const JniCounts counts = proxy.counts();
    // Lookups by name; GetObjectClass is how a class is recognised, not a lookup.
    const long byName = counts.fieldLookups + counts.methodLookups + proxy.count(Fn::FindClass);
    byFunction = proxy.summary();
    return {counts.total, byName, counts.stringsCreated,
            proxy.count(Fn::CallStaticBooleanMethod) + proxy.count(Fn::CallStaticVoidMethod)};
}

class JniCallCounts : public ::testing::Test {
protected:
    void SetUp() override {
        ztmctl::reset();
        ztmctl::setInstantMode(true);
        Trace::setOn(false);
        Trace::clear();
    }
    void TearDown() override {
        Trace::setOn(false);
        Trace::clear();
        ztmctl::setInstantMode(false);
    }
};

TEST_F(JniCallCounts, EachVerbMakesExactlyThePinnedCalls) {
    jobject session = nullptr;
    jobject cc = newPint();
    jobject rc = newPint();
    jobject hobj = newPint(1);
    jobject length = newPint();
    jbyteArray kib = newByteArray(std::vector<uint8_t>(1024, 7));
    jobject od = newObject("com/zel/zt/ZTObjectDescriptor", "(Ljava/lang/String;)V",
                           newString("BENCH.Q"));
    jobject md = newObject("com/zel/zt/ZTMessageDescriptor", "(I)V", 2);
    jobject pmo = newObject("com/zel/zt/ZTPutMessageOptions", "(I)V", 1);
    jobject gmo = newObject("com/zel/zt/ZTGetMessageOptions", "(I)V", 2);
    jobject message = newObject("com/zel/zt/ZTMessage", "()V");
    jobject xid = newObject("com/zel/zt/ZTXid", "(I[B[B)V", 1, newByteArray({1, 2, 3}),
                            newByteArray({4}));
    jstring qmgr = newString("QM1");
    jobjectArray xids = env()->NewObjectArray(2, findClass("com/zel/zt/ZTXid"), nullptr);

    // Totals depend on nothing but the bridge's code: each figure here is a
    // count of calls, not a time.
    std::vector<Verb> verbs = {
        {"_ZTCONN",
         [&](JNIEnv* e) { Java_com_zel_zt_server_ZTSESSION__1ZTCONN(e, session, qmgr, hobj, cc, rc); },
         {7, 0, 0, 1}, {25, 0, 3, 7}, 0},
        {"_ZTCMIT",
         [&](JNIEnv* e) { Java_com_zel_zt_server_ZTSESSION__1ZTCMIT(e, session, 1, cc, rc); },
         {4, 0, 0, 1}, {12, 0, 0, 5}, 0},
        {"_ZTOPEN",
         [&](JNIEnv* e) {
             Java_com_zel_zt_server_ZTSESSION__1ZTOPEN(e, session, 1, od, 0x10, hobj, cc, rc);
         },
         {19, 0, 0, 1}, {99, 0, 11, 24}, 0},
        {"_ZTCLOSE",
         [&](JNIEnv* e) { Java_com_zel_zt_server_ZTSESSION__1ZTCLOSE(e, session, 1, hobj, 0, cc, rc); },
         {6, 0, 0, 1}, {14, 0, 0, 5}, 0},
        {"_ZTPUT 1 KiB",
         [&](JNIEnv* e) {
             Java_com_zel_zt_server_ZTSESSION__1ZTPUT(e, session, 1, 1, md, pmo, 1024, kib, cc, rc);
         },
         {74, 0, 0, 1}, {311, 0, 42, 69}, 0},
        {"_ZTGET 1 KiB",
         [&](JNIEnv* e) {
             Java_com_zel_zt_server_ZTSESSION__1ZTGET(e, session, 1, 1, md, gmo, 1024, kib, length,
                                                      cc, rc);
         },
         {75, 0, 0, 1}, {316, 0, 43, 72}, 0},
        {"_ZTPUTMSG2 1 KiB",
         [&](JNIEnv* e) {
             Java_com_zel_zt_server_ZTSESSION__1ZTPUTMSG2(e, session, 1, 1, message, pmo, 1024, kib,
                                                          cc, rc);
         },
         {84, 0, 0, 1}, {296, 0, 36, 64}, 0},
        {"_ZTGETMSG2 1 KiB",
         [&](JNIEnv* e) {
             Java_com_zel_zt_server_ZTSESSION__1ZTGETMSG2(e, session, 1, 1, message, gmo, 1024, kib,
                                                          length, cc, rc);
         },
         {95, 0, 0, 1}, {306, 0, 38, 62}, 0},
        // The XA natives neither trace nor write holders.
        {"xa_start_N",
         [&](JNIEnv* e) { Java_com_zel_zt_server_ZTXAi_xa_1start_1N(e, nullptr, xid, 1, 0); },
         {15, 0, 0, 0}, {15, 0, 0, 0}, 0},
        {"xa_end_N",
         [&](JNIEnv* e) {
             Java_com_zel_zt_server_ZTXAi_xa_1end_1N(e, nullptr, xid, 1, 0x04000000);
         },
         {15, 0, 0, 0}, {15, 0, 0, 0}, 0},
        {"xa_recover_N 2 XIDs",
         [&](JNIEnv* e) {
             // Instant mode answers a recover with nothing: this one is scripted.
             ztmctl::setInstantMode(false);
             ztmctl::Answer a;
             a.returnValue = 2;
             a.hook = [](void** args) {
                 XID* buffer = static_cast<XID*>(args[0]);
                 for (int i = 0; i < 2; ++i) {
                     buffer[i] = XID{};
                     buffer[i].formatID = i;
                     buffer[i].gtrid_length = 3;
                     buffer[i].bqual_length = 1;
                 }
             };
             ztmctl::scriptNext("zstXARecover", a);
             Java_com_zel_zt_server_ZTXAi_xa_1recover_1N(e, nullptr, xids, 1, 0x01000000);
             ztmctl::setInstantMode(true);
             ztmctl::clearCalls();
         },
         {23, 0, 0, 0}, {23, 0, 0, 0}, 0},
    };

    std::ostringstream table;
    table << "verb,total off,lookups off,strings off,host calls off,total on,lookups on,strings on,"
             "host calls on,strings made by tracing,calls off by function\n";
    for (const Verb& verb : verbs) {
        SCOPED_TRACE(verb.name);
        // The first calls fill the trace cache and keep the strings of the
        // constant trace texts; they are not what a verb costs. The second
        // brings the bridge's trace flag back to off (a holder-first verb
        // binds its holder before it refreshes the flag).
        for (bool tracing : {true, false}) {
            Trace::setOn(tracing);
            callNative([&] { verb.call(env()); });
        }
        Trace::clear();
        std::string offCalls, onCalls;
        const Counted off = measure(verb.call, offCalls);
        Trace::setOn(true);
        const Counted on = measure(verb.call, onCalls);
        Trace::setOn(false);
        Trace::clear();
        EXPECT_EQ(off, verb.off);
        EXPECT_EQ(on, verb.on);
        // While tracing is off the host hears only the flag refresh, and every
        // Java string made is one the write-back stores.
        EXPECT_LE(off.hostCalls, 1);
        EXPECT_EQ(off.strings, verb.writeBackStrings);
        table << verb.name << ',' << off.total << ',' << off.lookups << ',' << off.strings << ','
              << off.hostCalls << ',' << on.total << ',' << on.lookups << ',' << on.strings << ','
              << on.hostCalls << ',' << (on.strings - off.strings) << ',' << offCalls << '\n';
    }
    std::cout << table.str();
    if (const char* path = std::getenv("ZT_JNI_COUNTS_CSV")) {
        std::ofstream(path) << table.str();
    }
}

}  // namespace

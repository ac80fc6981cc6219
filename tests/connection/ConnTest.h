// Shared by the connection tests: the natives under test (called directly, as
// the JVM would after binding them), holders and small call helpers.
#pragma once

#include "Holders.h"
#include "Jvm.h"

#include "ExceptionStash.h"
#include "NativeError.h"
#include "ztm_control.h"

#include <gtest/gtest.h>

#include <jni.h>

#include <functional>
#include <string>
#include <vector>

#include "com_zel_zt_server_ZTSESSION.h"

namespace conntest {

// The verbs do not read their session object.
inline const jobject kSession = nullptr;
inline const char* const kSessionClass = "com.zel.zt.server_ZTSESSION";

// One session verb with its other arguments fixed (options 0, no begin
// options): `handle` goes to the verbs that take the handle by value (they do
// not use h.hconn), `qmgr` to the connect verbs. Returns the native's result
// (0 for the void natives).
struct VerbCall {
    std::string name;
    std::function<jint(JNIEnv*, const zt::test::Holders&, jint handle, jstring qmgr)> call;
};

inline std::vector<VerbCall> allVerbs() {
    return {
        {"_ZTCONN",
         [](JNIEnv* e, const zt::test::Holders& h, jint, jstring q) {
             Java_com_zel_zt_server_ZTSESSION__1ZTCONN(e, kSession, q, h.hconn, h.cc, h.rc);
             return 0;
         }},
        {"_ZTCONNX",
         [](JNIEnv* e, const zt::test::Holders& h, jint, jstring q) {
             Java_com_zel_zt_server_ZTSESSION__1ZTCONNX(e, kSession, q, 0, h.hconn, h.cc, h.rc);
             return 0;
         }},
        {"_spiConnect",
         [](JNIEnv* e, const zt::test::Holders& h, jint, jstring q) {
             return Java_com_zel_zt_server_ZTSESSION__1spiConnect(e, kSession, q, 0, h.hconn,
                                                                 h.cc, h.rc);
         }},
        {"_ZTDISC",
         [](JNIEnv* e, const zt::test::Holders& h, jint, jstring) {
             Java_com_zel_zt_server_ZTSESSION__1ZTDISC(e, kSession, h.hconn, h.cc, h.rc);
             return 0;
         }},
        {"_ZTBEGIN",
         [](JNIEnv* e, const zt::test::Holders& h, jint hconn, jstring) {
             Java_com_zel_zt_server_ZTSESSION__1ZTBEGIN(e, kSession, hconn, nullptr, h.cc, h.rc);
             return 0;
         }},
        {"_ZTCMIT",
         [](JNIEnv* e, const zt::test::Holders& h, jint hconn, jstring) {
             Java_com_zel_zt_server_ZTSESSION__1ZTCMIT(e, kSession, hconn, h.cc, h.rc);
             return 0;
         }},
        {"_ZTBACK",
         [](JNIEnv* e, const zt::test::Holders& h, jint hconn, jstring) {
             Java_com_zel_zt_server_ZTSESSION__1ZTBACK(e, kSession, hconn, h.cc, h.rc);
             return 0;
         }},
        {"_honourPVXInternal",
         [](JNIEnv* e, const zt::test::Holders& h, jint, jstring) {
             Java_com_zel_zt_server_ZTSESSION__1honourPVXInternal(e, kSession, nullptr, h.cc,
                                                                  h.rc);
             return 0;
         }},
    };
}

inline VerbCall verbNamed(const std::string& name) {
    for (const VerbCall& v : allVerbs())
        if (v.name == name) return v;
    throw std::invalid_argument("no verb " + name);
}

// Runs helpers of the support layer as a native would: inside a local frame
// and an exception stash (which also checks for exceptions after host calls).
inline void asNative(const std::function<void()>& helpers) {
    zt::test::callNative([&] {
        ExceptionStash stash(zt::test::env());
        helpers();
    });
}

// As asNative, for one helper that may fail: true when it raised NativeError.
inline bool raisesNativeError(JNIEnv* e, const std::function<void()>& helper) {
    bool raised = false;
    zt::test::callNative([&] {
        ExceptionStash stash(e);
        try {
            helper();
        } catch (const NativeError&) {
            raised = true;
        }
    });
    return raised;
}

// A queue manager without connections or recorded calls, nothing logged, and
// tracing off in the host and in native code.
class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ztmctl::reset();
        zt::test::InternalException::clear();
        setTracing(false);
    }
    void TearDown() override { ztmctl::reset(); }

public:
    // Switches the host's trace and lets one verb carry the switch into native
    // code (only verbs refresh the native flag); clears what that verb left.
    static void setTracing(bool on) {
        zt::test::Trace::setOn(on);
        zt::test::callNative([] {
            Java_com_zel_zt_server_ZTSESSION__1ZTBACK(zt::test::env(), kSession, 0, nullptr,
                                                      nullptr);
        });
        zt::test::Trace::clear();
        ztmctl::clearCalls();
    }

    static zt::test::Holders holders(int hconn = 77, int cc = -1, int rc = -1) {
        return {zt::test::newPint(hconn), zt::test::newPint(cc), zt::test::newPint(rc)};
    }
    static std::vector<int> values(const zt::test::Holders& h) {
        return {zt::test::pintValue(h.hconn), zt::test::pintValue(h.cc),
                zt::test::pintValue(h.rc)};
    }
    static std::vector<std::string> functionsCalled() {
        std::vector<std::string> names;
        for (const auto& c : ztmctl::calls()) names.push_back(c.function);
        return names;
    }
};

using Lines = std::vector<std::string>;

}  // namespace conntest

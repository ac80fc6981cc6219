// Shared fixture of the object-verb tests: the natives called directly with
// real Java objects, over the stand-in queue manager (reset for every test).
#ifndef OBJECTS_TEST_H
#define OBJECTS_TEST_H

#include "Jvm.h"
#include "Outcome.h"
#include "ztm.h"
#include "ztm_control.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "com_zel_zt_server_ZTSESSION.h"

namespace objtest {

constexpr const char* kDescriptor = "com/zel/zt/ZTObjectDescriptor";
constexpr const char* kResponses = "[Lcom/zel/zt/ZTResponseRecord;";
constexpr const char* kObjectRecords = "[Lcom/zel/zt/ZTObjectRecord;";

const zt::test::Outcome kBridgeFailure{2, 2195};

class ObjectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ztmctl::reset();
        zt::test::Trace::setOn(false);
        zt::test::Trace::clear();
        zt::test::InternalException::clear();
        char name[48] = {};
        ZTLONG cc = -1, rc = -1;
        ZTCONN(name, &hconn, &cc, &rc);
        ASSERT_EQ(cc, ZTCC_OK);
        ztmctl::clearCalls();
    }
    void TearDown() override {
        ztmctl::reset();
        zt::test::Trace::setOn(false);
    }

    // ZTObjectDescriptor(name), version 1.
    static jobject descriptor(const std::string& name) {
        return zt::test::newObject(kDescriptor, "(Ljava/lang/String;)V", zt::test::newString(name));
    }
    // ZTObjectDescriptor.distributionList(names...): version 2.
    static jobject destinationList(const std::vector<std::string>& names) {
        JNIEnv* e = zt::test::env();
        jobjectArray a = e->NewObjectArray(static_cast<jsize>(names.size()),
                                           zt::test::findClass("java/lang/String"), nullptr);
        for (size_t i = 0; i < names.size(); ++i) {
            jstring s = zt::test::newString(names[i]);
            e->SetObjectArrayElement(a, static_cast<jsize>(i), s);
            e->DeleteLocalRef(s);
        }
        return zt::test::callStaticObject(kDescriptor, "distributionList",
                                          "([Ljava/lang/String;)Lcom/zel/zt/ZTObjectDescriptor;",
                                          a);
    }
    static jobject element(jobject od, const char* field, const char* sig, int i) {
        return zt::test::env()->GetObjectArrayElement(
            static_cast<jobjectArray>(zt::test::getObject(od, field, sig)), i);
    }
    static zt::test::Outcome response(jobject od, int i) {
        jobject r = element(od, "responseRecords", kResponses, i);
        return {zt::test::getInt(r, "completionCode"), zt::test::getInt(r, "reason")};
    }
    static void setResponse(jobject od, int i, zt::test::Outcome o) {
        jobject r = element(od, "responseRecords", kResponses, i);
        zt::test::setInt(r, "completionCode", o.cc);
        zt::test::setInt(r, "reason", o.rc);
    }
    // The three counts, in the order invalid, unknown, known.
    static std::vector<jint> counts(jobject od) {
        return {zt::test::getInt(od, "InvalidDestCount"), zt::test::getInt(od, "UnknownDestCount"),
                zt::test::getInt(od, "KnownDestCount")};
    }
    static void setCounts(jobject od, jint value) {
        for (const char* f : {"InvalidDestCount", "UnknownDestCount", "KnownDestCount"})
            zt::test::setInt(od, f, value);
    }

    // _ZTOPEN through the given environment (the real one by default).
    zt::test::Outcome open(jobject od, jint options, jobject hobj, JNIEnv* e = nullptr) {
        jobject cc = zt::test::newPint(-1), rc = zt::test::newPint(-1);
        zt::test::callNative([&] {
            Java_com_zel_zt_server_ZTSESSION__1ZTOPEN(e ? e : zt::test::env(), nullptr, hconn, od,
                                                      options, hobj, cc, rc);
        });
        return {zt::test::pintValue(cc), zt::test::pintValue(rc)};
    }
    zt::test::Outcome close(jobject hobj, JNIEnv* e = nullptr) {
        jobject cc = zt::test::newPint(-1), rc = zt::test::newPint(-1);
        zt::test::callNative([&] {
            Java_com_zel_zt_server_ZTSESSION__1ZTCLOSE(e ? e : zt::test::env(), nullptr, hconn,
                                                       hobj, 0, cc, rc);
        });
        return {zt::test::pintValue(cc), zt::test::pintValue(rc)};
    }

    // The descriptor as the last ZTOPEN received it, with the arrays it pointed to.
    static ztmctl::RecordedCall lastOpen() {
        auto opens = ztmctl::callsOf("ZTOPEN");
        if (opens.empty()) throw std::runtime_error("ZTOPEN was not called");
        return opens.back();
    }

    ZTLONG hconn = 0;
};

// A fixed-width field as text up to its first NUL (all of it when there is none).
inline std::string fieldText(const char* field, size_t width) {
    size_t n = 0;
    while (n < width && field[n] != '\0') ++n;
    return std::string(field, n);
}

}  // namespace objtest

#endif

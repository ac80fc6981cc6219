// Shared fixture of the message-verb tests: the three natives called with real
// Java objects through a counting JNI proxy, the stand-in queue manager under
// them, and helpers that build and compare native records byte by byte.
#ifndef MESSAGE_TEST_H
#define MESSAGE_TEST_H

#include <gtest/gtest.h>
#include <jni.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Bytes.h"
#include "Jvm.h"
#include "Outcome.h"
#include "ztm.h"
#include "ztm_control.h"

#include "com_zel_zt_server_ZTSESSION.h"

namespace msgtest {

inline const char* const kDescriptor = "com/zel/zt/ZTMessageDescriptor";
inline const char* const kRecordingDescriptor = "zt/messages/RecordingDescriptor";
inline const char* const kOldDescriptor = "zt/messages/OldDescriptor";
inline const char* const kGetOptions = "com/zel/zt/ZTGetMessageOptions";
inline const char* const kPutOptions = "com/zel/zt/ZTPutMessageOptions";
inline const char* const kCountedPutOptions = "zt/messages/CountedPutOptions";
inline const char* const kTracker = "com/zel/zt/ZTMessageTracker";
inline const char* const kResponse = "com/zel/zt/ZTResponseRecord";
inline const char* const kTrackers = "[Lcom/zel/zt/ZTMessageTracker;";
inline const char* const kResponses = "[Lcom/zel/zt/ZTResponseRecord;";

// A fixed-width character field as the bridge fills it: the text cut to the
// width, or the text and one NUL; the rest as it was (zero in a cleared record).
inline void text(char* field, size_t width, const std::string& s) {
    std::memcpy(field, s.data(), s.size() < width ? s.size() : width);
    if (s.size() < width) field[s.size()] = '\0';
}
inline void bytes(ZTBYTE* field, size_t width, const zt::test::Bytes& b) {
    std::memcpy(field, b.data(), b.size() < width ? b.size() : width);
}

// Equal bytes, or the offsets (first few) where they differ.
template <class T>
::testing::AssertionResult sameBytes(const T& actual, const T& expected) {
    const auto* a = reinterpret_cast<const uint8_t*>(&actual);
    const auto* e = reinterpret_cast<const uint8_t*>(&expected);
    std::ostringstream out;
    int differences = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        if (a[i] != e[i] && differences++ < 8) {
            out << " [" << i << "] got 0x" << std::hex << int(a[i]) << " want 0x" << int(e[i])
                << std::dec;
        }
    }
    if (differences == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differences << " byte(s) differ:" << out.str();
}

// Fields set and checked by name, in tables.
using IntFields = std::initializer_list<std::pair<const char*, jint>>;
using StringFields = std::initializer_list<std::pair<const char*, std::string>>;
inline void setInts(jobject o, IntFields fields) {
    for (const auto& f : fields) zt::test::setInt(o, f.first, f.second);
}
inline void setStrings(jobject o, StringFields fields) {
    for (const auto& f : fields) zt::test::setString(o, f.first, f.second);
}
inline void expectInts(jobject o, IntFields fields) {
    for (const auto& f : fields) EXPECT_EQ(zt::test::getInt(o, f.first), f.second) << f.first;
}
inline void expectStrings(jobject o, StringFields fields) {
    for (const auto& f : fields) EXPECT_EQ(zt::test::getString(o, f.first), f.second) << f.first;
}

// Object arrays of the host's record classes (or any class), elements made by
// `make(i)`; a null from make leaves the element null.
template <class Make>
jobjectArray objectArray(const char* elementClass, int n, Make make) {
    JNIEnv* e = zt::test::env();
    jobjectArray a = e->NewObjectArray(n, zt::test::findClass(elementClass), nullptr);
    for (int i = 0; i < n; ++i) {
        zt::test::LocalFrame frame(4);
        jobject el = make(i);
        if (el != nullptr) e->SetObjectArrayElement(a, i, el);
    }
    return a;
}

inline jobject element(jobjectArray a, int i) {
    return zt::test::env()->GetObjectArrayElement(a, i);
}

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ztmctl::reset();
        zt::test::InternalException::clear();
    }
    void TearDown() override { ztmctl::reset(); }

    // Each call goes through a proxy: it must make no JNI call while an
    // exception is pending, and its local references are counted.
    template <class Fn>
    zt::test::Outcome run(Fn&& call, jobject dataLengthH = nullptr) {
        jobject cc = zt::test::newPint(-1);
        jobject rc = zt::test::newPint(-1);
        zt::test::JniProxy proxy;
        zt::test::callNative([&] { call(proxy.env(), cc, rc, dataLengthH); });
        zt::test::Outcome o;
        o.pending = zt::test::takePendingException();
        o.cc = zt::test::pintValue(cc);
        o.rc = zt::test::pintValue(rc);
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse().front();
        lastMaxLocalRefs = proxy.maxLocalRefs();
        lastElementsTaken = proxy.count(zt::test::Fn::GetByteArrayElements);
        lastElementsReleased = proxy.count(zt::test::Fn::ReleaseByteArrayElements);
        return o;
    }

    zt::test::Outcome put(jint hconn, jint hobj, jobject md, jobject pmo, jint length,
                          jbyteArray data) {
        return run([&](JNIEnv* e, jobject cc, jobject rc, jobject) {
            Java_com_zel_zt_server_ZTSESSION__1ZTPUT(e, nullptr, hconn, hobj, md, pmo, length,
                                                     data, cc, rc);
        });
    }
    zt::test::Outcome put1(jint hconn, jobject od, jobject md, jobject pmo, jint length,
                           jbyteArray data) {
        return run([&](JNIEnv* e, jobject cc, jobject rc, jobject) {
            Java_com_zel_zt_server_ZTSESSION__1ZTPUT1(e, nullptr, hconn, od, md, pmo, length,
                                                      data, cc, rc);
        });
    }
    zt::test::Outcome get(jint hconn, jint hobj, jobject md, jobject gmo, jint length,
                          jbyteArray buffer, jobject dataLengthH) {
        return run(
            [&](JNIEnv* e, jobject cc, jobject rc, jobject dl) {
                Java_com_zel_zt_server_ZTSESSION__1ZTGET(e, nullptr, hconn, hobj, md, gmo,
                                                         length, buffer, dl, cc, rc);
            },
            dataLengthH);
    }

    long lastMaxLocalRefs = 0;
    long lastElementsTaken = 0;
    long lastElementsReleased = 0;
};

}  // namespace msgtest

#endif

// What the message-object and deferred-message tests share: the natives under
// test, message objects filled with telling values, the ZTMD records those
// values must give, and checks of a message object against a record.
#pragma once

#include "Bytes.h"
#include "Holders.h"
#include "Jvm.h"
#include "ztm.h"
#include "ztm_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "com_zel_zt_server_ZTSESSION.h"

namespace msgtest {

using zt::test::Bytes;
using zt::test::pattern;

constexpr const char* kMessageClass = "com/zel/zt/ZTMessage";
constexpr const char* kVersion1Class = "msgtest/MessageV1";
constexpr const char* kNoSetDataClass = "msgtest/NoSetMessageData";
constexpr long kBothContextBits = ZTPMO_SET_IDENTITY_CONTEXT | ZTPMO_SET_ALL_CONTEXT;

// The eight cached flags, then the conversion flag.
inline const std::vector<std::string>& cachedFlags() {
    static const std::vector<std::string> names{
        "putTimeCached",          "formatCached",           "replyToQueueNameCached",
        "replyToQueueManagerNameCached", "userIdCached",    "applicationIdDataCached",
        "putApplicationNameCached", "applicationOriginDataCached"};
    return names;
}
constexpr const char* kConversionFlag = "stringsNeedCcsidConversion";

inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

template <size_t N, typename T>
void fill(T (&field)[N], const std::optional<Bytes>& b) {
    if (b && !b->empty()) std::memcpy(field, b->data(), std::min(b->size(), N));
}

template <size_t N, typename T>
Bytes bytesOf(const T (&field)[N]) {
    const auto* p = reinterpret_cast<const uint8_t*>(field);
    return Bytes(p, p + N);
}

// Every member of a message object, with values no two fields share.
struct MessageValues {
    jint version = 2;
    jint report = 0x101, messageType = 0x102, expiry = 0x103, feedback = 0x104,
         encoding = 0x105, characterSet = 0x106, priority = 0x107, persistence = 0x108,
         backoutCount = 0x109, putApplicationType = 0x10A, messageSequenceNumber = 0x10B,
         offset = 0x10C, messageFlags = 0x10D, originalLength = 0x10E, readCursor = 17;
    std::optional<Bytes> messageId = pattern(24, 0x11, 3), correlationId = pattern(24, 0x21, 3),
                         groupId = pattern(24, 0x31, 3), accountingToken = pattern(32, 0x41, 3),
                         format = text("ZTSTR   "),
                         replyToQueueName = pattern(60, 0x51, 3),  // longer than its field
                         replyToQueueManagerName = text("REPLY.QM"),
                         userId = text("alice"), applicationIdData = pattern(32, 0x61, 3),
                         putApplicationName = text("putter"),
                         applicationOriginData = text("ORIG"),
                         dateText = text("19991231"), timeText = text("23595999");
};

inline const std::vector<std::pair<const char*, std::optional<Bytes> MessageValues::*>>&
byteFields() {
    static const std::vector<std::pair<const char*, std::optional<Bytes> MessageValues::*>> f{
        {"messageId", &MessageValues::messageId},
        {"correlationId", &MessageValues::correlationId},
        {"groupId", &MessageValues::groupId},
        {"accountingToken", &MessageValues::accountingToken},
        {"format", &MessageValues::format},
        {"replyToQueueName", &MessageValues::replyToQueueName},
        {"replyToQueueManagerName", &MessageValues::replyToQueueManagerName},
        {"userId", &MessageValues::userId},
        {"applicationIdData", &MessageValues::applicationIdData},
        {"putApplicationName", &MessageValues::putApplicationName},
        {"applicationOriginData", &MessageValues::applicationOriginData},
        {"dateText", &MessageValues::dateText},
        {"timeText", &MessageValues::timeText}};
    return f;
}

inline const std::vector<std::pair<const char*, jint MessageValues::*>>& intFields() {
    static const std::vector<std::pair<const char*, jint MessageValues::*>> f{
        {"version", &MessageValues::version},
        {"report", &MessageValues::report},
        {"messageType", &MessageValues::messageType},
        {"expiry", &MessageValues::expiry},
        {"feedback", &MessageValues::feedback},
        {"encoding", &MessageValues::encoding},
        {"characterSet", &MessageValues::characterSet},
        {"priority", &MessageValues::priority},
        {"persistence", &MessageValues::persistence},
        {"backoutCount", &MessageValues::backoutCount},
        {"putApplicationType", &MessageValues::putApplicationType},
        {"messageSequenceNumber", &MessageValues::messageSequenceNumber},
        {"offset", &MessageValues::offset},
        {"messageFlags", &MessageValues::messageFlags},
        {"originalLength", &MessageValues::originalLength},
        {"readCursor", &MessageValues::readCursor}};
    return f;
}

// Members a version-1 class does not have.
inline bool version2Only(const std::string& name) {
    return name == "groupId" || name == "messageSequenceNumber" || name == "originalLength";
}

// A message object of `cls` holding `v`, every flag set to `flags`.
inline jobject newMessage(const MessageValues& v = MessageValues(),
                          const char* cls = kMessageClass, bool flags = true) {
    jobject m = zt::test::newObject(cls, "()V");
    const bool v1Class = std::strcmp(cls, kVersion1Class) == 0;
    for (const auto& f : intFields())
        if (!(v1Class && version2Only(f.first))) zt::test::setInt(m, f.first, v.*(f.second));
    for (const auto& f : byteFields())
        if (!(v1Class && version2Only(f.first))) zt::test::setBytes(m, f.first, v.*(f.second));
    for (const auto& name : cachedFlags()) zt::test::setBoolean(m, name.c_str(), flags);
    zt::test::setBoolean(m, kConversionFlag, flags);
    return m;
}

inline std::map<std::string, bool> flagsOf(jobject m) {
    std::map<std::string, bool> f;
    for (const auto& name : cachedFlags()) f[name] = zt::test::getBoolean(m, name.c_str());
    f[kConversionFlag] = zt::test::getBoolean(m, kConversionFlag);
    return f;
}

inline ZTMD emptyRecord(jint version) {
    ZTMD md;
    std::memset(&md, 0, sizeof md);
    std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, sizeof md.eyeCatcher);
    md.version = version;
    return md;
}

// What selects the message: all a get sends, and part of what a put sends.
inline ZTMD selectionRecord(const MessageValues& v) {
    ZTMD md = emptyRecord(v.version);
    md.encoding = v.encoding;
    md.characterSet = v.characterSet;
    fill(md.messageId, v.messageId);
    fill(md.correlationId, v.correlationId);
    if (v.version > 1) {
        fill(md.groupId, v.groupId);
        md.messageSequenceNumber = v.messageSequenceNumber;
        md.offset = v.offset;
    }
    return md;
}

inline ZTMD expectedGetRecord(const MessageValues& v) {
    return selectionRecord(v);
}

// What a put must send for `v`: context only when asked for, never the put
// date and time.
inline ZTMD expectedPutRecord(const MessageValues& v, bool context) {
    ZTMD md = selectionRecord(v);
    md.report = v.report;
    md.messageType = v.messageType;
    md.expiry = v.expiry;
    md.feedback = v.feedback;
    fill(md.format, v.format);
    md.priority = v.priority;
    md.persistence = v.persistence;
    fill(md.replyToQueueName, v.replyToQueueName);
    fill(md.replyToQueueManagerName, v.replyToQueueManagerName);
    if (context) {
        fill(md.userId, v.userId);
        fill(md.accountingToken, v.accountingToken);
        fill(md.applicationIdData, v.applicationIdData);
        md.putApplicationType = v.putApplicationType;
        fill(md.putApplicationName, v.putApplicationName);
        fill(md.applicationOriginData, v.applicationOriginData);
    }
    if (v.version > 1) {
        md.messageFlags = v.messageFlags;
        md.originalLength = v.originalLength;
    }
    return md;
}

// A record as a queue manager hands it back: every field set, character
// fields full width with trailing blanks and NULs inside.
inline ZTMD queueManagerRecord(jint version = 2) {
    ZTMD md = emptyRecord(version);
    md.report = 0x201;
    md.messageType = 0x202;
    md.expiry = 0x203;
    md.feedback = 0x204;
    md.encoding = 0x205;
    md.characterSet = 0x206;
    fill(md.format, text(std::string("FMT\0 \0 X", 8)));
    md.priority = 0x207;
    md.persistence = 0x208;
    fill(md.messageId, pattern(24, 0x81, 3));
    fill(md.correlationId, pattern(24, 0x91, 3));
    md.backoutCount = 0x209;
    fill(md.replyToQueueName, pattern(48, 0xA1, 3));
    fill(md.replyToQueueManagerName, pattern(48, 0xB1, 3));
    fill(md.userId, text("qmuser      "));
    fill(md.accountingToken, pattern(32, 0xC1, 3));
    fill(md.applicationIdData, pattern(32, 0xD1, 3));
    md.putApplicationType = 0x20A;
    fill(md.putApplicationName, pattern(28, 0xE1, 3));
    fill(md.putDate, text("20261208"));
    fill(md.putTime, text("19301234"));
    fill(md.applicationOriginData, text(std::string("AB \0", 4)));
    fill(md.groupId, pattern(24, 0xF1, 3));
    md.messageSequenceNumber = 0x20B;
    md.offset = 0x20C;
    md.messageFlags = 0x20D;
    md.originalLength = 0x20E;
    return md;
}

// A scripted hook that hands `md` back as the queue manager's descriptor
// (the ZTMD is the third argument of every put and get function).
inline std::function<void(void**)> answerWith(const ZTMD& md) {
    return [md](void** args) { std::memcpy(args[2], &md, sizeof md); };
}

inline ::testing::AssertionResult sameRecord(const std::vector<uint8_t>& actual, const ZTMD& want) {
    if (actual.size() != sizeof want)
        return ::testing::AssertionFailure() << "record of " << actual.size() << " bytes";
    const auto* w = reinterpret_cast<const uint8_t*>(&want);
    for (size_t i = 0; i < sizeof want; ++i)
        if (actual[i] != w[i])
            return ::testing::AssertionFailure()
                   << "first difference at byte " << i << ": " << int(actual[i]) << ", expected "
                   << int(w[i]);
    return ::testing::AssertionSuccess();
}

// The fields the write-back after a put (and a get) replaces.
inline void expectCommonFieldsFrom(jobject m, const ZTMD& md, bool version2) {
    EXPECT_EQ(zt::test::getBytes(m, "correlationId"), bytesOf(md.correlationId));
    EXPECT_EQ(zt::test::getBytes(m, "messageId"), bytesOf(md.messageId));
    EXPECT_EQ(zt::test::getBytes(m, "userId"), bytesOf(md.userId));
    EXPECT_EQ(zt::test::getBytes(m, "accountingToken"), bytesOf(md.accountingToken));
    EXPECT_EQ(zt::test::getBytes(m, "applicationIdData"), bytesOf(md.applicationIdData));
    EXPECT_EQ(zt::test::getInt(m, "putApplicationType"), md.putApplicationType);
    EXPECT_EQ(zt::test::getBytes(m, "putApplicationName"), bytesOf(md.putApplicationName));
    EXPECT_EQ(zt::test::getBytes(m, "dateText"), bytesOf(md.putDate));
    EXPECT_EQ(zt::test::getBytes(m, "timeText"), bytesOf(md.putTime));
    EXPECT_EQ(zt::test::getBytes(m, "applicationOriginData"), bytesOf(md.applicationOriginData));
    if (version2) {
        EXPECT_EQ(zt::test::getBytes(m, "groupId"), bytesOf(md.groupId));
        EXPECT_EQ(zt::test::getInt(m, "messageSequenceNumber"), md.messageSequenceNumber);
        EXPECT_EQ(zt::test::getInt(m, "offset"), md.offset);
    }
}

// The fields only a get writes back.
inline void expectGetOnlyFieldsFrom(jobject m, const ZTMD& md, bool version2) {
    EXPECT_EQ(zt::test::getInt(m, "report"), md.report);
    EXPECT_EQ(zt::test::getInt(m, "messageType"), md.messageType);
    EXPECT_EQ(zt::test::getInt(m, "expiry"), md.expiry);
    EXPECT_EQ(zt::test::getInt(m, "feedback"), md.feedback);
    EXPECT_EQ(zt::test::getInt(m, "encoding"), md.encoding);
    EXPECT_EQ(zt::test::getBytes(m, "format"), bytesOf(md.format));
    EXPECT_EQ(zt::test::getInt(m, "priority"), md.priority);
    EXPECT_EQ(zt::test::getInt(m, "persistence"), md.persistence);
    EXPECT_EQ(zt::test::getInt(m, "backoutCount"), md.backoutCount);
    EXPECT_EQ(zt::test::getBytes(m, "replyToQueueName"), bytesOf(md.replyToQueueName));
    EXPECT_EQ(zt::test::getBytes(m, "replyToQueueManagerName"),
              bytesOf(md.replyToQueueManagerName));
    EXPECT_EQ(zt::test::getInt(m, "characterSet"), md.characterSet);
    if (version2) {
        EXPECT_EQ(zt::test::getInt(m, "messageFlags"), md.messageFlags);
        EXPECT_EQ(zt::test::getInt(m, "originalLength"), md.originalLength);
    }
}

// Every member of the message object still as `v` made it; byte fields the
// very same arrays as in `before` (fields named in `except` are skipped).
inline void expectUntouched(jobject m, const MessageValues& v,
                            const std::map<std::string, jobject>& before,
                            const std::vector<std::string>& except = {}) {
    auto skipped = [&](const std::string& n) {
        return std::find(except.begin(), except.end(), n) != except.end();
    };
    for (const auto& f : intFields()) {
        if (!skipped(f.first)) {
            EXPECT_EQ(zt::test::getInt(m, f.first), v.*(f.second)) << f.first;
        }
    }
    for (const auto& f : byteFields()) {
        if (skipped(f.first)) continue;
        EXPECT_TRUE(zt::test::env()->IsSameObject(zt::test::getObject(m, f.first, "[B"),
                                                  before.at(f.first)))
            << f.first << " was replaced";
        EXPECT_EQ(zt::test::getBytes(m, f.first), v.*(f.second)) << f.first;
    }
}

// The byte-array members as they are now (to prove later that none was replaced).
inline std::map<std::string, jobject> arraysOf(jobject m) {
    std::map<std::string, jobject> a;
    for (const auto& f : byteFields()) a[f.first] = zt::test::getObject(m, f.first, "[B");
    return a;
}

inline jobject putOptionsObject(jint options, jint version = 1) {
    jobject pmo = zt::test::newObject("com/zel/zt/ZTPutMessageOptions", "(I)V", version);
    zt::test::setInt(pmo, "options", options);
    return pmo;
}

inline jobject getOptionsObject(jint options = 0) {
    jobject gmo = zt::test::newObject("com/zel/zt/ZTGetMessageOptions", "()V");
    zt::test::setInt(gmo, "options", options);
    return gmo;
}

inline ztmctl::Answer answer(int32_t compCode, int32_t reason,
                             std::function<void(void**)> hook = nullptr) {
    ztmctl::Answer a;
    a.compCode = compCode;
    a.reason = reason;
    a.hook = std::move(hook);
    return a;
}

// Names of the functions the queue manager saw, in order.
inline std::vector<std::string> qmgrCalls() {
    std::vector<std::string> names;
    for (const auto& c : ztmctl::calls()) names.push_back(c.function);
    return names;
}

// A connection to the stand-in's default queue manager and a queue opened on
// it, made directly (what is under test is the message verbs).
inline ZTLONG connectQmgr() {
    char name[48] = {};
    ZTLONG hconn = 0, cc = -1, rc = -1;
    ZTCONN(name, &hconn, &cc, &rc);
    EXPECT_EQ(cc, ZTCC_OK) << rc;
    return hconn;
}

inline ZTLONG openQueue(ZTLONG hconn, const std::string& name,
                        ZTLONG options = ZTOO_OUTPUT | ZTOO_INPUT_SHARED) {
    ZTOD od;
    std::memset(&od, 0, sizeof od);
    std::memcpy(od.eyeCatcher, ZTOD_EYE_CATCHER, sizeof od.eyeCatcher);
    od.version = 1;
    od.objectType = ZTOT_Q;
    std::memcpy(od.objectName, name.data(), std::min(name.size(), sizeof od.objectName));
    ZTLONG hobj = 0, cc = -1, rc = -1;
    ZTOPEN(hconn, &od, options, &hobj, &cc, &rc);
    EXPECT_EQ(cc, ZTCC_OK) << rc;
    return hobj;
}

// After an accepted put: the flags of the replaced fields false, the others
// as they were (`before`).
inline void expectFlagsAfterPut(jobject m, bool before) {
    auto f = flagsOf(m);
    for (const char* cleared : {"userIdCached", "applicationIdDataCached",
                                "putApplicationNameCached", "putTimeCached",
                                "applicationOriginDataCached", kConversionFlag})
        EXPECT_FALSE(f.at(cleared)) << cleared;
    for (const char* kept : {"formatCached", "replyToQueueNameCached",
                             "replyToQueueManagerNameCached"})
        EXPECT_EQ(f.at(kept), before) << kept;
}

// _ZTGETMSG2 without syncpoint into the whole of `buffer`.
inline void getWithMessageObject(jint hconn, jint hobj, jobject m, jbyteArray buffer,
                                 const zt::test::Holders& h) {
    zt::test::callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTGETMSG2(
            zt::test::env(), nullptr, hconn, hobj, m, getOptionsObject(ZTGMO_NO_SYNCPOINT),
            zt::test::env()->GetArrayLength(buffer), buffer, h.length, h.cc, h.rc);
    });
}

// Put options of version 2 with one response record: its converter is built
// only in the write-back, after the queue manager's call.
inline jobject putOptionsWithResponseRecord() {
    jobject pmo = putOptionsObject(0, 2);
    jobject records = zt::test::env()->NewObjectArray(
        1, zt::test::findClass("com/zel/zt/ZTResponseRecord"),
        zt::test::newObject("com/zel/zt/ZTResponseRecord", "()V"));
    zt::test::setObject(pmo, "responseRecords", "[Lcom/zel/zt/ZTResponseRecord;", records);
    return pmo;
}

// Makes the first member lookup after the queue manager's first call fail
// (a native error in the write-back); `armed` tells whether it happened.
inline void failFirstLookupAfterTheCall(zt::test::JniProxy& proxy, bool& armed) {
    armed = false;
    proxy.before(zt::test::Fn::GetFieldID, [&proxy, &armed] {
        if (!armed && ztmctl::callCount() > 0) {
            armed = true;
            proxy.failCall(zt::test::Fn::GetFieldID);
        }
    });
}

// A fresh stand-in state, tracing off, nothing logged.
class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ztmctl::reset();
        zt::test::Trace::setOn(false);
        zt::test::Trace::clear();
        zt::test::InternalException::clear();
    }
    void TearDown() override {
        zt::test::Trace::setOn(false);
        ztmctl::reset();
    }
};

}  // namespace msgtest

// The deferred-message natives of libdeferbridge (_spiDefPut, _spiDefActivate,
// _spiDefCancel) against the real JVM: the ZTLPOP and ZTLACT bytes, the message
// object written back as by a put with message objects, the refusals that keep
// the queue manager from reading outside the arrays, the trace lines under the
// library's own class name, and deferred messages through the stand-in.
#include "MessageObjects.h"

#include <algorithm>

using namespace zt::test;
using namespace msgtest;

namespace {

const jint kHconn = 5;
const jint kHobj = 6;

// The values the queue manager is sent, whatever the header calls them.
static_assert(ZTLPOP_DEFERRED == 4, "deferred put option");
static_assert(ZTLACT_ACTIVATE == 1 && ZTLACT_CANCEL == 2, "activate and cancel actions");

void defPut(JNIEnv* e, jint hconn, jint hobj, jobject m, jobject pmo, jint length,
            jbyteArray data, const Holders& h) {
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1spiDefPut(e, nullptr, hconn, hobj, m, pmo, length,
                                                     data, h.cc, h.rc);
    });
}

void activate(JNIEnv* e, jint hconn, jbyteArray key, const Holders& h) {
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1spiDefActivate(e, nullptr, hconn, key, h.cc, h.rc);
    });
}

void cancel(JNIEnv* e, jint hconn, jbyteArray key, const Holders& h) {
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1spiDefCancel(e, nullptr, hconn, key, h.cc, h.rc);
    });
}

using DeferredPut = BridgeTest;
using ActivateAndCancel = BridgeTest;
using DeferredRoundTrip = BridgeTest;
using DeferredTrace = BridgeTest;

}  // namespace

// --- _spiDefPut ---------------------------------------------------------------------------

TEST_F(DeferredPut, SendsLpopWithOptions4WhateverThePutOptions) {
    const MessageValues v;
    jobject m = newMessage(v);
    jbyteArray data = newByteArray(text("later"));
    for (jint options : {0, ZTPMO_SYNCPOINT, 0xC00, 0x800 | ZTPMO_NEW_MSG_ID, 4, -1}) {
        SCOPED_TRACE(options);
        ztmctl::clearCalls();
        ztmctl::scriptNext("lpiSPIPut", answer(2, ZTRC_Q_FULL));  // leaves m as it is
        Holders h;
        defPut(env(), kHconn, kHobj, m, putOptionsObject(options), 5, data, h);
        EXPECT_EQ(h.compCode(), 2);
        EXPECT_EQ(h.reason(), ZTRC_Q_FULL);
        auto puts = ztmctl::callsOf("lpiSPIPut");
        ASSERT_EQ(puts.size(), 1u);
        EXPECT_EQ(qmgrCalls(), std::vector<std::string>{"lpiSPIPut"});
        const auto& lpop = puts[0].record("ZTLPOP");
        ASSERT_EQ(lpop.size(), sizeof(ZTLPOP));
        EXPECT_EQ(Bytes(lpop.begin(), lpop.begin() + 4), text("LPOP"));
        EXPECT_EQ(puts[0].recordAs<ZTLPOP>("ZTLPOP").version, 1);
        EXPECT_EQ(puts[0].recordAs<ZTLPOP>("ZTLPOP").options, ZTLPOP_DEFERRED);
        // The same message-object converter as the session library's puts.
        EXPECT_TRUE(sameRecord(puts[0].record("ZTMD"),
                               expectedPutRecord(v, (options & kBothContextBits) ==
                                                        kBothContextBits)));
        EXPECT_EQ(puts[0].recordAs<ZTPMO>("ZTPMO").options, options);
        EXPECT_EQ(puts[0].arg("hconn"), kHconn);
        EXPECT_EQ(puts[0].arg("hobj"), kHobj);
        EXPECT_EQ(puts[0].record("data"), text("later"));
    }
}

TEST_F(DeferredPut, WritesBackAsAPutWithMessageObjectsOnlyWhenAccepted) {
    const MessageValues v;
    const ZTMD qm = queueManagerRecord();
    for (int compCode : {0, 1, 2}) {
        LocalFrame round(64);
        SCOPED_TRACE(compCode);
        jobject m = newMessage(v);
        auto before = arraysOf(m);
        jobject pmo = putOptionsObject(0);
        ztmctl::scriptNext("lpiSPIPut", answer(compCode, 3000 + compCode, [qm](void** args) {
                               std::memcpy(args[2], &qm, sizeof qm);
                               std::memcpy(static_cast<ZTPMO*>(args[3])->resolvedQueueName,
                                           "Q.RESOLVED", 11);
                           }));
        Holders h;
        defPut(env(), kHconn, kHobj, m, pmo, 1, newByteArray({1}), h);
        EXPECT_EQ(h.compCode(), compCode);
        EXPECT_EQ(h.reason(), 3000 + compCode);
        if (compCode == 2) {
            expectUntouched(m, v, before);
            for (const auto& flag : flagsOf(m)) EXPECT_TRUE(flag.second) << flag.first;
            EXPECT_EQ(getString(pmo, "resolvedQueueName"), std::nullopt);
            continue;
        }
        expectCommonFieldsFrom(m, qm, true);
        expectFlagsAfterPut(m, true);
        EXPECT_EQ(getBytes(m, "format"), v.format);
        EXPECT_EQ(getInt(m, "report"), v.report);
        EXPECT_EQ(getInt(m, "readCursor"), v.readCursor);
        EXPECT_EQ(getString(pmo, "resolvedQueueName"), std::optional<std::string>("Q.RESOLVED"));
    }
}

TEST_F(DeferredPut, RefusedBeforeTheCallWhenDataOrAMemberIsMissing) {
    const MessageValues v;
    jobject m = newMessage(v);
    auto before = arraysOf(m);
    jbyteArray ten = newByteArray(pattern(10, 2, 3));
    const struct {
        jbyteArray array;
        jint length;
    } refused[] = {{nullptr, 0}, {nullptr, 3}, {ten, -1}, {ten, 11}};
    for (const auto& c : refused) {
        LocalFrame round(64);
        SCOPED_TRACE(c.length);
        Holders h;
        defPut(env(), kHconn, kHobj, m, putOptionsObject(0), c.length, c.array, h);
        EXPECT_EQ(h.compCode(), 2);
        EXPECT_EQ(h.reason(), 2195);
        EXPECT_EQ(takePendingException(), "");
    }
    expectUntouched(m, v, before);

    // Version 2 on a class without the version-2 members.
    jobject v1 = newMessage(v, kVersion1Class);
    Holders h;
    defPut(env(), kHconn, kHobj, v1, putOptionsObject(0), 10, ten, h);
    EXPECT_EQ(h.compCode(), 2);
    EXPECT_EQ(h.reason(), 2195);
    EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
    EXPECT_EQ(InternalException::logged(),
              std::vector<std::string>{"103 messageSequenceNumber"});
    EXPECT_EQ(ztmctl::callCount(), 0u) << "the queue manager is not called";

    // The same class as version 1 is put.
    setInt(v1, "version", 1);
    ztmctl::scriptNext("lpiSPIPut", answer(0, 0, answerWith(queueManagerRecord(1))));
    Holders ok;
    defPut(env(), kHconn, kHobj, v1, putOptionsObject(0), 10, ten, ok);
    EXPECT_EQ(ok.compCode(), 0);
    EXPECT_EQ(ztmctl::callsOf("lpiSPIPut").size(), 1u);
    EXPECT_EQ(getBytes(v1, "messageId"), bytesOf(queueManagerRecord().messageId));
}

TEST_F(DeferredPut, ElementsAreReleasedWhenTheWriteBackFails) {
    jbyteArray data = newByteArray(text("data"));
    ztmctl::scriptNext("lpiSPIPut", answer(0, 0));
    // Tracing on: the fields are then read through the traced readers, which
    // take the arrays' elements (with tracing off only the bytes needed are
    // copied, and there is nothing to release).
    Trace::setOn(true);
    {
        JniProxy proxy;
        bool armed = false;
        failFirstLookupAfterTheCall(proxy, armed);  // the response record's member
        Holders h;
        defPut(proxy.env(), kHconn, kHobj, newMessage(), putOptionsWithResponseRecord(), 4, data,
               h);
        EXPECT_TRUE(armed);
        EXPECT_EQ(h.compCode(), 2) << "in place of the queue manager's 0";
        EXPECT_EQ(h.reason(), 2195);
        EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
        EXPECT_GE(proxy.count(Fn::GetByteArrayElements), 1);
        EXPECT_EQ(proxy.count(Fn::ReleaseByteArrayElements),
                  proxy.count(Fn::GetByteArrayElements));
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }
    // The array is free for the next put.
    ztmctl::scriptNext("lpiSPIPut", answer(0, 0));
    Holders again;
    defPut(env(), kHconn, kHobj, newMessage(), putOptionsObject(0), 4, data, again);
    EXPECT_EQ(again.compCode(), 0);
    auto puts = ztmctl::callsOf("lpiSPIPut");
    ASSERT_EQ(puts.size(), 2u);
    EXPECT_EQ(puts[1].record("data"), text("data"));
}

// --- _spiDefActivate and _spiDefCancel ---------------------------------------------------------

TEST_F(ActivateAndCancel, RecordsDifferOnlyInTheActionWord) {
    const Bytes key = pattern(30, 0x71, 3);  // only its first 24 bytes are the key
    jbyteArray keyArray = newByteArray(key);
    ztmctl::scriptNext("lpiSPIActivateMessage", answer(1, 3100));
    ztmctl::scriptNext("lpiSPIActivateMessage", answer(2, ZTRC_UNKNOWN_MESSAGE_KEY));
    Holders ha, hc;
    activate(env(), kHconn, keyArray, ha);
    cancel(env(), kHconn, keyArray, hc);
    EXPECT_EQ(ha.compCode(), 1);
    EXPECT_EQ(ha.reason(), 3100);
    EXPECT_EQ(hc.compCode(), 2);
    EXPECT_EQ(hc.reason(), ZTRC_UNKNOWN_MESSAGE_KEY);
    auto calls = ztmctl::callsOf("lpiSPIActivateMessage");
    ASSERT_EQ(calls.size(), 2u);
    const ZTLACT a = calls[0].recordAs<ZTLACT>("ZTLACT");
    const ZTLACT c = calls[1].recordAs<ZTLACT>("ZTLACT");
    for (const ZTLACT* r : {&a, &c}) {
        EXPECT_EQ(bytesOf(r->eyeCatcher), text("LACT"));
        EXPECT_EQ(r->version, 1);
        EXPECT_EQ(bytesOf(r->reserved), Bytes(96, 0)) << "bytes 12 to 107";
        EXPECT_EQ(bytesOf(r->messageKey), Bytes(key.begin(), key.begin() + 24));
    }
    EXPECT_EQ(a.action, ZTLACT_ACTIVATE);
    EXPECT_EQ(c.action, ZTLACT_CANCEL);
    // Byte for byte, only the action word differs.
    const auto& ab = calls[0].record("ZTLACT");
    const auto& cb = calls[1].record("ZTLACT");
    for (size_t i = 0; i < sizeof(ZTLACT); ++i) {
        if (i < offsetof(ZTLACT, action) || i >= offsetof(ZTLACT, action) + sizeof(ZTLONG)) {
            EXPECT_EQ(ab[i], cb[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(calls[0].arg("hconn"), kHconn);
    EXPECT_EQ(byteArrayValue(keyArray), key) << "the key array is not written";
}

TEST_F(ActivateAndCancel, KeyMissingShorterThan24OrNotLentIsRefusedBeforeTheCall) {
    for (auto verb : {activate, cancel}) {
        for (jbyteArray key : {jbyteArray(nullptr), newByteArray({}), newByteArray(Bytes(23, 7))}) {
            Holders h;
            verb(env(), kHconn, key, h);
            EXPECT_EQ(h.compCode(), 2);
            EXPECT_EQ(h.reason(), 2195);
        }
        // Elements the JVM cannot lend.
        JniProxy proxy;
        proxy.failCall(Fn::GetByteArrayElements);
        Holders h;
        verb(proxy.env(), kHconn, newByteArray(Bytes(24, 7)), h);
        EXPECT_EQ(h.compCode(), 2);
        EXPECT_EQ(h.reason(), 2195);
        EXPECT_EQ(proxy.failuresInjected(), 1);
        EXPECT_EQ(takePendingException(), "java.lang.OutOfMemoryError");
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }
    EXPECT_EQ(ztmctl::callCount(), 0u) << "the queue manager is not called";

    // Exactly 24 bytes is a key.
    ztmctl::scriptNext("lpiSPIActivateMessage", answer(0, 0));
    Holders h;
    activate(env(), kHconn, newByteArray(Bytes(24, 7)), h);
    EXPECT_EQ(h.compCode(), 0);
    EXPECT_EQ(ztmctl::callsOf("lpiSPIActivateMessage").size(), 1u);
}

TEST_F(DeferredTrace, EntryAndExitLinesNameTheDeferredClass) {
    Trace::setOn(true);
    ztmctl::scriptNext("lpiSPIPut", answer(0, 0));
    ztmctl::scriptNext("lpiSPIActivateMessage", answer(0, 0));
    ztmctl::scriptNext("lpiSPIActivateMessage", answer(2, ZTRC_UNKNOWN_MESSAGE_KEY));
    Holders h1, h2, h3;
    jbyteArray key = newByteArray(Bytes(24, 1));
    defPut(env(), kHconn, kHobj, newMessage(), putOptionsObject(0), 1, newByteArray({1}), h1);
    activate(env(), kHconn, key, h2);
    cancel(env(), kHconn, key, h3);
    auto lines = Trace::lines();
    Trace::setOn(false);
    auto has = [&](const std::string& l) {
        return std::find(lines.begin(), lines.end(), l) != lines.end();
    };
    for (const char* line : {"entry com.zel.zt.server_ZTSESSION_DEF _spiDefPut",
                             "trace2 _spiDefPut CompCode is  0", "trace2 _spiDefPut Reason: 0",
                             "exit com.zel.zt.server_ZTSESSION_DEF _spiDefPut",
                             "entry NativeZTMsg2 populateNativeZTMDForPut",
                             "entry com.zel.zt.server_ZTSESSION_DEF _spiDefActivate",
                             "trace2 _spiDefActivate CompCode is  0",
                             "exit com.zel.zt.server_ZTSESSION_DEF _spiDefActivate",
                             "entry com.zel.zt.server_ZTSESSION_DEF _spiDefCancel",
                             "trace2 _spiDefCancel CompCode is  2",
                             "trace2 _spiDefCancel Reason: 3025",
                             "exit com.zel.zt.server_ZTSESSION_DEF _spiDefCancel"})
        EXPECT_TRUE(has(line)) << line;
    for (const auto& l : lines)
        EXPECT_EQ(l.find("com.zel.zt.server_ZTSESSION "), std::string::npos) << l;
}

// --- through the stand-in queue manager ----------------------------------------------------------

namespace {

// A deferred put of `data` on a fresh message object; returns its key.
jbyteArray putDeferred(ZTLONG hconn, ZTLONG hobj, const std::string& data) {
    jobject m = newObject(kMessageClass, "()V");
    Holders h;
    defPut(env(), hconn, hobj, m, putOptionsObject(ZTPMO_NO_SYNCPOINT), static_cast<jint>(data.size()),
           newByteArray(text(data)), h);
    EXPECT_EQ(h.compCode(), 0) << h.reason();
    EXPECT_FALSE(allZero(getBytes(m, "messageId")));
    return static_cast<jbyteArray>(getObject(m, "messageId", "[B"));
}

// The data of the next message, or "" and the reason in `reason`.
std::string getText(ZTLONG hconn, ZTLONG hobj, int* reason = nullptr) {
    jbyteArray buffer = newByteArray(Bytes(32, 0));
    jobject m = newObject(kMessageClass, "()V");
    Holders h;
    getWithMessageObject(hconn, hobj, m, buffer, h);
    if (reason != nullptr) *reason = h.reason();
    if (h.compCode() != 0) return "";
    Bytes b = byteArrayValue(buffer);
    return std::string(b.begin(), b.begin() + h.dataLength());
}

}  // namespace

TEST_F(DeferredRoundTrip, InvisibleUntilActivatedThenGotOnce) {
    const ZTLONG hconn = connectQmgr();
    const ZTLONG hobj = openQueue(hconn, "Q.DEFERRED");
    jbyteArray key = putDeferred(hconn, hobj, "wait for it");
    int reason = 0;
    EXPECT_EQ(getText(hconn, hobj, &reason), "");
    EXPECT_EQ(reason, ZTRC_NO_MSG_AVAILABLE) << "invisible before activation";
    EXPECT_EQ(ztmctl::totalDepth("Q.DEFERRED"), 1u);

    Holders h;
    activate(env(), hconn, key, h);
    EXPECT_EQ(h.compCode(), 0) << h.reason();
    EXPECT_EQ(getText(hconn, hobj), "wait for it");
    EXPECT_EQ(getText(hconn, hobj, &reason), "");
    EXPECT_EQ(reason, ZTRC_NO_MSG_AVAILABLE) << "got exactly once";
    EXPECT_EQ(ztmctl::totalDepth("Q.DEFERRED"), 0u);
}

TEST_F(DeferredRoundTrip, CancelledNeverGotAndUnknownKeysFail) {
    const ZTLONG hconn = connectQmgr();
    const ZTLONG hobj = openQueue(hconn, "Q.DEFERRED");
    jbyteArray key = putDeferred(hconn, hobj, "never");
    Holders hc;
    cancel(env(), hconn, key, hc);
    EXPECT_EQ(hc.compCode(), 0) << hc.reason();
    int reason = 0;
    EXPECT_EQ(getText(hconn, hobj, &reason), "");
    EXPECT_EQ(reason, ZTRC_NO_MSG_AVAILABLE);
    EXPECT_EQ(ztmctl::totalDepth("Q.DEFERRED"), 0u);

    // Neither the cancelled key nor one never issued names a message any more.
    for (jbyteArray unknown : {key, newByteArray(pattern(24, 0x56, 3))}) {
        Holders ha, hx;
        activate(env(), hconn, unknown, ha);
        cancel(env(), hconn, unknown, hx);
        for (const Holders* h : {&ha, &hx}) {
            EXPECT_EQ(h->compCode(), 2);
            EXPECT_EQ(h->reason(), ZTRC_UNKNOWN_MESSAGE_KEY);
        }
    }
    EXPECT_EQ(getText(hconn, hobj, &reason), "");
}

// The connection and unit-of-work verbs on the stand-in queue manager: what
// they send (records byte for byte), what they write back and when, and how
// the bridge's own failures end.
#include "ConnTest.h"

#include "ztm.h"

#include <cstring>

using namespace zt::test;
using namespace conntest;

namespace {

using Verbs = ConnectionTest;

const std::vector<std::string> kConnectVerbs = {"_ZTCONN", "_ZTCONNX", "_spiConnect"};

// The queue manager function behind each connect verb.
std::string connectFunction(const std::string& verb) {
    return verb == "_ZTCONN" ? "ZTCONN" : verb == "_ZTCONNX" ? "ZTCONNX" : "lpiSPIZTConnect";
}

std::vector<uint8_t> bytesOf(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    return {b, b + n};
}

template <typename T>
void put(std::vector<uint8_t>& record, size_t offset, T value) {
    std::memcpy(record.data() + offset, &value, sizeof value);
}

std::vector<uint8_t> options12(const char* eyeCatcher, int32_t version, int32_t options) {
    std::vector<uint8_t> r(12);
    std::memcpy(r.data(), eyeCatcher, 4);
    put(r, 4, version);
    put(r, 8, options);
    return r;
}

ztmctl::Answer answer(int compCode, int reason, int hconn) {
    ztmctl::Answer a;
    a.compCode = compCode;
    a.reason = reason;
    a.hconn = hconn;
    return a;
}

// _spiConnect with options 5 into fresh holders (handle 77); its result.
jint spiConnect(Holders& h, jint options = 5) {
    h = ConnectionTest::holders(77);
    jint result = -1;
    callNative([&] {
        result = Java_com_zel_zt_server_ZTSESSION__1spiConnect(env(), kSession, newString("QM1"), options, h.hconn,
                                                              h.cc, h.rc);
    });
    return result;
}

void connectX(const Holders& h, const std::string& name = "QM1", jint options = 0) {
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTCONNX(env(), kSession, newString(name), options, h.hconn, h.cc, h.rc);
    });
}

}  // namespace

TEST_F(Verbs, ConnectVerbsWriteTheHandleOnlyForCompletionCodes0And1) {
    for (const std::string& verb : kConnectVerbs) {
        SCOPED_TRACE(verb);
        LocalFrame frame(32);
        jint result = -1;
        auto run = [&](const Holders& h) {
            callNative([&] { result = verbNamed(verb).call(env(), h, 0, newString("QM1")); });
        };

        ztmctl::scriptNext(connectFunction(verb), answer(1, 7, 4242));
        Holders h = holders(77);
        run(h);
        EXPECT_EQ(values(h), std::vector<int>({4242, 1, 7}));

        ztmctl::scriptNext(connectFunction(verb), answer(2, ZTRC_QMGR_NAME_ERROR, 999));
        h = holders(77);
        run(h);
        EXPECT_EQ(values(h), std::vector<int>({77, 2, ZTRC_QMGR_NAME_ERROR}));
        if (verb == "_spiConnect") {
            EXPECT_EQ(result, 1);
        }

        h = holders(77);
        run(h);
        EXPECT_EQ(values(h)[1], 0);
        EXPECT_TRUE(ztmctl::isLiveConnection(pintValue(h.hconn)));
        EXPECT_EQ(ztmctl::pendingScripts(connectFunction(verb)), 0u);
    }
}

TEST_F(Verbs, ConnectOptionsAndTheServiceProviderRecordGoAsBuilt) {
    for (jint options : {0x12345678, -1}) {
        Holders h = holders();
        connectX(h, "QM1", options);
        Holders s = holders();
        callNative([&] {
            Java_com_zel_zt_server_ZTSESSION__1spiConnect(env(), kSession, newString("QM1"), options, s.hconn, s.cc, s.rc);
        });
    }
    std::vector<ztmctl::RecordedCall> calls = ztmctl::calls();
    ASSERT_EQ(functionsCalled(),
              Lines({"ZTCONNX", "lpiSPIZTConnect", "ZTCONNX", "lpiSPIZTConnect"}));
    EXPECT_EQ(calls[0].record("ZTCNO"), options12("CNO ", 1, 0x12345678));
    EXPECT_EQ(calls[1].record("ZTCNO"), options12("CNO ", 1, 0x12345678));
    EXPECT_EQ(calls[2].record("ZTCNO"), options12("CNO ", 1, -1));
    EXPECT_EQ(calls[3].record("ZTCNO"), options12("CNO ", 1, -1));

    std::vector<uint8_t> lcno(160, 0);
    std::memcpy(lcno.data(), "LCNO", 4);
    put<int32_t>(lcno, 4, 2);
    put<int32_t>(lcno, 8, 0x80);
    put<int32_t>(lcno, 16, -1);
    put<int32_t>(lcno, 140, -1);
    EXPECT_EQ(calls[1].record("ZTLCNO"), lcno);
    EXPECT_EQ(calls[3].record("ZTLCNO"), lcno);
}

TEST_F(Verbs, SpiConnectFallsBackToZTCONNXOnlyOnReason2195) {
    for (int spiCompCode : {2, 1}) {
        SCOPED_TRACE(spiCompCode);
        ztmctl::clearCalls();
        ztmctl::scriptNext("lpiSPIZTConnect", answer(spiCompCode, ZTRC_UNEXPECTED_ERROR, 13));
        ztmctl::scriptNext("ZTCONNX", answer(1, 44, 31));
        Holders h;
        EXPECT_EQ(spiConnect(h), 0);
        EXPECT_EQ(values(h), std::vector<int>({31, 1, 44}));
        std::vector<ztmctl::RecordedCall> calls = ztmctl::calls();
        ASSERT_EQ(functionsCalled(), Lines({"lpiSPIZTConnect", "ZTCONNX"}));
        // The very same records go to the second call.
        EXPECT_EQ(calls[1].pointer("ZTCNO"), calls[0].pointer("ZTCNO"));
        EXPECT_EQ(calls[1].pointer("qmgrName"), calls[0].pointer("qmgrName"));
        EXPECT_EQ(calls[1].record("ZTCNO"), options12("CNO ", 1, 5));
        EXPECT_EQ(calls[0].record("ZTCNO"), calls[1].record("ZTCNO"));
    }

    // Any other reason, success included, is final.
    const std::pair<int, int> finals[] = {{0, 0}, {2, ZTRC_QMGR_NAME_ERROR}, {1, 2196}, {2, 2194}};
    for (auto [cc, rc] : finals) {
        SCOPED_TRACE(rc);
        ztmctl::clearCalls();
        ztmctl::scriptNext("lpiSPIZTConnect", answer(cc, rc, 13));
        Holders h;
        EXPECT_EQ(spiConnect(h), 1);
        EXPECT_EQ(values(h), std::vector<int>({cc == 2 ? 77 : 13, cc, rc}));
        EXPECT_EQ(functionsCalled(), Lines({"lpiSPIZTConnect"}));
    }

    // Unscripted: the stand-in's service-provider connect switched off.
    ztmctl::clearCalls();
    ztmctl::setSpiConnectAvailable(false);
    Holders h;
    EXPECT_EQ(spiConnect(h, 0), 0);
    EXPECT_EQ(values(h)[1], 0);
    EXPECT_TRUE(ztmctl::isLiveConnection(pintValue(h.hconn)));
}

TEST_F(Verbs, TheQueueManagerNameIsA48ByteNulPaddedField) {
    const std::string sixty = std::string(40, 'N') + "ABCDEFGHIJKLMNOPQRST";
    struct Case {
        std::string name;
        std::vector<uint8_t> field;
    };
    std::vector<uint8_t> ten(48, 0);
    std::memcpy(ten.data(), "QMGR_0001X", 10);
    const Case cases[] = {
        {"QMGR_0001X", ten},
        {sixty, bytesOf(sixty.data(), 48)},
        {"", std::vector<uint8_t>(48, 0)},
    };
    setTracing(true);
    for (const std::string& verb : kConnectVerbs) {
        for (const Case& c : cases) {
            SCOPED_TRACE(verb + " '" + c.name + "'");
            ztmctl::clearCalls();
            Trace::clear();
            LocalFrame frame(16);
            Holders h = holders();
            callNative([&] { verbNamed(verb).call(env(), h, 0, newString(c.name)); });
            ASSERT_EQ(ztmctl::callCount(), 1u);
            EXPECT_EQ(ztmctl::call(0).record("qmgrName"), c.field);
            // The traced name is the field, at most 48 characters.
            const Lines l = Trace::lines();
            ASSERT_GE(l.size(), 5u);
            EXPECT_EQ(l[4], "trace2 " + verb + " " + c.name.substr(0, 48));
        }
    }
}

TEST_F(Verbs, ANullQueueManagerNameEndsAs2And2195WithoutACall) {
    setTracing(true);
    for (const std::string& verb : kConnectVerbs) {
        SCOPED_TRACE(verb);
        LocalFrame frame(16);
        Trace::clear();
        Holders h = holders(77);
        jint result = -1;
        JniProxy proxy;
        callNative([&] { result = verbNamed(verb).call(proxy.env(), h, 0, nullptr); });
        EXPECT_EQ(values(h), std::vector<int>({77, 2, 2195}));
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ztmctl::callCount(), 0u);
        EXPECT_TRUE(InternalException::logged().empty());
        EXPECT_EQ(takePendingException(), "");
        // The handler writes no exit line.
        ASSERT_FALSE(Trace::lines().empty());
        EXPECT_EQ(Trace::lines().back(), "entry com.zel.zt.server_ZTSESSION " + verb);
        EXPECT_TRUE(proxy.misuse().empty());
    }
}

TEST_F(Verbs, DisconnectWritesBackTheHandleTheQueueManagerLeft) {
    Holders h = holders();
    connectX(h);
    const jint hconn = pintValue(h.hconn);
    ASSERT_TRUE(ztmctl::isLiveConnection(hconn));
    ztmctl::clearCalls();

    Holders d = {h.hconn, newPint(-1), newPint(-1)};
    callNative([&] { Java_com_zel_zt_server_ZTSESSION__1ZTDISC(env(), kSession, d.hconn, d.cc, d.rc); });
    EXPECT_EQ(values(d), std::vector<int>({ZTHC_UNUSABLE_HCONN, 0, 0}));
    EXPECT_EQ(ztmctl::call(0).arg("hconn"), hconn);
    EXPECT_FALSE(ztmctl::isLiveConnection(hconn));

    // Whatever the queue manager leaves is written back...
    ztmctl::Answer left;
    left.hconn = 555;
    ztmctl::scriptNext("ZTDISC", left);
    setInt(d.hconn, "x", 12);
    callNative([&] { Java_com_zel_zt_server_ZTSESSION__1ZTDISC(env(), kSession, d.hconn, d.cc, d.rc); });
    EXPECT_EQ(values(d), std::vector<int>({555, 0, 0}));

    // ...but only when it did not fail.
    setInt(d.hconn, "x", hconn);
    callNative([&] { Java_com_zel_zt_server_ZTSESSION__1ZTDISC(env(), kSession, d.hconn, d.cc, d.rc); });
    EXPECT_EQ(values(d), std::vector<int>({hconn, 2, ZTRC_HCONN_ERROR}));
}

TEST_F(Verbs, BeginSendsFixedOptionsAndIgnoresItsSecondArgument) {
    const jobject seconds[] = {newPint(99), nullptr, newString("ignored")};
    for (jobject second : seconds) {
        Holders c = holders();
        connectX(c);
        const jint hconn = pintValue(c.hconn);
        ztmctl::clearCalls();
        Holders h = holders();
        callNative([&] { Java_com_zel_zt_server_ZTSESSION__1ZTBEGIN(env(), kSession, hconn, second, h.cc, h.rc); });
        EXPECT_EQ(values(h)[1], 0);
        ASSERT_EQ(ztmctl::callCount(), 1u);
        EXPECT_EQ(ztmctl::call(0).arg("hconn"), hconn);
        EXPECT_EQ(ztmctl::call(0).record("ZTBO"), options12("BO  ", 1, 0));
        EXPECT_TRUE(ztmctl::unitOfWorkOpen(hconn));
    }
}

TEST_F(Verbs, UnitOfWorkVerbsPassTheHandleAndWriteWhatTheQueueManagerAnswers) {
    for (const char* verb : {"_ZTBEGIN", "_ZTCMIT", "_ZTBACK"}) {
        SCOPED_TRACE(verb);
        ztmctl::clearCalls();
        ztmctl::scriptNext(verb + 1, answer(1, 3333, 0));
        Holders h = holders();
        callNative([&] { verbNamed(verb).call(env(), h, 4711, nullptr); });
        EXPECT_EQ(values(h), std::vector<int>({77, 1, 3333}));
        ASSERT_EQ(ztmctl::callCount(), 1u);
        EXPECT_EQ(ztmctl::call(0).arg("hconn"), 4711);
    }
}

TEST_F(Verbs, HonourPVXInternalAndInitConversionCallNothing) {
    Holders h = holders(77, 9, 9);
    JniProxy proxy;
    callNative([&] { verbNamed("_honourPVXInternal").call(proxy.env(), h, 0, nullptr); });
    EXPECT_EQ(values(h), std::vector<int>({77, 0, 0}));
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_EQ(proxy.count(Fn::CallStaticBooleanMethod), 0) << "no flag refresh";

    proxy.resetCounts();
    jint result = -1;
    callNative([&] { result = Java_com_zel_zt_server_ZTSESSION_init_1conversion(proxy.env(), kSession); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(proxy.total(), 0);
}

TEST_F(Verbs, AFailureInsideAGuardedVerbEndsInTheHandler) {
    setTracing(true);
    for (const std::string& verb : kConnectVerbs) {
        SCOPED_TRACE(verb);
        LocalFrame frame(16);
        ztmctl::clearCalls();
        Trace::clear();
        Holders h = holders(77);
        jstring qmgr = newString("QM1");
        JniProxy proxy;
        proxy.failCall(Fn::GetStringUTFChars);
        jint result = -1;
        callNative([&] { result = verbNamed(verb).call(proxy.env(), h, 0, qmgr); });
        EXPECT_EQ(takePendingException(), "java.lang.OutOfMemoryError");
        EXPECT_EQ(values(h), std::vector<int>({77, 2, 2195}));
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ztmctl::callCount(), 0u);
        ASSERT_FALSE(Trace::lines().empty());
        EXPECT_EQ(Trace::lines().back(), "entry com.zel.zt.server_ZTSESSION " + verb);
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }
}

TEST_F(Verbs, ConnectBeginCommitBackoutDisconnect) {
    Holders h = holders(0);
    connectX(h, "QM1");
    ASSERT_EQ(values(h)[1], 0);
    const jint hconn = pintValue(h.hconn);
    auto unitOfWork = [&](const char* verb) {
        Holders r = holders();
        callNative([&] { verbNamed(verb).call(env(), r, hconn, nullptr); });
        return std::vector<int>({pintValue(r.cc), pintValue(r.rc)});
    };
    EXPECT_EQ(unitOfWork("_ZTBEGIN"), std::vector<int>({0, 0}));
    EXPECT_TRUE(ztmctl::unitOfWorkOpen(hconn));
    EXPECT_EQ(unitOfWork("_ZTBEGIN"), std::vector<int>({2, ZTRC_UOW_IN_PROGRESS}));
    EXPECT_EQ(unitOfWork("_ZTCMIT"), std::vector<int>({0, 0}));
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(hconn));
    EXPECT_EQ(unitOfWork("_ZTBEGIN"), std::vector<int>({0, 0}));
    EXPECT_EQ(unitOfWork("_ZTBACK"), std::vector<int>({0, 0}));
    EXPECT_FALSE(ztmctl::unitOfWorkOpen(hconn));

    callNative([&] { Java_com_zel_zt_server_ZTSESSION__1ZTDISC(env(), kSession, h.hconn, h.cc, h.rc); });
    EXPECT_EQ(values(h), std::vector<int>({ZTHC_UNUSABLE_HCONN, 0, 0}));
    EXPECT_FALSE(ztmctl::isLiveConnection(hconn));
    EXPECT_EQ(unitOfWork("_ZTCMIT"), std::vector<int>({2, ZTRC_HCONN_ERROR}));
    EXPECT_EQ(ztmctl::liveConnections(), 0u);
}

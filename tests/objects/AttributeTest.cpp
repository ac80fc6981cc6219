// _ZTINQ, _ZTSET and their alternate forms: what is copied back into the Java
// arrays and what never is, and the counts refused before the queue manager.
#include "Objects.h"

#include <cstring>

using namespace zt::test;
using namespace objtest;

namespace {

using AttributeVerb = void (*)(JNIEnv*, jobject, jint, jint, jint, jintArray, jint, jintArray, jint, jbyteArray,
                               jobject, jobject);
const AttributeVerb kInquire =
    Java_com_zel_zt_server_ZTSESSION__1ZTINQ__III_3II_3II_3BLcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2;
const AttributeVerb kSet =
    Java_com_zel_zt_server_ZTSESSION__1ZTSET__III_3II_3II_3BLcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2;

struct Arrays {
    jint selectorCount;
    jintArray selectors;
    jint intAttrCount;
    jintArray intAttrs;
    jint charAttrLength;
    jbyteArray charAttrs;
};

Outcome attributes(AttributeVerb verb, jint hconn, jint hobj, const Arrays& a, JNIEnv* e = nullptr) {
    jobject cc = newPint(-1), rc = newPint(-1);
    callNative([&] {
        verb(e ? e : env(), nullptr, hconn, hobj, a.selectorCount, a.selectors, a.intAttrCount, a.intAttrs,
             a.charAttrLength, a.charAttrs, cc, rc);
    });
    return {pintValue(cc), pintValue(rc)};
}

std::vector<uint8_t> bytes(size_t n, char c) { return std::vector<uint8_t>(n, static_cast<uint8_t>(c)); }

// A queue manager that overwrites every element of the three buffers it is
// given, as far as the Java arrays reach (5 selectors, 6 integers, 60 characters).
void scribble(void** args) {
    ZTLONG* selectors = static_cast<ZTLONG*>(args[3]);
    ZTLONG* ints = static_cast<ZTLONG*>(args[5]);
    for (int i = 0; i < 5; ++i) selectors[i] = -(i + 1);
    for (int i = 0; i < 6; ++i) ints[i] = 1000 + i;
    std::memset(args[7], 'Q', 60);
}

// The next call of `function` scribbles and answers cc (with `failure` as the
// reason unless cc is 0); the answer's completion code and reason.
Outcome scriptScribbler(const char* function, jint cc, jint failure) {
    ztmctl::clearCalls();
    ztmctl::Answer answer;
    answer.compCode = cc;
    answer.reason = cc == 0 ? 0 : failure;
    answer.hook = scribble;
    ztmctl::scriptNext(function, answer);
    return {answer.compCode, answer.reason};
}

class AttributeVerbs : public ObjectsTest {
protected:
    Arrays fresh() {
        return {2, newIntArray({ZTIA_CURRENT_DEPTH, ZTIA_MAX_DEPTH, 7, 8, 9}), 3,
                newIntArray({100, 101, 102, 103, 104, 105}), 50, newByteArray(bytes(60, 'z'))};
    }
    jint openQueue(const char* name, jint options) {
        jobject hobj = newPint(-5);
        EXPECT_EQ(open(descriptor(name), options, hobj), (Outcome{0, 0}));
        return pintValue(hobj);
    }
};

}  // namespace

TEST_F(AttributeVerbs, InquireCopiesBackExactlyCountElementsWhateverTheCompletionCode) {
    for (jint cc : {0, 1, 2}) {
        LocalFrame frame;
        const Outcome answer = scriptScribbler("ZTINQ", cc, ZTRC_SELECTOR_ERROR);
        Arrays a = fresh();
        EXPECT_EQ(attributes(kInquire, hconn, 7, a), answer);
        // The buffers carried the Java values in.
        auto call = ztmctl::callsOf("ZTINQ").at(0);
        const ZTLONG sentSelectors[] = {ZTIA_CURRENT_DEPTH, ZTIA_MAX_DEPTH};
        EXPECT_EQ(call.record("selectors"), std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(sentSelectors),
                                                                 reinterpret_cast<const uint8_t*>(sentSelectors) + 8));
        EXPECT_EQ(call.record("charAttrs"), bytes(50, 'z'));
        // Count elements back, the ones behind them as they were.
        EXPECT_EQ(intArrayValue(a.selectors), (std::vector<jint>{-1, -2, 7, 8, 9})) << "cc " << cc;
        EXPECT_EQ(intArrayValue(a.intAttrs), (std::vector<jint>{1000, 1001, 1002, 103, 104, 105})) << "cc " << cc;
        std::vector<uint8_t> chars = bytes(50, 'Q');
        chars.resize(60, 'z');
        EXPECT_EQ(byteArrayValue(a.charAttrs), chars) << "cc " << cc;
    }
}

TEST_F(AttributeVerbs, OneArrayForSelectorsAndValuesEndsHoldingTheValues) {
    // The caller passing one array for both reads what it asked for, not the
    // selectors it passed.
    const jint hobj = openQueue("Q1", ZTOO_INQUIRE);
    jintArray both = newIntArray({ZTIA_MAX_DEPTH, ZTIA_INHIBIT_PUT});
    Arrays a{2, both, 2, both, 0, nullptr};
    EXPECT_EQ(attributes(kInquire, hconn, hobj, a), (Outcome{0, 0}));
    EXPECT_EQ(intArrayValue(both), (std::vector<jint>{ZT_DEFAULT_MAX_DEPTH, 0}));
}

TEST_F(AttributeVerbs, InquireWithANullCharacterArrayPassesNullAndCopiesTheOthers) {
    const jint hobj = openQueue("Q1", ZTOO_INQUIRE);
    ztmctl::clearCalls();
    Arrays a{2, newIntArray({ZTIA_MAX_DEPTH, ZTIA_INHIBIT_PUT}), 2, newIntArray({-1, -1, -1}), 0, nullptr};
    EXPECT_EQ(attributes(kInquire, hconn, hobj, a), (Outcome{0, 0}));
    auto call = ztmctl::callsOf("ZTINQ").at(0);
    EXPECT_EQ(call.pointer("charAttrs"), nullptr);
    EXPECT_NE(call.pointer("intAttrs"), nullptr);
    EXPECT_EQ(intArrayValue(a.intAttrs), (std::vector<jint>{ZT_DEFAULT_MAX_DEPTH, 0, -1}));
    EXPECT_EQ(intArrayValue(a.selectors), (std::vector<jint>{ZTIA_MAX_DEPTH, ZTIA_INHIBIT_PUT}));
}

TEST_F(AttributeVerbs, SetNeverChangesTheJavaArrays) {
    const jint hobj = openQueue("Q1", ZTOO_SET);
    for (jint cc : {0, 2}) {
        LocalFrame frame;
        const Outcome answer = scriptScribbler("ZTSET", cc, ZTRC_ATTR_NOT_SETTABLE);
        Arrays a = fresh();
        EXPECT_EQ(attributes(kSet, hconn, hobj, a), answer);
        EXPECT_EQ(ztmctl::callsOf("ZTSET").at(0).record("charAttrs"), bytes(50, 'z'));
        EXPECT_EQ(intArrayValue(a.selectors), (std::vector<jint>{ZTIA_CURRENT_DEPTH, ZTIA_MAX_DEPTH, 7, 8, 9}));
        EXPECT_EQ(intArrayValue(a.intAttrs), (std::vector<jint>{100, 101, 102, 103, 104, 105}));
        EXPECT_EQ(byteArrayValue(a.charAttrs), bytes(60, 'z'));
    }
}

TEST_F(AttributeVerbs, CountsThatDoNotFitTheirArraysAreRefusedWithoutACall) {
    struct Case {
        const char* what;
        std::function<void(Arrays&)> spoil;
    };
    const std::vector<Case> cases = {
        {"selector count -1", [](Arrays& a) { a.selectorCount = -1; }},
        {"selector count 3 for 2", [](Arrays& a) { a.selectorCount = 3; }},
        {"selector count 1, null array", [](Arrays& a) { a.selectorCount = 1; a.selectors = nullptr; }},
        {"integer count -1", [](Arrays& a) { a.intAttrCount = -1; }},
        {"integer count 3 for 2", [](Arrays& a) { a.intAttrCount = 3; }},
        {"integer count 1, null array", [](Arrays& a) { a.intAttrCount = 1; a.intAttrs = nullptr; }},
        {"character length -1", [](Arrays& a) { a.charAttrLength = -1; }},
        {"character length 5 for 4", [](Arrays& a) { a.charAttrLength = 5; }},
        {"character length 1, null array", [](Arrays& a) { a.charAttrLength = 1; a.charAttrs = nullptr; }},
        {"character length 0x7fffffff", [](Arrays& a) { a.charAttrLength = 0x7fffffff; }},
    };
    for (auto [verb, name] : {std::pair{kInquire, "ZTINQ"}, std::pair{kSet, "ZTSET"}}) {
        for (const auto& c : cases) {
            LocalFrame frame;
            ztmctl::clearCalls();
            Arrays a{2, newIntArray({ZTIA_INHIBIT_GET, ZTIA_INHIBIT_PUT}), 2, newIntArray({1, 1}), 4,
                     newByteArray({1, 2, 3, 4})};
            Arrays kept = a;
            c.spoil(a);
            EXPECT_EQ(attributes(verb, hconn, 7, a), kBridgeFailure) << name << ": " << c.what;
            EXPECT_EQ(ztmctl::callCount(), 0u) << name << ": " << c.what;
            EXPECT_EQ(intArrayValue(kept.selectors), (std::vector<jint>{ZTIA_INHIBIT_GET, ZTIA_INHIBIT_PUT}));
            EXPECT_EQ(intArrayValue(kept.intAttrs), (std::vector<jint>{1, 1}));
            EXPECT_EQ(byteArrayValue(kept.charAttrs), (std::vector<uint8_t>{1, 2, 3, 4}));
            EXPECT_EQ(takePendingException(), "") << name << ": " << c.what;
        }
        // What fits goes through: counts equal to the lengths, 0 with null arrays.
        ztmctl::clearCalls();
        Arrays full{2, newIntArray({1, 2}), 2, newIntArray({1, 2}), 4, newByteArray({1, 2, 3, 4})};
        attributes(verb, hconn, 7, full);
        attributes(verb, hconn, 7, Arrays{0, nullptr, 0, nullptr, 0, nullptr});
        EXPECT_EQ(ztmctl::callsOf(name).size(), 2u) << name;
    }
    EXPECT_TRUE(InternalException::logged().empty());
}

TEST_F(AttributeVerbs, ElementsTheJvmCannotLendEndTheCallBeforeTheQueueManager) {
    JniProxy proxy;
    proxy.failCall(Fn::GetIntArrayElements, 2);  // the integer attributes
    Arrays a = fresh();
    EXPECT_EQ(attributes(kInquire, hconn, 7, a, proxy.env()), kBridgeFailure);
    EXPECT_EQ(takePendingException(), "java.lang.OutOfMemoryError");
    EXPECT_EQ(ztmctl::callCount(), 0u);
    EXPECT_EQ(proxy.count(Fn::ReleaseIntArrayElements), 1) << "the selectors are given back";
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    EXPECT_EQ(intArrayValue(a.selectors), (std::vector<jint>{ZTIA_CURRENT_DEPTH, ZTIA_MAX_DEPTH, 7, 8, 9}));
}

TEST_F(AttributeVerbs, AlternateFormsWriteOneTraceLineAndNothingElse) {
    auto refreshTraceFlag = [&](bool on) {
        Trace::setOn(on);
        attributes(kInquire, hconn, 7, Arrays{-1, nullptr, 0, nullptr, 0, nullptr});  // refused, no call
        Trace::clear();
    };
    for (bool on : {true, false}) {
        refreshTraceFlag(on);
        JniProxy proxy;
        jobject cc = newPint(7), rc = newPint(8);
        jint result = -1;
        callNative([&] {
            result = Java_com_zel_zt_server_ZTSESSION__1ZTINQ__IIIILcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2(
                proxy.env(), nullptr, hconn, 1, ZTIA_CURRENT_DEPTH, 4, cc, rc);
            Java_com_zel_zt_server_ZTSESSION__1ZTSET__IIILjava_lang_String_2ILcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2(
                proxy.env(), nullptr, hconn, 1, ZTCA_Q_NAME, newString("VALUE"), 5, cc, rc);
        });
        EXPECT_EQ(result, 0);
        std::vector<std::string> expected;
        if (on) {
            expected = {"trace2 _ZTINQ(alternate) This should never be called outside Zenthra/Midrex ",
                        "trace2 _ZTSET(alternate) This should never be called outside Zenthra/Midrex "};
        }
        EXPECT_EQ(Trace::lines(), expected);
        EXPECT_EQ(pintValue(cc), 7);
        EXPECT_EQ(pintValue(rc), 8);
        EXPECT_EQ(ztmctl::callCount(), 0u);
        EXPECT_EQ(proxy.counts().fieldLookups, 0) << proxy.summary();
        EXPECT_EQ(proxy.count(Fn::SetIntField) + proxy.count(Fn::GetIntField), 0) << proxy.summary();
        EXPECT_EQ(proxy.count(Fn::CallStaticBooleanMethod), 0) << "the trace flag is not refreshed";
    }
}

// The object verbs end to end through the host's ZTSESSION methods, as the JVM
// binds them (the overloaded _ZTINQ/_ZTSET included), on the stand-in queue manager.
#include "Objects.h"

#include <cstring>

using namespace zt::test;
using namespace objtest;

namespace {

const char* const kSession = "com/zel/zt/server/ZTSESSION";
const char* const kOpenSig =
    "(ILcom/zel/zt/ZTObjectDescriptor;ILcom/zel/zt/Pint;Lcom/zel/zt/Pint;Lcom/zel/zt/Pint;)V";
const char* const kCloseSig = "(ILcom/zel/zt/Pint;ILcom/zel/zt/Pint;Lcom/zel/zt/Pint;)V";
const char* const kAttrSig = "(III[II[II[BLcom/zel/zt/Pint;Lcom/zel/zt/Pint;)V";

// Puts one message with the stand-in's own API; its result.
Outcome putDirectly(ZTLONG hconn, ZTLONG hobj) {
    ZTMD md;
    std::memset(&md, 0, sizeof md);
    std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
    md.version = 2;
    ZTPMO pmo;
    std::memset(&pmo, 0, sizeof pmo);
    std::memcpy(pmo.eyeCatcher, ZTPMO_EYE_CATCHER, 4);
    pmo.version = 1;
    char data[] = "hello";
    ZTLONG cc = -1, rc = -1;
    ZTPUT(hconn, hobj, &md, &pmo, 5, data, &cc, &rc);
    return {cc, rc};
}

class RoundTrip : public ObjectsTest {
protected:
    void SetUp() override {
        ObjectsTest::SetUp();
        callStaticVoid("objtest/Lists", "load", "(Ljava/lang/String;)V", newString(SESSBRIDGE_PATH));
        session = newObject(kSession, "()V");
    }
    Outcome inquire(jint hobj, std::vector<jint> selectors, jintArray ints, jbyteArray chars) {
        jobject cc = newPint(-1), rc = newPint(-1);
        callVoid(session, "_ZTINQ", kAttrSig, hconn, hobj, static_cast<jint>(selectors.size()),
                 newIntArray(selectors), ints ? env()->GetArrayLength(ints) : 0, ints,
                 chars ? env()->GetArrayLength(chars) : 0, chars, cc, rc);
        return {pintValue(cc), pintValue(rc)};
    }
    jobject session = nullptr;
};

}  // namespace

TEST_F(RoundTrip, OpenInquireSetInquireClose) {
    jobject od = descriptor("RT.Q");
    jobject hobj = newPint(-5), cc = newPint(-1), rc = newPint(-1);
    callVoid(session, "_ZTOPEN", kOpenSig, hconn, od, ZTOO_OUTPUT | ZTOO_INQUIRE | ZTOO_SET, hobj, cc, rc);
    ASSERT_EQ((Outcome{pintValue(cc), pintValue(rc)}), (Outcome{0, 0}));
    const jint h = pintValue(hobj);
    EXPECT_EQ(getString(od, "ObjectQMgrName"), std::string(ZT_DEFAULT_QMGR_NAME));
    ASSERT_EQ(putDirectly(hconn, h), (Outcome{0, 0}));
    ASSERT_EQ(putDirectly(hconn, h), (Outcome{0, 0}));

    const std::vector<jint> selectors = {ZTIA_CURRENT_DEPTH, ZTIA_MAX_DEPTH, ZTIA_INHIBIT_GET, ZTIA_INHIBIT_PUT,
                                         ZTCA_Q_NAME};
    jintArray ints = newIntArray({-1, -1, -1, -1});
    jbyteArray chars = newByteArray(std::vector<uint8_t>(48, 0));
    EXPECT_EQ(inquire(h, selectors, ints, chars), (Outcome{0, 0}));
    EXPECT_EQ(intArrayValue(ints), (std::vector<jint>{2, ZT_DEFAULT_MAX_DEPTH, 0, 0}));
    const auto name = byteArrayValue(chars);
    EXPECT_EQ(std::string(name.begin(), name.end()), "RT.Q" + std::string(44, ' '));

    jobject setCc = newPint(-1), setRc = newPint(-1);
    callVoid(session, "_ZTSET", kAttrSig, hconn, h, 1, newIntArray({ZTIA_INHIBIT_PUT}), 1, newIntArray({1}), 0,
             nullptr, setCc, setRc);
    EXPECT_EQ((Outcome{pintValue(setCc), pintValue(setRc)}), (Outcome{0, 0}));
    EXPECT_EQ(putDirectly(hconn, h), (Outcome{2, ZTRC_PUT_INHIBITED}));

    ints = newIntArray({-1, -1, -1, -1});
    EXPECT_EQ(inquire(h, selectors, ints, chars), (Outcome{0, 0}));
    EXPECT_EQ(intArrayValue(ints), (std::vector<jint>{2, ZT_DEFAULT_MAX_DEPTH, 0, 1}));

    // The alternate forms bind to their own functions: nothing is done.
    jobject altCc = newPint(7), altRc = newPint(8);
    EXPECT_EQ(callInt(session, "_ZTINQ", "(IIIILcom/zel/zt/Pint;Lcom/zel/zt/Pint;)I", hconn, h, ZTIA_INHIBIT_PUT,
                      0, altCc, altRc),
              0);
    callVoid(session, "_ZTSET", "(IIILjava/lang/String;ILcom/zel/zt/Pint;Lcom/zel/zt/Pint;)V", hconn, h,
             ZTIA_INHIBIT_PUT, newString("0"), 1, altCc, altRc);
    EXPECT_EQ(pintValue(altCc), 7);
    EXPECT_EQ(pintValue(altRc), 8);
    EXPECT_EQ(ztmctl::callsOf("ZTSET").size(), 1u);

    callVoid(session, "_ZTCLOSE", kCloseSig, hconn, hobj, 0, cc, rc);
    EXPECT_EQ((Outcome{pintValue(cc), pintValue(rc)}), (Outcome{0, 0}));
    EXPECT_EQ(pintValue(hobj), ZTHO_UNUSABLE_HOBJ);
    EXPECT_EQ(ztmctl::openHandles(hconn), 0u);
    EXPECT_EQ(ztmctl::visibleDepth("RT.Q"), 2u);
}

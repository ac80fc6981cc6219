#include "Natives.h"

#include "Jvm.h"
#include "ztm.h"
#include "ztm_control.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

// The natives as javac declares them; SESS and XA name them in the table.
#include "com_zel_zt_server_ZTSESSION.h"
#include "com_zel_zt_server_ZTXAi.h"
#define SESS(name) Java_com_zel_zt_server_ZTSESSION__1##name
#define XA(name) Java_com_zel_zt_server_ZTXAi_xa_1##name##_1N

using namespace zt::test;

namespace sweep {

std::string Shape::text() const {
    std::string t = trace ? "trace on" : "trace off";
    t += ", version " + std::to_string(version);
    if (dests >= 0) t += ", " + std::to_string(dests) + " destinations";
    if (cold) t += ", cold classes";
    return t;
}

thread_local bool sharedQueueManager = false;
thread_local int threadIndex = 0;
std::function<jobject(jobject, Declared)> twistObject;
std::function<jint(jint)> twistInt;

namespace {

void resetQm() {
    if (!sharedQueueManager) ztmctl::reset();
}
void clearLog() {
    if (!sharedQueueManager) ztmctl::clearCalls();
}

jobject twist(jobject o, Declared d = Declared::Typed) { return twistObject ? twistObject(o, d) : o; }
jint num(jint v) { return twistInt ? twistInt(v) : v; }

constexpr const char* kQueue = "SWEEP.Q";

jobject cold(const char* simpleName) {
    return callStaticObject("sweeptest/Cold", "make", "(Ljava/lang/String;)Ljava/lang/Object;",
                            newString(simpleName));
}

jobject fresh(const Shape& s, const char* coldName, const char* cls) {
    return s.cold ? cold(coldName) : newObject(cls, "()V");
}

jobjectArray array(const char* cls, int n, const std::function<jobject()>& make) {
    jobjectArray a = env()->NewObjectArray(n, findClass(cls), nullptr);
    for (int i = 0; i < n; ++i) env()->SetObjectArrayElement(a, i, make());
    return a;
}

// Queue manager state every verb starts from: one connection.
ZTLONG connect() {
    resetQm();
    char name[48] = {};
    ZTLONG hconn = 0, cc = -1, rc = -1;
    ZTCONN(name, &hconn, &cc, &rc);
    if (cc != ZTCC_OK) throw std::runtime_error("ZTCONN failed");
    return hconn;
}

// An open queue (a destination list of `dests` queues when dests > 0),
// holding one message when `withMessage`.
ZTLONG open(ZTLONG hconn, ZTLONG options, int dests, bool withMessage) {
    ZTOD od;
    std::memset(&od, 0, sizeof od);
    std::memcpy(od.eyeCatcher, ZTOD_EYE_CATCHER, 4);
    od.version = 1;
    od.objectType = ZTOT_Q;
    ZTOR records[3];
    std::memset(records, 0, sizeof records);
    if (dests > 0) {
        od.version = 2;
        od.recsPresent = dests;
        od.objectRecords = records;
        for (int i = 0; i < dests; ++i) {
            std::snprintf(records[i].objectName, sizeof records[i].objectName, "SWEEP.L%d", i);
        }
    } else {
        std::snprintf(od.objectName, sizeof od.objectName, "%s", kQueue);
    }
    ZTLONG hobj = 0, cc = -1, rc = -1;
    ZTOPEN(hconn, &od, options, &hobj, &cc, &rc);
    if (cc != ZTCC_OK) throw std::runtime_error("ZTOPEN failed");
    if (withMessage) {
        ZTMD md;
        std::memset(&md, 0, sizeof md);
        std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
        md.version = 1;
        ZTPMO pmo;
        std::memset(&pmo, 0, sizeof pmo);
        std::memcpy(pmo.eyeCatcher, ZTPMO_EYE_CATCHER, 4);
        pmo.version = 1;
        char data[16] = "sweep message";
        ZTPUT(hconn, hobj, &md, &pmo, sizeof data, data, &cc, &rc);
        if (cc != ZTCC_OK) throw std::runtime_error("ZTPUT failed");
    }
    return hobj;
}

jbyteArray bytes(int n, uint8_t fill) { return newByteArray(std::vector<uint8_t>(n, fill)); }

Call holders(const Shape& s, std::function<void(JNIEnv*, jobject, jobject)> fn) {
    Call c;
    c.cc = holder(s, 0);  // a stale success unless the verb writes them
    c.rc = holder(s, 0);
    jobject cc = c.cc, rc = c.rc;
    c.run = [fn, cc, rc](JNIEnv* e) { fn(e, cc, rc); };
    return c;
}

Call xa(std::function<jint(JNIEnv*)> fn) {
    Call c;
    auto result = c.result;
    c.run = [fn, result](JNIEnv* e) { *result = fn(e); };
    return c;
}

jobject xid(int n) {
    return newObject("com/zel/zt/ZTXid", "(I[B[B)V", 0x5357, bytes(8, uint8_t(n)),
                     bytes(4, uint8_t(threadIndex)));
}

jclass xaClass() { return findClass("com/zel/zt/server/ZTXAi"); }

// XA state: opened, and the branch advanced through `steps` of start, end, prepare.
void xaState(int steps) {
    connect();
    if (XA(open)(env(), xaClass(), newString(""), 1, 0) != XA_OK && !sharedQueueManager)
        throw std::runtime_error("xa_open");
    jobject x = xid(1);
    const jlong flags[] = {TMNOFLAGS, TMSUCCESS, TMNOFLAGS};
    using Step = jint (*)(JNIEnv*, jclass, jobject, jint, jint);
    const Step fns[] = {XA(start), XA(end), XA(prepare)};
    for (int i = 0; i < steps; ++i) {
        // A thread sharing the queue manager may still be in the branch its
        // last verb left: the steps then answer errors, which is no finding.
        if (fns[i](env(), xaClass(), x, 1, jint(flags[i])) != XA_OK && !sharedQueueManager)
            throw std::runtime_error("xa step");
    }
    clearLog();
}

using XidFn = jint (*)(JNIEnv*, jclass, jobject, jint, jint);
Native xidNative(const char* name, XidFn fn, int steps, jlong flags) {
    return {name, Kind::XaReturn, false, false, false, [=](const Shape&) {
                xaState(steps);
                jobject x = twist(xid(1), Declared::AnyObject);
                const jint rmid = num(1);
                return xa([=](JNIEnv* e) { return fn(e, xaClass(), x, rmid, jint(flags)); });
            }};
}

// Puts: to an open object (hobj) or to a named one (put-one), with message
// descriptors or message objects.
using PutFn = void (*)(JNIEnv*, jobject, jint, jint, jobject, jobject, jint, jbyteArray, jobject, jobject);
using Put1Fn = void (*)(JNIEnv*, jobject, jint, jobject, jobject, jobject, jint, jbyteArray, jobject,
                        jobject);
Native putNative(const char* name, PutFn fn, bool withMessageObject) {
    return {name, Kind::Holders, true, true, true, [=](const Shape& s) {
                ZTLONG hconn = connect();
                ZTLONG hobj = open(hconn, ZTOO_OUTPUT, s.dests, false);
                clearLog();
                jobject md = withMessageObject ? messageObject(s) : messageDescriptor(s);
                jobject pmo = putOptions(s);
                jbyteArray data = bytes(32, 0x41);
                const jint length = num(32);
                Call c = holders(s, [=](JNIEnv* e, jobject cc, jobject rc) {
                    fn(e, nullptr, hconn, hobj, md, pmo, length, data, cc, rc);
                });
                c.objects = {md, pmo};
                return c;
            }};
}
Native put1Native(const char* name, Put1Fn fn, bool withMessageObject) {
    return {name, Kind::Holders, true, true, true, [=](const Shape& s) {
                ZTLONG hconn = connect();
                clearLog();
                jobject od = objectDescriptor(s, kQueue);
                jobject md = withMessageObject ? messageObject(s) : messageDescriptor(s);
                jobject pmo = putOptions(s);
                jbyteArray data = bytes(32, 0x41);
                const jint length = num(32);
                Call c = holders(s, [=](JNIEnv* e, jobject cc, jobject rc) {
                    fn(e, nullptr, hconn, od, md, pmo, length, data, cc, rc);
                });
                c.objects = {od, md, pmo};
                return c;
            }};
}
using GetFn = void (*)(JNIEnv*, jobject, jint, jint, jobject, jobject, jint, jbyteArray, jobject,
                       jobject, jobject);
Native getNative(const char* name, GetFn fn, bool withMessageObject) {
    return {name, Kind::Holders, true, false, true, [=](const Shape& s) {
                ZTLONG hconn = connect();
                ZTLONG hobj = open(hconn, ZTOO_INPUT_SHARED | ZTOO_OUTPUT, -1, true);
                clearLog();
                jobject md = withMessageObject ? messageObject(s) : messageDescriptor(s);
                jobject gmo = getOptions(s);
                jbyteArray buffer = bytes(kBufferLength, kCanary);
                jobject length = holder(s, -1);
                const jint bufferLength = num(kBufferLength);
                Call c = holders(s, [=](JNIEnv* e, jobject cc, jobject rc) {
                    fn(e, nullptr, hconn, hobj, md, gmo, bufferLength, buffer, length, cc, rc);
                });
                c.objects = {md, gmo};
                c.buffer = buffer;
                c.dataLength = length;
                return c;
            }};
}
using AttrFn = void (*)(JNIEnv*, jobject, jint, jint, jint, jintArray, jint, jintArray, jint,
                        jbyteArray, jobject, jobject);
Native attrNative(const char* name, AttrFn fn, jint selector) {
    return {name, Kind::Holders, false, false, false, [=](const Shape& s) {
                ZTLONG hconn = connect();
                ZTLONG hobj = open(hconn, ZTOO_INQUIRE | ZTOO_SET, -1, false);
                clearLog();
                jintArray selectors = newIntArray({selector});
                jintArray ints = newIntArray({0});
                jbyteArray chars = bytes(0, 0);
                const jint selectorCount = num(1), intCount = num(1), charLength = num(0);
                return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) {
                    fn(e, nullptr, hconn, hobj, selectorCount, selectors, intCount, ints, charLength, chars, cc, rc);
                });
            }};
}
using HconnFn = void (*)(JNIEnv*, jobject, jint, jobject, jobject);
Native hconnNative(const char* name, HconnFn fn) {
    return {name, Kind::Holders, false, false, false, [=](const Shape& s) {
                ZTLONG hconn = connect();
                clearLog();
                return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { fn(e, nullptr, hconn, cc, rc); });
            }};
}
using KeyFn = void (*)(JNIEnv*, jobject, jint, jbyteArray, jobject, jobject);
Native keyNative(const char* name, KeyFn fn) {
    return {name, Kind::Holders, false, false, false, [=](const Shape& s) {
                ZTLONG hconn = connect();
                clearLog();
                jbyteArray key = bytes(24, 0x33);
                return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { fn(e, nullptr, hconn, key, cc, rc); });
            }};
}

std::vector<Native> makeNatives() {
    std::vector<Native> t;
    // Connections and units of work.
    t.push_back({"_ZTCONN", Kind::Holders, false, false, false, [](const Shape& s) {
                     resetQm();
                     jobject h = holder(s, -1);
                     jstring name = newString("");
                     return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { SESS(ZTCONN)(e, nullptr, name, h, cc, rc); });
                 }});
    t.push_back({"_ZTCONNX", Kind::Holders, false, false, false, [](const Shape& s) {
                     resetQm();
                     jobject h = holder(s, -1);
                     jstring name = newString("");
                     return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { SESS(ZTCONNX)(e, nullptr, name, 0, h, cc, rc); });
                 }});
    t.push_back({"_spiConnect", Kind::Holders, false, false, false, [](const Shape& s) {
                     resetQm();
                     jobject h = holder(s, -1);
                     jstring name = newString("");
                     return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { SESS(spiConnect)(e, nullptr, name, 0, h, cc, rc); });
                 }});
    t.push_back({"_ZTDISC", Kind::Holders, false, false, false, [](const Shape& s) {
                     jobject h = holder(s, connect());
                     clearLog();
                     return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { SESS(ZTDISC)(e, nullptr, h, cc, rc); });
                 }});
    t.push_back({"_ZTBEGIN", Kind::Holders, false, false, false, [](const Shape& s) {
                     ZTLONG hconn = connect();
                     clearLog();
                     jobject options = twist(nullptr, Declared::AnyObject);
                     return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { SESS(ZTBEGIN)(e, nullptr, hconn, options, cc, rc); });
                 }});
    t.push_back(hconnNative("_ZTCMIT", SESS(ZTCMIT)));
    t.push_back(hconnNative("_ZTBACK", SESS(ZTBACK)));
    t.push_back({"_honourPVXInternal", Kind::NoQm, false, false, false, [](const Shape& s) {
                     return holders(s, [](JNIEnv* e, jobject cc, jobject rc) { SESS(honourPVXInternal)(e, nullptr, nullptr, cc, rc); });
                 }});
    t.push_back({"init_conversion", Kind::NoQm, false, false, false, [](const Shape& s) {
                     return holders(s, [](JNIEnv* e, jobject, jobject) { Java_com_zel_zt_server_ZTSESSION_init_1conversion(e, nullptr); });
                 }});
    // Objects.
    t.push_back({"_ZTOPEN", Kind::Holders, true, true, true, [](const Shape& s) {
                     ZTLONG hconn = connect();
                     clearLog();
                     jobject od = objectDescriptor(s, kQueue);
                     jobject hobj = holder(s, -1);
                     Call c = holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { SESS(ZTOPEN)(e, nullptr, hconn, od, ZTOO_OUTPUT, hobj, cc, rc); });
                     c.objects = {od};
                     return c;
                 }});
    t.push_back({"_ZTCLOSE", Kind::Holders, false, false, false, [](const Shape& s) {
                     ZTLONG hconn = connect();
                     jobject hobj = holder(s, open(hconn, ZTOO_OUTPUT, -1, false));
                     clearLog();
                     return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) { SESS(ZTCLOSE)(e, nullptr, hconn, hobj, 0, cc, rc); });
                 }});
    t.push_back(attrNative("_ZTINQ", SESS(ZTINQ__III_3II_3II_3BLcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2), ZTIA_CURRENT_DEPTH));
    t.push_back(attrNative("_ZTSET", SESS(ZTSET__III_3II_3II_3BLcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2), ZTIA_INHIBIT_PUT));
    t.push_back({"_ZTINQ(alternate)", Kind::NoQm, false, false, false, [](const Shape& s) {
                     return holders(s, [](JNIEnv* e, jobject cc, jobject rc) {
                         SESS(ZTINQ__IIIILcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2)(e, nullptr, 1, 1, 1, 1, cc, rc);
                     });
                 }});
    t.push_back({"_ZTSET(alternate)", Kind::NoQm, false, false, false, [](const Shape& s) {
                     jstring text = newString("x");
                     return holders(s, [=](JNIEnv* e, jobject cc, jobject rc) {
                         SESS(ZTSET__IIILjava_lang_String_2ILcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2)(e, nullptr, 1, 1, 1, text, 1, cc, rc);
                     });
                 }});
    // Messages.
    t.push_back(putNative("_ZTPUT", SESS(ZTPUT), false));
    t.push_back(put1Native("_ZTPUT1", SESS(ZTPUT1), false));
    t.push_back(getNative("_ZTGET", SESS(ZTGET), false));
    t.push_back(putNative("_ZTPUTMSG2", SESS(ZTPUTMSG2), true));
    t.push_back(put1Native("_ZTPUT1MSG2", SESS(ZTPUT1MSG2), true));
    t.push_back(getNative("_ZTGETMSG2", SESS(ZTGETMSG2), true));
    // Deferred messages (libdeferbridge).
    t.push_back(putNative("_spiDefPut", SESS(spiDefPut), true));
    t.push_back(keyNative("_spiDefActivate", SESS(spiDefActivate)));
    t.push_back(keyNative("_spiDefCancel", SESS(spiDefCancel)));
    // XA (libxabridge).
    t.push_back({"xa_open", Kind::XaReturn, false, false, false, [](const Shape&) {
                     connect();
                     jstring name = newString("");
                     return xa([=](JNIEnv* e) { return XA(open)(e, xaClass(), name, 1, 0); });
                 }});
    t.push_back({"xa_close", Kind::XaReturn, false, false, false, [](const Shape&) {
                     xaState(0);
                     jstring name = newString("");
                     return xa([=](JNIEnv* e) { return XA(close)(e, xaClass(), name, 1, 0); });
                 }});
    t.push_back(xidNative("xa_start", XA(start), 0, TMNOFLAGS));
    t.push_back(xidNative("xa_end", XA(end), 1, TMSUCCESS));
    t.push_back(xidNative("xa_prepare", XA(prepare), 2, TMNOFLAGS));
    t.push_back(xidNative("xa_commit", XA(commit), 3, TMNOFLAGS));
    t.push_back(xidNative("xa_rollback", XA(rollback), 3, TMNOFLAGS));
    t.push_back(xidNative("xa_forget", XA(forget), 3, TMNOFLAGS));
    t.push_back({"xa_recover", Kind::XaReturn, false, false, false, [](const Shape&) {
                     xaState(3);
                     auto xids = static_cast<jobjectArray>(
                         twist(env()->NewObjectArray(4, findClass("com/zel/zt/ZTXid"), nullptr), Declared::ObjectArray));
                     Call c = xa([=](JNIEnv* e) {
                         return XA(recover)(e, xaClass(), xids, 1, jint(TMSTARTRSCAN | TMENDRSCAN));
                     });
                     c.xids = xids;
                     return c;
                 }});
    return t;
}

}  // namespace

const std::vector<Native>& natives() {
    static const std::vector<Native> table = makeNatives();
    return table;
}

std::vector<Shape> shapesOf(const Native& n, bool withCold) {
    std::vector<Shape> shapes;
    for (bool cold : {false, true}) {
        if (cold && !(withCold && n.coldable)) continue;
        for (bool trace : {false, true}) {
            if (!n.versioned) {
                shapes.push_back({trace, 1, -1, cold});
                continue;
            }
            shapes.push_back({trace, 1, -1, cold});
            if (!n.lists) {
                shapes.push_back({trace, 2, -1, cold});
                continue;
            }
            for (int dests : {0, 1, 3}) shapes.push_back({trace, 2, dests, cold});
        }
    }
    return shapes;
}

jobject holder(const Shape& s, int value) {
    jobject h = s.cold ? cold("ColdPint") : newPint();
    setInt(h, "x", value);
    return twist(h);
}

jobject messageDescriptor(const Shape& s) {
    jobject md = fresh(s, "ColdMD", "com/zel/zt/ZTMessageDescriptor");
    setInt(md, "version", s.version);
    return twist(md);
}

jobject messageObject(const Shape& s) {
    jobject m = fresh(s, "ColdMessage", "com/zel/zt/ZTMessage");
    setInt(m, "version", s.version);
    return twist(m);
}

jobject getOptions(const Shape& s) {
    jobject gmo = fresh(s, "ColdGMO", "com/zel/zt/ZTGetMessageOptions");
    setInt(gmo, "version", s.version);
    return twist(gmo);
}

jobject putOptions(const Shape& s) {
    jobject pmo = fresh(s, "ColdPMO", "com/zel/zt/ZTPutMessageOptions");
    setInt(pmo, "version", s.version);
    if (s.dests > 0) {
        setInt(pmo, "putMsgRecordFields", ZTPMRF_MSG_ID | ZTPMRF_CORREL_ID | ZTPMRF_FEEDBACK);
        setObject(pmo, "putMessageRecords", "[Lcom/zel/zt/ZTMessageTracker;",
                  array("com/zel/zt/ZTMessageTracker", s.dests,
                        [&] { return fresh(s, "ColdTracker", "com/zel/zt/ZTMessageTracker"); }));
        setObject(pmo, "responseRecords", "[Lcom/zel/zt/ZTResponseRecord;",
                  array("com/zel/zt/ZTResponseRecord", s.dests,
                        [&] { return fresh(s, "ColdResponse", "com/zel/zt/ZTResponseRecord"); }));
    }
    return twist(pmo);
}

jobject objectDescriptor(const Shape& s, const char* queue) {
    jobject od = fresh(s, "ColdOD", "com/zel/zt/ZTObjectDescriptor");
    setInt(od, "Version", s.version);
    if (s.dests > 0) {
        setString(od, "ObjectName", std::string());
        int i = 0;
        setObject(od, "objectRecords", "[Lcom/zel/zt/ZTObjectRecord;",
                  array("com/zel/zt/ZTObjectRecord", s.dests, [&] {
                      jobject r = fresh(s, "ColdRecord", "com/zel/zt/ZTObjectRecord");
                      setString(r, "objectName", "SWEEP.L" + std::to_string(i++));
                      setString(r, "objectQMgrName", std::string());
                      return r;
                  }));
        setObject(od, "responseRecords", "[Lcom/zel/zt/ZTResponseRecord;",
                  array("com/zel/zt/ZTResponseRecord", s.dests,
                        [&] { return fresh(s, "ColdResponse", "com/zel/zt/ZTResponseRecord"); }));
    } else {
        setString(od, "ObjectName", std::string(queue));
    }
    return twist(od);
}

}  // namespace sweep

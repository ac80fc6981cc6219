// Connection and unit-of-work verbs of com.zel.zt.server.ZTSESSION.
#include <jni.h>

#include "com_zel_zt_server_ZTSESSION.h"

#include <cstring>

#include "CheckedJni.h"
#include "NativeError.h"
#include "VerbFrame.h"
#include "ztm.h"

static const char* const clsname = "com.zel.zt.server_ZTSESSION";

namespace {

// The queue manager name as the queue manager takes it: a 48-byte field, NUL
// padded, with no terminator when the name fills it.
struct QMgrNameField {
    char field[ZT_QMGR_NAME_LENGTH];
    // The field as a C string for trace lines (at most 48 characters).
    char text[ZT_QMGR_NAME_LENGTH + 1];
};

void copyQMgrName(JNIEnv* env, jstring name, QMgrNameField& out) {
    std::memset(&out, 0, sizeof out);
    // A missing name is the bridge's failure, not a name for the queue manager.
    if (name == nullptr) {
        throw NativeError();
    }
    StringChars chars = checked::utfChars(env, name);
    if (chars.get() == nullptr) {
        throw NativeError();
    }
    const size_t length = strnlen(chars.get(), sizeof out.field);
    std::memcpy(out.field, chars.get(), length);
    std::memcpy(out.text, out.field, sizeof out.field);
}

// The template of the service-provider connect record; only the version is set
// by the verb.
const ZTLCNO kLcnoTemplate = {{'L', 'C', 'N', 'O'}, 2, 0x80, 0, -1, {0}, -1, {0}};

ZTCNO connectOptions(jint options) {
    ZTCNO cno;
    std::memcpy(cno.eyeCatcher, ZTCNO_EYE_CATCHER, sizeof cno.eyeCatcher);
    cno.version = 1;
    cno.options = options;
    return cno;
}

// Commit and backout: the same frame around a different queue manager call.
void endUnitOfWork(JNIEnv* env, const char* methodName, void (*end)(ZTLONG, ZTLONG*, ZTLONG*),
                   jint hconn, jobject compCodeH, jobject reasonH) {
    runScopeFirstVerb(env, clsname, methodName, compCodeH, reasonH, [&](Verb& verb) {
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        end(hconn, &compCode, &reason);
        verb.finish(kNoResultLines, compCode, reason);
    });
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTCONN(JNIEnv* env, jobject,
                                                                 jstring qmgrName, jobject hconnH,
                                                                 jobject compCodeH,
                                                                 jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTCONN", compCodeH, reasonH, [&](Verb& verb) {
        QMgrNameField name;
        copyQMgrName(env, qmgrName, name);
        verb.line("Queue manager:");
        verb.madeLine(name.text);
        ZTLONG hconn = 0;
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        ZTCONN(name.field, &hconn, &compCode, &reason);
        verb.finish({"CompCode: ", "Reason:"}, compCode, reason, [&] { verb.set(hconnH, hconn); });
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTCONNX(JNIEnv* env, jobject,
                                                                  jstring qmgrName, jint options,
                                                                  jobject hconnH,
                                                                  jobject compCodeH,
                                                                  jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTCONNX", compCodeH, reasonH, [&](Verb& verb) {
        ZTCNO cno = connectOptions(options);
        QMgrNameField name;
        copyQMgrName(env, qmgrName, name);
        verb.line("QueueManager:");
        verb.madeLine(name.text);
        ZTLONG hconn = 0;
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        ZTCONNX(name.field, &cno, &hconn, &compCode, &reason);
        verb.finish({"CompCode is ", "Reason:"}, compCode, reason,
                    [&] { verb.set(hconnH, hconn); });
    });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTSESSION__1spiConnect(JNIEnv* env, jobject,
                                                                     jstring qmgrName,
                                                                     jint options, jobject hconnH,
                                                                     jobject compCodeH,
                                                                     jobject reasonH) {
    return runHolderFirstVerb(env, clsname, "_spiConnect", compCodeH, reasonH, [&](Verb& verb) {
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        ZTLONG hconn = 0;
        ZTLCNO lcno = kLcnoTemplate;
        ZTCNO cno = connectOptions(options);
        QMgrNameField name;
        copyQMgrName(env, qmgrName, name);
        verb.line("QueueManager:");
        verb.madeLine(name.text);
        verb.value("options:", options);
        verb.line("Attempting to connect for SPI");
        lcno.version = 2;
        verb.beforeCall();
        lpiSPIZTConnect(name.field, &lcno, &cno, &hconn, &compCode, &reason);
        const ResultLines lines{"CompCode is ", "Reason: "};
        jint spiResult = 1;
        // 2195 here is how a queue manager without the service-provider
        // connect answers; the host relies on being connected all the same,
        // through ZTCONNX, and learns of it from the result 0.
        if (reason == ZTRC_UNEXPECTED_ERROR) {
            verb.value(lines.compCode, compCode);
            verb.value(lines.reason, reason);
            verb.line("Attempting to connect using ZTCONNX instead");
            ZTCONNX(name.field, &cno, &hconn, &compCode, &reason);
            spiResult = 0;
        }
        verb.finish(lines, compCode, reason, [&] { verb.set(hconnH, hconn); });
        return spiResult;
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTDISC(JNIEnv* env, jobject,
                                                                 jobject hconnH,
                                                                 jobject compCodeH,
                                                                 jobject reasonH) {
    runScopeFirstVerb(env, clsname, "_ZTDISC", compCodeH, reasonH, [&](Verb& verb) {
        ZTLONG hconn = verb.get(hconnH);
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        ZTDISC(&hconn, &compCode, &reason);
        verb.finish({"CompCode: ", "Reason:"}, compCode, reason, [&] { verb.set(hconnH, hconn); });
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTBEGIN(JNIEnv* env, jobject,
                                                                  jint hconn, jobject,
                                                                  jobject compCodeH,
                                                                  jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTBEGIN", compCodeH, reasonH, [&](Verb& verb) {
        ZTBO bo;
        std::memcpy(bo.eyeCatcher, ZTBO_EYE_CATCHER, sizeof bo.eyeCatcher);
        bo.version = 1;
        bo.options = 0;
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        ZTBEGIN(hconn, &bo, &compCode, &reason);
        verb.finish({"CompCode: ", "Reason:"}, compCode, reason);
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTCMIT(JNIEnv* env, jobject,
                                                                 jint hconn, jobject compCodeH,
                                                                 jobject reasonH) {
    endUnitOfWork(env, "_ZTCMIT", ZTCMIT, hconn, compCodeH, reasonH);
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTBACK(JNIEnv* env, jobject,
                                                                 jint hconn, jobject compCodeH,
                                                                 jobject reasonH) {
    endUnitOfWork(env, "_ZTBACK", ZTBACK, hconn, compCodeH, reasonH);
}

// A platform-specific operation this system does not provide: it reports
// success and calls nothing.
JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1honourPVXInternal(JNIEnv* env, jobject,
                                                                            jobject,
                                                                            jobject compCodeH,
                                                                            jobject reasonH) {
    // Only its one line, as this call has always traced: no flag refresh, no
    // entry or exit line.
    nativeBoundary(
        env,
        [&] {
            NativeTrace trace(env);
            NativePint pint(env);
            Verb verb(env, trace, pint, clsname, "_honourPVXInternal", compCodeH, reasonH);
            verb.line("This should never be called outside Lumenvale Zenthra");
            verb.set(compCodeH, 0);
            verb.set(reasonH, 0);
        },
        [&] { reportBridgeFailure(env, nullptr, compCodeH, reasonH); });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTSESSION_init_1conversion(JNIEnv* env, jobject) {
    return nativeBoundary(
        env, [] { return jint{1}; }, [] { return jint{1}; });
}

}  // extern "C"

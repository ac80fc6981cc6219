// Object verbs of com.zel.zt.server.ZTSESSION: open, close, inquire, set.
#include <jni.h>

#include "com_zel_zt_server_ZTSESSION.h"

#include "ArgumentChecks.h"
#include "CheckedJni.h"
#include "NativeError.h"
#include "NativeTrace.h"
#include "NativeUtil.h"
#include "NativeZTOD.h"
#include "VerbFrame.h"
#include "ztm.h"

static const char* const clsname = "com.zel.zt.server_ZTSESSION";


extern "C" {

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTOPEN(JNIEnv* env, jobject, jint hconn,
                                                                 jobject objDesc, jint options,
                                                                 jobject hobjH, jobject compCodeH,
                                                                 jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTOPEN", compCodeH, reasonH, [&](Verb& verb) {
        checked::OwnFrameRoom frame(env, kVerbFrameRefs);
        NativeZTOD od(env, objDesc);
        ZTOD record;
        od.Initialise(&record);
        verb.value("Options is ", options);
        ZTLONG hobj = 0;
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        ZTOPEN(hconn, &record, options, &hobj, &compCode, &reason);
        verb.finish({"CompCode is ", "Reason:"}, compCode, reason, [&] {
            verb.set(hobjH, hobj);
            od.SetJavaZTOD(record);
        });
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTCLOSE(JNIEnv* env, jobject,
                                                                  jint hconn, jobject hobjH,
                                                                  jint options, jobject compCodeH,
                                                                  jobject reasonH) {
    runScopeFirstVerb(env, clsname, "_ZTCLOSE", compCodeH, reasonH, [&](Verb& verb) {
        ZTLONG hobj = verb.get(hobjH);
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        ZTCLOSE(hconn, &hobj, options, &compCode, &reason);
        verb.finish(kNoResultLines, compCode, reason, [&] { verb.set(hobjH, hobj); });
    });
}

// _ZTINQ and _ZTSET are overloaded in the host class, and the JVM binds an
// overloaded native by its short name first: under the short name the supported
// forms would also receive the calls of the alternate forms, with the wrong
// arguments. So both forms of each are exported under their long names.
JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTINQ__III_3II_3II_3BLcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2(
    JNIEnv* env, jobject, jint hconn, jint hobj, jint selectorCount, jintArray selectors,
    jint intAttrCount, jintArray intAttrs, jint charAttrLength, jbyteArray charAttrs,
    jobject compCodeH, jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTINQ", compCodeH, reasonH, [&](Verb& verb) {
        requireArrayHolds(verb, selectors, selectorCount);
        requireArrayHolds(verb, intAttrs, intAttrCount);
        requireArrayHolds(verb, charAttrs, charAttrLength);
        // Through the traced helpers: the host's trace shows the first element.
        IntArrayElements selectorBuffer(env, selectors, GetIntArrayElements(env, selectors));
        IntArrayElements intAttrBuffer(env, intAttrs, GetIntArrayElements(env, intAttrs));
        ByteArrayElements charAttrBuffer(env, charAttrs, GetByteArrayElements(env, charAttrs));
        if (selectorBuffer.missing() || intAttrBuffer.missing() || charAttrBuffer.missing()) {
            throw NativeError();
        }
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        ZTINQ(hconn, hobj, selectorCount, selectorBuffer.get(), intAttrCount, intAttrBuffer.get(),
              charAttrLength, reinterpret_cast<char*>(charAttrBuffer.get()), &compCode, &reason);
        // Whatever the completion code, exactly `count` elements go back. The
        // attribute values go last: a caller passing one array for both reads
        // the values, not its selectors.
        verb.finish(
            {"CompCode: ", "Reason:"}, compCode, reason,
            [&] {
                if (selectorBuffer.get() != nullptr) {
                    checked::setIntArrayRegion(env, selectors, 0, selectorCount,
                                               selectorBuffer.get());
                }
                if (intAttrBuffer.get() != nullptr) {
                    checked::setIntArrayRegion(env, intAttrs, 0, intAttrCount, intAttrBuffer.get());
                }
                if (charAttrBuffer.get() != nullptr) {
                    checked::setByteArrayRegion(env, charAttrs, 0, charAttrLength,
                                                charAttrBuffer.get());
                }
            },
            WriteBack::Always);
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTSET__III_3II_3II_3BLcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2(
    JNIEnv* env, jobject, jint hconn, jint hobj, jint selectorCount, jintArray selectors,
    jint intAttrCount, jintArray intAttrs, jint charAttrLength, jbyteArray charAttrs,
    jobject compCodeH, jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTSET", compCodeH, reasonH, [&](Verb& verb) {
        requireArrayHolds(verb, selectors, selectorCount);
        requireArrayHolds(verb, intAttrs, intAttrCount);
        requireArrayHolds(verb, charAttrs, charAttrLength);
        // Released without copying back: the Java arrays never change.
        ByteArrayElements charAttrBuffer = checked::elements(env, charAttrs);
        IntArrayElements selectorBuffer = checked::elements(env, selectors);
        IntArrayElements intAttrBuffer = checked::elements(env, intAttrs);
        if (selectorBuffer.missing() || intAttrBuffer.missing() || charAttrBuffer.missing()) {
            throw NativeError();
        }
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        ZTSET(hconn, hobj, selectorCount, selectorBuffer.get(), intAttrCount, intAttrBuffer.get(),
              charAttrLength, reinterpret_cast<char*>(charAttrBuffer.get()), &compCode, &reason);
        verb.finish({"CompCode is ", "Reason:"}, compCode, reason);
    });
}

// Alternate forms this platform does not support: one trace line, nothing else.
JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTINQ__IIIILcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2(
    JNIEnv* env, jobject, jint, jint, jint, jint, jobject, jobject) {
    // Nothing to report into on failure: this form writes no holder.
    return nativeBoundary(
        env,
        [&] {
            NativeTrace trace(env);
            trace.trace(2, "_ZTINQ(alternate)",
                        "This should never be called outside Zenthra/Midrex ");
            return jint{0};
        },
        [] { return jint{0}; });
}

JNIEXPORT void JNICALL
Java_com_zel_zt_server_ZTSESSION__1ZTSET__IIILjava_lang_String_2ILcom_zel_zt_Pint_2Lcom_zel_zt_Pint_2(
    JNIEnv* env, jobject, jint, jint, jint, jstring, jint, jobject, jobject) {
    // Nothing to report into on failure: this form writes no holder.
    nativeBoundary(
        env,
        [&] {
            NativeTrace trace(env);
            trace.trace(2, "_ZTSET(alternate)",
                        "This should never be called outside Zenthra/Midrex ");
        },
        [] {});
}

}  // extern "C"

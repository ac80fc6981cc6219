// Message verbs of com.zel.zt.server.ZTSESSION with descriptor objects: put,
// put-one and get.
#include <jni.h>

#include <algorithm>

#include "JniGuards.h"
#include "NativeError.h"
#include "NativeZTGMO.h"
#include "NativeZTMD.h"
#include "NativeZTOD.h"
#include "NativeZTPMO.h"
#include "VerbFrame.h"
#include "ztm.h"

static const char* const clsname = "com.zel.zt.server_ZTSESSION";

extern "C" {

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTPUT(JNIEnv* env, jobject, jint hconn,
                                                                jint hobj, jobject msgDesc,
                                                                jobject putOptions,
                                                                jint dataLength, jbyteArray data,
                                                                jobject compCodeH,
                                                                jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTPUT", compCodeH, reasonH, [&](Verb& verb) {
        requireMessageBuffer(verb, data, dataLength);
        NativeZTPMO pmo(env, putOptions);
        ZTPMO pmoRecord;
        pmo.Initialise(&pmoRecord);
        NativeZTMD md(env, msgDesc);
        ZTMD mdRecord;
        md.InitialiseForPut(&mdRecord, pmoRecord.options);
        // The queue manager reads the message from the array's own elements.
        ByteArrayElements elements(env, data);
        if (elements.missing()) {
            throw NativeError();
        }
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        ZTPUT(hconn, hobj, &mdRecord, &pmoRecord, dataLength, elements.get(), &compCode, &reason);
        verb.value("CompCode is ", compCode);
        verb.value("Reason:", reason);
        verb.result(compCodeH, reasonH, compCode, reason);
        if (writesOutputs(compCode)) {
            md.SetJavaZTMD(mdRecord);
            pmo.SetJavaZTPMO(pmoRecord);
        }
        verb.exit();
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTPUT1(JNIEnv* env, jobject,
                                                                 jint hconn, jobject objDesc,
                                                                 jobject msgDesc,
                                                                 jobject putOptions,
                                                                 jint dataLength, jbyteArray data,
                                                                 jobject compCodeH,
                                                                 jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTPUT1", compCodeH, reasonH, [&](Verb& verb) {
        requireMessageBuffer(verb, data, dataLength);
        NativeZTPMO pmo(env, putOptions);
        ZTPMO pmoRecord;
        pmo.Initialise(&pmoRecord);
        NativeZTOD od(env, objDesc);
        ZTOD odRecord;
        od.Initialise(&odRecord);
        NativeZTMD md(env, msgDesc);
        ZTMD mdRecord;
        md.InitialiseForPut(&mdRecord, pmoRecord.options);
        ByteArrayElements elements(env, data);
        if (elements.missing()) {
            throw NativeError();
        }
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        ZTPUT1(hconn, &odRecord, &mdRecord, &pmoRecord, dataLength, elements.get(), &compCode,
               &reason);
        verb.value("CompCode is ", compCode);
        verb.value("Reason:", reason);
        verb.result(compCodeH, reasonH, compCode, reason);
        if (writesOutputs(compCode)) {
            md.SetJavaZTMD(mdRecord);
            pmo.SetJavaZTPMO(pmoRecord);
            od.SetJavaZTOD(odRecord);
        }
        verb.exit();
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTGET(JNIEnv* env, jobject, jint hconn,
                                                                jint hobj, jobject msgDesc,
                                                                jobject getOptions,
                                                                jint bufferLength,
                                                                jbyteArray buffer,
                                                                jobject dataLengthH,
                                                                jobject compCodeH,
                                                                jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTGET", compCodeH, reasonH, [&](Verb& verb) {
        requireMessageBuffer(verb, buffer, bufferLength);
        // Taken before the converters, and released on every path out.
        ByteArrayElements elements(env, buffer);
        if (elements.missing()) {
            throw NativeError();
        }
        NativeZTMD md(env, msgDesc);
        ZTMD mdRecord;
        md.InitialiseForGet(&mdRecord);
        NativeZTGMO gmo(env, getOptions);
        ZTGMO gmoRecord;
        gmo.Initialise(&gmoRecord);
        ZTLONG dataLength = 0;
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        ZTGET(hconn, hobj, &mdRecord, &gmoRecord, bufferLength, elements.get(), &dataLength,
              &compCode, &reason);
        verb.value("CompCode: ", compCode);
        verb.value("Reason:", reason);
        verb.result(compCodeH, reasonH, compCode, reason);
        if (writesOutputs(compCode)) {
            gmo.SetJavaZTGMO(gmoRecord);
            md.SetJavaZTMD(mdRecord);
            // Only the bytes received, never more than the buffer holds.
            const jint received = std::max<jint>(0, std::min<jint>(dataLength, bufferLength));
            if (received > 0) {
                env->SetByteArrayRegion(buffer, 0, received, elements.get());
                ExceptionStash::park(env);
            }
            verb.set(dataLengthH, dataLength);
        }
        verb.exit();
    });
}

}  // extern "C"

// Message verbs of com.zel.zt.server.ZTSESSION with descriptor objects: put,
// put-one and get.
#include <jni.h>

#include "com_zel_zt_server_ZTSESSION.h"

#include "MessageVerbs.h"

static const char* const clsname = "com.zel.zt.server_ZTSESSION";

extern "C" {

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTPUT(JNIEnv* env, jobject, jint hconn,
                                                                jint hobj, jobject msgDesc,
                                                                jobject putOptions,
                                                                jint dataLength, jbyteArray data,
                                                                jobject compCodeH,
                                                                jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTPUT", compCodeH, reasonH, [&](Verb& verb) {
        putMessage<DescriptorObject, OpenObject>(
            verb, nullptr, msgDesc, putOptions, dataLength, data,
            [&](ZTOD*, ZTMD* md, ZTPMO* pmo, jbyte* bytes, ZTLONG* cc, ZTLONG* rc) {
                ZTPUT(hconn, hobj, md, pmo, dataLength, bytes, cc, rc);
            });
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
        putMessage<DescriptorObject, NamedObject>(
            verb, objDesc, msgDesc, putOptions, dataLength, data,
            [&](ZTOD* od, ZTMD* md, ZTPMO* pmo, jbyte* bytes, ZTLONG* cc, ZTLONG* rc) {
                ZTPUT1(hconn, od, md, pmo, dataLength, bytes, cc, rc);
            });
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
        getMessage<DescriptorObject>(verb, hconn, hobj, msgDesc, getOptions, bufferLength, buffer,
                                     dataLengthH);
    });
}

}  // extern "C"

// Message verbs of com.zel.zt.server.ZTSESSION with message objects: put,
// put-one and get, the descriptor held in the host's message object.
#include <jni.h>

#include "com_zel_zt_server_ZTSESSION.h"

#include "MessageVerbs.h"

static const char* const clsname = "com.zel.zt.server_ZTSESSION";

extern "C" {

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTPUTMSG2(
    JNIEnv* env, jobject, jint hconn, jint hobj, jobject message, jobject putOptions,
    jint dataLength, jbyteArray data, jobject compCodeH, jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTPUTMSG2", compCodeH, reasonH, [&](Verb& verb) {
        putMessage<MessageObject, OpenObject>(
            verb, nullptr, message, putOptions, dataLength, data,
            [&](ZTOD*, ZTMD* md, ZTPMO* pmo, jbyte* bytes, ZTLONG* cc, ZTLONG* rc) {
                ZTPUT(hconn, hobj, md, pmo, dataLength, bytes, cc, rc);
            });
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTPUT1MSG2(
    JNIEnv* env, jobject, jint hconn, jobject objDesc, jobject message, jobject putOptions,
    jint dataLength, jbyteArray data, jobject compCodeH, jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTPUT1MSG2", compCodeH, reasonH, [&](Verb& verb) {
        putMessage<MessageObject, NamedObject>(
            verb, objDesc, message, putOptions, dataLength, data,
            [&](ZTOD* od, ZTMD* md, ZTPMO* pmo, jbyte* bytes, ZTLONG* cc, ZTLONG* rc) {
                ZTPUT1(hconn, od, md, pmo, dataLength, bytes, cc, rc);
            });
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1ZTGETMSG2(
    JNIEnv* env, jobject, jint hconn, jint hobj, jobject message, jobject getOptions,
    jint bufferLength, jbyteArray buffer, jobject dataLengthH, jobject compCodeH,
    jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_ZTGETMSG2", compCodeH, reasonH, [&](Verb& verb) {
        getMessage<MessageObject>(verb, hconn, hobj, message, getOptions, bufferLength, buffer,
                                  dataLengthH);
    });
}

}  // extern "C"

// Deferred messages through the service-provider interface: a put that no get
// sees until it is activated (or cancelled) by its 24-byte key. Natives of
// com.zel.zt.server.ZTSESSION in libdeferbridge.
#include <jni.h>

#include "com_zel_zt_server_ZTSESSION.h"

#include <cstring>

#include "ArgumentChecks.h"
#include "MessageVerbs.h"
#include "ztm.h"

static const char* const clsname = "com.zel.zt.server_ZTSESSION_DEF";

namespace {

const ZTLPOP kLpopTemplate = {{'L', 'P', 'O', 'P'}, 1, 0};
const ZTLACT kLactTemplate = {{'L', 'A', 'C', 'T'}, 1, 0, {0}, {0}};

// Activate and cancel differ only in the action word and the trace name.
void activateMessage(JNIEnv* env, const char* methodName, ZTLONG action, jint hconn,
                     jbyteArray key, jobject compCodeH, jobject reasonH) {
    runHolderFirstVerb(env, clsname, methodName, compCodeH, reasonH, [&](Verb& verb) {
        // A key that is missing or shorter than its field would be read past its end.
        requireBytes(verb, key, ZT_MESSAGE_KEY_LENGTH);
        ZTLACT activate = kLactTemplate;
        ByteArrayElements elements = checked::elements(env, key);
        if (elements.missing()) {
            throw NativeError();
        }
        activate.action = action;
        std::memcpy(activate.messageKey, elements.get(), sizeof activate.messageKey);
        ZTLONG compCode = 0;
        ZTLONG reason = 0;
        verb.beforeCall();
        lpiSPIActivateMessage(hconn, &activate, &compCode, &reason);
        verb.finish({"CompCode is ", "Reason:"}, compCode, reason);
    });
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1spiDefPut(
    JNIEnv* env, jobject, jint hconn, jint hobj, jobject message, jobject putOptions,
    jint dataLength, jbyteArray data, jobject compCodeH, jobject reasonH) {
    runHolderFirstVerb(env, clsname, "_spiDefPut", compCodeH, reasonH, [&](Verb& verb) {
        putMessage<MessageObject, OpenObject>(
            verb, nullptr, message, putOptions, dataLength, data,
            [&](ZTOD*, ZTMD* md, ZTPMO* pmo, jbyte* bytes, ZTLONG* cc, ZTLONG* rc) {
                ZTLPOP spiOptions = kLpopTemplate;
                spiOptions.options = ZTLPOP_DEFERRED;
                lpiSPIPut(hconn, hobj, md, pmo, dataLength, bytes, &spiOptions, cc, rc);
            });
    });
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1spiDefActivate(JNIEnv* env, jobject,
                                                                         jint hconn,
                                                                         jbyteArray key,
                                                                         jobject compCodeH,
                                                                         jobject reasonH) {
    activateMessage(env, "_spiDefActivate", ZTLACT_ACTIVATE, hconn, key, compCodeH, reasonH);
}

JNIEXPORT void JNICALL Java_com_zel_zt_server_ZTSESSION__1spiDefCancel(JNIEnv* env, jobject,
                                                                       jint hconn,
                                                                       jbyteArray key,
                                                                       jobject compCodeH,
                                                                       jobject reasonH) {
    activateMessage(env, "_spiDefCancel", ZTLACT_CANCEL, hconn, key, compCodeH, reasonH);
}

}  // extern "C"

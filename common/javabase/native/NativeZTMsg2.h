// The descriptor part of a host message object to and from the native ZTMD. The
// message object keeps each character field as raw bytes beside a cached flag;
// the bytes travel unchanged, and a flag is cleared exactly when its bytes are
// replaced.
#ifndef NATIVE_ZTMSG2_H
#define NATIVE_ZTMSG2_H

#include <jni.h>

#include "NativeZTMD.h"
#include "ztm.h"

class NativeZTMsg2 {
public:
    NativeZTMsg2(JNIEnv* env, jobject message);
    ~NativeZTMsg2();

    void populateNativeZTMDForPut(ZTMD* record, long putOptions);
    void populateNativeZTMDForGet(ZTMD* record);
    void populateJavaZTMsg2AfterPut(ZTMD* record);
    void populateJavaZTMsg2AfterGet(ZTMD* record);

private:
    void populateNativeZTMDCommon(ZTMD* record);
    void populateJavaZTMsg2Common(ZTMD* record);

    jint getIntValue(jfieldID id);
    void copyByteArrayToNative(jfieldID id, unsigned char* field, int width);
    void copyByteArrayToNative(jfieldID id, char* field, int width);
    void copyNativeToByteArray(const unsigned char* field, int width, jfieldID id);
    void copyNativeToByteArray(const char* field, int width, jfieldID id);
    void copyNativeToJavaInt(jint value, jfieldID id);
    // An int field the copy-in read: written only if the queue manager moved it.
    void writeBackJavaInt(jint value, jint copiedIn, jfieldID id);
    void setJavaBoolean(jfieldID id, bool value);

    JNIEnv* env_;
    jobject message_;
    jint version = 0;
    jfieldID report_, messageType_, expiry_, feedback_, encoding_, characterSet_, priority_,
        persistence_, backoutCount_, putApplicationType_, offset_, messageFlags_, versionField_,
        readCursor_;
    jfieldID dateText_, timeText_, messageId_, correlationId_, accountingToken_, format_,
        replyToQueueName_, replyToQueueManagerName_, userId_, applicationIdData_,
        putApplicationName_, applicationOriginData_;
    jfieldID putTimeCached_, formatCached_, replyToQueueNameCached_,
        replyToQueueManagerNameCached_, userIdCached_, applicationIdDataCached_,
        putApplicationNameCached_, applicationOriginDataCached_, stringsNeedCcsidConversion_;
    jmethodID getMessageData_, setMessageData_;
    jfieldID messageSequenceNumber_ = nullptr, originalLength_ = nullptr, groupId_ = nullptr;
    jbyteArray array_ = nullptr;
    // What the copy-in put into the record, and whether it read the put
    // application type (a put with both context bits).
    // Set by the copy-in, which every write-back follows: not zeroed first.
    ZTMDCopiedIn in_;
    bool context_ = false;
};

#endif

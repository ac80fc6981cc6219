// The host's message-descriptor object to and from the native message
// descriptor ZTMD, for a put or a get. Which fields travel depends on the
// direction, the descriptor version and, for a put, the context bits of the
// put options.
#ifndef NATIVE_ZTMD_H
#define NATIVE_ZTMD_H

#include <jni.h>

#include <cstring>

#include "ztm.h"

// The fields of a record that a write-back compares with what the copy-in put
// there. Only these are kept: copying the whole record would cost more than
// the comparisons save. The context strings are kept only where they are
// compared (a put whose options carry the context, whose copy-in read them).
struct ZTMDCopiedIn {
    ZTLONG encoding, characterSet, putApplicationType, messageSequenceNumber, offset;
    char userId[sizeof(ZTMD::userId)];
    char applicationIdData[sizeof(ZTMD::applicationIdData)];
    char putApplicationName[sizeof(ZTMD::putApplicationName)];
    char applicationOriginData[sizeof(ZTMD::applicationOriginData)];

    void keep(const ZTMD& md) {
        encoding = md.encoding;
        characterSet = md.characterSet;
        putApplicationType = md.putApplicationType;
        messageSequenceNumber = md.messageSequenceNumber;
        offset = md.offset;
    }
    void keepContext(const ZTMD& md) {
        std::memcpy(userId, md.userId, sizeof userId);
        std::memcpy(applicationIdData, md.applicationIdData, sizeof applicationIdData);
        std::memcpy(putApplicationName, md.putApplicationName, sizeof putApplicationName);
        std::memcpy(applicationOriginData, md.applicationOriginData, sizeof applicationOriginData);
    }
};

class NativeZTMD {
public:
    NativeZTMD(JNIEnv* env, jobject descriptor);
    ~NativeZTMD();

    void InitialiseForPut(ZTMD* record, long putOptions);
    void InitialiseForGet(ZTMD* record);
    void SetJavaZTMD(ZTMD record);

private:
    void Initialise(ZTMD* record);
    bool copyString(jfieldID id, char* field, int width);
    void copyBytes(jfieldID id, ZTBYTE* field, int width);

    JNIEnv* env_;
    jobject descriptor_;
    jint version = 0;
    bool get_ = false;
    long putOptions_ = 0;
    jfieldID report_, messageType_, expiry_, feedback_, encoding_, format_, priority_,
        persistence_, backoutCount_, replyToQueueName_, replyToQueueManagerName_, userId_,
        accountingToken_, applicationIdData_, putApplicationType_, putApplicationName_, putDate_,
        putTime_, putDateTime_, applicationOriginData_, characterSet_, messageId_,
        correlationId_;
    jfieldID groupId_ = nullptr, messageSequenceNumber_ = nullptr, offset_ = nullptr,
             messageFlags_ = nullptr, originalLength_ = nullptr;
    jmethodID setDateAndTime_;
    // What the copy-in put into the record, and which of the fields written
    // back it read (exactly, for the strings): those the queue manager left
    // as they were are not written again.
    // Set by the copy-in, which every write-back follows: not zeroed first.
    ZTMDCopiedIn in_;
    bool context_ = false;
    struct ExactStrings {
        bool userId, applicationIdData, putApplicationName, applicationOriginData;
    } exact_{};
    // The references the copies hold while they run.
    jstring string_ = nullptr;
    jbyteArray array_ = nullptr;
};

#endif

// The host's put-message-options object to and from the native ZTPMO. From
// version 2 on a put can go to a destination list: the converter then owns the
// native put-message records and response records for the length of the call.
#ifndef NATIVE_ZTPMO_H
#define NATIVE_ZTPMO_H

#include <jni.h>

#include <memory>

#include "FieldCopy.h"
#include "ztm.h"

class NativeZTPMO {
public:
    NativeZTPMO(JNIEnv* env, jobject options);
    ~NativeZTPMO();

    void Initialise(ZTPMO* record);
    void SetJavaZTPMO(ZTPMO record);

private:
    void buildResponseRecords();
    void buildPutMessageRecords();
    void writeResponseRecords();
    void writePutMessageRecords();

    JNIEnv* env_;
    jobject options_;
    jint version = 0;
    jfieldID optionsField_, contextReferenceHandle_, resolvedQueueName_,
        resolvedQueueManagerName_, knownDestCount_, unknownDestCount_, invalidDestCount_,
        noReadBack_;
    jfieldID putMsgRecordFields_ = nullptr, putMessageRecordsField_ = nullptr,
             responseRecordsField_ = nullptr;
    jmethodID getNumResponseRecords_ = nullptr;
    jint count_ = 0;
    jint fields_ = 0;
    int recordSize_ = 0;
    jobjectArray putMessageRecords_ = nullptr;
    jobjectArray responseRecords_ = nullptr;
    std::unique_ptr<unsigned char, FreeDeleter> putMessageRecordArray_;
    std::unique_ptr<ZTRR, FreeDeleter> responseRecordArray_;
};

#endif

// The host's object-descriptor object to and from the native object descriptor
// ZTOD, with the object records and response records of a destination list from
// version 2 on. Owns the two native record arrays for the length of the call:
// the descriptor's two addresses are valid while the converter lives.
#ifndef NATIVE_ZTOD_H
#define NATIVE_ZTOD_H

#include <jni.h>

#include <memory>

#include "FieldCopy.h"
#include "ztm.h"

class NativeZTOD {
public:
    NativeZTOD(JNIEnv* env, jobject descriptor);
    ~NativeZTOD();

    void Initialise(ZTOD* record);
    void SetJavaZTOD(ZTOD record);

private:
    void buildRecordArrays();

    JNIEnv* env_;
    jobject descriptor_;
    jfieldID versionField_ = nullptr;
    jfieldID objectType_ = nullptr;
    jfieldID objectName_ = nullptr;
    jfieldID objectQMgrName_ = nullptr;
    jfieldID dynamicQName_ = nullptr;
    jfieldID alternateUserId_ = nullptr;
    jfieldID knownDestCount_ = nullptr;
    jfieldID unknownDestCount_ = nullptr;
    jfieldID invalidDestCount_ = nullptr;
    jfieldID objectRecordsField_ = nullptr;
    jfieldID responseRecordsField_ = nullptr;
    jint version = 0;
    jint count = 0;
    jstring strings_[4] = {};
    jobjectArray objectRecords_ = nullptr;
    jobjectArray responseRecords_ = nullptr;
    std::unique_ptr<ZTOR, FreeDeleter> objectRecordArray_;
    std::unique_ptr<ZTRR, FreeDeleter> responseRecordArray_;
};

#endif

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
    // The two names as the copy-in put them, and whether each copy was exact:
    // a name the queue manager left as it was is not written back.
    char objectNameIn_[sizeof(ZTOD::objectName)] = {};
    char objectQMgrNameIn_[sizeof(ZTOD::objectQMgrName)] = {};
    bool objectNameExact_ = false;
    bool objectQMgrNameExact_ = false;
    jobjectArray objectRecords_ = nullptr;
    jobjectArray responseRecords_ = nullptr;
    std::unique_ptr<ZTOR, FreeDeleter> objectRecordArray_;
    std::unique_ptr<ZTRR, FreeDeleter> responseRecordArray_;
};

#endif

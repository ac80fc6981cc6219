// One Java "com/zel/zt/ZTObjectRecord" into one native object record. Built on
// the first element of the Java array; its identifiers serve every element.
#ifndef NATIVE_ZTOR_H
#define NATIVE_ZTOR_H

#include <jni.h>

#include "ztm.h"

class NativeZTOR {
public:
    NativeZTOR(JNIEnv* env, jobject record);
    ~NativeZTOR();

    void Initialise(ZTOR* record, jobject javaRecord);

private:
    JNIEnv* env_;
    jfieldID objectName_ = nullptr;
    jfieldID objectQMgrName_ = nullptr;
    jstring name_ = nullptr;
    jstring qmgrName_ = nullptr;
};

#endif

// One Java "com/zel/zt/ZTObjectRecord" into one native object record. Built on
// the first element of the Java array; every element is read through the
// members of its own class, which may be a subclass with fields of its own.
#ifndef NATIVE_ZTOR_H
#define NATIVE_ZTOR_H

#include <jni.h>

#include "MemberLookup.h"
#include "ztm.h"

class NativeZTOR {
public:
    NativeZTOR(JNIEnv* env, jobject record);
    ~NativeZTOR();

    void Initialise(ZTOR* record, jobject javaRecord);

private:
    struct Ids {
        jfieldID objectName;
        jfieldID objectQMgrName;
    };
    Ids membersOf(jobject javaRecord);

    JNIEnv* env_;
    ElementMembers<Ids> elements_{env_};
    jstring name_ = nullptr;
    jstring qmgrName_ = nullptr;
};

#endif

// One native response record (completion code and reason of one destination)
// into one Java "com/zel/zt/ZTResponseRecord". Built on the first element of the
// Java array; every element is written through the members of its own class,
// which may be a subclass with fields of its own.
#ifndef NATIVE_ZTRR_H
#define NATIVE_ZTRR_H

#include <jni.h>

#include "MemberLookup.h"
#include "ztm.h"

class NativeZTRR {
public:
    NativeZTRR(JNIEnv* env, jobject record);
    ~NativeZTRR() = default;

    // Response records only go from native to Java.
    void Initialise(ZTRR*, jobject) {}
    void SetJavaZTRR(ZTRR record, jobject javaRecord);

private:
    struct Ids {
        jfieldID completionCode;
        jfieldID reason;
    };
    Ids membersOf(jobject javaRecord);

    JNIEnv* env_;
    ElementMembers<Ids> elements_{env_};
};

#endif

// Put-message records of a destination list: one Java "com/zel/zt/ZTMessageTracker"
// to and from one native record whose fields are chosen by the field flags, laid
// end to end in a fixed order. Built on the first element of the Java array;
// every element is read and written through the members of its own class, which
// may be a subclass with fields of its own.
#ifndef NATIVE_ZTPMR_H
#define NATIVE_ZTPMR_H

#include <jni.h>

#include "MemberLookup.h"

class NativeZTPMR {
public:
    NativeZTPMR(JNIEnv* env, jobject record, long fields);
    ~NativeZTPMR();

    // Writes the selected fields of one Java record at *position; the caller
    // advances the position by the record size.
    void Initialise(unsigned char** position, jobject javaRecord);
    void SetJavaZTPMR(unsigned char* record, jobject javaRecord);

    // Size in bytes of one native record for the given field flags.
    static int getMemNeeded(long fields);

private:
    struct Ids {
        jfieldID messageId;
        jfieldID correlationId;
        jfieldID feedback;
        jfieldID accountingToken;
        jfieldID groupId;
    };
    Ids membersOf(jobject javaRecord);

    JNIEnv* env_;
    ElementMembers<Ids> elements_{env_};
    long fields_;
    jbyteArray array_ = nullptr;
};

#endif

// The host's get-message-options object to and from the native ZTGMO.
#ifndef NATIVE_ZTGMO_H
#define NATIVE_ZTGMO_H

#include <jni.h>

#include "ztm.h"

class NativeZTGMO {
public:
    NativeZTGMO(JNIEnv* env, jobject options);
    ~NativeZTGMO();

    void Initialise(ZTGMO* record);
    void SetJavaZTGMO(ZTGMO record);

private:
    JNIEnv* env_;
    jobject options_;
    jint version = 0;
    jfieldID optionsField_, waitInterval_, resolvedQueueName_, noReadBack_;
    jfieldID matchOptions_ = nullptr, groupStatus_ = nullptr, segmentStatus_ = nullptr,
             segmentation_ = nullptr;
};

#endif

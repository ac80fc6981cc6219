#include "FieldCopy.h"

#include "CheckedJni.h"
#include "NativeTrace.h"

jclass requireObjectClass(JNIEnv* env, jobject obj, const char* what) {
    if (obj == nullptr) {
        NativeTrace trace(env);
        trace.trace(2, what, "***********Null object");
        throw NativeError();
    }
    return jni::objectClass(env, obj);
}

void requireRecords(JNIEnv* env, jobjectArray array, jint count, const char* field) {
    if (array == nullptr || jni::arrayLength(env, array) < count) {
        NativeTrace trace(env);
        trace.trace(2, field, "***********Too few records");
        DoException(env, 2, 2195, 103, field);
    }
}

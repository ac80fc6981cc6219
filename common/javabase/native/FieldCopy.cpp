#include "FieldCopy.h"

#include "ExceptionStash.h"
#include "NativeTrace.h"

jclass requireObjectClass(JNIEnv* env, jobject obj, const char* what) {
    if (obj == nullptr) {
        NativeTrace trace(env);
        trace.trace(2, what, "***********Null object");
        throw NativeError();
    }
    return env->GetObjectClass(obj);
}

jobject arrayElement(JNIEnv* env, jobjectArray array, jsize index) {
    // A null element, or an index out of bounds (callers keep within bounds).
    return ExceptionStash::parkIfNull(env, env->GetObjectArrayElement(array, index));
}

void requireRecords(JNIEnv* env, jobjectArray array, jint count, const char* field) {
    if (array == nullptr || env->GetArrayLength(array) < count) {
        NativeTrace trace(env);
        trace.trace(2, field, "***********Too few records");
        DoException(env, 2, 2195, 103, field);
    }
}

// Natives of the benchmark program: the floor (an empty native method) and the
// switch that makes the stand-in queue manager answer at once, so that what is
// measured is the bridge's own cost.
#include <jni.h>

#include <chrono>
#include <string>
#include <vector>

#include "ztm_control.h"

extern "C" {

JNIEXPORT void JNICALL Java_Bench_empty(JNIEnv*, jclass) {}

// The unit the verbs are also reported in: one call reading the 16 int fields
// f0 to f15 of one object, each a plain GetIntField. The identifiers are looked
// up by the first call, on that object's class (the benchmark's own).
JNIEXPORT jint JNICALL Java_Bench_readIntFields(JNIEnv* env, jclass, jobject obj) {
    constexpr int kFields = 16;
    static jfieldID ids[kFields] = {};
    if (ids[0] == nullptr) {
        jclass cls = env->GetObjectClass(obj);
        for (int i = 0; i < kFields; ++i) {
            const std::string name = "f" + std::to_string(i);
            ids[i] = env->GetFieldID(cls, name.c_str(), "I");
            if (ids[i] == nullptr) {
                return 0;
            }
        }
        env->DeleteLocalRef(cls);
    }
    jint sum = 0;
    for (jfieldID id : ids) {
        sum += env->GetIntField(obj, id);
    }
    return sum;
}

// Nanoseconds per field lookup by name, over `rounds` lookups of every field
// named: what the converters pay for each member they look up per call.
JNIEXPORT jdouble JNICALL Java_Bench_fieldLookupNs(JNIEnv* env, jclass, jclass cls,
                                                  jobjectArray names, jobjectArray sigs,
                                                  jint rounds) {
    const jsize n = env->GetArrayLength(names);
    std::vector<std::string> name(n), sig(n);
    for (jsize i = 0; i < n; ++i) {
        auto s = static_cast<jstring>(env->GetObjectArrayElement(names, i));
        auto t = static_cast<jstring>(env->GetObjectArrayElement(sigs, i));
        const char* a = env->GetStringUTFChars(s, nullptr);
        const char* b = env->GetStringUTFChars(t, nullptr);
        name[i] = a;
        sig[i] = b;
        env->ReleaseStringUTFChars(s, a);
        env->ReleaseStringUTFChars(t, b);
        env->DeleteLocalRef(s);
        env->DeleteLocalRef(t);
    }
    const auto start = std::chrono::steady_clock::now();
    for (jint r = 0; r < rounds; ++r) {
        for (jsize i = 0; i < n; ++i) {
            if (env->GetFieldID(cls, name[i].c_str(), sig[i].c_str()) == nullptr) {
                return -1;
            }
        }
    }
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / (static_cast<double>(rounds) * n);
}

JNIEXPORT void JNICALL Java_Bench_setInstantMode(JNIEnv*, jclass, jboolean on) {
    ztmctl::setInstantMode(on == JNI_TRUE);
}

JNIEXPORT void JNICALL Java_Bench_setInstantGetLength(JNIEnv*, jclass, jint length) {
    ztmctl::setInstantGetLength(length);
}

}  // extern "C"

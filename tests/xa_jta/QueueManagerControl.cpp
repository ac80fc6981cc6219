// Natives of the test class JtaTest$Qm: what the tests need of the stand-in
// queue manager's control interface that no verb gives, called from the Java
// programs these tests run. Only test code loads this library.
#include <jni.h>

#include <cstring>
#include <string>

#include "ztm_control.h"
#include "ztm_xa_control.h"

namespace {

std::string utf(JNIEnv* env, jstring s) {
    const char* chars = env->GetStringUTFChars(s, nullptr);
    if (chars == nullptr) return std::string();
    std::string out(chars);
    env->ReleaseStringUTFChars(s, chars);
    return out;
}

}  // namespace

extern "C" {

// The tests count the queue manager's calls: recording, off by default, is
// switched on as the test program loads this library.
JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM*, void*) {
    ztmctl::setRecording(true);
    return JNI_VERSION_1_8;
}

JNIEXPORT jint JNICALL Java_JtaTest_00024Qm_visibleDepth(JNIEnv* env, jclass, jstring queue) {
    try {
        return static_cast<jint>(ztmctl::visibleDepth(utf(env, queue), "QM1"));
    } catch (...) {
        return -1;
    }
}

JNIEXPORT jint JNICALL Java_JtaTest_00024Qm_calls(JNIEnv* env, jclass, jstring function) {
    try {
        return static_cast<jint>(ztmctl::callsOf(utf(env, function)).size());
    } catch (...) {
        return -1;
    }
}

JNIEXPORT jint JNICALL Java_JtaTest_00024Qm_branches(JNIEnv*, jclass) {
    return ztmXABranchCount();
}

// The next zstXACommit answers code without committing (the branch stays
// prepared); with heuristic set, it first completes the branch heuristically
// with that outcome, as an administrator would, and answers it.
JNIEXPORT void JNICALL Java_JtaTest_00024Qm_scriptCommit(JNIEnv*, jclass, jint code, jboolean heuristic) {
    try {
        ztmctl::Answer answer;
        answer.returnValue = code;
        if (heuristic) {
            answer.hook = [code](void** args) { ztmXAHeuristic(static_cast<const XID*>(args[0]), code); };
        }
        ztmctl::scriptNext("zstXACommit", answer);
    } catch (...) {
    }
}

}  // extern "C"

// Natives of the benchmark program: the floor (an empty native method) and the
// switch that makes the stand-in queue manager answer at once, so that what is
// measured is the bridge's own cost.
#include <jni.h>

#include "ztm_control.h"

extern "C" {

JNIEXPORT void JNICALL Java_Bench_empty(JNIEnv*, jclass) {}

JNIEXPORT void JNICALL Java_Bench_setInstantMode(JNIEnv*, jclass, jboolean on) {
    ztmctl::setInstantMode(on == JNI_TRUE);
}

}  // extern "C"

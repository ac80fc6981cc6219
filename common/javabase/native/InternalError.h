// The bridge's report of a host class or member it cannot find: logged to the
// host's internal-exception logger, then raised as NativeError. Below the trace
// facility and the helpers, which both report through it (DoException is its
// exported name).
#ifndef INTERNAL_ERROR_H
#define INTERNAL_ERROR_H

#include <jni.h>

// Logs the probe and message to "com/zel/ztservices/ZTInternalException" and
// throws NativeError.
[[noreturn]] void raiseInternalError(JNIEnv* env, int probe, const char* message);

#endif

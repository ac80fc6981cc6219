// Every entry of the JNI function table (JDK 17, and what JDK 21 and 24
// added when built against their jni.h), for the proxy environment.
// ZT_JNI_PLAIN lists the functions with a fixed parameter list; ZT_JNI_VARIADIC
// the "..." forms, each forwarded to its va_list form. Regenerate both lists
// from jni.h if a later JDK adds functions (the proxy asserts the table size).
#pragma once

#include <jni.h>

#define ZT_JNI_PLAIN(X) \
  X(GetVersion) \
  X(DefineClass) \
  X(FindClass) \
  X(FromReflectedMethod) \
  X(FromReflectedField) \
  X(ToReflectedMethod) \
  X(GetSuperclass) \
  X(IsAssignableFrom) \
  X(ToReflectedField) \
  X(Throw) \
  X(ThrowNew) \
  X(ExceptionOccurred) \
  X(ExceptionDescribe) \
  X(ExceptionClear) \
  X(FatalError) \
  X(PushLocalFrame) \
  X(PopLocalFrame) \
  X(NewGlobalRef) \
  X(DeleteGlobalRef) \
  X(DeleteLocalRef) \
  X(IsSameObject) \
  X(NewLocalRef) \
  X(EnsureLocalCapacity) \
  X(AllocObject) \
  X(NewObjectV) \
  X(NewObjectA) \
  X(GetObjectClass) \
  X(IsInstanceOf) \
  X(GetMethodID) \
  X(CallObjectMethodV) \
  X(CallObjectMethodA) \
  X(CallBooleanMethodV) \
  X(CallBooleanMethodA) \
  X(CallByteMethodV) \
  X(CallByteMethodA) \
  X(CallCharMethodV) \
  X(CallCharMethodA) \
  X(CallShortMethodV) \
  X(CallShortMethodA) \
  X(CallIntMethodV) \
  X(CallIntMethodA) \
  X(CallLongMethodV) \
  X(CallLongMethodA) \
  X(CallFloatMethodV) \
  X(CallFloatMethodA) \
  X(CallDoubleMethodV) \
  X(CallDoubleMethodA) \
  X(CallVoidMethodV) \
  X(CallVoidMethodA) \
  X(CallNonvirtualObjectMethodV) \
  X(CallNonvirtualObjectMethodA) \
  X(CallNonvirtualBooleanMethodV) \
  X(CallNonvirtualBooleanMethodA) \
  X(CallNonvirtualByteMethodV) \
  X(CallNonvirtualByteMethodA) \
  X(CallNonvirtualCharMethodV) \
  X(CallNonvirtualCharMethodA) \
  X(CallNonvirtualShortMethodV) \
  X(CallNonvirtualShortMethodA) \
  X(CallNonvirtualIntMethodV) \
  X(CallNonvirtualIntMethodA) \
  X(CallNonvirtualLongMethodV) \
  X(CallNonvirtualLongMethodA) \
  X(CallNonvirtualFloatMethodV) \
  X(CallNonvirtualFloatMethodA) \
  X(CallNonvirtualDoubleMethodV) \
  X(CallNonvirtualDoubleMethodA) \
  X(CallNonvirtualVoidMethodV) \
  X(CallNonvirtualVoidMethodA) \
  X(GetFieldID) \
  X(GetObjectField) \
  X(GetBooleanField) \
  X(GetByteField) \
  X(GetCharField) \
  X(GetShortField) \
  X(GetIntField) \
  X(GetLongField) \
  X(GetFloatField) \
  X(GetDoubleField) \
  X(SetObjectField) \
  X(SetBooleanField) \
  X(SetByteField) \
  X(SetCharField) \
  X(SetShortField) \
  X(SetIntField) \
  X(SetLongField) \
  X(SetFloatField) \
  X(SetDoubleField) \
  X(GetStaticMethodID) \
  X(CallStaticObjectMethodV) \
  X(CallStaticObjectMethodA) \
  X(CallStaticBooleanMethodV) \
  X(CallStaticBooleanMethodA) \
  X(CallStaticByteMethodV) \
  X(CallStaticByteMethodA) \
  X(CallStaticCharMethodV) \
  X(CallStaticCharMethodA) \
  X(CallStaticShortMethodV) \
  X(CallStaticShortMethodA) \
  X(CallStaticIntMethodV) \
  X(CallStaticIntMethodA) \
  X(CallStaticLongMethodV) \
  X(CallStaticLongMethodA) \
  X(CallStaticFloatMethodV) \
  X(CallStaticFloatMethodA) \
  X(CallStaticDoubleMethodV) \
  X(CallStaticDoubleMethodA) \
  X(CallStaticVoidMethodV) \
  X(CallStaticVoidMethodA) \
  X(GetStaticFieldID) \
  X(GetStaticObjectField) \
  X(GetStaticBooleanField) \
  X(GetStaticByteField) \
  X(GetStaticCharField) \
  X(GetStaticShortField) \
  X(GetStaticIntField) \
  X(GetStaticLongField) \
  X(GetStaticFloatField) \
  X(GetStaticDoubleField) \
  X(SetStaticObjectField) \
  X(SetStaticBooleanField) \
  X(SetStaticByteField) \
  X(SetStaticCharField) \
  X(SetStaticShortField) \
  X(SetStaticIntField) \
  X(SetStaticLongField) \
  X(SetStaticFloatField) \
  X(SetStaticDoubleField) \
  X(NewString) \
  X(GetStringLength) \
  X(GetStringChars) \
  X(ReleaseStringChars) \
  X(NewStringUTF) \
  X(GetStringUTFLength) \
  X(GetStringUTFChars) \
  X(ReleaseStringUTFChars) \
  X(GetArrayLength) \
  X(NewObjectArray) \
  X(GetObjectArrayElement) \
  X(SetObjectArrayElement) \
  X(NewBooleanArray) \
  X(NewByteArray) \
  X(NewCharArray) \
  X(NewShortArray) \
  X(NewIntArray) \
  X(NewLongArray) \
  X(NewFloatArray) \
  X(NewDoubleArray) \
  X(GetBooleanArrayElements) \
  X(GetByteArrayElements) \
  X(GetCharArrayElements) \
  X(GetShortArrayElements) \
  X(GetIntArrayElements) \
  X(GetLongArrayElements) \
  X(GetFloatArrayElements) \
  X(GetDoubleArrayElements) \
  X(ReleaseBooleanArrayElements) \
  X(ReleaseByteArrayElements) \
  X(ReleaseCharArrayElements) \
  X(ReleaseShortArrayElements) \
  X(ReleaseIntArrayElements) \
  X(ReleaseLongArrayElements) \
  X(ReleaseFloatArrayElements) \
  X(ReleaseDoubleArrayElements) \
  X(GetBooleanArrayRegion) \
  X(GetByteArrayRegion) \
  X(GetCharArrayRegion) \
  X(GetShortArrayRegion) \
  X(GetIntArrayRegion) \
  X(GetLongArrayRegion) \
  X(GetFloatArrayRegion) \
  X(GetDoubleArrayRegion) \
  X(SetBooleanArrayRegion) \
  X(SetByteArrayRegion) \
  X(SetCharArrayRegion) \
  X(SetShortArrayRegion) \
  X(SetIntArrayRegion) \
  X(SetLongArrayRegion) \
  X(SetFloatArrayRegion) \
  X(SetDoubleArrayRegion) \
  X(RegisterNatives) \
  X(UnregisterNatives) \
  X(MonitorEnter) \
  X(MonitorExit) \
  X(GetJavaVM) \
  X(GetStringRegion) \
  X(GetStringUTFRegion) \
  X(GetPrimitiveArrayCritical) \
  X(ReleasePrimitiveArrayCritical) \
  X(GetStringCritical) \
  X(ReleaseStringCritical) \
  X(NewWeakGlobalRef) \
  X(DeleteWeakGlobalRef) \
  X(ExceptionCheck) \
  X(NewDirectByteBuffer) \
  X(GetDirectBufferAddress) \
  X(GetDirectBufferCapacity) \
  X(GetObjectRefType) \
  X(GetModule) \
  ZT_JNI_SINCE_21(X) \
  ZT_JNI_SINCE_24(X)

// Functions later JDKs append to the table: present when the jni.h built
// against has them.
#ifdef JNI_VERSION_21
#define ZT_JNI_SINCE_21(X) X(IsVirtualThread)
#else
#define ZT_JNI_SINCE_21(X)
#endif
#ifdef JNI_VERSION_24
#define ZT_JNI_SINCE_24(X) X(GetStringUTFLengthAsLong)
#else
#define ZT_JNI_SINCE_24(X)
#endif

// X(name, shape): shape I = (obj, method), S = (class, method),
// N = (obj, class, method), C = (class, method) constructing.
#define ZT_JNI_VARIADIC(X) \
  X(NewObject, C) \
  X(CallObjectMethod, I) \
  X(CallBooleanMethod, I) \
  X(CallByteMethod, I) \
  X(CallCharMethod, I) \
  X(CallShortMethod, I) \
  X(CallIntMethod, I) \
  X(CallLongMethod, I) \
  X(CallFloatMethod, I) \
  X(CallDoubleMethod, I) \
  X(CallVoidMethod, I) \
  X(CallNonvirtualObjectMethod, N) \
  X(CallNonvirtualBooleanMethod, N) \
  X(CallNonvirtualByteMethod, N) \
  X(CallNonvirtualCharMethod, N) \
  X(CallNonvirtualShortMethod, N) \
  X(CallNonvirtualIntMethod, N) \
  X(CallNonvirtualLongMethod, N) \
  X(CallNonvirtualFloatMethod, N) \
  X(CallNonvirtualDoubleMethod, N) \
  X(CallNonvirtualVoidMethod, N) \
  X(CallStaticObjectMethod, S) \
  X(CallStaticBooleanMethod, S) \
  X(CallStaticByteMethod, S) \
  X(CallStaticCharMethod, S) \
  X(CallStaticShortMethod, S) \
  X(CallStaticIntMethod, S) \
  X(CallStaticLongMethod, S) \
  X(CallStaticFloatMethod, S) \
  X(CallStaticDoubleMethod, S) \
  X(CallStaticVoidMethod, S) \


// The shape shared by the put and get verbs, whichever object holds the
// descriptor (a descriptor object or a message object) and whichever queue
// manager function is called. Only the pieces a verb names are instantiated, so
// libdeferbridge needs none of the converters it does not use.
#ifndef MESSAGE_VERBS_H
#define MESSAGE_VERBS_H

#include <jni.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "ArgumentChecks.h"
#include "CheckedJni.h"
#include "FieldCopy.h"
#include "FreeDeleter.h"
#include "NativeError.h"
#include "NativeZTGMO.h"
#include "NativeZTMD.h"
#include "NativeZTMsg2.h"
#include "NativeZTOD.h"
#include "NativeZTPMO.h"
#include "VerbFrame.h"
#include "ztm.h"

// The descriptor held in a descriptor object.
class DescriptorObject {
public:
    DescriptorObject(JNIEnv* env, jobject descriptor) : converter_(env, descriptor) {}
    void forPut(ZTMD* md, long putOptions) { converter_.InitialiseForPut(md, putOptions); }
    void forGet(ZTMD* md) { converter_.InitialiseForGet(md); }
    void afterPut(ZTMD* md) { converter_.SetJavaZTMD(*md); }
    void afterGet(ZTMD* md) { converter_.SetJavaZTMD(*md); }

private:
    NativeZTMD converter_;
};

// The descriptor held in a message object.
class MessageObject {
public:
    MessageObject(JNIEnv* env, jobject message) : converter_(env, message) {}
    void forPut(ZTMD* md, long putOptions) { converter_.populateNativeZTMDForPut(md, putOptions); }
    void forGet(ZTMD* md) { converter_.populateNativeZTMDForGet(md); }
    void afterPut(ZTMD* md) { converter_.populateJavaZTMsg2AfterPut(md); }
    void afterGet(ZTMD* md) { converter_.populateJavaZTMsg2AfterGet(md); }

private:
    NativeZTMsg2 converter_;
};

// Native memory for message data, so that only the bytes that move are copied:
// a put copies in exactly the data's length, a get copies back exactly the
// bytes received, whatever the size of the Java array. Small on the stack,
// larger from the heap; never a critical region, since a get may wait.
class MessageBuffer {
public:
    explicit MessageBuffer(jint length) {
        if (length > static_cast<jint>(sizeof small_)) {
            large_.reset(static_cast<jbyte*>(std::malloc(static_cast<size_t>(length))));
            data_ = large_.get();
        }
    }
    MessageBuffer(const MessageBuffer&) = delete;
    MessageBuffer& operator=(const MessageBuffer&) = delete;

    jbyte* get() const { return data_; }

private:
    jbyte small_[4096];
    std::unique_ptr<jbyte, FreeDeleter> large_;
    jbyte* data_ = small_;
};

// The native memory for `length` bytes; none to be had is the bridge's failure.
inline jbyte* requireBuffer(const Verb& verb, const MessageBuffer& buffer) {
    if (buffer.get() == nullptr) {
        verb.trace.trace(2, verb.methodName, "***********No memory for message data");
        throw NativeError();
    }
    return buffer.get();
}

// A put to an open object: no object descriptor.
struct OpenObject {
    OpenObject(JNIEnv*, jobject) {}
    ZTOD* record() { return nullptr; }
    void afterPut() {}
};

// Put-one: the object descriptor names the object.
class NamedObject {
public:
    NamedObject(JNIEnv* env, jobject objDesc) : converter_(env, objDesc) {
        converter_.Initialise(&record_);
    }
    ZTOD* record() { return &record_; }
    void afterPut() { converter_.SetJavaZTOD(record_); }

private:
    NativeZTOD converter_;
    ZTOD record_;
};

// Put: options, then the object descriptor (put-one), then the message
// descriptor, then the data's bytes.
// `call(od, md, pmo, data, &compCode, &reason)` calls the queue manager.
template <typename Descriptor, typename Target, typename Call>
void putMessage(Verb& verb, jobject target, jobject message, jobject putOptions, jint dataLength,
                jbyteArray data, Call&& call) {
    JNIEnv* env = verb.env;
    checked::OwnFrameRoom frame(env, kVerbFrameRefs);
    requireBytes(verb, data, dataLength);
    NativeZTPMO pmo(env, putOptions);
    ZTPMO pmoRecord;
    pmo.Initialise(&pmoRecord);
    Target object(env, target);
    Descriptor descriptor(env, message);
    ZTMD mdRecord;
    descriptor.forPut(&mdRecord, pmoRecord.options);
    MessageBuffer bytes(dataLength);
    jbyte* in = requireBuffer(verb, bytes);
    // requireBytes held the length to the array: no bounds to break.
    if (dataLength > 0) {
        checked::byteArrayPrefix(env, data, dataLength, in);
    }
    ZTLONG compCode = 0;
    ZTLONG reason = 0;
    verb.beforeCall();
    call(object.record(), &mdRecord, &pmoRecord, in, &compCode, &reason);
    verb.finish({"CompCode is ", "Reason:"}, compCode, reason, [&] {
        descriptor.afterPut(&mdRecord);
        pmo.SetJavaZTPMO(pmoRecord);
        object.afterPut();
    });
}

// Get: native memory for the buffer first, then the message descriptor and the
// options. Only the bytes received are copied back into the Java buffer.
template <typename Descriptor>
void getMessage(Verb& verb, jint hconn, jint hobj, jobject message, jobject getOptions,
                jint bufferLength, jbyteArray buffer, jobject dataLengthH) {
    JNIEnv* env = verb.env;
    checked::OwnFrameRoom frame(env, kVerbFrameRefs);
    requireBytes(verb, buffer, bufferLength);
    MessageBuffer bytes(bufferLength);
    jbyte* out = requireBuffer(verb, bytes);
    Descriptor descriptor(env, message);
    ZTMD mdRecord;
    descriptor.forGet(&mdRecord);
    NativeZTGMO gmo(env, getOptions);
    ZTGMO gmoRecord;
    gmo.Initialise(&gmoRecord);
    ZTLONG dataLength = 0;
    ZTLONG compCode = 0;
    ZTLONG reason = 0;
    verb.beforeCall();
    ZTGET(hconn, hobj, &mdRecord, &gmoRecord, bufferLength, out, &dataLength,
          &compCode, &reason);
    verb.finish({"CompCode: ", "Reason:"}, compCode, reason, [&] {
        gmo.SetJavaZTGMO(gmoRecord);
        descriptor.afterGet(&mdRecord);
        const jint received = std::max<jint>(0, std::min<jint>(dataLength, bufferLength));
        // No more than the buffer's length, which requireBytes held to the array.
        if (received > 0) {
            checked::storeByteArrayPrefix(env, buffer, received, out);
        }
        verb.set(dataLengthH, dataLength);
    });
}

#endif

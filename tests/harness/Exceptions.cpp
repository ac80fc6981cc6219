// Java exceptions: taking the one left pending, and describing one.
#include "HelperScope.h"
#include "JniProxy.h"
#include "Jvm.h"

namespace zt::test {

namespace detail {

Thrown describe(JNIEnv* e, jthrowable t) {
    Thrown out;
    if (e->PushLocalFrame(8) != 0) {
        e->ExceptionClear();
        out.className = "<unknown: no local frame>";
        return out;
    }
    jclass cls = e->GetObjectClass(t);
    jclass classClass = e->FindClass("java/lang/Class");
    jclass throwableClass = classClass ? e->FindClass("java/lang/Throwable") : nullptr;
    jmethodID getName =
        throwableClass ? e->GetMethodID(classClass, "getName", "()Ljava/lang/String;") : nullptr;
    jmethodID getMessage =
        getName ? e->GetMethodID(throwableClass, "getMessage", "()Ljava/lang/String;") : nullptr;
    if (e->ExceptionCheck() || !getMessage) {
        e->ExceptionClear();
        e->PopLocalFrame(nullptr);
        out.className = "<unknown>";
        return out;
    }
    auto text = [&](jobject s) {
        std::string r;
        if (s) {
            const char* c = e->GetStringUTFChars(static_cast<jstring>(s), nullptr);
            if (c) {
                r = c;
                e->ReleaseStringUTFChars(static_cast<jstring>(s), c);
            } else {
                e->ExceptionClear();
            }
        }
        return r;
    };
    jobject name = e->CallObjectMethod(cls, getName);
    if (e->ExceptionCheck()) e->ExceptionClear();
    out.className = text(name);
    jobject message = e->CallObjectMethod(t, getMessage);
    if (e->ExceptionCheck()) e->ExceptionClear();
    out.message = text(message);
    e->PopLocalFrame(nullptr);
    return out;
}

} // namespace detail

Thrown takePendingThrowable() {
    JNIEnv* e = env();
    if (!e->ExceptionCheck()) return {};
    jthrowable t = e->ExceptionOccurred();
    e->ExceptionClear();
    JniProxy::exceptionTakenAll();
    Thrown d = detail::describe(e, t);
    e->DeleteLocalRef(t);
    return d;
}

std::string takePendingException() { return takePendingThrowable().className; }

} // namespace zt::test

// Calls of Java methods, static and on an instance.
#include "HelperScope.h"
#include "Jvm.h"

#include <cstdarg>
#include <type_traits>

namespace zt::test {

using detail::methodId;
using detail::Scope;

namespace detail {

jmethodID methodId(Scope& s, jclass cls, const char* method, const char* sig, bool isStatic) {
    JNIEnv* e = s.env();
    jmethodID id = isStatic ? e->GetStaticMethodID(cls, method, sig) : e->GetMethodID(cls, method, sig);
    s.check(std::string("method ") + method + sig);
    return id;
}

} // namespace detail

namespace {
// Runs a call and checks for a Java exception; an object result moves out of
// the helper's frame.
template <typename R, typename Call>
R finishCall(Scope& s, const std::string& what, Call&& call) {
    if constexpr (std::is_void_v<R>) {
        call();
        s.check(what);
    } else {
        R r = call();
        s.check(what);
        if constexpr (std::is_same_v<R, jobject>)
            return s.keep(r);
        else
            return r;
    }
}

template <typename R, typename Call>
R staticCall(const char* className, const char* method, const char* sig, Call&& call) {
    jclass cls = findClass(className);
    Scope s;
    jmethodID id = methodId(s, cls, method, sig, true);
    return finishCall<R>(s, std::string(className) + "." + method, [&] { return call(s.env(), cls, id); });
}

template <typename R, typename Call>
R instanceCall(jobject obj, const char* method, const char* sig, Call&& call) {
    if (!obj) throw JavaError(std::string("call of ") + method + " on a null object");
    Scope s;
    jmethodID id = methodId(s, s.env()->GetObjectClass(obj), method, sig, false);
    return finishCall<R>(s, std::string("call of ") + method, [&] { return call(s.env(), id); });
}
} // namespace

namespace {
struct VaEnd {
    va_list& ap;
    ~VaEnd() { va_end(ap); }
};
} // namespace

void callStaticVoid(const char* className, const char* method, const char* sig, ...) {
    va_list ap;
    va_start(ap, sig);
    VaEnd end{ap};
    staticCall<void>(className, method, sig, [&](JNIEnv* e, jclass c, jmethodID m) { e->CallStaticVoidMethodV(c, m, ap); });
}

bool callStaticBoolean(const char* className, const char* method, const char* sig, ...) {
    va_list ap;
    va_start(ap, sig);
    VaEnd end{ap};
    return staticCall<jboolean>(className, method, sig, [&](JNIEnv* e, jclass c, jmethodID m) {
               return e->CallStaticBooleanMethodV(c, m, ap);
           }) != JNI_FALSE;
}

jint callStaticInt(const char* className, const char* method, const char* sig, ...) {
    va_list ap;
    va_start(ap, sig);
    VaEnd end{ap};
    return staticCall<jint>(className, method, sig,
                            [&](JNIEnv* e, jclass c, jmethodID m) { return e->CallStaticIntMethodV(c, m, ap); });
}

jobject callStaticObject(const char* className, const char* method, const char* sig, ...) {
    va_list ap;
    va_start(ap, sig);
    VaEnd end{ap};
    return staticCall<jobject>(className, method, sig,
                               [&](JNIEnv* e, jclass c, jmethodID m) { return e->CallStaticObjectMethodV(c, m, ap); });
}

void callVoid(jobject obj, const char* method, const char* sig, ...) {
    va_list ap;
    va_start(ap, sig);
    VaEnd end{ap};
    instanceCall<void>(obj, method, sig, [&](JNIEnv* e, jmethodID m) { e->CallVoidMethodV(obj, m, ap); });
}

jint callInt(jobject obj, const char* method, const char* sig, ...) {
    va_list ap;
    va_start(ap, sig);
    VaEnd end{ap};
    return instanceCall<jint>(obj, method, sig, [&](JNIEnv* e, jmethodID m) { return e->CallIntMethodV(obj, m, ap); });
}

jobject callObject(jobject obj, const char* method, const char* sig, ...) {
    va_list ap;
    va_start(ap, sig);
    VaEnd end{ap};
    return instanceCall<jobject>(obj, method, sig,
                                 [&](JNIEnv* e, jmethodID m) { return e->CallObjectMethodV(obj, m, ap); });
}

} // namespace zt::test

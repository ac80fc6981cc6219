// Classes, objects, strings and arrays.
#include "HelperScope.h"
#include "Jvm.h"

#include <cstdarg>
#include <map>
#include <mutex>

namespace zt::test {

using detail::methodId;
using detail::Scope;
using detail::utf;

namespace {

// Classes found so far, as global references: a test looks the same few up
// again and again.
struct ClassCache {
    std::mutex lock;
    std::map<std::string, jclass> classes;
};

ClassCache& classCache() {
    static ClassCache c;
    return c;
}

} // namespace

namespace detail {

std::string utf(Scope& s, jstring str) {
    JNIEnv* e = s.env();
    const char* c = e->GetStringUTFChars(str, nullptr);
    s.check("GetStringUTFChars");
    std::string r(c, static_cast<size_t>(e->GetStringUTFLength(str)));
    e->ReleaseStringUTFChars(str, c);
    return r;
}

} // namespace detail

// --- classes and objects --------------------------------------------------------

jclass findClass(const char* name) {
    {
        std::lock_guard<std::mutex> g(classCache().lock);
        auto it = classCache().classes.find(name);
        if (it != classCache().classes.end()) return it->second;
    }
    Scope s;
    jclass local = s.env()->FindClass(name);
    s.check(std::string("FindClass ") + name);
    auto global = static_cast<jclass>(s.env()->NewGlobalRef(local));
    std::lock_guard<std::mutex> g(classCache().lock);
    classCache().classes.emplace(name, global);
    return global;
}

jobject newObject(const char* className, const char* ctorSig, ...) {
    jclass cls = findClass(className);
    Scope s;
    jmethodID ctor = methodId(s, cls, "<init>", ctorSig, false);
    va_list ap;
    va_start(ap, ctorSig);
    jobject obj = s.env()->NewObjectV(cls, ctor, ap);
    va_end(ap);
    s.check(std::string("new ") + className);
    return s.keep(obj);
}

jobject newPint(int value) { return newObject("com/zel/zt/Pint", "(I)V", static_cast<jint>(value)); }

int pintValue(jobject pint) { return getInt(pint, "x"); }

// --- strings and arrays ---------------------------------------------------------

jstring newString(const std::string& utf8) {
    Scope s;
    jstring v = s.env()->NewStringUTF(utf8.c_str());
    s.check("NewStringUTF");
    return s.keep(v);
}

std::optional<std::string> stringValue(jstring str) {
    if (!str) return std::nullopt;
    Scope s;
    return utf(s, str);
}

jbyteArray newByteArray(const std::vector<uint8_t>& bytes) {
    Scope s;
    auto n = static_cast<jsize>(bytes.size());
    jbyteArray a = s.env()->NewByteArray(n);
    s.check("NewByteArray");
    if (n) s.env()->SetByteArrayRegion(a, 0, n, reinterpret_cast<const jbyte*>(bytes.data()));
    s.check("SetByteArrayRegion");
    return s.keep(a);
}

std::vector<uint8_t> byteArrayValue(jbyteArray a) {
    if (!a) throw JavaError("byteArrayValue of a null array");
    Scope s;
    std::vector<uint8_t> v(static_cast<size_t>(s.env()->GetArrayLength(a)));
    if (!v.empty())
        s.env()->GetByteArrayRegion(a, 0, static_cast<jsize>(v.size()), reinterpret_cast<jbyte*>(v.data()));
    s.check("GetByteArrayRegion");
    return v;
}

jintArray newIntArray(const std::vector<jint>& ints) {
    Scope s;
    auto n = static_cast<jsize>(ints.size());
    jintArray a = s.env()->NewIntArray(n);
    s.check("NewIntArray");
    if (n) s.env()->SetIntArrayRegion(a, 0, n, ints.data());
    s.check("SetIntArrayRegion");
    return s.keep(a);
}

std::vector<jint> intArrayValue(jintArray a) {
    if (!a) throw JavaError("intArrayValue of a null array");
    Scope s;
    std::vector<jint> v(static_cast<size_t>(s.env()->GetArrayLength(a)));
    if (!v.empty()) s.env()->GetIntArrayRegion(a, 0, static_cast<jsize>(v.size()), v.data());
    s.check("GetIntArrayRegion");
    return v;
}

std::vector<std::string> stringList(jobject list) {
    if (!list) throw JavaError("stringList of a null list");
    Scope s;
    JNIEnv* e = s.env();
    jclass cls = e->GetObjectClass(list);
    jmethodID toArray = methodId(s, cls, "toArray", "()[Ljava/lang/Object;", false);
    auto arr = static_cast<jobjectArray>(e->CallObjectMethod(list, toArray));
    s.check("List.toArray");
    std::vector<std::string> out;
    jsize n = e->GetArrayLength(arr);
    for (jsize i = 0; i < n; ++i) {
        jobject el = e->GetObjectArrayElement(arr, i);
        s.check("GetObjectArrayElement");
        out.push_back(el ? utf(s, static_cast<jstring>(el)) : "null");
        e->DeleteLocalRef(el);
    }
    return out;
}

} // namespace zt::test

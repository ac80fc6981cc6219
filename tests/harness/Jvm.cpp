#include "Jvm.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <type_traits>

#ifndef ZT_LIBJVM_PATH
#error "ZT_LIBJVM_PATH must be defined (tests/harness/CMakeLists.txt)"
#endif
#ifndef ZT_HOST_JAR_PATH
#error "ZT_HOST_JAR_PATH must be defined (tests/harness/CMakeLists.txt)"
#endif

namespace zt::test {
namespace {

struct State {
    std::mutex lock;
    std::vector<std::string> classPath;
    std::vector<std::string> classPathFirst;
    std::vector<std::string> options;
    JavaVM* vm = nullptr;
    std::map<std::string, jclass> classes;
};

State& state() {
    static State s;
    return s;
}

std::string fromEnv(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

std::vector<std::string> splitSpaces(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string word;
    while (in >> word) out.push_back(word);
    return out;
}

using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);

// Describes a throwable without leaving anything pending; the caller owns t.
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

// What every helper does around its JNI calls: keeps aside an exception left
// pending by the code under test (raised again at the end), works in a local
// frame of its own, and turns a Java exception of its own into JavaError.
class Scope {
public:
    explicit Scope(int capacity = 16) : e_(zt::test::env()) {
        if (e_->ExceptionCheck()) {
            jthrowable t = e_->ExceptionOccurred();
            e_->ExceptionClear();
            saved_ = static_cast<jthrowable>(e_->NewGlobalRef(t));
            e_->DeleteLocalRef(t);
        }
        if (e_->PushLocalFrame(capacity) != 0) {
            e_->ExceptionClear();
            restore();
            throw JavaError("PushLocalFrame failed");
        }
        framed_ = true;
    }
    ~Scope() {
        if (framed_) e_->PopLocalFrame(nullptr);
        restore();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    JNIEnv* env() const { return e_; }

    // Throws JavaError if the last call raised an exception.
    void check(const std::string& what) {
        if (!e_->ExceptionCheck()) return;
        jthrowable t = e_->ExceptionOccurred();
        e_->ExceptionClear();
        Thrown d = describe(e_, t);
        e_->DeleteLocalRef(t);
        throw JavaError(what + ": " + d.className + (d.message.empty() ? "" : ": " + d.message));
    }

    // Ends the frame, keeping one local reference (moved to the outer frame).
    template <typename T>
    T keep(T ref) {
        framed_ = false;
        return static_cast<T>(e_->PopLocalFrame(ref));
    }

private:
    void restore() {
        if (!saved_) return;
        e_->Throw(saved_);
        e_->DeleteGlobalRef(saved_);
        saved_ = nullptr;
    }

    JNIEnv* e_;
    jthrowable saved_ = nullptr;
    bool framed_ = false;
};

jfieldID fieldId(Scope& s, jobject obj, const char* field, const char* sig) {
    if (!obj) throw JavaError(std::string("field ") + field + " of a null object");
    JNIEnv* e = s.env();
    jclass cls = e->GetObjectClass(obj);
    jfieldID id = e->GetFieldID(cls, field, sig);
    s.check(std::string("field ") + field + " " + sig);
    return id;
}

jmethodID methodId(Scope& s, jclass cls, const char* method, const char* sig, bool isStatic) {
    JNIEnv* e = s.env();
    jmethodID id = isStatic ? e->GetStaticMethodID(cls, method, sig) : e->GetMethodID(cls, method, sig);
    s.check(std::string("method ") + method + sig);
    return id;
}

std::string utf(Scope& s, jstring str) {
    JNIEnv* e = s.env();
    const char* c = e->GetStringUTFChars(str, nullptr);
    s.check("GetStringUTFChars");
    std::string r(c, static_cast<size_t>(e->GetStringUTFLength(str)));
    e->ReleaseStringUTFChars(str, c);
    return r;
}

} // namespace

// --- the JVM ---------------------------------------------------------------

void addClassPath(const std::string& path, Order order) {
    std::lock_guard<std::mutex> g(state().lock);
    (order == Order::BeforeHost ? state().classPathFirst : state().classPath).push_back(path);
}

void addJvmOption(const std::string& option) {
    std::lock_guard<std::mutex> g(state().lock);
    state().options.push_back(option);
}

void startJvm() {
    State& st = state();
    std::lock_guard<std::mutex> g(st.lock);
    if (st.vm) return;

    std::string lib = fromEnv("ZT_LIBJVM", ZT_LIBJVM_PATH);
    void* handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle) throw JavaError("cannot load " + lib + ": " + dlerror());
    auto create = reinterpret_cast<CreateJavaVM>(dlsym(handle, "JNI_CreateJavaVM"));
    if (!create) throw JavaError("no JNI_CreateJavaVM in " + lib);

    std::string cp = "-Djava.class.path=";
    for (const std::string& p : st.classPathFirst) cp += p + ":";
    cp += fromEnv("ZT_HOST_JAR", ZT_HOST_JAR_PATH);
    for (const std::string& p : st.classPath) cp += ":" + p;
    std::vector<std::string> opts{cp};
    // The heap a test needs is small; a modest limit keeps several JVMs (and
    // the 32-bit one under an emulator) cheap to start side by side.
    opts.push_back("-Xmx128m");
#ifdef ZT_EMULATED_JVM
    // qemu-user: the JIT costs more than it saves in a short test and its code
    // patching is not reliable there (an option in ZT_JVM_OPTIONS such as
    // -Xmixed, coming later, wins).
    opts.push_back("-Xint");
#endif
    for (const std::string& o : st.options) opts.push_back(o);
    for (const std::string& o : splitSpaces(fromEnv("ZT_JVM_OPTIONS", ""))) opts.push_back(o);

    std::vector<JavaVMOption> jopts(opts.size());
    for (size_t i = 0; i < opts.size(); ++i) {
        jopts[i].optionString = const_cast<char*>(opts[i].c_str());
        jopts[i].extraInfo = nullptr;
    }
    JavaVMInitArgs args;
    args.version = JNI_VERSION_1_8;
    args.nOptions = static_cast<jint>(jopts.size());
    args.options = jopts.data();
    args.ignoreUnrecognized = JNI_FALSE;

    JavaVM* jvm = nullptr;
    void* e = nullptr;
    jint rc = create(&jvm, &e, &args);
    if (rc != JNI_OK) {
        std::string all;
        for (const std::string& o : opts) all += " " + o;
        throw JavaError("JNI_CreateJavaVM failed with " + std::to_string(rc) + "; options:" + all);
    }
    st.vm = jvm;
}

JavaVM* vm() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().vm;
}

JNIEnv* env() {
    JavaVM* jvm = vm();
    if (!jvm) {
        startJvm();
        jvm = vm();
    }
    void* e = nullptr;
    jint rc = jvm->GetEnv(&e, JNI_VERSION_1_8);
    if (rc == JNI_EDETACHED) rc = jvm->AttachCurrentThread(&e, nullptr);
    if (rc != JNI_OK || !e) throw JavaError("no JNI environment for this thread");
    return static_cast<JNIEnv*>(e);
}

void detachThread() {
    if (JavaVM* jvm = vm()) jvm->DetachCurrentThread();
}

// --- local frames ------------------------------------------------------------

LocalFrame::LocalFrame(int capacity) : env_(env()) {
    if (env_->PushLocalFrame(capacity) != 0) {
        env_->ExceptionClear();
        throw JavaError("PushLocalFrame(" + std::to_string(capacity) + ") failed");
    }
    JniProxy::nativeFrameStartedAll();
}

LocalFrame::~LocalFrame() {
    // Returning from a native ends the JVM's "exception not checked" state;
    // the check does the same here and leaves a pending exception in place.
    env_->ExceptionCheck();
    env_->PopLocalFrame(nullptr);
}

void callNative(const std::function<void()>& fn) {
    LocalFrame frame(32);
    fn();
}

// --- exceptions ----------------------------------------------------------------

Thrown takePendingThrowable() {
    JNIEnv* e = env();
    if (!e->ExceptionCheck()) return {};
    jthrowable t = e->ExceptionOccurred();
    e->ExceptionClear();
    JniProxy::exceptionTakenAll();
    Thrown d = describe(e, t);
    e->DeleteLocalRef(t);
    return d;
}

std::string takePendingException() { return takePendingThrowable().className; }

// --- classes and objects --------------------------------------------------------

jclass findClass(const char* name) {
    {
        std::lock_guard<std::mutex> g(state().lock);
        auto it = state().classes.find(name);
        if (it != state().classes.end()) return it->second;
    }
    Scope s;
    jclass local = s.env()->FindClass(name);
    s.check(std::string("FindClass ") + name);
    auto global = static_cast<jclass>(s.env()->NewGlobalRef(local));
    std::lock_guard<std::mutex> g(state().lock);
    state().classes.emplace(name, global);
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

// --- fields ---------------------------------------------------------------------

jint getInt(jobject obj, const char* field) {
    Scope s;
    return s.env()->GetIntField(obj, fieldId(s, obj, field, "I"));
}

void setInt(jobject obj, const char* field, jint value) {
    Scope s;
    s.env()->SetIntField(obj, fieldId(s, obj, field, "I"), value);
}

bool getBoolean(jobject obj, const char* field) {
    Scope s;
    return s.env()->GetBooleanField(obj, fieldId(s, obj, field, "Z")) != JNI_FALSE;
}

void setBoolean(jobject obj, const char* field, bool value) {
    Scope s;
    s.env()->SetBooleanField(obj, fieldId(s, obj, field, "Z"), value ? JNI_TRUE : JNI_FALSE);
}

jchar getChar(jobject obj, const char* field) {
    Scope s;
    return s.env()->GetCharField(obj, fieldId(s, obj, field, "C"));
}

void setChar(jobject obj, const char* field, jchar value) {
    Scope s;
    s.env()->SetCharField(obj, fieldId(s, obj, field, "C"), value);
}

std::optional<std::string> getString(jobject obj, const char* field) {
    Scope s;
    jobject v = s.env()->GetObjectField(obj, fieldId(s, obj, field, "Ljava/lang/String;"));
    if (!v) return std::nullopt;
    return utf(s, static_cast<jstring>(v));
}

void setString(jobject obj, const char* field, const std::optional<std::string>& value) {
    Scope s;
    jfieldID id = fieldId(s, obj, field, "Ljava/lang/String;");
    jstring v = nullptr;
    if (value) {
        v = s.env()->NewStringUTF(value->c_str());
        s.check("NewStringUTF");
    }
    s.env()->SetObjectField(obj, id, v);
}

std::optional<std::vector<uint8_t>> getBytes(jobject obj, const char* field) {
    jbyteArray a;
    {
        Scope s;
        a = s.keep(static_cast<jbyteArray>(s.env()->GetObjectField(obj, fieldId(s, obj, field, "[B"))));
    }
    if (!a) return std::nullopt;
    std::vector<uint8_t> v = byteArrayValue(a);
    env()->DeleteLocalRef(a);
    return v;
}

void setBytes(jobject obj, const char* field, const std::optional<std::vector<uint8_t>>& value) {
    jbyteArray a = value ? newByteArray(*value) : nullptr;
    {
        Scope s;
        s.env()->SetObjectField(obj, fieldId(s, obj, field, "[B"), a);
    }
    if (a) env()->DeleteLocalRef(a);
}

jobject getObject(jobject obj, const char* field, const char* sig) {
    Scope s;
    return s.keep(s.env()->GetObjectField(obj, fieldId(s, obj, field, sig)));
}

void setObject(jobject obj, const char* field, const char* sig, jobject value) {
    Scope s;
    s.env()->SetObjectField(obj, fieldId(s, obj, field, sig), value);
}

jint getStaticInt(const char* className, const char* field) {
    jclass cls = findClass(className);
    Scope s;
    jfieldID id = s.env()->GetStaticFieldID(cls, field, "I");
    s.check(std::string("static field ") + field);
    return s.env()->GetStaticIntField(cls, id);
}

jobject getStaticObject(const char* className, const char* field, const char* sig) {
    jclass cls = findClass(className);
    Scope s;
    jfieldID id = s.env()->GetStaticFieldID(cls, field, sig);
    s.check(std::string("static field ") + field);
    return s.keep(s.env()->GetStaticObjectField(cls, id));
}

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

// --- calls ------------------------------------------------------------------------

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

// --- host classes ----------------------------------------------------------------

namespace {
const char* const kTrace = "com/zel/ztservices/Trace";
const char* const kInternal = "com/zel/ztservices/ZTInternalException";

std::vector<std::string> staticList(const char* cls, const char* method) {
    jobject list = callStaticObject(cls, method, "()Ljava/util/List;");
    std::vector<std::string> out = stringList(list);
    env()->DeleteLocalRef(list);
    return out;
}
} // namespace

void Trace::setOn(bool on) { callStaticVoid(kTrace, "setOn", "(Z)V", on ? JNI_TRUE : JNI_FALSE); }
void Trace::setPrint(bool print) {
    callStaticVoid(kTrace, "setPrint", "(Z)V", print ? JNI_TRUE : JNI_FALSE);
}
std::vector<std::string> Trace::lines() { return staticList(kTrace, "lines"); }
void Trace::clear() { callStaticVoid(kTrace, "clear", "()V"); }

std::vector<std::string> InternalException::logged() { return staticList(kInternal, "logged"); }
void InternalException::clear() { callStaticVoid(kInternal, "clear", "()V"); }

} // namespace zt::test

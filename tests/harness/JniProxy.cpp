#include "JniProxy.h"

#include "JvmStart.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace zt::test {
namespace {

using Table = JNINativeInterface_;

// Four reserved slots, then one pointer per function: a JDK that adds
// functions needs the lists in JniFunctions.h regenerated.
static_assert(sizeof(Table) == (4 + kFnCount) * sizeof(void*),
              "JniFunctions.h does not match this jni.h");

const char* const kNames[] = {
#define ZT_FN_NAME(name) #name,
#define ZT_FN_NAME_V(name, shape) #name,
    ZT_JNI_PLAIN(ZT_FN_NAME) ZT_JNI_VARIADIC(ZT_FN_NAME_V)
#undef ZT_FN_NAME
#undef ZT_FN_NAME_V
};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == kFnCount);

// The "..." and V forms of a function are one: C++ code reaches the V form
// through jni.h's inline wrappers, C code the "..." form. Both count, fail and
// hook under the "..." name.
struct Canonical {
    std::array<int, kFnCount> of{};
    Canonical() {
        for (int i = 0; i < kFnCount; ++i) of[i] = i;
#define ZT_CANON(name, shape) of[static_cast<int>(Fn::name##V)] = static_cast<int>(Fn::name);
        ZT_JNI_VARIADIC(ZT_CANON)
#undef ZT_CANON
    }
};

int idx(Fn f) {
    static const Canonical canonical;
    return canonical.of[static_cast<int>(f)];
}

bool startsWith(const char* s, const char* prefix) {
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

bool is(Fn f, std::initializer_list<Fn> set) {
    for (Fn g : set)
        if (g == f) return true;
    return false;
}

// The calls JNI allows while an exception is pending.
bool exceptionSafe(Fn f) {
    const char* n = fnName(f);
    return startsWith(n, "Exception") || startsWith(n, "Release") || startsWith(n, "Delete") ||
           is(f, {Fn::MonitorExit, Fn::PushLocalFrame, Fn::PopLocalFrame});
}

bool isAllocation(Fn f) {
    const char* n = fnName(f);
    if (is(f, {Fn::NewGlobalRef, Fn::NewWeakGlobalRef, Fn::NewLocalRef, Fn::NewDirectByteBuffer}))
        return false;
    return startsWith(n, "New") || f == Fn::AllocObject || f == Fn::GetStringUTFChars ||
           f == Fn::GetStringChars || f == Fn::GetStringCritical ||
           f == Fn::GetPrimitiveArrayCritical ||
           (startsWith(n, "Get") && std::strstr(n, "ArrayElements") != nullptr);
}

bool isLookup(Fn f) {
    return is(f, {Fn::FindClass, Fn::DefineClass, Fn::GetFieldID, Fn::GetStaticFieldID,
                  Fn::GetMethodID, Fn::GetStaticMethodID});
}

// A null result of these means the JVM has raised an exception.
bool raisesOnNull(Fn f) { return isLookup(f) || isAllocation(f); }

std::string defaultError(Fn f) {
    if (f == Fn::FindClass || f == Fn::DefineClass) return "java/lang/NoClassDefFoundError";
    if (f == Fn::GetFieldID || f == Fn::GetStaticFieldID) return "java/lang/NoSuchFieldError";
    if (f == Fn::GetMethodID || f == Fn::GetStaticMethodID) return "java/lang/NoSuchMethodError";
    if (isAllocation(f)) return "java/lang/OutOfMemoryError";
    if (startsWith(fnName(f), "Call")) return "java/lang/RuntimeException";
    return "";
}

template <typename R>
R zeroValue() {
    if constexpr (!std::is_void_v<R>) return R{};
}

inline const char* firstName() { return nullptr; }
template <typename A, typename... Rest>
const char* firstName(A a, Rest... rest) {
    if constexpr (std::is_same_v<std::decay_t<A>, const char*>)
        return a;
    else
        return firstName(rest...);
}

// Calls the real function and notes a null result that signals an exception.
template <typename R, typename Fwd>
R forward(JniProxy* p, Fn f, Fwd&& fwd) {
    if constexpr (std::is_void_v<R>) {
        fwd();
    } else {
        R res = fwd();
        if constexpr (std::is_pointer_v<R>) p->afterResult(f, res == nullptr);
        if constexpr (std::is_convertible_v<R, jobject>) {
            if (f == Fn::PopLocalFrame)
                p->framePopped(res != nullptr);
            else if (res != nullptr && f != Fn::NewGlobalRef && f != Fn::NewWeakGlobalRef)
                p->localRefMade();
        }
        return res;
    }
}

template <typename... A>
jobject firstRef(jobject o, A...) {
    return o;
}

template <typename M, M m, Fn F>
struct Wrap;

template <typename R, typename... A, R (*Table::*m)(JNIEnv*, A...), Fn F>
struct Wrap<R (*Table::*)(JNIEnv*, A...), m, F> {
    static R JNICALL call(JNIEnv* e, A... a) {
        JniProxy* p = JniProxy::owner(e);
        if (p->enter(F)) {
            p->raiseFor(F, firstName(a...));
            // As the JVM answers a frame or capacity it cannot give: a negative
            // result, OutOfMemoryError raised.
            if constexpr (F == Fn::PushLocalFrame || F == Fn::EnsureLocalCapacity)
                return JNI_ENOMEM;
            return zeroValue<R>();
        }
        JNIEnv* r = p->real();
        if constexpr (F == Fn::DeleteLocalRef) {
            if (firstRef(a...) != nullptr) p->localRefDeleted();
        }
        if constexpr (F == Fn::PushLocalFrame || F == Fn::EnsureLocalCapacity) {
            const jint res = forward<R>(p, F, [&]() -> R { return (r->functions->*m)(r, a...); });
            if (res == JNI_OK) p->capacityAsked(F, a...);
            return res;
        }
        return forward<R>(p, F, [&]() -> R { return (r->functions->*m)(r, a...); });
    }
};

template <typename M>
struct ReturnOf;
template <typename R, typename... A>
struct ReturnOf<R (*Table::*)(JNIEnv*, A..., ...)> {
    using type = R;
};

struct VaEnd {
    va_list& ap;
    ~VaEnd() { va_end(ap); }
};

// The "..." forms: counted under their own name, forwarded to the va_list form.
#define ZT_VAR_HEAD(name)                                                   \
    using R = ReturnOf<decltype(&Table::name)>::type;                       \
    JniProxy* p = JniProxy::owner(e);                                       \
    if (p->enter(Fn::name)) {                                               \
        p->raiseFor(Fn::name, nullptr);                                     \
        return zeroValue<R>();                                              \
    }                                                                       \
    JNIEnv* r = p->real();                                                  \
    va_list ap;

#define ZT_VAR_I(name)                                                                        \
    ReturnOf<decltype(&Table::name)>::type JNICALL name##_w(JNIEnv* e, jobject o, jmethodID m, \
                                                            ...) {                            \
        ZT_VAR_HEAD(name)                                                                     \
        va_start(ap, m);                                                                      \
        VaEnd end{ap};                                                                        \
        return forward<R>(p, Fn::name, [&]() -> R { return r->functions->name##V(r, o, m, ap); }); \
    }
#define ZT_VAR_S(name)                                                                        \
    ReturnOf<decltype(&Table::name)>::type JNICALL name##_w(JNIEnv* e, jclass c, jmethodID m,  \
                                                            ...) {                            \
        ZT_VAR_HEAD(name)                                                                     \
        va_start(ap, m);                                                                      \
        VaEnd end{ap};                                                                        \
        return forward<R>(p, Fn::name, [&]() -> R { return r->functions->name##V(r, c, m, ap); }); \
    }
#define ZT_VAR_C(name) ZT_VAR_S(name)
#define ZT_VAR_N(name)                                                                        \
    ReturnOf<decltype(&Table::name)>::type JNICALL name##_w(JNIEnv* e, jobject o, jclass c,    \
                                                            jmethodID m, ...) {               \
        ZT_VAR_HEAD(name)                                                                     \
        va_start(ap, m);                                                                      \
        VaEnd end{ap};                                                                        \
        return forward<R>(p, Fn::name,                                                        \
                          [&]() -> R { return r->functions->name##V(r, o, c, m, ap); });      \
    }
#define ZT_VAR_DEFINE(name, shape) ZT_VAR_##shape(name)
ZT_JNI_VARIADIC(ZT_VAR_DEFINE)
#undef ZT_VAR_DEFINE

} // namespace

// Proxies of the calling thread, told when a test takes the pending exception.
static std::vector<JniProxy*>& liveProxies() {
    thread_local std::vector<JniProxy*> live;
    return live;
}

const char* fnName(Fn f) {
    int i = static_cast<int>(f);
    return i >= 0 && i < kFnCount ? kNames[i] : "?";
}

JniProxy::JniProxy(JNIEnv* real) : real_(real ? real : zt::test::env()) {
    table_ = *real_->functions;
#define ZT_SET_PLAIN(name) table_.name = Wrap<decltype(&Table::name), &Table::name, Fn::name>::call;
#define ZT_SET_VAR(name, shape) table_.name = name##_w;
    ZT_JNI_PLAIN(ZT_SET_PLAIN)
    ZT_JNI_VARIADIC(ZT_SET_VAR)
#undef ZT_SET_PLAIN
#undef ZT_SET_VAR
    proxyEnv_.functions = &table_;
    proxyEnv_.owner = this;
    liveProxies().push_back(this);
}

JniProxy::~JniProxy() {
    auto& live = liveProxies();
    for (auto it = live.begin(); it != live.end(); ++it)
        if (*it == this) {
            live.erase(it);
            break;
        }
}

void JniProxy::nativeFrameStartedAll() {
    for (JniProxy* p : liveProxies()) p->frames_.assign(1, Frame{});
}

void JniProxy::exceptionTakenAll() {
    for (JniProxy* p : liveProxies()) p->exceptionTaken();
}

long JniProxy::count(Fn f) const { return counts_[idx(f)]; }

JniCounts JniProxy::counts() const {
    JniCounts c;
    for (long n : counts_) c.total += n;
    c.classLookups = count(Fn::FindClass) + count(Fn::GetObjectClass) + count(Fn::GetSuperclass);
    c.fieldLookups = count(Fn::GetFieldID) + count(Fn::GetStaticFieldID);
    c.methodLookups = count(Fn::GetMethodID) + count(Fn::GetStaticMethodID);
    c.stringsCreated = count(Fn::NewStringUTF) + count(Fn::NewString);
    return c;
}

std::string JniProxy::summary() const {
    std::string s;
    for (int i = 0; i < kFnCount; ++i) {
        if (counts_[i] == 0) continue;
        if (!s.empty()) s += ' ';
        s += kNames[i];
        s += '=';
        s += std::to_string(counts_[i]);
    }
    return s;
}

void JniProxy::resetCounts() {
    counts_.fill(0);
    maxLocal_ = 0;
}

void JniProxy::localRefMade() {
    Frame& f = frames_.back();
    if (++f.live > maxLocal_) maxLocal_ = f.live;
    if (f.live > f.planned && !f.overrun) {
        f.overrun = true;
        misuse_.push_back("local references: " + std::to_string(f.live) +
                          " held in a frame planned for " + std::to_string(f.planned) +
                          " (-Xcheck:jni of earlier JDK 17 updates warns)");
    }
}

void JniProxy::localRefDeleted() { --frames_.back().live; }

// The plan -Xcheck:jni makes: what was asked, over what the frame holds, and
// a margin of 32 before it warns.
void JniProxy::capacityAsked(Fn f, jint capacity) {
    const long margin = 32;
    if (f == Fn::PushLocalFrame) {
        frames_.push_back(Frame{0, capacity + margin, false});
    } else {
        Frame& fr = frames_.back();
        fr.planned = std::max(fr.planned, fr.live + capacity + margin);
    }
}

void JniProxy::framePopped(bool resultKept) {
    if (frames_.size() > 1) frames_.pop_back();
    if (resultKept) localRefMade();
}

void JniProxy::failCall(Fn f, int nth, int times, const char* error) {
    if (nth < 1) throw std::invalid_argument("failCall: nth counts from 1");
    Failure& fl = failures_[idx(f)];
    fl.countdown = nth - 1;
    fl.times = times;
    fl.error = error ? error : "";
}

void JniProxy::clearFailures() {
    for (Failure& fl : failures_) fl = Failure{};
}

void JniProxy::before(Fn f, std::function<void()> hook) { hooks_[idx(f)] = std::move(hook); }

bool JniProxy::enter(Fn f) {
    int i = idx(f);
    if (hooks_[i]) hooks_[i]();
    ++counts_[i];
    if (!pendingFrom_.empty() && !exceptionSafe(f))
        misuse_.push_back(std::string(fnName(f)) + " called with an exception pending (" +
                          pendingFrom_ + ")");
    if (f == Fn::ExceptionClear) pendingFrom_.clear();
    if (f == Fn::Throw || f == Fn::ThrowNew) pendingFrom_ = "raised by the native";
    Failure& fl = failures_[i];
    if (fl.times == 0) return false;
    if (fl.countdown > 0) {
        --fl.countdown;
        return false;
    }
    if (fl.times > 0) --fl.times;
    ++injected_;
    scheduledError_ = fl.error == kDefaultError ? defaultError(f) : fl.error;
    return true;
}

void JniProxy::raiseFor(Fn f, const char* name) {
    if (scheduledError_.empty()) return;
    // An exception already pending stays; a second Throw would be a misuse of our own.
    if (!pendingFrom_.empty()) return;
    std::string message = isLookup(f) && name ? name : std::string("injected failure of ") + fnName(f);
    jclass cls = real_->FindClass(scheduledError_.c_str());
    if (real_->ExceptionCheck() || cls == nullptr)
        throw std::runtime_error("JniProxy: cannot find " + scheduledError_);
    real_->ThrowNew(cls, message.c_str());
    real_->DeleteLocalRef(cls);
    pendingFrom_ = scheduledError_ + " from the injected failure of " + fnName(f);
}

void JniProxy::afterResult(Fn f, bool nullResult) {
    if (nullResult && raisesOnNull(f) && pendingFrom_.empty())
        pendingFrom_ = std::string(fnName(f)) + " returned null";
}

} // namespace zt::test

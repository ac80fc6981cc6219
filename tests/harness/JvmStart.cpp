#include "JvmStart.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <sstream>
#include <vector>

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

} // namespace

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
    // Tests load the bridges with System.load; JDK 24 and later warn unless
    // native access is granted (JDK 17 knows the option and needs nothing).
    opts.push_back("--enable-native-access=ALL-UNNAMED");
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

} // namespace zt::test

// The one JVM of a test process and the environment of each thread. The
// lowest layer of the harness: the JNI proxy and every helper build on it, and
// it needs none of them. Tests include Jvm.h, which includes this.
#pragma once

#include <jni.h>

#include <stdexcept>
#include <string>

namespace zt::test {

// A Java exception met by a helper, or a JVM that cannot start.
struct JavaError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Before the start only: extra class path entries and JVM options. An entry
// put before the host jar replaces host classes of the same name (a holder
// class without "x", a trace class without "isOn" ...).
enum class Order { AfterHost, BeforeHost };
void addClassPath(const std::string& path, Order order = Order::AfterHost);
void addJvmOption(const std::string& option);
// Starts the JVM once (zt_harness_main does it); later calls do nothing.
void startJvm();
JavaVM* vm();
// The calling thread's environment; attaches a thread that is not attached.
JNIEnv* env();
// Detach the calling thread (for threads a test started; not the main one).
void detachThread();

}  // namespace zt::test

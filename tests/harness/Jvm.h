// Test harness: GoogleTest with one embedded JVM per test process.
//
// The JVM comes from the libjvm of the target width (dlopen; path compiled in,
// env ZT_LIBJVM overrides). Its class path is the host jar plus the jars the
// test names (zt_add_jvm_test(... JARS ...) in CMake, or addClassPath() before
// start). Extra JVM options come from env ZT_JVM_OPTIONS (space separated, e.g.
// "-Xcheck:jni") and addJvmOption(); the JVM gets -Xmx128m, and -Xint where
// the 32-bit target runs under qemu-user. zt_harness_main starts the JVM in a
// global gtest Environment (not when only listing tests) and runs every test
// inside a local frame of its own, so local references do not pile up across
// tests; a test that leaves a Java exception pending fails the run.
//
// CMake:
//   zt_add_test_jar(zt_mytest_java ${CMAKE_CURRENT_SOURCE_DIR}/java)   # optional
//   zt_add_jvm_test(NAME mytest SOURCES MyTest.cpp LIBS sessbridge ztm
//                   JARS zt_mytest_java)
// registers ctest entries "mytest" and "mytest_checkjni" (-Xcheck:jni, any
// line starting with WARNING fails it). HOST_OVERRIDE_JARS go before the host
// jar, to replace host classes for the whole process; JVM_OPTIONS and ENV
// are passed on (see tests/harness/CMakeLists.txt).
//
// A test:
//   #include "Jvm.h"
//   using namespace zt::test;
//
//   TEST(Conn, FailedConnectKeepsTheHandle) {
//       jobject session = newObject("com/zel/zt/server/ZTSESSION", "()V");
//       jobject hconn = newPint(77), cc = newPint(-1), rc = newPint(-1);
//       JniProxy proxy;                       // counts, can fail calls
//       proxy.failCall(Fn::GetFieldID, 1);    // the 1st GetFieldID fails
//       callNative([&] {                      // PushLocalFrame(32) ... Pop
//           Java_com_zel_zt_server_ZTSESSION__1ZTCONN(proxy.env(), session,
//               newString("QM1"), hconn, cc, rc);
//       });
//       EXPECT_EQ(takePendingException(), "java.lang.NoSuchFieldError");
//       EXPECT_EQ(pintValue(hconn), 77);
//       EXPECT_EQ(proxy.count(Fn::FindClass), 1);
//       EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
//       EXPECT_EQ(Trace::lines().size(), 0u);
//   }
//
// A JniProxy wraps the real environment of the thread that made it: make one
// per thread. Counting and failures are per proxy; summary() lists the calls.
//
// Helpers throw JavaError (a std::runtime_error; gtest reports it as a
// failure) when the JVM raises something while they work. They keep aside an
// exception the native left pending and raise it again when done, so the
// order of checks in a test does not matter; call takePendingException() to
// look at it. Objects the helpers return are local references of the current
// frame (the test's own unless you open one).
//
// Output capture (for code that prints with printf/fprintf or System.out/err):
//   std::string text = capture(Streams::Both, [&] { ... });
//
// Local references live in three levels of frame (Frames.cpp says more): the
// frame of 64 zt_harness_main opens around each test; the LocalFrame(32)
// callNative opens around each native call, the frame the JVM would give the
// native; and the frame each helper opens around its own JNI calls, from
// which it hands back at most its one result, into the frame it was called
// in.
//
// Layers, each using only those before it: JvmStart.h (the JVM, env(),
// JavaError), JniProxy.h (the counting environment), then the helpers
// declared here (Frames.cpp, Exceptions.cpp, Objects.cpp, Fields.cpp,
// Calls.cpp, HostObjects.cpp, Capture.cpp). This header includes the first
// two, so a test needs only this one.
#pragma once

#include "JniProxy.h"
#include "JvmStart.h"

#include <jni.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zt::test {

// --- local frames ------------------------------------------------------------
// PushLocalFrame(capacity) now, PopLocalFrame(null) at scope end: the frame
// the JVM gives a native (HotSpot's -Xcheck:jni warns beyond 32 local refs).
class LocalFrame {
public:
    explicit LocalFrame(int capacity = 32);
    ~LocalFrame();
    LocalFrame(const LocalFrame&) = delete;
    LocalFrame& operator=(const LocalFrame&) = delete;

private:
    JNIEnv* env_;
};

// Deletes a local reference a helper handed back (the harness counts what
// each frame holds; see Frames.cpp).
void deleteLocalRef(jobject ref);

// Runs fn (the call of one native) inside a LocalFrame(32). Objects the
// native returns die with the frame: read them inside fn.
void callNative(const std::function<void()>& fn);

// --- exceptions ----------------------------------------------------------------
// Class name ("java.lang.NoSuchFieldError") of the pending exception, cleared;
// "" when none is pending.
std::string takePendingException();
struct Thrown {
    std::string className; // "" when none was pending
    std::string message;   // getMessage(), "" when null
};
Thrown takePendingThrowable();

// --- classes and objects --------------------------------------------------------
// "com/zel/zt/Pint"; cached as a global reference.
jclass findClass(const char* name);
jobject newObject(const char* className, const char* ctorSig, ...);
jobject newPint(int value = 0);
int pintValue(jobject pint);

// --- fields, by name ---------------------------------------------------------------
jint getInt(jobject obj, const char* field);
void setInt(jobject obj, const char* field, jint value);
bool getBoolean(jobject obj, const char* field);
void setBoolean(jobject obj, const char* field, bool value);
jchar getChar(jobject obj, const char* field);
void setChar(jobject obj, const char* field, jchar value);
// String fields; nullopt for a null field, and setString(nullopt) stores null.
std::optional<std::string> getString(jobject obj, const char* field);
void setString(jobject obj, const char* field, const std::optional<std::string>& value);
// byte[] fields.
std::optional<std::vector<uint8_t>> getBytes(jobject obj, const char* field);
void setBytes(jobject obj, const char* field, const std::optional<std::vector<uint8_t>>& value);
// Any object field, by signature ("Lcom/zel/zt/Pint;", "[I" ...).
jobject getObject(jobject obj, const char* field, const char* sig);
void setObject(jobject obj, const char* field, const char* sig, jobject value);
// Static fields.
jint getStaticInt(const char* className, const char* field);
jobject getStaticObject(const char* className, const char* field, const char* sig);

// --- strings and arrays ---------------------------------------------------------------
jstring newString(const std::string& utf8);
std::optional<std::string> stringValue(jstring s); // nullopt for null
jbyteArray newByteArray(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> byteArrayValue(jbyteArray a);
jintArray newIntArray(const std::vector<jint>& ints);
std::vector<jint> intArrayValue(jintArray a);
// The elements of a java.util.List of strings (null elements become "null").
std::vector<std::string> stringList(jobject list);

// --- calls ----------------------------------------------------------------------------
void callStaticVoid(const char* className, const char* method, const char* sig, ...);
bool callStaticBoolean(const char* className, const char* method, const char* sig, ...);
jint callStaticInt(const char* className, const char* method, const char* sig, ...);
jobject callStaticObject(const char* className, const char* method, const char* sig, ...);
void callVoid(jobject obj, const char* method, const char* sig, ...);
jint callInt(jobject obj, const char* method, const char* sig, ...);
jobject callObject(jobject obj, const char* method, const char* sig, ...);

// --- host classes ------------------------------------------------------------------------
// com.zel.ztservices.Trace: lines as "entry <class> <method>", "exit ...",
// "trace2 <method> <text>".
struct Trace {
    static void setOn(bool on);
    static void setPrint(bool print);
    static std::vector<std::string> lines();
    static void clear();
};
// com.zel.ztservices.ZTInternalException: each logged call as "<probe> <message>".
struct InternalException {
    static std::vector<std::string> logged();
    static void clear();
};

// --- output capture ---------------------------------------------------------------------
enum class Streams { Stdout = 1, Stderr = 2, Both = 3 };
// Redirects the process's stdout and/or stderr (file descriptors 1 and 2,
// C stdio and Java's System.out/err flushed at both ends) into one temporary
// file until finish(); C stdout is unbuffered meanwhile, so with Both the
// text keeps the order in which the writes were made. (A gtest failure inside
// the block is printed into the capture too.)
class Capture {
public:
    explicit Capture(Streams which = Streams::Both);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    std::string finish();

private:
    Streams which_;
    int file_ = -1;
    int saved_[3] = {-1, -1, -1};
    bool done_ = false;
};
std::string capture(Streams which, const std::function<void()>& fn);

} // namespace zt::test

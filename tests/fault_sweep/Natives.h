// The natives of the three bridge libraries as a table, for the drivers that
// call every one of them with generated arguments (fault sweep, hostile queue
// manager, fuzzer). Each entry builds fresh Java arguments and queue manager
// state for one shape and returns the call to make.
#ifndef FAULT_SWEEP_NATIVES_H
#define FAULT_SWEEP_NATIVES_H

#include <jni.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sweep {

// What the verb is given: tracing, the version of its descriptor and options
// objects, and the records of a destination list (-1: not a list).
struct Shape {
    bool trace = false;
    int version = 1;
    int dests = -1;
    // Objects of classes the bridge has never seen (hidden copies of
    // subclasses), so that every member is looked up by name.
    bool cold = false;
    std::string text() const;
};

enum class Kind {
    Holders,  // session verbs: completion code and reason in Pint holders
    XaReturn, // XA natives: the queue manager's answer is the return value
    NoQm,     // natives that never reach the queue manager
};

// One prepared call: `run` calls the native through the given environment.
struct Call {
    std::function<void(JNIEnv*)> run;
    jobject cc = nullptr;  // holders (Kind::Holders)
    jobject rc = nullptr;
    std::shared_ptr<jint> result = std::make_shared<jint>(0);  // Kind::XaReturn
    // What the queue manager's outputs are written back into.
    std::vector<jobject> objects;  // descriptors, options, message objects
    jbyteArray buffer = nullptr;   // a get's buffer (kBufferLength bytes, kCanary each)
    jobject dataLength = nullptr;  // a get's data length holder
    jobjectArray xids = nullptr;   // xa_recover's array
};

constexpr int kBufferLength = 64;
constexpr uint8_t kCanary = 0xC5;

struct Native {
    const char* name;
    Kind kind;
    bool versioned;  // takes descriptor/options objects of a version
    bool lists;      // takes a destination list (object descriptor or put records)
    bool coldable;   // takes objects whose class can be a never-seen one
    std::function<Call(const Shape&)> prepare;
};

const std::vector<Native>& natives();

// Set by the fuzzer: every object argument and every count or length the
// table builds passes through these (unchanged while they are empty). An
// argument the Java declaration types as Object (or Object[]) may become an
// object of any class (any array); one of a declared class only its subclasses
// or null, as the JVM guarantees.
enum class Declared { Typed, AnyObject, ObjectArray };
extern std::function<jobject(jobject, Declared)> twistObject;
extern std::function<jint(jint)> twistInt;

// Set on a thread that shares the queue manager with others (the stress
// test): preparing a call then neither resets the queue manager nor empties
// its log, and the thread's transaction branches carry `threadIndex`.
extern thread_local bool sharedQueueManager;
extern thread_local int threadIndex;

// A hostile queue manager (HostileQm.cpp): fills the outputs of `function`
// (its arguments as a scripted answer's hook gets them) with pattern
// 0..hostilePatterns()-1.
void hostile(const std::string& function, void** args, int pattern);
int hostilePatterns();
std::vector<Shape> shapesOf(const Native& n, bool withCold);

// Objects of the shape (fresh hidden subclasses when cold).
jobject messageDescriptor(const Shape& s);
jobject putOptions(const Shape& s);
jobject getOptions(const Shape& s);
jobject objectDescriptor(const Shape& s, const char* queue);
jobject messageObject(const Shape& s);
jobject holder(const Shape& s, int value);

}  // namespace sweep

#endif

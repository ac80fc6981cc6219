// The frame every session verb runs in: holder binding, trace scope with the
// refreshed trace flag, entry line, the body, and the end written once
// (Verb::finish). Runs inside the native boundary: any failure of the bridge
// ends as completion code 2 and reason 2195 in the caller's holders.
#ifndef VERB_FRAME_H
#define VERB_FRAME_H

#include <jni.h>

#include <utility>

#include "NativeBoundary.h"
#include "NativePint.h"
#include "NativeTrace.h"

// The texts a verb's completion code and reason are traced under; the verbs
// that trace neither pass kNoResultLines.
struct ResultLines {
    const char* compCode;
    const char* reason;
};
constexpr ResultLines kNoResultLines{nullptr, nullptr};

// Room in the native's own frame for a verb that reads and writes many fields
// (checked::OwnFrameRoom): its copies and write-back leave their references to
// the JVM, which releases them as the native returns; one call in all, where
// deleting each would take one call a field. Record arrays walk their
// elements in frames of their own.
constexpr jint kVerbFrameRefs = 128;

// Which completion codes let a verb's outputs be written back.
enum class WriteBack { OnSuccessOrWarning, Always };

// What a verb body works with: the call's trace scope, holder binding and
// holders, under the verb's class and method names.
class Verb {
public:
    Verb(JNIEnv* env, NativeTrace& trace, const NativePint& pint, const char* className,
         const char* methodName, jobject compCodeHolder, jobject reasonHolder)
        : env(env),
          trace(trace),
          pint(pint),
          className(className),
          methodName(methodName),
          compCodeHolder_(compCodeHolder),
          reasonHolder_(reasonHolder) {}

    void entry() const { trace.entry(className, methodName); }
    void line(const char* text) const { trace.trace(2, methodName, text); }
    // A line whose text is made for this call (a name the caller passed).
    void madeLine(const char* text) const { trace.traceMade(2, methodName, text); }
    void value(const char* text, jint number) const { trace.trace(2, methodName, text, number); }

    // Holders are never read or written through a missing "x", nor when null.
    jint get(jobject holder) const;
    void set(jobject holder, jint number) const;
    // Records are sent only when building them raised nothing (a host method
    // threw, a JNI call failed): otherwise the queue manager is not called and
    // the verb ends as the bridge's failure. A caller that retries on the
    // exception must not find its message put twice.
    void beforeCall() const;

    // The end of every verb after its queue manager call: the two result lines,
    // completion code then reason into the holders whatever their values, the
    // outputs (for completion code 0 or 1 only, unless told otherwise), the
    // exit line.
    template <typename Outputs>
    void finish(const ResultLines& lines, jint compCode, jint reason, Outputs&& outputs,
                WriteBack when = WriteBack::OnSuccessOrWarning) const {
        if (lines.compCode != nullptr) {
            value(lines.compCode, compCode);
            value(lines.reason, reason);
        }
        set(compCodeHolder_, compCode);
        set(reasonHolder_, reason);
        if (when == WriteBack::Always || compCode == 0 || compCode == 1) {
            outputs();
        }
        trace.exit(className, methodName);
    }
    void finish(const ResultLines& lines, jint compCode, jint reason) const {
        finish(lines, compCode, reason, [] {});
    }

    JNIEnv* const env;
    NativeTrace& trace;
    const NativePint& pint;
    const char* const className;
    const char* const methodName;

private:
    jobject compCodeHolder_;
    jobject reasonHolder_;
};

// Completion code 2 and reason 2195 into the holders, through the binding's
// "x" when the binding was made (`boundX`, null when the class has none), else
// through a direct lookup of "x" (the failure came before the binding).
void reportBridgeFailure(JNIEnv* env, const jfieldID* boundX, jobject compCodeHolder,
                         jobject reasonHolder) noexcept;

// Holder first: binding, then scope, flag refresh and entry line; the body does
// the rest (finish). A failure anywhere ends as the native-error handler:
// holders 2 and 2195, no exit line, and the default result (0).
template <typename Body>
auto runHolderFirstVerb(JNIEnv* env, const char* className, const char* methodName,
                        jobject compCodeHolder, jobject reasonHolder, Body&& body) noexcept {
    using Result = decltype(body(std::declval<Verb&>()));
    bool bound = false;
    jfieldID boundX = nullptr;
    return nativeBoundary(
        env,
        [&]() -> Result {
            NativePint pint(env);
            bound = true;
            boundX = pint.xFieldID;
            NativeTrace trace(env);
            trace.UpdateTraceFlag();
            Verb verb(env, trace, pint, className, methodName, compCodeHolder, reasonHolder);
            verb.entry();
            return body(verb);
        },
        [&]() -> Result {
            // Left unwritten, the holders would still show what the caller put
            // in them, a success perhaps.
            reportBridgeFailure(env, bound ? &boundX : nullptr, compCodeHolder, reasonHolder);
            return Result();
        });
}

// Scope first: scope, flag refresh and entry line, then the binding.
template <typename Body>
void runScopeFirstVerb(JNIEnv* env, const char* className, const char* methodName,
                       jobject compCodeHolder, jobject reasonHolder, Body&& body) noexcept {
    nativeBoundary(
        env,
        [&] {
            NativeTrace trace(env);
            trace.UpdateTraceFlag();
            trace.entry(className, methodName);
            NativePint pint(env);
            Verb verb(env, trace, pint, className, methodName, compCodeHolder, reasonHolder);
            body(verb);
        },
        [&] {
            // The binding, if it was made, ended with the scope; "x" is looked
            // up afresh.
            reportBridgeFailure(env, nullptr, compCodeHolder, reasonHolder);
        });
}

#endif

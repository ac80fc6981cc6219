// The frame every session verb runs in: holder binding, trace scope with the
// refreshed trace flag, entry line, and one boundary that turns any failure of
// the bridge into completion code 2 and reason 2195 in the caller's holders.
// Nothing C++ leaves a native, and a Java exception taken aside during the call
// is raised again as the native returns.
#ifndef VERB_FRAME_H
#define VERB_FRAME_H

#include <jni.h>

#include "ExceptionStash.h"
#include "NativePint.h"
#include "NativeTrace.h"

// Completion codes that let outputs be written back.
inline bool writesOutputs(jint compCode) {
    return compCode == 0 || compCode == 1;
}

// What a verb body works with: the call's trace scope and holder binding, under
// the verb's class and method names.
class Verb {
public:
    Verb(JNIEnv* env, NativeTrace& trace, const NativePint& pint, const char* className,
         const char* methodName)
        : env(env), trace(trace), pint(pint), className(className), methodName(methodName) {}

    void entry() { trace.entry(className, methodName); }
    void exit() { trace.exit(className, methodName); }
    void line(const char* text) { trace.trace(2, methodName, text); }
    void value(const char* text, jint number) { trace.trace(2, methodName, text, number); }

    // Holders are never read or written through a missing "x", nor when null.
    jint get(jobject holder) const;
    void set(jobject holder, jint number) const;
    // Records are sent only when building them raised nothing (a host method
    // threw, a JNI call failed): otherwise the queue manager is not called and
    // the verb ends as the bridge's failure. A caller that retries on the
    // exception must not find its message put twice.
    void beforeCall() const;
    // Completion code, then reason, whatever their values.
    void result(jobject compCodeHolder, jobject reasonHolder, jint compCode, jint reason) const {
        set(compCodeHolder, compCode);
        set(reasonHolder, reason);
    }

    JNIEnv* const env;
    NativeTrace& trace;
    const NativePint& pint;
    const char* const className;
    const char* const methodName;
};

// A count or length that does not fit its Java array would let the queue
// manager read or write outside it: such a call is refused (NativeError) before
// the queue manager is called. A null array holds nothing.
void requireArrayHolds(const Verb& verb, jarray array, jint count);
// Message data or buffer: the array must be there, and hold the length.
void requireMessageBuffer(const Verb& verb, jbyteArray array, jint length);

// Completion code 2 and reason 2195 into the holders, through the binding when
// there is one, else through a direct lookup of "x" (the failure came before the
// binding was made).
void reportBridgeFailure(JNIEnv* env, const NativePint* pint, jobject compCodeHolder,
                         jobject reasonHolder) noexcept;

// Holder first: binding, then scope, flag refresh and entry line; the body does
// the rest, exit line included. A failure anywhere after the binding ends as the
// native-error handler: holders 2 and 2195, no exit line.
template <typename Body>
void runHolderFirstVerb(JNIEnv* env, const char* className, const char* methodName,
                        jobject compCodeHolder, jobject reasonHolder, Body&& body) noexcept {
    ExceptionStash stash(env);
    try {
        NativePint pint(env);
        try {
            NativeTrace trace(env);
            trace.UpdateTraceFlag();
            Verb verb(env, trace, pint, className, methodName);
            verb.entry();
            body(verb);
        } catch (...) {
            reportBridgeFailure(env, &pint, compCodeHolder, reasonHolder);
        }
    } catch (...) {
        // The binding itself failed (its trace scope, or the holder class). Left
        // unwritten, the holders would still show what the caller put in them,
        // a success perhaps: write through a direct lookup of "x" if there is one.
        reportBridgeFailure(env, nullptr, compCodeHolder, reasonHolder);
    }
}

// Scope first: scope, flag refresh and entry line, then the binding.
template <typename Body>
void runScopeFirstVerb(JNIEnv* env, const char* className, const char* methodName,
                       jobject compCodeHolder, jobject reasonHolder, Body&& body) noexcept {
    ExceptionStash stash(env);
    try {
        NativeTrace trace(env);
        trace.UpdateTraceFlag();
        trace.entry(className, methodName);
        NativePint pint(env);
        Verb verb(env, trace, pint, className, methodName);
        body(verb);
    } catch (...) {
        // The binding, if it was made, ended with the scope; look "x" up afresh.
        reportBridgeFailure(env, nullptr, compCodeHolder, reasonHolder);
    }
}

#endif

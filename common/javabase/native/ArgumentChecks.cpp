#include "ArgumentChecks.h"

#include "CheckedJni.h"
#include "NativeError.h"
#include "VerbFrame.h"

void requireArrayHolds(const Verb& verb, jarray array, jint count) {
    const bool holds =
        count >= 0 &&
        (array == nullptr ? count == 0 : count <= checked::arrayLength(verb.env, array));
    if (!holds) {
        verb.value("***********Length larger than its array", count);
        throw NativeError();
    }
}

void requireBytes(const Verb& verb, jbyteArray array, jint length) {
    if (array == nullptr) {
        verb.line("***********No message buffer");
        throw NativeError();
    }
    requireArrayHolds(verb, array, length);
}

// Checks of the arguments a verb passes on to the queue manager as they are:
// a count, length or key that its Java array cannot hold would let the queue
// manager read or write outside the array. Such a call is refused (trace line,
// NativeError) before the queue manager is called.
#ifndef ARGUMENT_CHECKS_H
#define ARGUMENT_CHECKS_H

#include <jni.h>

class Verb;

// `count` elements fit the array; a null array holds nothing.
void requireArrayHolds(const Verb& verb, jarray array, jint count);
// Bytes the queue manager reads or writes in place (message data, a get's
// buffer, a message key): the array must be there, and hold `length`.
void requireBytes(const Verb& verb, jbyteArray array, jint length);

#endif

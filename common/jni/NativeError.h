// The bridge's own failure while a session verb builds its call: raised by
// DoException for a host class or member that cannot be found (logged to the
// host first), and thrown directly, after a trace line, where a call cannot be
// built from what the host passed (a null object or argument, a count its
// array cannot hold, records a host method failed to fill, no memory). It is
// never caught on the way: the verb's boundary (VerbFrame.h) turns it into
// completion code 2 and reason 2195.
#ifndef NATIVE_ERROR_H
#define NATIVE_ERROR_H

class NativeError {};

#endif

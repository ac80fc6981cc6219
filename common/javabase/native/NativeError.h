// The bridge's own failure inside the support layer and the converters.
// Raised only by DoException; turned into completion code 2 and reason 2195 at
// the verb boundary.
#ifndef NATIVE_ERROR_H
#define NATIVE_ERROR_H

class NativeError {};

#endif

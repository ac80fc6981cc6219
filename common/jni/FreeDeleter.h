// Native memory from malloc or calloc owned by a std::unique_ptr: record
// arrays (calloc'ed: zeroed, the count times size product checked for
// overflow), message buffers, XID buffers.
#ifndef FREE_DELETER_H
#define FREE_DELETER_H

#include <cstdlib>

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

#endif

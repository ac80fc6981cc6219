// What one native call left behind, for tests that compare calls.
#pragma once

#include <ostream>
#include <string>
#include <utility>

namespace zt::test {

// Completion code and reason (-1 until read back from the holders) and the
// class name of the Java exception the call left pending ("" for none).
struct Outcome {
    Outcome() = default;
    Outcome(int compCode, int reason, std::string pendingClass = "")
        : cc(compCode), rc(reason), pending(std::move(pendingClass)) {}

    int cc = -1;
    int rc = -1;
    std::string pending;
};

inline bool operator==(const Outcome& a, const Outcome& b) {
    return a.cc == b.cc && a.rc == b.rc && a.pending == b.pending;
}
inline bool operator!=(const Outcome& a, const Outcome& b) {
    return !(a == b);
}
inline std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    os << "cc " << o.cc << " reason " << o.rc;
    if (!o.pending.empty()) os << " pending " << o.pending;
    return os;
}

}  // namespace zt::test

// Byte strings as the tests build and check them: one Bytes type and one
// pattern() for every test folder, so that a call copied from one folder to
// another makes the same bytes there.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

namespace zt::test {

using Bytes = std::vector<uint8_t>;

// n bytes: first, first + step, first + 2 * step, ... (modulo 256).
inline Bytes pattern(size_t n, uint8_t first, uint8_t step = 1) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + step * i);
    return b;
}
// The count comes first: a one-byte value where the count goes is the first
// byte in the wrong place, and does not compile.
template <class Count, std::enable_if_t<std::is_same_v<Count, uint8_t>, int> = 0>
Bytes pattern(Count, size_t) = delete;

// Bytes [from, to) of p are zero; otherwise the first that is not.
inline ::testing::AssertionResult allZero(const uint8_t* p, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (p[i] != 0) return ::testing::AssertionFailure() << "byte " << i << " is " << int(p[i]);
    }
    return ::testing::AssertionSuccess();
}

// An array that is there and holds zeros only.
inline bool allZero(const std::optional<Bytes>& b) {
    if (!b) return false;
    for (uint8_t x : *b)
        if (x != 0) return false;
    return true;
}

}  // namespace zt::test

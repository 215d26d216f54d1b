// Key comparison for the tree's searches, inlined: keys are short (a record
// entry's is 9 bytes, a key entry's a few dozen), where a library call costs
// more than the comparison. Same order as CompareKeys: unsigned bytes, a
// shorter key first on a tie.
#pragma once

#include "files/qvd/qvd_store.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace morvex::qvd {

// Compares `a` with `b`, whose first `common` bytes are known to be equal;
// on return `common` is the length of their common prefix.
inline int CompareKeysFrom(ByteView a, ByteView b, size_t& common) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = std::min(common, n);
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            // The first differing byte: the lowest one of the words as loaded
            // on a little-endian machine, the highest on a big-endian one.
            const uint64_t diff = x ^ y;
            if constexpr (std::endian::native == std::endian::little)
                i += static_cast<size_t>(std::countr_zero(diff)) / 8;
            else
                i += static_cast<size_t>(std::countl_zero(diff)) / 8;
            common = i;
            return a[i] < b[i] ? -1 : 1;
        }
    }
    for (; i < n; ++i) {
        if (a[i] != b[i]) {
            common = i;
            return a[i] < b[i] ? -1 : 1;
        }
    }
    common = n;
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

// Up to 8 bytes of `key` from `at` as a big-endian number, zeros past its end.
inline uint64_t KeyWordAt(ByteView key, size_t at) {
    uint64_t word = 0;
    for (size_t i = 0; i < 8; ++i)
        word = word << 8 | (at + i < key.size() ? key[at + i] : 0);
    return word;
}

inline int CompareKeysInline(ByteView a, ByteView b) {
    size_t common = 0;
    return CompareKeysFrom(a, b, common);
}

} // namespace morvex::qvd

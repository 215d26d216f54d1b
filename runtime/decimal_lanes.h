// The 64 digit bytes of a decimal accumulator as four 16-byte SIMD lanes, and
// masks with one bit per digit. Decimal carries and borrows ripple through
// the masks in one binary addition rather than digit by digit: a digit that
// overflows generates a carry, a digit that would overflow with one more
// propagates it, so the carries into each digit are
// ((generate << 1) + propagate) ^ propagate.
#pragma once

#include <bit>
#include <cstdint>

#if !defined(__SSE2__)
#error "decimal lanes need SSE2"
#endif
#include <emmintrin.h>

namespace morvex::decimal_lanes {

struct Lanes {
    __m128i part[4];
};

inline Lanes load(const uint8_t* digits) {
    Lanes x;
    for (int k = 0; k < 4; ++k)
        x.part[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 16 * k));
    return x;
}

inline void store(const Lanes& x, uint8_t* digits) {
    for (int k = 0; k < 4; ++k)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 16 * k), x.part[k]);
}

// One bit per byte whose top bit is set (bit i for digit i).
inline uint64_t bits(const Lanes& x) {
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k)
        mask |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(x.part[k]))} << (16 * k);
    return mask;
}

template <typename Op>
inline Lanes each(const Lanes& x, const Lanes& y, Op op) {
    Lanes r;
    for (int k = 0; k < 4; ++k)
        r.part[k] = op(x.part[k], y.part[k]);
    return r;
}

template <typename Op>
inline Lanes each(const Lanes& x, Op op) {
    Lanes r;
    for (int k = 0; k < 4; ++k)
        r.part[k] = op(x.part[k]);
    return r;
}

// 64 mask bits to 64 bytes: 0xFF where the bit is set, 0 elsewhere. Each
// mask byte is repeated over eight bytes, then each of those keeps its bit.
inline Lanes spread(uint64_t mask) {
    __m128i pairs = _mm_cvtsi64_si128(static_cast<long long>(mask));
    pairs = _mm_unpacklo_epi8(pairs, pairs);
    const __m128i low_fours = _mm_unpacklo_epi16(pairs, pairs);
    const __m128i high_fours = _mm_unpackhi_epi16(pairs, pairs);
    Lanes r{{_mm_unpacklo_epi32(low_fours, low_fours), _mm_unpackhi_epi32(low_fours, low_fours),
             _mm_unpacklo_epi32(high_fours, high_fours), _mm_unpackhi_epi32(high_fours, high_fours)}};
    const __m128i select = _mm_set1_epi64x(0x8040201008040201);
    for (int k = 0; k < 4; ++k)
        r.part[k] = _mm_cmpeq_epi8(_mm_and_si128(r.part[k], select), select);
    return r;
}

// The digits that receive a carry (or borrow) from the one below; a carry
// out of the top digit is dropped.
inline uint64_t carries_in(uint64_t generate, uint64_t propagate) {
    return ((generate << 1) + propagate) ^ propagate;
}

// Bit i set for each digit i that is not zero.
inline uint64_t non_zero(const Lanes& x) {
    const __m128i zero = _mm_setzero_si128();
    return ~bits(each(x, [&](__m128i v) { return _mm_cmpeq_epi8(v, zero); }));
}

// The highest digit index in use for digits with the non-zero mask given:
// the top non-zero digit, at least the units digit (32).
inline uint8_t high_index(uint64_t non_zero_digits) {
    return static_cast<uint8_t>(63 - std::countl_zero(non_zero_digits | uint64_t{1} << 32));
}

} // namespace morvex::decimal_lanes

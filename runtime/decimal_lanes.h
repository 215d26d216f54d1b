// The 64 digit bytes of a decimal accumulator handled all at once, with masks
// of one bit per digit (bit i for digit i): addition and subtraction of
// magnitudes, digit tests, and the conversion to and from limbs of eight
// digits.
//
// Where SSE2 is available the digits are four 16-byte lanes and decimal
// carries and borrows ripple through the masks in one binary addition rather
// than digit by digit: a digit that overflows generates a carry, a digit that
// would overflow with one more propagates it, so the carries into each digit
// are ((generate << 1) + propagate) ^ propagate. Elsewhere, or with
// MORVEX_PORTABLE_DECIMAL defined, plain loops give the same results.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__) && !defined(MORVEX_PORTABLE_DECIMAL)
#define MORVEX_DECIMAL_SSE2 1
#include <emmintrin.h>
#endif

namespace morvex::decimal_lanes {

// The two forms get different names so that a program built with both (the
// portable form's own test) keeps them apart.
#if defined(MORVEX_DECIMAL_SSE2)
inline namespace sse2 {
#else
inline namespace portable {
#endif

// The highest digit index in use for digits with the non-zero mask given:
// the top non-zero digit, at least the units digit (32).
inline uint8_t high_index(uint64_t non_zero_digits) {
    return static_cast<uint8_t>(63 - std::countl_zero(non_zero_digits | uint64_t{1} << 32));
}

#if defined(MORVEX_DECIMAL_SSE2)

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

inline uint64_t non_zero(const Lanes& x) {
    const __m128i zero = _mm_setzero_si128();
    return ~bits(each(x, [&](__m128i v) { return _mm_cmpeq_epi8(v, zero); }));
}

// Bit i set for each digit i that is not zero.
inline uint64_t non_zero(const uint8_t* digits) {
    return non_zero(load(digits));
}

// Bit i set for each digit i above 9.
inline uint64_t above_nine(const uint8_t* digits) {
    const __m128i nine = _mm_set1_epi8(9);
    return ~bits(each(load(digits), [&](__m128i v) { return _mm_cmpeq_epi8(_mm_max_epu8(v, nine), nine); }));
}

// Bit i set for each digit where x and y differ.
inline uint64_t differing(const uint8_t* x, const uint8_t* y) {
    return ~bits(each(load(x), load(y), [](__m128i v, __m128i w) { return _mm_cmpeq_epi8(v, w); }));
}

// out = x + y over all 64 digits, a carry out of the top digit dropped;
// returns the non-zero mask of out, which may be x or y.
inline uint64_t add_magnitudes(const uint8_t* x, const uint8_t* y, uint8_t* out) {
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i ten = _mm_set1_epi8(10);
    Lanes sum = each(load(x), load(y), [](__m128i v, __m128i w) { return _mm_add_epi8(v, w); });
    const uint64_t over = bits(each(sum, [&](__m128i v) { return _mm_cmpgt_epi8(v, nine); }));
    const uint64_t at_nine = bits(each(sum, [&](__m128i v) { return _mm_cmpeq_epi8(v, nine); }));
    sum =
        each(sum, spread(carries_in(over, at_nine)), [](__m128i v, __m128i w) { return _mm_sub_epi8(v, w); });
    sum = each(sum, [&](__m128i v) { return _mm_sub_epi8(v, _mm_and_si128(_mm_cmpgt_epi8(v, nine), ten)); });
    store(sum, out);
    return non_zero(sum);
}

// out = x - y, or y - x when `reverse`; the one subtracted must be the
// smaller magnitude. Returns the non-zero mask of out, which may be x or y.
inline uint64_t subtract_magnitudes(const uint8_t* x, const uint8_t* y, bool reverse, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i ten = _mm_set1_epi8(10);
    // x - y, negated digit by digit when y is the larger.
    const __m128i flip = _mm_set1_epi8(reverse ? -1 : 0);
    Lanes sum = each(load(x), load(y), [&](__m128i v, __m128i w) {
        return _mm_sub_epi8(_mm_xor_si128(_mm_sub_epi8(v, w), flip), flip);
    });
    const uint64_t below = bits(sum);
    const uint64_t at_zero = bits(each(sum, [&](__m128i v) { return _mm_cmpeq_epi8(v, zero); }));
    sum = each(sum, spread(carries_in(below, at_zero)),
               [](__m128i v, __m128i w) { return _mm_add_epi8(v, w); });
    sum = each(sum, [&](__m128i v) { return _mm_add_epi8(v, _mm_and_si128(_mm_cmpgt_epi8(zero, v), ten)); });
    store(sum, out);
    return non_zero(sum);
}

// Digits to limbs of eight digits (limb k holds digits 8k..8k+7 as one
// number below 10^8): digit pairs, pairs of pairs and the two halves are
// each combined by one multiply-add of 16-bit lanes.
inline void to_limbs(const uint8_t* digits, uint32_t* limbs) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i tens = _mm_set1_epi32(10 << 16 | 1);
    const __m128i hundreds = _mm_set1_epi32(100 << 16 | 1);
    const __m128i ten_thousands = _mm_set1_epi32(10000 << 16 | 1);
    for (int half = 0; half < 2; ++half) {
        __m128i quads[2];
        for (int k = 0; k < 2; ++k) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 32 * half + 16 * k));
            const __m128i low_pairs = _mm_madd_epi16(_mm_unpacklo_epi8(x, zero), tens);
            const __m128i high_pairs = _mm_madd_epi16(_mm_unpackhi_epi8(x, zero), tens);
            quads[k] = _mm_madd_epi16(_mm_packs_epi32(low_pairs, high_pairs), hundreds);
        }
        const __m128i four = _mm_madd_epi16(_mm_packs_epi32(quads[0], quads[1]), ten_thousands);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(limbs + 4 * half), four);
    }
}

// The reverse: each limb split into halves of four digits (x / 10^4 by a
// multiply and a shift), each half into two pairs (x / 100 as the high half
// of x * 5243, shifted by three), each pair into two digits (x / 10 as the
// high half of x * 6554); each step lays its parts out in digit order.
inline void from_limbs(const uint32_t* limbs, uint8_t* digits) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i by_ten_thousand = _mm_set1_epi32(static_cast<int>(0xD1B71759));
    const __m128i ten_thousand = _mm_set1_epi32(10000);
    const __m128i hundred = _mm_set1_epi16(100);
    const __m128i ten = _mm_set1_epi16(10);
    for (int half = 0; half < 2; ++half) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(limbs + 4 * half));
        const __m128i even = _mm_srli_epi64(_mm_mul_epu32(x, by_ten_thousand), 45);
        const __m128i odd = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), by_ten_thousand), 45);
        const __m128i upper = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
        const __m128i lower = _mm_sub_epi32(x, _mm_madd_epi16(upper, ten_thousand));
        const __m128i quads = _mm_or_si128(lower, _mm_slli_epi32(upper, 16));
        const __m128i high_pairs = _mm_srli_epi16(_mm_mulhi_epu16(quads, _mm_set1_epi16(5243)), 3);
        const __m128i low_pairs = _mm_sub_epi16(quads, _mm_mullo_epi16(high_pairs, hundred));
        const __m128i pairs = _mm_or_si128(low_pairs, _mm_slli_epi16(high_pairs, 8));
        for (int k = 0; k < 2; ++k) {
            const __m128i p = k == 0 ? _mm_unpacklo_epi8(pairs, zero) : _mm_unpackhi_epi8(pairs, zero);
            const __m128i tens = _mm_mulhi_epu16(p, _mm_set1_epi16(6554));
            const __m128i ones = _mm_sub_epi16(p, _mm_mullo_epi16(tens, ten));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 32 * half + 16 * k),
                             _mm_or_si128(ones, _mm_slli_epi16(tens, 8)));
        }
    }
}

#else

inline uint64_t non_zero(const uint8_t* digits) {
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= uint64_t{digits[i] != 0} << i;
    return mask;
}

inline uint64_t above_nine(const uint8_t* digits) {
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= uint64_t{digits[i] > 9} << i;
    return mask;
}

inline uint64_t differing(const uint8_t* x, const uint8_t* y) {
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= uint64_t{x[i] != y[i]} << i;
    return mask;
}

inline uint64_t add_magnitudes(const uint8_t* x, const uint8_t* y, uint8_t* out) {
    uint64_t mask = 0;
    int carry = 0;
    for (int i = 0; i < 64; ++i) {
        int sum = x[i] + y[i] + carry;
        carry = sum > 9;
        sum -= carry * 10;
        out[i] = static_cast<uint8_t>(sum);
        mask |= uint64_t{sum != 0} << i;
    }
    return mask;
}

inline uint64_t subtract_magnitudes(const uint8_t* x, const uint8_t* y, bool reverse, uint8_t* out) {
    uint64_t mask = 0;
    int borrow = 0;
    for (int i = 0; i < 64; ++i) {
        int difference = (reverse ? y[i] - x[i] : x[i] - y[i]) - borrow;
        borrow = difference < 0;
        difference += borrow * 10;
        out[i] = static_cast<uint8_t>(difference);
        mask |= uint64_t{difference != 0} << i;
    }
    return mask;
}

inline void to_limbs(const uint8_t* digits, uint32_t* limbs) {
    for (int k = 0; k < 8; ++k) {
        uint32_t limb = 0;
        for (int j = 7; j >= 0; --j)
            limb = limb * 10 + digits[8 * k + j];
        limbs[k] = limb;
    }
}

inline void from_limbs(const uint32_t* limbs, uint8_t* digits) {
    for (int k = 0; k < 8; ++k) {
        uint32_t limb = limbs[k];
        for (int j = 0; j < 8; ++j) {
            digits[8 * k + j] = static_cast<uint8_t>(limb % 10);
            limb /= 10;
        }
    }
}

#endif

} // namespace sse2 or portable
} // namespace morvex::decimal_lanes

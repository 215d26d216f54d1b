// Decimal division on binary words (see decimal_quotient.h): operands of up
// to 38 digits as 128-bit integers, the dividend scaled to 256 bits, Knuth's
// long division in base 2^64, and the quotient split back into limbs of
// eight digits. Without 128-bit integers (or with MORVEX_PORTABLE_DECIMAL
// defined) every quotient is left to the long division on limbs.
#include "runtime/decimal_quotient.h"

#include <array>
#include <bit>

namespace morvex::decimal_detail {

#if defined(__SIZEOF_INT128__) && !defined(MORVEX_PORTABLE_DECIMAL)

namespace {

using Wide = unsigned __int128;

constexpr int MaxDigits = 38; // 10^38 < 2^127
constexpr uint64_t LimbBase = 100'000'000;
constexpr uint64_t HalfBase = LimbBase * LimbBase; // 10^16

constexpr std::array<Wide, MaxDigits + 1> PowersOfTen = [] {
    std::array<Wide, MaxDigits + 1> powers{};
    Wide power = 1;
    for (Wide& p : powers) {
        p = power;
        power *= 10;
    }
    return powers;
}();

// (high * 2^64 + low) / divisor for high < divisor: one machine division.
uint64_t divide_words(uint64_t high, uint64_t low, uint64_t divisor, uint64_t& rest) {
#if defined(__x86_64__)
    uint64_t quotient;
    uint64_t remainder;
    asm("divq %4" : "=a"(quotient), "=d"(remainder) : "a"(low), "d"(high), "rm"(divisor) : "cc");
    rest = remainder;
    return quotient;
#else
    const Wide numerator = Wide{high} << 64 | low;
    rest = static_cast<uint64_t>(numerator % divisor);
    return static_cast<uint64_t>(numerator / divisor);
#endif
}

// x / 10^r for an x that 10^r divides: x / 2^r times the inverse of 5^r
// modulo 2^32, with no division.
constexpr std::array<uint32_t, 8> InversesOfFives = [] {
    std::array<uint32_t, 8> inverses{};
    uint32_t five_power = 1;
    for (uint32_t& inverse : inverses) {
        // Newton's iteration doubles the correct low bits each time.
        uint32_t x = five_power;
        for (int i = 0; i < 5; ++i)
            x *= 2 - five_power * x;
        inverse = x;
        five_power *= 5;
    }
    return inverses;
}();

// The significant digits low..high of an accumulator as one integer; the
// lowest limb is divided by the power of ten below `low` within it (its
// digits there are zero), the others scaled to their places.
Wide digits_of(const DecimalAccumulator& value, const uint32_t* limbs) {
    const int first = value.low >> 3;
    const int below = value.low & 7;
    Wide result = (limbs[first] >> below) * InversesOfFives[below];
    for (int k = first + 1; k <= value.high >> 3; ++k)
        result += limbs[k] * PowersOfTen[8 * (k - first) - below];
    return result;
}

// floor(n / d) for n of four words (lowest first); false when the quotient
// needs more than two words.
bool divide_wide(const uint64_t* n, Wide d, Wide& quotient) {
    const uint64_t d_high = static_cast<uint64_t>(d >> 64);
    if (d_high == 0) {
        const uint64_t single = static_cast<uint64_t>(d);
        if (n[3] != 0 || n[2] >= single)
            return false;
        uint64_t rest;
        const uint64_t high = divide_words(n[2], n[1], single, rest);
        const uint64_t low = divide_words(rest, n[0], single, rest);
        quotient = Wide{high} << 64 | low;
        return true;
    }
    // Shift both so that the divisor's top bit is set: each estimated
    // quotient word is then at most two too large after the test on the
    // divisor's second word.
    const int shift = std::countl_zero(d_high);
    const Wide v = d << shift;
    const uint64_t v1 = static_cast<uint64_t>(v >> 64);
    const uint64_t v0 = static_cast<uint64_t>(v);
    uint64_t u[5];
    u[4] = shift == 0 ? 0 : n[3] >> (64 - shift);
    for (int i = 3; i > 0; --i)
        u[i] = shift == 0 ? n[i] : n[i] << shift | n[i - 1] >> (64 - shift);
    u[0] = n[0] << shift;
    uint64_t q[3];
    for (int j = 2; j >= 0; --j) {
        if (u[j + 2] == 0 && u[j + 1] < v1) {
            q[j] = 0; // what is left is below v * 2^(64 j)
            continue;
        }
        uint64_t estimate;
        Wide rest;
        if (u[j + 2] >= v1) {
            estimate = ~uint64_t{0};
            rest = (Wide{u[j + 2]} << 64 | u[j + 1]) - Wide{estimate} * v1;
        } else {
            uint64_t r;
            estimate = divide_words(u[j + 2], u[j + 1], v1, r);
            rest = r;
        }
        while (rest >> 64 == 0 && Wide{estimate} * v0 > (rest << 64 | u[j])) {
            --estimate;
            rest += v1;
        }
        // u[j..j+2] -= estimate * v
        const Wide low_product = Wide{estimate} * v0;
        const Wide high_product = Wide{estimate} * v1;
        Wide t = Wide{u[j]} - static_cast<uint64_t>(low_product);
        u[j] = static_cast<uint64_t>(t);
        uint64_t borrow = (t >> 64) != 0;
        const Wide middle = (low_product >> 64) + static_cast<uint64_t>(high_product);
        t = Wide{u[j + 1]} - static_cast<uint64_t>(middle) - borrow;
        u[j + 1] = static_cast<uint64_t>(t);
        borrow = (t >> 64) != 0;
        const uint64_t top = static_cast<uint64_t>((high_product >> 64) + (middle >> 64));
        t = Wide{u[j + 2]} - top - borrow;
        u[j + 2] = static_cast<uint64_t>(t);
        if ((t >> 64) != 0) {
            // One too large: add the divisor back (the carry out cancels
            // the borrow).
            --estimate;
            Wide s = Wide{u[j]} + v0;
            u[j] = static_cast<uint64_t>(s);
            s = Wide{u[j + 1]} + v1 + static_cast<uint64_t>(s >> 64);
            u[j + 1] = static_cast<uint64_t>(s);
            u[j + 2] += static_cast<uint64_t>(s >> 64);
        }
        q[j] = estimate;
    }
    if (q[2] != 0)
        return false;
    quotient = Wide{q[1]} << 64 | q[0];
    return true;
}

// A value below 10^16 as two limbs.
void split_half(uint64_t value, uint32_t* limbs) {
    limbs[0] = static_cast<uint32_t>(value % LimbBase);
    limbs[1] = static_cast<uint32_t>(value / LimbBase);
}

} // namespace

bool binary_quotient(const DecimalAccumulator& a, const uint32_t* la, const DecimalAccumulator& b,
                     const uint32_t* lb, uint32_t* quotient) {
    // a = A * 10^(a.low - 32), b = B * 10^(b.low - 32), so the quotient at
    // 32 places is floor(A * 10^scale / B).
    const int scale = DecimalUnits + a.low - b.low;
    if (a.high - a.low >= MaxDigits || b.high - b.low >= MaxDigits || scale < 0 || scale > MaxDigits)
        return false;
    const Wide dividend = digits_of(a, la);
    const Wide divisor = digits_of(b, lb);
    // The dividend times 10^scale, four words.
    const Wide power = PowersOfTen[scale];
    const uint64_t a0 = static_cast<uint64_t>(dividend), a1 = static_cast<uint64_t>(dividend >> 64);
    const uint64_t p0 = static_cast<uint64_t>(power), p1 = static_cast<uint64_t>(power >> 64);
    const Wide low = Wide{a0} * p0;
    const Wide cross = Wide{a0} * p1 + static_cast<uint64_t>(low >> 64);
    const Wide cross2 = Wide{a1} * p0 + static_cast<uint64_t>(cross);
    const Wide high =
        Wide{a1} * p1 + static_cast<uint64_t>(cross >> 64) + static_cast<uint64_t>(cross2 >> 64);
    const uint64_t n[4] = {static_cast<uint64_t>(low), static_cast<uint64_t>(cross2),
                           static_cast<uint64_t>(high), static_cast<uint64_t>(high >> 64)};
    Wide q;
    if (!divide_wide(n, divisor, q) || q >= PowersOfTen[MaxDigits])
        return false;
    // Below 10^38: two halves of sixteen digits and the six digits above.
    uint64_t rest;
    const uint64_t q1 = static_cast<uint64_t>(q >> 64);
    const uint64_t upper = divide_words(q1 % HalfBase, static_cast<uint64_t>(q), HalfBase, rest);
    const Wide above = Wide{q1 / HalfBase} << 64 | upper; // q / 10^16, below 10^22
    split_half(rest, quotient);
    const uint64_t a_high = static_cast<uint64_t>(above >> 64);
    const uint64_t top = divide_words(a_high, static_cast<uint64_t>(above), HalfBase, rest);
    split_half(rest, quotient + 2);
    quotient[4] = static_cast<uint32_t>(top);
    for (int k = 5; k < 8; ++k)
        quotient[k] = 0;
    return true;
}

#else

bool binary_quotient(const DecimalAccumulator&, const uint32_t*, const DecimalAccumulator&, const uint32_t*,
                     uint32_t*) {
    return false;
}

#endif

} // namespace morvex::decimal_detail

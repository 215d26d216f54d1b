// Arithmetic on single decimal accumulators: addition and subtraction digit
// by digit, multiplication and division on limbs of eight digits, rounding
// and comparison. The stack operations in decimal.cpp are built on these.
//
// Every accumulator handled here is normalized: low <= 32 <= high, digits
// outside low..high are zero, high is the highest non-zero digit (or the
// units digit) and zero is positive.
#include "runtime/decimal.h"
#include "runtime/decimal_lanes.h"
#include "runtime/decimal_quotient.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace morvex::decimal_detail {

namespace {

// Limb k holds the digits 8k..8k+7 as one number below 10^8, so limbs line up
// with digit indexes across operands.
constexpr uint64_t LimbBase = 100'000'000;
constexpr int Limbs = DecimalDigits / 8;

void to_limbs(const DecimalAccumulator& value, uint32_t* limbs) {
    decimal_lanes::to_limbs(value.digits, limbs);
}

void from_limbs(const uint32_t* limbs, DecimalAccumulator& value) {
    decimal_lanes::from_limbs(limbs, value.digits);
}

// The index of the highest non-zero limb, or -1.
int highest_limb(const uint32_t* limbs, int count) {
    int k = count - 1;
    while (k >= 0 && limbs[k] == 0)
        --k;
    return k;
}

// numerator / divisor for a numerator below 10^16 and a divisor below 10^8,
// through the divisor's reciprocal (a hardware division costs several
// multiplications); the estimate is off by at most one either way.
uint64_t divide_small(uint64_t numerator, uint64_t divisor, double reciprocal, uint64_t& rest) {
    uint64_t quotient = static_cast<uint64_t>(static_cast<double>(numerator) * reciprocal);
    int64_t remainder = static_cast<int64_t>(numerator) - static_cast<int64_t>(quotient * divisor);
    while (remainder < 0) {
        --quotient;
        remainder += static_cast<int64_t>(divisor);
    }
    while (remainder >= static_cast<int64_t>(divisor)) {
        ++quotient;
        remainder -= static_cast<int64_t>(divisor);
    }
    rest = static_cast<uint64_t>(remainder);
    return quotient;
}

int compare_magnitudes(const DecimalAccumulator& a, const DecimalAccumulator& b) {
    const int high = std::max(a.high, b.high);
    const int low = std::min(a.low, b.low);
    for (int i = high; i >= low; --i) {
        if (a.digits[i] != b.digits[i])
            return a.digits[i] < b.digits[i] ? -1 : 1;
    }
    return 0;
}

void set_zero(DecimalAccumulator& value) {
    value = DecimalAccumulator{};
}

// floor(a * 10^32 / b) by long division on limbs (Knuth's algorithm D in
// base 10^8) into q; a_top is a's highest non-zero limb, n the number of b's
// limbs up to its highest non-zero one.
void long_quotient(const uint32_t* la, int a_top, uint32_t* v, int n, uint32_t* q) {
    // The dividend a * 10^32: four limbs of zeros below a's limbs, and room
    // for the limb that normalizing adds.
    constexpr int Shift = DecimalUnits / 8;
    uint32_t dividend[Limbs + Shift + 1] = {};
    std::memcpy(dividend + Shift, la, Limbs * sizeof(uint32_t));
    int length = a_top + Shift + 1;
    // Low zero limbs of the divisor (an integer divisor has four) leave the
    // floored quotient unchanged when the dividend drops as many limbs.
    int zeros = 0;
    while (v[zeros] == 0)
        ++zeros;
    uint32_t* u = dividend + zeros;
    uint32_t* const divisor = v + zeros;
    n -= zeros;
    length -= zeros;

    if (n == 1) {
        const uint64_t single = divisor[0];
        const double reciprocal = 1.0 / static_cast<double>(single);
        uint64_t remainder = 0;
        for (int i = length - 1; i >= 0; --i)
            q[i] = static_cast<uint32_t>(
                divide_small(remainder * LimbBase + u[i], single, reciprocal, remainder));
    } else if (length >= n) {
        uint32_t* v = divisor;
        // Scale both so that the divisor's leading limb is at least half the
        // base: then each estimated quotient limb is at most one too large
        // after the two-limb test.
        const uint64_t scale = LimbBase / (uint64_t{v[n - 1]} + 1);
        uint64_t carry = 0;
        for (int i = 0; i < length; ++i) {
            const uint64_t t = u[i] * scale + carry;
            u[i] = static_cast<uint32_t>(t % LimbBase);
            carry = t / LimbBase;
        }
        u[length] = static_cast<uint32_t>(carry);
        carry = 0;
        for (int i = 0; i < n; ++i) {
            const uint64_t t = v[i] * scale + carry;
            v[i] = static_cast<uint32_t>(t % LimbBase);
            carry = t / LimbBase;
        }
        const uint64_t top = v[n - 1];
        const uint64_t next = v[n - 2];
        const double reciprocal = 1.0 / static_cast<double>(top);
        for (int j = length - n; j >= 0; --j) {
            uint64_t rest;
            uint64_t estimate =
                divide_small(uint64_t{u[j + n]} * LimbBase + u[j + n - 1], top, reciprocal, rest);
            while (estimate >= LimbBase || estimate * next > rest * LimbBase + u[j + n - 2]) {
                --estimate;
                rest += top;
                if (rest >= LimbBase)
                    break;
            }
            // u[j..j+n] -= estimate * v
            uint64_t product_carry = 0;
            int64_t borrow = 0;
            for (int i = 0; i < n; ++i) {
                const uint64_t p = estimate * v[i] + product_carry;
                product_carry = p / LimbBase;
                int64_t t = int64_t{u[i + j]} - static_cast<int64_t>(p % LimbBase) - borrow;
                borrow = t < 0;
                u[i + j] = static_cast<uint32_t>(t + (borrow ? static_cast<int64_t>(LimbBase) : 0));
            }
            int64_t head = int64_t{u[j + n]} - static_cast<int64_t>(product_carry) - borrow;
            // The estimate was one too large: add the divisor back.
            while (head < 0) {
                --estimate;
                uint64_t add_carry = 0;
                for (int i = 0; i < n; ++i) {
                    const uint64_t t = uint64_t{u[i + j]} + v[i] + add_carry;
                    u[i + j] = static_cast<uint32_t>(t % LimbBase);
                    add_carry = t / LimbBase;
                }
                head += static_cast<int64_t>(add_carry);
            }
            u[j + n] = static_cast<uint32_t>(head);
            q[j] = static_cast<uint32_t>(estimate);
        }
    }
}

// Sets the sign, the low index and the high index of digits just computed;
// a zero result is positive.
// LowestInUse takes the lowest non-zero digit (at most the units digit).
constexpr int LowestInUse = -1;

void finish(DecimalAccumulator& value, uint8_t sign, int low) {
    const uint64_t digits_in_use = decimal_lanes::non_zero(value.digits);
    value.sign = digits_in_use != 0 ? sign : 0;
    value.low = static_cast<uint8_t>(
        low == LowestInUse ? std::countr_zero(digits_in_use | uint64_t{1} << DecimalUnits) : low);
    value.high = decimal_lanes::high_index(digits_in_use);
}

// The same for digits just written from limbs with the low index given:
// the highest digit is found in the highest non-zero limb.
void finish_from_limbs(DecimalAccumulator& value, const uint32_t* limbs, uint8_t sign, int low) {
    int top = Limbs - 1;
    while (top >= 0 && limbs[top] == 0)
        --top;
    value.sign = top >= 0 ? sign : 0;
    value.low = static_cast<uint8_t>(low);
    int high = DecimalUnits;
    if (top >= 0) {
        // The limb's digits from its bit length, without a loop: log10 of 2
        // is a little above 1233 / 4096, so the estimate is at most one short.
        static constexpr uint32_t Powers[] = {1,       10,        100,        1'000,      10'000,
                                              100'000, 1'000'000, 10'000'000, 100'000'000};
        const uint32_t limb = limbs[top];
        const int estimate = (std::bit_width(limb) * 1233) >> 12;
        const int digits = estimate + (limb >= Powers[estimate]);
        high = std::max(high, 8 * top + digits - 1);
    }
    value.high = static_cast<uint8_t>(high);
}

} // namespace

void normalize(DecimalAccumulator& value) {
    // Eight zero digits at a time, then one at a time.
    int high = DecimalDigits - 1;
    uint64_t word;
    while (high >= DecimalUnits + 8 && (std::memcpy(&word, value.digits + high - 7, 8), word == 0))
        high -= 8;
    while (high > DecimalUnits && value.digits[high] == 0)
        --high;
    value.high = static_cast<uint8_t>(high);
    if (value.low > DecimalUnits)
        value.low = DecimalUnits;
    if (value.sign != 0 && value.is_zero())
        value.sign = 0;
}

// Both operands are added or subtracted in all 64 digits at once; the digits
// outside low..high are zeros on both sides and stay zeros.
void add(const DecimalAccumulator& a, const DecimalAccumulator& b, bool subtract,
         DecimalAccumulator& result) {
    using namespace decimal_lanes;
    const uint8_t b_sign = static_cast<uint8_t>(b.sign ^ (subtract ? 1 : 0));
    const uint8_t low = std::min(a.low, b.low);
    uint64_t digits_in_use;
    uint8_t sign;
    if (a.sign == b_sign) {
        sign = a.sign;
        // A carry out of the 32nd integer digit is dropped: modulo 10^32.
        digits_in_use = add_magnitudes(a.digits, b.digits, result.digits);
    } else {
        // The larger magnitude less the smaller, with the larger one's sign:
        // the same result as a ten's complement and a sign flip.
        const int top = 63 - std::countl_zero(differing(a.digits, b.digits) | 1);
        const bool a_larger = a.digits[top] >= b.digits[top];
        sign = a_larger ? a.sign : b_sign;
        digits_in_use = subtract_magnitudes(a.digits, b.digits, !a_larger, result.digits);
    }
    result.sign = digits_in_use != 0 ? sign : 0;
    result.low = low;
    result.high = high_index(digits_in_use);
}

// Rounded at 32 places, half away from zero; integer digits beyond the 32nd
// are dropped (modulo 10^32).
void multiply(const DecimalAccumulator& a, const DecimalAccumulator& b, DecimalAccumulator& result) {
    uint32_t la[Limbs], lb[Limbs];
    to_limbs(a, la);
    to_limbs(b, lb);
    const int a_low = a.low >> 3, a_high = a.high >> 3;
    const int b_low = b.low >> 3, b_high = b.high >> 3;
    // The full product has 128 digits at 10^-64; limbs 4..11 (digits 32..95)
    // are kept. Each column is summed in a register (below 9 * 10^16 with
    // the carry) and carried at once. The limbs below only carry, and half a
    // unit of the 32nd place or more (the top digit of limb 3) rounds up.
    constexpr int Below = Limbs / 2;
    uint32_t kept[Limbs] = {};
    uint64_t carry = 0;
    for (int k = a_low + b_low; k < Below + Limbs; ++k) {
        uint64_t column = carry;
        const int to = std::min(a_high, k - b_low);
        for (int i = std::max(a_low, k - b_high); i <= to; ++i)
            column += uint64_t{la[i]} * lb[k - i];
        carry = column / LimbBase;
        const uint32_t limb = static_cast<uint32_t>(column - carry * LimbBase);
        if (k >= Below)
            kept[k - Below] = limb;
        else if (k == Below - 1)
            carry += limb / (LimbBase / 10) >= 5 ? 1 : 0;
    }
    const int low = std::max(a.low + b.low - DecimalUnits, 0);
    from_limbs(kept, result);
    finish_from_limbs(result, kept, static_cast<uint8_t>(a.sign ^ b.sign), std::min(low, DecimalUnits));
}

// Long division on limbs (Knuth's algorithm D in base 10^8): the quotient of
// a * 10^32 by b is the exact quotient floored at 32 places, and its last
// digit rounds it to 31 places, half away from zero.
void divide(const DecimalAccumulator& a, const DecimalAccumulator& b, DecimalAccumulator& result) {
    uint32_t la[Limbs], v[Limbs];
    to_limbs(a, la);
    to_limbs(b, v);
    int n = highest_limb(v, Limbs) + 1;
    const int a_top = highest_limb(la, Limbs);
    if (n == 0 || a_top < 0) {
        set_zero(result);
        return;
    }
    constexpr int Shift = DecimalUnits / 8;
    uint32_t q[Limbs + Shift + 1] = {};
    if (!binary_quotient(a, la, b, v, q))
        long_quotient(la, a_top, v, n, q);
    // Round at the last digit: down to a multiple of ten, or up to the next.
    const uint32_t last = q[0] % 10;
    q[0] -= last;
    if (last >= 5) {
        uint64_t carry = 10;
        for (int k = 0; k < Limbs && carry != 0; ++k) {
            const uint64_t t = q[k] + carry;
            q[k] = static_cast<uint32_t>(t % LimbBase);
            carry = t / LimbBase;
        }
    }
    // Limbs beyond the eighth hold integer digits beyond the 32nd: dropped.
    const uint8_t sign = a.sign ^ b.sign;
    from_limbs(q, result);
    finish(result, sign, LowestInUse);
}

void round(DecimalAccumulator& value, int places) {
    if (places >= DecimalUnits)
        return;
    const int new_low = DecimalUnits - places;
    if (new_low <= value.low)
        return;
    if (new_low > DecimalDigits) {
        set_zero(value);
        return;
    }
    const bool up = value.digits[new_low - 1] >= 5;
    for (int i = value.low; i < new_low; ++i)
        value.digits[i] = 0;
    if (up) {
        int i = new_low;
        while (i < DecimalDigits && value.digits[i] == 9)
            value.digits[i++] = 0;
        // A carry out of the top is dropped (modulo 10^32).
        if (i < DecimalDigits)
            ++value.digits[i];
        if (i > value.high && i < DecimalDigits)
            value.high = static_cast<uint8_t>(i);
    }
    value.low = static_cast<uint8_t>(std::min(new_low, DecimalUnits));
    normalize(value);
}

int compare(const DecimalAccumulator& a, const DecimalAccumulator& b) {
    const int a_sign = a.is_zero() ? 0 : (a.sign ? -1 : 1);
    const int b_sign = b.is_zero() ? 0 : (b.sign ? -1 : 1);
    if (a_sign != b_sign)
        return a_sign < b_sign ? -1 : 1;
    if (a_sign == 0)
        return 0;
    return a_sign * compare_magnitudes(a, b);
}

} // namespace morvex::decimal_detail

namespace morvex {

bool DecimalAccumulator::is_zero() const {
    for (int i = low; i <= high; ++i) {
        if (digits[i] != 0)
            return false;
    }
    return true;
}

} // namespace morvex

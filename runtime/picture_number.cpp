// PictureNumber: the sign, digits and decimal exponent in which every value
// reaches the numeric formatter, made from integers, floating values and
// number texts, and turned back into plain text or an integer.
#include "runtime/leading_integer.h"
#include "runtime/number_text.h"
#include "runtime/picture_internal.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace morvex {

namespace {

using picture_detail::is_digit;

constexpr std::size_t MaxDigits = sizeof(PictureNumber::digits);
// Exponents are kept within this bound: far beyond any picture's reach, and
// with room left in int16 for the arithmetic that follows.
constexpr int64_t ExponentLimit = 30'000;
constexpr int RealDigits = 14;

// Moves trailing zero digits into the exponent; all zeros make zero.
void strip_trailing_zeros(PictureNumber& number) {
    while (number.digit_count > 0 && number.digits[number.digit_count - 1] == '0') {
        --number.digit_count;
        ++number.exponent;
    }
    if (number.digit_count == 0)
        number = PictureNumber{};
}

// Adds one unit at the last kept digit; a carry out of the first digit makes
// it 1 followed by zeros, one place higher.
void round_up(PictureNumber& number) {
    int i = number.digit_count - 1;
    while (i >= 0 && number.digits[i] == '9')
        number.digits[i--] = '0';
    if (i >= 0) {
        ++number.digits[i];
    } else {
        number.exponent = static_cast<int16_t>(number.exponent + number.digit_count);
        number.digits[0] = '1';
        number.digit_count = 1;
    }
}

constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr uint64_t PowersOfTen[] = {1,
                                    10,
                                    100,
                                    1'000,
                                    10'000,
                                    100'000,
                                    1'000'000,
                                    10'000'000,
                                    100'000'000,
                                    1'000'000'000,
                                    10'000'000'000,
                                    100'000'000'000,
                                    1'000'000'000'000,
                                    10'000'000'000'000,
                                    100'000'000'000'000,
                                    1'000'000'000'000'000};

// Writes the digits of `value` (1 to 10^15 - 1) into `out`, two at a time
// from the right; returns their number.
int write_digits(uint64_t value, char* out) {
    const int estimate = (std::bit_width(value) * 1233) >> 12; // log10 from log2
    const int count = estimate + (value >= PowersOfTen[estimate]);
    int end = count;
    while (value >= 100) {
        const uint64_t pair = value % 100;
        value /= 100;
        out[--end] = DigitPairs[2 * pair + 1];
        out[--end] = DigitPairs[2 * pair];
    }
    if (value >= 10) {
        out[--end] = DigitPairs[2 * value + 1];
        out[--end] = DigitPairs[2 * value];
    } else {
        out[--end] = static_cast<char>('0' + value);
    }
    return count;
}

// Values with few decimals (amounts, most data) are found by scaling: the
// first k for which some integer r < 10^15 gives r / 10^k == value is the
// shortest text of the value, unique at that length. Others take to_chars.
bool scaled_digits(double value, PictureNumber& number) {
    static constexpr double Powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6, 1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14};
    const double magnitude = value < 0 ? -value : value;
    for (int k = 0; k < 15; ++k) {
        const double product = magnitude * Powers[k];
        if (!(product < 1e15))
            return false;
        // Rounds to the nearest integer: below 2^52, adding and taking away
        // 2^52 leaves no fraction bits.
        const double scaled = (product + 0x1p52) - 0x1p52;
        if (scaled / Powers[k] != magnitude)
            continue;
        int count = write_digits(static_cast<uint64_t>(scaled), number.digits);
        int exponent = -k;
        while (number.digits[count - 1] == '0') {
            --count;
            ++exponent;
        }
        number.digit_count = static_cast<uint8_t>(count);
        number.exponent = static_cast<int16_t>(exponent);
        number.negative = value < 0;
        // Fifteen digits: the fifteenth decides the rounding.
        if (count > RealDigits) {
            const char next_digit = number.digits[RealDigits];
            number.digit_count = RealDigits;
            number.exponent = static_cast<int16_t>(number.exponent + (count - RealDigits));
            if (next_digit >= '5')
                round_up(number);
            strip_trailing_zeros(number);
        }
        return true;
    }
    return false;
}

} // namespace

PictureNumber PictureNumber::FromInteger(int64_t value) {
    PictureNumber number;
    if (value == 0)
        return number;
    number.negative = value < 0;
    uint64_t magnitude = number.negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char reversed[20];
    int count = 0;
    while (magnitude != 0) {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    for (int i = 0; i < count; ++i)
        number.digits[i] = reversed[count - 1 - i];
    number.digit_count = static_cast<uint8_t>(count);
    strip_trailing_zeros(number);
    return number;
}

// The shortest text that reads back as the same double is rounded to 14
// significant digits, half away from zero. Rounding the shortest form rather
// than the exact binary value makes 2.675 (stored a hair below) stay 2.675,
// so that the picture's own rounding then gives the 2.68 a reader expects.
// NaN becomes zero; an infinity becomes 1e30000, which no picture can hold.
PictureNumber PictureNumber::FromReal(double value) {
    PictureNumber number;
    if (std::isnan(value) || value == 0)
        return number;
    if (std::isinf(value)) {
        number.negative = value < 0;
        number.digits[0] = '1';
        number.digit_count = 1;
        number.exponent = static_cast<int16_t>(ExponentLimit);
        return number;
    }
    if (scaled_digits(value, number))
        return number;
    char text[40];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    if (error != std::errc{})
        return number;
    // d[.ddd]e[+-]xx
    const char* p = text;
    if (*p == '-') {
        number.negative = true;
        ++p;
    }
    char shortest[20];
    int count = 0;
    for (; p < end && *p != 'e'; ++p) {
        if (is_digit(*p) && count < static_cast<int>(sizeof shortest))
            shortest[count++] = *p;
    }
    const int kept = count < RealDigits ? count : RealDigits;
    std::memcpy(number.digits, shortest, static_cast<std::size_t>(kept));
    const char next_digit = count > RealDigits ? shortest[RealDigits] : '0';
    int exponent10 = 0;
    if (p < end)
        std::from_chars(p + 1 + (p[1] == '+'), end, exponent10);
    number.digit_count = static_cast<uint8_t>(kept);
    // digits d1..dk stand for d1.d2..dk x 10^exponent10.
    number.exponent = static_cast<int16_t>(exponent10 - (kept - 1));
    if (next_digit >= '5')
        round_up(number);
    strip_trailing_zeros(number);
    return number;
}

// Digits beyond the 64 kept are rounded half away from zero; exponents are
// bounded so that a huge one overflows every picture and a tiny one rounds
// to zero.
PictureNumber PictureNumber::Read(std::string_view text) {
    const NumberText read = ReadNumberText(text);
    PictureNumber result;
    result.negative = read.negative;
    int64_t scale = 0; // the exponent of the last kept digit
    int count = 0;
    char first_dropped = 0;
    auto take = [&](std::string_view digits, bool fraction) {
        for (const char c : digits) {
            if (count == 0 && c == '0') {
                scale -= fraction;
            } else if (count < static_cast<int>(MaxDigits)) {
                result.digits[count++] = c;
                scale -= fraction;
            } else {
                if (!first_dropped)
                    first_dropped = c;
                scale += !fraction;
            }
        }
    };
    take(read.integer, false);
    take(read.fraction, true);
    if (count == 0)
        return PictureNumber{};
    result.digit_count = static_cast<uint8_t>(count);
    // The value is digits x 10^(scale + exponent); scale also counts the
    // dropped digits before the point.
    int64_t total = scale + read.exponent;
    if (total + count - 1 < -ExponentLimit)
        return PictureNumber{};
    if (total > ExponentLimit)
        total = ExponentLimit;
    result.exponent = static_cast<int16_t>(total);
    if (first_dropped >= '5')
        round_up(result);
    strip_trailing_zeros(result);
    return result;
}

bool PictureNumber::FromText(std::string_view text, PictureNumber& number) {
    if (!IsNumberText(text))
        return false;
    number = Read(text);
    return true;
}

namespace picture_detail {

std::size_t read_decimal(std::string_view text, std::size_t& index, uint32_t& value, uint32_t limit) {
    const LeadingInteger read = ReadLeadingInteger(text.substr(std::min(index, text.size())),
                                                   {.limit = limit, .sign = false, .blanks = {}});
    value = static_cast<uint32_t>(read.value);
    index += read.length;
    return read.length;
}

std::size_t number_text(const PictureNumber& value, char* out) {
    const int count = value.digit_count < MaxDigits ? value.digit_count : static_cast<int>(MaxDigits);
    if (count == 0) {
        out[0] = '0';
        return 1;
    }
    std::size_t length = 0;
    if (value.negative)
        out[length++] = '-';
    // lead = the number of digits before the decimal point. The longest
    // texts: a sign, "0.", 16 zeros and 64 digits; a sign and 78 digits.
    const int lead = count + value.exponent;
    if (lead > 78 || lead < -16) {
        // d.ddde[-]x
        out[length++] = value.digits[0];
        if (count > 1) {
            out[length++] = '.';
            std::memcpy(out + length, value.digits + 1, static_cast<std::size_t>(count - 1));
            length += static_cast<std::size_t>(count - 1);
        }
        const auto [end, error] = std::to_chars(out + length, out + NumberTextLimit - 1, lead - 1);
        (void)error;
        std::memmove(out + length + 1, out + length, static_cast<std::size_t>(end - (out + length)));
        out[length] = 'e';
        return static_cast<std::size_t>(end - out) + 1;
    }
    if (lead <= 0) {
        out[length++] = '0';
        out[length++] = '.';
        for (int i = lead; i < 0; ++i)
            out[length++] = '0';
        std::memcpy(out + length, value.digits, static_cast<std::size_t>(count));
        return length + static_cast<std::size_t>(count);
    }
    for (int i = 0; i < lead; ++i)
        out[length++] = i < count ? value.digits[i] : '0';
    if (count > lead) {
        out[length++] = '.';
        std::memcpy(out + length, value.digits + lead, static_cast<std::size_t>(count - lead));
        length += static_cast<std::size_t>(count - lead);
    }
    return length;
}

int64_t number_to_integer(const PictureNumber& value) {
    const int count = value.digit_count < MaxDigits ? value.digit_count : static_cast<int>(MaxDigits);
    const int lead = count + value.exponent;
    if (count == 0 || lead <= 0)
        return 0;
    constexpr uint64_t Limit = uint64_t{std::numeric_limits<int64_t>::max()} + 1;
    uint64_t magnitude = 0;
    for (int i = 0; i < lead; ++i) {
        const char c = i < count ? value.digits[i] : '0';
        const uint64_t digit = is_digit(c) ? static_cast<uint64_t>(c - '0') : 0;
        if (magnitude > (Limit - digit) / 10) {
            magnitude = Limit;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (value.negative)
        return magnitude >= Limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
    return magnitude >= Limit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(magnitude);
}

} // namespace picture_detail

} // namespace morvex

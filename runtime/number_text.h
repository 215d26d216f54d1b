// The runtime's one reading of text as a number, used wherever text becomes
// a number: the decimal accumulator, FORMAT of a text value through a numeric
// picture, and the expression evaluator's conversions.
//
// The rule: leading blanks are skipped; an optional "-" (or "+"); digits,
// with "." or "," as the decimal point; then optionally "E" or "e" with an
// optional sign and digits, a power-of-ten exponent. Any other character
// ends the number, so "12.5abc" reads as 12.5, "1,5" as 1.5 and "1,234.5" as
// 1.234. Text without a digit before the exponent holds no number and reads
// as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvex {

// Exponents are held within this bound (a larger one reaches no value the
// runtime keeps).
constexpr int64_t NumberTextExponentLimit = 1'000'000;

struct NumberText {
    bool negative = false;
    std::string_view integer;  // the digits before the point (may be empty)
    std::string_view fraction; // the digits after it (may be empty)
    int64_t exponent = 0;
    // Characters read from the start of the text, leading blanks included;
    // 0 when the text holds no number.
    std::size_t length = 0;

    bool found() const { return length != 0; }
};

NumberText ReadNumberText(std::string_view text);

// True when the text is one number with nothing but blanks around it.
bool IsNumberText(std::string_view text);

} // namespace morvex

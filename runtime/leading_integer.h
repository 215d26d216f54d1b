// Reading the decimal integer that a text starts with: counts and numbers in
// INI values, property values, key names, escapes and list formats. The
// runtime's full reading of text as a number (fractions, exponents) is
// runtime/number_text.h; this is its whole-number part for the places that
// want an integer and where it ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvex {

// How a caller's integers are written.
struct IntegerSyntax {
    int64_t limit = INT64_MAX;     // larger magnitudes read as this one
    bool sign = true;              // a leading "-" or "+" belongs to the number
    std::string_view blanks = " "; // characters skipped before the sign
};

struct LeadingInteger {
    int64_t value = 0;
    // Characters read from the start of the text, blanks and sign included;
    // 0 when no digit follows them (the value is then 0).
    std::size_t length = 0;

    bool found() const { return length != 0; }
};

// Blanks, an optional sign, then decimal digits up to the first other character.
LeadingInteger ReadLeadingInteger(std::string_view text, const IntegerSyntax& syntax = {});

} // namespace morvex

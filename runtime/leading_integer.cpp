#include "runtime/leading_integer.h"

namespace morvex {

LeadingInteger ReadLeadingInteger(std::string_view text, const IntegerSyntax& syntax) {
    std::size_t i = 0;
    while (i < text.size() && syntax.blanks.find(text[i]) != std::string_view::npos)
        ++i;
    bool negative = false;
    if (syntax.sign && i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    const std::size_t digits = i;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        const bool beyond = magnitude > (INT64_MAX - digit) / 10 || magnitude * 10 + digit > syntax.limit;
        magnitude = beyond ? syntax.limit : magnitude * 10 + digit;
    }
    if (i == digits)
        return {};
    return {negative ? -magnitude : magnitude, i};
}

} // namespace morvex

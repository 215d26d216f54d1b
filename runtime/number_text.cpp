#include "runtime/number_text.h"

namespace morvex {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t skip_digits(std::string_view text, std::size_t i) {
    while (i < text.size() && is_digit(text[i]))
        ++i;
    return i;
}

} // namespace

NumberText ReadNumberText(std::string_view text) {
    NumberText number;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        number.negative = text[i++] == '-';
    const std::size_t integer_begin = i;
    i = skip_digits(text, i);
    number.integer = text.substr(integer_begin, i - integer_begin);
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        const std::size_t fraction_begin = ++i;
        i = skip_digits(text, i);
        number.fraction = text.substr(fraction_begin, i - fraction_begin);
    }
    if (number.integer.empty() && number.fraction.empty())
        return NumberText{};
    // An exponent counts only with its digits: "5e" is 5 followed by a letter.
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        std::size_t k = i + 1;
        const bool negative = k < text.size() && text[k] == '-';
        if (k < text.size() && (text[k] == '-' || text[k] == '+'))
            ++k;
        if (k < text.size() && is_digit(text[k])) {
            int64_t exponent = 0;
            for (; k < text.size() && is_digit(text[k]); ++k) {
                if (exponent < NumberTextExponentLimit)
                    exponent = exponent * 10 + (text[k] - '0');
            }
            if (exponent > NumberTextExponentLimit)
                exponent = NumberTextExponentLimit;
            number.exponent = negative ? -exponent : exponent;
            i = k;
        }
    }
    number.length = i;
    return number;
}

bool IsNumberText(std::string_view text) {
    const NumberText number = ReadNumberText(text);
    if (!number.found())
        return false;
    for (std::size_t i = number.length; i < text.size(); ++i) {
        if (text[i] != ' ')
            return false;
    }
    return true;
}

} // namespace morvex

// CompilePicture for the numeric (@N) and scientific (@E) families: the
// picture's parts are read in order, then laid out from both ends of the
// width into token pairs.
#include "runtime/picture_internal.h"

#include <string_view>

namespace morvex::picture_detail {

namespace {

bool is_numeric_mark(char c) {
    return c == '.' || c == '`' || c == '_' || c == 'V' || c == 'v';
}

bool is_scientific_mark(char c) {
    return c == '.' || c == '`' || c == '_';
}

// A currency: `$`, or the text between `~` and the next `~` (at least one
// character). False for an unterminated or empty text.
bool read_currency(std::string_view body, std::size_t& i, std::string_view& currency) {
    if (i >= body.size())
        return true;
    if (body[i] == '$') {
        currency = body.substr(i, 1);
        ++i;
        return true;
    }
    if (body[i] != '~')
        return true;
    const std::size_t close = body.find('~', i + 1);
    if (close == std::string_view::npos || close == i + 1)
        return false;
    currency = body.substr(i + 1, close - i - 1);
    i = close + 1;
    return true;
}

struct NumericParts {
    std::string_view leading_currency;
    std::string_view trailing_currency;
    char leading_sign = 0;  // '-' or '('
    char trailing_sign = 0; // '-' or ')'
    char fill = 0;          // '0', '_', '*' or none
    uint32_t width = 0;
    char grouping = 0; // explicit grouping mark
    char decimal = 0;  // decimal mark, 'V' or 'v' for an implied point
    uint32_t decimals = 0;
};

bool read_numeric(std::string_view body, NumericParts& parts) {
    std::size_t i = 1;
    const std::size_t n = body.size();
    if (!read_currency(body, i, parts.leading_currency))
        return false;
    if (i < n && (body[i] == '-' || body[i] == '('))
        parts.leading_sign = body[i++];
    if (i < n && is_fill(body[i]))
        parts.fill = body[i++];
    if (read_decimal(body, i, parts.width) == 0 || parts.width < 1 || parts.width > MaxPictureTokens)
        return false;

    if (i < n && is_numeric_mark(body[i])) {
        if (i + 1 == n || is_numeric_mark(body[i + 1])) {
            parts.grouping = body[i++];
            if (i < n)
                parts.decimal = body[i++];
        } else {
            parts.decimal = body[i++];
        }
        if (parts.decimal && (read_decimal(body, i, parts.decimals) > 0 && parts.decimals > 254))
            return false;
        if (parts.decimal && parts.decimals == 0) {
            parts.grouping = parts.decimal;
            parts.decimal = 0;
        }
        // An implied mark prints nothing, so it cannot group digits.
        if (parts.grouping == 'V' || parts.grouping == 'v')
            return false;
    }

    if (i < n && body[i] == '-') {
        if (parts.leading_sign)
            return false;
        parts.trailing_sign = body[i++];
    } else if (i < n && body[i] == ')') {
        if (parts.leading_sign != '(')
            return false;
        parts.trailing_sign = body[i++];
    }
    if (parts.leading_sign == '(' && parts.trailing_sign != ')')
        return false;
    if (i < n && (body[i] == '$' || body[i] == '~')) {
        if (!parts.leading_currency.empty())
            return false;
        if (!read_currency(body, i, parts.trailing_currency))
            return false;
    }
    if (i != n)
        return false;

    const std::size_t needed = (parts.leading_sign || parts.trailing_sign ? 1 : 0) +
                               parts.leading_currency.size() + parts.trailing_currency.size() +
                               (parts.trailing_sign == ')' ? 1 : 0) +
                               (parts.decimals ? parts.decimals + 1 : 0);
    return parts.width >= needed;
}

} // namespace

bool compile_numeric(CompiledPicture& picture, std::string_view body, bool blank_when_zero) {
    NumericParts parts;
    if (!read_numeric(body, parts))
        return false;

    PictureToken* tokens = picture.tokens;
    std::size_t left = 0;
    std::size_t right = parts.width;
    for (char c : parts.leading_currency)
        tokens[left++] = {c, TokenCode::Currency};
    if (parts.leading_sign)
        tokens[left++] = {parts.leading_sign, TokenCode::Sign};

    const std::size_t trailing = (parts.trailing_sign ? 1 : 0) + parts.trailing_currency.size();
    right -= trailing;
    std::size_t at = right;
    if (parts.trailing_sign)
        tokens[at++] = {parts.trailing_sign, TokenCode::Sign};
    for (char c : parts.trailing_currency)
        tokens[at++] = {c, TokenCode::Currency};

    if (parts.decimals) {
        right -= parts.decimals;
        for (std::size_t k = 0; k < parts.decimals; ++k)
            tokens[right + k] = {'0', TokenCode::Digit};
        const bool implied = parts.decimal == 'V' || parts.decimal == 'v';
        tokens[--right] = {parts.decimal, implied ? TokenCode::ImpliedDecimalPoint : TokenCode::DecimalPoint};
    }

    // The grouping mark: an explicit one always groups; by default a comma
    // (a period when the decimal mark is a comma), none with the 0 or _ fill,
    // and with the * fill the grouping positions are further * digits.
    char grouping = parts.grouping;
    if (!grouping && parts.fill != '0' && parts.fill != '_' && parts.fill != '*')
        grouping = parts.decimal == '`' ? '.' : ',';
    const char fill = parts.fill == '0' || parts.fill == '*' ? parts.fill : ' ';
    const TokenCode fill_code = fill == ' ' ? TokenCode::BlankDigit : TokenCode::Digit;

    // Right to left: the units digit, then digits with a grouping pair after
    // every three, never in the picture's first position.
    int digits_in_group = 0;
    for (std::size_t p = right; p-- > left;) {
        if (p == right - 1) {
            tokens[p] = {'0', TokenCode::Digit};
            digits_in_group = 1;
        } else if (grouping && digits_in_group == 3 && p != 0) {
            tokens[p] = {grouping, TokenCode::Group};
            digits_in_group = 0;
        } else {
            tokens[p] = {fill, fill_code};
            ++digits_in_group;
        }
    }
    picture.set_header(PictureKind::Numeric, PictureValueClass::Numeric, blank_when_zero, parts.width);
    count_positions(picture);
    return true;
}

// @E width [[grouping] decimal-mark integer-digits]: a sign, the integer
// digits (the last one the units digit, one by default), the decimal mark,
// as many decimals as fit, and E with a signed three-digit exponent.
bool compile_scientific(CompiledPicture& picture, std::string_view body, bool blank_when_zero) {
    std::size_t i = 1;
    const std::size_t n = body.size();
    uint32_t width = 0;
    if (read_decimal(body, i, width) == 0 || width < 7 || width > MaxPictureTokens)
        return false;
    char grouping = 0;
    char decimal = '.';
    uint32_t integer_digits = 1;
    if (i < n && is_scientific_mark(body[i])) {
        if (i + 1 < n && is_scientific_mark(body[i + 1]))
            grouping = body[i++];
        decimal = body[i++];
        uint32_t given = 0;
        if (read_decimal(body, i, given) > 0 && given > 0)
            integer_digits = given;
    }
    if (i != n)
        return false;
    // The sign, integer digits and groups, the exponent, and the decimal
    // mark when there is room for it: the narrowest picture, @E7, is a sign,
    // one digit and the exponent.
    const uint32_t groups = grouping ? (integer_digits - 1) / 3 : 0;
    const uint32_t fixed = 1 + integer_digits + groups + 5;
    if (fixed > width)
        return false;
    const bool point = width > fixed;
    const uint32_t decimals = point ? width - fixed - 1 : 0;

    TokenSink sink(picture);
    sink.add('-', TokenCode::Sign);
    for (uint32_t k = integer_digits; k > 0; --k) {
        if (k == 1)
            sink.add('0', TokenCode::Digit);
        else
            sink.add(' ', TokenCode::BlankDigit);
        if (grouping && k > 1 && (k - 1) % 3 == 0)
            sink.add(grouping, TokenCode::Group);
    }
    if (point)
        sink.add(decimal, TokenCode::DecimalPoint);
    for (uint32_t k = 0; k < decimals; ++k)
        sink.add('0', TokenCode::Digit);
    sink.add('E', TokenCode::Literal);
    sink.add('+', TokenCode::ExponentSign);
    sink.add("000", TokenCode::Digit);
    picture.set_header(PictureKind::Scientific, PictureValueClass::Scientific, blank_when_zero, sink.count());
    count_positions(picture);
    return true;
}

} // namespace morvex::picture_detail

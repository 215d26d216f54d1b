// DEFORMAT: reads text back through a compiled picture into a value text,
// walking the text against the token pairs, one text character per pair.
// The result lives in one shared buffer, valid until the next call.
#include "runtime/char_tables.h"
#include "runtime/date.h"
#include "runtime/locale.h"
#include "runtime/picture_internal.h"

#include <charconv>

namespace morvex {

namespace {

using namespace picture_detail;

// The longest result: two characters per pair (an exponent sign gives `e`
// and the sign) and a leading minus.
char g_result[2 * MaxPictureWidth + 2];

constexpr int64_t FieldLimit = 1'000'000'000;

std::string_view result_number(int64_t value) {
    const auto [end, error] = std::to_chars(g_result, g_result + sizeof g_result, value);
    (void)error;
    return std::string_view(g_result, static_cast<std::size_t>(end - g_result));
}

bool is_letter(char c) {
    const auto u = static_cast<uint8_t>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
           (Chars().char_class[u] & (CharUpper | CharLower));
}

// The digits of one field (a run of digit pairs), one text character per
// pair: a blank or the pairs' own fill character before the first digit is
// passed over; a non-digit after a digit ends the field early and stays for
// the next pair.
struct Field {
    int64_t value = 0;
    bool read = false;
};

Field read_field(std::string_view text, std::size_t& pos, std::size_t length, char fill) {
    Field field;
    for (std::size_t k = 0; k < length && pos < text.size(); ++k) {
        const char c = text[pos];
        if (is_digit(c)) {
            if (field.value < FieldLimit)
                field.value = field.value * 10 + (c - '0');
            field.read = true;
        } else if (field.read || (c != ' ' && (c != fill || is_digit(fill)))) {
            break;
        }
        ++pos;
    }
    return field;
}

// The month whose abbreviation the text starts with (without regard to
// case), 0 for none; `length` is the abbreviation's length.
int match_month(std::string_view text, std::size_t& length) {
    for (int month = 1; month <= 12; ++month) {
        const std::string_view abbreviation = MonthAbbreviation(month).substr(0, 3);
        if (abbreviation.empty() || abbreviation.size() > text.size())
            continue;
        bool same = true;
        for (std::size_t k = 0; k < abbreviation.size() && same; ++k)
            same = ToUpperChar(static_cast<uint8_t>(text[k])) ==
                   ToUpperChar(static_cast<uint8_t>(abbreviation[k]));
        if (same) {
            length = abbreviation.size();
            return month;
        }
    }
    return 0;
}

// A month-name position holding letters that name no month is rejected like
// an invalid date (-1) rather than left at month 13, which would roll into
// January of the following year and accept any word as a date.
std::string_view deformat_date(std::string_view text, const CompiledPicture& picture) {
    const std::size_t count = token_total(picture);
    Field month, day, year;
    bool has_day_positions = false;
    bool unknown_month = false;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count;) {
        const PictureToken& token = picture.tokens[i];
        switch (token.code) {
        case TokenCode::MonthDigit:
        case TokenCode::DayDigit:
        case TokenCode::YearDigit: {
            const std::size_t length = run_length(picture, i, count);
            const Field field = read_field(text, pos, length, token.character);
            Field& target = token.code == TokenCode::MonthDigit ? month
                            : token.code == TokenCode::DayDigit ? day
                                                                : year;
            if (field.read)
                target = field;
            has_day_positions = has_day_positions || token.code == TokenCode::DayDigit;
            i += length;
            break;
        }
        case TokenCode::MonthNameLetter: {
            i += run_length(picture, i, count);
            std::size_t start = pos;
            while (start < text.size() && text[start] == ' ')
                ++start;
            if (start == text.size() || !is_letter(text[start]))
                break; // no name: the month stays unread
            pos = start;
            std::size_t matched = 0;
            const int found = match_month(text.substr(pos), matched);
            if (found) {
                month = Field{found, true};
                pos += matched;
            } else {
                unknown_month = true;
            }
            while (pos < text.size() && is_letter(text[pos]))
                ++pos;
            break;
        }
        default:
            if (pos < text.size())
                ++pos;
            ++i;
            break;
        }
    }
    if (unknown_month)
        return result_number(-1);
    if (month.value == 0 && day.value == 0 && year.value == 0)
        return result_number(0);
    // A picture without day positions (month and year only) reads as the 1st.
    if (!has_day_positions && month.read && year.read)
        day.value = 1;
    int64_t full_year = year.value;
    if (full_year < 100)
        full_year = ExpandYear(static_cast<int32_t>(full_year), picture.century_window);
    return result_number(DATE(static_cast<int32_t>(month.value), static_cast<int32_t>(day.value),
                              static_cast<int32_t>(full_year)));
}

std::string_view deformat_time(std::string_view text, const CompiledPicture& picture) {
    const std::size_t count = token_total(picture);
    const bool locale = picture.number == 7 || picture.number == 8;
    const std::string_view am = locale ? LocaleAmPm(false) : RuntimeAmPm(false);
    const std::string_view pm = locale ? LocaleAmPm(true) : RuntimeAmPm(true);
    int64_t hour = 0, minute = 0, second = 0;
    bool am_seen = false;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count;) {
        const PictureToken& token = picture.tokens[i];
        switch (token.code) {
        case TokenCode::HourDigit:
        case TokenCode::MinuteDigit:
        case TokenCode::SecondDigit: {
            const std::size_t length = run_length(picture, i, count);
            const Field field = read_field(text, pos, length, token.character);
            if (field.read)
                (token.code == TokenCode::HourDigit     ? hour
                 : token.code == TokenCode::MinuteDigit ? minute
                                                        : second) = field.value;
            i += length;
            break;
        }
        case TokenCode::AmPmLetter:
            if (pos < text.size()) {
                const uint8_t c = ToUpperChar(static_cast<uint8_t>(text[pos++]));
                if (!pm.empty() && c == ToUpperChar(static_cast<uint8_t>(pm[0]))) {
                    if (hour != 12)
                        hour += 12;
                } else if (!am.empty() && c == ToUpperChar(static_cast<uint8_t>(am[0]))) {
                    if (hour == 12)
                        hour = 0;
                    am_seen = true;
                }
            }
            ++i;
            break;
        default:
            if (pos < text.size())
                ++pos;
            ++i;
            break;
        }
    }
    if (hour >= 24 || minute >= 60 || second >= 60)
        return result_number(-1);
    if (hour == 0 && minute == 0 && second == 0 && !am_seen)
        return result_number(0);
    return result_number(hour * 360'000 + minute * 6'000 + second * 100 + 1);
}

// Numeric, scientific, pattern and key-in pictures. Text beyond its end
// reads as blanks, as in a blank-padded field. A sign character counts only
// under a position that holds a value (digit, grouping, sign): a literal `-`
// or `(` of the picture itself, as in @P(###)###-####P, is not a sign.
std::string_view deformat_number(std::string_view text, const CompiledPicture& picture) {
    const std::size_t count = token_total(picture);
    char* digits = g_result + 1;
    std::size_t length = 0;
    bool negative = false;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const TokenCode code = picture.tokens[i].code;
        if (code == TokenCode::ImpliedDecimalPoint) {
            digits[length++] = '.'; // takes no text position
            continue;
        }
        const char c = pos < text.size() ? text[pos] : ' ';
        ++pos;
        switch (code) {
        case TokenCode::Digit:
        case TokenCode::BlankDigit:
        case TokenCode::Group:
        case TokenCode::Sign:
            if (is_digit(c))
                digits[length++] = c;
            else if (c == ' ' && code == TokenCode::BlankDigit)
                digits[length++] = '0';
            else if (c == '-' || c == '(')
                negative = true;
            else if (c == '+')
                negative = false;
            break;
        case TokenCode::DecimalPoint:
            digits[length++] = '.';
            break;
        case TokenCode::ExponentSign:
            digits[length++] = 'e';
            digits[length++] = c == '-' ? '-' : '+';
            break;
        case TokenCode::KeyInAt:
        case TokenCode::KeyInCaret:
        case TokenCode::KeyInUnderscore:
        case TokenCode::KeyInQuestion:
            digits[length++] = c;
            break;
        default:
            break;
        }
    }
    if (negative) {
        g_result[0] = '-';
        return std::string_view(g_result, length + 1);
    }
    return std::string_view(digits, length);
}

// String pictures keep what forms a number: digits, the first '.', one
// exponent letter after a digit, and a sign first or right after the
// exponent letter. Only the picture's width of text is read. A '.' after
// the exponent letter, or an exponent letter before any digit (the "e" of
// "hello 12"), would not leave a number, so those are dropped too.
std::string_view deformat_string(std::string_view text, const CompiledPicture& picture) {
    const std::size_t width = picture.token_count();
    std::size_t length = 0;
    bool point = false, exponent = false, digit = false;
    for (std::size_t i = 0; i < text.size() && i < width; ++i) {
        const char c = text[i];
        const bool after_exponent_letter =
            length > 0 && (g_result[length - 1] == 'e' || g_result[length - 1] == 'E');
        if (is_digit(c)) {
            digit = true;
        } else if (c == '.' && !point && !exponent) {
            point = true;
        } else if ((c == 'e' || c == 'E') && !exponent && digit) {
            exponent = true;
        } else if (!((c == '-' || c == '+') && (length == 0 || after_exponent_letter))) {
            continue;
        }
        g_result[length++] = c;
    }
    return std::string_view(g_result, length);
}

// Numeric text that does not fill the picture's width (typed or trimmed, as
// "1,234.50" for @N10.2), or runs past it, cannot be read position by
// position: the positions would not line up with the picture's, and digits
// would be lost. It is read as a plain number instead: its digits in order,
// the point once, and '-' or '(' for a negative value; grouping marks,
// currency and blanks are passed over.
std::string_view deformat_free_number(std::string_view text, char decimal_mark) {
    char* digits = g_result + 1;
    std::size_t length = 0;
    bool negative = false;
    bool point = false;
    for (const char c : text) {
        if (length + 2 >= sizeof g_result)
            break;
        if (is_digit(c)) {
            digits[length++] = c;
        } else if (c == decimal_mark && !point) {
            point = true;
            digits[length++] = '.';
        } else if (c == '-' || c == '(') {
            negative = true;
        }
    }
    if (negative) {
        g_result[0] = '-';
        return std::string_view(g_result, length + 1);
    }
    return std::string_view(digits, length);
}

// How text lines up with a numeric picture: read position by position when
// its length is the picture's printed width (an implied point takes no
// position, so its width is one less than the pair count; the blank FORMAT
// pads such a text with at the end is allowed), else as a plain number. The
// plain number's point is the printed decimal mark, or for an implied point
// '.' (',' when '.' is the picture's grouping mark).
struct NumericReading {
    bool by_position = true;
    char point = '.';
};

NumericReading numeric_reading(std::string_view text, const CompiledPicture& picture) {
    const std::size_t count = token_total(picture);
    NumericReading reading;
    bool implied = false;
    char grouping = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const PictureToken& token = picture.tokens[i];
        if (token.code == TokenCode::ImpliedDecimalPoint)
            implied = true;
        else if (token.code == TokenCode::DecimalPoint)
            reading.point = token.character == '`' ? ',' : token.character == '_' ? ' ' : token.character;
        else if (token.code == TokenCode::Group)
            grouping = token.character == '`' ? ',' : token.character == '_' ? ' ' : token.character;
    }
    const std::size_t width = picture.token_count();
    if (implied) {
        reading.point = grouping == '.' ? ',' : '.';
        reading.by_position = text.size() == width - 1 || (text.size() == width && text.back() == ' ');
    } else {
        reading.by_position = text.size() == width;
    }
    return reading;
}

} // namespace

std::string_view DEFORMAT(std::string_view text, const CompiledPicture& picture) {
    if (!picture.valid())
        return std::string_view(g_result, 0);
    switch (picture.kind()) {
    case PictureKind::String:
        return deformat_string(text, picture);
    case PictureKind::Date:
        return deformat_date(text, picture);
    case PictureKind::Time:
        return deformat_time(text, picture);
    case PictureKind::Numeric: {
        const NumericReading reading = numeric_reading(text, picture);
        return reading.by_position ? deformat_number(text, picture)
                                   : deformat_free_number(text, reading.point);
    }
    default:
        return deformat_number(text, picture);
    }
}

} // namespace morvex

// CompilePicture: reads a picture text into the fixed-size compiled picture.
// This file holds the common steps and the string, date, time, pattern and
// key-in families; the numeric and scientific ones are in
// picture_compile_numeric.cpp.
#include "runtime/date.h"
#include "runtime/locale.h"
#include "runtime/picture_internal.h"

#include <array>

namespace morvex {

namespace {

using namespace picture_detail;

// The built-in date pictures as display forms: M and D are tens digits that
// show a zero as a space, m, d and y digits that show a zero as 0, N a
// month-name letter, _ a literal space; anything else is a separator.
constexpr std::array<std::string_view, 17> DateForms = {
    "",           "Mm/dd/yy",   "Mm/dd/yyyy", "NNN_Dd,yyyy", "NNNNNNNNNNNN_Dd,_yyyy",
    "Dd/mm/yy",   "Dd/mm/yyyy", "Dd NNN yy",  "Dd NNN yyyy", "yy/mm/dd",
    "yyyy/mm/dd", "yymmdd",     "yyyymmdd",   "mm/yy",       "mm/yyyy",
    "yy/mm",      "yyyy/mm",
};

// The built-in time pictures: H an hour tens digit that shows a zero as a
// space, h, m and s digits, X the AM/PM letter and M the literal after it.
constexpr std::array<std::string_view, 7> TimeForms = {
    "", "Hh:mm", "Hhmm", "Hh:mmXM", "Hh:mm:ss", "Hhmmss", "Hh:mm:ssXM",
};

void add_date_form(TokenSink& sink, std::string_view form) {
    for (char c : form) {
        switch (c) {
        case 'M':
            sink.add(' ', TokenCode::MonthDigit);
            break;
        case 'm':
            sink.add('0', TokenCode::MonthDigit);
            break;
        case 'D':
            sink.add(' ', TokenCode::DayDigit);
            break;
        case 'd':
            sink.add('0', TokenCode::DayDigit);
            break;
        case 'y':
            sink.add('0', TokenCode::YearDigit);
            break;
        case 'N':
            sink.add(' ', TokenCode::MonthNameLetter);
            break;
        case '_':
            sink.add(' ', TokenCode::Literal);
            break;
        default:
            sink.add(c, TokenCode::Separator);
            break;
        }
    }
}

void add_time_form(TokenSink& sink, std::string_view form) {
    for (char c : form) {
        switch (c) {
        case 'H':
            sink.add(' ', TokenCode::HourDigit);
            break;
        case 'h':
            sink.add('0', TokenCode::HourDigit);
            break;
        case 'm':
            sink.add('0', TokenCode::MinuteDigit);
            break;
        case 's':
            sink.add('0', TokenCode::SecondDigit);
            break;
        case 'X':
            sink.add('X', TokenCode::AmPmLetter);
            break;
        case 'M':
            sink.add('M', TokenCode::Literal);
            break;
        default:
            sink.add(c, TokenCode::Separator);
            break;
        }
    }
}

bool only_blanks(std::string_view text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] != ' ')
            return false;
    }
    return true;
}

// The separator modifier replaces every separator's character. The fill
// replaces the digit positions that would show a zero as a space (the
// suppressed tens digits): applied to every digit position it would print
// "1*" for October with a `*` fill.
void apply_modifiers(CompiledPicture& picture, std::size_t count, char separator, char fill) {
    for (std::size_t i = 0; i < count; ++i) {
        PictureToken& token = picture.tokens[i];
        switch (token.code) {
        case TokenCode::Separator:
            if (separator)
                token.character = separator;
            break;
        case TokenCode::MonthDigit:
        case TokenCode::DayDigit:
        case TokenCode::YearDigit:
        case TokenCode::HourDigit:
        case TokenCode::MinuteDigit:
        case TokenCode::SecondDigit:
        case TokenCode::MonthNameLetter:
            if (fill && token.character == ' ')
                token.character = fill;
            break;
        default:
            break;
        }
    }
}

// Copies the tokens of a locale picture; false if it is not valid.
bool copy_tokens(CompiledPicture& picture, const CompiledPicture& source, uint32_t& count) {
    if (!source.valid())
        return false;
    count = static_cast<uint32_t>(token_total(source));
    for (uint32_t i = 0; i < count; ++i)
        picture.tokens[i] = source.tokens[i];
    return true;
}

bool compile_string(CompiledPicture& picture, std::string_view body, bool blank_when_zero) {
    std::size_t i = 1;
    uint32_t width = 0;
    if (read_decimal(body, i, width) == 0 || width < 1 || width > MaxPictureWidth || !only_blanks(body, i))
        return false;
    picture.set_header(PictureKind::String, PictureValueClass::Text, blank_when_zero, width);
    return true;
}

bool compile_date(CompiledPicture& picture, std::string_view body, bool blank_when_zero) {
    std::size_t i = 1;
    char fill = 0;
    if (i < body.size() && is_fill(body[i]))
        fill = body[i++];
    uint32_t number = 0;
    read_decimal(body, i, number);

    // <n reaches n years back, >n reaches n years ahead; the window must fit
    // its signed byte.
    int32_t window = DefaultCenturyWindow;
    if (i < body.size() && (body[i] == '<' || body[i] == '>')) {
        const bool back = body[i++] == '<';
        uint32_t years = 0;
        const bool given = read_decimal(body, i, years) > 0;
        window = back ? (given ? static_cast<int32_t>(years) : 80)
                      : (given ? 99 - static_cast<int32_t>(years) : 19);
        if (window < -128 || window > 127)
            return false;
    }
    char separator = 0;
    if (i < body.size() && is_separator_modifier(body[i]))
        separator = printed_mark(body[i++]);
    if (!only_blanks(body, i))
        return false;

    uint32_t count = 0;
    if (number >= 1 && number <= 16) {
        TokenSink sink(picture);
        add_date_form(sink, DateForms[number]);
        count = sink.count();
    } else if (number == 17 || number == 18) {
        // The locale's tokens; this picture keeps its own blank-when-zero,
        // window and number.
        if (!copy_tokens(picture, LocaleDatePicture(static_cast<int>(number)), count))
            return false;
    } else {
        return false;
    }
    apply_modifiers(picture, count, separator, fill);
    picture.set_header(PictureKind::Date, PictureValueClass::DateOrTime, blank_when_zero, count);
    picture.century_window = static_cast<int8_t>(window);
    picture.number = static_cast<uint8_t>(number);
    return true;
}

bool compile_time(CompiledPicture& picture, std::string_view body, bool blank_when_zero) {
    char separator = 0;
    if (is_separator_modifier(body.back())) {
        separator = printed_mark(body.back());
        body.remove_suffix(1);
    }
    std::size_t i = 1;
    char fill = 0;
    if (i < body.size() && is_fill(body[i]))
        fill = body[i++];
    uint32_t number = 0;
    read_decimal(body, i, number);
    if (!only_blanks(body, i))
        return false;

    uint32_t count = 0;
    if (number >= 1 && number <= 6) {
        TokenSink sink(picture);
        add_time_form(sink, TimeForms[number]);
        count = sink.count();
    } else if (number == 7 || number == 8) {
        if (!copy_tokens(picture, LocaleTimePicture(static_cast<int>(number)), count))
            return false;
    } else {
        return false;
    }
    apply_modifiers(picture, count, separator, fill);
    picture.set_header(PictureKind::Time, PictureValueClass::DateOrTime, blank_when_zero, count);
    picture.number = static_cast<uint8_t>(number);
    return true;
}

bool compile_pattern(CompiledPicture& picture, std::string_view body, bool blank_when_zero) {
    if (body.size() < 2 || body.back() != body.front())
        return false;
    TokenSink sink(picture);
    for (char c : body.substr(1, body.size() - 2)) {
        if (c == '#')
            sink.add('0', TokenCode::Digit);
        else if (c == '<')
            sink.add(' ', TokenCode::BlankDigit);
        else
            sink.add(c, TokenCode::Literal);
    }
    picture.set_header(PictureKind::Pattern, PictureValueClass::Numeric, blank_when_zero, sink.count());
    count_positions(picture);
    return true;
}

// A backslash makes the next character a literal; a backslash with nothing
// after it is itself a literal.
bool compile_key_in(CompiledPicture& picture, std::string_view body, bool blank_when_zero) {
    if (body.size() < 2 || body.back() != body.front())
        return false;
    const std::string_view inner = body.substr(1, body.size() - 2);
    TokenSink sink(picture);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        switch (c) {
        case '#':
            sink.add('0', TokenCode::Digit);
            break;
        case '<':
            sink.add(' ', TokenCode::BlankDigit);
            break;
        case '@':
            sink.add(' ', TokenCode::KeyInAt);
            break;
        case '^':
            sink.add(' ', TokenCode::KeyInCaret);
            break;
        case '_':
            sink.add(' ', TokenCode::KeyInUnderscore);
            break;
        case '?':
            sink.add(' ', TokenCode::KeyInQuestion);
            break;
        case '|':
            sink.add(' ', TokenCode::KeyInBar);
            break;
        case '\\':
            sink.add(i + 1 < inner.size() ? inner[++i] : c, TokenCode::Literal);
            break;
        default:
            sink.add(c, TokenCode::Literal);
            break;
        }
    }
    picture.set_header(PictureKind::KeyIn, PictureValueClass::Text, blank_when_zero, sink.count());
    return true;
}

} // namespace

void CompilePicture(CompiledPicture& picture, const char* text, std::size_t length) {
    picture = CompiledPicture{};
    if (text == nullptr) {
        picture.set_header(PictureKind::String, PictureValueClass::Text, false, MaxPictureWidth);
        return;
    }
    std::string_view body(text, length);
    if (!body.empty() && body.front() == '@')
        body.remove_prefix(1);
    if (body.empty() || body.size() > MaxPictureTokens)
        return;
    bool blank_when_zero = false;
    if (body.back() == 'B' || body.back() == 'b') {
        blank_when_zero = true;
        body.remove_suffix(1);
        if (body.size() < 2)
            return;
    }

    bool compiled = false;
    switch (body.front()) {
    case 'S':
    case 's':
        compiled = compile_string(picture, body, blank_when_zero);
        break;
    case 'D':
    case 'd':
        compiled = compile_date(picture, body, blank_when_zero);
        break;
    case 'T':
    case 't':
        compiled = compile_time(picture, body, blank_when_zero);
        break;
    case 'N':
    case 'n':
        compiled = compile_numeric(picture, body, blank_when_zero);
        break;
    case 'E':
    case 'e':
        compiled = compile_scientific(picture, body, blank_when_zero);
        break;
    case 'P':
    case 'p':
        compiled = compile_pattern(picture, body, blank_when_zero);
        break;
    case 'K':
    case 'k':
        compiled = compile_key_in(picture, body, blank_when_zero);
        break;
    default:
        break;
    }
    if (!compiled) {
        picture = CompiledPicture{};
        return;
    }
    picture.text = text;
    picture.text_length = static_cast<uint16_t>(length);
}

void CompilePicture(CompiledPicture& picture, std::string_view text) {
    CompilePicture(picture, text.data(), text.size());
}

} // namespace morvex

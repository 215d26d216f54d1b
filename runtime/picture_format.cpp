// FORMAT: a value through a compiled picture into a caller's buffer. This
// file holds the entry points and the date, time, string and key-in
// families; numbers are laid out in picture_format_numeric.cpp.
#include "runtime/char_tables.h"
#include "runtime/date.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/locale.h"
#include "runtime/picture_internal.h"

#include <cstring>
#include <limits>
#include <new>

namespace morvex {

namespace {

using namespace picture_detail;

constexpr uint32_t PowersOfTen[] = {1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000, 100'000'000};

// Writes `value` over a run of `length` digit pairs, one digit per pair,
// most significant first; a zero digit prints the pair's character. A value
// too wide for the run keeps its low digits.
void write_field(const PictureToken* tokens, std::size_t length, uint32_t value, char* out) {
    for (std::size_t k = length; k-- > 0;) {
        const uint32_t digit = k < 9 ? value / PowersOfTen[k] % 10 : 0;
        const char character = tokens[length - 1 - k].character;
        out[length - 1 - k] = digit ? static_cast<char>('0' + digit) : character;
    }
}

std::size_t blank(std::size_t width, char* out) {
    std::memset(out, ' ', width);
    return width;
}

std::size_t format_date(int64_t value, const CompiledPicture& picture, char* out) {
    const std::size_t count = token_total(picture);
    DateParts parts;
    const bool valid = value >= FirstValidDate && value <= LastValidDate &&
                       DateToParts(static_cast<int32_t>(value), parts) == 0;
    if (!valid && picture.blank_when_zero())
        return blank(count, out);

    std::size_t written = 0;
    for (std::size_t i = 0; i < count;) {
        const PictureToken& token = picture.tokens[i];
        switch (token.code) {
        case TokenCode::MonthDigit:
        case TokenCode::DayDigit:
        case TokenCode::YearDigit: {
            const std::size_t length = run_length(picture, i, count);
            if (!valid) {
                std::memset(out + written, ' ', length);
            } else {
                uint32_t field = token.code == TokenCode::MonthDigit ? parts.month
                                 : token.code == TokenCode::DayDigit ? parts.day
                                                                     : static_cast<uint32_t>(parts.year);
                if (token.code == TokenCode::YearDigit && length != 4)
                    field %= 100;
                write_field(picture.tokens + i, length, field, out + written);
            }
            written += length;
            i += length;
            break;
        }
        case TokenCode::MonthNameLetter: {
            // As many letters as the name has, up to the run's length; the
            // rest of the text moves left. Upper case except in @D4 and @D18.
            const std::size_t length = run_length(picture, i, count);
            if (valid) {
                const std::string_view name = MonthName(parts.month);
                const std::size_t letters = name.size() < length ? name.size() : length;
                const bool as_stored = picture.number == 4 || picture.number == 18;
                for (std::size_t k = 0; k < letters; ++k) {
                    const auto c = static_cast<uint8_t>(name[k]);
                    out[written++] = static_cast<char>(as_stored ? c : ToUpperChar(c));
                }
            }
            i += length;
            break;
        }
        default:
            out[written++] = token.character;
            ++i;
            break;
        }
    }
    if (written < count)
        std::memset(out + written, ' ', count - written);
    return count;
}

std::size_t format_time(int64_t value, const CompiledPicture& picture, char* out) {
    const std::size_t count = token_total(picture);
    TimeParts parts;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max() ||
        TimeToParts(static_cast<int32_t>(value), parts) != 0)
        parts = TimeParts{};
    if (picture.blank_when_zero() && parts.hour == 0 && parts.minute == 0 && parts.second == 0 &&
        parts.hundredths == 0)
        return blank(count, out);

    bool twelve_hour = false;
    for (std::size_t i = 0; i < count; ++i)
        twelve_hour = twelve_hour || picture.tokens[i].code == TokenCode::AmPmLetter;
    uint32_t hour = parts.hour;
    const bool pm = hour >= 12;
    if (twelve_hour) {
        if (hour > 12)
            hour -= 12;
        else if (hour == 0)
            hour = 12;
    }
    const bool locale = picture.number == 7 || picture.number == 8;
    const std::string_view am_pm = locale ? LocaleAmPm(pm) : RuntimeAmPm(pm);

    for (std::size_t i = 0; i < count;) {
        const PictureToken& token = picture.tokens[i];
        switch (token.code) {
        case TokenCode::HourDigit:
        case TokenCode::MinuteDigit:
        case TokenCode::SecondDigit: {
            const std::size_t length = run_length(picture, i, count);
            const uint32_t field = token.code == TokenCode::HourDigit     ? hour
                                   : token.code == TokenCode::MinuteDigit ? parts.minute
                                                                          : parts.second;
            write_field(picture.tokens + i, length, field, out + i);
            i += length;
            break;
        }
        case TokenCode::AmPmLetter:
            // The pair after the letter is given the text's second letter.
            out[i] = am_pm.size() > 0 ? am_pm[0] : ' ';
            if (++i < count)
                out[i++] = am_pm.size() > 1 ? am_pm[1] : ' ';
            break;
        default:
            out[i] = token.character;
            ++i;
            break;
        }
    }
    return count;
}

std::size_t copy_text(std::string_view text, const CompiledPicture& picture, char* out) {
    const std::size_t width =
        picture.kind() == PictureKind::String ? picture.token_count() : token_total(picture);
    const std::size_t length = text.size() < width ? text.size() : width;
    if (length)
        std::memcpy(out, text.data(), length);
    std::memset(out + length, ' ', width - length);
    return width;
}

bool is_text_picture(const CompiledPicture& picture) {
    return picture.kind() == PictureKind::String || picture.kind() == PictureKind::KeyIn;
}

bool is_date_or_time(const CompiledPicture& picture) {
    return picture.kind() == PictureKind::Date || picture.kind() == PictureKind::Time;
}

} // namespace

std::size_t FORMAT(int64_t value, const CompiledPicture& picture, char* out) {
    if (!picture.valid())
        return 0;
    switch (picture.kind()) {
    case PictureKind::Date:
        return format_date(value, picture, out);
    case PictureKind::Time:
        return format_time(value, picture, out);
    default:
        return FORMAT(PictureNumber::FromInteger(value), picture, out);
    }
}

std::size_t FORMAT(const PictureNumber& value, const CompiledPicture& picture, char* out) {
    if (!picture.valid())
        return 0;
    if (is_date_or_time(picture))
        return FORMAT(number_to_integer(value), picture, out);
    if (is_text_picture(picture)) {
        char text[NumberTextLimit];
        return copy_text(std::string_view(text, number_text(value, text)), picture, out);
    }
    return format_number(value, picture, out);
}

std::size_t FORMAT(double value, const CompiledPicture& picture, char* out) {
    return FORMAT(PictureNumber::FromReal(value), picture, out);
}

// String and key-in pictures copy the text. Other pictures read the number
// it starts with; a text without one formats as zero.
std::size_t FORMAT(std::string_view text, const CompiledPicture& picture, char* out) {
    if (!picture.valid())
        return 0;
    if (is_text_picture(picture))
        return copy_text(text, picture, out);
    return FORMAT(PictureNumber::Read(text), picture, out);
}

// Running out of memory gives an empty text and error 8.
std::string FormatText(int64_t value, std::string_view picture_text) {
    CompiledPicture picture;
    CompilePicture(picture, picture_text);
    char buffer[MaxPictureWidth];
    const std::size_t width = FORMAT(value, picture, buffer);
    try {
        return std::string(buffer, width);
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return {};
    }
}

} // namespace morvex

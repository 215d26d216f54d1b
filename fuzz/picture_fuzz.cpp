// Fuzzes pictures: the input is a picture text (and, for the locale
// builders, a short or long date text). Each compiled picture formats a set
// of awkward values and reads every output back; the invariants that must
// hold for any picture are checked with a trap.
#include "runtime/date.h"
#include "runtime/picture.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace {

using namespace morvex;

#define CHECK(condition)                                                                                     \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            __builtin_trap();                                                                                \
    } while (0)

// Every field zero (padding bytes aside).
bool all_zero(const CompiledPicture& picture) {
    const CompiledPicture zero;
    return picture.header == 0 && picture.century_window == 0 && picture.number == 0 &&
           picture.text == nullptr && picture.text_length == 0 && picture.integer_positions == 0 &&
           picture.grouping_pairs == 0 && picture.decimal_positions == 0 && picture.exponent_positions == 0 &&
           std::memcmp(picture.tokens, zero.tokens, sizeof zero.tokens) == 0;
}

const std::string& long_digits() {
    static const std::string text = "-" + std::string(300, '7') + "." + std::string(300, '3') + "e-250";
    return text;
}

bool only(std::string_view text, std::string_view allowed) {
    return text.find_first_not_of(allowed) == text.npos;
}

bool is_integer_text(std::string_view text) {
    if (!text.empty() && text[0] == '-')
        text.remove_prefix(1);
    return !text.empty() && only(text, "0123456789");
}

bool has_code(const CompiledPicture& picture, TokenCode code) {
    for (uint32_t i = 0; i < picture.token_count() && i < MaxPictureTokens; ++i) {
        if (picture.tokens[i].code == code)
            return true;
    }
    return false;
}

// The width FORMAT gives and what DEFORMAT of that text may look like.
void check_output(const CompiledPicture& picture, const char* out, std::size_t width) {
    CHECK(width <= MaxPictureWidth);
    if (!picture.valid()) {
        CHECK(width == 0);
        CHECK(DEFORMAT(std::string_view(out, width), picture).empty());
        return;
    }
    CHECK(width == picture.token_count());
    const std::string_view value = DEFORMAT(std::string_view(out, width), picture);
    CHECK(value.size() <= 2 * MaxPictureWidth + 1);
    switch (picture.kind()) {
    case PictureKind::Date:
    case PictureKind::Time:
        CHECK(is_integer_text(value) && value.size() <= 8);
        break;
    case PictureKind::Numeric:
    case PictureKind::Scientific:
    case PictureKind::Pattern:
        CHECK(only(value, "0123456789.-+e"));
        break;
    case PictureKind::String: {
        PictureNumber number;
        CHECK(value.empty() || PictureNumber::FromText(value, number) || value == "-" || value == "+");
        break;
    }
    default:
        break;
    }
}

template <typename Value>
void format_and_read(const CompiledPicture& picture, Value value) {
    char out[MaxPictureWidth + 1];
    out[MaxPictureWidth] = '\x7f'; // never written
    const std::size_t width = FORMAT(value, picture, out);
    CHECK(out[MaxPictureWidth] == '\x7f');
    check_output(picture, out, width);
}

// A date picture with four year digits and a day reads its own text back;
// so does a time picture with seconds, for a time after midnight.
void check_round_trips(const CompiledPicture& picture) {
    char out[MaxPictureWidth];
    if (picture.kind() == PictureKind::Date && has_code(picture, TokenCode::DayDigit)) {
        uint32_t year_digits = 0;
        for (uint32_t i = 0; i < picture.token_count(); ++i)
            year_digits += picture.tokens[i].code == TokenCode::YearDigit;
        if (year_digits == 4 && picture.number <= 16) {
            for (int32_t date : {FirstValidDate, 81092, 81416, LastValidDate}) {
                const std::size_t width = FORMAT(date, picture, out);
                CHECK(DEFORMAT(std::string_view(out, width), picture) == std::to_string(date));
            }
        }
    }
    if (picture.kind() == PictureKind::Time && has_code(picture, TokenCode::SecondDigit) &&
        picture.number <= 6) {
        for (int32_t time : {101, 7590701, 4320001, 8639901}) {
            const std::size_t width = FORMAT(time, picture, out);
            CHECK(DEFORMAT(std::string_view(out, width), picture) == std::to_string(time));
        }
    }
}

void exercise(const CompiledPicture& picture) {
    for (int64_t value : {int64_t{0}, int64_t{1}, int64_t{-1}, std::numeric_limits<int64_t>::min(),
                          std::numeric_limits<int64_t>::max(), int64_t{81092}, int64_t{LastValidDate},
                          int64_t{7590701}, int64_t{LastValidTime}, int64_t{-123456789}})
        format_and_read(picture, value);
    for (double value : {0.5, -1234.567, 2.675, 1e300, -1e-300, 9.9999999999999e15, std::nan(""), -HUGE_VAL})
        format_and_read(picture, value);
    for (std::string_view text :
         {std::string_view("12.5"), std::string_view("hello"), std::string_view("1e99999"),
          std::string_view("-.5e-40000"), std::string_view(long_digits())})
        format_and_read(picture, text);
    PictureNumber garbage;
    garbage.digit_count = 200;
    garbage.exponent = -32768;
    std::memset(garbage.digits, 'x', sizeof garbage.digits);
    format_and_read(picture, garbage);
    garbage.exponent = 32767;
    format_and_read(picture, garbage);
    check_round_trips(picture);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    CompiledPicture picture;
    CompilePicture(picture, text.data(), text.size());
    if (!picture.valid()) {
        CHECK(all_zero(picture));
    } else {
        CHECK(picture.token_count() <=
              (picture.kind() == PictureKind::String ? MaxPictureWidth : MaxPictureTokens));
    }
    exercise(picture);

    // Reading arbitrary text back through the picture.
    CHECK(DEFORMAT(text, picture).size() <= 2 * MaxPictureWidth + 1);

    // The same bytes as locale settings.
    CompiledPicture locale;
    BuildShortDatePicture(locale, text);
    exercise(locale);
    BuildLongDatePicture(locale, text);
    exercise(locale);
    if (size >= 3) {
        BuildLocaleTimePicture(locale, data[0] & 1, data[1] & 1, data[1] & 2, static_cast<char>(data[2]));
        exercise(locale);
        CHECK(DEFORMAT(text, locale).size() <= 8);
    }
    return 0;
}

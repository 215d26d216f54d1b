// Pictures: display formats such as @D17, @T3, @N-10.2, @S20 or
// @P(###)###-####P. CompilePicture turns the text into a compiled picture,
// FORMAT turns a value into text through it, DEFORMAT reads text back.
//
// A compiled picture is a fixed-size record: a 16-bit header word (kind in
// bits 0-2, value class in bits 3-5, blank-when-zero in bit 6, token count in
// bits 7-14), the century window, the picture number and up to 254 token
// pairs (a character and a token code). All zero stands for an invalid
// picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

enum class PictureKind : uint8_t {
    Numeric = 0,
    Scientific = 1,
    Date = 2,
    Time = 3,
    Pattern = 4,
    String = 5,
    KeyIn = 6,
};

enum class PictureValueClass : uint8_t {
    Text = 0,
    DateOrTime = 1,
    Scientific = 2,
    Numeric = 3,
};

// The second byte of each token pair: what its character is for.
enum class TokenCode : uint8_t {
    Literal = 0,
    Group = 1,
    DecimalPoint = 2,
    Digit = 3,
    BlankDigit = 4,
    Sign = 5,
    Currency = 6,
    MonthDigit = 7,
    DayDigit = 8,
    YearDigit = 9,
    MonthNameLetter = 10,
    HourDigit = 11,
    MinuteDigit = 12,
    SecondDigit = 13,
    KeyInAt = 14,
    KeyInCaret = 15,
    KeyInUnderscore = 16,
    KeyInQuestion = 17,
    Separator = 19,
    AmPmLetter = 20,
    ExponentSign = 21,
    ImpliedDecimalPoint = 22,
    KeyInBar = 23,
};

struct PictureToken {
    char character;
    TokenCode code;
};

constexpr std::size_t MaxPictureTokens = 254;
// FORMAT never writes more than this many characters.
constexpr std::size_t MaxPictureWidth = 255;

struct CompiledPicture {
    uint16_t header = 0;
    int8_t century_window = 0;
    uint8_t number = 0;
    PictureToken tokens[MaxPictureTokens] = {};
    // The picture text that was compiled (not owned; empty for a built one).
    const char* text = nullptr;
    uint16_t text_length = 0;
    // Numeric, scientific and pattern pictures: the digit positions counted
    // once by CompilePicture so that FORMAT walks the pairs only once. The
    // integer digit positions and grouping pairs before the decimal mark,
    // the decimal positions after it, the exponent digits after the
    // exponent sign. (They fill what would otherwise be padding.)
    uint8_t integer_positions = 0;
    uint8_t grouping_pairs = 0;
    uint8_t decimal_positions = 0;
    uint8_t exponent_positions = 0;

    bool valid() const { return header != 0; }
    PictureKind kind() const { return static_cast<PictureKind>(header & 0x7); }
    PictureValueClass value_class() const { return static_cast<PictureValueClass>((header >> 3) & 0x7); }
    bool blank_when_zero() const { return (header >> 6) & 1; }
    // The number of tokens; for @S the string width.
    uint32_t token_count() const { return (header >> 7) & 0xFF; }

    void set_header(PictureKind kind, PictureValueClass value_class, bool blank_when_zero,
                    uint32_t token_count) {
        header = static_cast<uint16_t>(static_cast<uint32_t>(kind) | static_cast<uint32_t>(value_class) << 3 |
                                       (blank_when_zero ? 1u : 0u) << 6 | (token_count & 0xFF) << 7);
    }
};

// A value on its way to FORMAT: a sign, the significant digits (most
// significant first, as characters '0'..'9') and a decimal exponent, so that
// the value is digits x 10^exponent. This is the form the decimal
// accumulator, integers and floating values all reach the formatter in.
struct PictureNumber {
    bool negative = false;
    uint8_t digit_count = 0;
    int16_t exponent = 0;
    char digits[64] = {};

    static PictureNumber FromInteger(int64_t value);
    // Floating values are converted with 14 significant digits: the shortest
    // text that reads back as the value, rounded half away from zero.
    static PictureNumber FromReal(double value);
    // The number the text starts with, by the runtime's rule (number_text.h):
    // "12.5abc" is 12.5, "1,5" is 1.5; zero when the text holds none.
    static PictureNumber Read(std::string_view text);
    // The number when the text is one number with nothing but blanks around
    // it; false, leaving `number` unchanged, otherwise.
    static bool FromText(std::string_view text, PictureNumber& number);
};

// Compiles `text` (nullptr means @S255). Never fails: a text it cannot read
// leaves the invalid (all-zero) picture. The text must outlive the picture.
void CompilePicture(CompiledPicture& picture, const char* text, std::size_t length);
void CompilePicture(CompiledPicture& picture, std::string_view text);

// FORMAT into `out` (room for MaxPictureWidth characters); returns the width
// written (the picture's display width, 0 for an invalid picture). No
// allocation. Dates and times are their standard numbers.
std::size_t FORMAT(const PictureNumber& value, const CompiledPicture& picture, char* out);
std::size_t FORMAT(int64_t value, const CompiledPicture& picture, char* out);
// Standard dates and times are 32-bit; without this they would match the
// int64_t and double overloads equally well.
inline std::size_t FORMAT(int32_t value, const CompiledPicture& picture, char* out) {
    return FORMAT(int64_t{value}, picture, out);
}
std::size_t FORMAT(double value, const CompiledPicture& picture, char* out);
// String and key-in pictures take text; other pictures read the number it
// starts with (PictureNumber::Read), as the decimal accumulator and the
// evaluator do: "12.5abc" formats as 12.5, text without a number as zero.
std::size_t FORMAT(std::string_view text, const CompiledPicture& picture, char* out);

// The formatted text as a string, for callers that do not mind allocating.
std::string FormatText(int64_t value, std::string_view picture_text);

// DEFORMAT: the value text of `text` read through the picture (a number
// text, or the standard date or time as decimal text; -1 for a date whose
// month name matches no month). The result lives in a shared buffer, valid
// until the next call.
std::string_view DEFORMAT(std::string_view text, const CompiledPicture& picture);

// The locale pictures, built token by token from the "intl" settings.
void BuildLocaleTimePicture(CompiledPicture& picture, bool with_seconds, int i_time, int i_tl_zero,
                            char separator);
void BuildShortDatePicture(CompiledPicture& picture, std::string_view short_date);
void BuildLongDatePicture(CompiledPicture& picture, std::string_view long_date);

} // namespace morvex

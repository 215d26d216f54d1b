// Helpers shared by the picture compiler, formatter, reader and the locale
// picture builders. Internal to the runtime.
#pragma once

#include "runtime/picture.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvex::picture_detail {

inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

inline bool is_fill(char c) {
    return c == '0' || c == '_' || c == '*';
}

// The separator modifier of date and time pictures and the marks of numeric
// pictures print `_` as a space and `` ` `` as a comma.
inline char printed_mark(char c) {
    return c == '_' ? ' ' : c == '`' ? ',' : c;
}

inline bool is_separator_modifier(char c) {
    return c == '.' || c == '-' || c == '_' || c == '`';
}

inline bool is_digit_code(TokenCode code) {
    return code == TokenCode::Digit || code == TokenCode::BlankDigit;
}

// Appends tokens to a picture being built, never beyond MaxPictureTokens;
// `full` tells whether a token was dropped for lack of room.
class TokenSink {
public:
    explicit TokenSink(CompiledPicture& picture) : m_picture(picture) {}

    void add(char character, TokenCode code) {
        if (m_count < MaxPictureTokens)
            m_picture.tokens[m_count++] = PictureToken{character, code};
        else
            m_full = true;
    }
    void add(std::string_view characters, TokenCode code) {
        for (char c : characters)
            add(c, code);
    }
    uint32_t count() const { return m_count; }
    bool full() const { return m_full; }

private:
    CompiledPicture& m_picture;
    uint32_t m_count = 0;
    bool m_full = false;
};

// The number of tokens from `index` on that share its code.
inline std::size_t run_length(const CompiledPicture& picture, std::size_t index, std::size_t count) {
    const TokenCode code = picture.tokens[index].code;
    std::size_t end = index + 1;
    while (end < count && picture.tokens[end].code == code)
        ++end;
    return end - index;
}

// The token count of a picture that has tokens (not @S), never above the
// token array.
inline std::size_t token_total(const CompiledPicture& picture) {
    const std::size_t count = picture.token_count();
    return count < MaxPictureTokens ? count : MaxPictureTokens;
}

// Reads decimal digits at `text[index]`, saturating at `limit`; returns the
// number of digits read.
std::size_t read_decimal(std::string_view text, std::size_t& index, uint32_t& value,
                         uint32_t limit = 100'000);

// Counts the digit positions of a numeric, scientific or pattern picture
// into its layout fields (integer_positions and the others), as FORMAT
// walks them: integer digits and grouping pairs before the first decimal
// mark or exponent sign, decimals after a decimal mark, exponent digits
// after the exponent sign.
void count_positions(CompiledPicture& picture);

// FORMAT's engine for numeric, scientific and pattern pictures.
std::size_t format_number(const PictureNumber& value, const CompiledPicture& picture, char* out);

// The plain decimal text of a number (an `e` exponent when it would be very
// long), for string pictures; returns its length, at most NumberTextLimit.
constexpr std::size_t NumberTextLimit = 96;
std::size_t number_text(const PictureNumber& value, char* out);

// The value truncated to an integer, saturating at the int64 limits.
int64_t number_to_integer(const PictureNumber& value);

// Compiles the numeric (@N) and scientific (@E) families; `body` starts at
// the family letter. False leaves the picture to be zeroed.
bool compile_numeric(CompiledPicture& picture, std::string_view body, bool blank_when_zero);
bool compile_scientific(CompiledPicture& picture, std::string_view body, bool blank_when_zero);

} // namespace morvex::picture_detail

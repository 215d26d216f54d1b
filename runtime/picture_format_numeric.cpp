// FORMAT for numeric (@N), scientific (@E) and pattern (@P) pictures: the
// value is rounded at the picture's last decimal position, then its digits
// are placed right-aligned on the integer positions and its decimals on the
// decimal positions in one walk over the token pairs.
#include "runtime/picture_internal.h"

#include <array>
#include <cstring>

namespace morvex::picture_detail {

namespace {

constexpr std::size_t MaxDigits = sizeof(PictureNumber::digits);
// Room for the integer digits, grouping pairs and decimals the layout fields
// can count (up to 255 each), and a carry.
constexpr std::size_t DigitBufferSize = 3 * 255 + 2;

// The digit positions of a picture, as CompilePicture counted them.
struct Layout {
    int integer_positions = 0;
    int groups = 0;
    int decimals = 0;
    int exponent_digits = 0;
};

Layout layout_of(const CompiledPicture& picture) {
    return Layout{picture.integer_positions, picture.grouping_pairs, picture.decimal_positions,
                  picture.exponent_positions};
}

// Per token code: 1 a digit position, 2 a grouping pair, 4 a decimal mark
// (printed or implied), 8 the exponent sign.
constexpr std::array<uint8_t, 256> CodeClasses = [] {
    std::array<uint8_t, 256> classes{};
    classes[static_cast<uint8_t>(TokenCode::Digit)] = 1;
    classes[static_cast<uint8_t>(TokenCode::BlankDigit)] = 1;
    classes[static_cast<uint8_t>(TokenCode::Group)] = 2;
    classes[static_cast<uint8_t>(TokenCode::DecimalPoint)] = 4;
    classes[static_cast<uint8_t>(TokenCode::ImpliedDecimalPoint)] = 4;
    classes[static_cast<uint8_t>(TokenCode::ExponentSign)] = 8;
    return classes;
}();

// What the walk prints: the significant integer digits, the decimals, and
// for scientific pictures the exponent.
struct Placement {
    const char* integer_digits = nullptr;
    int significant = 0;      // integer digits without leading zeros
    int groups_as_digits = 0; // leftmost grouping pairs that hold digits
    const char* decimals = nullptr;
    bool negative = false;
    bool overflow = false;
    bool exponent_negative = false;
    char exponent_digits[10] = {}; // as many as the picture has
};

// The i-th digit of a number; anything but a digit counts as 0.
char digit_at(const char* digits, int i) {
    return is_digit(digits[i]) ? digits[i] : '0';
}

// Adds one at the last of `length` digits; true when it carries out of the
// first.
bool increment(char* digits, int length) {
    int i = length - 1;
    while (i >= 0 && digits[i] == '9')
        digits[i--] = '0';
    if (i < 0)
        return true;
    ++digits[i];
    return false;
}

// The character of a grouping pair before the first significant digit.
char leading_group(char mark, char* out, std::size_t w, TokenCode previous) {
    if (w == 0)
        return ' ';
    char& before = out[w - 1];
    if (previous == TokenCode::Sign && (before == '-' || before == '(')) {
        // The sign moves next to the digits.
        const char sign = before;
        before = ' ';
        return sign;
    }
    if (before == '*')
        return '*';
    // Zeros shown by the 0 fill are grouped like digits.
    if (before == '0' && is_digit_code(previous))
        return printed_mark(mark);
    return ' ';
}

// A value too large for the picture: every digit position prints `#`.
std::size_t print_overflow(const CompiledPicture& picture, std::size_t count, const Placement& place,
                           char* out) {
    std::size_t w = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const PictureToken& token = picture.tokens[i];
        char c = token.character;
        if (is_digit_code(token.code) || token.code == TokenCode::Group)
            c = '#';
        else if (token.code == TokenCode::DecimalPoint)
            c = printed_mark(c);
        else if (token.code == TokenCode::ImpliedDecimalPoint)
            continue;
        else if (token.code == TokenCode::Sign)
            c = place.negative ? c : ' ';
        else if (token.code == TokenCode::ExponentSign)
            c = place.exponent_negative ? '-' : '+';
        out[w++] = c;
    }
    if (w < count)
        std::memset(out + w, ' ', count - w);
    return count;
}

// Where the walk over the pairs stands.
struct Walk {
    std::size_t i = 0;
    std::size_t w = 0;
    int slot = 0;
    int group_index = 0;
    int decimal_index = 0;
    int exponent_index = 0;
    int part = 0;
    bool digit_printed = false;
    TokenCode previous = TokenCode::Literal;
};

// The pairs of one part (integer, fraction or exponent) up to the mark that
// starts another part; each part has its own copy, so that a pair's meaning
// in its part is not asked again for every pair.
template <int Part>
void print_part(const CompiledPicture& picture, std::size_t count, const Layout& layout,
                const Placement& place, int first_slot, Walk& walk, char* out) {
    for (; walk.i < count; ++walk.i) {
        const TokenCode code = picture.tokens[walk.i].code;
        char c = picture.tokens[walk.i].character;
        if (is_digit_code(code)) {
            if constexpr (Part == 0) {
                const int index = walk.slot - first_slot;
                if (index >= 0 && index < place.significant) {
                    c = place.integer_digits[index];
                    walk.digit_printed = true;
                }
                ++walk.slot;
            } else if constexpr (Part == 1) {
                c = walk.decimal_index < layout.decimals ? place.decimals[walk.decimal_index++] : '0';
            } else {
                c = walk.exponent_index < 10 ? place.exponent_digits[walk.exponent_index++] : '0';
            }
        } else if (code == TokenCode::Group) {
            if constexpr (Part != 0) {
                c = printed_mark(c);
            } else {
                if (walk.group_index < place.groups_as_digits && walk.slot - first_slot < place.significant) {
                    c = place.integer_digits[walk.slot - first_slot];
                    walk.digit_printed = true;
                    ++walk.slot;
                } else {
                    c = walk.digit_printed ? printed_mark(c) : leading_group(c, out, walk.w, walk.previous);
                }
                ++walk.group_index;
            }
        } else if (code == TokenCode::Sign) {
            c = place.negative ? c : ' ';
        } else if (code == TokenCode::DecimalPoint) {
            out[walk.w++] = printed_mark(c);
            walk.previous = code;
            walk.part = 1;
            ++walk.i;
            return;
        } else if (code == TokenCode::ImpliedDecimalPoint) {
            walk.previous = code; // not printed
            walk.part = 1;
            ++walk.i;
            return;
        } else if (code == TokenCode::ExponentSign) {
            out[walk.w++] = place.exponent_negative ? '-' : '+';
            walk.previous = code;
            walk.part = 2;
            ++walk.i;
            return;
        }
        out[walk.w++] = c;
        walk.previous = code;
    }
}

// One walk over the pairs, in the parts CompilePicture counted (integer,
// fraction, exponent). Every index is checked against those counts as well,
// so that a picture whose counts do not match its pairs prints wrongly but
// never reads outside the digits.
std::size_t print(const CompiledPicture& picture, std::size_t count, const Layout& layout,
                  const Placement& place, char* out) {
    if (place.overflow)
        return print_overflow(picture, count, place, out);
    const int slots = layout.integer_positions + place.groups_as_digits;
    const int first_slot = slots - place.significant;
    Walk walk;
    while (walk.i < count) {
        if (walk.part == 0)
            print_part<0>(picture, count, layout, place, first_slot, walk, out);
        else if (walk.part == 1)
            print_part<1>(picture, count, layout, place, first_slot, walk, out);
        else
            print_part<2>(picture, count, layout, place, first_slot, walk, out);
    }
    if (walk.w < count)
        std::memset(out + walk.w, ' ', count - walk.w);
    return count;
}

std::size_t format_scientific(const char* digits, int n, int lead, bool negative,
                              const CompiledPicture& picture, std::size_t count, char* out) {
    const Layout layout = layout_of(picture);
    char mantissa[DigitBufferSize];
    const int total = layout.integer_positions + layout.decimals;
    Placement place;
    place.integer_digits = mantissa;
    place.decimals = mantissa + layout.integer_positions;
    std::memset(place.exponent_digits, '0', sizeof place.exponent_digits);
    if (n == 0) {
        std::memset(mantissa, '0', static_cast<std::size_t>(total));
    } else {
        for (int j = 0; j < total; ++j)
            mantissa[j] = j < n ? digit_at(digits, j) : '0';
        int exponent = lead - layout.integer_positions;
        if (total < n && digit_at(digits, total) >= '5' && increment(mantissa, total)) {
            mantissa[0] = '1';
            ++exponent;
        }
        place.significant = layout.integer_positions;
        place.negative = negative;
        place.exponent_negative = exponent < 0;
        // The exponent's digits, right-aligned on the exponent positions.
        int magnitude = exponent < 0 ? -exponent : exponent;
        const int digits_shown = layout.exponent_digits < 10 ? layout.exponent_digits : 10;
        for (int k = digits_shown; k-- > 0; magnitude /= 10)
            place.exponent_digits[k] = static_cast<char>('0' + magnitude % 10);
        place.overflow = magnitude != 0;
    }
    return print(picture, count, layout, place, out);
}

} // namespace

void count_positions(CompiledPicture& picture) {
    const std::size_t count = token_total(picture);
    int integer = 0, groups = 0, decimals = 0, exponent = 0;
    int part = 0; // integer, fraction, exponent
    for (std::size_t i = 0; i < count; ++i) {
        const int kind = CodeClasses[static_cast<uint8_t>(picture.tokens[i].code)];
        part = kind & 8 ? 2 : kind & 4 ? 1 : part;
        integer += kind & (part == 0);
        groups += (kind >> 1) & (part == 0);
        decimals += kind & (part == 1);
        exponent += kind & (part == 2);
    }
    picture.integer_positions = static_cast<uint8_t>(integer);
    picture.grouping_pairs = static_cast<uint8_t>(groups);
    picture.decimal_positions = static_cast<uint8_t>(decimals);
    picture.exponent_positions = static_cast<uint8_t>(exponent);
}

std::size_t format_number(const PictureNumber& value, const CompiledPicture& picture, char* out) {
    const std::size_t count = token_total(picture);

    // The digits from the first significant one.
    const int given = value.digit_count < MaxDigits ? value.digit_count : static_cast<int>(MaxDigits);
    int first_digit = 0;
    while (first_digit < given && !(value.digits[first_digit] >= '1' && value.digits[first_digit] <= '9'))
        ++first_digit;
    const char* digits = value.digits + first_digit;
    const int n = given - first_digit;
    const int lead = n + value.exponent; // digits before the decimal point
    if (n == 0 && picture.blank_when_zero())
        return std::memset(out, ' ', count), count;
    if (picture.kind() == PictureKind::Scientific)
        return format_scientific(digits, n, lead, value.negative && n > 0, picture, count, out);

    const Layout layout = layout_of(picture);
    // r holds the integer digits then the decimals, with one place in front
    // for a carry out of the first digit.
    char buffer[DigitBufferSize];
    char* r = buffer + 1;
    int integer_count = lead > 0 ? lead : 0;
    const int capacity = layout.integer_positions + layout.groups;
    Placement place;
    place.overflow = integer_count > capacity;
    if (!place.overflow) {
        // r[j] is digit j + shift: zeros before the value's first digit,
        // its digits, zeros after its last.
        const int length = integer_count + layout.decimals;
        const int shift = lead < 0 ? lead : 0;
        int j = 0;
        for (; j < length && j + shift < 0; ++j)
            r[j] = '0';
        for (; j < length && j + shift < n; ++j)
            r[j] = digit_at(digits, j + shift);
        for (; j < length; ++j)
            r[j] = '0';
        const int rounding = length + shift;
        if (rounding >= 0 && rounding < n && digit_at(digits, rounding) >= '5' && increment(r, length)) {
            *--r = '1';
            ++integer_count;
            place.overflow = integer_count > capacity;
        }
        int first = 0;
        while (first < integer_count && r[first] == '0')
            ++first;
        bool zero = first == integer_count;
        for (int j = integer_count; zero && j < integer_count + layout.decimals; ++j)
            zero = r[j] == '0';
        place.integer_digits = r + first;
        place.significant = integer_count - first;
        place.groups_as_digits =
            place.significant > layout.integer_positions ? place.significant - layout.integer_positions : 0;
        place.decimals = r + integer_count;
        place.negative = value.negative && !zero;
    } else {
        place.negative = value.negative;
    }
    if (place.overflow && picture.kind() == PictureKind::Pattern && layout.integer_positions == 0)
        return std::memset(out, ' ', count), count;
    return print(picture, count, layout, place, out);
}

} // namespace morvex::picture_detail

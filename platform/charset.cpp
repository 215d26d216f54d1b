#include "platform/charset.h"

#include "platform/charset_tables.h"

namespace morvex::platform {

namespace {

// Unicode code points of Windows-1252 bytes 0x80..0x9F; the rest map to themselves.
constexpr char32_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char windows_byte(char32_t point) {
    if (point < 0x80 || (point >= 0xA0 && point <= 0xFF))
        return static_cast<char>(point);
    for (int i = 0; i < 32; ++i) {
        if (HighControls[i] == point)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

char32_t windows1252_code_point(uint8_t c) {
    return c >= 0x80 && c < 0xA0 ? HighControls[c - 0x80] : c;
}

uint8_t oem_to_windows(uint8_t c) {
    return tables::OemToWindows[c];
}
uint8_t windows_to_oem(uint8_t c) {
    return tables::WindowsToOem[c];
}

std::string oem_to_windows(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(oem_to_windows(static_cast<uint8_t>(c)));
    return result;
}

std::string windows_to_oem(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(windows_to_oem(static_cast<uint8_t>(c)));
    return result;
}

bool is_upper_letter(uint8_t c) {
    return tables::LowerOfUpper[c] != 0;
}
uint8_t lower_of(uint8_t upper) {
    return tables::LowerOfUpper[upper];
}

std::span<const uint8_t> one_character_sort_order() {
    return tables::OneCharacterSortOrder;
}

namespace {

// The code point of the UTF-8 character at `i` and its length in bytes;
// false for a byte that does not begin a well-formed character (a stray
// continuation byte, a cut sequence, an overlong form or a surrogate).
bool decode_utf8(std::string_view text, std::size_t i, char32_t& point, std::size_t& length) {
    const auto lead = static_cast<uint8_t>(text[i]);
    length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return false;
    point = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return false;
        point = point << 6 | (next & 0x3F);
    }
    constexpr char32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    return point >= Smallest[length] && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
}

} // namespace

std::u32string utf8_code_points(std::string_view text) {
    std::u32string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t point = 0;
        std::size_t length = 0;
        if (!decode_utf8(text, i, point, length)) {
            result += U'\uFFFD';
            ++i;
            continue;
        }
        result += point;
        i += length;
    }
    return result;
}

std::optional<std::string> utf8_to_windows1252_exact(std::string_view text, std::size_t* problem) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t point = 0;
        std::size_t length = 0;
        const bool decoded = decode_utf8(text, i, point, length);
        const char byte = decoded ? windows_byte(point) : '?';
        if (!decoded || windows1252_code_point(static_cast<uint8_t>(byte)) != point) {
            if (problem)
                *problem = i;
            return std::nullopt;
        }
        result += byte;
        i += length;
    }
    return result;
}

std::string utf8_to_windows1252(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char32_t point : utf8_code_points(text))
        result += windows_byte(point);
    return result;
}

std::string utf16_to_windows1252(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char16_t unit : text)
        result += unit >= 0xD800 && unit < 0xE000 ? '?' : windows_byte(unit);
    return result;
}

std::string windows1252_to_utf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char byte : text) {
        const char32_t point = windows1252_code_point(static_cast<uint8_t>(byte));
        if (point < 0x80) {
            result += static_cast<char>(point);
        } else if (point < 0x800) {
            result += static_cast<char>(0xC0 | point >> 6);
            result += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            result += static_cast<char>(0xE0 | point >> 12);
            result += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    return result;
}

} // namespace morvex::platform

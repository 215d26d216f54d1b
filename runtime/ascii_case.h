// Case folding of ASCII letters only, for the names that the system itself
// defines (property and event names, key names, file and section names,
// command words): "a".."z" and "A".."Z" pair up, every other byte stays.
//
// Program text is folded through the character tables instead
// (runtime/char_tables.h: ToUpperChar, ToLowerChar), whose case partners
// cover the Windows character set and may be changed by the environment file.
#pragma once

#include <string>
#include <string_view>

namespace morvex {

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);

// Equal texts once ASCII letters are folded.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace morvex

// Character sets: Windows-1252 (the system's text) against the OEM code page
// (850, Western European), the Windows-1252 letter case pairs, the order in
// which the platform sorts one-character strings, and UTF-8 at the edges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morvex::platform {

uint8_t oem_to_windows(uint8_t c);
uint8_t windows_to_oem(uint8_t c);
std::string oem_to_windows(std::string_view text);
std::string windows_to_oem(std::string_view text);

// Upper-case letters of Windows-1252 above 127 and their lower-case forms.
bool is_upper_letter(uint8_t c);
uint8_t lower_of(uint8_t upper);

// Characters 1..254 in the order one-character strings sort on this platform.
std::span<const uint8_t> one_character_sort_order();

// The Unicode code point of a Windows-1252 byte.
char32_t windows1252_code_point(uint8_t c);

// The code points of UTF-8 text; a malformed sequence gives U+FFFD for its
// first byte and decoding goes on with the next.
std::u32string utf8_code_points(std::string_view text);

// UTF-8 to Windows-1252; characters it lacks become '?'.
std::string utf8_to_windows1252(std::string_view text);
// UTF-8 to Windows-1252 when every character has its place there; otherwise
// nothing, with `problem` (if given) set to the byte offset of the first
// character that Windows-1252 lacks or that is not well-formed UTF-8.
std::optional<std::string> utf8_to_windows1252_exact(std::string_view text, std::size_t* problem = nullptr);
std::string windows1252_to_utf8(std::string_view text);
// UTF-16 (automation strings) to Windows-1252; characters it lacks become '?'.
std::string utf16_to_windows1252(std::u16string_view text);

} // namespace morvex::platform

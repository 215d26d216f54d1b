// GETINI and PUTINI: one entry of an INI file through the platform's profile
// functions. Arguments are clipped (trailing blanks removed) and cut to the
// runtime's buffers: section and entry 63 characters, value or default 1,023,
// file name 259. An empty file name means the Windows profile (win.ini).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvex {

constexpr std::size_t IniSectionLimit = 63;
constexpr std::size_t IniEntryLimit = 63;
constexpr std::size_t IniValueLimit = 1023;
constexpr std::size_t IniFileLimit = 259;

// No entry removes the whole section; no value removes the entry. Failures
// are not reported: a file that cannot be written is left unchanged.
void PUTINI(std::string_view section, std::optional<std::string_view> entry,
            std::optional<std::string_view> value, std::string_view file);
// The entry's text, or the default when the file, section or entry is missing.
std::string GETINI(std::string_view section, std::string_view entry, std::string_view default_value,
                   std::string_view file);

// The same on the string stack: the arguments were pushed from the last to
// the first, so they are taken off as section, entry, value or default, file.
// The omitted flags tell which of the stacked texts stand for nothing.
void StackPUTINI(bool entry_omitted, bool value_omitted);
// Pushes the text found.
void StackGETINI();

} // namespace morvex

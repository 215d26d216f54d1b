// Profile (INI) files: the stand-in for the Windows profile functions.
//
// Sections in square brackets, entry=value lines, section and entry names
// compared without regard to case. A file name without a directory lives in
// the INI directory ($MORVEX_INIDIR, else $XDG_CONFIG_HOME/morvex, else
// ~/.config/morvex); the empty file name is the Windows profile, win.ini
// there. Writes replace the file atomically (temporary file and rename) under
// an advisory lock, so two processes writing different entries of one file
// both keep theirs, and keep the file's other lines, comments and order.
// Texts are bytes (Windows-1252), passed through unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvex::platform {

// The directory for profile files given without one.
std::string ini_directory();

// The path a profile file name stands for.
std::string profile_path(std::string_view file_name);

// The value of an entry, or `default_value` when the file, the section or
// the entry does not exist. The value is the text after "=", without the
// blanks around it.
std::string get_profile_string(std::string_view file_name, std::string_view section, std::string_view entry,
                               std::string_view default_value);

// Sets an entry (creating the file, the section and the entry as needed). No
// entry removes the whole section; no value removes the entry. False when the
// file could not be written (errno tells why); the file is then unchanged.
// Names and values that cannot be written as lines that read back the same (a
// line break, "]" in the section name, "=" in the entry name or ";", "#" or
// "[" at its start) fail with EINVAL. Writers lock "<file>.lock", which stays
// beside the file.
bool write_profile_string(std::string_view file_name, std::string_view section,
                          std::optional<std::string_view> entry, std::optional<std::string_view> value);

} // namespace morvex::platform

// The Windows "intl" values (iTime, iTLzero, sTime, s1159, s2359,
// sShortDate, sLongDate): from the [intl] section of the Windows profile
// (win.ini), else derived from the POSIX locale of the user (LC_ALL, LC_TIME,
// LANG), else none, so that the caller applies its defaults. Under the C
// locale there are none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvex::platform {

std::optional<std::string> read_intl_value(std::string_view key);

// The values a POSIX locale's formats stand for: T_FMT, D_FMT, AM_STR and
// PM_STR (in Windows-1252). Separate for testing without installed locales.
struct PosixFormats {
    std::string time_format; // such as "%H:%M:%S"
    std::string date_format; // such as "%d.%m.%Y"
    std::string am;
    std::string pm;
};
std::optional<std::string> intl_value_from_posix(std::string_view key, const PosixFormats& formats);

} // namespace morvex::platform

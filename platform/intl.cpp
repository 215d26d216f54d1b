// POSIX formats translate into intl values: the hour conversion decides the
// clock (%H, %k 24-hour; %I, %l 12-hour) and the leading zero (%H, %I), the
// character after it is the time separator; %d %e %m %y %Y build the short
// date and their order the long date (with the month written out).
#include "platform/intl.h"

#include "platform/charset.h"
#include "platform/profile.h"

#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>

namespace morvex::platform {

namespace {

// Expands the composite conversions so that only single fields remain.
std::string expand(std::string_view format) {
    std::string result;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            result += format[i];
            continue;
        }
        const char conversion = format[++i];
        if (conversion == 'D')
            result += "%m/%d/%y";
        else if (conversion == 'F')
            result += "%Y-%m-%d";
        else if (conversion == 'T')
            result += "%H:%M:%S";
        else if (conversion == 'R')
            result += "%H:%M";
        else if (conversion == 'r')
            result += "%I:%M:%S %p";
        else
            result += {'%', conversion};
    }
    return result;
}

std::string short_date(std::string_view date_format) {
    std::string result;
    const std::string format = expand(date_format);
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            result += format[i];
            continue;
        }
        switch (format[++i]) {
        case 'd':
            result += "dd";
            break;
        case 'e':
            result += "d";
            break;
        case 'm':
            result += "MM";
            break;
        case 'y':
            result += "yy";
            break;
        case 'Y':
            result += "yyyy";
            break;
        default:
            break; // fields the short date does not show
        }
    }
    return result;
}

std::string long_date(std::string_view date_format) {
    const std::string format = expand(date_format);
    const std::size_t year = std::min(format.find("%y"), format.find("%Y"));
    const std::size_t month = format.find("%m");
    const std::size_t day_at = format.find("%d") != std::string::npos ? format.find("%d") : format.find("%e");
    if (year != std::string::npos && year < month && year < day_at)
        return "yyyy' 'MMMM' 'dd";
    if (day_at != std::string::npos && day_at < month)
        return "dd'. 'MMMM' 'yyyy";
    return "MMMM' 'dd', 'yyyy";
}

std::string effective_locale_name() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return "C";
}

std::optional<PosixFormats> user_posix_formats() {
    const std::string name = effective_locale_name();
    if (name == "C" || name == "POSIX" || name.starts_with("C."))
        return std::nullopt;
    locale_t locale = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (!locale)
        return std::nullopt;
    const bool utf8 = std::string_view(nl_langinfo_l(CODESET, locale)) == "UTF-8";
    auto text = [&](nl_item item) {
        std::string value = nl_langinfo_l(item, locale);
        return utf8 ? utf8_to_windows1252(value) : value;
    };
    PosixFormats formats{text(T_FMT), text(D_FMT), text(AM_STR), text(PM_STR)};
    freelocale(locale);
    return formats;
}

} // namespace

std::optional<std::string> intl_value_from_posix(std::string_view key, const PosixFormats& formats) {
    const std::string time = expand(formats.time_format);
    std::size_t hour = time.find_first_of("HkIl", time.find('%'));
    while (hour != std::string::npos && (hour == 0 || time[hour - 1] != '%'))
        hour = time.find_first_of("HkIl", hour + 1);
    if (key == "iTime")
        return hour == std::string::npos
                   ? std::nullopt
                   : std::optional<std::string>(time[hour] == 'H' || time[hour] == 'k' ? "1" : "0");
    if (key == "iTLzero")
        return hour == std::string::npos
                   ? std::nullopt
                   : std::optional<std::string>(time[hour] == 'H' || time[hour] == 'I' ? "1" : "0");
    if (key == "sTime") {
        if (hour == std::string::npos || hour + 1 >= time.size() || time[hour + 1] == '%')
            return std::nullopt;
        return std::string(1, time[hour + 1]);
    }
    if (key == "s1159")
        return formats.am;
    if (key == "s2359")
        return formats.pm;
    if (key == "sShortDate")
        return formats.date_format.empty() ? std::nullopt
                                           : std::optional<std::string>(short_date(formats.date_format));
    if (key == "sLongDate")
        return formats.date_format.empty() ? std::nullopt
                                           : std::optional<std::string>(long_date(formats.date_format));
    return std::nullopt;
}

std::optional<std::string> read_intl_value(std::string_view key) {
    // A default no profile value can hold tells a missing entry apart.
    constexpr std::string_view Missing = "\x01\x02missing";
    std::string value = get_profile_string("", "intl", key, Missing);
    if (value != Missing)
        return value;
    if (std::optional<PosixFormats> formats = user_posix_formats())
        return intl_value_from_posix(key, *formats);
    return std::nullopt;
}

} // namespace morvex::platform

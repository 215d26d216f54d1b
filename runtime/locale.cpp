// The locale's process-wide state and its queries.
#include "runtime/locale.h"

#include "runtime/locale_state.h"

#include <array>
#include <cstddef>

namespace morvex {

namespace {

constexpr std::array<std::string_view, 12> DefaultMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December",
};
constexpr std::array<std::string_view, 8> DefaultButtonCaptions = {
    "OK", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "Cancel", "&Help",
};

LocaleState make_defaults() {
    LocaleState state;
    for (std::size_t i = 0; i < 12; ++i) {
        state.month_names[i] = std::string(DefaultMonthNames[i]);
        state.month_abbreviations[i] = std::string(DefaultMonthNames[i].substr(0, 3));
    }
    for (std::size_t i = 0; i < state.button_captions.size(); ++i)
        state.button_captions[i] = std::string(DefaultButtonCaptions[i]);
    return state;
}

} // namespace

LocaleState& Locale() {
    static LocaleState state = [] {
        LocaleState defaults = make_defaults();
        build_locale_pictures(defaults, IntlSettings{});
        return defaults;
    }();
    return state;
}

void build_locale_pictures(LocaleState& state, const IntlSettings& settings) {
    state.intl = settings;
    const char separator = settings.sTime.empty() ? ':' : settings.sTime[0];
    BuildLocaleTimePicture(state.time_pictures[0], false, settings.iTime, settings.iTLzero, separator);
    BuildLocaleTimePicture(state.time_pictures[1], true, settings.iTime, settings.iTLzero, separator);
    BuildShortDatePicture(state.date_pictures[0], settings.sShortDate);
    BuildLongDatePicture(state.date_pictures[1], settings.sLongDate);
    state.locale_am = settings.s1159.substr(0, 2);
    state.locale_pm = settings.s2359.substr(0, 2);
}

void ApplyLocale(const IntlSettings& settings) {
    build_locale_pictures(Locale(), settings);
}

void ResetLocale() {
    LocaleState& state = Locale();
    state = make_defaults();
    build_locale_pictures(state, IntlSettings{});
    SetCharTables(CharTables::Defaults());
}

std::string_view MonthName(int month) {
    return month >= 1 && month <= 12
               ? std::string_view(Locale().month_names[static_cast<std::size_t>(month - 1)])
               : std::string_view();
}

std::string_view MonthAbbreviation(int month) {
    return month >= 1 && month <= 12
               ? std::string_view(Locale().month_abbreviations[static_cast<std::size_t>(month - 1)])
               : std::string_view();
}

std::string_view RuntimeAmPm(bool pm) {
    return pm ? Locale().runtime_pm : Locale().runtime_am;
}

std::string_view LocaleAmPm(bool pm) {
    return pm ? Locale().locale_pm : Locale().locale_am;
}

const CompiledPicture& LocaleDatePicture(int number) {
    return Locale().date_pictures[number == 18 ? 1 : 0];
}

const CompiledPicture& LocaleTimePicture(int number) {
    return Locale().time_pictures[number == 8 ? 1 : 0];
}

std::string_view ButtonCaption(int index) {
    const LocaleState& state = Locale();
    return index >= 0 && static_cast<std::size_t>(index) < state.button_captions.size()
               ? std::string_view(state.button_captions[static_cast<std::size_t>(index)])
               : std::string_view();
}

std::optional<std::string_view> MessageReplacement(int number) {
    const auto& overrides = Locale().message_overrides;
    // Newest first.
    for (auto it = overrides.rbegin(); it != overrides.rend(); ++it) {
        if (it->first == number)
            return std::string_view(it->second);
    }
    return std::nullopt;
}

bool OemCharset() {
    return Locale().oem_charset;
}

bool LongFileNames() {
    return Locale().long_file_names;
}

} // namespace morvex

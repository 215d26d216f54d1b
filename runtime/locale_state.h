// The locale's state, shared by the locale queries and the start-up code
// that fills it (intl values, environment file). Internal to the runtime.
#pragma once

#include "runtime/char_tables.h"
#include "runtime/locale.h"
#include "runtime/picture.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace morvex {

struct LocaleState {
    IntlSettings intl;
    std::array<std::string, 12> month_names;
    std::array<std::string, 12> month_abbreviations;
    std::string runtime_am = "AM";
    std::string runtime_pm = "PM";
    std::string locale_am = "AM";
    std::string locale_pm = "PM";
    std::array<std::string, 8> button_captions;
    std::vector<std::pair<int, std::string>> message_overrides; // oldest first
    bool oem_charset = false;
    bool long_file_names = false;
    std::array<CompiledPicture, 2> date_pictures; // @D17, @D18
    std::array<CompiledPicture, 2> time_pictures; // @T7, @T8
};

LocaleState& Locale();
void build_locale_pictures(LocaleState& state, const IntlSettings& settings);

} // namespace morvex

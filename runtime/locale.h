// The runtime's locale: the Windows "intl" values and the four locale
// pictures built from them (@D17 short date, @D18 long date, @T7 time
// without seconds, @T8 with seconds), and the tables the environment file
// replaces: month names and abbreviations, AM/PM texts, button captions,
// message overrides and the OEM and long-file-names flags. The character
// tables live in char_tables.h. Everything is set once at start-up and only
// read afterwards; until then the defaults hold.
#pragma once

#include "runtime/picture.h"

#include <optional>
#include <string>
#include <string_view>

namespace morvex {

// The "intl" values, with their defaults.
struct IntlSettings {
    int iTime = 0;   // 0 = 12-hour clock
    int iTLzero = 1; // non-zero = hours with a leading zero
    std::string sTime = ":";
    std::string s1159 = "AM";
    std::string s2359 = "PM";
    std::string sShortDate = "MM/dd/yy";
    std::string sLongDate = "ddd', 'MMMM' 'dd', 'yyyy";
};

// The start-up step: reads the "intl" values (win.ini's [intl], then the
// POSIX locale, then the defaults), builds the locale pictures, then reads
// and applies the environment file beside the executable. Runs once.
void LoadLocaleAndEnvironment();

// The parts of that step, for tools and tests. ApplyLocale replaces the
// locale values and pictures; ApplyEnvironmentFile applies one environment
// file (false if it could not be opened, which is otherwise ignored);
// ResetLocale restores every default, character tables included.
IntlSettings ReadIntlSettings();
void ApplyLocale(const IntlSettings& settings);
bool ApplyEnvironmentFile(const std::string& path);
void ApplyEnvironmentText(std::string_view contents);
void ResetLocale();

// The environment file's path for the running executable: its path with the
// file name's extension, if any, replaced by ".ENV".
std::string EnvironmentFilePath();
std::string EnvironmentFilePathFor(std::string executable);

// Month 1..12.
std::string_view MonthName(int month);
std::string_view MonthAbbreviation(int month);
// The runtime AM/PM texts (@T3, @T6, reading times back) and the locale's (@T7, @T8).
std::string_view RuntimeAmPm(bool pm);
std::string_view LocaleAmPm(bool pm);
// The compiled locale pictures: @D17, @D18 (kind Date) and @T7, @T8 (kind Time).
const CompiledPicture& LocaleDatePicture(int number);
const CompiledPicture& LocaleTimePicture(int number);

// The caption of message-box button k (0 "OK", 1 "&Yes", 2 "&No", 3 "&Abort",
// 4 "&Retry", 5 "&Ignore", 6 "Cancel", 7 "&Help").
std::string_view ButtonCaption(int index);
// The environment file's replacement for a runtime message, if any.
std::optional<std::string_view> MessageReplacement(int number);
bool OemCharset();
bool LongFileNames();

} // namespace morvex

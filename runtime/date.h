// Standard dates and times, their split forms, the DATE and TIME storage
// types, and the language-level date functions.
//
// A standard date is a count of days with day 0 = 28 December 1800; valid
// dates run from 4 (1 January 1801) to 2,994,626 (31 December 9999) and the
// weekday is the date modulo 7 (0 = Sunday). A standard time is hundredths of
// a second since midnight plus one: 1 is midnight, 8,640,000 is 23:59:59.99.
// Both use 0 for "none". All conversions are closed arithmetic and exact over
// the whole range.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace morvex {

constexpr int32_t FirstValidDate = 4;        // 1 January 1801
constexpr int32_t LastValidDate = 2'994'626; // 31 December 9999
constexpr int32_t FirstValidYear = 1801;
constexpr int32_t LastValidYear = 9999;
constexpr int32_t LastValidTime = 8'640'000; // 23:59:59.99
constexpr int8_t DefaultCenturyWindow = 80;

struct DateParts {
    int32_t year = 0;
    uint8_t day = 0;
    uint8_t month = 0;
};

struct TimeParts {
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;
    uint8_t hundredths = 0;
};

// n/4 - n/100 + n/400 with truncating divisions.
int32_t LeapDaysThrough(int32_t n);
// 365 * y + LeapDaysThrough(y - 1).
int32_t DaysToYear(int32_t y);
// 1 for a leap year, else 0; a year below 100 is first expanded (window 80).
int IsLeapYear(int32_t year);
// A year of 100 or more unchanged; a smaller one placed within the hundred
// years from (current year - window) to (current year - window + 99).
int32_t ExpandYear(int32_t year, int8_t window);
// 0 if the parts name a date of 1801..9999, else -1.
int ValidateParts(int32_t month, int32_t day, int32_t year);
// The standard date of the parts, or -1. Inline below: callers convert
// dates in loops.
inline int32_t PartsToDate(const DateParts& parts);
// 0 with the parts filled, or -1 with all parts 0 for an invalid date.
int DateToParts(int32_t date, DateParts& parts);
// 0 with the parts filled, or -1 with all parts 0 for an invalid time.
int TimeToParts(int32_t time, TimeParts& parts);
// The standard time of the parts; 0 for all-zero parts, -1 if one is out of range.
int32_t PartsToTime(const TimeParts& parts);

// Language-level functions.

// The standard date of month/day/year with overflowing months and days
// rolled into the following ones; -1 if the result is not a valid date.
int32_t DATE(int32_t month, int32_t day, int32_t year);
int32_t TODAY();
int32_t CLOCK();
// Day of month, month and four-digit year of a date; 0 for an invalid date.
int32_t DAY(int32_t date);
int32_t MONTH(int32_t date);
int32_t YEAR(int32_t date);
// The age at `base` of someone born at `birth`, as "n DAYS", "n MOS" or
// "n YRS"; base -1 means today.
std::string AGE(int32_t birth, int32_t base = -1);

// The 4-byte DATE storage type: day, month, year (little-endian 16-bit).
struct DateStorage {
    std::array<uint8_t, 4> bytes{};
    bool operator==(const DateStorage&) const = default;
};
// The 4-byte TIME storage type: hundredths, second, minute, hour.
struct TimeStorage {
    std::array<uint8_t, 4> bytes{};
    bool operator==(const TimeStorage&) const = default;
};

DateStorage LongToDate(int32_t date);
int32_t DateToLong(DateStorage stored);
TimeStorage LongToTime(int32_t time);
int32_t TimeToLong(TimeStorage stored);

// Forgets the cached current year, so that the next two-digit expansion reads
// the clock again. The runtime reads it once per process; tests that install
// another clock call this.
void ResetCurrentYearCache();

namespace date_detail {

// Days from 1 March of year 0 to day 0 (28 December 1800).
constexpr int32_t MarchZeroToDayZero = 657'738;

// Per month byte (0 to 255): the days that are valid whatever the year
// (28 for February, 0 for a byte that is no month), whether the month lies
// before March (and so counts in the previous year of a calendar that starts
// on 1 March), and the standard date of day 0 of the month in year 0 of that
// calendar.
struct MonthEntry {
    int32_t day_zero;
    uint8_t sure_days;
    uint8_t before_march;
};
inline constexpr std::array<MonthEntry, 256> MonthEntries = [] {
    constexpr uint8_t Lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    constexpr int32_t FromMarch[12] = {306, 337, 0, 31, 61, 92, 122, 153, 184, 214, 245, 275};
    std::array<MonthEntry, 256> entries{};
    for (int m = 1; m <= 12; ++m)
        entries[m] = {FromMarch[m - 1] - 1 - MarchZeroToDayZero, Lengths[m - 1],
                      m <= 2 ? uint8_t{1} : uint8_t{0}};
    return entries;
}();

} // namespace date_detail

inline int32_t PartsToDate(const DateParts& parts) {
    // The checks of ValidateParts arranged so that a valid date meets two
    // branches that it always takes the same way (shuffled dates would
    // mispredict any other): the year against its range, where a two-digit
    // year is first expanded, and the day against the days its month has in
    // every year, found with the rest of the month's constants by the month
    // byte alone (no month has none). Only 29 February and invalid days go
    // further. Days are counted from 1 March, so the leap day needs no
    // correction in the sum.
    int32_t year = parts.year;
    if (static_cast<uint32_t>(year - FirstValidYear) > uint32_t{LastValidYear - FirstValidYear})
        [[unlikely]] {
        if (year >= 100)
            return -1;
        year = ExpandYear(year, DefaultCenturyWindow);
        if (static_cast<uint32_t>(year - FirstValidYear) > uint32_t{LastValidYear - FirstValidYear})
            return -1;
    }
    const date_detail::MonthEntry& month = date_detail::MonthEntries[parts.month];
    const uint32_t day = parts.day;
    if (day - 1 >= month.sure_days) [[unlikely]] {
        if (!(parts.month == 2 && day == 29 && IsLeapYear(year) != 0))
            return -1;
    }
    const uint32_t y = static_cast<uint32_t>(year) - month.before_march;
    const uint32_t century = y / 100;
    return static_cast<int32_t>(365 * y + y / 4 - century + century / 4 + day) + month.day_zero;
}

} // namespace morvex

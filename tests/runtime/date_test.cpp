#include "runtime/date.h"
#include "tests/support/fixed_clock.h"

#include <chrono>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

namespace morvex {
namespace {

using namespace std::chrono;
using testing::FixedClock;

constexpr sys_days DayZero = sys_days{1800y / December / 28};

year_month_day chrono_date(int32_t date) {
    return year_month_day{DayZero + days{date}};
}

int32_t chrono_standard_date(int64_t y, int m, int d) {
    return static_cast<int32_t>((sys_days{year{static_cast<int>(y)} / month{static_cast<unsigned>(m)} /
                                          day{static_cast<unsigned>(d)}} -
                                 DayZero)
                                    .count());
}

TEST(DateConversion, EveryValidDateSplitsAndJoinsLikeChrono) {
    // Both directions over the whole range, against an independent calendar.
    int mismatches = 0;
    for (int32_t date = FirstValidDate; date <= LastValidDate && mismatches < 5; ++date) {
        const year_month_day expected = chrono_date(date);
        DateParts parts;
        const bool split = DateToParts(date, parts) == 0;
        const bool same = split && parts.year == static_cast<int>(expected.year()) &&
                          parts.month == static_cast<unsigned>(expected.month()) &&
                          parts.day == static_cast<unsigned>(expected.day());
        if (!same || PartsToDate(parts) != date) {
            ADD_FAILURE() << "date " << date << " split into " << parts.year << "-" << int{parts.month} << "-"
                          << int{parts.day};
            ++mismatches;
        }
    }
    for (int32_t date = LastValidDate; date >= FirstValidDate && mismatches < 5; date -= 997) {
        const year_month_day expected = chrono_date(date);
        DateParts parts{static_cast<int>(expected.year()), static_cast<uint8_t>(unsigned{expected.day()}),
                        static_cast<uint8_t>(unsigned{expected.month()})};
        if (PartsToDate(parts) != date) {
            ADD_FAILURE() << "parts of " << date << " joined into " << PartsToDate(parts);
            ++mismatches;
        }
    }
}

TEST(DateConversion, WeekdayIsTheDateModuloSeven) {
    for (int32_t date = FirstValidDate; date <= LastValidDate; date += 12'345)
        EXPECT_EQ(date % 7, static_cast<int>(weekday{DayZero + days{date}}.c_encoding())) << date;
}

TEST(DateConversion, DatesOutsideTheRangeDoNotSplit) {
    for (int32_t date :
         {3, 2'994'627, 0, 1, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        DateParts parts{2001, 5, 5};
        EXPECT_EQ(DateToParts(date, parts), -1) << date;
        EXPECT_EQ(parts.year, 0);
        EXPECT_EQ(parts.month, 0);
        EXPECT_EQ(parts.day, 0);
        EXPECT_EQ(DAY(date), 0);
        EXPECT_EQ(MONTH(date), 0);
        EXPECT_EQ(YEAR(date), 0);
    }
}

struct PartsCase {
    int32_t year;
    int month;
    int day;
    int32_t expected;
};

class PartsToDateCases : public ::testing::TestWithParam<PartsCase> {};

TEST_P(PartsToDateCases, GiveTheStandardDateOrMinusOne) {
    const PartsCase& c = GetParam();
    EXPECT_EQ(PartsToDate(DateParts{c.year, static_cast<uint8_t>(c.day), static_cast<uint8_t>(c.month)}),
              c.expected);
    EXPECT_EQ(ValidateParts(c.month, c.day, c.year), c.expected == -1 ? -1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, PartsToDateCases,
                         ::testing::Values(PartsCase{1801, 1, 1, 4}, PartsCase{9999, 12, 31, 2'994'626},
                                           PartsCase{1900, 1, 1, 36'163}, PartsCase{2000, 1, 1, 72'687},
                                           PartsCase{2000, 2, 29, 72'746}, PartsCase{1900, 2, 29, -1},
                                           PartsCase{2023, 2, 29, -1}, PartsCase{2024, 2, 29, 81'512},
                                           PartsCase{1800, 12, 31, -1}, PartsCase{10000, 1, 1, -1},
                                           PartsCase{1500, 6, 1, -1}, PartsCase{2001, 13, 1, -1},
                                           PartsCase{2001, 0, 1, -1}, PartsCase{2001, 4, 31, -1},
                                           PartsCase{2001, 4, 0, -1}));

TEST(DateConversion, EveryMonthAndDayByteIsJudgedLikeChrono) {
    // Every byte value of month and day, in leap and common years and at the
    // ends of the range: valid parts give chrono's date, all others -1.
    for (const int32_t y : {1801, 1900, 2000, 2023, 2024, 9999}) {
        for (int m = 0; m < 256; ++m) {
            for (int d = 0; d < 256; ++d) {
                const year_month_day parts{year{y}, month{static_cast<unsigned>(m)},
                                           day{static_cast<unsigned>(d)}};
                const int32_t expected = parts.ok() ? chrono_standard_date(y, m, d) : -1;
                ASSERT_EQ(PartsToDate(DateParts{y, static_cast<uint8_t>(d), static_cast<uint8_t>(m)}),
                          expected)
                    << y << "-" << m << "-" << d;
            }
        }
    }
}

TEST(DateConversion, LeapDayHelpers) {
    EXPECT_EQ(LeapDaysThrough(1800), 436);
    EXPECT_EQ(LeapDaysThrough(2000), 485);
    EXPECT_EQ(DaysToYear(1801), 365 * 1801 + 436);
    EXPECT_EQ(IsLeapYear(1900), 0);
    EXPECT_EQ(IsLeapYear(2000), 1);
    EXPECT_EQ(IsLeapYear(2023), 0);
    EXPECT_EQ(IsLeapYear(2024), 1);
}

struct DateCase {
    int32_t month;
    int32_t day;
    int32_t year;
    int32_t expected; // standard date, or -1
    const char* label;
};

class DateFunctionCases : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateFunctionCases, RollOverflowingMonthsAndDays) {
    const DateCase& c = GetParam();
    EXPECT_EQ(DATE(c.month, c.day, c.year), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateFunctionCases,
    ::testing::Values(
        DateCase{2, 29, 2023, chrono_standard_date(2023, 3, 1), "leap day of a common year"},
        DateCase{12, 32, 2023, chrono_standard_date(2024, 1, 1), "day past December"},
        DateCase{14, 30, 2023, chrono_standard_date(2024, 3, 1), "month and day both overflow"},
        DateCase{13, 1, 2023, chrono_standard_date(2024, 1, 1), "month 13"},
        DateCase{2, 30, 2023, chrono_standard_date(2023, 3, 2), "30 February"},
        DateCase{1, 400, 2023, chrono_standard_date(2024, 2, 4), "day 400"},
        DateCase{1, 1, 1800, -1, "before the range"}, DateCase{1, 1, 10000, -1, "after the range"},
        DateCase{5, 0, 2023, -1, "day 0"}, DateCase{5, -3, 2023, -1, "negative day"},
        DateCase{12, 32, 1800, 4, "rolls from 1800 into the first valid day"},
        DateCase{1, 40'000, 1750, chrono_standard_date(1750, 1, 1) + 39'999, "rolls from 1750 into range"},
        DateCase{12, 32, 9999, -1, "rolls past the last valid day"},
        DateCase{0, 15, 2024, chrono_standard_date(2023, 12, 15), "month 0 is December before"},
        DateCase{-13, 1, 2024, chrono_standard_date(2022, 11, 1), "negative months roll backwards"},
        DateCase{1, std::numeric_limits<int32_t>::max(), 2000, -1, "largest day"},
        DateCase{std::numeric_limits<int32_t>::max(), 1, 2000, -1, "largest month"},
        DateCase{std::numeric_limits<int32_t>::min(), 1, 2000, -1, "smallest month"},
        DateCase{1, 1, std::numeric_limits<int32_t>::max(), -1, "largest year"}));

// The rolling as a program states it: a month at a time.
int32_t rolled_step_by_step(int32_t month, int32_t day, int32_t year) {
    static constexpr int Lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    year = ExpandYear(year, DefaultCenturyWindow);
    for (;;) {
        while (month > 12) {
            ++year;
            month -= 12;
        }
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        const int length = month == 2 && leap ? 29 : Lengths[month - 1];
        if (day <= length)
            break;
        day -= length;
        ++month;
    }
    return PartsToDate(DateParts{year, static_cast<uint8_t>(day), static_cast<uint8_t>(month)});
}

TEST(DateFunction, RollingMatchesMonthByMonthRolling) {
    std::mt19937 random(20011);
    std::uniform_int_distribution<int32_t> months(1, 40), days(1, 1500), years(1780, 10'010);
    for (int i = 0; i < 200'000; ++i) {
        const int32_t m = months(random), d = days(random), y = years(random);
        ASSERT_EQ(DATE(m, d, y), rolled_step_by_step(m, d, y)) << m << "/" << d << "/" << y;
    }
}

TEST(DateFunction, PartsOfADateComeBack) {
    const int32_t date = DATE(8, 10, 2001);
    EXPECT_EQ(DAY(date), 10);
    EXPECT_EQ(MONTH(date), 8);
    EXPECT_EQ(YEAR(date), 2001);
    EXPECT_EQ(date % 7, 5); // a Friday
}

TEST(ExpandYear, TwoDigitYearsFallInTheWindowAroundTheCurrentYear) {
    FixedClock clock({2026, 12, 7, 10, 0, 0, 0});
    EXPECT_EQ(ExpandYear(45, 80), 2045);
    EXPECT_EQ(ExpandYear(46, 80), 1946);
    EXPECT_EQ(ExpandYear(0, 80), 2000);
    EXPECT_EQ(ExpandYear(99, 80), 1999);
    EXPECT_EQ(ExpandYear(100, 80), 100);
    EXPECT_EQ(ExpandYear(2001, 80), 2001);
    EXPECT_EQ(ExpandYear(75, 50), 2075);
    EXPECT_EQ(ExpandYear(76, 50), 1976);
    for (int32_t y = 0; y < 100; ++y) {
        const int32_t expanded = YEAR(DATE(1, 1, y));
        EXPECT_GE(expanded, 2026 - 80) << y;
        EXPECT_LE(expanded, 2026 + 19) << y;
        EXPECT_EQ(expanded % 100, y);
    }
    EXPECT_EQ(IsLeapYear(0), 1); // 2000
}

TEST(ExpandYear, CurrentYearIsReadOnceAndKept) {
    FixedClock clock({2026, 1, 1, 0, 0, 0, 0});
    EXPECT_EQ(ExpandYear(50, 80), 1950);
    platform::set_local_clock([] { return platform::LocalDateTime{2090, 1, 1, 0, 0, 0, 0}; });
    EXPECT_EQ(ExpandYear(50, 80), 1950);
    ResetCurrentYearCache(); // now 2010..2109
    EXPECT_EQ(ExpandYear(50, 80), 2050);
    EXPECT_EQ(ExpandYear(5, 80), 2105);
    EXPECT_EQ(ExpandYear(10, 80), 2010);
}

TEST(TodayAndClock, ReadTheLocalClock) {
    FixedClock clock({2001, 8, 10, 13, 45, 30, 678});
    EXPECT_EQ(TODAY(), DATE(8, 10, 2001));
    EXPECT_EQ(CLOCK(), 13 * 360'000 + 45 * 6'000 + 30 * 100 + 67 + 1);
    // Midnight is time 1, not "no time".
    clock.set({2001, 8, 10, 0, 0, 0, 9});
    EXPECT_EQ(CLOCK(), 1);
    clock.set({2001, 8, 10, 23, 59, 59, 999});
    EXPECT_EQ(CLOCK(), LastValidTime);
}

TEST(TimeConversion, BoundsAndInvalidValues) {
    TimeParts parts;
    ASSERT_EQ(TimeToParts(1, parts), 0);
    EXPECT_EQ(parts.hour + parts.minute + parts.second + parts.hundredths, 0);
    ASSERT_EQ(TimeToParts(LastValidTime, parts), 0);
    EXPECT_EQ(parts.hour, 23);
    EXPECT_EQ(parts.minute, 59);
    EXPECT_EQ(parts.second, 59);
    EXPECT_EQ(parts.hundredths, 99);
    for (int32_t invalid : {0, -1, LastValidTime + 1, std::numeric_limits<int32_t>::min()}) {
        TimeParts cleared{1, 2, 3, 4};
        EXPECT_EQ(TimeToParts(invalid, cleared), -1) << invalid;
        EXPECT_EQ(cleared.hour + cleared.minute + cleared.second + cleared.hundredths, 0);
    }
    EXPECT_EQ(PartsToTime(TimeParts{23, 59, 59, 99}), LastValidTime);
    EXPECT_EQ(PartsToTime(TimeParts{24, 0, 0, 0}), -1);
    EXPECT_EQ(PartsToTime(TimeParts{0, 60, 0, 0}), -1);
    EXPECT_EQ(PartsToTime(TimeParts{0, 0, 60, 0}), -1);
    EXPECT_EQ(PartsToTime(TimeParts{0, 0, 0, 100}), -1);
    EXPECT_EQ(PartsToTime(TimeParts{0, 0, 0, 0}), 0);
}

TEST(TimeConversion, EveryValidTimeAfterMidnightRoundTrips) {
    // Midnight splits into all-zero parts, which join as "no time".
    TimeParts parts;
    ASSERT_EQ(TimeToParts(1, parts), 0);
    EXPECT_EQ(PartsToTime(parts), 0);
    for (int32_t time = 2; time <= LastValidTime; ++time) {
        if (TimeToParts(time, parts) != 0 || PartsToTime(parts) != time)
            FAIL() << time;
    }
}

struct AgeCase {
    int32_t birth;
    int32_t base;
    std::string expected;
};

class AgeCases : public ::testing::TestWithParam<AgeCase> {};

TEST_P(AgeCases, GiveDaysMonthsOrYears) {
    EXPECT_EQ(AGE(GetParam().birth, GetParam().base), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, AgeCases,
                         ::testing::Values(AgeCase{DATE(3, 1, 2024) - 45, DATE(3, 1, 2024), "45 DAYS"},
                                           AgeCase{DATE(3, 1, 2024) - 60, DATE(3, 1, 2024), "60 DAYS"},
                                           AgeCase{DATE(3, 1, 2024), DATE(3, 1, 2024), "0 DAYS"},
                                           AgeCase{DATE(12, 31, 2023), DATE(3, 1, 2024), "2 MOS"},
                                           AgeCase{DATE(3, 15, 2022), DATE(3, 15, 2024), "24 MOS"},
                                           AgeCase{DATE(3, 15, 2022), DATE(4, 15, 2024), "2 YRS"},
                                           AgeCase{DATE(3, 16, 2022), DATE(4, 15, 2024), "24 MOS"},
                                           AgeCase{DATE(5, 20, 1950), DATE(5, 19, 2001), "50 YRS"},
                                           AgeCase{DATE(5, 19, 1950), DATE(5, 19, 2001), "51 YRS"},
                                           // A birth date after the base is taken a hundred years earlier.
                                           AgeCase{DATE(6, 1, 2050), DATE(6, 1, 2001), "51 YRS"},
                                           AgeCase{DATE(6, 1, 1850), DATE(6, 1, 1801), std::string(255, '*')},
                                           AgeCase{DATE(6, 1, 2001), DATE(5, 1, 1901),
                                                   std::string(255, '*')}));

TEST(Age, OmittedBaseMeansToday) {
    FixedClock clock({2001, 8, 10, 12, 0, 0, 0});
    EXPECT_EQ(AGE(DATE(8, 1, 2001)), "9 DAYS");
}

TEST(DateStorage, ConvertsBothWays) {
    const int32_t date = DATE(8, 10, 2001);
    const DateStorage stored = LongToDate(date);
    EXPECT_EQ(stored, (DateStorage{{10, 8, 2001 & 0xFF, 2001 >> 8}}));
    EXPECT_EQ(DateToLong(stored), date);
    EXPECT_EQ(LongToDate(0), DateStorage{});
    EXPECT_EQ(LongToDate(3), DateStorage{});
    EXPECT_EQ(DateToLong(DateStorage{}), 0);
    EXPECT_EQ(DateToLong(DateStorage{{1, 1, 0xFF, 0xFF}}), LastValidDate);
    EXPECT_EQ(DateToLong(DateStorage{{30, 2, 2023 & 0xFF, 2023 >> 8}}), DATE(3, 2, 2023));
    EXPECT_EQ(DateToLong(DateStorage{{1, 1, 1800 & 0xFF, 1800 >> 8}}), 0);
}

TEST(TimeStorage, ConvertsBothWays) {
    const int32_t time = 13 * 360'000 + 45 * 6'000 + 30 * 100 + 67 + 1;
    const TimeStorage stored = LongToTime(time);
    EXPECT_EQ(stored, (TimeStorage{{67, 30, 45, 13}}));
    EXPECT_EQ(TimeToLong(stored), time);
    EXPECT_EQ(LongToTime(0), TimeStorage{});
    EXPECT_EQ(TimeToLong(TimeStorage{}), 0);
    EXPECT_EQ(TimeToLong(TimeStorage{{0, 0, 0, 24}}), -1);
}

} // namespace
} // namespace morvex

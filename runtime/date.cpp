// Date and time conversions. DateToParts uses Euclidean affine functions
// (Neri and Schneider) on a calendar that starts on 1 March of year 0, so a
// date splits with a handful of multiplications and no correction loop;
// PartsToDate (inline in date.h) is the closed formula over leap days.
#include "runtime/date.h"

#include "platform/local_clock.h"

#include <new>
#include <optional>

namespace morvex {

namespace {

constexpr int32_t MonthLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr uint32_t MarchZeroToDayZero = date_detail::MarchZeroToDayZero;

constexpr bool is_leap(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int32_t month_length(int64_t year, int32_t month) {
    return month == 2 && is_leap(year) ? 29 : MonthLength[month - 1];
}

constexpr int64_t floor_div(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since day 0 of any proleptic Gregorian date, for rolling arithmetic
// that may pass through years outside the valid range.
constexpr int64_t days_from_civil(int64_t year, int32_t month, int32_t day) {
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = floor_div(y, 400);
    const int64_t year_of_era = y - era * 400;
    const int64_t shifted_month = month > 2 ? month - 3 : month + 9;
    const int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146'097 + day_of_era - MarchZeroToDayZero;
}

static_assert(days_from_civil(1801, 1, 1) == FirstValidDate);
static_assert(days_from_civil(9999, 12, 31) == LastValidDate);
static_assert(days_from_civil(2000, 1, 1) == 72'687);

std::optional<int32_t> g_current_year;

int32_t current_year() {
    if (!g_current_year)
        g_current_year = platform::read_local_time().year;
    return *g_current_year;
}

int32_t expand_default(int32_t year) {
    return year < 100 ? ExpandYear(year, DefaultCenturyWindow) : year;
}

} // namespace

int32_t LeapDaysThrough(int32_t n) {
    return n / 4 - n / 100 + n / 400;
}

int32_t DaysToYear(int32_t y) {
    return 365 * y + LeapDaysThrough(y - 1);
}

int IsLeapYear(int32_t year) {
    return is_leap(expand_default(year)) ? 1 : 0;
}

int32_t ExpandYear(int32_t year, int8_t window) {
    if (year >= 100)
        return year;
    const int64_t current = current_year();
    const int64_t distance = current % 100 - year;
    int64_t result = current - distance;
    if (distance <= window - 100)
        result -= 100;
    else if (distance > window)
        result += 100;
    return static_cast<int32_t>(result);
}

int ValidateParts(int32_t month, int32_t day, int32_t year) {
    year = expand_default(year);
    if (year < FirstValidYear || year > LastValidYear || month < 1 || month > 12)
        return -1;
    return day >= 1 && day <= month_length(year, month) ? 0 : -1;
}

int DateToParts(int32_t date, DateParts& parts) {
    if (date < FirstValidDate || date > LastValidDate) {
        parts = DateParts{};
        return -1;
    }
    // Century and day of century, then year of century and day of year, all
    // counted from 1 March so that the leap day falls at the end of a year.
    const uint32_t n = static_cast<uint32_t>(date) + MarchZeroToDayZero;
    const uint32_t n1 = 4 * n + 3;
    const uint32_t century = n1 / 146'097;
    const uint32_t day_of_century = n1 % 146'097 / 4;
    const uint64_t p2 = uint64_t{2'939'745} * (4 * day_of_century + 3);
    const uint32_t year_of_century = static_cast<uint32_t>(p2 >> 32);
    const uint32_t day_of_year = static_cast<uint32_t>(p2) / 2'939'745 / 4;
    const uint32_t n3 = 2141 * day_of_year + 197'913;
    const uint32_t month = n3 >> 16;
    const uint32_t day = (n3 & 0xFFFF) / 2141 + 1;
    const bool after_december = day_of_year >= 306;

    parts.year = static_cast<int32_t>(100 * century + year_of_century + after_december);
    parts.month = static_cast<uint8_t>(after_december ? month - 12 : month);
    parts.day = static_cast<uint8_t>(day);
    return 0;
}

int TimeToParts(int32_t time, TimeParts& parts) {
    if (time < 1 || time > LastValidTime) {
        parts = TimeParts{};
        return -1;
    }
    const int32_t u = time - 1;
    parts.hour = static_cast<uint8_t>(u / 360'000);
    parts.minute = static_cast<uint8_t>(u % 360'000 / 6'000);
    parts.second = static_cast<uint8_t>(u % 6'000 / 100);
    parts.hundredths = static_cast<uint8_t>(u % 100);
    return 0;
}

int32_t PartsToTime(const TimeParts& parts) {
    if (parts.hour == 0 && parts.minute == 0 && parts.second == 0 && parts.hundredths == 0)
        return 0;
    if (parts.hour > 23 || parts.minute > 59 || parts.second > 59 || parts.hundredths > 99)
        return -1;
    return parts.hour * 360'000 + parts.minute * 6'000 + parts.second * 100 + parts.hundredths + 1;
}

int32_t DATE(int32_t month, int32_t day, int32_t year) {
    // Rolling a day over month by month lands exactly where adding (day - 1)
    // days to the first of the month does, so the roll is one addition. A
    // month below 1 rolls backwards into the previous years.
    if (day < 1)
        return -1;
    const int64_t months = int64_t{expand_default(year)} * 12 + (int64_t{month} - 1);
    const int64_t rolled_year = floor_div(months, 12);
    const int32_t rolled_month = static_cast<int32_t>(months - rolled_year * 12) + 1;
    if (rolled_year > LastValidYear)
        return -1; // rolling only moves forwards
    const int64_t date = days_from_civil(rolled_year, rolled_month, 1) + (day - 1);
    return date >= FirstValidDate && date <= LastValidDate ? static_cast<int32_t>(date) : -1;
}

int32_t TODAY() {
    const platform::LocalDateTime now = platform::read_local_time();
    return PartsToDate(DateParts{now.year, static_cast<uint8_t>(now.day), static_cast<uint8_t>(now.month)});
}

int32_t CLOCK() {
    // Computed directly rather than through PartsToTime, whose all-zero parts
    // mean "no time": the first hundredth after midnight is time 1.
    const platform::LocalDateTime now = platform::read_local_time();
    return now.hour * 360'000 + now.minute * 6'000 + now.second * 100 + now.millisecond / 10 + 1;
}

int32_t DAY(int32_t date) {
    DateParts parts;
    DateToParts(date, parts);
    return parts.day;
}

int32_t MONTH(int32_t date) {
    DateParts parts;
    DateToParts(date, parts);
    return parts.month;
}

int32_t YEAR(int32_t date) {
    DateParts parts;
    DateToParts(date, parts);
    return parts.year;
}

std::string AGE(int32_t birth, int32_t base) {
    if (base == -1)
        base = TODAY();
    DateParts base_parts;
    DateParts birth_parts;
    DateToParts(base, base_parts);
    DateToParts(birth, birth_parts);

    if (birth > base) {
        birth_parts.year -= 100;
        birth = PartsToDate(birth_parts);
        if (birth < 0 || birth > base) {
            try {
                return std::string(255, '*');
            } catch (const std::bad_alloc&) {
                return {};
            }
        }
    }

    const int32_t days = base - birth;
    if (days < 61)
        return std::to_string(days) + " DAYS";

    int32_t months = (base_parts.year - birth_parts.year) * 12 + (base_parts.month - birth_parts.month);
    if (base_parts.day < birth_parts.day)
        --months;
    if (months <= 24)
        return std::to_string(months) + " MOS";

    int32_t years = base_parts.year - birth_parts.year;
    if (base_parts.month < birth_parts.month ||
        (base_parts.month == birth_parts.month && base_parts.day < birth_parts.day))
        --years;
    return std::to_string(years) + " YRS";
}

DateStorage LongToDate(int32_t date) {
    DateParts parts;
    if (DateToParts(date, parts) != 0)
        return {};
    const auto year = static_cast<uint16_t>(parts.year);
    return DateStorage{
        {parts.day, parts.month, static_cast<uint8_t>(year & 0xFF), static_cast<uint8_t>(year >> 8)}};
}

int32_t DateToLong(DateStorage stored) {
    int32_t day = stored.bytes[0];
    int32_t month = stored.bytes[1];
    int32_t year = stored.bytes[2] | stored.bytes[3] << 8;
    if (year > LastValidYear) {
        day = 31;
        month = 12;
        year = LastValidYear;
    }
    const int32_t date = DATE(month, day, year);
    return date == -1 ? 0 : date;
}

TimeStorage LongToTime(int32_t time) {
    TimeParts parts;
    if (TimeToParts(time, parts) != 0)
        return {};
    return TimeStorage{{parts.hundredths, parts.second, parts.minute, parts.hour}};
}

int32_t TimeToLong(TimeStorage stored) {
    return PartsToTime(TimeParts{stored.bytes[3], stored.bytes[2], stored.bytes[1], stored.bytes[0]});
}

void ResetCurrentYearCache() {
    g_current_year.reset();
}

} // namespace morvex

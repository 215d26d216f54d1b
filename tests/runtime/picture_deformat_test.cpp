#include "runtime/locale.h"
#include "tests/runtime/picture_test_support.h"
#include "tests/support/fixed_clock.h"

#include <string>

namespace morvex {
namespace {

using namespace picture_testing;
using testing::FixedClock;

// Two-digit years read back relative to the current year: fixed at 2024.
class WithCurrentYear2024 : public ::testing::Test {
protected:
    FixedClock m_clock{platform::LocalDateTime{2024, 6, 15, 12, 0, 0, 0}};
};

struct DeformatCase {
    std::string_view text;
    std::string_view picture;
    std::string expected;
    std::string_view label;
};

class PictureDeformat : public ::testing::TestWithParam<DeformatCase> {
protected:
    FixedClock m_clock{platform::LocalDateTime{2024, 6, 15, 12, 0, 0, 0}};
};

TEST_P(PictureDeformat, ReadsTheValueBack) {
    const DeformatCase& row = GetParam();
    EXPECT_EQ(deformat(row.text, row.picture), row.expected) << '"' << row.text << "\" " << row.picture;
}

std::string n(int64_t value) {
    return std::to_string(value);
}

const DeformatCase DateCases[] = {
    {"1/5/23", "@D1", n(date_of(2023, 1, 5)), "ShortFieldsEndAtTheSeparator"},
    {" 1/05/23", "@D1", n(date_of(2023, 1, 5)), "FormattedDate"},
    {"2/30/23", "@D1", n(date_of(2023, 3, 2)), "RollsOverLikeDATE"},
    {"13/01/23", "@D1", n(date_of(2024, 1, 1)), "MonthThirteenRollsIntoTheNextYear"},
    {"1/0/23", "@D1", "-1", "DayZeroIsInvalid"},
    {"  /  /  ", "@D1", "0", "EmptyDateIsZero"},
    {"", "@D1", "0", "EmptyTextIsZero"},
    {"1/5/80", "@D1", n(date_of(1980, 1, 5)), "WindowEightyReachesBack"},
    {"1/5/43", "@D1", n(date_of(2043, 1, 5)), "WindowEightyReachesNineteenAhead"},
    {"1/5/44", "@D1", n(date_of(1944, 1, 5)), "WindowEightyWrapsBack"},
    {"1/5/34", "@D1>10", n(date_of(2034, 1, 5)), "WindowTenAhead"},
    {"1/5/35", "@D1>10", n(date_of(1935, 1, 5)), "WindowTenAheadWrapsBack"},
    {"1/5/14", "@D1<10", n(date_of(2014, 1, 5)), "WindowTenBack"},
    {"1/5/13", "@D1<10", n(date_of(2113, 1, 5)), "WindowTenBackWrapsAhead"},
    {" 1/05/1923", "@D2", n(date_of(1923, 1, 5)), "FourDigitYearIsNotExpanded"},
    {"NOV 25,2023", "@D3", n(date_of(2023, 11, 25)), "MonthName"},
    {"nov 25,2023", "@D3", n(date_of(2023, 11, 25)), "MonthNameInAnyCase"},
    {"XYZ 25,2023", "@D3", "-1", "UnknownMonthNameIsRejected"},
    {"   ,       ", "@D3", "0", "BlankNameAndDigitsIsZero"},
    {"May  9, 2023", "@D4", n(date_of(2023, 5, 9)), "FullNameLettersArePassedOver"},
    {"November 25, 2023    ", "@D4", n(date_of(2023, 11, 25)), "LongestName"},
    {" 5 JAN 23", "@D7", n(date_of(2023, 1, 5)), "NameBetweenSpaceSeparators"},
    {"230105", "@D11", n(date_of(2023, 1, 5)), "NoSeparators"},
    {"01/23", "@D13", n(date_of(2023, 1, 1)), "MonthAndYearReadAsTheFirst"},
    {"2023/11", "@D16", n(date_of(2023, 11, 1)), "YearAndMonthReadAsTheFirst"},
    {"*1/05/23", "@D*1", n(date_of(2023, 1, 5)), "FillBeforeDigitsIsPassedOver"},
    {" 1-05-23", "@D1-", n(date_of(2023, 1, 5)), "ChosenSeparator"},
    {"01/05/23", "@D17", n(date_of(2023, 1, 5)), "LocaleShortDate"},
    {"January 05, 2023", "@D18", n(date_of(2023, 1, 5)), "LocaleLongDate"},
};

const DeformatCase TimeCases[] = {
    {"12:15AM", "@T3", n(time_of(0, 15)), "QuarterPastMidnight"},
    {"12:00AM", "@T3", "1", "MidnightIsOneNotZero"},
    {"12:30PM", "@T3", n(time_of(12, 30)), "HalfPastNoon"},
    {" 9:05pm", "@T3", n(time_of(21, 5)), "AfternoonInAnyCase"},
    {"9:05", "@T3", n(time_of(9, 5)), "WithoutAmPm"},
    {"23:59:59", "@T4", n(time_of(23, 59, 59)), "LastSecond"},
    {" 9:05:07", "@T4", n(time_of(9, 5, 7)), "SuppressedTens"},
    {" 0:00:00", "@T4", "0", "AllZeroIsNoTime"},
    {"24:00:00", "@T4", "-1", "HourTwentyFour"},
    {"12:60:00", "@T4", "-1", "MinuteSixty"},
    {"12:00:60", "@T4", "-1", "SecondSixty"},
    {"210507", "@T5", n(time_of(21, 5, 7)), "NoSeparators"},
    {"09:05 PM", "@T7", n(time_of(21, 5)), "LocaleTime"},
    {"09.05", "@T1.", n(time_of(9, 5)), "ChosenSeparator"},
};

const DeformatCase NumberCases[] = {
    {"  1,234.57", "@N10.2", "001234.57", "BlankDigitsReadAsZeros"},
    {"-     5.00", "@N-10.2", "-00005.00", "LeadingSign"},
    {"(1,234.50)", "@N(10.2)", "-1234.50", "Parentheses"},
    {"     5.00-", "@N10.2-", "-00005.00", "TrailingSign"},
    {" -  5", "@N-5", "-005", "SignMovedIntoAGroup"},
    {"$ 1,234.50", "@N$10.2", "01234.50", "CurrencyIsSkipped"},
    {"  1.234,50", "@N10`2", "001234.50", "CommaDecimal"},
    {"000123456 ", "@N010V2", "0001234.56", "ImpliedPointTakesNoPosition"},
    {"123456789", "@N10v2", "1234567.89", "ImpliedPointTextOfThePrintedWidthReadsByPosition"},
    {"1", "@N10v2", "1", "ShortTextUnderAnImpliedPointIsAPlainNumber"},
    {"12345", "@N10v2", "12345", "ShortDigitsUnderAnImpliedPointAreAWholeNumber"},
    {"123.45", "@N10v2", "123.45", "ShortTextUnderAnImpliedPointTakesItsOwnPoint"},
    {"1.234,5", "@N10.v2", "1234.5", "ImpliedPointWithPeriodGroupsTakesACommaPoint"},
    {"1234567890", "@N10v2", "1234567890", "LongTextUnderAnImpliedPointKeepsEveryDigit"},
    {"12345678901", "@N10.2", "12345678901", "LongTextReadsAsAPlainNumber"},
    {"      0.00", "@N10.2", "000000.00", "Zero"},
    {"", "@N10.2", "", "EmptyTextHasNoDigits"},
    {"1,234.50", "@N10.2", "1234.50", "ShortTextReadsAsAPlainNumber"},
    {"-12.5", "@N10.2", "-12.5", "ShortNegativeText"},
    {"(1,000)", "@N10.2", "-1000", "ShortTextInParentheses"},
    {"1.234,5", "@N10`2", "1234.5", "ShortTextUsesThePicturesDecimalMark"},
    {" 1.2346E+004", "@E12", "1.2346e+004", "Scientific"},
    {"-1.2345E-004", "@E12", "-1.2345e-004", "ScientificMinusExponentIsNotASign"},
    {"(555)123-4567", "@P(###)###-####P", "5551234567", "PatternLiteralsAreNotSigns"},
    {" 1/05", "@P<#/##P", "0105", "PatternBlankDigitIsZero"},
    {"123-456", "@K###-###K", "123456", "KeyInReadsOnlyTheDigits"},
    {"ab-c?", "@K@^_?|K", "ab-c", "KeyInPositionsKeepTheirCharacters"},
    {"abc12.5xyz", "@S20", "12.5", "StringKeepsTheNumber"},
    {"-1.5e-3", "@S20", "-1.5e-3", "StringKeepsSignAndExponent"},
    {"hello 12", "@S20", "12", "ExponentLetterNeedsADigitFirst"},
    {"1.2.3e5.5", "@S20", "1.23e55", "OnePointBeforeTheExponent"},
    {"12-3", "@S20", "123", "SignOnlyFirst"},
    {"123456", "@S3", "123", "StringReadsItsWidth"},
    {"anything", "@D0", "", "InvalidPictureGivesNothing"},
};

INSTANTIATE_TEST_SUITE_P(Dates, PictureDeformat, ::testing::ValuesIn(DateCases), label_name<DeformatCase>);
INSTANTIATE_TEST_SUITE_P(Times, PictureDeformat, ::testing::ValuesIn(TimeCases), label_name<DeformatCase>);
INSTANTIATE_TEST_SUITE_P(Numbers, PictureDeformat, ::testing::ValuesIn(NumberCases),
                         label_name<DeformatCase>);

TEST(PictureDeformatWindow, TwoDigitYearLandsRightInEveryCurrentYearFrom2004To2103) {
    const std::string expected = std::to_string(DATE(1, 5, 2023));
    FixedClock clock({2004, 1, 1});
    for (int year = 2004; year <= 2103; ++year) {
        clock.set({year, 7, 1});
        EXPECT_EQ(deformat("1/5/23", "@D1"), expected) << year;
    }
}

TEST(PictureDeformatBuffer, ResultStaysValidUntilTheNextCall) {
    const CompiledPicture picture = compiled("@N10.2");
    const std::string_view first = DEFORMAT("  1,234.57", picture);
    EXPECT_EQ(first, "001234.57");
    const std::string_view second = DEFORMAT("     12.00", picture);
    EXPECT_EQ(second, "000012.00");
    EXPECT_EQ(first.data(), second.data()) << "one shared buffer";
    EXPECT_EQ(first, "000012.00") << "the next call replaced the first result";
}

// FORMAT then DEFORMAT gives the value back.

std::string round_trip(std::string_view picture_text, int64_t value) {
    return deformat(format(picture_text, value), picture_text);
}

TEST_F(WithCurrentYear2024, EveryFourDigitYearDatePictureRoundTrips) {
    for (const char* picture : {"@D2", "@D3", "@D4", "@D6", "@D8", "@D10", "@D12", "@D02", "@D*6", "@D2-",
                                "@D3.", "@D8_", "@D10`", "@D2B", "@D4<30"}) {
        for (int32_t date = date_of(1801, 1, 1); date <= LastValidDate; date += 4'999)
            ASSERT_EQ(round_trip(picture, date), std::to_string(date))
                << picture << " " << format(picture, date);
        EXPECT_EQ(round_trip(picture, LastValidDate), std::to_string(LastValidDate)) << picture;
    }
}

TEST_F(WithCurrentYear2024, TwoDigitYearPicturesRoundTripWithinTheirWindow) {
    // Window 80 in 2024: 1944..2043; >10 (window 89): 1935..2034.
    for (const char* picture : {"@D1", "@D5", "@D7", "@D9", "@D11", "@D01", "@D1-", "@D*5.", "@D17"}) {
        for (int32_t date = date_of(1944, 1, 1); date <= date_of(2043, 12, 31); date += 37)
            ASSERT_EQ(round_trip(picture, date), std::to_string(date))
                << picture << " " << format(picture, date);
    }
    for (int32_t date = date_of(1935, 1, 1); date <= date_of(2034, 12, 31); date += 37)
        ASSERT_EQ(round_trip("@D1>10", date), std::to_string(date)) << format("@D1>10", date);
    EXPECT_NE(round_trip("@D1", date_of(1943, 12, 31)), std::to_string(date_of(1943, 12, 31)));
}

TEST_F(WithCurrentYear2024, MonthYearPicturesRoundTripToTheFirst) {
    for (const char* picture : {"@D13", "@D14", "@D15", "@D16"}) {
        for (int32_t date = date_of(1950, 1, 1); date <= date_of(2040, 1, 1); date += 29) {
            DateParts parts;
            DateToParts(date, parts);
            ASSERT_EQ(round_trip(picture, date), std::to_string(DATE(parts.month, 1, parts.year))) << picture;
        }
    }
}

TEST_F(WithCurrentYear2024, LongLocaleDateRoundTrips) {
    for (int32_t date = date_of(1801, 1, 1); date <= LastValidDate; date += 997)
        ASSERT_EQ(round_trip("@D18", date), std::to_string(date)) << format("@D18", date);
}

TEST(PictureRoundTrip, EveryTimePictureRoundTrips) {
    // Hundredths are never shown; pictures without seconds show whole minutes.
    for (const char* picture : {"@T4", "@T5", "@T6", "@T8", "@T04.", "@T*6-", "@T4B"}) {
        for (int32_t time = time_of(0, 0, 1); time <= LastValidTime; time += 100 * 61)
            ASSERT_EQ(round_trip(picture, time), std::to_string(time))
                << picture << " " << format(picture, time);
    }
    for (const char* picture : {"@T1", "@T2", "@T3", "@T7", "@T01_", "@T3`"}) {
        for (int32_t time = time_of(0, 1); time <= LastValidTime; time += 6'000 * 7)
            ASSERT_EQ(round_trip(picture, time), std::to_string(time))
                << picture << " " << format(picture, time);
    }
    // Midnight reads back as midnight only where AM is shown.
    EXPECT_EQ(round_trip("@T3", 1), "1");
    EXPECT_EQ(round_trip("@T4", 1), "0");
}

TEST(PictureRoundTrip, NumericPicturesGiveTheValueBack) {
    for (const char* picture :
         {"@N-14.2", "@N(14.2)", "@N14.2-", "@N$-14.2", "@N-*14.2", "@N-014.2", "@N-_14.2", "@N-14`2",
          "@N-14_.2", "@N-014V2", "@N-17.2~ kr~", "@E16", "@P-##########P"}) {
        const CompiledPicture compiled_picture = compiled(picture);
        ASSERT_TRUE(compiled_picture.valid()) << picture;
        for (int64_t value = -99'999'999; value <= 99'999'999; value += 7'654'321) {
            const std::string text = format(picture, value);
            PictureNumber read;
            ASSERT_TRUE(PictureNumber::FromText(DEFORMAT(text, compiled_picture), read))
                << picture << " " << text;
            const bool signless = picture[1] == 'P'; // a pattern has no sign position
            EXPECT_EQ(read.negative, value < 0 && !signless) << picture << " " << text;
            PictureNumber expected = PictureNumber::FromInteger(value < 0 && signless ? -value : value);
            expected.negative = read.negative;
            EXPECT_EQ(std::string(read.digits, read.digit_count),
                      std::string(expected.digits, expected.digit_count))
                << picture << " " << text;
            EXPECT_EQ(read.exponent, expected.exponent) << picture << " " << text;
        }
    }
}

} // namespace
} // namespace morvex

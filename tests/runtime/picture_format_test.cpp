#include "runtime/char_tables.h"
#include "runtime/locale.h"
#include "tests/runtime/picture_test_support.h"

#include <cmath>
#include <limits>

namespace morvex {
namespace {

using namespace picture_testing;

// A value of any of the kinds FORMAT takes.
struct Value {
    enum class Kind { Integer, Real, Text } kind;
    int64_t integer = 0;
    double real = 0;
    const char* text = nullptr;

    Value(int v) : kind(Kind::Integer), integer(v) {}
    Value(int64_t v) : kind(Kind::Integer), integer(v) {}
    Value(double v) : kind(Kind::Real), real(v) {}
    Value(const char* v) : kind(Kind::Text), text(v) {}
};

std::string format_value(std::string_view picture, const Value& value) {
    switch (value.kind) {
    case Value::Kind::Integer:
        return format(picture, value.integer);
    case Value::Kind::Real:
        return format(picture, value.real);
    default:
        return format(picture, std::string_view(value.text));
    }
}

struct FormatCase {
    std::string_view picture;
    Value value;
    std::string_view expected;
    std::string_view label;
};

class PictureFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PictureFormat, GivesTheExpectedText) {
    const FormatCase& row = GetParam();
    EXPECT_EQ(format_value(row.picture, row.value), row.expected) << row.picture;
}

// -0.004999... with more digits than a number keeps: rounding them up gives
// -0.005, which the picture rounds to -0.01.
const std::string LongDigitText = "-0.004" + std::string(70, '9');
const int32_t Jan5 = date_of(2023, 1, 5);
const int32_t Nov25 = date_of(2023, 11, 25);
const int32_t Evening = time_of(21, 5, 7);
const int32_t Morning = time_of(9, 5, 7);

const FormatCase DateCases[] = {
    {"@D1", Jan5, " 1/05/23", "D1"},
    {"@D1", Nov25, "11/25/23", "D1November"},
    {"@D2", Jan5, " 1/05/2023", "D2"},
    {"@D3", Jan5, "JAN  5,2023", "D3"},
    {"@D3", Nov25, "NOV 25,2023", "D3November"},
    {"@D4", Jan5, "January  5, 2023     ", "D4"},
    {"@D4", Nov25, "November 25, 2023    ", "D4November"},
    {"@D4", date_of(2023, 5, 9), "May  9, 2023         ", "D4NameLeavesTrailingBlanks"},
    {"@D5", Jan5, " 5/01/23", "D5"},
    {"@D6", Nov25, "25/11/2023", "D6"},
    {"@D7", Jan5, " 5 JAN 23", "D7"},
    {"@D8", Nov25, "25 NOV 2023", "D8"},
    {"@D9", Jan5, "23/01/05", "D9"},
    {"@D10", Nov25, "2023/11/25", "D10"},
    {"@D11", Jan5, "230105", "D11"},
    {"@D12", Nov25, "20231125", "D12"},
    {"@D13", Jan5, "01/23", "D13"},
    {"@D14", Nov25, "11/2023", "D14"},
    {"@D15", Jan5, "23/01", "D15"},
    {"@D16", Nov25, "2023/11", "D16"},
    {"@D17", Jan5, "01/05/23", "D17DefaultShortDate"},
    {"@D18", Jan5, "January 05, 2023  ", "D18DefaultLongDate"},
    {"@D01", Jan5, "01/05/23", "ZeroFill"},
    {"@D*1", Jan5, "*1/05/23", "StarFillTakesTheSuppressedTens"},
    {"@D*1", date_of(2010, 10, 10), "10/10/10", "StarFillLeavesInnerZeros"},
    {"@D1-", Jan5, " 1-05-23", "DashSeparator"},
    {"@D6.", Jan5, " 5.01.2023", "PeriodSeparator"},
    {"@D1_", Jan5, " 1 05 23", "UnderscoreSeparatorIsASpace"},
    {"@D3`", Jan5, "JAN  5,2023", "BacktickSeparatorIsAComma"},
    {"@D7-", Jan5, " 5-JAN-23", "SpacesOfD7AreSeparators"},
    {"@D17-", Jan5, "01-05-23", "LocaleDateTakesTheSeparator"},
    {"@D1", date_of(2000, 1, 1), " 1/01/00", "YearTwoThousand"},
    {"@D2", FirstValidDate, " 1/01/1801", "FirstValidDate"},
    {"@D2", LastValidDate, "12/31/9999", "LastValidDate"},
    {"@D1", 0, "  /  /  ", "ZeroDateKeepsSeparators"},
    {"@D1B", 0, "        ", "BlankWhenZero"},
    {"@D1B", -7, "        ", "BlankWhenInvalid"},
    {"@D1", LastValidDate + 1, "  /  /  ", "PastTheLastDate"},
    {"@D1", 3, "  /  /  ", "BeforeTheFirstDate"},
    {"@D1", int64_t{1} << 40, "  /  /  ", "BeyondThirtyTwoBits"},
    {"@D3", 0, "   ,       ", "InvalidDatePrintsNoName"},
    {"@D17B", 0, "        ", "LocaleDateKeepsBlankWhenZero"},
    {"@D1", "81092", " 1/05/23", "DateFromText"},
    {"@D1", 81092.9, " 1/05/23", "DateFromRealIsTruncated"},
};

const FormatCase TimeCases[] = {
    {"@T1", Evening, "21:05", "T1"},
    {"@T1", Morning, " 9:05", "T1Morning"},
    {"@T2", Morning, " 905", "T2"},
    {"@T3", Evening, " 9:05PM", "T3"},
    {"@T3", Morning, " 9:05AM", "T3Morning"},
    {"@T3", 1, "12:00AM", "T3Midnight"},
    {"@T3", time_of(12, 30), "12:30PM", "T3HalfPastNoon"},
    {"@T3", time_of(0, 15), "12:15AM", "T3QuarterPastMidnight"},
    {"@T4", Evening, "21:05:07", "T4"},
    {"@T4", LastValidTime, "23:59:59", "T4LastTime"},
    {"@T5", 1, " 00000", "T5Midnight"},
    {"@T6", Evening, " 9:05:07PM", "T6"},
    {"@T6", 1, "12:00:00AM", "T6Midnight"},
    {"@T7", Evening, "09:05 PM", "T7DefaultLocale"},
    {"@T8", Morning, "09:05:07 AM", "T8DefaultLocale"},
    {"@T1", 0, " 0:00", "NoTime"},
    {"@T1B", 0, "     ", "NoTimeBlankWhenZero"},
    {"@T1B", 1, "     ", "MidnightHasZeroPartsToo"},
    {"@T1", LastValidTime + 1, " 0:00", "InvalidTimeHasZeroParts"},
    {"@T01", Morning, "09:05", "ZeroFill"},
    {"@T*4", Morning, "*9:05:07", "StarFill"},
    {"@T1.", Evening, "21.05", "PeriodSeparator"},
    {"@T4-", Morning, " 9-05-07", "DashSeparator"},
    {"@T1_", Evening, "21 05", "UnderscoreSeparator"},
};

const FormatCase NumberCases[] = {
    {"@N10.2", 1234.567, "  1,234.57", "GroupsAndRounds"},
    {"@N-10.2", -5, "-     5.00", "SignKeepsItsPosition"},
    {"@N010", 42, "0000000042", "ZeroFill"},
    {"@N3", 12345, "###", "TooLargeIsHashes"},
    {"@N10.2", 1e12, "#######.##", "TooLargeKeepsThePoint"},
    {"@N10.2", 0, "      0.00", "ZeroShowsTheUnits"},
    {"@N10.2B", 0, "          ", "BlankWhenZero"},
    {"@N10.2", -5, "      5.00", "NoSignPosition"},
    {"@N10.2-", -5, "     5.00-", "TrailingSign"},
    {"@N(10.2)", -1234.5, "(1,234.50)", "Parentheses"},
    {"@N(10.2)", 1234.5, " 1,234.50 ", "ParenthesesOnlyWhenNegative"},
    {"@N$10.2", 1234.5, "$ 1,234.50", "LeadingDollar"},
    {"@N10.2~ EUR~", 12.5, " 12.50 EUR", "TrailingCurrencyText"},
    {"@N$(10.2)", -5, "$ (  5.00)", "SignMovesIntoALeadingGroup"},
    {"@N-5", -5, " -  5", "MinusMovesIntoALeadingGroup"},
    {"@N-5", -1234, "-1234", "GroupTakesADigitWhenNeeded"},
    {"@N*10.2", 123.45, "****123.45", "StarFillHasNoGroups"},
    {"@N*10.", 5, "*********5", "StarFillFillsGroupsToo"},
    {"@N*10.", 1234, "*****1.234", "StarFillWithExplicitGrouping"},
    {"@N010.", 42, "00.000.042", "ZeroFillGroupsItsZeros"},
    {"@N_10", 1234567, "   1234567", "UnderscoreFillHasNoGroups"},
    {"@N10", 1234567, " 1,234,567", "GroupsEveryThreeDigits"},
    {"@N10", 123456789, "123456,789", "LeftmostGroupTakesADigit"},
    {"@N10", 1234567890, "1234567890", "EveryGroupTakesADigit"},
    {"@N10", int64_t{12345678901}, "##########", "NoRoomEvenInGroups"},
    {"@N10`2", 1234.5, "  1.234,50", "CommaDecimalGroupsWithPeriods"},
    {"@N10_.2", 1234.5, "  1 234.50", "UnderscoreGroupsWithSpaces"},
    {"@N10.0", 1234, "     1.234", "DecimalMarkWithoutDecimalsGroups"},
    {"@N010V2", 1234.56, "000123456 ", "ImpliedPointIsNotPrinted"},
    {"@N10.2", -0.001, "      0.00", "RoundedToZeroIsNotNegative"},
    {"@N-10.2", -0.001, "      0.00", "RoundedToZeroHasNoSign"},
    {"@N10.2", 0.005, "      0.01", "HalfRoundsUp"},
    {"@N10.2", 2.675, "      2.68", "RealRoundsAsWritten"},
    {"@N10.2", 999.995, "  1,000.00", "CarryAddsADigit"},
    {"@N5", 99999.5, "#####", "CarryOverflows"},
    {"@N3.2", 0.5, ".50", "NoRoomForTheUnitsDigit"},
    {"@N3.2", 1, ".##", "NoIntegerPositions"},
    {"@N-26", std::numeric_limits<int64_t>::min(), "-9,223,372,036,854,775,808", "LowestIntegerWithSign"},
    {"@N10.2", std::nan(""), "      0.00", "NotANumberIsZero"},
    {"@N10.2", HUGE_VAL, "#######.##", "InfinityOverflows"},
    {"@N-10.2", "-5e2", "-   500.00", "NumberText"},
    {"@N-10.2", LongDigitText.c_str(), "-     0.01", "LongDigitTextRoundsAtItsLastKeptDigit"},
    {"@N10.2", "abc", "      0.00", "TextThatIsNotANumberIsZero"},
    {"@E12", 12345.678, " 1.2346E+004", "Scientific"},
    {"@E12", -0.00012345, "-1.2345E-004", "ScientificNegativeExponent"},
    {"@E12.2", 12345.678, " 12.346E+003", "ScientificTwoIntegerDigits"},
    {"@E15`.4", 12345678, " 1,234.568E+004", "ScientificGrouping"},
    {"@E9", 9.96, " 1.0E+001", "ScientificCarry"},
    {"@E12", 0, " 0.0000E+000", "ScientificZero"},
    {"@E7", 12345, " 1E+004", "NarrowestScientificHasNoPoint"},
    {"@E8", 12345, " 1.E+004", "ScientificWithoutDecimals"},
    {"@E7", "1e1000", " #E+###", "ScientificExponentOverflow"},
    {"@P(###)###-####P", 5551234567, "(555)123-4567", "Phone"},
    {"@P(###)###-####P", 1234567, "(000)123-4567", "PhoneShowsLeadingZeros"},
    {"@P<#/##P", 105, " 1/05", "BlankDigitSuppressesALeadingZero"},
    {"@P###P", 12345, "###", "PatternTooLarge"},
    {"@P###P", 12.5, "013", "PatternRounds"},
    {"@P(abc)P", 5, "     ", "PatternWithoutDigitsIsBlank"},
    {"@P(abc)P", 0, "(abc)", "PatternWithoutDigitsShowsZero"},
    {"@P###PB", 0, "   ", "PatternBlankWhenZero"},
};

const FormatCase TextCases[] = {
    {"@S5", "abcdefg", "abcde", "StringIsCut"},
    {"@S5", "ab", "ab   ", "StringIsPadded"},
    {"@S5", 42, "42   ", "IntegerAsText"},
    {"@S10", 1.5, "1.5       ", "RealAsText"},
    {"@S8", -0.025, "-0.025  ", "SmallRealAsText"},
    {"@S8", 1e300, "1e300   ", "HugeRealAsText"},
    {"@K###-###K", "123-456", "123-456", "KeyInCopiesTheText"},
    {"@K###-###K", "12", "12     ", "KeyInPads"},
};

INSTANTIATE_TEST_SUITE_P(Dates, PictureFormat, ::testing::ValuesIn(DateCases), label_name<FormatCase>);
INSTANTIATE_TEST_SUITE_P(Times, PictureFormat, ::testing::ValuesIn(TimeCases), label_name<FormatCase>);
INSTANTIATE_TEST_SUITE_P(Numbers, PictureFormat, ::testing::ValuesIn(NumberCases), label_name<FormatCase>);
INSTANTIATE_TEST_SUITE_P(Texts, PictureFormat, ::testing::ValuesIn(TextCases), label_name<FormatCase>);

TEST(PictureFormatNames, UpperCasesNamesWithTheCharacterTables) {
    ApplyEnvironmentText("MVXMONTH=Januar,Februar,M\xe4rz\n");
    CharTables tables = CharTables::Defaults();
    tables.case_partner[0xC4] = 0xE4;
    tables.case_partner[0xE4] = 0xC4;
    tables.char_class[0xC4] = CharUpper;
    tables.char_class[0xE4] = CharLower;
    SetCharTables(tables);
    EXPECT_EQ(format("@D3", date_of(2023, 3, 5)), "M\xc4R  5,2023");
    EXPECT_EQ(format("@D4", date_of(2023, 3, 5)), "M\xe4rz  5, 2023        ");
    ResetLocale();
}

TEST(PictureFormatNames, InvalidPictureWritesNothing) {
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(FORMAT(int64_t{5}, compiled("@Q"), out), 0u);
    EXPECT_EQ(FORMAT(PictureNumber::FromInteger(5), CompiledPicture{}, out), 0u);
    EXPECT_EQ(out[0], 'x');
}

TEST(PictureFormatNames, CountsThatDisagreeWithThePairsStayWithinTheDigits) {
    for (const char* text : {"@N-12.2", "@E12", "@P###-##P"}) {
        CompiledPicture picture = compiled(text);
        for (int wrong : {0, 1, 200, 255}) {
            picture.integer_positions = picture.grouping_pairs = picture.decimal_positions =
                picture.exponent_positions = static_cast<uint8_t>(wrong);
            char out[MaxPictureWidth];
            EXPECT_EQ(FORMAT(-1234.5678, picture, out), picture.token_count()) << text;
            EXPECT_EQ(FORMAT(-9.99e300, picture, out), picture.token_count()) << text;
        }
    }
}

TEST(PictureFormatNames, FormatTextCompilesAndFormats) {
    EXPECT_EQ(FormatText(Jan5, "@D10"), "2023/01/05");
    EXPECT_EQ(FormatText(Jan5, "@D0"), "");
}

} // namespace
} // namespace morvex

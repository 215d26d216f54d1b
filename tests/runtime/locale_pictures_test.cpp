#include "runtime/locale.h"
#include "tests/runtime/picture_test_support.h"
#include "tests/support/fixed_clock.h"

namespace morvex {
namespace {

using namespace picture_testing;

const int32_t Jan5 = date_of(2023, 1, 5);
const int32_t Evening = time_of(21, 5, 7);
const int32_t Morning = time_of(9, 5, 7);

struct LocaleCase {
    IntlSettings settings;
    std::string_view picture;
    int32_t value;
    std::string_view expected;
    std::string_view label;
};

IntlSettings short_date(std::string text) {
    IntlSettings settings;
    settings.sShortDate = std::move(text);
    return settings;
}

IntlSettings long_date(std::string text) {
    IntlSettings settings;
    settings.sLongDate = std::move(text);
    return settings;
}

IntlSettings clock(int i_time, int i_tl_zero, std::string separator = ":", std::string am = "AM",
                   std::string pm = "PM") {
    IntlSettings settings;
    settings.iTime = i_time;
    settings.iTLzero = i_tl_zero;
    settings.sTime = std::move(separator);
    settings.s1159 = std::move(am);
    settings.s2359 = std::move(pm);
    return settings;
}

class LocalePictures : public ::testing::TestWithParam<LocaleCase> {
protected:
    void TearDown() override { ResetLocale(); }
    testing::FixedClock m_clock{platform::LocalDateTime{2024, 6, 15, 12, 0, 0, 0}};
};

// The locale's picture formats the value as expected and reads its own text
// back.
TEST_P(LocalePictures, FormatAndReadBack) {
    const LocaleCase& row = GetParam();
    ApplyLocale(row.settings);
    const std::string text = format(row.picture, row.value);
    EXPECT_EQ(text, row.expected);
    EXPECT_EQ(deformat(text, row.picture), std::to_string(row.value)) << text;
}

const LocaleCase Cases[] = {
    {IntlSettings{}, "@D17", Jan5, "01/05/23", "DefaultShortDate"},
    {short_date("dd.MM.yyyy"), "@D17", Jan5, "05.01.2023", "DayFirstWithPeriods"},
    {short_date("yyyy-MM-dd"), "@D17", Jan5, "2023-01-05", "YearFirstWithDashes"},
    {short_date("M/d/yy"), "@D17", Jan5, " 1/ 5/23", "NoLeadingZeros"},
    {short_date("d/M"), "@D17", Jan5, " 5/ 1/23", "NothingAfterTheMonthKeepsTheSlash"},
    {short_date("yyyyMMdd"), "@D17", Jan5, "20230105", "LetterAfterTheMonthIsNoSeparator"},
    {short_date("DD/MM/YYYY"), "@D17", Jan5, "05/01/2023", "LettersInAnyCase"},
    {short_date("yyMMdd"), "@D17", Jan5, "230105", "TwoDigitYearFirst"},
    {short_date(""), "@D17", Jan5, " 1/ 5/23", "EmptyShortDate"},
    {IntlSettings{}, "@D18", Jan5, "January 05, 2023  ", "DefaultLongDate"},
    {long_date("dddd, MMMM dd, yyyy"), "@D18", Jan5, "January 05, 2023  ", "UnquotedSeparators"},
    {long_date("dddd, d MMMM yyyy"), "@D18", Jan5, " 5 January 2023  ", "WeekdayIsNotTheDay"},
    {long_date("d. MMMM yyyy"), "@D18", Jan5, " 5. January 2023  ", "DayFirst"},
    {long_date("yyyy'. 'MMM d'.'"), "@D18", Jan5, "2023. Jan  5.", "YearFirstWithShortName"},
    {long_date("MM/dd/yy"), "@D18", Jan5, "01/05/23", "DigitMonth"},
    {long_date("MMMM yyyy"), "@D18", date_of(2023, 1, 1), "January 2023  ", "NoDayReadsAsTheFirst"},
    {long_date("abc"), "@D18", Jan5, "January 05, 2023  ", "NoFieldLetterTakesTheDefault"},
    {IntlSettings{}, "@T7", Evening - 700, "09:05 PM", "DefaultTime"},
    {IntlSettings{}, "@T8", Evening, "09:05:07 PM", "DefaultTimeWithSeconds"},
    {clock(1, 1), "@T7", Evening - 700, "21:05", "TwentyFourHoursHasNoAmPm"},
    {clock(1, 0), "@T8", Morning, " 9:05:07", "NoLeadingZeroLeavesASpace"},
    {clock(0, 0), "@T7", Morning - 700, " 9:05 AM", "TwelveHoursWithoutLeadingZero"},
    {clock(0, 1, "."), "@T8", Evening, "09.05.07 PM", "ChosenSeparator"},
    {clock(0, 1, ":", "vm", "nm"), "@T7", Evening - 700, "09:05 nm", "LocaleAmPmTexts"},
    {clock(0, 1, ":", "a", "p"), "@T7", Evening - 700, "09:05 p ", "OneLetterAmPm"},
};

INSTANTIATE_TEST_SUITE_P(Rows, LocalePictures, ::testing::ValuesIn(Cases), label_name<LocaleCase>);

class LocalePictureModifiers : public ::testing::Test {
protected:
    void TearDown() override { ResetLocale(); }
};

TEST_F(LocalePictureModifiers, CompiledPictureKeepsItsOwnFlagWindowAndModifiers) {
    ApplyLocale(short_date("dd.MM.yy"));
    EXPECT_EQ(format("@D17B", 0), "        ");
    EXPECT_EQ(format("@D17-", Jan5), "05-01-23");
    EXPECT_EQ(compiled("@D17>10").century_window, 89);
    EXPECT_EQ(compiled("@D17").number, 17);
    ApplyLocale(clock(0, 0));
    EXPECT_EQ(format("@T*7", Morning), "*9:05 AM");
    EXPECT_EQ(format("@T7B", 0), "        ");
    EXPECT_EQ(format("@T7_", Morning), " 9 05 AM");
}

TEST_F(LocalePictureModifiers, RuntimeAmPmTextsServeOnlyTheBuiltInPictures) {
    ApplyLocale(clock(0, 1, ":", "vm", "nm"));
    EXPECT_EQ(format("@T3", Evening), " 9:05PM");
    EXPECT_EQ(format("@T7", Evening), "09:05 nm");
}

TEST_F(LocalePictureModifiers, BuildersNeverOverrunTheTokens) {
    CompiledPicture picture;
    BuildLongDatePicture(picture, "d" + std::string(1000, ',') + "M" + std::string(1000, '\'') + "y");
    EXPECT_TRUE(picture.valid());
    EXPECT_LE(picture.token_count(), MaxPictureTokens);
    BuildShortDatePicture(picture, std::string(5000, 'M'));
    EXPECT_EQ(picture.token_count(), 8u);
}

} // namespace
} // namespace morvex

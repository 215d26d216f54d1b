#include "tests/runtime/picture_test_support.h"

#include <cstring>

namespace morvex {
namespace {

using namespace picture_testing;

// Every field zero (padding bytes aside).
bool all_zero(const CompiledPicture& picture) {
    const CompiledPicture zero;
    return picture.header == 0 && picture.century_window == 0 && picture.number == 0 &&
           picture.text == nullptr && picture.text_length == 0 && picture.integer_positions == 0 &&
           picture.grouping_pairs == 0 && picture.decimal_positions == 0 && picture.exponent_positions == 0 &&
           std::memcmp(picture.tokens, zero.tokens, sizeof zero.tokens) == 0;
}

struct CompileCase {
    std::string_view picture;
    int width; // the display width; -1 for an invalid picture
    std::string_view label;
};

class PictureCompile : public ::testing::TestWithParam<CompileCase> {};

TEST_P(PictureCompile, ReadsThePictureOrLeavesItInvalid) {
    const CompileCase& row = GetParam();
    const CompiledPicture picture = compiled(row.picture);
    if (row.width < 0) {
        EXPECT_FALSE(picture.valid());
        EXPECT_TRUE(all_zero(picture)) << "an invalid picture is all zero";
        char out[MaxPictureWidth];
        EXPECT_EQ(FORMAT(int64_t{81092}, picture, out), 0u);
        EXPECT_EQ(DEFORMAT("01/05/23", picture), "");
    } else {
        ASSERT_TRUE(picture.valid());
        EXPECT_EQ(static_cast<int>(picture.token_count()), row.width);
        EXPECT_EQ(format(row.picture, int64_t{0}).size(), static_cast<std::size_t>(row.width));
    }
}

const CompileCase CompileCases[] = {
    {"@D1", 8, "DateOne"},
    {"@D01", 8, "DateWithZeroFill"},
    {"@D*1<50-", 8, "DateWithFillWindowAndSeparator"},
    {"@D1>10.  ", 8, "DateWithTrailingBlanks"},
    {"@d1b", 8, "LowerCaseLetters"},
    {"D1", 8, "WithoutTheAtSign"},
    {"@D17", 8, "ShortLocaleDate"},
    {"@D18", 18, "LongLocaleDate"},
    {"@D0", -1, "DateZeroIsInvalid"},
    {"@D19", -1, "DateNineteenIsInvalid"},
    {"@D1x", -1, "DateWithTrailingText"},
    {"@D1--", -1, "DateWithTwoSeparators"},
    {"@D1<128", -1, "WindowBeyondASignedByte"},
    {"@D99999999999999999999", -1, "HugeDateNumber"},
    {"@T1", 5, "TimeOne"},
    {"@T01.", 5, "TimeWithFillAndSeparator"},
    {"@T7", 8, "LocaleTime"},
    {"@T8", 11, "LocaleTimeWithSeconds"},
    {"@T0", -1, "TimeZeroIsInvalid"},
    {"@T9", -1, "TimeNineIsInvalid"},
    {"@T-", -1, "TimeWithOnlyASeparator"},
    {"@S255", 255, "LargestString"},
    {"@S20  ", 20, "StringWithTrailingBlanks"},
    {"@S0", -1, "EmptyStringIsInvalid"},
    {"@S256", -1, "StringBeyond255IsInvalid"},
    {"@SB", -1, "BlankFlagLeavesTooShortABody"},
    {"@N10.2", 10, "Numeric"},
    {"@N_10..2", 10, "NumericWithGroupingAndDecimalMarks"},
    {"@N3.2", 3, "NumericExactlyWideEnough"},
    {"@N254", 254, "WidestNumeric"},
    {"@N2.2", -1, "NumericTooNarrowForItsDecimals"},
    {"@N255", -1, "NumericTooWide"},
    {"@N", -1, "NumericWithoutWidth"},
    {"@N(10.2", -1, "UnclosedParenthesis"},
    {"@N10.2)", -1, "ParenthesisNeverOpened"},
    {"@N-10.2-", -1, "TwoSigns"},
    {"@N$10.2$", -1, "TwoCurrencies"},
    {"@N~~10", -1, "EmptyCurrencyText"},
    {"@N~EUR10", -1, "UnterminatedCurrencyText"},
    {"@N10V", -1, "ImpliedGroupingMark"},
    {"@N10.2x", -1, "NumericWithTrailingText"},
    {"@E7", 7, "NarrowestScientific"},
    {"@E6", -1, "ScientificTooNarrow"},
    {"@E10.9", -1, "ScientificTooManyIntegerDigits"},
    {"@pxxp", 2, "LowerCasePattern"},
    {"@PP", 0, "EmptyPattern"},
    {"@P###", -1, "UnclosedPattern"},
    {"@P###p", -1, "PatternClosedByTheOtherCase"},
    {"@K\\KK", 1, "KeyInEscapedLetter"},
    {"@K###", -1, "UnclosedKeyIn"},
    {"", -1, "EmptyText"},
    {"@", -1, "OnlyTheAtSign"},
    {"@@D1", -1, "TwoAtSigns"},
    {"@X1", -1, "UnknownFamily"},
};

INSTANTIATE_TEST_SUITE_P(Rows, PictureCompile, ::testing::ValuesIn(CompileCases), label_name<CompileCase>);

TEST(PictureCompileHeader, RecordsKindClassFlagWindowAndNumber) {
    const CompiledPicture date = compiled("@D2>10B");
    EXPECT_EQ(date.kind(), PictureKind::Date);
    EXPECT_EQ(date.value_class(), PictureValueClass::DateOrTime);
    EXPECT_TRUE(date.blank_when_zero());
    EXPECT_EQ(date.century_window, 89);
    EXPECT_EQ(date.number, 2);
    // kind 2 | class 1 << 3 | blank << 6 | 10 tokens << 7
    EXPECT_EQ(date.header, 2 | 1 << 3 | 1 << 6 | 10 << 7);

    EXPECT_EQ(compiled("@D1").century_window, 80);
    EXPECT_EQ(compiled("@D1<").century_window, 80);
    EXPECT_EQ(compiled("@D1>").century_window, 19);
    EXPECT_EQ(compiled("@D1<30").century_window, 30);
    EXPECT_EQ(compiled("@E12").value_class(), PictureValueClass::Scientific);
    EXPECT_EQ(compiled("@P#P").value_class(), PictureValueClass::Numeric);
    EXPECT_EQ(compiled("@K#K").value_class(), PictureValueClass::Text);
    EXPECT_EQ(compiled("@T3").number, 3);
}

TEST(PictureCompileHeader, NoTextMeansTheWidestString) {
    CompiledPicture picture;
    CompilePicture(picture, nullptr, 0);
    EXPECT_EQ(picture.kind(), PictureKind::String);
    EXPECT_EQ(picture.token_count(), 255u);
}

TEST(PictureCompileHeader, KeepsAReferenceToTheText) {
    const std::string text = "@N-10.2";
    CompiledPicture picture;
    CompilePicture(picture, text);
    EXPECT_EQ(picture.text, text.data());
    EXPECT_EQ(picture.text_length, text.size());
}

TEST(PictureCompileHeader, TooLongABodyIsInvalid) {
    EXPECT_TRUE(compiled("@P" + std::string(252, '#') + "P").valid());
    EXPECT_FALSE(compiled("@P" + std::string(253, '#') + "P").valid());
    EXPECT_FALSE(compiled(std::string(100'000, '9')).valid());
}

TEST(PictureCompileHeader, LaysNumericTokensOutFromBothEnds) {
    const CompiledPicture picture = compiled("@N$-*9.2-");
    ASSERT_FALSE(picture.valid()) << "a leading sign excludes a trailing one";
    const CompiledPicture money = compiled("@N$(10.2)");
    std::string characters, codes;
    for (uint32_t i = 0; i < money.token_count(); ++i) {
        characters += money.tokens[i].character;
        codes += static_cast<char>('a' + static_cast<int>(money.tokens[i].code));
    }
    // A grouping pair may follow the sign directly, never stand first.
    EXPECT_EQ(characters, "$(,  0.00)");
    // currency, sign, group, blank digits, units digit, point, digits, sign
    EXPECT_EQ(codes, "gfbeedcddf");
}

} // namespace
} // namespace morvex

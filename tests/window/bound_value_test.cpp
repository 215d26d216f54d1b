#include "runtime/picture.h"
#include "window/bound_value.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace morvex {
namespace {

struct ValueCase {
    const char* label;
    FieldType type;
    uint32_t size;
    uint8_t decimals;
    const char* text_in;
    const char* text_out;
    double number_out;
};

class VariableValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(VariableValueTest, TextGoesInAndComesBackAsTheTypeHoldsIt) {
    const ValueCase& c = GetParam();
    std::vector<uint8_t> storage(c.size + 8, 0xEE); // bytes past the variable must stay untouched
    const BoundVariable variable{c.type, storage.data(), c.size, c.decimals, 1};
    SetVariableText(variable, c.text_in);
    EXPECT_EQ(VariableText(variable), c.text_out);
    EXPECT_DOUBLE_EQ(VariableNumber(variable), c.number_out);
    for (std::size_t i = c.size; i < storage.size(); ++i)
        ASSERT_EQ(storage[i], 0xEE) << "written past the variable at " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Types, VariableValueTest,
    ::testing::Values(
        ValueCase{"Long", FieldType::Long, 4, 0, "42", "42", 42},
        ValueCase{"LongDropsTheFractionAndTrailingText", FieldType::Long, 4, 0, "  -17.9xyz", "-17", -17},
        ValueCase{"LongFromAnExponent", FieldType::Long, 4, 0, "1.5e3", "1500", 1500},
        ValueCase{"LongFromNoNumber", FieldType::Long, 4, 0, "May", "0", 0},
        ValueCase{"ByteClamps", FieldType::Byte, 1, 0, "300", "255", 255},
        ValueCase{"ShortClamps", FieldType::Short, 2, 0, "-40000", "-32768", -32768},
        ValueCase{"ULongStaysPositive", FieldType::ULong, 4, 0, "-5", "0", 0},
        ValueCase{"Real", FieldType::Real, 8, 0, "2.5", "2.5", 2.5},
        ValueCase{"SReal", FieldType::SReal, 4, 0, "-0.25", "-0.25", -0.25},
        ValueCase{"DecimalRoundsToItsPlaces", FieldType::Decimal, 4, 2, "12.345", "12.35", 12.35},
        ValueCase{"PDecimal", FieldType::PDecimal, 4, 1, "-3.25", "-3.3", -3.3},
        ValueCase{"StringIsPadded", FieldType::String, 6, 0, "abc", "abc", 0},
        ValueCase{"StringIsCut", FieldType::String, 3, 0, "abcdef", "abc", 0},
        ValueCase{"StringReadsAsANumber", FieldType::String, 8, 0, "2003", "2003", 2003},
        ValueCase{"CStringKeepsItsNul", FieldType::CString, 5, 0, "hello world", "hell", 0},
        ValueCase{"PStringCountsItsLength", FieldType::PString, 6, 0, "hi", "hi", 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(VariableValueTest, TextTypesKeepTheirLayout) {
    char string[6];
    SetVariableText(BoundVariable{FieldType::String, string, 6, 0, 1}, "ab");
    EXPECT_EQ(std::string(string, 6), "ab    ");
    char pstring[5];
    SetVariableText(BoundVariable{FieldType::PString, pstring, 5, 0, 1}, "xyz");
    EXPECT_EQ(pstring[0], 3);
    EXPECT_EQ(std::string(pstring + 1, 3), "xyz");
    char text[8];
    SetVariableNumber(BoundVariable{FieldType::String, text, 8, 0, 1}, 0.25);
    EXPECT_EQ(std::string(text, 8), "0.25    ") << "numbers go into text as decimal text";
}

TEST(VariableValueTest, NumbersAsTextNeverTakeTheExponentForm) {
    EXPECT_EQ(NumberText(31), "31");
    EXPECT_EQ(NumberText(-2.5), "-2.5");
    EXPECT_EQ(NumberText(1e10), "10000000000");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberOfText(" +7.5e1 apples"), 75);
    EXPECT_EQ(NumberOfText("e5"), 0);
}

struct PictureCase {
    const char* label;
    FieldType type;
    const char* value;
    const char* picture;
    const char* shown;
    const char* typed;
    const char* taken;
};

class PictureValueTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(PictureValueTest, ShownThroughThePictureAndTypedTextTakenBack) {
    const PictureCase& c = GetParam();
    char storage[20];
    const BoundVariable variable{c.type, storage, c.type == FieldType::String ? 20u : 4u, 0, 1};
    SetVariableText(variable, c.value);
    const ValuePicture picture(c.picture);
    EXPECT_EQ(FormattedValue(variable, picture.compiled()), c.shown);
    DeformatInto(variable, c.typed, picture.compiled());
    EXPECT_EQ(VariableText(variable), c.taken);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureValueTest,
    ::testing::Values(
        PictureCase{"DayNumber", FieldType::Long, "31", "n-14", "31", "12", "12"},
        PictureCase{"GroupedNumber", FieldType::Long, "1234567", "@n12", "1,234,567", "7,654", "7654"},
        PictureCase{"DecimalsInText", FieldType::String, "0.25", "n-7.2", "0.25", "-1.5", "-1.5"},
        PictureCase{"StringPictureTakesTextAsItIs", FieldType::String, "May", "s20", "May", "June 2",
                    "June 2"},
        PictureCase{"NoPictureShowsTheValue", FieldType::String, "plain", "", "plain", "typed", "typed"},
        PictureCase{"UnreadablePicture", FieldType::Long, "5", "q9", "5", "6", "6"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(VariableValueTest, TypingStopsAtAStringPictureOrTheTextSize) {
    char text[10];
    int32_t number = 0;
    const BoundVariable string_variable{FieldType::String, text, 10, 0, 1};
    const BoundVariable long_variable{FieldType::Long, &number, 4, 0, 1};
    EXPECT_EQ(TypingLimit(string_variable, ValuePicture("s5").compiled()), 5u);
    EXPECT_EQ(TypingLimit(string_variable, ValuePicture("n-14").compiled()), 10u);
    EXPECT_EQ(TypingLimit(long_variable, ValuePicture("s3").compiled()), 3u);
    EXPECT_EQ(TypingLimit(long_variable, ValuePicture("n-14").compiled()), 0u);
}

TEST(VariableValueTest, VariableBytesTellAChange) {
    int32_t value = 5;
    const BoundVariable variable{FieldType::Long, &value, 4, 0, 1};
    const std::vector<uint8_t> before = VariableBytes(variable);
    SetVariableNumber(variable, 5.9);
    EXPECT_EQ(VariableBytes(variable), before) << "5.9 drops its fraction";
    SetVariableNumber(variable, 6);
    EXPECT_NE(VariableBytes(variable), before);
    EXPECT_TRUE(VariableBytes(BoundVariable{}).empty());
    EXPECT_EQ(VariableText(BoundVariable{}), "");
}

} // namespace
} // namespace morvex

// One reading of text as a number: the decimal accumulator, FORMAT of a text
// value and the evaluator's conversions all give the same value for the same
// text, and NUMERIC accepts exactly the texts that are one number.
#include "runtime/decimal.h"
#include "runtime/evaluator.h"
#include "runtime/number_text.h"
#include "runtime/picture.h"

#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

struct Row {
    const char* text;
    double value; // the value every path must read
    bool whole;   // the text is one number and blanks
};

const Row Rows[] = {
    {"12.5abc", 12.5, false}, {"1,234.5", 1.234, false}, {"1,5", 1.5, true},
    {" -3e2 ", -300, true},   {"+7", 7, true},           {"abc", 0, false},
    {".", 0, false},          {"5e", 5, false},          {"  -0.125", -0.125, true},
    {"12.5.3", 12.5, false},  {"2E-2x", 0.02, false},    {"", 0, false},
};

constexpr std::string_view Picture = "@N-14.4";

std::string formatted(double value) {
    CompiledPicture picture;
    CompilePicture(picture, Picture);
    char out[MaxPictureWidth];
    return std::string(out, FORMAT(value, picture, out));
}

TEST(NumberText, EveryPathReadsTheSameValue) {
    CompiledPicture picture;
    CompilePicture(picture, Picture);
    char out[MaxPictureWidth];
    for (const Row& row : Rows) {
        const std::string expected = formatted(row.value);
        const std::string quoted = "'" + std::string(row.text) + "'";

        Decimals().push_text(row.text);
        EXPECT_EQ(std::string(out, FormatDecimalTop(picture, out)), expected) << "decimal " << row.text;
        EXPECT_EQ(std::string(out, FORMAT(std::string_view(row.text), picture, out)), expected)
            << "FORMAT " << row.text;
        EXPECT_EQ(EVALUATE("FORMAT(" + quoted + ", " + std::string(Picture) + ")"), expected)
            << "evaluator FORMAT " << row.text;
        EXPECT_EQ(EVALUATE("FORMAT(" + quoted + " + 0, " + std::string(Picture) + ")"), expected)
            << "evaluator + 0 " << row.text;
        EXPECT_EQ(EVALUATE("NUMERIC(" + quoted + ")"), row.whole ? "1" : "0") << row.text;
        EXPECT_EQ(IsNumberText(row.text), row.whole) << row.text;
    }
}

TEST(NumberText, ReportsWhereTheNumberEnds) {
    EXPECT_EQ(ReadNumberText("  12.5abc").length, 6u);
    EXPECT_EQ(ReadNumberText("1e5e5").length, 3u);
    EXPECT_EQ(ReadNumberText("-e5").length, 0u);
    const NumberText huge = ReadNumberText("1e99999999999999999999");
    EXPECT_EQ(huge.exponent, NumberTextExponentLimit);
}

} // namespace
} // namespace morvex

// The evaluator's built-in functions, one table row a case: the meanings
// listed in docs/evaluator.md.
#include "platform/local_clock.h"
#include "runtime/date.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/evaluator.h"
#include "runtime/ini_access.h"
#include "runtime/picture.h"
#include "tests/support/temp_directory.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

struct Case {
    const char* expression;
    std::string expected;
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.expression;
}

class BuiltinGives : public ::testing::TestWithParam<Case> {};

TEST_P(BuiltinGives, TheDocumentedValue) {
    const Case& c = GetParam();
    EXPECT_EQ(EVALUATE(c.expression), c.expected);
    EXPECT_EQ(ErrorCode(), 0) << ErrorText();
}

INSTANTIATE_TEST_SUITE_P(
    Mathematics, BuiltinGives,
    ::testing::Values(Case{"ABS(0 - 2.5)", "2.5"}, Case{"ABS(3)", "3"}, Case{"SQRT(16)", "4"},
                      Case{"SQRT(0 - 1)", "0"}, Case{"ROUND(SIN(0), 0.001)", "0"},
                      Case{"ROUND(COS(0), 1)", "1"}, Case{"ROUND(TAN(0.5), 0.0001)", "0.5463"},
                      Case{"ROUND(ASIN(1) * 2, 0.00001)", "3.14159"}, Case{"ROUND(ACOS(0), 0.01)", "1.57"},
                      Case{"ROUND(ATAN(1), 0.001)", "0.785"}, Case{"ACOS(2)", "0"}, Case{"LOG10(1000)", "3"},
                      Case{"LOG10(0)", "0"}, Case{"ROUND(LOGE(10), 0.001)", "2.303"},
                      Case{"ROUND(3.14159, 0.01)", "3.14"}, Case{"ROUND(2.5)", "3"},
                      Case{"ROUND(0 - 2.5)", "-3"}, Case{"ROUND(1234, 100)", "1200"},
                      Case{"ROUND(7, 0)", "7"}, Case{"INT(3.9)", "3"}, Case{"INT(0 - 3.9)", "-3"},
                      Case{"INT('12.7abc')", "12"}));

INSTANTIATE_TEST_SUITE_P(Bits, BuiltinGives,
                         ::testing::Values(Case{"BAND(0CH, 0AH)", "8"}, Case{"BOR(0CH, 3)", "15"},
                                           Case{"BXOR(0FH, 5)", "10"}, Case{"BSHIFT(1, 4)", "16"},
                                           Case{"BSHIFT(16, 0 - 2)", "4"},
                                           Case{"BSHIFT(1, 31)", "-2147483648"}, Case{"BSHIFT(1, 32)", "0"},
                                           Case{"BSHIFT(0 - 8, 0 - 1)", "2147483644"},
                                           Case{"BAND(0 - 1, 0FFH)", "255"}));

INSTANTIATE_TEST_SUITE_P(
    Texts, BuiltinGives,
    ::testing::Values(
        Case{"UPPER('abc1')", "ABC1"}, Case{"LOWER('AbC')", "abc"}, Case{"CLIP('ab  ') & '|'", "ab|"},
        Case{"CLIP('  ')", ""}, Case{"SUB('abcdef', 2, 3)", "bcd"}, Case{"SUB('abcdef', 4)", "def"},
        Case{"SUB('abcdef', 0 - 2, 2)", "ef"}, Case{"SUB('abc', 10, 2)", ""}, Case{"LEN('abc  ')", "5"},
        Case{"LEN(CLIP('abc  '))", "3"}, Case{"LEN(12345)", "5"}, Case{"INSTRING('c', 'abcabc')", "3"},
        Case{"INSTRING('c', 'abcabc', 1, 4)", "6"}, Case{"INSTRING('x', 'abc')", "0"},
        Case{"INSTRING('bc', 'abcabc', 3, 1)", "0"}, Case{"INSTRING('ab', 'xxabxx', 2, 1)", "2"},
        Case{"ALL('ab', 5)", "ababa"}, Case{"ALL('-', 3)", "---"}, Case{"LEN(ALL('x'))", "255"},
        Case{"ALL('', 2)", "  "}, Case{"LEN(ALL('x', 999999999))", "65535"},
        Case{"CENTER('ab', 6)", "  ab  "}, Case{"CENTER('  ab', 5)", " ab  "},
        Case{"CENTER('abc   ')", " abc  "}, Case{"CENTER('abcdef', 3)", "abc"},
        Case{"LEFT('  ab', 5)", "ab   "}, Case{"LEFT('  ab')", "ab  "}, Case{"LEFT('abc', 2)", "ab"},
        Case{"RIGHT('ab  ', 5)", "   ab"}, Case{"RIGHT('ab  ')", "  ab"}, Case{"RIGHT('abc', 2)", "bc"},
        Case{"LEFT('abc', 0 - 5)", ""}, Case{"CHR(65)", "A"}, Case{"CHR(321)", "A"}, Case{"VAL('A')", "65"},
        Case{"VAL('')", "0"}, Case{"VAL(CHR(233))", "233"}));

INSTANTIATE_TEST_SUITE_P(
    ChoicesAndTests, BuiltinGives,
    ::testing::Values(Case{"CHOOSE(2, 'a', 'b', 'c')", "b"}, Case{"CHOOSE(9, 'a', 'b', 'c')", "c"},
                      Case{"CHOOSE(0, 'a', 'b')", "b"}, Case{"CHOOSE(1 + 1, 10, 20) + 1", "21"},
                      Case{"CHOOSE(3 > 2, 'yes', 'no')", "yes"}, Case{"INLIST('b', 'a', 'b', 'c')", "2"},
                      Case{"INLIST('b  ', 'a', 'b')", "2"}, Case{"INLIST('B', 'a', 'b')", "0"},
                      Case{"INLIST(2, 1, 2)", "2"}, Case{"INRANGE(5, 1, 10)", "1"},
                      Case{"INRANGE(10, 1, 10)", "1"}, Case{"INRANGE(11, 1, 10)", "0"},
                      Case{"INRANGE('m', 'a', 'z')", "1"}, Case{"INRANGE('M', 'a', 'z')", "0"},
                      Case{"INRANGE(1.5, 1, 2)", "1"}, Case{"MATCH('hello', 'h*o')", "1"},
                      Case{"MATCH('hello', 'h?l*')", "1"}, Case{"MATCH('hello', 'H*')", "0"},
                      Case{"MATCH('hello', 'H*', 1)", "1"}, Case{"MATCH('hello  ', 'hello', 2)", "1"},
                      Case{"MATCH('hello', 'hell', 2)", "0"}, Case{"MATCH('Hello', 'hELLO', 3)", "1"},
                      Case{"MATCH('abc', '*')", "1"}, Case{"MATCH('', '')", "1"},
                      Case{"MATCH('ab', 'a')", "0"}, Case{"NULL('')", "0"}, Case{"NULL(0)", "0"},
                      Case{"NUMERIC(' 12.5 ')", "1"}, Case{"NUMERIC('-3e2')", "1"},
                      Case{"NUMERIC('12a')", "0"}, Case{"NUMERIC('')", "0"}, Case{"NUMERIC('.')", "0"},
                      Case{"RANDOM(4, 4)", "4"}, Case{"INRANGE(RANDOM(1, 6), 1, 6)", "1"},
                      Case{"INRANGE(RANDOM(6, 1), 1, 6)", "1"}, Case{"MEMORY() > 0", "1"},
                      Case{"MEMORY(1) >= MEMORY(0)", "1"}));

INSTANTIATE_TEST_SUITE_P(
    DatesAndPictures, BuiltinGives,
    ::testing::Values(Case{"DATE(8, 20, 2001)", "73284"}, Case{"DATE(13, 1, 2000) = DATE(1, 1, 2001)", "1"},
                      Case{"DATE(2, 30, 2001) = DATE(3, 2, 2001)", "1"}, Case{"DAY(73284)", "20"},
                      Case{"MONTH(73284)", "8"}, Case{"YEAR(73284)", "2001"}, Case{"YEAR(0)", "0"},
                      Case{"AGE(DATE(1, 1, 2000), DATE(1, 1, 2001))",
                           AGE(DATE(1, 1, 2000), DATE(1, 1, 2001))},
                      Case{"FORMAT(73284, @D2)", FormatText(73284, "@D2")},
                      Case{"FORMAT(1234.5, @N10.2)", "  1,234.50"},
                      Case{"FORMAT(73284, '@D2')", FormatText(73284, "@D2")},
                      Case{"FORMAT(DATE(8, 20, 2001), '@D' & 2)", FormatText(73284, "@D2")},
                      Case{"FORMAT('abc', @S5) & '|'", "abc  |"}, Case{"FORMAT(1, @Q)", ""},
                      Case{"DEFORMAT('08/20/2001', @D2)", "73284"}, Case{"DEFORMAT('$1,234.50-')", "1234.50"},
                      Case{"DEFORMAT('-12')", "-12"}));

TEST(EvaluatorBuiltins, TodayAndClockReadTheInstalledClock) {
    platform::set_local_clock([] { return platform::LocalDateTime{2001, 8, 20, 10, 30, 0, 0}; });
    EXPECT_EQ(EVALUATE("TODAY()"), "73284");
    EXPECT_EQ(EVALUATE("CLOCK()"), std::to_string(CLOCK()));
    EXPECT_EQ(EVALUATE("TODAY() - DATE(8, 1, 2001)"), "19");
    platform::set_local_clock({});
}

TEST(EvaluatorBuiltins, GetIniReadsAnEntryOrItsDefault) {
    const testing::TempDirectory dir("evaluator_ini");
    const std::string file = dir.file("test.ini");
    PUTINI("Main", "Colour", "Blue", file);
    EXPECT_EQ(EVALUATE("GETINI('Main', 'Colour', 'Red', '" + file + "')"), "Blue");
    EXPECT_EQ(EVALUATE("GETINI('Main', 'Size', 'Big', '" + file + "')"), "Big");
}

TEST(EvaluatorBuiltins, ArgumentCountsOutsideTheirRangeDoNotCompile) {
    for (const char* text : {"CHOOSE(1)", "INLIST('a')", "DATE(1, 2)", "TODAY(1)", "FORMAT(1)",
                             "INRANGE(1, 2)", "CHR()", "BAND(1)", "MATCH('a')", "RANDOM(1)"}) {
        EXPECT_EQ(Expression::Compile(text), nullptr) << text;
        EXPECT_EQ(ErrorCode(), ErrInvalidExpression) << text;
    }
    std::string many = "CHOOSE(1";
    for (int i = 0; i < 24; ++i)
        many += ",'x'";
    EXPECT_NE(Expression::Compile(many + ")"), nullptr);
    EXPECT_EQ(Expression::Compile(many + ",'y')"), nullptr);
}

TEST(EvaluatorBuiltins, APictureConstantIsCompiledOnceAndReusedPerEvaluation) {
    int32_t date = 73284;
    BIND("D", date);
    auto expression = Expression::Compile("FORMAT(D, @D2)");
    ASSERT_NE(expression, nullptr);
    EXPECT_EQ(expression->as_text(), FormatText(73284, "@D2"));
    date = 73285;
    EXPECT_EQ(expression->as_text(), FormatText(73285, "@D2"));
    ClearScope();
}

} // namespace
} // namespace morvex

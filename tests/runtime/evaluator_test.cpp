// Tokens, grammar, value classes, comparisons and errors of the evaluator,
// as tables of expressions and the values (or errors) they give.
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/evaluator.h"
#include "runtime/string_stack.h"
#include "tests/support/failing_allocator.h"

#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

struct Case {
    const char* expression;
    const char* expected; // the value as text
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.expression;
}

class EvaluatesTo : public ::testing::TestWithParam<Case> {};

TEST_P(EvaluatesTo, TheExpectedText) {
    const Case& c = GetParam();
    EXPECT_EQ(EVALUATE(c.expression), c.expected);
    EXPECT_EQ(ErrorCode(), 0) << ErrorText();
}

INSTANTIATE_TEST_SUITE_P(BasedNumbersAndReals, EvaluatesTo,
                         ::testing::Values(Case{"1FH + 1", "32"}, Case{"101B", "5"}, Case{"17O", "15"},
                                           Case{"0ffh", "255"}, Case{"1b", "1"},
                                           Case{"0FFFFFFFFH", "4294967295"}, Case{"42", "42"},
                                           Case{"1.5 + 1", "2.5"}, Case{"1.5E2", "150"},
                                           Case{"2.5e-1", "0.25"}, Case{"1.25e+1", "12.5"},
                                           Case{"99999999999999999999999", "1e+23"},
                                           Case{"0.1 + 0.2", "0.3"}));

INSTANTIATE_TEST_SUITE_P(TextAndPictureConstants, EvaluatesTo,
                         ::testing::Values(Case{"'It''s'", "It's"}, Case{"''", ""}, Case{"'a b'", "a b"},
                                           Case{"@D1", "@D1"}, Case{"@P(###)###-####P", "@P(###)###-####P"},
                                           Case{"@P###PB", "@P###PB"}, Case{"@K##K", "@K##K"},
                                           Case{"@N~a b,~10", "@N~a b,~10"}, Case{"@S(3) & 'x'", "@S(3)x"},
                                           Case{"FORMAT(5551234567, @P(###)###-####P)", "(555)123-4567"},
                                           Case{"FORMAT(5,@N3)", "  5"}));

INSTANTIATE_TEST_SUITE_P(
    PrecedenceAndAssociation, EvaluatesTo,
    ::testing::Values(Case{"1 + 2 * 3", "7"}, Case{"(1 + 2) * 3", "9"}, Case{"10 - 4 - 3", "3"},
                      Case{"100 / 10 / 5", "2"}, Case{"2 ^ 3 ^ 2", "64"}, Case{"7 % 3", "1"},
                      Case{"-7 % 3", "-1"}, Case{"-2 ^ 2", "4"}, Case{"--5", "5"}, Case{"---5", "-5"},
                      Case{"+-+5", "-5"}, Case{"'a' & 1 + 2", "a3"}, Case{"1 + 2 & 3", "33"},
                      Case{"1 < 2 < 3", "1"}, Case{"3 > 2 > 1", "0"}, Case{"1 OR 1 AND 0", "1"},
                      Case{"(1 OR 1) AND 0", "0"}, Case{"NOT 0 AND 0", "0"}, Case{"NOT 1 = 2", "1"},
                      Case{"NOT NOT 5", "5"}, Case{"NOT NOT NOT 5", "0"}, Case{"1 < 2 AND NOT 3 = 1", "1"},
                      Case{"1 < 2 AND NOT 3 = 3", "0"}, Case{"~0", "1"}, Case{"1 & 2 = '12'", "1"}));

INSTANTIATE_TEST_SUITE_P(LogicAndTruth, EvaluatesTo,
                         ::testing::Values(Case{"1 AND 0", "0"}, Case{"1 and 2", "1"}, Case{"0 OR 0", "0"},
                                           Case{"0 or 3", "1"}, Case{"1 XOR 1", "0"}, Case{"1 XOR 0", "1"},
                                           Case{"'  ' OR 0", "0"}, Case{"'x' AND 1", "1"},
                                           Case{"0.5 AND 1", "1"}, Case{"NOT ''", "1"}, Case{"NOT 'a'", "0"},
                                           Case{"NOT 0.0", "1"}));

INSTANTIATE_TEST_SUITE_P(
    Comparisons, EvaluatesTo,
    ::testing::Values(Case{"3 = 3", "1"}, Case{"3 <> 3", "0"}, Case{"3 < 4", "1"}, Case{"3 > 4", "0"},
                      Case{"3 <= 3", "1"}, Case{"3 >= 4", "0"}, Case{"3 =< 3", "1"}, Case{"3 => 4", "0"},
                      Case{"3 ~= 3", "0"}, Case{"3 ~= 4", "1"}, Case{"3 ~< 2", "1"}, Case{"3 ~< 4", "0"},
                      Case{"3 ~> 2", "0"}, Case{"2 ~> 2", "1"}, Case{"'abc' = 'abc   '", "1"},
                      Case{"'abc' < 'abd'", "1"}, Case{"'a' = 'A'", "0"}, Case{"'B' > 'A'", "1"},
                      Case{"10 = 10.0", "1"}, Case{"'10' = 10", "1"}, Case{"'10' = 10.0", "1"},
                      Case{"'9' < '10'", "0"}, Case{"9 < '10'", "1"}, Case{"0FFFFFFFFH > 1", "1"}));

INSTANTIATE_TEST_SUITE_P(ArithmeticWithoutANumberGivesZero, EvaluatesTo,
                         ::testing::Values(Case{"1 / 0", "0"}, Case{"5 % 0", "0"}, Case{"(0-8) ^ 0.5", "0"},
                                           Case{"10 ^ 400", "0"}, Case{"'abc' + 1", "1"},
                                           Case{"' 12x' + 1", "13"}, Case{"'1e999' + 1", "1"},
                                           Case{"'nan' + 1", "1"}));

struct ErrorCase {
    const char* expression;
    int32_t error;
    const char* text;
};

std::ostream& operator<<(std::ostream& out, const ErrorCase& c) {
    return out << c.expression;
}

class DoesNotCompile : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(DoesNotCompile, AndSetsTheError) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(Expression::Compile(c.expression), nullptr);
    EXPECT_EQ(ErrorCode(), c.error);
    EXPECT_EQ(ErrorText(), c.text);
    SetError(ErrEntryNotFound);
    EXPECT_EQ(EVALUATE(c.expression), "");
    EXPECT_EQ(ErrorCode(), c.error);
}

constexpr const char* Invalid = "Invalid expression for EVALUATE";

INSTANTIATE_TEST_SUITE_P(
    SyntaxErrors, DoesNotCompile,
    ::testing::Values(
        ErrorCase{"1G", ErrInvalidExpression, Invalid}, ErrorCase{"12B", ErrInvalidExpression, Invalid},
        ErrorCase{"1 2", ErrInvalidExpression, Invalid},
        ErrorCase{"UPPER('a'", ErrInvalidExpression, Invalid},
        ErrorCase{"(1 + 2", ErrInvalidExpression, Invalid}, ErrorCase{"1 +", ErrInvalidExpression, Invalid},
        ErrorCase{"", ErrInvalidExpression, Invalid}, ErrorCase{"'open", ErrInvalidExpression, Invalid},
        ErrorCase{"1 ) ", ErrInvalidExpression, Invalid}, ErrorCase{"#", ErrInvalidExpression, Invalid},
        ErrorCase{".5", ErrInvalidExpression, Invalid}, ErrorCase{"1, 2", ErrInvalidExpression, Invalid},
        ErrorCase{"TODAY", ErrInvalidExpression, Invalid}, ErrorCase{"ABS()", ErrInvalidExpression, Invalid},
        ErrorCase{"ABS(1, 2)", ErrInvalidExpression, Invalid},
        ErrorCase{"SUB('abc')", ErrInvalidExpression, Invalid},
        ErrorCase{"1 AND", ErrInvalidExpression, Invalid}, ErrorCase{"NOT", ErrInvalidExpression, Invalid},
        ErrorCase{"()", ErrInvalidExpression, Invalid}));

INSTANTIATE_TEST_SUITE_P(
    UnknownNames, DoesNotCompile,
    ::testing::Values(ErrorCase{"x + 1", ErrNoBind, "No BIND on variable (x)"},
                      ErrorCase{"1 + Cus:Nothing", ErrNoBind, "No BIND on variable (Cus:Nothing)"},
                      ErrorCase{"UPPER(nobody$)", ErrNoBind, "No BIND on variable (nobody$)"},
                      ErrorCase{"1 2 x y", ErrInvalidExpression, Invalid}));

TEST(EvaluatorLimits, DeepNestingDoesNotCompileInsteadOfExhaustingTheStack) {
    EXPECT_EQ(Expression::Compile(std::string(5000, '(') + "1" + std::string(5000, ')')), nullptr);
    EXPECT_EQ(ErrorCode(), ErrInvalidExpression);
    // Text operands are not folded at compile time, so the chain stays a deep tree.
    std::string chain = "'1'";
    for (int i = 0; i < 5000; ++i)
        chain += "+'1'";
    EXPECT_EQ(Expression::Compile(chain), nullptr);
    EXPECT_EQ(ErrorCode(), ErrInvalidExpression);
    // Unary signs fold into at most one node, however many there are.
    auto signs = Expression::Compile(std::string(5000, '-') + "1");
    ASSERT_NE(signs, nullptr);
    EXPECT_EQ(signs->as_text(), "1");
}

TEST(EvaluatorFolding, ArithmeticOnConstantsGivesTheSameValueAndClass) {
    for (const char* text : {"2 * 3.5", "-(2 ^ 3)", "10 / 4 - 1", "7 % 0"}) {
        auto folded = Expression::Compile(text);
        ASSERT_NE(folded, nullptr) << text;
        EXPECT_EQ(folded->value_class(), ValueClass::Real) << text;
    }
    EXPECT_EQ(EVALUATE("2 * 3.5"), "7");
    EXPECT_EQ(EVALUATE("-(2 ^ 3)"), "-8");
    EXPECT_EQ(EVALUATE("10 / 4 - 1"), "1.5");
    EXPECT_EQ(EVALUATE("7 % 0"), "0");
    std::string chain = "0";
    for (int i = 0; i < 5000; ++i)
        chain += "+1";
    EXPECT_EQ(EVALUATE(chain), "5000") << "a constant chain folds as it is read";
}

std::string nested(int levels, const std::string& open, const std::string& close) {
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += open;
    text += "1";
    for (int i = 0; i < levels; ++i)
        text += close;
    return text;
}

TEST(EvaluatorLimits, ParenthesesBracketsAndArgumentListsNestExactlyAHundredDeep) {
    int32_t index = 1;
    ASSERT_TRUE(BIND("n", index));
    struct Row {
        const char* open;
        const char* close;
    };
    for (const Row& row : {Row{"(", ")"}, Row{"ABS(", ")"}, Row{"n[", "]"}}) {
        EXPECT_NE(Expression::Compile(nested(100, row.open, row.close)), nullptr) << row.open;
        EXPECT_EQ(Expression::Compile(nested(101, row.open, row.close)), nullptr) << row.open;
        EXPECT_EQ(ErrorCode(), ErrInvalidExpression);
    }
    ClearScope();
}

TEST(EvaluatorLimits, ModerateNestingCompiles) {
    EXPECT_EQ(EVALUATE(std::string(50, '(') + "1" + std::string(50, ')')), "1");
    std::string chain = "0";
    for (int i = 0; i < 300; ++i)
        chain += "+1";
    EXPECT_EQ(EVALUATE(chain), "300");
}

TEST(EvaluatorClasses, FixedWhenTheTreeIsBuilt) {
    struct Row {
        const char* expression;
        ValueClass value_class;
    };
    const Row rows[] = {
        {"1", ValueClass::Integer},       {"1.5", ValueClass::Real},         {"'a'", ValueClass::Text},
        {"@N3", ValueClass::Picture},     {"1 + 1", ValueClass::Real},       {"-1", ValueClass::Real},
        {"1 & 1", ValueClass::Text},      {"1 = 1", ValueClass::Integer},    {"NOT 1", ValueClass::Integer},
        {"1 AND 1", ValueClass::Integer}, {"LEN('a')", ValueClass::Integer}, {"SQRT(4)", ValueClass::Real},
        {"UPPER('a')", ValueClass::Text}};
    for (const Row& row : rows) {
        auto expression = Expression::Compile(row.expression);
        ASSERT_NE(expression, nullptr) << row.expression;
        EXPECT_EQ(expression->value_class(), row.value_class) << row.expression;
    }
}

TEST(EvaluatorWays, EachNodeEvaluatesInAllFourWays) {
    auto real = Expression::Compile("7 / 2");
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->as_integer(), 3);
    EXPECT_DOUBLE_EQ(real->as_real(), 3.5);
    EXPECT_EQ(real->as_text(), "3.5");
    EXPECT_TRUE(real->as_truth());

    auto text = Expression::Compile("'12' & '.75'");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->as_integer(), 12);
    EXPECT_DOUBLE_EQ(text->as_real(), 12.75);
    EXPECT_TRUE(text->as_truth());

    auto negative = Expression::Compile("0 - 2.9");
    ASSERT_NE(negative, nullptr);
    EXPECT_EQ(negative->as_integer(), -2) << "truncated toward zero";

    auto huge = Expression::Compile("10 ^ 300");
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(huge->as_integer(), INT64_MAX) << "held to the integer range";

    auto blank = Expression::Compile("'   '");
    ASSERT_NE(blank, nullptr);
    EXPECT_FALSE(blank->as_truth());
    EXPECT_EQ(blank->as_integer(), 0);
}

TEST(EvaluatorWays, PushTextPutsTheValueOnTheStringStack) {
    auto expression = Expression::Compile("'ab' & 'cd'");
    ASSERT_NE(expression, nullptr);
    expression->push_text();
    EXPECT_EQ(Strings().take(), "abcd");
}

TEST(EvaluatorWays, ASuccessfulCompileClearsTheErrorState) {
    SetError(ErrEntryNotFound);
    EXPECT_EQ(EVALUATE("1"), "1");
    EXPECT_EQ(ErrorCode(), 0);
}

TEST(EvaluatorNumbers, TextAndRealConversionsReadBack) {
    char buffer[32];
    EXPECT_EQ(RealToText(0.0, buffer), "0");
    EXPECT_EQ(RealToText(-0.0, buffer), "0");
    EXPECT_EQ(RealToText(1234567.0, buffer), "1234567");
    EXPECT_EQ(RealToText(-0.125, buffer), "-0.125");
    EXPECT_DOUBLE_EQ(TextToReal("  -12.5e1xyz"), -125);
    EXPECT_DOUBLE_EQ(TextToReal("+3"), 3);
    EXPECT_DOUBLE_EQ(TextToReal("abc"), 0);
    EXPECT_DOUBLE_EQ(TextToReal("inf"), 0);
    EXPECT_DOUBLE_EQ(TextToReal("-"), 0);
}

// Every allocation an evaluation makes is failed in turn: each failure that
// is reached must be reported as ErrInsufficientMemory, never passed off as a value.
TEST(EvaluatorMemory, RunningOutWhileEvaluatingIsReported) {
    enum class Read { Text, Integer, Truth };
    struct Row {
        const char* expression;
        Read read;
        const char* value;
    };
    // Texts longer than a short string's inline room, so that they allocate.
    const Row rows[] = {
        {"UPPER('abcdefghijklmnopq') & LOWER('RSTUVWXYZ')", Read::Text, "ABCDEFGHIJKLMNOPQrstuvwxyz"},
        {"LEN(UPPER('abcdefghijklmnopq') & 'rstuvwxyz')", Read::Integer, "26"},
        {"'abcdefghijklmnopq' & 'rstuvwxyz' = 'abcdefghijklmnopqrstuvwxyz'", Read::Truth, "1"},
    };
    for (const Row& row : rows) {
        int failures = 0;
        for (long k = 0; k < 1000; ++k) {
            std::unique_ptr<Expression> expression = Expression::Compile(row.expression);
            ASSERT_NE(expression, nullptr) << row.expression;
            testing::fail_allocation_after(k);
            std::string_view text;
            int64_t integer = 0;
            bool truth = false;
            switch (row.read) {
            case Read::Text:
                text = expression->as_text();
                break;
            case Read::Integer:
                integer = expression->as_integer();
                break;
            case Read::Truth:
                truth = expression->as_truth();
                break;
            }
            const bool reached = !testing::allocation_failure_pending();
            testing::stop_failing_allocations();
            if (reached) {
                EXPECT_EQ(ErrorCode(), ErrInsufficientMemory) << row.expression << " allocation " << k;
                EXPECT_TRUE(text.empty() && integer == 0 && !truth) << row.expression;
                ++failures;
                continue;
            }
            EXPECT_EQ(ErrorCode(), 0) << row.expression;
            const std::string value = row.read == Read::Text      ? std::string(text)
                                      : row.read == Read::Integer ? std::to_string(integer)
                                                                  : std::string(truth ? "1" : "0");
            EXPECT_EQ(value, row.value) << row.expression;
            break;
        }
        EXPECT_GT(failures, 0) << row.expression << " allocates nothing to fail";
    }
}

} // namespace
} // namespace morvex

// BIND and scopes: names and their rules, bound variables of every field
// type read at evaluation time, PUSHSCOPE/POPSCOPE/ClearScope, the fatal
// unbalanced pop, and each runtime thread's own scopes.
#include "platform/message_queue.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/evaluator.h"
#include "runtime/string_stack.h"
#include "runtime/threads.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace morvex {
namespace {

using namespace std::chrono_literals;

class EvaluatorBindTest : public ::testing::Test {
protected:
    void SetUp() override { ClearScope(); }
    void TearDown() override {
        while (ScopeDepth() > 0)
            POPSCOPE();
        ClearScope();
    }
};

TEST_F(EvaluatorBindTest, NamesAreFoundWithoutRegardToCase) {
    int32_t value = 7;
    ASSERT_TRUE(BIND("Cus:Name", value));
    EXPECT_EQ(EVALUATE("CUS:NAME"), "7");
    EXPECT_EQ(EVALUATE("cus:name + 1"), "8");
}

TEST_F(EvaluatorBindTest, NamesAreCutAtTheirFirstForeignCharacter) {
    int32_t a = 1, b = 2, c = 3;
    ASSERT_TRUE(BIND("Total Amount", a)); // bound as "Total"
    ASSERT_TRUE(BIND("Count#(x)", b));    // "#" kept as the last character
    ASSERT_TRUE(BIND("Name$$", c));       // only one "$"
    EXPECT_EQ(EVALUATE("Total"), "1");
    EXPECT_EQ(EVALUATE("Count#"), "2");
    EXPECT_EQ(EVALUATE("Name$"), "3");
    EXPECT_EQ(EVALUATE("Amount"), "");
    EXPECT_EQ(ErrorCode(), ErrNoBind);
}

TEST_F(EvaluatorBindTest, NamesAreCutToNinetyNineCharacters) {
    int32_t value = 5;
    ASSERT_TRUE(BIND(std::string(120, 'x'), value));
    EXPECT_EQ(EVALUATE(std::string(99, 'x')), "5");
    EXPECT_EQ(EVALUATE(std::string(100, 'x')), "");
    EXPECT_EQ(ErrorCode(), ErrNoBind);
}

TEST_F(EvaluatorBindTest, EmptyNamesAndUnreadableTypesAreRefused) {
    int32_t value = 1;
    EXPECT_FALSE(BIND("", value));
    EXPECT_FALSE(BIND(" lead", value));
    EXPECT_FALSE(BIND("m", BoundVariable{FieldType::Memo, &value, 4}));
    EXPECT_FALSE(BIND("n", BoundVariable{FieldType::Long, nullptr, 4}));
    EXPECT_FALSE(BIND("s", BoundVariable{FieldType::String, &value, 0}));
}

TEST_F(EvaluatorBindTest, BindingAgainReplacesTheEntry) {
    int32_t first = 1;
    double second = 2.5;
    BIND("v", first);
    BIND("V", second);
    EXPECT_EQ(EVALUATE("v"), "2.5");
}

TEST_F(EvaluatorBindTest, ABoundNameTakesABuiltInsPlaceInItsScope) {
    int32_t value = 3;
    BIND("LEN", value);
    EXPECT_EQ(EVALUATE("LEN + 1"), "4");
    ClearScope();
    EXPECT_EQ(EVALUATE("LEN('ab')"), "2");
}

TEST_F(EvaluatorBindTest, StackBindTakesTheNameFromTheStringStack) {
    int32_t value = 11;
    Strings().push_copy("Stacked");
    ASSERT_TRUE(StackBIND(BoundVariable{FieldType::Long, &value, 4}));
    EXPECT_TRUE(Strings().empty());
    EXPECT_EQ(EVALUATE("stacked"), "11");
}

// Each row: how to bind, then the expression's text before and after the
// variable changes. The compiled expression is evaluated twice without
// compiling again.
TEST_F(EvaluatorBindTest, EveryFieldTypeIsReadAtEvaluationTime) {
    int32_t long_value = -5;
    int16_t short_value = -300;
    uint16_t ushort_value = 65000;
    uint8_t byte_value = 200;
    uint32_t ulong_value = 4000000000u;
    float sreal_value = 1.5f;
    double real_value = 2.25;
    DateStorage date_value = LongToDate(73284);
    TimeStorage time_value = LongToTime(360001);
    FixedText<6> string_value("abc");
    char cstring_value[8] = "hi";
    uint8_t pstring_value[6] = {3, 'x', 'y', 'z', '!', '!'};
    uint8_t decimal_value[3] = {0x11, 0x23, 0x45};  // DECIMAL(5,2) -123.45
    uint8_t pdecimal_value[3] = {0x12, 0x34, 0x5C}; // PDECIMAL(5,1) 1234.5

    BIND("L", long_value);
    BIND("S", short_value);
    BIND("US", ushort_value);
    BIND("B", byte_value);
    BIND("UL", ulong_value);
    BIND("SR", sreal_value);
    BIND("R", real_value);
    BIND("D", date_value);
    BIND("T", time_value);
    BIND("STR", string_value);
    BIND("CS", BoundVariable{FieldType::CString, cstring_value, sizeof cstring_value});
    BIND("PS", BoundVariable{FieldType::PString, pstring_value, sizeof pstring_value});
    BIND("DEC", BoundVariable{FieldType::Decimal, decimal_value, 3, 2});
    BIND("PDEC", BoundVariable{FieldType::PDecimal, pdecimal_value, 3, 1});

    struct Row {
        const char* expression;
        const char* before;
        const char* after;
    };
    const Row rows[] = {
        {"L", "-5", "123456"},        {"S", "-300", "32767"},
        {"US", "65000", "1"},         {"B", "200", "0"},
        {"UL", "4000000000", "7"},    {"SR", "1.5", "-0.25"},
        {"R", "2.25", "1000000.5"},   {"D", "73284", "73285"},
        {"T", "360001", "8640000"},   {"STR", "abc   ", "abcdef"},
        {"CS", "hi", "hello"},        {"PS", "xyz", "x"},
        {"DEC", "-123.45", "999.99"}, {"PDEC", "1234.5", "-0.1"},
        {"STR = 'abc'", "1", "0"},    {"UL > 3000000000", "1", "0"},
        {"D = 73284", "1", "0"},      {"L < 0 AND STR", "1", "0"},
    };
    std::vector<std::unique_ptr<Expression>> compiled;
    for (const Row& row : rows) {
        compiled.push_back(Expression::Compile(row.expression));
        ASSERT_NE(compiled.back(), nullptr) << row.expression;
        EXPECT_EQ(compiled.back()->as_text(), row.before) << row.expression;
    }
    long_value = 123456;
    short_value = 32767;
    ushort_value = 1;
    byte_value = 0;
    ulong_value = 7;
    sreal_value = -0.25f;
    real_value = 1000000.5;
    date_value = LongToDate(73285);
    time_value = LongToTime(8640000);
    string_value.assign("abcdef");
    std::strcpy(cstring_value, "hello");
    pstring_value[0] = 1;
    const uint8_t decimal_after[3] = {0x09, 0x99, 0x99};
    std::memcpy(decimal_value, decimal_after, 3);
    const uint8_t pdecimal_after[3] = {0x00, 0x00, 0x1D};
    std::memcpy(pdecimal_value, pdecimal_after, 3);
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(compiled[i]->as_text(), rows[i].after) << rows[i].expression;
}

TEST_F(EvaluatorBindTest, TextFieldsThatOverrunTheirStorageStopAtItsEnd) {
    char cstring_value[4] = {'a', 'b', 'c', 'd'}; // no terminating zero
    uint8_t pstring_value[3] = {200, 'x', 'y'};   // length byte beyond the field
    BIND("CS", BoundVariable{FieldType::CString, cstring_value, 4});
    BIND("PS", BoundVariable{FieldType::PString, pstring_value, 3});
    EXPECT_EQ(EVALUATE("CS"), "abcd");
    EXPECT_EQ(EVALUATE("PS"), "xy");
}

TEST_F(EvaluatorBindTest, TruthOfAVariableIsItsTypesOwnTest) {
    FixedText<4> text("    ");
    double real = 0.0;
    BIND("TXT", text);
    BIND("R", real);
    auto expression = Expression::Compile("TXT OR R");
    ASSERT_NE(expression, nullptr);
    EXPECT_FALSE(expression->as_truth());
    text.assign("x");
    EXPECT_TRUE(expression->as_truth());
    text.assign("");
    real = 0.5;
    EXPECT_TRUE(expression->as_truth());
}

TEST_F(EvaluatorBindTest, IndexesAndSlicesPickCharactersAndElements) {
    FixedText<10> name("Morvex");
    int32_t numbers[3] = {10, 20, 30};
    FixedText<4> codes[2] = {FixedText<4>("ABCD"), FixedText<4>("WXYZ")};
    int32_t i = 2;
    BIND("N", name);
    BIND("ARR", BoundVariable{FieldType::Long, numbers, 4, 0, 3});
    BIND("CODES", BoundVariable{FieldType::String, codes, 4, 0, 2});
    BIND("I", i);
    const struct {
        const char* expression;
        const char* expected;
    } rows[] = {
        {"N[1]", "M"},         {"N[2 : 4]", "orv"},  {"N[I]", "o"},           {"N[5:100]", "ex    "},
        {"N[0:2]", "Mo"},      {"N[4:2]", ""},       {"N[99]", ""},           {"ARR[1]", "10"},
        {"ARR[I] + 1", "21"},  {"ARR[3]", "30"},     {"ARR[4]", "0"},         {"ARR[0]", "0"},
        {"CODES[2]", "WXYZ"},  {"CODES[2, 3]", "Y"}, {"CODES[1, 2:3]", "BC"}, {"ARR[2, 1]", "2"},
        {"N[1] & N[6]", "Mx"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(EVALUATE(row.expression), row.expected) << row.expression;
    EXPECT_EQ(EVALUATE("N[1"), "");
    EXPECT_EQ(ErrorCode(), ErrInvalidExpression);
}

TEST_F(EvaluatorBindTest, PushScopeStartsEmptyAndPopScopeRestores) {
    int32_t outer = 1, inner = 2;
    BIND("X", outer);
    PUSHSCOPE(5);
    EXPECT_EQ(ScopeDepth(), 1u);
    EXPECT_EQ(EVALUATE("X"), "");
    EXPECT_EQ(ErrorCode(), ErrNoBind);
    EXPECT_EQ(EVALUATE("UPPER('a')"), "A") << "the built-ins are there in the new scope";
    BIND("X", inner);
    EXPECT_EQ(EVALUATE("X"), "2");
    POPSCOPE();
    EXPECT_EQ(ScopeDepth(), 0u);
    EXPECT_EQ(EVALUATE("X"), "1");
}

TEST_F(EvaluatorBindTest, ClearScopeForgetsTheBindingsButKeepsTheBuiltIns) {
    int32_t value = 1;
    BIND("X", value);
    ClearScope();
    EXPECT_EQ(EVALUATE("X"), "");
    EXPECT_EQ(ErrorCode(), ErrNoBind);
    EXPECT_EQ(EVALUATE("ABS(0 - 2)"), "2");
}

TEST_F(EvaluatorBindTest, ACompiledExpressionOutlivesItsScope) {
    int32_t value = 4;
    PUSHSCOPE();
    BIND("X", value);
    auto expression = Expression::Compile("X * 2");
    POPSCOPE();
    ASSERT_NE(expression, nullptr);
    value = 5;
    EXPECT_EQ(expression->as_integer(), 10);
}

TEST(EvaluatorScopeDeathTest, PopScopeWithoutAPushEndsTheProgramWith802) {
    EXPECT_EXIT(
        {
            ClearScope();
            POPSCOPE();
        },
        ::testing::ExitedWithCode(2), "Mismatched PUSHSCOPE/POPSCOPE : Mismatched POPSCOPE");
}

// Two started procedures bind the same name to their own variables and
// give the lock up between binding and evaluating, so that the other's
// scopes are swapped in meanwhile.
std::atomic<int> g_unbound_at_start{0};
std::atomic<int> g_depth_at_start{0};
std::string g_results[2];

void bind_and_evaluate(int which) {
    if (ScopeDepth() == 0)
        g_depth_at_start++;
    if (!Expression::Compile("X") && ErrorCode() == ErrNoBind)
        g_unbound_at_start++;
    int32_t value = 100 + which;
    BIND("X", value);
    PUSHSCOPE();
    int32_t shadow = -1;
    BIND("X", shadow);
    POPSCOPE();
    PUSHSCOPE(); // left open: the thread's end pops it
    PUSHSCOPE();
    POPSCOPE();
    POPSCOPE();
    for (int i = 0; i < 5; ++i)
        platform::wait_message(2ms);
    g_results[which] = EVALUATE("X");
    PUSHSCOPE();
}

void first_procedure() {
    bind_and_evaluate(0);
}
void second_procedure() {
    bind_and_evaluate(1);
}

TEST(EvaluatorThreads, EachThreadHasItsOwnScopeAndScopeStack) {
    InitializeThreads();
    ClearScope();
    int32_t value = 42;
    BIND("X", value);
    PUSHSCOPE();
    BIND("X", value);
    ASSERT_NE(START(first_procedure, 0), 0);
    ASSERT_NE(START(second_procedure, 0), 0);
    WaitForOtherThreads();
    EXPECT_EQ(g_depth_at_start, 2);
    EXPECT_EQ(g_unbound_at_start, 2);
    EXPECT_EQ(g_results[0], "100");
    EXPECT_EQ(g_results[1], "101");
    EXPECT_EQ(ScopeDepth(), 1u);
    EXPECT_EQ(EVALUATE("X"), "42");
    POPSCOPE();
    EXPECT_EQ(EVALUATE("X"), "42");
    ClearScope();
}

// Arithmetic over bound variables is compiled into steps: each row is one
// form of step (operand from the stack, a constant or a variable read in
// place; squares; functions; subtrees left to the tree) checked against the
// same arithmetic done here, for several values of the variables.
TEST_F(EvaluatorBindTest, CompiledArithmeticGivesTheTreeResults) {
    double r = 0;
    float s = 0;
    int32_t l = 0;
    char t[4] = {};
    ASSERT_TRUE(BIND("r", r));
    ASSERT_TRUE(BIND("s", s));
    ASSERT_TRUE(BIND("l", l));
    ASSERT_TRUE(BIND("t", BoundVariable{FieldType::String, t, sizeof t}));
    auto finite = [](double x) { return std::isfinite(x) ? x : 0.0; };
    struct Row {
        const char* expression;
        std::function<double()> expected;
    };
    const Row rows[] = {
        {"r + 1.5", [&] { return r + 1.5; }},
        {"1.5 - r", [&] { return 1.5 - r; }},
        {"r * (s + l)", [&] { return finite(r * (double{s} + l)); }},
        {"l / r", [&] { return finite(l / r); }},
        {"r / (l - l)", [&] { return 0.0; }},
        {"r % 0.75 + r % s",
         [&] { return finite(finite(std::fmod(r, 0.75)) + finite(std::fmod(r, double{s}))); }},
        {"r ^ 2 - r ^ s", [&] { return finite(r * r - finite(std::pow(r, double{s}))); }},
        {"r ^ 400", [&] { return finite(std::pow(r, 400)); }},
        {"-r * l", [&] { return -r * l; }},
        {"SQRT(l) + SIN(r) * COS(s)",
         [&] { return finite(finite(std::sqrt(l)) + std::sin(r) * std::cos(double{s})); }},
        {"LOGE(r) / LOG10(s)", [&] { return finite(finite(std::log(r)) / finite(std::log10(double{s}))); }},
        {"(r > 1) + t * 2",
         [&] { return (r > 1 ? 1.0 : 0.0) + std::atof(std::string(t, sizeof t).c_str()) * 2; }},
    };
    const struct {
        double r;
        float s;
        int32_t l;
        const char* t;
    } values[] = {{2.5, 0.5f, -3, "4.5 "}, {-7.25, 3.0f, 4, "-1  "}, {1e300, 1e30f, 0, "x   "}};
    for (const Row& row : rows) {
        std::unique_ptr<Expression> expression = Expression::Compile(row.expression);
        ASSERT_TRUE(expression) << row.expression;
        for (const auto& v : values) {
            r = v.r;
            s = v.s;
            l = v.l;
            std::memcpy(t, v.t, sizeof t);
            EXPECT_EQ(expression->as_real(), row.expected()) << row.expression << " with r " << r;
        }
    }
}

} // namespace
} // namespace morvex

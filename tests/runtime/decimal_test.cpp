// Decimal accumulators: the documented cases as tables, arithmetic and
// rounding against exact integers (Boost cpp_int), packed storage round
// trips, per-thread stacks and FORMAT from the top accumulator.
#include "platform/message_queue.h"
#include "runtime/decimal.h"
#include "runtime/threads.h"

#include <array>
#include <atomic>
#include <boost/multiprecision/cpp_int.hpp>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace morvex {
namespace {

using boost::multiprecision::cpp_int;

std::string text_of(DecimalStack& stack) {
    char text[68];
    return std::string(text, stack.take_text(text));
}

// Parses, applies nothing, and gives the number text back.
std::string parsed(std::string_view text) {
    DecimalStack stack;
    stack.push_text(text);
    return text_of(stack);
}

// ---------------------------------------------------------------------------
// Parsing

struct ParseCase {
    const char* label;
    const char* text;
    const char* expected;
};

class DecimalParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DecimalParse, ReadsTheNumberTheTextStartsWith) {
    EXPECT_EQ(parsed(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecimalParse,
    ::testing::Values(
        ParseCase{"CommaIsADecimalPoint", "1,5", "1.5"}, ParseCase{"PeriodIsADecimalPoint", "1.5", "1.5"},
        ParseCase{"LeadingBlanksSkipped", "   42", "42"}, ParseCase{"MinusMakesNegative", "-7.25", "-7.25"},
        ParseCase{"OtherCharacterEnds", "12a34", "12"}, ParseCase{"SecondPointEnds", "1.2.3", "1.2"},
        ParseCase{"NoDigitsIsZero", "abc", "0"}, ParseCase{"EmptyIsZero", "", "0"},
        ParseCase{"MinusZeroIsZero", "-0.000", "0"},
        ParseCase{"LeadingZerosIgnored", "000123.4500", "123.45"},
        ParseCase{"ExponentScalesUp", "1.5E3", "1500"}, ParseCase{"LowerCaseExponent", "2e2", "200"},
        ParseCase{"NegativeExponentScalesDown", "125e-2", "1.25"},
        ParseCase{"ExplicitPlusExponent", "3E+1", "30"}, ParseCase{"ExponentWithoutDigits", "7E", "7"},
        ParseCase{"FractionOnly", ".5", "0.5"}, ParseCase{"CommaWithExponent", "-2,5e1", "-25"},
        ParseCase{"ThirtyTwoPlacesKept", "0.12345678901234567890123456789012",
                  "0.12345678901234567890123456789012"},
        ParseCase{"ThirtyThirdPlaceRoundsUp", "0.000000000000000000000000000000005",
                  "0.00000000000000000000000000000001"},
        ParseCase{"ThirtyThirdPlaceRoundsDown", "0.000000000000000000000000000000004", "0"},
        ParseCase{"ThirtyTwoIntegerDigitsKept", "99999999999999999999999999999999",
                  "99999999999999999999999999999999"},
        ParseCase{"IntegerDigitsBeyondThirtyTwoDropped", "123456789012345678901234567890123456",
                  "56789012345678901234567890123456"},
        ParseCase{"ExponentBeyondTheTopGivesZero", "1e40", "0"},
        ParseCase{"ExponentBelowTheBottomGivesZero", "1e-40", "0"},
        ParseCase{"ExponentBringsFarDigitsIn", "0.000000000000000000000000000000000000000000000001e40",
                  "0.00000001"},
        ParseCase{"HugeExponentDoesNotOverflow", "5e99999999999999999999", "0"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DecimalAccumulator, DigitsSitAtTheirWeights) {
    DecimalStack stack;
    stack.push_text("-21.5");
    const DecimalAccumulator& top = stack.top();
    EXPECT_EQ(top.digits[31], 5);
    EXPECT_EQ(top.digits[32], 1);
    EXPECT_EQ(top.digits[33], 2);
    EXPECT_EQ(top.sign, 1);
    EXPECT_EQ(top.low, 31);
    EXPECT_EQ(top.high, 33);
}

TEST(DecimalAccumulator, ZeroIsPositiveWithUnitsDigitInUse) {
    DecimalStack stack;
    stack.push_text("-0");
    const DecimalAccumulator& top = stack.top();
    EXPECT_EQ(top.sign, 0);
    EXPECT_EQ(top.low, 32);
    EXPECT_EQ(top.high, 32);
    EXPECT_EQ(top.digits[32], 0);
}

// ---------------------------------------------------------------------------
// Operations on the stack

enum class Op { Add, Subtract, Multiply, Divide };

struct ArithmeticCase {
    const char* label;
    const char* a;
    Op op;
    const char* b;
    const char* expected;
};

class DecimalArithmetic : public ::testing::TestWithParam<ArithmeticCase> {};

TEST_P(DecimalArithmetic, GivesTheExactResult) {
    const ArithmeticCase& c = GetParam();
    DecimalStack stack;
    stack.push_text(c.a);
    stack.push_text(c.b);
    switch (c.op) {
    case Op::Add:
        stack.add();
        break;
    case Op::Subtract:
        stack.subtract();
        break;
    case Op::Multiply:
        stack.multiply();
        break;
    case Op::Divide:
        stack.divide();
        break;
    }
    EXPECT_EQ(stack.size(), 1u);
    EXPECT_EQ(text_of(stack), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecimalArithmetic,
    ::testing::Values(ArithmeticCase{"OneThirdHasThirtyOneThrees", "1", Op::Divide, "3",
                                     "0.3333333333333333333333333333333"},
                      ArithmeticCase{"TwoThirdsRoundsUpAtThirtyOnePlaces", "2", Op::Divide, "3",
                                     "0.6666666666666666666666666666667"},
                      ArithmeticCase{"DivisionByZeroIsZero", "5", Op::Divide, "0", "0"},
                      ArithmeticCase{"ZeroDividendIsZero", "0", Op::Divide, "7", "0"},
                      ArithmeticCase{"NegativeQuotientRoundsAwayFromZero", "-2", Op::Divide, "3",
                                     "-0.6666666666666666666666666666667"},
                      ArithmeticCase{"ExactQuotient", "10.5", Op::Divide, "-0.25", "-42"},
                      ArithmeticCase{"SumCarries", "999.99", Op::Add, "0.01", "1000"},
                      ArithmeticCase{"DifferentSignsSubtract", "5", Op::Add, "-7.5", "-2.5"},
                      ArithmeticCase{"SubtractNegatesTheTop", "5", Op::Subtract, "-7.5", "12.5"},
                      ArithmeticCase{"EqualValuesCancel", "123.456", Op::Subtract, "123.456", "0"},
                      ArithmeticCase{"SumBeyondThirtyTwoDigitsWraps", "99999999999999999999999999999999",
                                     Op::Add, "1", "0"},
                      ArithmeticCase{"ProductKeepsAllPlaces", "1.25", Op::Multiply, "-0.5", "-0.625"},
                      ArithmeticCase{"ProductRoundsAtThirtyTwoPlaces", "0.0000000000000001", Op::Multiply,
                                     "0.00000000000000005", "0.00000000000000000000000000000001"},
                      ArithmeticCase{"ProductBeyondThirtyTwoDigitsWraps", "100000000000000000", Op::Multiply,
                                     "1000000000000000000", "0"},
                      ArithmeticCase{"ProductOfZeroIsPositiveZero", "-5", Op::Multiply, "0", "0"}),
    [](const auto& info) { return std::string(info.param.label); });

struct RoundCase {
    const char* label;
    const char* value;
    int places;
    const char* expected;
};

class DecimalRound : public ::testing::TestWithParam<RoundCase> {};

TEST_P(DecimalRound, RoundsHalfAwayFromZero) {
    DecimalStack stack;
    stack.push_text(GetParam().value);
    stack.round(GetParam().places);
    EXPECT_EQ(text_of(stack), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecimalRound,
                         ::testing::Values(RoundCase{"HalfGoesUp", "0.5", 0, "1"},
                                           RoundCase{"NegativeHalfGoesDown", "-0.5", 0, "-1"},
                                           RoundCase{"BelowHalfDrops", "0.49", 0, "0"},
                                           RoundCase{"CarryAddsADigit", "99.995", 2, "100"},
                                           RoundCase{"TwoPlaces", "12.345", 2, "12.35"},
                                           RoundCase{"NegativePlacesRoundTens", "1250", -2, "1300"},
                                           RoundCase{"MorePlacesThanKeptChangeNothing", "1.5", 40, "1.5"},
                                           RoundCase{"CarryOutOfTheTopWraps",
                                                     "99999999999999999999999999999999.5", 0, "0"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(DecimalStack, TakingMinusSevenPointNineAsLongGivesMinusSeven) {
    DecimalStack stack;
    stack.push_text("-7.9");
    EXPECT_EQ(stack.take_long(), -7);
}

TEST(DecimalStack, TakeLongSaturatesBeyondTheLongRange) {
    DecimalStack stack;
    stack.push_text("2147483647.9");
    EXPECT_EQ(stack.take_long(), 2147483647);
    stack.push_text("-2147483648");
    EXPECT_EQ(stack.take_long(), INT32_MIN);
    stack.push_text("2147483648");
    EXPECT_EQ(stack.take_long(), INT32_MAX);
    stack.push_text("-99999999999999999999999");
    EXPECT_EQ(stack.take_long(), INT32_MIN);
}

TEST(DecimalStack, PushLongAndUnsignedKeepTheirValues) {
    DecimalStack stack;
    stack.push_long(INT32_MIN);
    EXPECT_EQ(text_of(stack), "-2147483648");
    stack.push_unsigned(UINT32_MAX);
    EXPECT_EQ(text_of(stack), "4294967295");
    stack.push_long(0);
    EXPECT_EQ(text_of(stack), "0");
}

TEST(DecimalStack, TakeRealKeepsSixteenSignificantDigits) {
    struct Row {
        const char* text;
        double expected;
    } rows[] = {
        {"0.1", 0.1},
        {"-12.345", -12.345},
        {"1234567890.123456789", 1234567890.123457},
        {"0.00000000000000000000000000000001", 1e-32},
        {"99999999999999999999999999999999", 1e32},
        {"0", 0.0},
    };
    for (const Row& row : rows) {
        DecimalStack stack;
        stack.push_text(row.text);
        EXPECT_EQ(stack.take_real(), row.expected) << row.text;
    }
}

TEST(DecimalStack, PowerOfTenCoversTheAccumulatorAndIsZeroBeyond) {
    DecimalStack stack;
    stack.push_power_of_ten(3);
    EXPECT_EQ(text_of(stack), "1000");
    stack.push_power_of_ten(-2);
    EXPECT_EQ(text_of(stack), "0.01");
    stack.push_power_of_ten(31);
    EXPECT_EQ(text_of(stack), "10000000000000000000000000000000");
    stack.push_power_of_ten(-32);
    EXPECT_EQ(text_of(stack), "0.00000000000000000000000000000001");
    stack.push_power_of_ten(32);
    EXPECT_EQ(text_of(stack), "0");
    stack.push_power_of_ten(-33);
    EXPECT_EQ(text_of(stack), "0");
}

TEST(DecimalStack, NegateAndAbsoluteChangeOnlyTheSign) {
    DecimalStack stack;
    stack.push_text("3.5");
    stack.negate();
    EXPECT_EQ(stack.sign_test(), -1);
    stack.push_text("-3.5");
    stack.absolute();
    EXPECT_EQ(text_of(stack), "3.5");
    stack.push_text("0");
    stack.negate();
    EXPECT_EQ(stack.top().sign, 0) << "zero stays positive";
}

TEST(DecimalStack, CompareOrdersBelowAgainstTop) {
    struct Row {
        const char* a;
        const char* b;
        int expected;
    } rows[] = {
        {"1", "2", -1},         {"2", "1", 1},        {"-1", "1", -1},   {"-2", "-1", -1}, {"1.50", "1.5", 0},
        {"0.001", "0.0001", 1}, {"100", "99.999", 1}, {"-0.1", "0", -1}, {"0", "0.0", 0},
    };
    for (const Row& row : rows) {
        DecimalStack stack;
        stack.push_text(row.a);
        stack.push_text(row.b);
        EXPECT_EQ(stack.compare(), row.expected) << row.a << " vs " << row.b;
        EXPECT_TRUE(stack.empty());
    }
}

TEST(DecimalStack, ZeroComparesEqualWhateverItsSignByte) {
    DecimalAccumulator negative_zero;
    negative_zero.sign = 1;
    DecimalStack stack;
    stack.push(negative_zero);
    stack.push_long(0);
    EXPECT_EQ(stack.compare(), 0);
    stack.push(negative_zero);
    EXPECT_EQ(stack.sign_test(), 0);
}

TEST(DecimalStack, SignTestTakesTheTop) {
    DecimalStack stack;
    stack.push_text("-0.01");
    stack.push_text("5");
    EXPECT_EQ(stack.sign_test(), 1);
    EXPECT_EQ(stack.sign_test(), -1);
    EXPECT_EQ(stack.sign_test(), 0) << "an empty stack gives zero";
}

TEST(DecimalStack, FullStackDropsThePushAndEmptyStackGivesZero) {
    DecimalStack stack;
    for (std::size_t i = 0; i < DecimalStack::Capacity; ++i)
        stack.push_long(static_cast<int32_t>(i));
    stack.push_long(999);
    EXPECT_EQ(stack.size(), DecimalStack::Capacity);
    EXPECT_EQ(stack.take_long(), static_cast<int32_t>(DecimalStack::Capacity - 1));
    stack.clear();
    EXPECT_EQ(stack.take_long(), 0);
    stack.push_long(6);
    stack.divide(); // 0 / 6 with the missing operand taken as zero
    EXPECT_EQ(stack.size(), 1u);
    EXPECT_EQ(stack.take_long(), 0);
    stack.add();
    EXPECT_EQ(stack.size(), 1u);
    EXPECT_EQ(text_of(stack), "0");
}

TEST(DecimalStack, PushLowersAHighIndexAboveTheTopDigit) {
    DecimalAccumulator loose;
    loose.digits[33] = 4;
    loose.digits[30] = 7;
    loose.low = 30;
    loose.high = 45;
    loose.sign = 1;
    DecimalStack stack;
    stack.push(loose);
    EXPECT_EQ(stack.top().high, 33);
    EXPECT_EQ(text_of(stack), "-40.07");
}

TEST(DecimalStack, PushRepairsAMalformedAccumulator) {
    DecimalAccumulator bad;
    std::fill(std::begin(bad.digits), std::end(bad.digits), 0xEE);
    bad.low = 200;
    bad.high = 7;
    bad.sign = 9;
    DecimalStack stack;
    stack.push(bad);
    EXPECT_EQ(text_of(stack), "-9");
}

// ---------------------------------------------------------------------------
// Storage

TEST(DecimalStorage, StoringTwelvePointThreeFourFiveIntoThreeBytesRoundsToTwoPlaces) {
    DecimalStack stack;
    uint8_t field[3];
    stack.push_text("12.345");
    stack.store_decimal(field, 3, 2);
    // Sign 0, then the digits 0 1 2 3 5: 012.35.
    EXPECT_EQ(field[0], 0x00);
    EXPECT_EQ(field[1], 0x12);
    EXPECT_EQ(field[2], 0x35);
    stack.push_text("-12.345");
    stack.store_decimal(field, 3, 2);
    EXPECT_EQ(field[0], 0xF0);
    EXPECT_EQ(field[1], 0x12);
    EXPECT_EQ(field[2], 0x35);
}

TEST(DecimalStorage, PackedDecimalWithSignDReadsNegative) {
    const uint8_t field[2] = {0x12, 0x3D};
    DecimalStack stack;
    stack.push_pdecimal(field, 2, 0);
    EXPECT_EQ(text_of(stack), "-123");
    const uint8_t positive[2] = {0x12, 0x3C};
    stack.push_pdecimal(positive, 2, 0);
    EXPECT_EQ(text_of(stack), "123") << "any sign other than 0xD reads positive";
}

TEST(DecimalStorage, AnyNonZeroSignNibbleReadsNegativeInDecimal) {
    const uint8_t field[2] = {0x31, 0x25};
    DecimalStack stack;
    stack.push_decimal(field, 2, 1);
    EXPECT_EQ(text_of(stack), "-12.5");
}

TEST(DecimalStorage, PackedDecimalWritesSignNibbles) {
    uint8_t field[3];
    DecimalStack stack;
    stack.push_text("-1234.5");
    stack.store_pdecimal(field, 3, 1);
    EXPECT_EQ(field[0], 0x12);
    EXPECT_EQ(field[1], 0x34);
    EXPECT_EQ(field[2], 0x5D);
    stack.push_text("7");
    stack.store_pdecimal(field, 3, 1); // 0007.0
    EXPECT_EQ(field[0], 0x00);
    EXPECT_EQ(field[1], 0x07);
    EXPECT_EQ(field[2], 0x0F);
}

TEST(DecimalStorage, HighDigitsBeyondTheFieldAreLost) {
    uint8_t field[2];
    DecimalStack stack;
    stack.push_text("-98765.4");
    stack.store_decimal(field, 2, 0); // three digits: 765
    EXPECT_EQ(field[0], 0xF7);
    EXPECT_EQ(field[1], 0x65);
    stack.push_text("-1000");
    stack.store_decimal(field, 2, 0); // 000: written positive
    EXPECT_EQ(field[0], 0x00);
    EXPECT_EQ(field[1], 0x00);
}

TEST(DecimalStorage, NegativeValueRoundingToZeroIsWrittenPositive) {
    uint8_t field[2];
    DecimalStack stack;
    stack.push_text("-0.004");
    stack.store_pdecimal(field, 2, 2);
    EXPECT_EQ(field[0], 0x00);
    EXPECT_EQ(field[1], 0x0F);
}

// ---------------------------------------------------------------------------
// Properties against exact integers. A value is an integer scaled by 10^32.

const cpp_int& scale() {
    static const cpp_int value = boost::multiprecision::pow(cpp_int(10), 32);
    return value;
}

const cpp_int& capacity() {
    static const cpp_int value = boost::multiprecision::pow(cpp_int(10), 64);
    return value;
}

// Decimal digits as an integer (cpp_int reads a leading 0 as octal).
cpp_int from_digits(const std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? cpp_int(0) : cpp_int(digits.substr(first));
}

cpp_int pow10(unsigned k) {
    return boost::multiprecision::pow(cpp_int(10), k);
}

// Divides rounding half away from zero.
cpp_int divide_rounded(const cpp_int& numerator, const cpp_int& denominator) {
    const bool negative = (numerator < 0) != (denominator < 0);
    const cpp_int n = abs(numerator), d = abs(denominator);
    cpp_int q = n / d;
    if ((n % d) * 2 >= d)
        ++q;
    return negative ? cpp_int(-q) : q;
}

// Integer digits beyond the 32nd are dropped, keeping the sign.
cpp_int wrap(const cpp_int& scaled) {
    return scaled < 0 ? cpp_int(-(abs(scaled) % capacity())) : cpp_int(scaled % capacity());
}

std::string scaled_text(const cpp_int& scaled) {
    const cpp_int magnitude = abs(scaled);
    std::string integer = cpp_int(magnitude / scale()).str();
    std::string fraction = cpp_int(magnitude % scale()).str();
    fraction.insert(0, 32 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string text = scaled < 0 ? "-" : "";
    text += integer;
    if (!fraction.empty())
        text += "." + fraction;
    return text;
}

struct RandomOperand {
    std::string text;
    cpp_int scaled;
};

// Up to 30 significant digits with 0 to 30 of them after the point.
RandomOperand random_operand(std::mt19937_64& random) {
    std::uniform_int_distribution<int> length(1, 30);
    std::uniform_int_distribution<int> digit(0, 9);
    const int digits = length(random);
    const int places = std::uniform_int_distribution<int>(0, 30)(random);
    std::string body;
    for (int i = 0; i < digits; ++i)
        body += static_cast<char>('0' + digit(random));
    const cpp_int magnitude = from_digits(body);
    const bool negative = random() % 2 == 0;
    std::string text = negative ? "-" : "";
    if (places >= digits)
        text += "0." + std::string(static_cast<std::size_t>(places - digits), '0') + body;
    else
        text += body.substr(0, static_cast<std::size_t>(digits - places)) + "." +
                body.substr(static_cast<std::size_t>(digits - places));
    cpp_int scaled = magnitude * boost::multiprecision::pow(cpp_int(10), static_cast<unsigned>(32 - places));
    return {text, negative ? cpp_int(-scaled) : scaled};
}

// a + b, a - b, a * b and a / b of two operands, each checked against the
// exact integers.
void expect_exact_results(const RandomOperand& a, const RandomOperand& b) {
    const cpp_int expected[4] = {
        wrap(a.scaled + b.scaled),
        wrap(a.scaled - b.scaled),
        wrap(divide_rounded(a.scaled * b.scaled, scale())),
        b.scaled == 0 ? cpp_int(0) : wrap(divide_rounded(a.scaled * pow10(31), b.scaled) * 10),
    };
    for (int op = 0; op < 4; ++op) {
        DecimalStack stack;
        stack.push_text(a.text);
        stack.push_text(b.text);
        switch (op) {
        case 0:
            stack.add();
            break;
        case 1:
            stack.subtract();
            break;
        case 2:
            stack.multiply();
            break;
        default:
            stack.divide();
            break;
        }
        ASSERT_EQ(text_of(stack), scaled_text(expected[op])) << a.text << " op " << op << " " << b.text;
    }
}

TEST(DecimalProperties, ArithmeticMatchesExactIntegers) {
    std::mt19937_64 random(20261207);
    for (int round = 0; round < 4000; ++round) {
        const RandomOperand a = random_operand(random);
        const RandomOperand b = random_operand(random);
        expect_exact_results(a, b);
    }
}

// A plain number text ("-12.5") with at most 32 places as a scaled operand.
RandomOperand operand(const std::string& text) {
    const bool negative = text[0] == '-';
    const std::string body = text.substr(negative ? 1 : 0);
    const std::size_t point = body.find('.');
    const std::string integer = body.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : body.substr(point + 1);
    const cpp_int scaled = from_digits(integer + fraction + std::string(32 - fraction.size(), '0'));
    return {text, negative ? cpp_int(-scaled) : scaled};
}

// Carries and borrows across the 16-digit lanes and out of the top, zero
// results, and the edges of division on binary words: 38 and 39 significant
// digits, scales of 38 and 39 places, quotients just below and at 10^38,
// divisors of one word and of two.
TEST(DecimalProperties, BoundaryOperandsMatchExactIntegers) {
    const char* const pairs[][2] = {
        {"0.9999999999999999", "0.0000000000000001"},
        {"9999999999999999.9999999999999999", "0.00000000000000000000000000000001"},
        {"10000000000000000", "-0.00000000000000000000000000000001"},
        {"99999999999999999999999999999999.99999999999999999999999999999999",
         "0.00000000000000000000000000000001"},
        {"-99999999999999999999999999999999.99999999999999999999999999999999",
         "-99999999999999999999999999999999"},
        {"-0.5", "0.5"},
        {"12345678901234567890123456789012.345678", "7"},
        {"12345678901234567890123456789012.3456789", "7"},
        {"1", "0.000001"},
        {"1", "0.0000001"},
        {"1", "0.99999999999999999999999999999999"},
        {"999999.99999999999999999999999999999999", "1"},
        {"1000000", "1"},
        {"999999.9999999999", "0.99999999999999999999999999999999"},
        {"18446744073709551615", "18446744073709551616"},
        {"34028236692093846346337460743176.8211455", "3"},
        {"0.00000000000000000000000000000001", "98765432109876543210987654321.987"},
        {"99999999999999999999.999999999999", "0.000000000099999999999999999999"},
        {"1234567890123456.789012345678901", "98765432109.87654321098765432101"},
    };
    for (const auto& pair : pairs) {
        expect_exact_results(operand(pair[0]), operand(pair[1]));
        expect_exact_results(operand(pair[1]), operand(pair[0]));
    }
}

TEST(DecimalProperties, DivisionOfLongOperandsIsCorrectlyRounded) {
    // Divisors with many limbs exercise every step of the long division.
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int> digit(0, 9);
    for (int round = 0; round < 3000; ++round) {
        std::string a_text, b_text;
        const int a_digits = 1 + static_cast<int>(random() % 64);
        const int b_digits = 1 + static_cast<int>(random() % 64);
        for (int i = 0; i < a_digits; ++i)
            a_text += static_cast<char>('0' + digit(random));
        for (int i = 0; i < b_digits; ++i)
            b_text += static_cast<char>(random() % 4 == 0 ? '9' : '0' + digit(random));
        // As scaled integers: the last 32 digits are the fraction.
        const cpp_int a = from_digits(a_text), b = from_digits(b_text);
        auto as_text = [](const std::string& digits) {
            std::string padded = std::string(64 - digits.size(), '0') + digits;
            return padded.substr(0, 32) + "." + padded.substr(32);
        };
        DecimalStack stack;
        stack.push_text(as_text(a_text));
        stack.push_text(as_text(b_text));
        stack.divide();
        const cpp_int expected = b == 0 ? cpp_int(0) : wrap(divide_rounded(a * pow10(31), b) * 10);
        ASSERT_EQ(text_of(stack), scaled_text(expected)) << a_text << " / " << b_text;
    }
}

TEST(DecimalProperties, RoundingMatchesExactIntegers) {
    std::mt19937_64 random(99);
    for (int round = 0; round < 4000; ++round) {
        const RandomOperand a = random_operand(random);
        const int places = static_cast<int>(random() % 34) - 1;
        DecimalStack stack;
        stack.push_text(a.text);
        stack.round(places);
        const cpp_int unit = boost::multiprecision::pow(cpp_int(10), static_cast<unsigned>(32 - places));
        const cpp_int expected = places >= 32 ? a.scaled : wrap(divide_rounded(a.scaled, unit) * unit);
        ASSERT_EQ(text_of(stack), scaled_text(expected)) << a.text << " to " << places;
    }
}

TEST(DecimalProperties, StoredFieldsReadBackRoundedAndModuloTheirCapacity) {
    std::mt19937_64 random(5);
    for (int round = 0; round < 4000; ++round) {
        const RandomOperand a = random_operand(random);
        const uint32_t n = 1 + static_cast<uint32_t>(random() % 16);
        const uint32_t d = static_cast<uint32_t>(random() % (2 * n));
        const bool packed = random() % 2 == 0;
        uint8_t field[16];
        DecimalStack stack;
        stack.push_text(a.text);
        if (packed)
            stack.store_pdecimal(field, n, d);
        else
            stack.store_decimal(field, n, d);
        if (packed)
            stack.push_pdecimal(field, n, d);
        else
            stack.push_decimal(field, n, d);
        const cpp_int unit = boost::multiprecision::pow(cpp_int(10), 32 - d);
        const cpp_int field_capacity = boost::multiprecision::pow(cpp_int(10), 2 * n - 1 + 32 - d);
        const cpp_int rounded = divide_rounded(a.scaled, unit) * unit;
        const cpp_int expected =
            rounded < 0 ? cpp_int(-(abs(rounded) % field_capacity)) : rounded % field_capacity;
        ASSERT_EQ(text_of(stack), scaled_text(expected)) << a.text << " n " << n << " d " << d;
    }
}

TEST(DecimalProperties, TakeRealMatchesTheSixteenDigitText) {
    std::mt19937_64 random(3);
    for (int round = 0; round < 2000; ++round) {
        const RandomOperand a = random_operand(random);
        DecimalStack stack;
        stack.push_text(a.text);
        const double real = stack.take_real();
        // Sixteen significant digits, half away from zero, read by strtod.
        const cpp_int magnitude = abs(a.scaled);
        if (magnitude == 0) {
            EXPECT_EQ(real, 0.0);
            continue;
        }
        const std::string digits = magnitude.str();
        int exponent = -32;
        cpp_int mantissa = magnitude;
        if (digits.size() > 16) {
            const unsigned cut = static_cast<unsigned>(digits.size() - 16);
            mantissa = divide_rounded(magnitude, boost::multiprecision::pow(cpp_int(10), cut));
            exponent += static_cast<int>(cut);
        }
        const std::string text = mantissa.str() + "e" + std::to_string(exponent);
        const double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(real, a.scaled < 0 ? -expected : expected) << a.text;
    }
}

// ---------------------------------------------------------------------------
// FORMAT from the top accumulator

struct FormatCase {
    const char* label;
    const char* value;
    const char* picture;
    const char* expected;
};

class DecimalFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DecimalFormat, FormatsTheTopAccumulatorDigits) {
    const FormatCase& c = GetParam();
    CompiledPicture picture;
    CompilePicture(picture, c.picture);
    Decimals().clear();
    Decimals().push_text(c.value);
    char out[MaxPictureWidth];
    const std::size_t width = FormatDecimalTop(picture, out);
    EXPECT_EQ(std::string(out, width), c.expected);
    EXPECT_TRUE(Decimals().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, DecimalFormat,
    ::testing::Values(FormatCase{"SignKeepsItsPosition", "-12.345", "@N-10.2", "-    12.35"},
                      FormatCase{"GroupsThousands", "1234.567", "@N10.2", "  1,234.57"},
                      FormatCase{"ZeroFill", "42", "@N010", "0000000042"},
                      FormatCase{"TooLargeShowsHashes", "12345", "@N3", "###"},
                      FormatCase{"DigitsBeyondDoublePrecision", "12345678901234567890.125", "@N_25.2",
                                 "  12345678901234567890.13"},
                      FormatCase{"ZeroWithBlankWhenZero", "0", "@N8.2B", "        "}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DecimalFormat, PictureNumberCarriesDigitsAndExponent) {
    DecimalStack stack;
    stack.push_text("-0.0250");
    const PictureNumber number = ToPictureNumber(stack.top());
    EXPECT_TRUE(number.negative);
    EXPECT_EQ(std::string(number.digits, number.digit_count), "25");
    EXPECT_EQ(number.exponent, -3);
    stack.push_text("99999999999999999999999999999999.99999999999999999999999999999999");
    EXPECT_EQ(ToPictureNumber(stack.top()).digit_count, 64);
}

// ---------------------------------------------------------------------------
// Threads

using namespace std::chrono_literals;
constexpr uint32_t MsgStop = 0x0500;

std::array<std::atomic<platform::ThreadKey>, MaxThreadSlots> g_platform_thread{};
std::array<std::atomic<bool>, MaxThreadSlots> g_kept_own_stack{};

// Pushes its own slot-numbered values, serves its queue (giving the lock up)
// until stopped, then checks that its stack came back intact.
void keeps_its_own_decimals() {
    const int slot = CurrentThreadSlot();
    Decimals().push_long(slot * 100);
    Decimals().push_text("0.5");
    Decimals().add();
    Decimals().push_long(slot);
    g_platform_thread[static_cast<std::size_t>(slot)] = platform::current_thread();
    platform::Message message;
    while (platform::get_message(message) && message.number != MsgStop) {
    }
    bool ok = Decimals().size() == 2 && Decimals().take_long() == slot;
    char text[68];
    ok = ok && std::string(text, Decimals().take_text(text)) == std::to_string(slot * 100) + ".5";
    g_kept_own_stack[static_cast<std::size_t>(slot)] = ok;
}

TEST(DecimalThreads, EachThreadKeepsItsOwnStackAcrossSwitches) {
    InitializeThreads();
    ASSERT_TRUE(HoldsRuntimeLock());
    Decimals().clear();
    Decimals().push_text("-1.25");
    const int32_t first = START(keeps_its_own_decimals, 0);
    const int32_t second = START(keeps_its_own_decimals, 0);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    for (int32_t number : {first, second}) {
        while (g_platform_thread[static_cast<std::size_t>(number - 1)] == 0)
            platform::wait_message(1ms);
    }
    EXPECT_EQ(Decimals().size(), 1u);
    Decimals().push_long(3);
    for (int32_t number : {first, second})
        platform::post_thread_message(g_platform_thread[static_cast<std::size_t>(number - 1)],
                                      platform::Message{0, MsgStop, 0, 0});
    WaitForOtherThreads();
    EXPECT_TRUE(g_kept_own_stack[static_cast<std::size_t>(first - 1)]);
    EXPECT_TRUE(g_kept_own_stack[static_cast<std::size_t>(second - 1)]);
    Decimals().multiply();
    EXPECT_EQ(text_of(Decimals()), "-3.75");
}

} // namespace
} // namespace morvex

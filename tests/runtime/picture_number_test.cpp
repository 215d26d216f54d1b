#include "tests/runtime/picture_test_support.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>

namespace morvex {
namespace {

using namespace picture_testing;

// A number as "-digits e exponent", for comparing.
std::string shown(const PictureNumber& number) {
    return (number.negative ? "-" : "") + std::string(number.digits, number.digit_count) + "e" +
           std::to_string(number.exponent);
}

struct NumberCase {
    PictureNumber number;
    std::string_view expected;
    std::string_view label;
};

class PictureNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(PictureNumbers, HoldDigitsAndExponent) {
    EXPECT_EQ(shown(GetParam().number), GetParam().expected);
}

PictureNumber text(std::string_view value) {
    PictureNumber number;
    number.digit_count = 99; // must be replaced
    EXPECT_TRUE(PictureNumber::FromText(value, number)) << value;
    return number;
}

const std::string SeventyDigits = "1234567890123456789012345678901234567890123456789012345678901234"
                                  "567890";

const NumberCase Cases[] = {
    {PictureNumber::FromInteger(0), "e0", "IntegerZero"},
    {PictureNumber::FromInteger(1200), "12e2", "IntegerTrailingZerosGoToTheExponent"},
    {PictureNumber::FromInteger(-7), "-7e0", "NegativeInteger"},
    {PictureNumber::FromInteger(std::numeric_limits<int64_t>::min()), "-9223372036854775808e0",
     "LowestInteger"},
    {PictureNumber::FromInteger(std::numeric_limits<int64_t>::max()), "9223372036854775807e0",
     "HighestInteger"},
    {PictureNumber::FromReal(0.1), "1e-1", "RealTenth"},
    {PictureNumber::FromReal(2.675), "2675e-3", "RealAsWrittenNotAsStored"},
    {PictureNumber::FromReal(-1234.5), "-12345e-1", "NegativeReal"},
    {PictureNumber::FromReal(123456789012345.0), "12345678901235e1", "FifteenthDigitRoundsHalfAwayFromZero"},
    {PictureNumber::FromReal(-123456789012345.0), "-12345678901235e1", "HalfAwayFromZeroWhenNegative"},
    {PictureNumber::FromReal(99999999999999.5), "1e14", "RoundingCarriesIntoANewDigit"},
    {PictureNumber::FromReal(1.0 / 3), "33333333333333e-14", "FourteenDigits"},
    {PictureNumber::FromReal(0.1 + 0.2), "3e-1", "ShortestTextThenFourteenDigits"},
    {PictureNumber::FromReal(1e300), "1e300", "HugeReal"},
    {PictureNumber::FromReal(5e-324), "5e-324", "SmallestReal"},
    {PictureNumber::FromReal(-0.0), "e0", "NegativeZeroIsZero"},
    {PictureNumber::FromReal(std::nan("")), "e0", "NotANumberIsZero"},
    {PictureNumber::FromReal(-HUGE_VAL), "-1e30000", "InfinityIsBeyondEveryPicture"},
    {text("12.50"), "125e-1", "Text"},
    {text("  -0.0045  "), "-45e-4", "TextWithBlanksAndLeadingZeros"},
    {text("+1E3"), "1e3", "TextWithExponent"},
    {text("001234.57"), "123457e-2", "DeformatOutput"},
    {text("1.2346e+004"), "12346e0", "ScientificDeformatOutput"},
    {PictureNumber::Read("."), "e0", "LonePointIsZero"},
    {text("5."), "5e0", "TrailingPoint"},
    {PictureNumber::Read("5e"), "5e0", "ExponentWithoutDigits"},
    {PictureNumber::Read("12.5abc"), "125e-1", "ReadStopsAtTheFirstCharacterOutsideTheNumber"},
    {PictureNumber::Read("1,5"), "15e-1", "ReadTakesACommaAsThePoint"},
    {PictureNumber::Read("1,234.5"), "1234e-3", "ReadEndsAtASecondPoint"},
    {PictureNumber::Read("abc"), "e0", "ReadOfTextWithoutANumberIsZero"},
    {text("-0"), "e0", "MinusZeroIsZero"},
    {text("1e999999999999"), "1e30000", "HugeExponentIsBounded"},
    {text("1e-999999999999"), "e0", "TinyExponentIsZero"},
    {text(SeventyDigits), "1234567890123456789012345678901234567890123456789012345678901235e6",
     "SixtyFourDigitsKeptAndRounded"},
    {text("0." + std::string(5000, '0') + "1"), "1e-5001", "LongRunOfLeadingZeros"},
};

INSTANTIATE_TEST_SUITE_P(Rows, PictureNumbers, ::testing::ValuesIn(Cases), label_name<NumberCase>);

TEST(PictureNumberText, RejectsWhatIsNotANumber) {
    for (std::string_view bad :
         {"", " ", "-", "+", ".", "e5", "5e", "1.2.3", "12a", "12.5abc", "1 2", "--1", "0x10", "1e5e5"}) {
        PictureNumber number = PictureNumber::FromInteger(42);
        EXPECT_FALSE(PictureNumber::FromText(bad, number)) << '"' << bad << '"';
        EXPECT_EQ(shown(number), "42e0") << "left unchanged";
    }
}

// The shortest text of the double, rounded to 14 significant digits half
// away from zero, computed on the text alone.
std::string reference(double value) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string mantissa;
    const char* p = buffer;
    const bool negative = *p == '-';
    p += negative;
    for (; *p != 'e'; ++p) {
        if (*p != '.')
            mantissa += *p;
    }
    int exponent =
        std::stoi(std::string(p + 1, static_cast<const char*>(end))) - static_cast<int>(mantissa.size() - 1);
    if (mantissa.size() > 14) {
        const bool up = mantissa[14] >= '5';
        exponent += static_cast<int>(mantissa.size()) - 14;
        mantissa.resize(14);
        for (int i = 13; up && i >= 0; --i) {
            if (mantissa[i] == '9') {
                mantissa[i] = '0';
                if (i == 0) {
                    mantissa.insert(mantissa.begin(), '1');
                    mantissa.pop_back();
                    ++exponent;
                }
            } else {
                ++mantissa[i];
                break;
            }
        }
    }
    while (!mantissa.empty() && mantissa.back() == '0') {
        mantissa.pop_back();
        ++exponent;
    }
    return (negative ? "-" : "") + mantissa + "e" + std::to_string(exponent);
}

TEST(PictureNumberReal, AgreesWithTheShortestTextRoundedToFourteenDigits) {
    std::mt19937_64 random(20010815);
    int mismatches = 0;
    for (int i = 0; i < 300'000 && mismatches < 5; ++i) {
        double value;
        switch (i % 4) {
        case 0:
            value = std::bit_cast<double>(random());
            break; // any bits
        case 1:    // signed amounts with two decimals
            value =
                static_cast<double>(static_cast<int64_t>(random() % 2'000'000'000'000) - 1'000'000'000'000) /
                100;
            break;
        case 2:
            value = static_cast<double>(random() % 1'000'000'000'000'000) / 1e15 * 1e9;
            break;
        default:
            value = static_cast<double>(static_cast<int64_t>(random() >> 4)) / 1e3;
            break; // 15-16 digits
        }
        if (!std::isfinite(value) || value == 0)
            continue;
        if (shown(PictureNumber::FromReal(value)) != reference(value)) {
            ADD_FAILURE() << value << ": " << shown(PictureNumber::FromReal(value)) << " vs "
                          << reference(value);
            ++mismatches;
        }
    }
}

TEST(PictureNumberReal, StringPictureTextReadsBackAsTheSameNumber) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 20'000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (!std::isfinite(value))
            continue;
        const std::string written = format("@S80", value);
        PictureNumber read;
        ASSERT_TRUE(PictureNumber::FromText(written, read)) << written;
        EXPECT_EQ(shown(read), shown(PictureNumber::FromReal(value))) << written;
    }
}

} // namespace
} // namespace morvex

// The one reading of a leading integer: blanks, sign, digits, the limit that
// holds a long run of digits, and where the number ends.
#include "runtime/leading_integer.h"

#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

constexpr IntegerSyntax Plain{};
constexpr IntegerSyntax Long{.limit = INT32_MAX};
constexpr IntegerSyntax Unsigned{.limit = INT32_MAX, .sign = false};
constexpr IntegerSyntax DigitsOnly{.limit = 0xFFFF, .sign = false, .blanks = {}};
constexpr IntegerSyntax Tabs{.blanks = " \t"};
constexpr IntegerSyntax TwoDigits{.limit = 99, .sign = false, .blanks = {}};

struct Row {
    const char* text;
    IntegerSyntax syntax;
    int64_t value;
    std::size_t length; // 0: no number
};

const Row Rows[] = {
    {"42", Plain, 42, 2},
    {"  42abc", Plain, 42, 4},
    {"-7 apples", Plain, -7, 2},
    {"+7", Plain, 7, 2},
    {"", Plain, 0, 0},
    {"   ", Plain, 0, 0},
    {"-", Plain, 0, 0},
    {"- 5", Plain, 0, 0},
    {"x12", Plain, 0, 0},
    {"007", Plain, 7, 3},
    {"\t5", Plain, 0, 0},
    {"\t 5", Tabs, 5, 3},
    {"99999999999", Long, INT32_MAX, 11},
    {"-99999999999", Long, -INT32_MAX, 12},
    {"2147483647", Long, INT32_MAX, 10},
    {"123456789012345678901234567890", Plain, INT64_MAX, 30},
    {"-5", Unsigned, 0, 0},
    {"  12", Unsigned, 12, 4},
    {" 12", DigitsOnly, 0, 0},
    {"65>", DigitsOnly, 65, 2},
    {"70000>", DigitsOnly, 0xFFFF, 5},
    {"7", TwoDigits, 7, 1},
    {"123", TwoDigits, 99, 3},
};

TEST(LeadingInteger, ReadsTheNumberATextStartsWith) {
    for (const Row& row : Rows) {
        const LeadingInteger read = ReadLeadingInteger(row.text, row.syntax);
        EXPECT_EQ(read.value, row.value) << '"' << row.text << '"';
        EXPECT_EQ(read.length, row.length) << '"' << row.text << '"';
        EXPECT_EQ(read.found(), row.length != 0) << '"' << row.text << '"';
    }
}

// Against an independent reading: every value up to the limit reads back as
// itself, and every value above it as the limit.
TEST(LeadingInteger, EveryValueReadsAsItselfUpToTheLimit) {
    for (const int64_t limit : {int64_t{0}, int64_t{9}, int64_t{1000}, int64_t{65535}}) {
        for (int64_t n = 0; n <= 70000; n += n < 2000 ? 1 : 97) {
            const std::string text = std::to_string(n);
            const LeadingInteger read = ReadLeadingInteger(text, {.limit = limit});
            EXPECT_EQ(read.value, n <= limit ? n : limit) << text << " limit " << limit;
            EXPECT_EQ(read.length, text.size()) << text;
        }
    }
}

} // namespace
} // namespace morvex

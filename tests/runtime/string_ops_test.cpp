#include "runtime/locale.h"
#include "runtime/string_ops.h"
#include "runtime/string_stack.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace morvex {
namespace {

struct SubCase {
    int32_t start;
    int32_t length;
    const char* expected;
};

class SubCases : public ::testing::TestWithParam<SubCase> {};

TEST_P(SubCases, CutThePartOfTheText) {
    EXPECT_EQ(SUB("PQRSTU", GetParam().start, GetParam().length), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, SubCases,
                         ::testing::Values(SubCase{-2, 5, "TU"}, SubCase{0, 2, "PQ"}, SubCase{1, 2, "PQ"},
                                           SubCase{9, 2, ""}, SubCase{3, 100, "RSTU"}, SubCase{-100, 2, "PQ"},
                                           SubCase{2, 0, ""}, SubCase{2, -3, ""}, SubCase{6, 1, "U"},
                                           SubCase{7, 1, ""}));

struct InstringCase {
    const char* sought;
    const char* text;
    int32_t step;
    int32_t start;
    int32_t expected;
};

class InstringCases : public ::testing::TestWithParam<InstringCase> {};

TEST_P(InstringCases, FindThePositionOrTheStep) {
    const InstringCase& c = GetParam();
    EXPECT_EQ(INSTRING(c.sought, c.text, c.step, c.start), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstringCases,
    ::testing::Values(InstringCase{"RS", "PQRSTU", 1, 1, 3}, InstringCase{"RS", "PQRSTU", 2, 1, 2},
                      InstringCase{"X", "PQR", 1, 1, 0}, InstringCase{"", "PQR", 1, 1, 0},
                      InstringCase{"P", "PQR", 1, 0, 0}, InstringCase{"R", "PQR", 1, 3, 3},
                      InstringCase{"P", "PQRP", 1, 2, 4}, InstringCase{"QR", "PQRS", 0, 1, 0},
                      InstringCase{"RS", "PQRS", 0, 1, 2}, InstringCase{"ST", "PQRSTU", 2, 2, 2},
                      InstringCase{"PQ", "PQRSPQ", -1, 6, 5}, InstringCase{"PQ", "PQRSPQ", -1, 4, 1},
                      InstringCase{"PQRSTUV", "PQR", 1, 1, 0}, InstringCase{"U", "PQRSTU", 1, 7, 0}));

// The block and skip-table searches must find exactly what a plain search
// finds, at every length either one takes (short texts of a block or two
// included), with characters above 127 too.
TEST(Instring, FastSearchesFindWhatAPlainSearchFinds) {
    std::mt19937 random(11);
    for (int round = 0; round < 4000; ++round) {
        const bool short_text = round % 2 == 0;
        std::string text(short_text ? 1 + random() % 60 : 257 + random() % 600, 'a');
        for (char& c : text)
            c = "ab\xe9"[random() % 3];
        std::string sought(2 + random() % (short_text ? 8 : 100), 'a');
        for (char& c : sought)
            c = "ab\xe9"[random() % 3];
        if (round % 3 == 0 && sought.size() < text.size())
            text.replace(random() % (text.size() - sought.size()), sought.size(), sought);
        const int32_t start = 1 + static_cast<int32_t>(random() % 50);
        const std::size_t plain = text.find(sought, static_cast<std::size_t>(start - 1));
        const int32_t expected = plain == std::string::npos ? 0 : static_cast<int32_t>(plain + 1);
        ASSERT_EQ(INSTRING(sought, text, 1, start), expected) << "round " << round;
    }
    std::string long_sought(300, 'x');
    std::string text = std::string(1000, 'y') + long_sought + "z";
    EXPECT_EQ(INSTRING(long_sought, text, 1, 1), 1001);
}

TEST(CaseConversion, FollowsTheCaseTables) {
    EXPECT_EQ(UPPER("abc xyz 123!"), "ABC XYZ 123!");
    EXPECT_EQ(LOWER("ABC XYZ 123!"), "abc xyz 123!");
    EXPECT_EQ(UPPER("\xe9t\xe9"), "\xe9T\xe9");
    ApplyEnvironmentText("MVXCASE=\xc9,\xe9\n");
    EXPECT_EQ(UPPER("\xe9t\xe9"), "\xc9T\xc9");
    EXPECT_EQ(LOWER("\xc9T\xc9"), "\xe9t\xe9");
    EXPECT_EQ(UPPER("\xe0"), "\xe0"); // only the listed pair
    ResetLocale();
}

TEST(Clip, RemovesTrailingBlanksOnly) {
    EXPECT_EQ(CLIP("  ab  "), "  ab");
    EXPECT_EQ(CLIP("    "), "");
    EXPECT_EQ(CLIP(""), "");
    EXPECT_EQ(LEN("ab  "), 4);
}

TEST(StackOperations, WorkOnTheTopEntries) {
    StringStack& stack = Strings();
    const char text[] = "PQRSTU  ";
    stack.push_reference(text, 8);
    StackCLIP();
    EXPECT_EQ(stack.top_entry().text, text); // no copy
    StackSUB(-2, 5);
    EXPECT_EQ(stack.top_entry().text, text + 4); // a reference narrows in place
    EXPECT_EQ(stack.take(), "TU");

    stack.push_copy("abc");
    StackUPPER();
    EXPECT_EQ(StackLEN(), 3);

    stack.push_copy("RS");
    stack.push_copy("PQRSTU");
    EXPECT_EQ(StackINSTRING(1, 1), 3);
    stack.push_copy("abc");
    stack.push_copy("abc  ");
    EXPECT_EQ(StackCompare(), 0);
    stack.push_copy("abc");
    stack.push_copy("ABC");
    EXPECT_GT(StackCompare(), 0);
    stack.push_copy("abd");
    stack.push_copy("ABC");
    EXPECT_EQ(StackCompareNoCase(2), 0);
    EXPECT_TRUE(stack.empty());
}

} // namespace
} // namespace morvex

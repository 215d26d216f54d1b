#include "runtime/char_tables.h"
#include "runtime/locale.h"
#include "runtime/text_compare.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace morvex {
namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

class TextCompareTest : public ::testing::Test {
protected:
    void TearDown() override { ResetLocale(); }
};

TEST_F(TextCompareTest, DefaultOrderIsByCode) {
    EXPECT_LT(CompareText("ABC", "abc"), 0);
    EXPECT_EQ(CompareText("abc", "abc"), 0);
    EXPECT_LT(CompareText("ab", "abc"), 0); // the shorter ends with its zero
    EXPECT_GT(CompareText("\xe9", "z"), 0); // bytes are unsigned
    EXPECT_EQ(sign(CompareText("a b", "ab")), -1);
}

TEST_F(TextCompareTest, StringValuesComparePaddedWithBlanks) {
    EXPECT_EQ(CompareStringValues("XYZ", "XYZ   "), 0);
    EXPECT_LT(CompareStringValues("XYZ", "XYZ!"), 0);
    EXPECT_GT(CompareStringValues("XYZ", "XYZ\x01"), 0);
    EXPECT_EQ(CompareStringValues("", "   "), 0);
}

TEST_F(TextCompareTest, CaseBlindComparisonUsesUpperCasePartners) {
    EXPECT_EQ(CompareTextNoCase("hello", "HELLO", 5), 0);
    EXPECT_EQ(CompareTextNoCase("hello world", "HELLO there", 5), 0);
    EXPECT_NE(CompareTextNoCase("hello world", "HELLO there", 7), 0);
    EXPECT_EQ(CompareStringValuesNoCase("abc", "ABC  "), 0);
    // Without case pairs for it, an accented letter keeps its case.
    EXPECT_NE(CompareTextNoCase("\xe9", "\xc9", 1), 0);
    ApplyEnvironmentText("MVXCASE=WINDOWS\n");
    EXPECT_EQ(CompareTextNoCase("\xe9", "\xc9", 1), 0);
}

TEST_F(TextCompareTest, CollationSequenceReordersCharacters) {
    ApplyEnvironmentText("MVXCOLSEQ=ba\n");
    EXPECT_GT(CompareText("a", "b"), 0);
    EXPECT_LT(CompareText("b", "a"), 0);
    EXPECT_LT(CompareText("a", "c"), 0);
    EXPECT_LT(CompareStringValues("bz", "a "), 0);
    EXPECT_FALSE(TextOrderIsBytewise());
}

TEST_F(TextCompareTest, DigraphSortsBetweenTheSequencesAroundIt) {
    // The ligature sorts as "ae": after "ad..." and before "af...".
    ApplyEnvironmentText("MVXDIGRAPH=\xe6"
                         "ae\n");
    EXPECT_GT(CompareText("\xe6", "ad"), 0);
    EXPECT_LT(CompareText("\xe6", "af"), 0);
    EXPECT_EQ(CompareText("\xe6", "ae"), 0);
    EXPECT_LT(CompareText("\xe6", "aez"), 0);
    EXPECT_EQ(CompareStringValues("b\xe6 ", "bae"), 0);
}

TEST_F(TextCompareTest, OemTextUsesTheOemTable) {
    ApplyEnvironmentText("MVXCOLSEQ=\xe9"
                         "e\n"); // e-acute before e
    EXPECT_LT(CompareText("\xe9", "e"), 0);
    EXPECT_LT(CompareText("\x82", "e", TextCharset::Oem), 0); // 0x82 is e-acute in the OEM set
    EXPECT_GT(CompareText("\xe9", "e", TextCharset::Oem), 0);
}

// With identity weights but a digraph on a character the texts never use, the
// general path must order exactly as the byte comparison does.
TEST_F(TextCompareTest, GeneralPathAgreesWithTheByteComparison) {
    std::mt19937 random(3);
    auto text = [&random] {
        std::string t(random() % 6, ' ');
        for (char& c : t)
            c = static_cast<char>(" ab\0z\xff"[random() % 6]);
        return t;
    };
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<std::pair<int, int>> fast;
    for (int i = 0; i < 5000; ++i) {
        pairs.emplace_back(text(), text());
        fast.emplace_back(sign(CompareText(pairs.back().first, pairs.back().second)),
                          sign(CompareStringValues(pairs.back().first, pairs.back().second)));
    }
    CharTables tables = CharTables::Defaults();
    tables.digraphs[0] = Digraph{'#', '#', '#'};
    tables.digraph_count = 1;
    SetCharTables(tables);
    ASSERT_FALSE(TextOrderIsBytewise());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        ASSERT_EQ(sign(CompareText(pairs[i].first, pairs[i].second)), fast[i].first) << i;
        ASSERT_EQ(sign(CompareStringValues(pairs[i].first, pairs[i].second)), fast[i].second) << i;
    }
}

} // namespace
} // namespace morvex

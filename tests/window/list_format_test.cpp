// List box format strings: the layout of well-formed formats and the place
// where a malformed one fails the check. Units are pixels here (identity).
#include "window/list_format.h"

#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

// "field:left-right:justification:heading:picture" for each column.
std::string describe(const ListLayout& layout) {
    std::string text;
    for (const ListColumn& c : layout.columns) {
        if (!text.empty())
            text += " ";
        text += std::to_string(c.field) + ":" + std::to_string(c.cell.left) + "-" +
                std::to_string(c.cell.right) + ":" + std::to_string(c.justification()) + ":" +
                c.heading.value_or("") + ":" + c.picture.value_or("");
    }
    return text;
}

struct LayoutCase {
    const char* label;
    const char* format;
    const char* columns;
};

const LayoutCase LayoutCases[] = {
    {"heading and picture", "20C~M~@s2@", "1:0-20:2:M:@s2@"},
    {"empty heading", "20L~~30R", "1:0-20:0:: 2:20-50:1::"},
    {"zero width still takes a field", "0L10L", "1:0--1:0:: 2:0-10:0::"},
    {"extra fields in fixed order", "20L*IT30R", "1:0-20:0:: 8:20-50:1::"},
    {"explicit field number", "20L#3#10L", "3:0-20:0:: 4:20-30:0::"},
    {"only the first picture counts", "20L@n3@@s5@", "1:0-20:0::@n3@"},
    {"line break starts the group's next line", "[20L/30L]", "1:0-20:0:: 2:0-30:0::"},
    {"group with a heading over both", "[30L~A~40R~B~](80)~G~", "1:0-30:0:A: 2:30-70:1:B:"},
};

class ListFormatLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ListFormatLayout, PlacesColumnsAndTakesQueueFields) {
    const auto layout = ParseListFormat(GetParam().format, ListUnits{});
    ASSERT_TRUE(layout) << GetParam().format;
    EXPECT_EQ(describe(*layout), GetParam().columns);
}

INSTANTIATE_TEST_SUITE_P(Formats, ListFormatLayout, ::testing::ValuesIn(LayoutCases), [](const auto& info) {
    std::string name = info.param.label;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

TEST(ListFormatTest, ExtrasFollowTheDataInTheirFixedOrder) {
    const auto layout = ParseListFormat("20L*IT30R", ListUnits{});
    ASSERT_TRUE(layout);
    const ListColumn& first = layout->columns[0];
    EXPECT_EQ(first.field_of(ListCellValue::Colours), 2);
    EXPECT_EQ(first.field_of(ListCellValue::Icon), 6);
    EXPECT_EQ(first.field_of(ListCellValue::TreeLevel), 7);
    EXPECT_EQ(first.field_of(ListCellValue::Style), 0);
    EXPECT_EQ(layout->fields_used, 8);
}

TEST(ListFormatTest, ExplicitColoursReadHexadecimalAndLeaveTheRestUnset) {
    const auto layout = ParseListFormat("20LE(0FFH,-1)", ListUnits{});
    ASSERT_TRUE(layout);
    const auto& colours = layout->columns[0].colours;
    EXPECT_EQ(colours[0], 255);
    EXPECT_EQ(colours[1], -1);
    EXPECT_FALSE(colours[2]);
    EXPECT_FALSE(colours[3]);
}

TEST(ListFormatTest, TheGroupHeadingAndWidthBelongToTheGroup) {
    const auto layout = ParseListFormat("[30L40R](80)|~Both~C10L", ListUnits{});
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->groups.size(), 2u);
    EXPECT_EQ(layout->groups[0].heading, "Both");
    EXPECT_EQ(layout->groups[0].width, 81) << "'|' widens a group with a width by a border line";
    EXPECT_EQ(layout->groups[0].column_count, 2u);
    EXPECT_EQ(layout->groups[1].x, 81);
    EXPECT_EQ(layout->total_width, 91);
    EXPECT_TRUE(layout->columns[1].attributes_a & ListLastOfLine);
}

TEST(ListFormatTest, TheLastLocatorWinsAndATipMayQuoteItsQuote) {
    const auto layout = ParseListFormat("20L?20L?Q'it''s'", ListUnits{});
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->locator, 1);
    EXPECT_EQ(layout->columns[1].tip, "it's");
}

struct FailureCase {
    const char* format;
    int position;
};

TEST(ListFormatTest, TheCheckGivesThePositionOfTheFirstFault) {
    const FailureCase cases[] = {
        {"", 1},
        {"L", 1},
        {"20", 3},
        {"20X", 3},
        {"20L(", 5},
        {"20L(5", 6},
        {"20L@s2", 4},
        {"20L~A", 4},
        {"20LZ(1)Z(2)", 8},
        {"20LE(1)E(2)", 8},
        {"20LQ'a'Q'b'", 8},
        {"20LT(X)", 6},
        {"[]", 2},
        {"[20L", 5},
        {"20L#x#", 5},
        {"20L#0#", 6},
        {"99999L", 1},
        {"20L(40000)", 5},
    };
    for (const FailureCase& c : cases) {
        EXPECT_EQ(CheckListFormat(c.format), c.position) << c.format;
        EXPECT_FALSE(ParseListFormat(c.format, ListUnits{})) << c.format;
    }
    EXPECT_EQ(CheckListFormat("20C~M~@s2@20C~T~@s2@"), 0);
}

} // namespace
} // namespace morvex

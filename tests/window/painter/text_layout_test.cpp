#include "tests/window/painter/test_fonts.h"
#include "window/painter/font.h"
#include "window/painter/text_layout.h"

#include <gtest/gtest.h>

namespace morvex::painter {
namespace {

using platform::Point;
using platform::Rect;

class TextLayoutTest : public ::testing::Test {
protected:
    std::shared_ptr<Font> font = Font::open_file(testing::DejaVuSansPath, {"", 8, 400, false});
    int height() const { return font->metrics().height; }
};

TEST_F(TextLayoutTest, AlignmentPlacesEachLine) {
    const Rect box{10, 20, 210, 120};
    struct Case {
        HorizontalAlign horizontal;
        VerticalAlign vertical;
        int x;
        int y;
    };
    const int width = font->text_width("Today");
    const Case cases[] = {
        {HorizontalAlign::Left, VerticalAlign::Top, 10, 20},
        {HorizontalAlign::Center, VerticalAlign::Center, 10 + (200 - width) / 2, 20 + (100 - height()) / 2},
        {HorizontalAlign::Right, VerticalAlign::Bottom, 210 - width, 120 - height()},
    };
    for (const Case& c : cases) {
        const std::vector<TextLine> lines =
            layout_text(box, "Today", *font, {c.horizontal, c.vertical, true, false, true, false});
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].position, (Point{c.x, c.y}));
        EXPECT_EQ(lines[0].width, width);
    }
}

TEST_F(TextLayoutTest, LineBreaksUnlessSingleLine) {
    const std::vector<TextLine> lines = layout_text({0, 0, 300, 300}, "one\r\ntwo\n\nfour", *font, {});
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, "one");
    EXPECT_EQ(lines[1].text, "two");
    EXPECT_EQ(lines[2].text, "");
    EXPECT_EQ(lines[3].position.y, 3 * height());
    const std::vector<TextLine> single =
        layout_text({0, 0, 300, 300}, "one\ntwo", *font, {.single_line = true});
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].text, "one\ntwo");
}

TEST_F(TextLayoutTest, WordBreaksFitTheWidthAndKeepLongWordsWhole) {
    const int width = font->text_width("Pick a date");
    const std::vector<TextLine> lines = layout_text(
        {0, 0, width, 300}, "Pick a date in the calendar Supercalifragilistic", *font, {.word_break = true});
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "Pick a date");
    for (const TextLine& line : lines) {
        EXPECT_NE(line.text.front(), ' ') << line.text;
        if (line.text != "Supercalifragilistic") {
            EXPECT_LE(line.width, width) << line.text;
        }
    }
    EXPECT_EQ(lines.back().text, "Supercalifragilistic");
}

TEST_F(TextLayoutTest, MnemonicsMarkTheCharacterAfterTheAmpersand) {
    struct Case {
        const char* text;
        const char* shown;
        int mnemonic;
    };
    const Case cases[] = {
        {"&Close", "Close", 0}, {"Sa&ve", "Save", 2}, {"A && B", "A & B", -1},
        {"&& &x", "& x", 2},    {"end&", "end&", -1},
    };
    for (const Case& c : cases) {
        const std::vector<TextLine> lines = layout_text({0, 0, 100, 20}, c.text, *font, {.mnemonic = true});
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].text, c.shown) << c.text;
        EXPECT_EQ(lines[0].mnemonic, c.mnemonic) << c.text;
    }
    const std::vector<TextLine> wrapped =
        layout_text({0, 0, 1, 100}, "Go &now", *font, {.word_break = true, .mnemonic = true});
    ASSERT_EQ(wrapped.size(), 2u);
    EXPECT_EQ(wrapped[1].mnemonic, 0) << "the mark follows its word onto the next line";
}

TEST_F(TextLayoutTest, BoundsCoverEveryLine) {
    const std::vector<TextLine> lines =
        layout_text({0, 0, 100, 100}, "wide line\nx", *font, {HorizontalAlign::Right, VerticalAlign::Top});
    const Rect bounds = text_bounds(lines, *font);
    EXPECT_EQ(bounds, (Rect{100 - font->text_width("wide line"), 0, 100, 2 * height()}));
    EXPECT_TRUE(text_bounds({}, *font).empty());
}

} // namespace
} // namespace morvex::painter

#include "tests/window/painter/test_fonts.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace morvex::painter {
namespace {

std::shared_ptr<Font> dejavu(int points, int weight = 400) {
    return Font::open_file(testing::DejaVuSansPath, {"", points, weight, false});
}

TEST(Font, MetricsHangTogether) {
    for (const int points : {8, 10, 12, 24}) {
        const std::shared_ptr<Font> font = dejavu(points);
        ASSERT_TRUE(font);
        const FontMetrics& m = font->metrics();
        EXPECT_EQ(m.pixel_size, (points * 96 + 36) / 72) << points;
        EXPECT_EQ(m.height, m.ascent + m.descent);
        EXPECT_GT(m.ascent, m.descent);
        EXPECT_GE(m.height, m.pixel_size) << "the cell holds the whole em";
        EXPECT_EQ(m.internal_leading, m.height - m.pixel_size);
        EXPECT_GT(m.average_char_width, 0);
        EXPECT_LT(m.average_char_width, m.pixel_size);
        EXPECT_GE(m.max_char_width, font->char_width('W'));
    }
}

TEST(Font, AverageWidthIsHalfTheLettersAverageRoundedAsDialogUnitsDo) {
    const std::shared_ptr<Font> font = dejavu(8);
    int letters = 0;
    for (char c = 'a'; c <= 'z'; ++c)
        letters += font->char_width(static_cast<uint8_t>(c));
    for (char c = 'A'; c <= 'Z'; ++c)
        letters += font->char_width(static_cast<uint8_t>(c));
    EXPECT_EQ(font->metrics().average_char_width, (letters / 26 + 1) / 2);
}

TEST(Font, TextWidthIsTheSumOfAdvances) {
    const std::shared_ptr<Font> font = dejavu(10);
    EXPECT_EQ(font->text_width(""), 0);
    EXPECT_EQ(font->text_width("Wi"), font->char_width('W') + font->char_width('i'));
    EXPECT_GT(font->char_width('W'), font->char_width('i'));
    EXPECT_EQ(font->text_extent("abc"), (platform::Size{font->text_width("abc"), font->metrics().height}));
    EXPECT_GT(dejavu(10, 700)->text_width("Calendar"), font->text_width("Calendar"))
        << "synthesised bold is wider";
    EXPECT_GT(dejavu(20)->text_width("Calendar"), font->text_width("Calendar"));
}

TEST(Font, WindowsCharactersMapToTheirUnicodeGlyphs) {
    struct Case {
        uint8_t byte;
        char32_t code_point;
    };
    const Case cases[] = {{'A', U'A'},  {0x80, U'\u20AC'}, {0x85, U'\u2026'}, {0x9F, U'\u0178'},
                          {0xA0, 0xA0}, {0xE9, U'\u00E9'}, {0x81, 0x81}};
    for (const Case& c : cases)
        EXPECT_EQ(windows1252_code_point(c.byte), c.code_point) << int{c.byte};
}

TEST(Font, UnreadableFileGivesNoFont) {
    EXPECT_FALSE(Font::open_file("/nonexistent/font.ttf", {}));
    EXPECT_FALSE(Font::open_file("/proc/self/status", {}));
}

TEST(FontMatching, InstalledFamilyIsUsedAsItIs) {
    const FontFile file = match_font({"DejaVu Sans", 8, 400, false});
    EXPECT_FALSE(file.fallback);
    EXPECT_EQ(file.family, "DejaVu Sans");
    EXPECT_FALSE(file.embolden);
    const FontFile bold = match_font({"dejavu sans", 8, 700, false});
    EXPECT_FALSE(bold.fallback) << "family names match without regard to case";
    EXPECT_NE(bold.path, file.path) << "the bold face of the family";
}

TEST(FontMatching, MissingTypefaceFallsBackAndIsLoggedOnce) {
    const std::string absent = "Morvex Absent Typeface";
    ::testing::internal::CaptureStderr();
    const FontFile first = match_font({absent, 8, 400, false});
    const std::string first_log = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    const FontFile second = match_font({absent, 12, 700, false});
    const std::string second_log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(first.fallback);
    EXPECT_FALSE(first.path.empty());
    EXPECT_NE(first_log.find(absent), std::string::npos) << first_log;
    EXPECT_EQ(second_log, "");
    EXPECT_TRUE(second.fallback);
    EXPECT_TRUE(fallback_was_logged("morvex absent typeface"));
}

TEST(FontCache, SameSpecGivesTheSameFont) {
    const std::shared_ptr<Font> a = Font::get({"DejaVu Sans", 9, 400, false});
    ASSERT_TRUE(a);
    EXPECT_EQ(Font::get({"DEJAVU SANS", 9, 400, false}), a);
    EXPECT_NE(Font::get({"DejaVu Sans", 10, 400, false}), a);
    EXPECT_NE(Font::get({"DejaVu Sans", 9, 700, false}), a);
    EXPECT_NE(Font::get({"DejaVu Sans", 9, 400, true}), a);
    EXPECT_EQ(Font::get({"DejaVu Sans", 0, 400, false}), Font::get({"DejaVu Sans", 8, 400, false}))
        << "size 0 is 8";
}

TEST(FontCache, FixedFontFileServesEveryTypeface) {
    set_fixed_font_file(testing::DejaVuSansPath);
    const std::shared_ptr<Font> font = Font::get({"MS Sans Serif", 8, 400, false});
    set_fixed_font_file("");
    ASSERT_TRUE(font);
    EXPECT_EQ(font->family(), "DejaVu Sans");
    EXPECT_EQ(font->text_width("Hello"), dejavu(8)->text_width("Hello"));
}

// Threads that share a font fill its glyph cache at the same time; each must
// still draw exactly what one thread alone draws.
TEST(Font, ThreadsSharingAFontDrawAlike) {
    const std::string text = "The quick brown fox jumps over the lazy dog \x80\xE9\xFC 0123456789";
    FrameBuffer alone(400, 20, 0xFFFFFF);
    Painter(alone).draw_text({0, 0}, text, *dejavu(9), Color{0, 0, 0});
    const std::shared_ptr<Font> shared = dejavu(9);
    std::vector<FrameBuffer> buffers(4, FrameBuffer(400, 20, 0xFFFFFF));
    std::vector<std::thread> threads;
    for (FrameBuffer& buffer : buffers)
        threads.emplace_back([&buffer, &shared, &text] {
            Painter(buffer).draw_text({0, 0}, text, *shared, Color{0, 0, 0});
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const FrameBuffer& buffer : buffers)
        EXPECT_EQ(buffer, alone);
}

} // namespace
} // namespace morvex::painter

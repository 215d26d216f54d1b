// Whole drawings compared with golden PNGs: borders, focus rectangles and
// lines; text in several layouts; images with transparency.
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"
#include "window/painter/font.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <gtest/gtest.h>

namespace morvex::painter {
namespace {

using testing::matches_golden;
using testing::Tolerance;

Color face() {
    return system_color(SystemColor::ButtonFace);
}

TEST(PainterGolden, BordersFocusRectanglesAndLines) {
    FrameBuffer buffer(220, 140);
    Painter window(buffer);
    window.fill_rect({0, 0, 220, 140}, face());

    const Rect button{10, 10, 80, 34};
    const Rect inside = window.draw_border(button, Border::RaisedDouble);
    window.draw_focus_rect({inside.left + 2, inside.top + 2, inside.right - 2, inside.bottom - 2});

    const Rect field{10, 44, 110, 64};
    window.fill_rect(window.draw_border(field, Border::SunkenDouble), system_color(SystemColor::Window));

    window.draw_border({10, 74, 110, 130}, Border::Etched);
    window.draw_border({20, 84, 50, 100}, Border::Raised);
    window.draw_border({60, 84, 100, 100}, Border::Sunken);
    window.draw_border({20, 106, 100, 122}, Border::Bump);

    // A child whose area runs past the window: drawing stays inside both.
    Painter child = window.sub_painter({120, 10, 240, 130});
    child.fill_rect({0, 0, 200, 200}, system_color(SystemColor::Window));
    child.draw_line({0, 0}, {119, 119}, Color{200, 0, 0});
    child.draw_line({0, 119}, {150, 0}, Color{0, 0, 160});
    child.draw_line({10, 5}, {90, 25}, Color{0, 128, 0});
    child.draw_dotted_hline(0, 60, 200, Color{0, 0, 0});
    child.draw_dotted_vline(50, 0, 200, Color{0, 0, 0});
    child.draw_rect({5, 70, 60, 110}, Color{128, 0, 128});
    child.draw_dotted_rect({65, 70, 95, 110}, Color{0, 0, 0});
    child.draw_focus_rect({8, 73, 57, 107});

    EXPECT_TRUE(matches_golden(buffer, "borders_and_lines", Tolerance{0, 0}));
}

TEST(PainterGolden, TextAlignmentsAndLayouts) {
    const std::shared_ptr<Font> font = Font::open_file(testing::DejaVuSansPath, {"", 8, 400, false});
    const std::shared_ptr<Font> bold = Font::open_file(testing::DejaVuSansBoldPath, {"", 8, 700, false});
    ASSERT_TRUE(font && bold);
    FrameBuffer buffer(240, 200);
    Painter window(buffer);
    window.fill_rect({0, 0, 240, 200}, face());
    const Color text = system_color(SystemColor::WindowText);

    const HorizontalAlign aligns[] = {HorizontalAlign::Left, HorizontalAlign::Center, HorizontalAlign::Right};
    int top = 4;
    for (const HorizontalAlign align : aligns) {
        const Rect box{4, top, 150, top + 20};
        window.fill_rect(window.draw_border(box, Border::SunkenDouble), system_color(SystemColor::Window));
        window.draw_text({6, top + 2, 148, top + 18}, "August 2001", *font, text,
                         {align, VerticalAlign::Center, true, false, true, false});
        top += 24;
    }
    window.draw_text({154, 4, 236, 40}, "&Today && \x80\xE9", *bold, Color{0, 0, 128},
                     {HorizontalAlign::Center, VerticalAlign::Bottom, true, false, true, true});
    window.draw_text({4, 80, 120, 150}, "Pick a date in the calendar, then press Select.", *font, text,
                     {HorizontalAlign::Left, VerticalAlign::Top, false, true, true, false});
    window.draw_text({124, 80, 236, 150}, "Line one\r\nLine two\nLine three", *font, Color{128, 0, 0},
                     {HorizontalAlign::Right, VerticalAlign::Center, false, false, true, false});
    // Clipped at the rectangle's right edge and at the child's bottom.
    Painter child = window.sub_painter({4, 160, 90, 170});
    child.draw_text({0, 0, 60, 30}, "Clipped text goes on", *font, text, {});
    window.draw_text({100, 156}, "Mo Tu We Th Fr Sa Su", *font, text);

    EXPECT_TRUE(matches_golden(buffer, "text_layouts", Tolerance{96, 60}));
}

// A 16 × 16 ball: opaque centre, soft alpha edge, transparent corners.
Image ball() {
    Image image = *Image::create(16, 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int dx = 2 * x - 15, dy = 2 * y - 15;
            const int distance = dx * dx + dy * dy; // 0 … 450
            const int alpha = distance < 150 ? 255 : distance > 250 ? 0 : (250 - distance) * 255 / 100;
            image.at(x, y) = MakeArgb(static_cast<uint8_t>(alpha), static_cast<uint8_t>(200 - x * 8), 40,
                                      static_cast<uint8_t>(60 + y * 12));
        }
    }
    return image;
}

Image chequer() {
    Image image = *Image::create(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            image.at(x, y) = ((x / 4 + y / 4) % 2) ? 0xFFE0E0C0 : 0xFFA0A080;
    return image;
}

TEST(PainterGolden, ImagesWithTransparencyStretchedAndTiled) {
    FrameBuffer buffer(160, 100);
    Painter window(buffer);
    window.draw_image_tiled(chequer(), {0, 0, 160, 100});
    const Image sprite = ball();
    window.draw_image(sprite, {8, 8});
    window.draw_image(sprite, {-6, 80});
    window.draw_image_stretched(sprite, {40, 8, 88, 56});
    window.draw_image_stretched(sprite, {100, 8, 108, 40});
    window.draw_image_part(sprite, {8, 0, 16, 16}, {120, 8});
    Painter child = window.sub_painter({40, 64, 150, 96});
    child.fill_rect({0, 0, 200, 200}, face());
    child.draw_image_tiled(sprite, {4, 4, 106, 28});

    EXPECT_TRUE(matches_golden(buffer, "images", Tolerance{0, 0}));
}

} // namespace
} // namespace morvex::painter

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

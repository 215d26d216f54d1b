#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <climits>
#include <gtest/gtest.h>

namespace morvex::painter {
namespace {

constexpr Color Red{255, 0, 0};
constexpr platform::Pixel RedPixel = 0xFF0000;

int count(const FrameBuffer& buffer, platform::Pixel pixel) {
    return static_cast<int>(std::count(buffer.pixels().begin(), buffer.pixels().end(), pixel));
}

TEST(Color, ConvertsColorRefsWithRedInTheLowByte) {
    EXPECT_EQ(Color::from_colorref(0x00800000).pixel(), 0x000080u) << "0x00800000 is dark blue";
    EXPECT_EQ(Color::from_colorref(0x000000FF), Red);
    EXPECT_EQ(Color::from_colorref(0x00123456).colorref(), 0x00123456u);
    EXPECT_FALSE(resolve_colorref(DefaultColorRef));
    EXPECT_EQ(resolve_colorref(0x80000011), Color::from_rgb(0x808080)) << "grey text";
    EXPECT_EQ(resolve_colorref(0x8000000F), system_color(SystemColor::ButtonFace));
    EXPECT_FALSE(resolve_colorref(0x80000999));
}

TEST(Painter, FillIsOffsetByTheOriginAndCutByTheClip) {
    FrameBuffer buffer(10, 10);
    Painter painter(buffer, {3, 3}, {3, 3, 6, 6});
    painter.fill_rect({-5, -5, 100, 100}, Red);
    EXPECT_EQ(count(buffer, RedPixel), 9);
    EXPECT_EQ(buffer.at(3, 3), RedPixel);
    EXPECT_EQ(buffer.at(6, 6), 0u);
    EXPECT_EQ(painter.clip_rect(), (Rect{0, 0, 3, 3}));
}

TEST(Painter, SubPainterDrawsInItsAreaOnly) {
    FrameBuffer buffer(20, 20);
    Painter parent(buffer, {2, 2}, {0, 0, 20, 20});
    Painter child = parent.sub_painter({5, 5, 9, 8});
    child.fill_rect({0, 0, 50, 50}, Red);
    EXPECT_EQ(count(buffer, RedPixel), 4 * 3);
    EXPECT_EQ(buffer.at(7, 7), RedPixel);
    EXPECT_EQ(buffer.at(10, 9), RedPixel);
    EXPECT_EQ(buffer.at(11, 7), 0u);
}

TEST(Painter, ClipOutsideTheBufferIsCutToIt) {
    FrameBuffer buffer(4, 4);
    Painter painter(buffer, {-10, -10}, {-100, -100, 100, 100});
    painter.fill_rect({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, Red);
    EXPECT_EQ(count(buffer, RedPixel), 16);
}

struct LineCase {
    Point from;
    Point to;
    std::vector<Point> pixels;
};

TEST(Painter, LinesDrawBothEndsAndTheExpectedSteps) {
    const LineCase cases[] = {
        {{0, 0}, {4, 2}, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}},
        {{4, 2}, {0, 0}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {{1, 0}, {1, 3}, {{1, 0}, {1, 1}, {1, 2}, {1, 3}}},
        {{0, 3}, {3, 0}, {{0, 3}, {1, 2}, {2, 1}, {3, 0}}},
        {{2, 2}, {2, 2}, {{2, 2}}},
    };
    for (const LineCase& c : cases) {
        FrameBuffer buffer(6, 6);
        Painter(buffer).draw_line(c.from, c.to, Red);
        EXPECT_EQ(count(buffer, RedPixel), static_cast<int>(c.pixels.size()));
        for (const Point p : c.pixels)
            EXPECT_EQ(buffer.at(p.x, p.y), RedPixel) << p.x << "," << p.y;
    }
}

TEST(Painter, ClippedLinesKeepTheirUnclippedPath) {
    FrameBuffer whole(50, 50);
    Painter(whole).draw_line({-1000, 7}, {1000, 31}, Red);
    FrameBuffer clipped(50, 50);
    Painter(clipped, {0, 0}, {10, 0, 30, 50}).draw_line({-1000, 7}, {1000, 31}, Red);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x)
            EXPECT_EQ(clipped.at(x, y), x >= 10 && x < 30 ? whole.at(x, y) : 0u) << x << "," << y;
    // Extreme end points neither overflow nor take forever.
    Painter(clipped).draw_line({INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, Red);
    EXPECT_EQ(clipped.at(25, 25), RedPixel);
}

TEST(Painter, DottedLinesFollowTheBufferChequer) {
    FrameBuffer buffer(8, 2);
    Painter(buffer).draw_dotted_hline(0, 0, 8, Red);
    Painter(buffer, {1, 1}, {0, 0, 8, 2}).draw_dotted_hline(0, 0, 7, Red);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(buffer.at(x, 0), x % 2 == 0 ? RedPixel : 0u) << x;
        EXPECT_EQ(buffer.at(x, 1), x % 2 == 1 ? RedPixel : 0u) << x;
    }
}

TEST(Painter, FocusRectangleTwiceRestoresThePixels) {
    FrameBuffer buffer(9, 7, 0x00C0C0C0);
    buffer.at(4, 0) = 0x123456;
    const FrameBuffer before = buffer;
    Painter painter(buffer);
    painter.draw_focus_rect({0, 0, 9, 7});
    EXPECT_NE(buffer, before);
    EXPECT_EQ(buffer.at(0, 0), 0x003F3F3Fu);
    EXPECT_EQ(buffer.at(1, 0), 0x00C0C0C0u);
    EXPECT_EQ(buffer.at(4, 4), 0x00C0C0C0u) << "the inside stays";
    painter.draw_focus_rect({0, 0, 9, 7});
    EXPECT_EQ(buffer, before);
    for (const Rect thin : {Rect{1, 1, 2, 6}, Rect{1, 1, 8, 2}, Rect{2, 2, 4, 4}}) {
        painter.draw_focus_rect(thin);
        painter.draw_focus_rect(thin);
        EXPECT_EQ(buffer, before) << thin.left << "," << thin.top << "," << thin.right << "," << thin.bottom;
    }
}

struct BorderCase {
    Border border;
    SystemColor top_left;
    SystemColor bottom_right;
    int width;
};

TEST(Painter, BordersUseTheSystemColoursAndReturnTheirInside) {
    const BorderCase cases[] = {
        {Border::Raised, SystemColor::ButtonHighlight, SystemColor::ButtonShadow, 1},
        {Border::Sunken, SystemColor::ButtonShadow, SystemColor::ButtonHighlight, 1},
        {Border::RaisedDouble, SystemColor::ButtonHighlight, SystemColor::DarkShadow, 2},
        {Border::SunkenDouble, SystemColor::ButtonShadow, SystemColor::ButtonHighlight, 2},
        {Border::Etched, SystemColor::ButtonShadow, SystemColor::ButtonHighlight, 2},
    };
    for (const BorderCase& c : cases) {
        FrameBuffer buffer(12, 10, 0x00ABCDEF);
        const Rect inside = Painter(buffer).draw_border({1, 1, 11, 9}, c.border);
        EXPECT_EQ(inside, (Rect{1 + c.width, 1 + c.width, 11 - c.width, 9 - c.width}));
        EXPECT_EQ(buffer.at(1, 1), system_color(c.top_left).pixel());
        EXPECT_EQ(buffer.at(1, 7), system_color(c.top_left).pixel());
        EXPECT_EQ(buffer.at(10, 8), system_color(c.bottom_right).pixel());
        EXPECT_EQ(buffer.at(10, 1), system_color(c.bottom_right).pixel())
            << "the top-right corner is the shadow's";
        EXPECT_EQ(buffer.at(1, 8), system_color(c.bottom_right).pixel());
        EXPECT_EQ(buffer.at(5, 5), 0x00ABCDEFu);
        EXPECT_EQ(buffer.at(0, 0), 0x00ABCDEFu);
    }
    FrameBuffer tiny(3, 3);
    EXPECT_TRUE(Painter(tiny).draw_border({0, 0, 2, 2}, Border::RaisedDouble).empty());
}

Image two_by_two() {
    Image image = *Image::create(2, 2);
    image.pixels = {0xFFFF0000, 0x00000000, 0x8000FF00, 0xFF0000FF};
    return image;
}

TEST(Painter, ImagesBlendByAlpha) {
    FrameBuffer buffer(4, 4, 0x00FFFFFF);
    Painter(buffer).draw_image(two_by_two(), {1, 1});
    EXPECT_EQ(buffer.at(1, 1), 0xFF0000u);
    EXPECT_EQ(buffer.at(2, 1), 0xFFFFFFu) << "transparent";
    EXPECT_EQ(buffer.at(1, 2), 0x7FFF7Fu) << "half green over white";
    EXPECT_EQ(buffer.at(2, 2), 0x0000FFu);
}

TEST(Painter, ImagesAreClippedOnEverySide) {
    FrameBuffer buffer(3, 3, 0);
    Painter painter(buffer, {0, 0}, {1, 1, 3, 3});
    painter.draw_image(two_by_two(), {0, 0});
    EXPECT_EQ(buffer.at(0, 0), 0u);
    EXPECT_EQ(buffer.at(1, 1), 0x0000FFu);
    painter.draw_image(two_by_two(), {2, 2});
    EXPECT_EQ(buffer.at(2, 2), 0xFF0000u);
    painter.draw_image(two_by_two(), {INT_MAX - 1, INT_MIN});
}

TEST(Painter, StretchingPicksTheNearestPixel) {
    FrameBuffer buffer(4, 4, 0x00FFFFFF);
    Painter(buffer).draw_image_stretched(two_by_two(), {0, 0, 4, 4});
    EXPECT_EQ(buffer.at(0, 0), 0xFF0000u);
    EXPECT_EQ(buffer.at(1, 1), 0xFF0000u);
    EXPECT_EQ(buffer.at(3, 3), 0x0000FFu);
    EXPECT_EQ(buffer.at(2, 0), 0xFFFFFFu);
}

TEST(Painter, TilingRepeatsFromTheAreasCorner) {
    FrameBuffer buffer(5, 5, 0x00FFFFFF);
    Painter(buffer).draw_image_tiled(two_by_two(), {1, 1, 5, 5});
    EXPECT_EQ(buffer.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(buffer.at(1, 1), 0xFF0000u);
    EXPECT_EQ(buffer.at(3, 3), 0xFF0000u);
    EXPECT_EQ(buffer.at(4, 4), 0x0000FFu);
    FrameBuffer clipped(5, 5, 0x00FFFFFF);
    Painter(clipped, {0, 0}, {2, 2, 5, 5}).draw_image_tiled(two_by_two(), {1, 1, 5, 5});
    EXPECT_EQ(clipped.at(3, 3), 0xFF0000u) << "clipping does not shift the tiles";
    EXPECT_EQ(clipped.at(2, 2), 0x0000FFu);
}

} // namespace
} // namespace morvex::painter

// Every shape is a predicate on a 32-unit design grid (y down). Icons sample
// each pixel 4×4 times and blend the coverage, so they scale to any size;
// cursors sample pixel centres only, then ring the shape with a one-pixel
// outline, which gives the crisp two-colour look cursors have.
#include "window/system_images.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <utility>
#include <vector>

namespace morvex {

namespace {

using painter::ArgbAlpha;
using painter::ArgbPixel;
using painter::Image;
using painter::MakeArgb;

using Shape = std::function<bool(double x, double y)>;
struct Vertex {
    double x, y;
};

constexpr double Grid = 32.0;

Shape circle(double cx, double cy, double r) {
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

Shape rect(double left, double top, double right, double bottom) {
    return [=](double x, double y) { return x >= left && x < right && y >= top && y < bottom; };
}

// A segment with round ends, `r` either side of it.
Shape capsule(double ax, double ay, double bx, double by, double r) {
    return [=](double x, double y) {
        const double dx = bx - ax, dy = by - ay;
        const double length2 = dx * dx + dy * dy;
        double t = length2 == 0 ? 0 : ((x - ax) * dx + (y - ay) * dy) / length2;
        t = std::clamp(t, 0.0, 1.0);
        const double px = ax + t * dx - x, py = ay + t * dy - y;
        return px * px + py * py <= r * r;
    };
}

// Even-odd rule.
Shape polygon(std::vector<Vertex> points) {
    return [points = std::move(points)](double x, double y) {
        bool inside = false;
        for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const Vertex& a = points[i];
            const Vertex& b = points[j];
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
                inside = !inside;
        }
        return inside;
    };
}

// The ring between two radii, from angle `from` to `to` (degrees, clockwise
// on screen, 0 pointing right).
Shape arc(double cx, double cy, double inner, double outer, double from, double to) {
    return [=](double x, double y) {
        const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        if (d2 < inner * inner || d2 > outer * outer)
            return false;
        double angle = std::atan2(y - cy, x - cx) * 180.0 / std::numbers::pi;
        while (angle < from)
            angle += 360.0;
        return angle <= to;
    };
}

Shape any_of(std::vector<Shape> shapes) {
    return [shapes = std::move(shapes)](double x, double y) {
        for (const Shape& s : shapes)
            if (s(x, y))
                return true;
        return false;
    };
}

Shape both(Shape a, Shape b) {
    return [a = std::move(a), b = std::move(b)](double x, double y) { return a(x, y) && b(x, y); };
}

// The shape rotated by `degrees` about (cx, cy).
Shape rotated(Shape shape, double degrees, double cx, double cy) {
    const double c = std::cos(degrees * std::numbers::pi / 180.0);
    const double s = std::sin(degrees * std::numbers::pi / 180.0);
    return [=, shape = std::move(shape)](double x, double y) {
        const double dx = x - cx, dy = y - cy;
        return shape(cx + dx * c + dy * s, cy - dx * s + dy * c);
    };
}

// The shape scaled by `scale` and moved so that its origin lies at (ox, oy).
Shape placed(Shape shape, double scale, double ox, double oy) {
    return [=, shape = std::move(shape)](double x, double y) {
        return shape((x - ox) / scale, (y - oy) / scale);
    };
}

// Source-over of a non-premultiplied colour with extra coverage 0..1.
ArgbPixel composite(ArgbPixel under, ArgbPixel over, double coverage) {
    const double a_over = ArgbAlpha(over) / 255.0 * coverage;
    const double a_under = ArgbAlpha(under) / 255.0;
    const double a_out = a_over + a_under * (1.0 - a_over);
    if (a_out <= 0.0)
        return 0;
    const auto channel = [&](int shift) {
        const double o = (over >> shift) & 0xFF;
        const double u = (under >> shift) & 0xFF;
        return static_cast<uint8_t>(std::lround((o * a_over + u * a_under * (1.0 - a_over)) / a_out));
    };
    return MakeArgb(static_cast<uint8_t>(std::lround(a_out * 255.0)), channel(16), channel(8), channel(0));
}

// Anti-aliased fill of a shape over an icon.
void cover(Image& image, const Shape& shape, ArgbPixel colour) {
    constexpr int Samples = 4;
    const double unit = Grid / image.width;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            int hits = 0;
            for (int sy = 0; sy < Samples; ++sy)
                for (int sx = 0; sx < Samples; ++sx)
                    hits += shape((x + (sx + 0.5) / Samples) * unit, (y + (sy + 0.5) / Samples) * unit);
            if (hits > 0)
                image.at(x, y) = composite(image.at(x, y), colour, hits / double(Samples * Samples));
        }
    }
}

constexpr ArgbPixel White = MakeArgb(255, 255, 255, 255);
constexpr ArgbPixel Black = MakeArgb(255, 0, 0, 0);

// A cursor layer: the shape in `fill`, ringed by `outline` (0: no ring).
void stamp(Image& cursor, const Shape& shape, ArgbPixel fill, ArgbPixel outline) {
    constexpr int N = SystemCursorSize;
    std::array<bool, N * N> mask{};
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x)
            mask[y * N + x] = shape(x + 0.5, y + 0.5);
    const auto in = [&](int x, int y) { return x >= 0 && y >= 0 && x < N && y < N && mask[y * N + x]; };
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            if (in(x, y)) {
                cursor.at(x, y) = fill;
                continue;
            }
            if (outline == 0)
                continue;
            // Edge neighbours only: a diagonal edge keeps a one-pixel staircase.
            if (in(x - 1, y) || in(x + 1, y) || in(x, y - 1) || in(x, y + 1))
                cursor.at(x, y) = outline;
        }
    }
}

// --- Cursors ---

Shape arrow_shape() {
    return polygon({{1, 1}, {1, 17.6}, {5, 13.6}, {8.2, 20.8}, {10.6, 19.8}, {7.6, 12.8}, {12.9, 12.8}});
}

Shape hourglass_glass() {
    return polygon(
        {{9, 5}, {24, 5}, {24, 8}, {18, 16.5}, {24, 25}, {24, 28}, {9, 28}, {9, 25}, {15, 16.5}, {9, 8}});
}

void draw_hourglass(Image& cursor, double scale, double ox, double oy) {
    const auto put = [&](Shape s) { return placed(std::move(s), scale, ox, oy); };
    stamp(cursor, put(any_of({rect(7, 3, 26, 6), rect(7, 27, 26, 30), hourglass_glass()})), White, Black);
    stamp(cursor, put(any_of({rect(7, 3, 26, 6), rect(7, 27, 26, 30)})), Black, 0);
    // Sand running out of the top bulb into the bottom one.
    stamp(cursor,
          put(any_of({polygon({{12, 9}, {21, 9}, {16.5, 15}}), polygon({{16.5, 21}, {22, 26}, {11, 26}}),
                      rect(16, 15, 17, 21)})),
          Black, 0);
}

// A two-headed arrow from left to right through (16.5, 16.5).
Shape double_arrow(double half_length) {
    const double l = 16.5 - half_length, r = 16.5 + half_length;
    return polygon({{l, 16.5},
                    {l + 5, 11.5},
                    {l + 5, 15.3},
                    {r - 5, 15.3},
                    {r - 5, 11.5},
                    {r, 16.5},
                    {r - 5, 21.5},
                    {r - 5, 17.7},
                    {l + 5, 17.7},
                    {l + 5, 21.5}});
}

Shape question_mark(double cx, double top, double size, double weight) {
    // Proportions of a glyph `size` units tall.
    const double r = size * 0.26;
    const double cy = top + r + weight;
    const double end_angle = 60.0 * std::numbers::pi / 180.0;
    const double ex = cx + r * std::cos(end_angle), ey = cy + r * std::sin(end_angle);
    return any_of({arc(cx, cy, r - weight, r + weight, -180.0, 60.0),
                   capsule(ex, ey, cx, ey + size * 0.12, weight),
                   capsule(cx, ey + size * 0.12, cx, top + size * 0.72, weight),
                   circle(cx, top + size * 0.9, weight * 1.25)});
}

void draw_cursor_shapes(uint32_t id, Image& c) {
    switch (id) {
    case SystemCursorArrow:
        stamp(c, arrow_shape(), White, Black);
        break;
    case SystemCursorIBeam:
        stamp(c,
              any_of({rect(12, 4, 15, 5), rect(17, 4, 20, 5), rect(15, 5, 17, 27), rect(12, 27, 15, 28),
                      rect(17, 27, 20, 28), rect(15, 4, 17, 5), rect(15, 27, 17, 28)}),
              Black, White);
        break;
    case SystemCursorWait:
        draw_hourglass(c, 1.0, 0, 0);
        break;
    case SystemCursorCross:
        stamp(c, any_of({rect(16, 5, 17, 28), rect(5, 16, 28, 17)}), Black, White);
        break;
    case SystemCursorUpArrow:
        stamp(c, polygon({{16.5, 2}, {23.5, 10}, {18, 10}, {18, 28}, {15, 28}, {15, 10}, {9.5, 10}}), White,
              Black);
        break;
    case SystemCursorSizeWe:
        stamp(c, double_arrow(11), Black, White);
        break;
    case SystemCursorSizeNs:
        stamp(c, rotated(double_arrow(11), 90, 16.5, 16.5), Black, White);
        break;
    case SystemCursorSizeNwse:
        stamp(c, rotated(double_arrow(10), 45, 16.5, 16.5), Black, White);
        break;
    case SystemCursorSizeNesw:
        stamp(c, rotated(double_arrow(10), -45, 16.5, 16.5), Black, White);
        break;
    case SystemCursorSizeAll:
        stamp(c, any_of({double_arrow(12), rotated(double_arrow(12), 90, 16.5, 16.5)}), Black, White);
        break;
    case SystemCursorNo:
        stamp(c,
              any_of({arc(16.5, 16.5, 6.8, 10.5, -180, 180),
                      both(circle(16.5, 16.5, 7), capsule(11.5, 11.5, 21.5, 21.5, 1.9))}),
              White, Black);
        break;
    case SystemCursorHand:
        stamp(c,
              any_of({capsule(12.5, 4.5, 12.5, 16, 2.1), capsule(16.3, 11.5, 16.3, 17, 2.0),
                      capsule(20, 12.5, 20, 18, 2.0), capsule(23.5, 14, 23.5, 19, 1.9),
                      capsule(6.5, 15.5, 11, 21.5, 2.0),
                      polygon({{10.4, 15}, {25.4, 15}, {25.4, 22}, {22, 27}, {13, 27}, {10.4, 22}}),
                      rect(13, 26, 23, 30)}),
              White, Black);
        // The gaps between the fingers.
        stamp(c, any_of({rect(14.5, 13, 14.8, 17.5), rect(18.2, 14, 18.3, 18.5), rect(21.8, 15, 21.9, 19.5)}),
              Black, 0);
        break;
    case SystemCursorAppStarting:
        stamp(c, arrow_shape(), White, Black);
        draw_hourglass(c, 0.5, 15, 13);
        break;
    case SystemCursorHelp:
        stamp(c, arrow_shape(), White, Black);
        stamp(c, question_mark(22.5, 2.5, 15, 1.2), Black, White);
        break;
    default:
        break;
    }
}

constexpr std::array KnownCursors = {SystemCursorArrow,       SystemCursorIBeam,   SystemCursorWait,
                                     SystemCursorCross,       SystemCursorUpArrow, SystemCursorSizeNwse,
                                     SystemCursorSizeNesw,    SystemCursorSizeWe,  SystemCursorSizeNs,
                                     SystemCursorSizeAll,     SystemCursorNo,      SystemCursorHand,
                                     SystemCursorAppStarting, SystemCursorHelp};

platform::Point cursor_hotspot(uint32_t id) {
    switch (id) {
    case SystemCursorArrow:
    case SystemCursorAppStarting:
    case SystemCursorHelp:
        return {1, 1};
    case SystemCursorUpArrow:
        return {16, 2};
    case SystemCursorHand:
        return {12, 3};
    default:
        return {16, 16};
    }
}

// --- Icons ---

// A disc with a darker rim, the face of the message icons.
void badge(Image& icon, ArgbPixel rim, ArgbPixel face) {
    cover(icon, circle(16, 16, 15), rim);
    cover(icon, circle(16, 16, 13.8), face);
}

bool draw_icon_shapes(uint32_t id, Image& icon) {
    switch (id) {
    case SystemIconApplication:
        cover(icon, rect(2, 4, 30, 29), MakeArgb(255, 0x40, 0x40, 0x40));
        cover(icon, rect(3, 5, 29, 10), MakeArgb(255, 0x00, 0x00, 0x80));
        cover(icon, rect(3, 10, 29, 28), White);
        cover(icon, rect(24, 6, 28, 9), MakeArgb(255, 0xC0, 0xC0, 0xC0));
        cover(icon, rect(5, 13, 16, 15), MakeArgb(255, 0x80, 0x80, 0x80));
        cover(icon, rect(5, 17, 22, 19), MakeArgb(255, 0x80, 0x80, 0x80));
        cover(icon, rect(5, 21, 13, 23), MakeArgb(255, 0x80, 0x80, 0x80));
        return true;
    case SystemIconError:
        badge(icon, MakeArgb(255, 0x80, 0x00, 0x00), MakeArgb(255, 0xE0, 0x20, 0x20));
        cover(icon, any_of({capsule(10.5, 10.5, 21.5, 21.5, 2.3), capsule(21.5, 10.5, 10.5, 21.5, 2.3)}),
              White);
        return true;
    case SystemIconQuestion:
        badge(icon, MakeArgb(255, 0x10, 0x30, 0x80), MakeArgb(255, 0x30, 0x70, 0xD0));
        cover(icon, question_mark(16, 6, 21, 1.9), White);
        return true;
    case SystemIconExclamation:
        cover(icon, polygon({{16, 1.5}, {31, 29}, {1, 29}}), MakeArgb(255, 0x70, 0x50, 0x00));
        cover(icon, polygon({{16, 4.2}, {28.8, 27.6}, {3.2, 27.6}}), MakeArgb(255, 0xFF, 0xD0, 0x20));
        cover(icon, any_of({capsule(16, 11, 16, 19.5, 2.0), circle(16, 24, 2.0)}), Black);
        return true;
    case SystemIconInformation:
        badge(icon, MakeArgb(255, 0x10, 0x30, 0x80), MakeArgb(255, 0x30, 0x70, 0xD0));
        cover(icon, any_of({circle(16, 9, 2.4), capsule(16, 14, 16, 24, 2.1)}), White);
        return true;
    case SystemIconLogo:
        // Our own emblem: a teal disc holding a white diamond.
        badge(icon, MakeArgb(255, 0x00, 0x50, 0x50), MakeArgb(255, 0x00, 0x90, 0x90));
        cover(icon, polygon({{16, 6}, {26, 16}, {16, 26}, {6, 16}}), White);
        cover(icon, polygon({{16, 11}, {21, 16}, {16, 21}, {11, 16}}), MakeArgb(255, 0x00, 0x90, 0x90));
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<Image> DrawSystemIcon(uint32_t id, int size) {
    if (size < 8 || size > 256)
        return std::nullopt;
    std::optional<Image> icon = Image::create(size, size);
    if (!icon || !draw_icon_shapes(id, *icon))
        return std::nullopt;
    return icon;
}

std::optional<Image> DrawSystemCursor(uint32_t id) {
    if (std::find(KnownCursors.begin(), KnownCursors.end(), id) == KnownCursors.end())
        return std::nullopt;
    std::optional<Image> cursor = Image::create(SystemCursorSize, SystemCursorSize);
    if (!cursor)
        return std::nullopt;
    draw_cursor_shapes(id, *cursor);
    cursor->hotspot = cursor_hotspot(id);
    return cursor;
}

} // namespace morvex

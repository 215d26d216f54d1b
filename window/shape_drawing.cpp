#include "window/shape_drawing.h"

#include "window/painter/blend.h"
#include "window/painter/painter.h"

#include <algorithm>
#include <cmath>

namespace morvex {

namespace {

constexpr int Samples = 4; // per axis

// Blends `colour` over one pixel (painter coordinates) with weight 0..16 samples.
void blend(painter::Painter& painter, int x, int y, painter::Color colour, int samples) {
    if (samples <= 0)
        return;
    const platform::Point origin = painter.origin();
    platform::Pixel& pixel = painter.target().row(origin.y + y)[origin.x + x];
    pixel = painter::blend_pixel(pixel, colour.pixel(),
                                 static_cast<uint32_t>(samples * 255 / (Samples * Samples)));
}

// Calls visit(x, y, sample_x, sample_y) for the samples of every pixel of
// `area` that lies inside the painter's clip; visit returns the kind of the
// sample, and the counts go to draw(x, y, counts).
template <typename Classify, typename Draw>
void for_samples(painter::Painter& painter, const platform::Rect& area, Classify&& classify, Draw&& draw) {
    const platform::Rect region = area.intersect(painter.clip_rect());
    for (int y = region.top; y < region.bottom; ++y)
        for (int x = region.left; x < region.right; ++x) {
            int counts[3] = {0, 0, 0};
            for (int sy = 0; sy < Samples; ++sy)
                for (int sx = 0; sx < Samples; ++sx)
                    ++counts[classify(x + (sx + 0.5) / Samples, y + (sy + 0.5) / Samples)];
            draw(x, y, counts);
        }
}

} // namespace

void DrawEllipse(painter::Painter& painter, const platform::Rect& rect, std::optional<painter::Color> fill,
                 std::optional<painter::Color> border, int width) {
    if (rect.empty())
        return;
    const double cx = rect.left + rect.width() / 2.0;
    const double cy = rect.top + rect.height() / 2.0;
    const double a = rect.width() / 2.0;
    const double b = rect.height() / 2.0;
    const double ring = border ? std::max(0, width) : 0;
    const double ia = std::max(0.0, a - ring);
    const double ib = std::max(0.0, b - ring);
    const auto inside = [](double dx, double dy, double ax, double bx) {
        return ax > 0 && bx > 0 && (dx * dx) / (ax * ax) + (dy * dy) / (bx * bx) <= 1.0;
    };
    // 0 outside, 1 the inside, 2 the ring.
    for_samples(
        painter, rect,
        [&](double x, double y) {
            const double dx = x - cx;
            const double dy = y - cy;
            if (!inside(dx, dy, a, b))
                return 0;
            return inside(dx, dy, ia, ib) ? 1 : 2;
        },
        [&](int x, int y, const int* counts) {
            if (fill)
                blend(painter, x, y, *fill, counts[1] + (border && ring > 0 ? 0 : counts[2]));
            if (border && ring > 0)
                blend(painter, x, y, *border, counts[2]);
        });
}

void DrawThickLine(painter::Painter& painter, double x0, double y0, double x1, double y1, double width,
                   painter::Color colour) {
    if (width <= 0)
        return;
    const double half = width / 2.0;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double length_squared = dx * dx + dy * dy;
    const platform::Rect area{static_cast<int>(std::floor(std::min(x0, x1) - half)),
                              static_cast<int>(std::floor(std::min(y0, y1) - half)),
                              static_cast<int>(std::ceil(std::max(x0, x1) + half)),
                              static_cast<int>(std::ceil(std::max(y0, y1) + half))};
    for_samples(
        painter, area,
        [&](double x, double y) {
            // The distance from the segment.
            double t = length_squared > 0 ? ((x - x0) * dx + (y - y0) * dy) / length_squared : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            const double ex = x - (x0 + t * dx);
            const double ey = y - (y0 + t * dy);
            return ex * ex + ey * ey <= half * half ? 1 : 0;
        },
        [&](int x, int y, const int* counts) { blend(painter, x, y, colour, counts[1]); });
}

} // namespace morvex

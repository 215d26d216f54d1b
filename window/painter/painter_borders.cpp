// The classic 3D borders: each ring has a colour for its top and left edges
// and one for its bottom and right edges; the latter owns the top-right and
// bottom-left corner pixels, as on the classic desktop.
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

namespace morvex::painter {

namespace {

struct Ring {
    SystemColor top_left;
    SystemColor bottom_right;
};

void draw_ring(Painter& painter, const Rect& rect, Ring ring) {
    if (rect.empty())
        return;
    const Color top_left = system_color(ring.top_left);
    const Color bottom_right = system_color(ring.bottom_right);
    painter.draw_hline(rect.left, rect.top, rect.width() - 1, top_left);
    painter.draw_vline(rect.left, rect.top + 1, rect.height() - 2, top_left);
    painter.draw_hline(rect.left, rect.bottom - 1, rect.width(), bottom_right);
    painter.draw_vline(rect.right - 1, rect.top, rect.height() - 1, bottom_right);
}

Rect shrink(const Rect& rect) {
    return {rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
}

} // namespace

Rect Painter::draw_border(const Rect& rect, Border border) {
    using enum SystemColor;
    Ring outer{};
    Ring inner{};
    bool double_ring = true;
    switch (border) {
    case Border::Raised:
        outer = {ButtonHighlight, ButtonShadow};
        double_ring = false;
        break;
    case Border::Sunken:
        outer = {ButtonShadow, ButtonHighlight};
        double_ring = false;
        break;
    case Border::RaisedDouble:
        outer = {ButtonHighlight, DarkShadow};
        inner = {Light, ButtonShadow};
        break;
    case Border::SunkenDouble:
        outer = {ButtonShadow, ButtonHighlight};
        inner = {DarkShadow, Light};
        break;
    case Border::Etched:
        outer = {ButtonShadow, ButtonHighlight};
        inner = {ButtonHighlight, ButtonShadow};
        break;
    case Border::Bump:
        outer = {ButtonHighlight, ButtonShadow};
        inner = {ButtonShadow, ButtonHighlight};
        break;
    }
    draw_ring(*this, rect, outer);
    Rect inside = shrink(rect);
    if (double_ring) {
        draw_ring(*this, inside, inner);
        inside = shrink(inside);
    }
    return inside.empty() ? Rect{} : inside;
}

} // namespace morvex::painter

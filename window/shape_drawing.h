// Anti-aliased shapes for the drawn controls: ellipses filled and outlined,
// and thick slanted lines. Each pixel takes the share of 4 × 4 samples that
// falls inside the shape, blended over what is already there. Coordinates
// are the painter's; shapes are clipped like everything a painter draws.
#pragma once

#include "platform/geometry.h"
#include "window/painter/color.h"

#include <optional>

namespace morvex {

namespace painter {
class Painter;
}

// The ellipse inscribed in `rect`: its inside in `fill`, a ring `width`
// pixels wide along its edge in `border` (either may be absent).
void DrawEllipse(painter::Painter& painter, const platform::Rect& rect, std::optional<painter::Color> fill,
                 std::optional<painter::Color> border, int width);

// A line `width` pixels wide with round ends between two points given in
// pixel units (0.5 is the centre of the first pixel).
void DrawThickLine(painter::Painter& painter, double x0, double y0, double x1, double y1, double width,
                   painter::Color colour);

} // namespace morvex

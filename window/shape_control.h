// A drawn shape (type 5), painted by its window beneath the control windows:
// by the record's kind byte a box (0), an ellipse (1), a line from the
// top-left to the bottom-right corner (2) or from the bottom-left to the
// top-right corner (3). Its inside takes the fill colour (-1: none), its
// outline `linewidth` pixels the border colour (-1: the text colour; a width
// of 0 draws no outline). Ellipses and slanted lines are anti-aliased; a
// line narrower or lower than its width is widened to it, so that a
// horizontal or vertical line has room. It takes no focus and no input.
//
// A drawn region (type 39) is a box whose colours both default to none: a
// region without colours is an invisible area (such as the one behind a
// calendar's grid); with a border colour its outline is at least a pixel.
//
// Properties: Fill is the fill colour, Color the border colour, LineWidth
// the outline's width in pixels.
#pragma once

#include "window/control.h"

namespace morvex {

class ShapeControl : public Control {
public:
    enum Kind : uint8_t { Box = 0, Ellipse = 1, FallingLine = 2, RisingLine = 3 };

    ShapeControl(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return {}; }
    bool takes_focus() const override { return false; }
    void paint(painter::Painter& painter) override;
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

private:
    bool is_line() const { return m_kind == FallingLine || m_kind == RisingLine; }

    bool m_region;
    uint8_t m_kind = Box;
    uint32_t m_fill;
    uint32_t m_border;
    int32_t m_line_width;
};

} // namespace morvex

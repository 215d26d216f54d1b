#include "window/shape_control.h"

#include "window/painter/painter.h"
#include "window/property_numbers.h"
#include "window/shape_drawing.h"

#include <algorithm>

namespace morvex {

namespace {

// Outlines thicker than this are taken as this: no record can ask for a
// loop over an absurd ring.
constexpr int32_t MaxLineWidth = 64;

} // namespace

ShapeControl::ShapeControl(Window& window, const ControlDefinition& definition)
    : Control(window, definition), m_region(definition.type == wdf::RegionControl),
      m_kind(m_region ? uint8_t{Box} : static_cast<uint8_t>(definition.number(wdf::Field::Shape))),
      m_fill(static_cast<uint32_t>(definition.number(wdf::Field::FillColour, -1))),
      m_border(static_cast<uint32_t>(definition.number(wdf::Field::BorderColour, -1))),
      m_line_width(std::clamp<int32_t>(static_cast<int32_t>(definition.number(wdf::Field::LineWidth, 1)), 0,
                                       MaxLineWidth)) {
    if (is_line())
        m_rect = platform::Rect::FromSize(m_rect.left, m_rect.top, std::max(m_rect.width(), m_line_width),
                                          std::max(m_rect.height(), m_line_width));
}

void ShapeControl::paint(painter::Painter& painter) {
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    const auto fill = painter::resolve_colorref(m_fill);
    const auto border_colour = painter::resolve_colorref(m_border);
    const painter::Color border = border_colour.value_or(text_colour());
    int width = m_line_width;
    if (m_region)
        width = border_colour ? std::max(1, width) : 0;
    width = std::min({width, all.width() / 2 + 1, all.height() / 2 + 1});
    switch (m_kind) {
    case Ellipse:
        DrawEllipse(painter, all, fill, width > 0 ? std::optional(border) : std::nullopt, width);
        return;
    case FallingLine:
    case RisingLine: {
        if (m_line_width <= 0)
            return;
        // Straight lines stay crisp; slanted ones run between the corners, inset by half the width.
        if (all.height() <= m_line_width || all.width() <= m_line_width) {
            painter.fill_rect(all, border);
            return;
        }
        const double half = m_line_width / 2.0;
        const double top = half, bottom = all.height() - half;
        const bool falling = m_kind == FallingLine;
        DrawThickLine(painter, half, falling ? top : bottom, all.width() - half, falling ? bottom : top,
                      m_line_width, border);
        return;
    }
    default:
        if (fill)
            painter.fill_rect(all, *fill);
        for (int i = 0; i < width; ++i)
            painter.draw_rect({all.left + i, all.top + i, all.right - i, all.bottom - i}, border);
        return;
    }
}

std::optional<std::string> ShapeControl::get_property(uint32_t number) {
    switch (number) {
    case Prop::Fill:
        return std::to_string(static_cast<int32_t>(m_fill));
    case Prop::Color:
        return std::to_string(static_cast<int32_t>(m_border));
    case Prop::LineWidth:
        return std::to_string(m_line_width);
    default:
        return Control::get_property(number);
    }
}

bool ShapeControl::set_property(uint32_t number, int32_t index, std::string_view value) {
    switch (number) {
    case Prop::Fill:
        m_fill = static_cast<uint32_t>(NumberValue(value));
        break;
    case Prop::Color:
        m_border = static_cast<uint32_t>(NumberValue(value));
        break;
    case Prop::LineWidth:
        m_line_width = static_cast<int32_t>(std::clamp<int64_t>(NumberValue(value), 0, MaxLineWidth));
        break;
    default:
        return Control::set_property(number, index, value);
    }
    invalidate();
    return true;
}

} // namespace morvex

#include "window/checkable_control.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "window/control_drawing.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"

namespace morvex {

namespace {

// The gap between the indicator and the text.
constexpr int IndicatorGap = 4;

platform::Point point_of(const platform::Message& message) {
    return {platform::LowWordSigned(message.lparam), platform::HighWordSigned(message.lparam)};
}

} // namespace

bool CheckableControl::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    return virtual_key == platform::VkSpace && modifiers == 0;
}

void CheckableControl::activate_mnemonic() {
    if (!effectively_visible() || !effectively_enabled())
        return;
    focus();
    clicked();
}

void CheckableControl::release_press() {
    m_pressed = m_inside = m_space = false;
    invalidate();
}

bool CheckableControl::handle_message(const platform::Message& message, intptr_t& result) {
    result = 0;
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    switch (message.number) {
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick:
        if (!effectively_enabled())
            return true;
        // Focused directly: a radio button that is not the selected one of
        // its group takes the focus from the mouse, though Tab passes it by.
        if (!has_focus())
            focus();
        m_pressed = m_inside = true;
        m_space = false;
        platform::set_capture(m_handle);
        invalidate();
        return true;
    case platform::MsgMouseMove:
        if (m_pressed && !m_space && all.contains(point_of(message)) != m_inside) {
            m_inside = !m_inside;
            invalidate();
        }
        return true;
    case platform::MsgLButtonUp:
        if (m_pressed && !m_space) {
            const bool inside = all.contains(point_of(message));
            release_press();
            platform::release_capture();
            if (inside)
                clicked();
        }
        return true;
    case platform::MsgCaptureChanged:
        if (m_pressed && !m_space)
            release_press();
        return true;
    case platform::MsgKeyDown:
        if (message.wparam == platform::VkSpace) {
            if (!m_pressed && effectively_enabled()) {
                m_pressed = m_inside = m_space = true;
                invalidate();
            }
            return true;
        }
        return false;
    case platform::MsgKeyUp:
        if (message.wparam == platform::VkSpace && m_space) {
            release_press();
            clicked();
            return true;
        }
        return false;
    case platform::MsgChar:
        return message.wparam == ' ';
    case platform::MsgKillFocus:
        if (m_space)
            release_press();
        return Control::handle_message(message, result);
    default:
        return Control::handle_message(message, result);
    }
}

void CheckableControl::paint(painter::Painter& painter) {
    const int width = m_rect.width();
    const int height = m_rect.height();
    if (width <= 0 || height <= 0)
        return;
    if (m_colours.colour != wdf::DefaultColour && !has_attribute(AttrTransparent))
        painter.fill_rect(platform::Rect::FromSize(0, 0, width, height), background_colour());
    const bool enabled = effectively_enabled();
    const int size = indicator_size();
    // Right-justified controls put the indicator after the text.
    const bool indicator_right = m_justification == 1;
    const int indicator_x = indicator_right ? width - size : 0;
    draw_indicator(painter, {indicator_x, (height - size) / 2}, enabled, pressed_look());

    const std::shared_ptr<painter::Font> font = this->font();
    if (!font)
        return;
    const platform::Rect text_area = indicator_right
                                         ? platform::Rect{1, 0, width - size - IndicatorGap, height}
                                         : platform::Rect{size + IndicatorGap, 0, width - 1, height};
    painter::TextFormat format;
    format.single_line = true;
    format.mnemonic = true;
    format.vertical = painter::VerticalAlign::Center;
    format.horizontal = indicator_right ? painter::HorizontalAlign::Right : painter::HorizontalAlign::Left;
    if (!m_text.empty())
        DrawControlText(painter, text_area, m_text, *font, text_colour(), enabled, format);
    if (has_focus()) {
        // The focus rectangle hugs the text, one pixel out.
        const int text_width = std::min(font->text_width(display_text()), text_area.width());
        const int text_height = font->metrics().height;
        const int left = indicator_right ? text_area.right - text_width : text_area.left;
        const int top = (height - text_height) / 2;
        platform::Rect focus_rect{left - 1, top - 1, left + text_width + 1, top + text_height + 1};
        if (m_text.empty())
            focus_rect = {indicator_x - 1, (height - size) / 2 - 1, indicator_x + size + 1,
                          (height + size) / 2 + 1};
        DrawFocus(painter, focus_rect.intersect(platform::Rect::FromSize(0, 0, width, height)));
    }
}

} // namespace morvex

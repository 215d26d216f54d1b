#include "window/button.h"

#include "platform/input.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "window/control_drawing.h"
#include "window/image_cache.h"
#include "window/painter/font.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <chrono>

namespace morvex {

namespace {

constexpr uintptr_t RepeatTimer = 2;
constexpr uint32_t DefaultRepeatDelay = 400;
constexpr uint32_t DefaultRepeatInterval = 100;

platform::Point point_of(const platform::Message& message) {
    return {platform::LowWordSigned(message.lparam), platform::HighWordSigned(message.lparam)};
}

} // namespace

Button::Button(Window& window, const ControlDefinition& definition) : Control(window, definition) {
    if (definition.icon.kind != ImageReference::Kind::None)
        m_icon = ProgramImages().LoadIcon(definition.icon, 0);
    m_icon_name = definition.icon.name;
}

bool Button::repeats() const {
    return has_attribute(AttrImmediate) || m_definition.repeat_ms != 0;
}

void Button::press() {
    post(Event::Accepted);
}

void Button::activate_mnemonic() {
    if (effectively_visible() && effectively_enabled())
        press();
}

bool Button::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    return virtual_key == platform::VkSpace && modifiers == 0;
}

bool Button::handle_message(const platform::Message& message, intptr_t& result) {
    result = 0;
    switch (message.number) {
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick:
        Control::handle_message(message, result);
        m_pressed = true;
        m_inside = true;
        platform::set_capture(m_handle);
        invalidate();
        if (repeats()) {
            press();
            const uint32_t delay = m_definition.delay_ms ? m_definition.delay_ms : DefaultRepeatDelay;
            platform::set_timer(m_handle, RepeatTimer, std::chrono::milliseconds(delay));
        }
        return true;
    case platform::MsgMouseMove:
        if (has_attribute(AttrFlat) && !m_hot) {
            m_hot = true;
            platform::track_mouse_leave(m_handle);
            invalidate();
        }
        if (m_pressed && !m_space) {
            const bool inside =
                platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height()).contains(point_of(message));
            if (inside != m_inside) {
                m_inside = inside;
                invalidate();
            }
        }
        return true;
    case platform::MsgMouseLeave:
        if (m_hot) {
            m_hot = false;
            invalidate();
        }
        return true;
    case platform::MsgLButtonUp:
        if (m_pressed && !m_space) {
            // Pressed only when released over the button.
            const bool inside =
                platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height()).contains(point_of(message));
            const bool press_it = inside && !repeats();
            m_pressed = false;
            platform::kill_timer(m_handle, RepeatTimer);
            platform::release_capture();
            invalidate();
            if (press_it)
                press();
        }
        return true;
    case platform::MsgCaptureChanged:
        if (m_pressed && !m_space) {
            m_pressed = false;
            platform::kill_timer(m_handle, RepeatTimer);
            invalidate();
        }
        return true;
    case platform::MsgTimer:
        if (message.wparam == RepeatTimer) {
            if (m_pressed && m_inside)
                press();
            const uint32_t interval = m_definition.repeat_ms ? m_definition.repeat_ms : DefaultRepeatInterval;
            platform::set_timer(m_handle, RepeatTimer, std::chrono::milliseconds(interval));
            return true;
        }
        return false;
    case platform::MsgKeyDown:
        if (message.wparam == platform::VkSpace && !m_pressed) {
            m_pressed = m_inside = m_space = true;
            invalidate();
            return true;
        }
        return false;
    case platform::MsgKeyUp:
        if (message.wparam == platform::VkSpace && m_space) {
            m_pressed = m_space = false;
            invalidate();
            press();
            return true;
        }
        return false;
    case platform::MsgChar:
        return message.wparam == ' ';
    case platform::MsgKillFocus:
        if (m_space) {
            m_pressed = m_space = false;
        }
        return Control::handle_message(message, result);
    default:
        return Control::handle_message(message, result);
    }
}

void Button::paint(painter::Painter& painter) {
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    if (all.empty())
        return;
    const bool enabled = effectively_enabled();
    const bool focused = has_focus();
    const bool flat = has_attribute(AttrFlat);
    ButtonLook look = ButtonLook::Normal;
    if (pressed_look())
        look = ButtonLook::Pressed;
    else if (flat)
        look = m_hot && enabled ? ButtonLook::FlatHot : ButtonLook::Flat;
    else if (focused || (has_attribute(AttrDefault) && !m_window.focus_control_is_button()))
        look = ButtonLook::Default;
    platform::Rect inside;
    if (look == ButtonLook::Pressed && flat) {
        // A flat button sinks by one thin bevel.
        painter.fill_rect(all, background_colour());
        inside = painter.draw_border(all, painter::Border::Sunken);
    } else {
        inside = DrawButtonFace(painter, all, look, background_colour());
    }
    const int shift = look == ButtonLook::Pressed ? 1 : 0;
    const platform::Rect content =
        platform::Rect{inside.left + 1, inside.top, inside.right - 1, inside.bottom}.offset(shift, shift);
    const std::shared_ptr<painter::Font> font = this->font();
    const painter::Image* icon = ProgramImages().Get(m_icon);
    const std::string label = m_text;
    painter::TextFormat format;
    format.single_line = true;
    format.mnemonic = true;
    format.horizontal = painter::HorizontalAlign::Center;
    format.vertical = painter::VerticalAlign::Center;
    platform::Rect text_area = content;
    if (icon && !icon->empty()) {
        if (label.empty()) {
            DrawCentredImage(painter, content, *icon, enabled);
        } else if (content.width() >= 2 * content.height()) {
            // Icon on the left of the text, the pair centred together.
            const int side = std::min(content.height() - 2, std::max(icon->width, 16));
            const int text_width = font ? font->text_width(display_text()) : 0;
            const int total = side + 4 + text_width;
            const int left = content.left + std::max(0, (content.width() - total) / 2);
            DrawCentredImage(
                painter,
                platform::Rect::FromSize(left, content.top + (content.height() - side) / 2, side, side),
                *icon, enabled);
            text_area = {left + side + 4, content.top, content.right, content.bottom};
            format.horizontal = painter::HorizontalAlign::Left;
        } else {
            // Icon above, text below.
            const int text_height = font ? font->metrics().height : 0;
            const platform::Rect icon_area{content.left, content.top + 1, content.right,
                                           content.bottom - text_height - 1};
            DrawCentredImage(painter, icon_area, *icon, enabled);
            text_area = {content.left, content.bottom - text_height - 1, content.right, content.bottom};
        }
    }
    if (font && !label.empty())
        DrawControlText(painter, text_area, label, *font, text_colour(), enabled, format);
    if (focused && inside.width() > 4 && inside.height() > 4)
        DrawFocus(painter, {inside.left + 1, inside.top + 1, inside.right - 1, inside.bottom - 1});
}

std::optional<std::string> Button::get_property(uint32_t number) {
    if (number == Prop::Icon)
        return m_icon_name;
    return Control::get_property(number);
}

bool Button::set_property(uint32_t number, int32_t index, std::string_view value) {
    if (number == Prop::Icon) {
        m_icon_name = std::string(value);
        m_icon =
            value.empty()
                ? 0
                : ProgramImages().LoadIcon(ImageReferenceOfName(value, ImageUse::Icon, m_window.module()), 0);
        invalidate();
        return true;
    }
    return Control::set_property(number, index, value);
}

} // namespace morvex

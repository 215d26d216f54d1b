#include "window/spin_box.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "window/control_drawing.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>
#include <chrono>

namespace morvex {

namespace {

constexpr uintptr_t RepeatTimer = 3;
constexpr uint32_t DefaultDelay = 200;
constexpr uint32_t DefaultRepeat = 50;

platform::Point point_of(const platform::Message& message) {
    return {platform::LowWordSigned(message.lparam), platform::HighWordSigned(message.lparam)};
}

uint32_t time_of(std::string_view tens_of_milliseconds, uint32_t otherwise) {
    const int64_t value = NumberValue(tens_of_milliseconds);
    return value > 0 ? static_cast<uint32_t>(std::min<int64_t>(value, 0xFFFF) * 10) : otherwise;
}

} // namespace

SpinBox::SpinBox(Window& window, const ControlDefinition& definition)
    : Control(window, definition), m_picture(definition.picture), m_low(definition.range_low),
      m_high(definition.range_high), m_step(definition.step != 0.0 ? definition.step : 1.0),
      m_delay_ms(definition.delay_ms ? definition.delay_ms : DefaultDelay),
      m_repeat_ms(definition.repeat_ms ? definition.repeat_ms : DefaultRepeat) {}

platform::Rect SpinBox::inside_rect() const {
    return {2, 2, m_rect.width() - 2, m_rect.height() - 2};
}

platform::Rect SpinBox::arrow_rect(int direction) const {
    const platform::Rect inside = inside_rect();
    const int width = std::min(ScrollBarWidth, inside.width() / 2);
    const int middle = inside.top + inside.height() / 2;
    return direction == 1 ? platform::Rect{inside.right - width, inside.top, inside.right, middle}
                          : platform::Rect{inside.right - width, middle, inside.right, inside.bottom};
}

platform::Rect SpinBox::edit_rect() const {
    const platform::Rect inside = inside_rect();
    return {inside.left + 1, inside.top, arrow_rect(1).left - 1, inside.bottom};
}

void SpinBox::display() {
    if (!m_binding.has_variable())
        return;
    m_editor.set_limit(TypingLimit(m_binding.variable, m_picture.compiled()));
    m_editor.set_text(FormattedValue(m_binding.variable, m_picture.compiled()));
    if (has_focus())
        m_editor.select_all();
    invalidate();
}

bool SpinBox::update() {
    if (!m_binding.has_variable() || !m_editor.modified())
        return false;
    const std::vector<uint8_t> before = VariableBytes(m_binding.variable);
    DeformatInto(m_binding.variable, m_editor.text(), m_picture.compiled());
    m_editor.clear_modified();
    return VariableBytes(m_binding.variable) != before;
}

bool SpinBox::take_typed_text() {
    if (!update())
        return false;
    post(Event::Accepted);
    return true;
}

void SpinBox::set_text(std::string_view text) {
    // As if typed: taken into the variable by the next step or when the focus leaves.
    m_editor.type_over(text);
    invalidate();
}

void SpinBox::step(int direction) {
    if (!m_binding.has_variable())
        return;
    const BoundVariable& variable = m_binding.variable;
    take_typed_text();
    const std::vector<uint8_t> before = VariableBytes(variable);
    if (!list_mode()) {
        const double value = VariableNumber(variable);
        double next = direction == 1 ? value + m_step : value - m_step;
        if (m_low != 0.0 || m_high != 0.0) {
            if (next > m_high)
                next = m_high;
            else if (next <= m_low)
                next = m_low;
        }
        if (next != value)
            SetVariableNumber(variable, next);
    } else if (const ChoiceList list = choices(); !list.empty()) {
        int32_t move = direction == 1 ? -1 : 1;
        if (const uint32_t bits = m_attributes & 0x3; bits == 1 || bits == 2)
            move = -move;
        const int32_t index = list.find(VariableText(variable));
        const int32_t next = std::clamp(index + move, 0, list.size() - 1);
        if (next != index)
            SetVariableText(variable, list.value(next));
    }
    const bool changed = VariableBytes(variable) != before;
    if (changed)
        display();
    m_editor.select_all();
    invalidate();
    if (changed)
        post(Event::NewSelection);
}

void SpinBox::press_arrow(int direction) {
    m_held = direction;
    m_held_inside = true;
    platform::set_capture(m_handle);
    invalidate();
    step(direction);
    platform::set_timer(m_handle, RepeatTimer, std::chrono::milliseconds(m_delay_ms));
}

void SpinBox::release_arrow() {
    if (m_held == 0 && !m_selecting)
        return;
    m_held = 0;
    m_selecting = false;
    platform::kill_timer(m_handle, RepeatTimer);
    invalidate();
}

bool SpinBox::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    switch (virtual_key) {
    case platform::VkUp:
    case platform::VkDown:
        return modifiers == 0;
    case platform::VkLeft:
    case platform::VkRight:
    case platform::VkHome:
    case platform::VkEnd:
    case platform::VkBack:
    case platform::VkDelete:
        return (modifiers & AltKeyBit) == 0;
    default:
        return false;
    }
}

bool SpinBox::handle_message(const platform::Message& message, intptr_t& result) {
    result = 0;
    switch (message.number) {
    case platform::MsgSetFocus:
        Control::handle_message(message, result);
        m_editor.select_all();
        return true;
    case platform::MsgKillFocus:
        release_arrow();
        take_typed_text();
        display();
        return Control::handle_message(message, result);
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick: {
        // A click focuses the control even when Tab passes it by.
        if (!has_focus())
            focus();
        const platform::Point point = point_of(message);
        for (const int direction : {1, 2})
            if (arrow_rect(direction).contains(point)) {
                if (effectively_enabled())
                    press_arrow(direction);
                return true;
            }
        if (const auto font = this->font(); font && edit_rect().contains(point)) {
            if (message.number == platform::MsgLButtonDoubleClick) {
                m_editor.select_all();
            } else {
                m_editor.press(point.x, (message.wparam & platform::MouseShift) != 0, *font);
                m_selecting = true;
                platform::set_capture(m_handle);
            }
            invalidate();
        }
        return true;
    }
    case platform::MsgMouseMove:
        if (m_held != 0) {
            const bool inside = arrow_rect(m_held).contains(point_of(message));
            if (inside != m_held_inside) {
                m_held_inside = inside;
                invalidate();
            }
        } else if (m_selecting) {
            if (const auto font = this->font()) {
                m_editor.drag(point_of(message).x, *font);
                invalidate();
            }
        }
        return true;
    case platform::MsgLButtonUp:
        if (m_held != 0 || m_selecting) {
            release_arrow();
            platform::release_capture();
        }
        return true;
    case platform::MsgCaptureChanged:
        release_arrow();
        return true;
    case platform::MsgTimer:
        if (message.wparam != RepeatTimer)
            return false;
        if (m_held != 0 && m_held_inside)
            step(m_held);
        platform::set_timer(m_handle, RepeatTimer, std::chrono::milliseconds(m_repeat_ms));
        return true;
    case platform::MsgMouseWheel: {
        const auto delta = static_cast<int16_t>(static_cast<uint32_t>(message.wparam) >> 16);
        if (delta != 0 && effectively_enabled())
            step(delta > 0 ? 1 : 2);
        return true;
    }
    case platform::MsgKeyDown: {
        const uint32_t modifiers = ModifiersOf(message);
        if ((message.wparam == platform::VkUp || message.wparam == platform::VkDown) && modifiers == 0) {
            step(message.wparam == platform::VkUp ? 1 : 2);
            return true;
        }
        if (!m_editor.key(static_cast<uint32_t>(message.wparam), modifiers))
            return false;
        break;
    }
    case platform::MsgChar:
        if (!m_editor.character(static_cast<uint8_t>(message.wparam)))
            return false;
        break;
    default:
        return Control::handle_message(message, result);
    }
    // The edit part changed (or its caret moved).
    if (has_attribute(AttrImmediate) && m_editor.modified() && update())
        post(Event::NewSelection);
    invalidate();
    return true;
}

void SpinBox::paint(painter::Painter& painter) {
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    if (all.width() < 6 || all.height() < 6)
        return;
    const bool enabled = effectively_enabled();
    DrawFieldFrame(painter, all, FieldBackground(m_colours.colour, enabled));
    DrawArrowButton(painter, arrow_rect(1), ArrowDirection::Up, m_held == 1 && m_held_inside, enabled);
    DrawArrowButton(painter, arrow_rect(2), ArrowDirection::Down, m_held == 2 && m_held_inside, enabled);
    if (const auto font = this->font())
        m_editor.paint(painter, edit_rect(), *font, text_colour(), has_focus(), enabled, m_justification);
}

std::optional<std::string> SpinBox::get_property(uint32_t number) {
    switch (number) {
    case Prop::RangeLow:
        return list_mode() ? std::string() : NumberText(m_low);
    case Prop::RangeHigh:
        return list_mode() ? std::string() : NumberText(m_high);
    case Prop::Step:
        return NumberText(m_step);
    case Prop::Delay:
        return std::to_string(m_delay_ms / 10);
    case Prop::Repeat:
        return std::to_string(m_repeat_ms / 10);
    case Prop::Picture:
        return m_picture.text();
    case Prop::ChoiceCount:
        return std::to_string(list_mode() ? choices().size() : 0);
    case Prop::ScreenText:
        return m_editor.text();
    default:
        return Control::get_property(number);
    }
}

bool SpinBox::set_property(uint32_t number, int32_t index, std::string_view value) {
    switch (number) {
    case Prop::RangeLow:
        m_low = NumberOfText(value);
        return true;
    case Prop::RangeHigh:
        m_high = NumberOfText(value);
        return true;
    case Prop::Step:
        m_step = NumberOfText(value);
        if (m_step == 0.0)
            m_step = 1.0;
        return true;
    case Prop::Delay:
        m_delay_ms = time_of(value, DefaultDelay);
        return true;
    case Prop::Repeat:
        m_repeat_ms = time_of(value, DefaultRepeat);
        return true;
    case Prop::Picture:
        m_picture.set(value);
        display();
        return true;
    default:
        return Control::set_property(number, index, value);
    }
}

} // namespace morvex

#include "window/combo_box.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/property_numbers.h"

namespace morvex {

namespace {

platform::Point point_of(const platform::Message& message) {
    return {platform::LowWordSigned(message.lparam), platform::HighWordSigned(message.lparam)};
}

} // namespace

ComboBox::ComboBox(Window& window, const ControlDefinition& definition)
    : DropList(window, definition), m_picture(definition.picture) {}

void ComboBox::display() {
    if (!m_binding.has_variable())
        return;
    m_editor.set_limit(TypingLimit(m_binding.variable, m_picture.compiled()));
    m_editor.set_text(FormattedValue(m_binding.variable, m_picture.compiled()));
    if (has_focus())
        m_editor.select_all();
    invalidate();
}

bool ComboBox::update() {
    if (!m_binding.has_variable() || !m_editor.modified())
        return false;
    const std::vector<uint8_t> before = VariableBytes(m_binding.variable);
    DeformatInto(m_binding.variable, m_editor.text(), m_picture.compiled());
    m_editor.clear_modified();
    return VariableBytes(m_binding.variable) != before;
}

void ComboBox::value_chosen() {
    if (m_binding.has_variable()) {
        display();
    } else {
        m_editor.set_text(choices().shown(selected(), m_entry_picture.compiled()));
    }
    m_editor.select_all();
}

std::string ComboBox::current_value() const {
    if (m_editor.modified())
        return DeformattedText(m_editor.text(), m_picture.compiled());
    return DropList::current_value();
}

void ComboBox::set_text(std::string_view text) {
    m_editor.type_over(text);
    invalidate();
}

bool ComboBox::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    if (DropList::wants_key(virtual_key, modifiers))
        return true;
    switch (virtual_key) {
    case platform::VkLeft:
    case platform::VkRight:
    case platform::VkBack:
    case platform::VkDelete:
        return (modifiers & AltKeyBit) == 0;
    default:
        return false;
    }
}

bool ComboBox::handle_message(const platform::Message& message, intptr_t& result) {
    result = 0;
    switch (message.number) {
    case platform::MsgSetFocus:
        Control::handle_message(message, result);
        m_editor.select_all();
        return true;
    case platform::MsgKillFocus:
        close_list(Close::Cancel);
        if (update())
            post(Event::Accepted);
        display();
        return Control::handle_message(message, result);
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick:
        if (!dropped() && field_rect().contains(point_of(message))) {
            // A click focuses the control even when Tab passes it by.
            if (!has_focus())
                focus();
            if (const auto font = this->font()) {
                if (message.number == platform::MsgLButtonDoubleClick) {
                    m_editor.select_all();
                } else {
                    m_editor.press(point_of(message).x, (message.wparam & platform::MouseShift) != 0, *font);
                    m_selecting = true;
                    platform::set_capture(m_handle);
                }
            }
            invalidate();
            return true;
        }
        break;
    case platform::MsgMouseMove:
        if (m_selecting) {
            if (const auto font = this->font())
                m_editor.drag(point_of(message).x, *font);
            invalidate();
            return true;
        }
        break;
    case platform::MsgLButtonUp:
        if (m_selecting) {
            m_selecting = false;
            platform::release_capture();
            return true;
        }
        break;
    case platform::MsgCaptureChanged:
        m_selecting = false;
        break;
    default:
        break;
    }
    if (DropList::handle_message(message, result))
        return true;
    // What the list did not take goes to the edit part.
    if (message.number == platform::MsgKeyDown) {
        if (!m_editor.key(static_cast<uint32_t>(message.wparam), ModifiersOf(message)))
            return false;
    } else if (message.number == platform::MsgChar) {
        if (!m_editor.character(static_cast<uint8_t>(message.wparam)))
            return false;
    } else {
        return false;
    }
    invalidate();
    return true;
}

void ComboBox::paint(painter::Painter& painter) {
    DropList::paint(painter);
    if (const auto font = this->font()) {
        const platform::Rect field = field_rect();
        m_editor.paint(painter, {field.left + 1, field.top, field.right, field.bottom}, *font, text_colour(),
                       has_focus() && !dropped(), effectively_enabled(), m_justification);
    }
}

std::optional<std::string> ComboBox::get_property(uint32_t number) {
    if (number == Prop::Picture)
        return m_picture.text();
    return DropList::get_property(number);
}

bool ComboBox::set_property(uint32_t number, int32_t index, std::string_view value) {
    if (number == Prop::Picture) {
        m_picture.set(value);
        display();
        return true;
    }
    return DropList::set_property(number, index, value);
}

} // namespace morvex

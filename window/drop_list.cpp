#include "window/drop_list.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "window/accept.h"
#include "window/control_drawing.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>

namespace morvex {

namespace {

constexpr uint32_t VkF4 = platform::VkF1 + 3;

// Rows of a dropped list whose record gives no drop count.
constexpr int DefaultDropRows = 8;

platform::Point point_of(const platform::Message& message) {
    return {platform::LowWordSigned(message.lparam), platform::HighWordSigned(message.lparam)};
}

int wheel_notches(const platform::Message& message) {
    return static_cast<int16_t>(static_cast<uint32_t>(message.wparam) >> 16) / 120;
}

// The picture of the list format's first column: "80L@s20@" gives "s20".
std::string_view first_picture(const std::optional<std::string>& format) {
    if (!format)
        return {};
    const std::size_t open = format->find('@');
    if (open == std::string::npos)
        return {};
    const std::size_t close = format->find('@', open + 1);
    return close == std::string::npos ? std::string_view{}
                                      : std::string_view(*format).substr(open + 1, close - open - 1);
}

} // namespace

DropList::DropList(Window& window, const ControlDefinition& definition)
    : Control(window, definition), m_entry_picture(first_picture(definition.list_format)) {}

DropList::~DropList() = default;

platform::Rect DropList::inside_rect() const {
    return {2, 2, m_rect.width() - 2, m_rect.height() - 2};
}

platform::Rect DropList::button_rect() const {
    const platform::Rect inside = inside_rect();
    return {inside.right - std::min(ScrollBarWidth, inside.width() / 2), inside.top, inside.right,
            inside.bottom};
}

platform::Rect DropList::field_rect() const {
    const platform::Rect inside = inside_rect();
    return {inside.left + 1, inside.top + 1, button_rect().left - 1, inside.bottom - 1};
}

std::vector<std::string> DropList::shown_entries() const {
    const ChoiceList list = choices();
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(list.size()));
    for (int32_t i = 0; i < list.size(); ++i)
        entries.push_back(list.shown(i, m_entry_picture.compiled()));
    return entries;
}

std::string DropList::current_value() const {
    return VariableText(m_binding.variable);
}

int32_t DropList::selected() const {
    const ChoiceList list = choices();
    if (m_binding.has_variable())
        return list.find(current_value());
    return m_own_choice < list.size() ? m_own_choice : -1;
}

std::string DropList::field_text() const {
    if (m_binding.has_variable())
        return FormattedValue(m_binding.variable, m_entry_picture.compiled());
    return choices().shown(selected(), m_entry_picture.compiled());
}

bool DropList::choose(int32_t index, bool with_events) {
    const ChoiceList list = choices();
    if (index < 0 || index >= list.size())
        return false;
    bool changed;
    if (m_binding.has_variable()) {
        const std::vector<uint8_t> before = VariableBytes(m_binding.variable);
        SetVariableText(m_binding.variable, list.value(index));
        changed = VariableBytes(m_binding.variable) != before;
    } else {
        changed = m_own_choice != index;
        m_own_choice = index;
    }
    if (!changed)
        return false;
    value_chosen();
    invalidate();
    if (with_events) {
        post(Event::NewSelection);
        post(Event::Accepted);
    }
    return true;
}

void DropList::drop() {
    if (m_popup || !effectively_enabled())
        return;
    // The procedure hears of it first, and may fill the queue or refuse.
    if (is_event_source() && DeliverNow(m_window, Event::DroppingDown, m_feq) == LoopOutcome::Cycled) {
        m_tracking = false;
        return;
    }
    if (m_handle == 0 || !m_window.IsOpen())
        return;
    auto popup = std::make_unique<PopupList>(shown_entries(), selected(), font());
    const int rows = m_definition.drop_count ? m_definition.drop_count : DefaultDropRows;
    const int width = m_window.to_pixels_x(static_cast<int32_t>(m_definition.number(wdf::Field::DropWidth)));
    if (!popup->open(platform::top_level_of(m_window.handle()), platform::screen_rect(m_handle), rows,
                     width)) {
        m_tracking = false;
        return;
    }
    m_popup = std::move(popup);
    // The control keeps the mouse while the list is down: a click anywhere
    // comes here, and one outside the list closes it.
    platform::set_capture(m_handle);
    invalidate();
    post(Event::DroppedDown);
}

void DropList::close_list(Close how) {
    if (!m_popup)
        return;
    const int32_t highlighted = m_popup->highlighted();
    m_popup.reset();
    m_tracking = false;
    if (platform::capture_window() == m_handle)
        platform::release_capture();
    invalidate();
    if (how == Close::Choose)
        choose(highlighted, true);
}

bool DropList::step_key(uint32_t virtual_key) {
    const int32_t count = choices().size();
    const int32_t at = selected();
    switch (virtual_key) {
    case platform::VkUp:
        choose(std::max(at - 1, 0), true);
        return true;
    case platform::VkDown:
        choose(std::min(at + 1, count - 1), true);
        return true;
    case platform::VkHome:
        if (has_edit_part())
            return false;
        choose(0, true);
        return true;
    case platform::VkEnd:
        if (has_edit_part())
            return false;
        choose(count - 1, true);
        return true;
    default:
        return false;
    }
}

bool DropList::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    if (virtual_key == VkF4)
        return modifiers == 0;
    if (modifiers == AltKeyBit)
        return virtual_key == platform::VkUp || virtual_key == platform::VkDown;
    if (modifiers != 0)
        return false;
    switch (virtual_key) {
    case platform::VkUp:
    case platform::VkDown:
    case platform::VkHome:
    case platform::VkEnd:
        return true;
    case platform::VkReturn:
    case platform::VkEscape:
    case platform::VkPrior:
    case platform::VkNext:
        return dropped();
    default:
        return false;
    }
}

bool DropList::handle_dropped(const platform::Message& message, intptr_t& result) {
    result = 0;
    switch (message.number) {
    case platform::MsgKeyDown:
    case platform::MsgSysKeyDown: {
        const auto key = static_cast<uint32_t>(message.wparam);
        const uint32_t modifiers = ModifiersOf(message);
        if (key == platform::VkEscape)
            close_list(Close::Cancel);
        else if (key == platform::VkReturn || key == VkF4 ||
                 (modifiers == AltKeyBit && (key == platform::VkUp || key == platform::VkDown)))
            close_list(Close::Choose);
        else if (modifiers != 0 || !m_popup->key(key))
            return false;
        return true;
    }
    case platform::MsgChar:
        if (has_edit_part())
            return false;
        m_popup->jump_to(static_cast<char>(message.wparam));
        return true;
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick: {
        const platform::Point screen = platform::map_point(m_handle, 0, point_of(message));
        if (m_popup->press(screen) == PopupList::Hit::Outside) {
            close_list(Close::Cancel);
        } else if (m_popup->row_at(screen) >= 0) {
            m_tracking = true;
        }
        return true;
    }
    case platform::MsgMouseMove:
        m_popup->move(platform::map_point(m_handle, 0, point_of(message)));
        return true;
    case platform::MsgLButtonUp: {
        const platform::Point screen = platform::map_point(m_handle, 0, point_of(message));
        m_popup->release();
        const bool was_tracking = m_tracking;
        m_tracking = false;
        invalidate();
        // Released over a row after pressing on the control or a row: that row is chosen.
        if (was_tracking && m_popup->row_at(screen) >= 0)
            close_list(Close::Choose);
        return true;
    }
    case platform::MsgMouseWheel:
        m_popup->wheel(wheel_notches(message));
        return true;
    case platform::MsgCaptureChanged:
        if (static_cast<platform::WindowHandle>(message.lparam) != m_handle)
            close_list(Close::Cancel);
        return true;
    case platform::MsgKillFocus:
        close_list(Close::Cancel);
        return Control::handle_message(message, result);
    default:
        return false;
    }
}

bool DropList::handle_message(const platform::Message& message, intptr_t& result) {
    if (m_popup && handle_dropped(message, result))
        return true;
    result = 0;
    switch (message.number) {
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick: {
        // A click focuses the control even when Tab passes it by.
        if (!has_focus())
            focus();
        const platform::Point point = point_of(message);
        if (m_popup || !effectively_enabled())
            return true;
        if (button_rect().contains(point) || (!has_edit_part() && field_rect().contains(point))) {
            m_tracking = true;
            drop();
        }
        return true;
    }
    case platform::MsgLButtonUp:
        if (m_tracking) {
            m_tracking = false;
            invalidate();
        }
        return true;
    case platform::MsgMouseWheel:
        if (effectively_enabled() && has_focus())
            for (int notches = wheel_notches(message); notches != 0; notches += notches > 0 ? -1 : 1)
                step_key(notches > 0 ? platform::VkUp : platform::VkDown);
        return true;
    case platform::MsgKeyDown:
    case platform::MsgSysKeyDown: {
        const auto key = static_cast<uint32_t>(message.wparam);
        const uint32_t modifiers = ModifiersOf(message);
        if ((key == VkF4 && modifiers == 0) ||
            (modifiers == AltKeyBit && (key == platform::VkUp || key == platform::VkDown))) {
            drop();
            return true;
        }
        return modifiers == 0 && step_key(key);
    }
    case platform::MsgChar: {
        if (has_edit_part())
            return false;
        // A typed letter selects the next entry that starts with it.
        choose(NextEntryStartingWith(shown_entries(), selected(), static_cast<char>(message.wparam)), true);
        return true;
    }
    default:
        return Control::handle_message(message, result);
    }
}

void DropList::paint(painter::Painter& painter) {
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    if (all.width() < 6 || all.height() < 6)
        return;
    const bool enabled = effectively_enabled();
    DrawFieldFrame(painter, all, FieldBackground(m_colours.colour, enabled));
    DrawArrowButton(painter, button_rect(), ArrowDirection::Down, m_tracking, enabled);
    if (has_edit_part())
        return;
    const std::shared_ptr<painter::Font> font = this->font();
    if (!font)
        return;
    const platform::Rect field = field_rect();
    const bool focused = has_focus() && enabled;
    using painter::SystemColor;
    if (focused)
        painter.fill_rect(field, painter::system_color(SystemColor::Highlight));
    painter::TextFormat format;
    format.single_line = true;
    format.vertical = painter::VerticalAlign::Center;
    const painter::Color colour = !enabled  ? painter::system_color(SystemColor::GrayText)
                                  : focused ? painter::system_color(SystemColor::HighlightText)
                                            : text_colour();
    painter.draw_text({field.left + 2, field.top, field.right - 1, field.bottom}, field_text(), *font, colour,
                      format);
    if (focused)
        DrawFocus(painter, field);
}

std::optional<std::string> DropList::get_property(uint32_t number) {
    switch (number) {
    case Prop::Selection:
        return std::to_string(selected() + 1);
    case Prop::ChoiceCount:
        return std::to_string(choices().size());
    case Prop::ScreenText:
        return field_text();
    default:
        return Control::get_property(number);
    }
}

bool DropList::set_property(uint32_t number, int32_t index, std::string_view value) {
    if (number == Prop::Selection) {
        choose(static_cast<int32_t>(NumberValue(value)) - 1, false);
        return true;
    }
    return Control::set_property(number, index, value);
}

std::unique_ptr<Control> CreateDropList(const ControlDefinition& definition, Window& window) {
    if (definition.type == wdf::ListControl && definition.drop_count == 0)
        return nullptr;
    return std::make_unique<DropList>(window, definition);
}

} // namespace morvex

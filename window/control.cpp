#include "window/control.h"

#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/window_paint.h"
#include "platform/windows.h"
#include "runtime/ascii_case.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"
#include "window/accept.h"
#include "window/application_frame.h"
#include "window/definition_services.h"
#include "window/image_cache.h"
#include "window/key_codes.h"
#include "window/keyboard.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/property_numbers.h"
#include "window/tool_tip.h"
#include "window/window.h"

#include <algorithm>
#include <mutex>
#include <set>

namespace morvex {

namespace {

// Flags of the common control base beyond the object base's, with the
// attribute bit behind each.
struct ControlFlag {
    uint16_t number;
    uint32_t bit;
};
constexpr ControlFlag ControlFlags[] = {
    {Prop::Default, AttrDefault}, {Prop::ReadOnly, AttrReadOnly}, {Prop::Transparent, AttrTransparent},
    {Prop::Flat, AttrFlat},       {Prop::InToolbar, AttrToolbar},
};

// Layout state bits answered by 0x7A19, 0x7A40 and 0x7A41.
constexpr uint16_t LayoutFullWidth = 0x10;
constexpr uint16_t LayoutFullHeight = 0x20;

void register_control_class(std::string_view name) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> registered;
    std::lock_guard lock(mutex);
    if (registered.count(name))
        return;
    platform::WindowClass window_class;
    window_class.name = std::string(name);
    window_class.procedure = Control::Dispatch;
    window_class.style = platform::ClassDoubleClicks;
    platform::register_window_class(window_class); // an existing class of that name is ours already
    registered.emplace(name);
}

} // namespace

Control::Control(Window& window, const ControlDefinition& definition)
    : m_window(window), m_definition(definition), m_feq(definition.feq), m_type(definition.type) {
    m_attributes = definition.attributes;
    m_rect = platform::Rect::FromSize(definition.x, definition.y, definition.width, definition.height);
    m_text = definition.text;
    m_font = definition.font;
    if (definition.colours)
        m_colours = *definition.colours;
    m_tip = definition.tip.value_or("");
    m_justification = definition.justification;
    m_indent = definition.indent;
    m_key = definition.number(wdf::Field::Value);
    if (definition.cursor.kind != ImageReference::Kind::None)
        m_cursor = ProgramImages().LoadCursor(definition.cursor);
}

Control::~Control() {
    destroy();
}

void Control::create(platform::WindowHandle parent) {
    const std::string_view name = class_name();
    if (name.empty() || m_handle != 0)
        return;
    register_control_class(name);
    platform::CreateWindowParams params;
    params.class_name = std::string(name);
    params.text = m_text;
    params.parent = parent;
    params.rect = m_rect;
    params.id = m_feq;
    params.user_data = this;
    // A control on a tab that is not selected (or on a disabled sheet) starts hidden (or disabled).
    params.style = (effectively_visible() ? platform::StyleVisible : 0u) |
                   (effectively_enabled() ? 0u : platform::StyleDisabled);
    m_handle = platform::create_window(params);
}

void Control::destroy() {
    if (m_handle == 0)
        return;
    const platform::WindowHandle handle = m_handle;
    m_handle = 0;
    platform::set_window_user_data(handle, nullptr);
    platform::destroy_window(handle);
}

void Control::set_rect(const platform::Rect& rect) {
    if (rect == m_rect)
        return;
    invalidate();
    m_rect = rect;
    if (m_handle)
        platform::move_window(m_handle, rect);
    invalidate();
}

void Control::invalidate() {
    if (!m_window.IsOpen())
        return;
    // A control outside the client area (the toolbar, controls on it)
    // repaints through its own parent.
    if (m_handle != 0)
        if (const platform::WindowHandle parent = platform::parent_window(m_handle);
            parent != 0 && parent != m_window.client_handle()) {
            platform::invalidate(parent, platform::window_rect(m_handle));
            return;
        }
    m_window.invalidate_client(m_rect);
}

bool Control::handle_message(const platform::Message& message, intptr_t& result) {
    switch (message.number) {
    case platform::MsgSetFocus:
        if (m_window.kind() == Window::Kind::MdiChild)
            if (ApplicationFrame* frame = ApplicationFrame::Active())
                frame->activate_child(&m_window);
        m_window.accept_state().focus_feq = m_feq;
        post(Event::Selected);
        invalidate();
        result = 0;
        return true;
    case platform::MsgKillFocus:
        invalidate();
        result = 0;
        return true;
    case platform::MsgLButtonDown:
    case platform::MsgRButtonDown:
        if (can_take_focus() && !has_focus())
            focus();
        return false;
    case platform::MsgMouseMove:
        m_window.show_cursor(cursor_shape());
        return false;
    default:
        return false;
    }
}

bool Control::can_take_focus() const {
    return m_handle != 0 && !m_rect.empty() && takes_focus() && effectively_visible() &&
           effectively_enabled() && !has_attribute(AttrSkip);
}

bool Control::wants_key(uint32_t, uint32_t) const {
    return false;
}

char Control::mnemonic() const {
    const std::string& text = m_text;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return AsciiUpper(text[i + 1]);
    }
    return 0;
}

void Control::activate_mnemonic() {
    if (can_take_focus())
        focus();
}

bool Control::has_focus() const {
    return m_handle != 0 && platform::focus_window() == m_handle;
}

void Control::focus() {
    if (m_handle)
        platform::set_focus(m_handle);
}

void Control::bind(const BoundVariable& variable) {
    m_binding.variable = variable;
    display();
}

void Control::bind(Queue& queue) {
    m_binding.queue = &queue;
    display();
}

void Control::Alert(uint32_t key_code) {
    if (!alerted(key_code))
        m_alerts.push_back(key_code & KeyCodeMask);
}

bool Control::alerted(uint32_t key_code) const {
    return std::find(m_alerts.begin(), m_alerts.end(), key_code & KeyCodeMask) != m_alerts.end();
}

void Control::select(int32_t, int32_t) {}

void Control::after_select(int32_t, int32_t) {}

void Control::post(uint16_t event) {
    if (!is_event_source() || !m_window.IsOpen())
        return;
    // The frame's toolbar works for the active MDI child that has none of its own.
    if (m_on_toolbar && m_window.kind() == Window::Kind::ApplicationFrame)
        if (Window* child = static_cast<ApplicationFrame&>(m_window).active_child();
            child && !child->has_toolbar()) {
            PostEvent(*child, event, m_feq);
            return;
        }
    PostEvent(m_window, event, m_feq);
}

bool Control::effectively_visible() const {
    if (hidden())
        return false;
    if (m_tab_owner != 0)
        if (const Control* tab = m_window.control(m_tab_owner); tab && tab != this)
            return tab->effectively_visible() && tab->shows_children();
    return true;
}

bool Control::effectively_enabled() const {
    if (disabled())
        return false;
    if (m_tab_owner != 0)
        if (const Control* tab = m_window.control(m_tab_owner); tab && tab != this)
            return tab->effectively_enabled();
    return true;
}

std::optional<std::string> Control::get_property(uint32_t number) {
    switch (number) {
    case Prop::ParentNumber:
        return std::to_string(m_tab_owner);
    case Prop::ChildIndex: {
        const auto& controls = m_window.controls();
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i].get() == this)
                return std::to_string(i + 1);
        return "0";
    }
    case Prop::LayoutBit1:
        return FlagText((m_layout_state & 1) != 0);
    case Prop::FullWidth:
        return FlagText((m_layout_state & LayoutFullWidth) != 0);
    case Prop::FullHeight:
        return FlagText((m_layout_state & LayoutFullHeight) != 0);
    case Prop::Center:
        return FlagText(m_justification == 2);
    case Prop::Left:
        return FlagText(m_justification == 0);
    case Prop::Decimal:
        return FlagText(m_justification == 3);
    case Prop::Right:
        return FlagText(m_justification == 1);
    case Prop::CenterOffset:
    case Prop::LeftOffset:
    case Prop::DecimalOffset:
    case Prop::RightOffset:
        return std::to_string(m_window.to_units_x(m_indent));
    case Prop::Cursor:
        return m_cursor_name;
    case Prop::Tip:
        return m_tip;
    case Prop::Msg:
        return m_message_text;
    case Prop::HelpText:
        return m_help_text;
    case Prop::Key:
        return std::to_string(m_key);
    case Prop::Value:
        return std::to_string(m_value_number);
    case Prop::Handle:
        return std::to_string(m_handle);
    case Prop::Visible:
        return FlagText(effectively_visible());
    case Prop::Enabled:
        return FlagText(effectively_enabled());
    case Prop::WindowProcedure:
        return std::to_string(reinterpret_cast<uintptr_t>(&Control::Dispatch));
    case Prop::ScreenText:
        return display_text();
    case Prop::TipShown:
        return FlagText(ToolTipShownFor(*this));
    case Prop::Color:
        return std::to_string(static_cast<int32_t>(m_colours.colour));
    case Prop::SelectedColor:
        return std::to_string(static_cast<int32_t>(m_colours.selected_text));
    case Prop::SelectedFillColor:
        return std::to_string(static_cast<int32_t>(m_colours.selected_background));
    default:
        break;
    }
    for (const ControlFlag& flag : ControlFlags)
        if (flag.number == number)
            return FlagText(has_attribute(flag.bit));
    return EngineObject::get_property(number);
}

std::optional<std::string> Control::get_indexed_property(uint32_t number, int32_t index) {
    if (number == Prop::Alert)
        return index >= 0 && static_cast<std::size_t>(index) < m_alerts.size()
                   ? std::to_string(m_alerts[static_cast<std::size_t>(index)])
                   : std::string("0");
    return EngineObject::get_indexed_property(number, index);
}

bool Control::set_property(uint32_t number, int32_t index, std::string_view value) {
    const auto justify = [&](uint8_t justification) {
        m_justification = justification;
        invalidate();
        return true;
    };
    switch (number) {
    case Prop::Width:
    case Prop::Height:
        if (NumberValue(value) == DefaultPosition) {
            m_layout_state |= number == Prop::Width ? LayoutFullWidth : LayoutFullHeight;
            return true;
        }
        break;
    case Prop::FullWidth:
    case Prop::FullHeight: {
        const uint16_t bit = number == Prop::FullWidth ? LayoutFullWidth : LayoutFullHeight;
        m_layout_state = FlagValue(value) ? (m_layout_state | bit) : (m_layout_state & ~bit);
        return true;
    }
    case Prop::Center:
    case Prop::CenterOffset:
        m_indent =
            number == Prop::CenterOffset ? m_window.to_pixels_x(static_cast<int32_t>(NumberValue(value))) : 0;
        return justify(2);
    case Prop::Left:
    case Prop::LeftOffset:
        m_indent =
            number == Prop::LeftOffset ? m_window.to_pixels_x(static_cast<int32_t>(NumberValue(value))) : 0;
        return justify(0);
    case Prop::Decimal:
    case Prop::DecimalOffset:
        m_indent = number == Prop::DecimalOffset
                       ? m_window.to_pixels_x(static_cast<int32_t>(NumberValue(value)))
                       : 0;
        return justify(3);
    case Prop::Right:
    case Prop::RightOffset:
        m_indent =
            number == Prop::RightOffset ? m_window.to_pixels_x(static_cast<int32_t>(NumberValue(value))) : 0;
        return justify(1);
    case Prop::Cursor:
        m_cursor_name = std::string(value);
        m_cursor = ProgramImages().LoadCursor(
            ImageReferenceOfName(m_cursor_name, ImageUse::Cursor, m_window.module()));
        return true;
    case Prop::Tip:
        m_tip = std::string(value);
        return true;
    case Prop::Msg:
        m_message_text = std::string(value);
        return true;
    case Prop::HelpText:
        m_help_text = std::string(value);
        return true;
    case Prop::Key:
        m_key = NumberValue(value);
        return true;
    case Prop::Alert: {
        const auto key = static_cast<uint32_t>(NumberValue(value)) & KeyCodeMask;
        // A numbered slot (not the last, which only adds) holds one key:
        // writing it replaces, and 0 removes, the key it held.
        if (index >= 0 && index < AddAlertSlot) {
            auto slot = std::find_if(m_alert_slots.begin(), m_alert_slots.end(),
                                     [index](const auto& s) { return s.first == index; });
            if (slot != m_alert_slots.end()) {
                std::erase(m_alerts, slot->second);
                m_alert_slots.erase(slot);
            }
            if (key != 0)
                m_alert_slots.emplace_back(index, key);
        }
        if (key != 0)
            Alert(key);
        return true;
    }
    case Prop::Value:
        m_value_number = NumberValue(value);
        return true;
    case Prop::Handle: {
        // Only a live platform window can stand in for the control's own.
        const auto handle = static_cast<platform::WindowHandle>(NumberValue(value));
        if (!platform::is_window(handle))
            FatalError(ErrInternal06, "CTLMAIN - invalid handle");
        if (handle != m_handle) {
            const platform::WindowHandle old = m_handle;
            platform::move_window(handle, m_rect);
            m_handle = handle;
            if (old)
                platform::destroy_window(old);
        }
        return true;
    }
    case Prop::ZOrder:
        if (m_handle)
            platform::bring_to_top(m_handle);
        return true;
    case Prop::Color:
        m_colours.colour = static_cast<uint32_t>(NumberValue(value));
        invalidate();
        return true;
    case Prop::SelectedColor:
        m_colours.selected_text = static_cast<uint32_t>(NumberValue(value));
        invalidate();
        return true;
    case Prop::SelectedFillColor:
        m_colours.selected_background = static_cast<uint32_t>(NumberValue(value));
        invalidate();
        return true;
    default:
        break;
    }
    for (const ControlFlag& flag : ControlFlags) {
        if (flag.number == number) {
            change_attribute(flag.bit, FlagValue(value));
            return true;
        }
    }
    return EngineObject::set_property(number, index, value);
}

std::shared_ptr<painter::Font> Control::font() const {
    if (m_font)
        if (auto own = FontOfDefinition(&*m_font))
            return own;
    return m_window.font();
}

painter::Color Control::text_colour(bool enabled) const {
    if (!enabled)
        return painter::system_color(painter::SystemColor::GrayText);
    if (m_font && m_font->colour != wdf::DefaultColour)
        if (const auto colour = painter::resolve_colorref(m_font->colour))
            return *colour;
    if (const auto& window_font = m_window.font_definition();
        window_font && window_font->colour != wdf::DefaultColour)
        if (const auto colour = painter::resolve_colorref(window_font->colour))
            return *colour;
    return painter::system_color(painter::SystemColor::ButtonText);
}

painter::Color Control::background_colour() const {
    if (m_colours.colour != wdf::DefaultColour)
        if (const auto colour = painter::resolve_colorref(m_colours.colour))
            return *colour;
    return m_window.background();
}

void Control::attributes_changed(uint32_t changed) {
    if (m_handle) {
        if (changed & AttrHidden)
            platform::show_window(m_handle, effectively_visible());
        if (changed & AttrDisabled)
            platform::enable_window(m_handle, effectively_enabled());
    }
    invalidate();
}

int32_t Control::pixel_geometry(int which) const {
    switch (which) {
    case 0:
        return m_rect.left;
    case 1:
        return m_rect.top;
    case 2:
        return m_rect.width();
    default:
        return m_rect.height();
    }
}

void Control::set_pixel_geometry(int which, int32_t pixels) {
    platform::Rect rect = m_rect;
    switch (which) {
    case 0:
        rect = platform::Rect::FromSize(pixels, rect.top, rect.width(), rect.height());
        break;
    case 1:
        rect = platform::Rect::FromSize(rect.left, pixels, rect.width(), rect.height());
        break;
    case 2:
        rect.right = rect.left + std::max(0, pixels);
        break;
    default:
        rect.bottom = rect.top + std::max(0, pixels);
        break;
    }
    set_rect(rect);
}

std::string Control::display_text() const {
    std::string result;
    result.reserve(m_text.size());
    for (std::size_t i = 0; i < m_text.size(); ++i) {
        if (m_text[i] == '&' && i + 1 < m_text.size())
            ++i;
        result.push_back(m_text[i]);
    }
    return result;
}

intptr_t Control::Dispatch(void* user_data, const platform::Message& message) {
    auto* self = static_cast<Control*>(user_data);
    if (self == nullptr)
        return platform::default_window_procedure(message);
    ObserveForToolTip(*self, message);
    if (message.number == platform::MsgPaint) {
        // Controls paint through their window's client area: the client
        // paints the background beneath, then each control on top.
        platform::PaintSession session(message.window);
        if (session.valid()) {
            painter::Painter painter(*session.pixels(), session.origin(), session.clip());
            self->paint(painter);
        }
        return 0;
    }
    if (message.number == platform::MsgDestroy) {
        if (self->m_handle == message.window)
            self->m_handle = 0;
        return 0;
    }
    if (HandleWindowKey(self->m_window, self, message))
        return 0;
    intptr_t result = 0;
    if (self->handle_message(message, result))
        return result;
    return platform::default_window_procedure(message);
}

} // namespace morvex

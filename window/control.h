// The common control base: what every control of a window has (its number,
// type, window, platform window, attributes, position, font, colours, cursor,
// kept texts, the variable bound to it) and the operations each member of
// the control family overrides: creation, drawing, input, display of the
// bound variable, taking the control's value into it, selection and its
// properties. Controls are created from their records through the control
// creator table (window/control_creators.h).
//
// A control with a window class gets a platform child window inside its
// window's client area (or its toolbar); drawn controls (images, shapes) are
// painted by the window beneath the child windows. Painting always goes
// through the window: invalidating a control repaints that part of the
// client area, so controls drawn over a wallpaper show it through.
#pragma once

#include "platform/cursor.h"
#include "platform/geometry.h"
#include "platform/message_queue.h"
#include "runtime/evaluator.h"
#include "window/engine_object.h"
#include "window/window_definition.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class Queue;
namespace painter {
class Painter;
struct Color;
} // namespace painter

// What a control is bound to: a variable (entries, spin boxes, check boxes,
// drop lists) and/or a queue (lists, drop lists, a spin box's choices).
struct ControlBinding {
    BoundVariable variable;
    Queue* queue = nullptr;
    bool has_variable() const { return variable.address != nullptr; }
};

class Control : public EngineObject {
public:
    Control(Window& window, const ControlDefinition& definition);
    ~Control() override;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // The engine's window class of the control ("MvxButton"), or empty for a
    // control drawn by its window.
    virtual std::string_view class_name() const = 0;
    // Creates the platform child window (if the control has a class) inside
    // `parent`. Called once when the window opens.
    virtual void create(platform::WindowHandle parent);
    // Destroys the platform window; the object stays until its window closes.
    void destroy();

    int32_t feq() const { return m_feq; }
    // Whether the control lives on the window's toolbar (whatever its number).
    bool on_toolbar() const { return m_on_toolbar; }
    void set_on_toolbar() { m_on_toolbar = true; }
    uint8_t type() const { return m_type; }
    Window& window() const { return m_window; }
    platform::WindowHandle handle() const { return m_handle; }
    const ControlDefinition& definition() const { return m_definition; }
    // The position in pixels in the client area (or the toolbar).
    platform::Rect rect() const { return m_rect; }
    void set_rect(const platform::Rect& rect);

    // Drawing in the control's own coordinates ((0,0) = its top-left corner).
    virtual void paint(painter::Painter& painter) = 0;
    // Repaints the control (through its window, so what lies beneath shows).
    void invalidate();

    // Input. The message is one of the control's platform window; true when
    // the control handled it (result in `result`).
    virtual bool handle_message(const platform::Message& message, intptr_t& result);
    // Whether the control takes the focus: shown, enabled, and of a kind that does.
    bool can_take_focus() const;
    virtual bool takes_focus() const { return true; }
    // Keys the control handles itself before the window's keyboard navigation
    // (Tab, Enter, Escape, arrows between controls) sees them.
    virtual bool wants_key(uint32_t virtual_key, uint32_t modifiers) const;
    // While true (a dropped list), every key goes to the control before the
    // window's own keys (button keys, alerts, menus) see it.
    virtual bool keeps_keys() const { return false; }
    // The mouse pointer over the control: the I-beam over text, else the arrow.
    virtual platform::MouseCursor cursor_shape() const {
        return takes_text() ? platform::MouseCursor::IBeam : platform::MouseCursor::Arrow;
    }
    // Whether typed characters are the control's text (entries, spin boxes):
    // then a letter is not a mnemonic without Alt.
    virtual bool takes_text() const { return false; }
    // The key code that presses the control (buttons), 0 = none.
    int64_t key() const { return m_key; }
    // Keys the control watches (EVENT:AlertKey when it has the focus).
    void Alert(uint32_t key_code);
    bool alerted(uint32_t key_code) const;
    // The mnemonic letter of the control's text ("&Today" gives 'T'), or 0.
    virtual char mnemonic() const;
    // The mnemonic was pressed: a button presses, a prompt focuses the next control.
    virtual void activate_mnemonic();
    bool has_focus() const;
    void focus();

    // The bound variable and queue.
    void bind(const BoundVariable& variable);
    void bind(Queue& queue);
    const ControlBinding& binding() const { return m_binding; }
    // DISPLAY: the control shows the variable's value.
    virtual void display() {}
    // UPDATE: the control's value goes into the variable; true when it changed.
    virtual bool update() { return false; }
    // Accept-all mode validates the control; false refuses (the focus goes to it).
    virtual bool validate() { return true; }
    // Whether accept-all mode generates EVENT:Accepted for the control.
    virtual bool accepts_in_accept_all() const { return false; }
    // SELECT(control, row, column): what the control selects, then what it
    // does after the focus has moved to it.
    virtual void select(int32_t row, int32_t column);
    virtual void after_select(int32_t row, int32_t column);

    // Posts an event for the control to its window (nothing when the control
    // is not an event source).
    void post(uint16_t event);

    bool hidden() const { return has_attribute(AttrHidden); }
    bool disabled() const { return has_attribute(AttrDisabled); }
    // Hidden or disabled through itself or a containing sheet or tab.
    virtual bool effectively_visible() const;
    virtual bool effectively_enabled() const;
    // Whether the controls on this one (a sheet's tab) are shown now.
    virtual bool shows_children() const { return true; }
    // The sheet tab the control belongs to (0 = none).
    int32_t tab_owner() const { return m_tab_owner; }
    void set_tab_owner(int32_t tab) { m_tab_owner = tab; }

    // Horizontal placement of text inside the control.
    uint8_t justification() const { return m_justification; }
    int32_t indent() const { return m_indent; }

    // EngineObject
    std::optional<std::string> get_property(uint32_t number) override;
    std::optional<std::string> get_indexed_property(uint32_t number, int32_t index) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;
    Window& owning_window() override { return m_window; }
    std::shared_ptr<painter::Font> font() const override;

    // Colours with the control's colour record applied.
    painter::Color text_colour(bool enabled = true) const;
    painter::Color background_colour() const;

    // The window class procedure shared by every control class (user data: the Control).
    static intptr_t Dispatch(void* user_data, const platform::Message& message);

protected:
    void attributes_changed(uint32_t changed) override;
    void appearance_changed() override { invalidate(); }
    int32_t pixel_geometry(int which) const override;
    void set_pixel_geometry(int which, int32_t pixels) override;
    uint8_t type_code() const override { return m_type; }
    int32_t own_number() const override { return m_feq; }
    // The text without its "&" mnemonic markers ("&&" stays one "&").
    std::string display_text() const;

    Window& m_window;
    ControlDefinition m_definition;
    int32_t m_feq;
    uint8_t m_type;
    bool m_on_toolbar = false;
    platform::WindowHandle m_handle = 0;
    platform::Rect m_rect;
    ControlBinding m_binding;
    uint8_t m_justification = 0;
    int32_t m_indent = 0;
    uint16_t m_layout_state = 0;
    std::string m_tip;
    std::string m_message_text;
    std::string m_help_text;
    int64_t m_key = 0;
    int64_t m_value_number = 0;
    uintptr_t m_cursor = 0;
    std::string m_cursor_name;
    int32_t m_tab_owner = 0;
    std::vector<uint32_t> m_alerts;
    // The numbered alert slots written so far (0-based slot, key).
    static constexpr int32_t AddAlertSlot = 254;
    std::vector<std::pair<int32_t, uint32_t>> m_alert_slots;
};

} // namespace morvex

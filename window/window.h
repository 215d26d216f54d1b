// The engine's window object: a window definition loaded from the program's
// resources, opened as a platform window with a caption and border drawn by
// the engine, a client area holding the controls, and the per-window accept
// state that the accept loop (window/accept.h) works on.
//
// A procedure uses it in the order the generated code would: Load the
// definition, Bind its variables to the controls, Open, ACCEPT, Close.
// Application frames and MDI children are kinds of window opened by
// window/frame.h; this class opens plain windows.
#pragma once

#include "platform/geometry.h"
#include "platform/message_queue.h"
#include "runtime/evaluator.h"
#include "window/control.h"
#include "window/engine_object.h"
#include "window/event_record.h"
#include "window/window_definition.h"
#include "window/window_registry.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class Queue;
class MenuBar;

// What one run of the accept loop's body reports.
enum class LoopOutcome {
    Completed, // the event took its normal course
    Cycled,    // the procedure refused it (a refused CloseWindow keeps the window open)
    Left,      // the procedure broke out of the loop
};
using LoopBody = std::function<LoopOutcome()>;

// A handler registered for an event and control (0 = any); true consumes the event.
using EventHandler = std::function<bool(const EventRecord& event)>;

class Window : public EngineObject {
public:
    enum class Kind { Plain, ApplicationFrame, MdiChild };

    Window();
    ~Window() override; // closes the window (a derived class closes it in its own destructor)
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Finds and reads the definition labelled `label` in the resource of
    // `procedure`; the program halts with 502 when no module holds it.
    void Load(std::string_view procedure, std::string_view label);
    // As Load, but false (nothing loaded) when the definition is missing.
    bool TryLoad(std::string_view procedure, std::string_view label);
    bool loaded() const { return m_loaded; }
    // A definition built in the program rather than read from a resource
    // (message boxes): control positions in pixels, `metrics` for the rest.
    void LoadDefinition(const WindowDefinition& window, std::vector<ControlDefinition> controls,
                        const UnitMetrics& metrics);

    // Binds a program variable or queue to a control (before or after Open).
    void Bind(int32_t control, const BoundVariable& variable);
    void Bind(int32_t control, Queue& queue);
    void Bind(int32_t control, int32_t& value);
    template <std::size_t N>
    void Bind(int32_t control, FixedText<N>& text) {
        Bind(control, BoundVariable{FieldType::String, text.bytes, static_cast<uint32_t>(N), 0, 1});
    }

    // Opens the window as its kind demands and builds its controls; EVENT:OpenWindow
    // (and EVENT:Sized) wait in its queue. `owner` is the window that opens it,
    // else the thread's current window. Runtime errors 535 (already open) and 529.
    virtual void Open(Window* owner = nullptr);
    // Destroys the platform window and the controls.
    void Close();
    bool IsOpen() const { return m_handle != 0; }

    Kind kind() const { return m_kind; }
    const WindowDefinition& definition() const { return m_definition; }
    // The definition as loaded, for a program that shapes a window before it
    // opens (its caption, its size, which controls show and what they say);
    // changes made after Open take no effect.
    WindowDefinition& definition_to_shape() { return m_definition; }
    std::vector<ControlDefinition>& controls_to_shape() { return m_control_definitions; }
    const std::string& procedure() const { return m_procedure; }
    const std::string& module() const { return m_module; }
    platform::WindowHandle handle() const { return m_handle; }
    platform::WindowHandle client_handle() const { return m_client; }
    // The runtime thread slot that opened the window (-1 when not open).
    int thread_slot() const { return m_thread_slot; }
    platform::ThreadKey platform_thread() const { return m_platform_thread; }
    Window* owner() const { return m_owner; }
    const std::vector<Window*>& owned() const { return m_owned; }

    // Controls, in record (tab) order; the toolbar and its controls follow.
    Control* control(int32_t feq) const;
    // CREATE: a control of `type` made at run time, hidden and without a
    // position until the program gives it one; its number (above every
    // other control's), or 0 when the type makes no control.
    int32_t CreateControl(uint8_t type);
    // DESTROY: removes a control and its binding; false when there is none.
    bool DestroyControl(int32_t feq);
    const std::vector<std::unique_ptr<Control>>& controls() const { return m_controls; }
    Control* focus_control() const;
    // The control under a point of the client area (drawn ones included), or nullptr.
    Control* control_at(platform::Point client_point) const;

    // DISPLAY and UPDATE over a range of control numbers (0, 0 = every control).
    void Display(int32_t first = 0, int32_t last = 0);
    void Update(int32_t first = 0, int32_t last = 0);

    // Registered event handlers see every event before the procedure.
    void RegisterHandler(uint16_t event, int32_t control, EventHandler handler);
    void UnregisterHandlers(uint16_t event, int32_t control);

    // Keys the window watches (EVENT:AlertKey, EVENT:PreAlert).
    void Alert(uint32_t key_code);
    bool alerted(uint32_t key_code) const;

    // Position units.
    int32_t to_pixels_x(int32_t units) const;
    int32_t to_pixels_y(int32_t units) const;
    int32_t to_units_x(int32_t pixels) const;
    int32_t to_units_y(int32_t pixels) const;
    const UnitMetrics& metrics() const { return m_metrics; }

    // The client area in top-level coordinates, and the frame's decoration sizes.
    platform::Rect client_rect_in_frame() const;
    bool has_caption() const;
    // Repaints part of the client area (client coordinates; nullopt = all of it).
    void invalidate_client(std::optional<platform::Rect> rect = std::nullopt);
    // Paints the client area's background, wallpaper and drawn controls.
    void paint_client(painter::Painter& painter, const platform::Rect& area);
    // Paints the caption bar and border.
    void paint_frame(painter::Painter& painter);
    // The background colour of the client area.
    painter::Color background() const;

    // The window's menu bar (nullptr when it has none).
    MenuBar* menu_bar() const { return m_menu_bar.get(); }
    // Opens the menu bar from the keyboard (title -1: the first) or by a
    // title's mnemonic; true when the window has a bar to open.
    bool open_menu_bar(int title);
    // Whether `use` is the number of one of the window's menu items.
    bool is_menu_use(int32_t use) const;
    bool has_toolbar() const { return m_toolbar_definition.has_value(); }
    // Whether the window shows the active caption (an MDI child: the frame's active child).
    bool is_shown_active() const;
    // The mouse pointer's shape while it is over the window.
    void show_cursor(platform::MouseCursor shape);
    // Moves the keyboard focus to a control (SELECT without accept-all).
    void focus(Control* control);
    // Tab order: the next (or previous) control that takes the focus after `from`.
    Control* next_focusable(Control* from, bool backwards) const;
    // Whether the focus is on a button (which then shows itself as the default one).
    bool focus_control_is_button() const {
        const Control* focus = focus_control();
        return focus && focus->type() == wdf::ButtonControl;
    }
    // The default button (attribute Default), or nullptr.
    Control* default_button() const;

    // EngineObject
    std::optional<std::string> get_property(uint32_t number) override;
    std::optional<std::string> get_indexed_property(uint32_t number, int32_t index) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;
    Window& owning_window() override { return *this; }
    std::shared_ptr<painter::Font> font() const override;

    // The accept state (window/accept.cpp).
    struct AcceptState {
        std::deque<EventRecord> queue;
        int closing = 0;             // 0 open, 1 a child was asked to close, 2 closing
        uint32_t timer_interval = 0; // hundredths of a second
        bool timer_pending = false;
        bool accept_all = false;
        std::size_t next_to_accept = 0;
        int32_t focus_feq = 0;    // remembered for EVENT:Selected
        int32_t selected_feq = 0; // the control of the last EVENT:Selected
        bool suspended = false;
        int sync_depth = 0;
        LoopBody* body = nullptr; // set while the accept loop runs
        bool loop_ended = false;
        bool body_running = false;
    };
    AcceptState& accept_state() { return m_accept; }

    // The window class procedures of frames and client areas (user data: the Window).
    static intptr_t DispatchFrame(void* user_data, const platform::Message& message);
    static intptr_t DispatchClient(void* user_data, const platform::Message& message);

protected:
    // The platform windows: the top-level (or child) frame and its client area.
    virtual platform::WindowHandle create_platform_window(Window* owner);
    void build_controls();
    void post_open_events();
    void attributes_changed(uint32_t changed) override;
    void appearance_changed() override;
    int32_t pixel_geometry(int which) const override;
    void set_pixel_geometry(int which, int32_t pixels) override;
    uint8_t type_code() const override { return m_definition.type; }
    int32_t own_number() const override { return 0; }
    void set_text(std::string_view text) override;

    intptr_t frame_message(const platform::Message& message);
    intptr_t client_message(const platform::Message& message);
    // The outer rectangle for a client size (top-level coordinates or screen).
    platform::Size frame_size_for_client(platform::Size client) const;
    int border_width() const;
    int caption_height() const;
    int toolbar_height() const;
    int menu_bar_height() const;
    platform::Rect menu_bar_rect() const;
    // Tracks the user through the menu bar from title `index`; a chosen item posts EVENT:Accepted.
    void track_menu_bar(int index, bool keyboard);
    // Places the client area and the toolbar inside the frame.
    void layout_frame();
    // The client size a definition asks for (its controls' extent when it leaves it open).
    platform::Size initial_client_size() const;
    platform::Rect close_box_rect() const;

    Kind m_kind = Kind::Plain;
    bool m_loaded = false;
    std::string m_procedure;
    std::string m_label;
    std::string m_module;
    WindowDefinition m_definition;
    std::vector<ControlDefinition> m_control_definitions;
    std::optional<ToolbarDefinition> m_toolbar_definition;
    UnitMetrics m_metrics;
    std::vector<std::pair<int32_t, ControlBinding>> m_bindings;

    platform::WindowHandle m_handle = 0;
    platform::WindowHandle m_client = 0;
    platform::WindowHandle m_toolbar = 0;
    platform::Size m_client_size;
    bool m_opening = false;
    platform::MouseCursor m_cursor_shape = platform::MouseCursor::Arrow;
    int m_thread_slot = -1;
    platform::ThreadKey m_platform_thread = 0;
    Window* m_owner = nullptr;
    bool m_owner_disabled = false;
    bool m_modal = false;
    std::vector<Window*> m_owned;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::unique_ptr<MenuBar> m_menu_bar;
    uintptr_t m_icon = 0;
    std::string m_icon_name;
    uintptr_t m_wallpaper = 0;
    bool m_active = false;
    std::vector<uint32_t> m_alerts;
    struct RegisteredHandler {
        uint16_t event;
        int32_t control;
        EventHandler handler;
    };
    std::vector<RegisteredHandler> m_handlers;
    AcceptState m_accept;
    // Caption dragging and the close box.
    bool m_dragging = false;
    platform::Point m_drag_offset;
    bool m_close_pressed = false;
    bool m_close_hot = false;

    friend class AcceptLoop;
    friend std::vector<Window::RegisteredHandler>& HandlersOf(Window& window);
};

} // namespace morvex

// Translation of X events into input for the platform's windows: keys to
// virtual key codes and Windows-1252 characters (through the input method
// when there is one), pointer buttons, moves and the wheel, close requests,
// focus, exposure and geometry changes. Runs on the X11 backend's event
// thread.
#pragma once

#include "platform/input_sink.h"
#include "platform/x11_atoms.h"

#include <X11/Xlib.h>
#include <unordered_map>
#include <unordered_set>

namespace morvex::platform {

// What the translator needs to know about the backend's windows.
class X11WindowLookup {
public:
    virtual ~X11WindowLookup() = default;
    // 0 when the X window is not (or no longer) a top-level window's.
    virtual WindowHandle handle_of(::Window window) = 0;
    // Records a geometry the server reports (screen coordinates); true when
    // the window layer must hear of it: it is new to it, and not older than
    // the window layer's own latest move of the window (event `serial`).
    virtual bool take_geometry(WindowHandle window, const Rect& screen_rect, unsigned long serial) = 0;
    // Records that the window gained or lost the X input focus; true when
    // the window layer must hear of it: the report is not older than the
    // backend's own latest request for the focus (event `serial`).
    virtual bool take_focus(WindowHandle window, bool focused, unsigned long serial) = 0;
    // The window was mapped or unmapped.
    virtual void mapped(WindowHandle window, bool mapped) = 0;
    // Events for the backend's own windows (selections, markers); true
    // when the event was one of them.
    virtual bool handle_own_event(const XEvent& event) = 0;
    // The server time of the latest input.
    virtual void input_time(Time time) = 0;
};

class X11InputMethod;

class X11EventTranslator {
public:
    // `input_method` may be nullptr: keys are then looked up without one.
    X11EventTranslator(Display* display, const X11Atoms& atoms, X11WindowLookup& windows, InputSink& input,
                       X11InputMethod* input_method);

    void handle(XEvent& event);

private:
    void key(XKeyEvent& event, bool down);
    void focus(const XFocusChangeEvent& event, WindowHandle window, bool focused);
    void release_held_keys();
    void button(const XButtonEvent& event, WindowHandle window, bool down);
    void motion(const XMotionEvent& event, WindowHandle window);
    void configure(const XConfigureEvent& event, WindowHandle window);

    Display* m_display;
    X11Atoms m_atoms;
    X11WindowLookup& m_windows;
    InputSink& m_input;
    X11InputMethod* m_input_method;
    // Keys reported down, by X key code: the release reports the same
    // virtual key even when the modifiers changed meanwhile, and losing the
    // focus releases them all so that no key stays stuck down.
    std::unordered_map<unsigned int, uint32_t> m_held_keys;
    // Keys whose press the input method took for itself (a dead key, a
    // compose sequence): their release is not reported either.
    std::unordered_set<unsigned int> m_consumed_keys;
    // Windows a window manager has put into a frame of its own.
    std::unordered_map<::Window, bool> m_reparented;
};

} // namespace morvex::platform

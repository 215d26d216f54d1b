// Translation of X events into input for the platform's windows: keys to
// virtual key codes and Windows-1252 characters, pointer buttons, moves and
// the wheel, close requests, focus, exposure and geometry changes. Runs on
// the X11 backend's event thread.
#pragma once

#include "platform/input_sink.h"

#include <X11/Xlib.h>
#include <unordered_map>

namespace morvex::platform {

struct X11Atoms {
    Atom wm_protocols = 0;
    Atom wm_delete_window = 0;
    Atom net_wm_name = 0;
    Atom utf8_string = 0;
};

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
};

class X11EventTranslator {
public:
    X11EventTranslator(Display* display, const X11Atoms& atoms, X11WindowLookup& windows, InputSink& input);

    void handle(XEvent& event);

private:
    void key(XKeyEvent& event, bool down);
    void release_held_keys();
    void button(const XButtonEvent& event, WindowHandle window, bool down);
    void motion(const XMotionEvent& event, WindowHandle window);
    void configure(const XConfigureEvent& event, WindowHandle window);

    Display* m_display;
    X11Atoms m_atoms;
    X11WindowLookup& m_windows;
    InputSink& m_input;
    // Keys reported down, by X key code: the release reports the same
    // virtual key even when the modifiers changed meanwhile, and losing the
    // focus releases them all so that no key stays stuck down.
    std::unordered_map<unsigned int, uint32_t> m_held_keys;
    // Windows a window manager has put into a frame of its own.
    std::unordered_map<::Window, bool> m_reparented;
};

} // namespace morvex::platform

// Keyboard input through the user's input method: an X input method (XIM)
// opened for the user's locale, one input context per top-level window,
// and lookups that give the text the keys make, so that dead keys and
// compose sequences type what they stand for (dead_acute then e types é).
// Without an input method server Xlib's own (local) one does the composing
// from the locale's Compose file.
//
// Used on the X11 backend's event thread only (opened before it starts,
// closed after it stopped), since an input method server talks to us over
// the same connection as the events.
#pragma once

#include <X11/Xlib.h>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace morvex::platform {

class X11InputMethod {
public:
    // Opens the input method that XMODIFIERS names, else Xlib's own, for
    // the LC_CTYPE locale of the environment (the C locale when Xlib does
    // not support that one). The process's own LC_CTYPE is put back
    // afterwards: the input method keeps the locale it was opened in, and
    // the rest of the program keeps classifying characters as before. Call
    // it while no other thread depends on the locale. nullptr when no input
    // method can be opened or none offers a style we can use.
    static std::unique_ptr<X11InputMethod> open(Display* display);
    ~X11InputMethod();
    X11InputMethod(const X11InputMethod&) = delete;
    X11InputMethod& operator=(const X11InputMethod&) = delete;

    // Makes the input context of a top-level window; returns the events the
    // input method needs to see in addition to the window's own (0: none,
    // or no context could be made).
    long add_window(::Window window);
    void remove_window(::Window window);
    void set_focus(::Window window, bool focused);

    // The text (UTF-8) a key press makes in its window's context, empty
    // when it makes none; nullopt when the window has no context (the
    // caller looks the key up without an input method).
    std::optional<std::string> lookup(XKeyEvent& event);

private:
    X11InputMethod(XIM im, XIMStyle style) : m_im(im), m_style(style) {}
    static void destroyed(XIM im, XPointer self, XPointer);

    XIM m_im;
    XIMStyle m_style;
    std::unordered_map<::Window, XIC> m_contexts;
};

} // namespace morvex::platform

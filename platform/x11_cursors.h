// The mouse cursor shapes under X11: X's standard font cursors (themed
// where the desktop has a cursor theme), each made once on first use and
// shared by every window of the backend.
#pragma once

#include "platform/cursor.h"

#include <X11/Xlib.h>
#include <array>
#include <mutex>

namespace morvex::platform {

// The X font cursor (XC_...) that stands for a shape.
unsigned int x11_font_cursor(MouseCursor shape);

class X11Cursors {
public:
    explicit X11Cursors(Display* display) : m_display(display) {}
    ~X11Cursors(); // frees the cursors; the display must still be open
    X11Cursors(const X11Cursors&) = delete;
    X11Cursors& operator=(const X11Cursors&) = delete;

    Cursor cursor(MouseCursor shape);

private:
    Display* m_display;
    std::mutex m_mutex;
    std::array<Cursor, MouseCursorCount> m_cursors{};
};

} // namespace morvex::platform

#include "platform/x11_cursors.h"

#include <X11/cursorfont.h>

namespace morvex::platform {

unsigned int x11_font_cursor(MouseCursor shape) {
    switch (shape) {
    case MouseCursor::Arrow:
        return XC_left_ptr;
    case MouseCursor::IBeam:
        return XC_xterm;
    case MouseCursor::Wait:
        return XC_watch;
    case MouseCursor::Cross:
        return XC_crosshair;
    case MouseCursor::SizeNS:
        return XC_sb_v_double_arrow;
    case MouseCursor::SizeWE:
        return XC_sb_h_double_arrow;
    // The cursor font has no diagonal double arrows; its corner cursors
    // (which cursor themes draw as them) are the usual stand-ins.
    case MouseCursor::SizeNWSE:
        return XC_bottom_right_corner;
    case MouseCursor::SizeNESW:
        return XC_bottom_left_corner;
    case MouseCursor::SizeAll:
        return XC_fleur;
    case MouseCursor::Hand:
        return XC_hand2;
    case MouseCursor::No:
        return XC_X_cursor;
    case MouseCursor::AppStarting:
        return XC_watch; // the font has no arrow with an hourglass
    }
    return XC_left_ptr;
}

X11Cursors::~X11Cursors() {
    for (Cursor cursor : m_cursors) {
        if (cursor != 0)
            XFreeCursor(m_display, cursor);
    }
}

Cursor X11Cursors::cursor(MouseCursor shape) {
    const auto index = static_cast<std::size_t>(shape);
    if (index >= m_cursors.size())
        return 0;
    std::lock_guard lock(m_mutex);
    if (m_cursors[index] == 0)
        m_cursors[index] = XCreateFontCursor(m_display, x11_font_cursor(shape));
    return m_cursors[index];
}

} // namespace morvex::platform

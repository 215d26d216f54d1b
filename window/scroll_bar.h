// A vertical scroll bar drawn inside a control (texts now, lists later): two
// arrow buttons, the track and a thumb sized to the visible part, in the
// classic look. The control owns the mouse: it asks which part a press hit,
// steps by lines or pages while the press lasts, and drags the thumb.
// Positions count in the control's own units (lines of text, rows).
#pragma once

#include "platform/geometry.h"
#include "window/painter/color.h"

namespace morvex {

namespace painter {
class Painter;
}

class ScrollBar {
public:
    static constexpr int Width = 16;

    enum class Part { None, LineUp, LineDown, PageUp, PageDown, Thumb };

    // `total` units of which `page` show at once, the first shown at `position`.
    void set_range(int total, int page);
    void set_position(int position);
    int position() const { return m_position; }
    int total() const { return m_total; }
    int page() const { return m_page; }
    int max_position() const { return m_total > m_page ? m_total - m_page : 0; }
    // Whether there is anything to scroll.
    bool scrolls() const { return m_total > m_page; }

    // Where the bar lies in the control's coordinates.
    void set_rect(const platform::Rect& rect) { m_rect = rect; }
    const platform::Rect& rect() const { return m_rect; }

    Part hit(platform::Point point) const;
    // A press on `part` (held: `pressed` draws it pushed in).
    void set_pressed(Part part) { m_pressed = part; }
    Part pressed() const { return m_pressed; }
    // The position that places the thumb's top at `thumb_top` (track pixels).
    int position_for_thumb(int thumb_top) const;
    platform::Rect thumb_rect() const;

    void paint(painter::Painter& painter, bool enabled) const;

private:
    int track_top() const { return m_rect.top + arrow_height(); }
    int track_bottom() const { return m_rect.bottom - arrow_height(); }
    int arrow_height() const;

    platform::Rect m_rect;
    int m_total = 0;
    int m_page = 0;
    int m_position = 0;
    Part m_pressed = Part::None;
};

} // namespace morvex

// A classic vertical scroll bar drawn inside a control (lists, texts, drop
// lists): two arrow buttons, the track and a thumb sized by the share of
// the content shown. The control keeps its position and asks where a point
// lies and where a dragged thumb puts the view.
#pragma once

#include "platform/geometry.h"

#include <cstdint>

namespace morvex {

namespace painter {
class Painter;
}

class ScrollBar {
public:
    enum class Part { None, UpArrow, DownArrow, PageUp, PageDown, Thumb };

    static constexpr int Width = 16;

    // The bar's rectangle, the content's size in rows, the rows shown and the
    // first row shown (0-based).
    void set(const platform::Rect& rect, int64_t total, int64_t visible, int64_t first);
    const platform::Rect& rect() const { return m_rect; }
    bool needed() const { return m_total > m_visible; }

    void paint(painter::Painter& painter, bool enabled) const;
    Part hit(platform::Point point) const;
    // Where the thumb lies along the track (pixels from the track's top) and how long it is.
    int thumb_offset() const;
    int thumb_length() const;
    // The first row a thumb dragged to `thumb_top` (track pixels) shows.
    int64_t first_for_thumb(int thumb_top) const;

    // A part shown pressed while the mouse holds it.
    void set_pressed(Part part) { m_pressed = part; }
    Part pressed() const { return m_pressed; }

private:
    int track_length() const;

    platform::Rect m_rect;
    int64_t m_total = 0;
    int64_t m_visible = 0;
    int64_t m_first = 0;
    Part m_pressed = Part::None;
};

} // namespace morvex

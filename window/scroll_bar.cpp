#include "window/scroll_bar.h"

#include "window/control_drawing.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <algorithm>

namespace morvex {

namespace {

using painter::system_color;
using painter::SystemColor;

constexpr int MinThumb = 8;
constexpr int ArrowSize = 4;

// The classic track: every other pixel in the highlight colour over the face.
void fill_track(painter::Painter& painter, const platform::Rect& rect, painter::Color a, painter::Color b) {
    painter.fill_rect(rect, b);
    const platform::Point origin = painter.origin();
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left + ((rect.left + y + origin.x + origin.y) & 1); x < rect.right; x += 2)
            painter.set_pixel({x, y}, a);
}

void draw_arrow_button(painter::Painter& painter, const platform::Rect& rect, ArrowDirection direction,
                       bool pressed, bool enabled) {
    painter.fill_rect(rect, system_color(SystemColor::ButtonFace));
    platform::Rect glyph = rect;
    if (pressed) {
        painter.draw_rect(rect, system_color(SystemColor::ButtonShadow));
        glyph = rect.offset(1, 1);
    } else {
        painter.draw_border(rect, painter::Border::RaisedDouble);
    }
    if (enabled) {
        DrawArrow(painter, glyph, direction, ArrowSize, system_color(SystemColor::ButtonText));
    } else {
        DrawArrow(painter, glyph.offset(1, 1), direction, ArrowSize,
                  system_color(SystemColor::ButtonHighlight));
        DrawArrow(painter, glyph, direction, ArrowSize, system_color(SystemColor::ButtonShadow));
    }
}

} // namespace

void ScrollBar::set_range(int total, int page) {
    m_total = std::max(0, total);
    m_page = std::max(1, page);
    set_position(m_position);
}

void ScrollBar::set_position(int position) {
    m_position = std::clamp(position, 0, max_position());
}

int ScrollBar::arrow_height() const {
    return std::min(Width, m_rect.height() / 2);
}

platform::Rect ScrollBar::thumb_rect() const {
    const int track = track_bottom() - track_top();
    if (!scrolls() || track < MinThumb)
        return {};
    const int height = std::clamp(static_cast<int>(int64_t{track} * m_page / m_total), MinThumb, track);
    const int top = track_top() + static_cast<int>(int64_t{track - height} * m_position / max_position());
    return {m_rect.left, top, m_rect.right, top + height};
}

int ScrollBar::position_for_thumb(int thumb_top) const {
    const platform::Rect thumb = thumb_rect();
    const int room = track_bottom() - track_top() - thumb.height();
    if (room <= 0)
        return m_position;
    const int offset = std::clamp(thumb_top - track_top(), 0, room);
    return static_cast<int>((int64_t{offset} * max_position() + room / 2) / room);
}

ScrollBar::Part ScrollBar::hit(platform::Point point) const {
    if (!m_rect.contains(point))
        return Part::None;
    if (point.y < track_top())
        return Part::LineUp;
    if (point.y >= track_bottom())
        return Part::LineDown;
    const platform::Rect thumb = thumb_rect();
    if (thumb.empty())
        return Part::None;
    if (point.y < thumb.top)
        return Part::PageUp;
    if (point.y >= thumb.bottom)
        return Part::PageDown;
    return Part::Thumb;
}

void ScrollBar::paint(painter::Painter& painter, bool enabled) const {
    if (m_rect.empty())
        return;
    const bool active = enabled && scrolls();
    const int arrow = arrow_height();
    draw_arrow_button(painter, {m_rect.left, m_rect.top, m_rect.right, m_rect.top + arrow},
                      ArrowDirection::Up, m_pressed == Part::LineUp, active);
    draw_arrow_button(painter, {m_rect.left, m_rect.bottom - arrow, m_rect.right, m_rect.bottom},
                      ArrowDirection::Down, m_pressed == Part::LineDown, active);
    const platform::Rect track{m_rect.left, track_top(), m_rect.right, track_bottom()};
    if (track.empty())
        return;
    fill_track(painter, track, system_color(SystemColor::ButtonHighlight),
               system_color(SystemColor::ButtonFace));
    if (!active)
        return;
    const platform::Rect thumb = thumb_rect();
    // The part of the track held down shows dark.
    if (m_pressed == Part::PageUp)
        painter.fill_rect({track.left, track.top, track.right, thumb.top},
                          system_color(SystemColor::DarkShadow));
    else if (m_pressed == Part::PageDown)
        painter.fill_rect({track.left, thumb.bottom, track.right, track.bottom},
                          system_color(SystemColor::DarkShadow));
    painter.fill_rect(thumb, system_color(SystemColor::ButtonFace));
    painter.draw_border(thumb, painter::Border::RaisedDouble);
}

} // namespace morvex

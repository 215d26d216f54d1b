#include "window/scroll_bar.h"

#include "window/control_drawing.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <algorithm>

namespace morvex {

namespace {
constexpr int MinimumThumb = 8;
}

void ScrollBar::set(const platform::Rect& rect, int64_t total, int64_t visible, int64_t first) {
    m_rect = rect;
    m_total = std::max<int64_t>(0, total);
    m_visible = std::max<int64_t>(1, visible);
    m_first = std::clamp<int64_t>(first, 0, std::max<int64_t>(0, m_total - m_visible));
}

int ScrollBar::track_length() const { return std::max(0, m_rect.height() - 2 * Width); }

int ScrollBar::thumb_length() const {
    const int track = track_length();
    if (!needed())
        return track;
    // 64-bit products: a list of a million rows still sizes its thumb.
    const int64_t length = static_cast<int64_t>(track) * m_visible / std::max<int64_t>(1, m_total);
    return static_cast<int>(std::clamp<int64_t>(length, std::min(MinimumThumb, track), track));
}

int ScrollBar::thumb_offset() const {
    const int64_t room = track_length() - thumb_length();
    const int64_t range = m_total - m_visible;
    if (room <= 0 || range <= 0)
        return 0;
    return static_cast<int>(room * m_first / range);
}

int64_t ScrollBar::first_for_thumb(int thumb_top) const {
    const int64_t room = track_length() - thumb_length();
    const int64_t range = m_total - m_visible;
    if (room <= 0 || range <= 0)
        return 0;
    const int64_t clamped = std::clamp<int64_t>(thumb_top, 0, room);
    return (clamped * range + room / 2) / room;
}

ScrollBar::Part ScrollBar::hit(platform::Point point) const {
    if (!m_rect.contains(point))
        return Part::None;
    const int y = point.y - m_rect.top;
    if (y < Width)
        return Part::UpArrow;
    if (y >= m_rect.height() - Width)
        return Part::DownArrow;
    if (!needed())
        return Part::None;
    const int thumb_top = Width + thumb_offset();
    if (y < thumb_top)
        return Part::PageUp;
    if (y >= thumb_top + thumb_length())
        return Part::PageDown;
    return Part::Thumb;
}

void ScrollBar::paint(painter::Painter& painter, bool enabled) const {
    using painter::SystemColor;
    const painter::Color face = painter::system_color(SystemColor::ButtonFace);
    // The track: a fine checker of face and highlight, as classic bars have.
    const platform::Rect track{m_rect.left, m_rect.top + Width, m_rect.right, m_rect.bottom - Width};
    const painter::Color light = painter::system_color(SystemColor::ButtonHighlight);
    for (int y = track.top; y < track.bottom; ++y)
        for (int x = track.left; x < track.right; ++x)
            painter.set_pixel({x, y}, ((x + y) & 1) ? light : face);
    const bool active = enabled && needed();
    const painter::Color arrow =
        painter::system_color(active ? SystemColor::ButtonText : SystemColor::GrayText);
    const platform::Rect up = platform::Rect::FromSize(m_rect.left, m_rect.top, m_rect.width(), Width);
    const platform::Rect down = platform::Rect::FromSize(m_rect.left, m_rect.bottom - Width, m_rect.width(), Width);
    const auto button = [&](const platform::Rect& r, Part part, ArrowDirection direction) {
        const bool pushed = m_pressed == part;
        DrawButtonFace(painter, r, pushed ? ButtonLook::Pressed : ButtonLook::Normal, face);
        DrawArrow(painter, pushed ? r.offset(1, 1) : r, direction, 4, arrow);
    };
    button(up, Part::UpArrow, ArrowDirection::Up);
    button(down, Part::DownArrow, ArrowDirection::Down);
    if (active) {
        const platform::Rect thumb =
            platform::Rect::FromSize(m_rect.left, track.top + thumb_offset(), m_rect.width(), thumb_length());
        DrawButtonFace(painter, thumb, ButtonLook::Normal, face);
    }
}

} // namespace morvex

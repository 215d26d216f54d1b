#include "window/painter/painter.h"

#include "window/painter/blend.h"

#include <algorithm>
#include <cstdlib>

namespace morvex::painter {

namespace {

Rect buffer_rect(const FrameBuffer& buffer) {
    return {0, 0, buffer.width(), buffer.height()};
}

// Rectangles in own coordinates can come from anywhere (a control far off
// screen); translating them must not overflow.
int add_clamped(int value, int offset) {
    const int64_t sum = int64_t{value} + offset;
    return static_cast<int>(std::clamp<int64_t>(sum, INT32_MIN / 2, INT32_MAX / 2));
}

} // namespace

Painter::Painter(FrameBuffer& target) : m_target(&target), m_clip(buffer_rect(target)) {}

Painter::Painter(FrameBuffer& target, Point origin, Rect clip)
    : m_target(&target), m_origin(origin), m_clip(clip.intersect(buffer_rect(target))) {}

Painter Painter::sub_painter(const Rect& area) const {
    Painter result = clipped_to(area);
    result.m_origin = {add_clamped(m_origin.x, area.left), add_clamped(m_origin.y, area.top)};
    return result;
}

Painter Painter::clipped_to(const Rect& area) const {
    Painter result = *this;
    result.m_clip = to_device(area);
    return result;
}

Rect Painter::to_device(const Rect& rect) const {
    const Rect moved{add_clamped(rect.left, m_origin.x), add_clamped(rect.top, m_origin.y),
                     add_clamped(rect.right, m_origin.x), add_clamped(rect.bottom, m_origin.y)};
    return moved.intersect(m_clip);
}

void Painter::fill_rect(const Rect& rect, Color color) {
    const Rect area = to_device(rect);
    const platform::Pixel pixel = color.pixel();
    for (int y = area.top; y < area.bottom; ++y)
        std::fill(m_target->row(y) + area.left, m_target->row(y) + area.right, pixel);
}

void Painter::set_pixel(Point point, Color color) {
    fill_rect({point.x, point.y, point.x + 1, point.y + 1}, color);
}

void Painter::draw_hline(int x, int y, int length, Color color) {
    if (length > 0)
        fill_rect({x, y, add_clamped(x, length), y + 1}, color);
}

void Painter::draw_vline(int x, int y, int length, Color color) {
    if (length > 0)
        fill_rect({x, y, x + 1, add_clamped(y, length)}, color);
}

void Painter::draw_line(Point from, Point to, Color color) {
    const int64_t dx = int64_t{to.x} - from.x;
    const int64_t dy = int64_t{to.y} - from.y;
    const bool x_major = std::llabs(dx) >= std::llabs(dy);
    const int64_t major_delta = x_major ? dx : dy;
    const int64_t minor_delta = x_major ? dy : dx;
    if (major_delta == 0) {
        set_pixel(from, color);
        return;
    }
    // Each pixel's minor coordinate comes straight from its major one, so the
    // walk can start where the line enters the clip rectangle.
    const Rect clip = clip_rect();
    const int64_t major_from = x_major ? from.x : from.y;
    const int64_t minor_from = x_major ? from.y : from.x;
    const int64_t major_step = major_delta > 0 ? 1 : -1;
    const int64_t minor_step = minor_delta > 0 ? 1 : -1;
    const int64_t abs_major = std::llabs(major_delta);
    const int64_t abs_minor = std::llabs(minor_delta);
    const int64_t clip_low = x_major ? clip.left : clip.top;
    const int64_t clip_high = (x_major ? clip.right : clip.bottom) - 1;
    int64_t first = std::max<int64_t>(0, major_step > 0 ? clip_low - major_from : major_from - clip_high);
    int64_t last =
        std::min<int64_t>(abs_major, major_step > 0 ? clip_high - major_from : major_from - clip_low);
    const platform::Pixel pixel = color.pixel();
    for (int64_t i = first; i <= last; ++i) {
        const int64_t major = major_from + i * major_step;
        const __int128 step = (__int128{2} * i * abs_minor + abs_major) / (__int128{2} * abs_major);
        const int64_t minor = minor_from + minor_step * static_cast<int64_t>(step);
        const int64_t x = (x_major ? major : minor) + m_origin.x;
        const int64_t y = (x_major ? minor : major) + m_origin.y;
        if (x >= m_clip.left && x < m_clip.right && y >= m_clip.top && y < m_clip.bottom)
            m_target->at(static_cast<int>(x), static_cast<int>(y)) = pixel;
    }
}

void Painter::draw_dotted_hline(int x, int y, int length, Color color) {
    const Rect area = to_device({x, y, add_clamped(x, std::max(length, 0)), y + 1});
    const platform::Pixel pixel = color.pixel();
    for (int px = area.left + ((area.left + area.top) & 1); px < area.right; px += 2)
        m_target->at(px, area.top) = pixel;
}

void Painter::draw_dotted_vline(int x, int y, int length, Color color) {
    const Rect area = to_device({x, y, x + 1, add_clamped(y, std::max(length, 0))});
    const platform::Pixel pixel = color.pixel();
    for (int py = area.top + ((area.left + area.top) & 1); py < area.bottom; py += 2)
        m_target->at(area.left, py) = pixel;
}

void Painter::draw_rect(const Rect& rect, Color color) {
    if (rect.empty())
        return;
    draw_hline(rect.left, rect.top, rect.width(), color);
    draw_hline(rect.left, rect.bottom - 1, rect.width(), color);
    draw_vline(rect.left, rect.top + 1, rect.height() - 2, color);
    draw_vline(rect.right - 1, rect.top + 1, rect.height() - 2, color);
}

void Painter::draw_dotted_rect(const Rect& rect, Color color) {
    if (rect.empty())
        return;
    draw_dotted_hline(rect.left, rect.top, rect.width(), color);
    draw_dotted_hline(rect.left, rect.bottom - 1, rect.width(), color);
    draw_dotted_vline(rect.left, rect.top + 1, rect.height() - 2, color);
    draw_dotted_vline(rect.right - 1, rect.top + 1, rect.height() - 2, color);
}

void Painter::draw_focus_rect(const Rect& rect) {
    if (rect.empty())
        return;
    // Each outline pixel once, so that a second call restores the first.
    const auto invert_dotted = [this](const Rect& line) {
        const Rect area = to_device(line);
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (((x + y) & 1) == 0)
                    m_target->at(x, y) ^= 0x00FFFFFF;
    };
    invert_dotted({rect.left, rect.top, rect.right, rect.top + 1});
    if (rect.height() > 1)
        invert_dotted({rect.left, rect.bottom - 1, rect.right, rect.bottom});
    if (rect.height() > 2) {
        invert_dotted({rect.left, rect.top + 1, rect.left + 1, rect.bottom - 1});
        if (rect.width() > 1)
            invert_dotted({rect.right - 1, rect.top + 1, rect.right, rect.bottom - 1});
    }
}

void Painter::invert_rect(const Rect& rect) {
    const Rect area = to_device(rect);
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            m_target->at(x, y) ^= 0x00FFFFFF;
}

void Painter::blend_coverage(int device_x, int device_y, const uint8_t* coverage, int width, int height,
                             int pitch, Color color) {
    const Rect area = Rect::FromSize(device_x, device_y, width, height).intersect(m_clip);
    const platform::Pixel pixel = color.pixel();
    for (int y = area.top; y < area.bottom; ++y) {
        const uint8_t* source = coverage + static_cast<std::ptrdiff_t>(y - device_y) * pitch;
        platform::Pixel* row = m_target->row(y);
        for (int x = area.left; x < area.right; ++x) {
            const uint8_t weight = source[x - device_x];
            if (weight)
                row[x] = blend_pixel(row[x], pixel, weight);
        }
    }
}

} // namespace morvex::painter

// Paint sessions: the invalid part of a window is taken and validated, the
// top-level window's buffer is locked for the session and what was painted
// is presented when it ends.
#include "platform/window_paint.h"

#include "platform/backend.h"
#include "platform/window_table.h"

#include <algorithm>
#include <optional>

namespace morvex::platform {

namespace {

// A session holds its surface's mutex from its start to its end: taken in
// the constructor and let go in the destructor, which the analysis, looking
// at one function at a time, cannot pair up.
FrameBuffer* hold_surface(WindowSurface& surface) MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    surface.mutex.lock();
    return &surface.pixels;
}

void let_go_of_surface(WindowSurface& surface) MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    surface.mutex.unlock();
}

} // namespace

PaintSession::PaintSession(WindowHandle window) : m_window(window) {
    WindowTable& table = window_table();
    Deferred deferred;
    std::optional<Pixel> background;
    Rect clip;
    {
        MutexLock lock(table.mutex);
        WindowRecord* record = table.find_live(window);
        if (!record || !table.visible_with_ancestors(*record))
            return;
        m_top_level = table.top_level_of(window);
        m_surface = table.find(m_top_level)->surface;
        m_origin = table.origin_in_top_level(*record);
        m_invalid = record->invalid;
        clip = table.clip_in_top_level(*record).intersect(m_invalid.offset(m_origin.x, m_origin.y));
        table.set_invalid(*record, Rect{}, deferred);
        background = record->window_class->background;
    }
    deferred.run();
    if (!m_surface)
        return;
    m_pixels = hold_surface(*m_surface);
    m_clip = clip.intersect(Rect::FromSize(0, 0, m_pixels->width(), m_pixels->height()));
    if (background)
        fill(m_invalid, *background);
}

PaintSession::~PaintSession() {
    if (!m_pixels)
        return;
    if (!m_clip.empty())
        backend().present(m_top_level, *m_pixels, m_clip);
    let_go_of_surface(*m_surface);
    if (m_clip.empty())
        return;
    // What this window just painted over must be painted again by the
    // windows above it, even those of other threads that painted first.
    WindowTable& table = window_table();
    Deferred deferred;
    {
        MutexLock lock(table.mutex);
        if (WindowRecord* record = table.find_live(m_window))
            table.invalidate_after(*record, m_clip, deferred);
    }
    deferred.run();
}

void PaintSession::fill(const Rect& rect, Pixel colour) {
    if (!m_pixels)
        return;
    const Rect area = rect.offset(m_origin.x, m_origin.y).intersect(m_clip);
    for (int y = area.top; y < area.bottom; ++y) {
        Pixel* row = m_pixels->row(y);
        std::fill(row + area.left, row + area.right, colour);
    }
}

void PaintSession::set_pixel(Point point, Pixel colour) {
    const Point at{point.x + m_origin.x, point.y + m_origin.y};
    if (m_pixels && m_clip.contains(at))
        m_pixels->at(at.x, at.y) = colour;
}

} // namespace morvex::platform

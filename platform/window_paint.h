// Painting a window. A window needs painting while part of it is invalid
// (platform/windows.h); its thread gets MsgPaint for it only when nothing
// else is waiting in its queue, parents before children and lower siblings
// before higher ones. The window procedure answers with a PaintSession: it
// takes the invalid part (validating it) and hands out the top-level
// window's frame buffer with the window's origin and clip. Ending the
// session shows what was painted through the backend and invalidates that
// area in the windows above (which matters when they belong to another
// thread and painted first).
#pragma once

#include "platform/frame_buffer.h"
#include "platform/geometry.h"
#include "platform/message_queue.h"

#include <memory>

namespace morvex::platform {

struct WindowSurface;

class PaintSession {
public:
    // Begins painting `window` on its own thread. The class background, if
    // any, is filled into the invalid part first. While the session lasts,
    // other threads painting the same top-level window wait.
    explicit PaintSession(WindowHandle window);
    ~PaintSession();
    PaintSession(const PaintSession&) = delete;
    PaintSession& operator=(const PaintSession&) = delete;

    // False when the window does not exist or is not visible; then there is
    // nothing to paint into.
    bool valid() const { return m_pixels != nullptr; }
    WindowHandle window() const { return m_window; }
    // The part that was invalid, in window coordinates.
    Rect invalid() const { return m_invalid; }

    // The top-level window's buffer. Window coordinate (x, y) is buffer
    // pixel (origin.x + x, origin.y + y); only pixels inside clip (buffer
    // coordinates: the window within all its ancestors) may be written.
    FrameBuffer* pixels() const { return m_pixels; }
    Point origin() const { return m_origin; }
    Rect clip() const { return m_clip; }

    // Fills a rectangle (window coordinates), clipped.
    void fill(const Rect& rect, Pixel colour);
    // Sets one pixel (window coordinates) when it lies inside the clip.
    void set_pixel(Point point, Pixel colour);

private:
    WindowHandle m_window = 0;
    WindowHandle m_top_level = 0;
    FrameBuffer* m_pixels = nullptr;
    Point m_origin;
    Rect m_clip;
    Rect m_invalid;
    std::shared_ptr<WindowSurface> m_surface;
};

} // namespace morvex::platform

// What shows top-level windows: the headless backend (frame buffers only) or
// the X11 backend (a real window each). The window layer calls the backend;
// a backend feeds input back through platform/input.h.
#pragma once

#include <memory>
#include <string_view>

#include "platform/frame_buffer.h"
#include "platform/geometry.h"
#include "platform/message_queue.h"

namespace morvex::platform {

class Backend {
public:
    virtual ~Backend() = default;

    // A top-level window came into being (hidden) with its screen rectangle
    // and caption (UTF-8).
    virtual void top_level_created(WindowHandle window, const Rect& screen_rect, std::string_view caption) = 0;
    virtual void top_level_destroyed(WindowHandle window) = 0;
    virtual void top_level_shown(WindowHandle window, bool visible) = 0;
    // The window layer moved or resized the window itself.
    virtual void top_level_moved(WindowHandle window, const Rect& screen_rect) = 0;
    virtual void top_level_caption(WindowHandle window, std::string_view caption) = 0;
    // Shows the part `dirty` (window coordinates) of the window's frame buffer.
    // Called on the thread that owns the window, after it painted.
    virtual void present(WindowHandle window, const FrameBuffer& pixels, const Rect& dirty) = 0;
    virtual void beep() = 0;
};

// The process's backend; the headless one until another is installed.
Backend& backend();
// Installs a backend (nullptr: back to a fresh headless one). Call before
// any top-level window exists.
void set_backend(std::unique_ptr<Backend> backend);

} // namespace morvex::platform

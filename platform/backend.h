// What shows top-level windows: the headless backend (frame buffers only) or
// the X11 backend (a real window each). The window layer calls the backend;
// a backend feeds input back through platform/input.h.
#pragma once

#include "platform/clipboard.h"
#include "platform/cursor.h"
#include "platform/frame_buffer.h"
#include "platform/geometry.h"
#include "platform/icon_image.h"
#include "platform/message_queue.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morvex::platform {

class Backend {
public:
    virtual ~Backend() = default;

    // A top-level window came into being (hidden) with its screen rectangle
    // and caption (UTF-8).
    virtual void top_level_created(WindowHandle window, const Rect& screen_rect,
                                   std::string_view caption) = 0;
    virtual void top_level_destroyed(WindowHandle window) = 0;
    virtual void top_level_shown(WindowHandle window, bool visible) = 0;
    // The window layer moved or resized the window itself.
    virtual void top_level_moved(WindowHandle window, const Rect& screen_rect) = 0;
    virtual void top_level_caption(WindowHandle window, std::string_view caption) = 0;
    // Shows the part `dirty` (window coordinates) of the window's frame buffer.
    // Called on the thread that owns the window, after it painted.
    virtual void present(WindowHandle window, const FrameBuffer& pixels, const Rect& dirty) = 0;
    virtual void beep() = 0;

    // What follows has a default that does nothing (or, for the clipboard,
    // keeps it in the process), so that a backend overrides what it shows.

    // The window layer made the top-level window the active one
    // (activate_window, or the focus moving into it): the backend brings it
    // to the front and gives it the keyboard. Not called when the backend's
    // own activation report made it active and it already is.
    virtual void top_level_activated(WindowHandle window);
    // The top-level window is a dialog of `owner` (0: of no window), which
    // stays above its owner. Called after top_level_created and before the
    // window is first shown.
    virtual void top_level_dialog(WindowHandle window, WindowHandle owner);
    // The icon the desktop shows for the window, at one or more sizes
    // (empty: none). Every image is valid().
    virtual void top_level_icon(WindowHandle window, std::span<const IconImage> images);
    // The mouse cursor over the top-level window from now on.
    virtual void set_cursor(WindowHandle top_level, MouseCursor shape);
    // The clipboard (selections) that cut, copy and paste use.
    virtual Clipboard& clipboard();
    // The pixels the display shows for a top-level window, read back from
    // it; nullopt when the backend shows the frame buffer itself (headless).
    virtual std::optional<FrameBuffer> capture(WindowHandle window);
};

// The process's backend; the headless one until another is installed.
Backend& backend();
// Installs a backend (nullptr: back to a fresh headless one). Call before
// any top-level window exists.
void set_backend(std::unique_ptr<Backend> backend);

// Who the program is, for the desktop (X's WM_CLASS): its instance name and
// its class, "tavemon" and "Tavemon" for the program. Set once, before the
// first window is created; "morvex" and "Morvex" until then.
struct ApplicationClass {
    std::string name = "morvex";
    std::string class_name = "Morvex";
};
void set_application_class(std::string_view name, std::string_view class_name);
ApplicationClass application_class();

} // namespace morvex::platform

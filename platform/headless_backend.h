// The headless backend: no display. Top-level windows live only in their
// frame buffers; the backend notes what it is told (rectangles, visibility,
// captions, what was presented, icons, cursors, which window was activated
// last) and counts beeps, so that tests and scripts can look. Its clipboard
// lives in the process. Input comes from platform/input_injection.h.
#pragma once

#include "platform/backend.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace morvex::platform {

class HeadlessBackend final : public Backend {
public:
    struct TopLevel {
        Rect screen_rect;
        bool visible = false;
        std::string caption; // UTF-8, as the backend was given it
        int presents = 0;
        Rect presented; // union of every area presented
        bool dialog = false;
        WindowHandle dialog_owner = 0;
        std::vector<IconImage> icons;
        MouseCursor cursor = MouseCursor::Arrow;
    };

    void top_level_created(WindowHandle window, const Rect& screen_rect, std::string_view caption) override;
    void top_level_destroyed(WindowHandle window) override;
    void top_level_shown(WindowHandle window, bool visible) override;
    void top_level_moved(WindowHandle window, const Rect& screen_rect) override;
    void top_level_caption(WindowHandle window, std::string_view caption) override;
    void present(WindowHandle window, const FrameBuffer& pixels, const Rect& dirty) override;
    void beep() override;
    void top_level_activated(WindowHandle window) override;
    void top_level_dialog(WindowHandle window, WindowHandle owner) override;
    void top_level_icon(WindowHandle window, std::span<const IconImage> images) override;
    void set_cursor(WindowHandle top_level, MouseCursor shape) override;
    Clipboard& clipboard() override { return m_clipboard; }

    int beep_count() const;
    // The window the window layer activated last (0: none yet).
    WindowHandle last_activated() const;
    // What the backend knows of a top-level window; nullopt when it was
    // never told of it or it was destroyed.
    std::optional<TopLevel> top_level(WindowHandle window) const;
    std::size_t top_level_count() const;

private:
    mutable std::mutex m_mutex;
    std::map<WindowHandle, TopLevel> m_windows;
    int m_beeps = 0;
    WindowHandle m_last_activated = 0;
    InProcessClipboard m_clipboard;
};

// The installed backend if it is the headless one, else nullptr.
HeadlessBackend* headless_backend();

// Saves a top-level window's frame buffer as a PNG file; false when the
// window is not a top-level window or the file cannot be written.
bool save_window_png(WindowHandle top_level, const std::string& path);

} // namespace morvex::platform

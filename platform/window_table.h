// Inside the window layer: the table of windows behind platform/windows.h,
// shared with painting and input routing. Not for use outside platform/.
//
// One mutex guards the table (checked by the thread-safety analysis under
// Clang). Nothing that can call back (sending or
// posting a message, the backend) is done while it is held: operations
// collect what they must do into Deferred and run it after letting go.
#pragma once

#include "platform/frame_buffer.h"
#include "platform/geometry.h"
#include "platform/message_queue.h"
#include "platform/mutex.h"
#include "platform/window_class.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace morvex::platform {

// A top-level window's pixels; painting holds the mutex.
struct WindowSurface {
    WindowSurface(int width, int height, Pixel fill) : pixels(width, height, fill) {}

    Mutex mutex;
    FrameBuffer pixels MORVEX_GUARDED_BY(mutex);
};

struct WindowRecord {
    WindowHandle handle = 0;
    const WindowClass* window_class = nullptr;
    ThreadKey thread = 0;
    WindowHandle parent = 0;
    WindowHandle owner = 0;
    std::vector<WindowHandle> children; // bottom of the z-order first
    std::vector<WindowHandle> owned;
    Rect rect;
    bool visible = false;
    bool enabled = true;
    bool destroying = false;
    int id = 0;
    void* user_data = nullptr;
    std::string text;
    Rect invalid;                           // window coordinates
    WindowHandle last_focus = 0;            // top-level windows: focus to give back on activation
    Rect exposed;                           // top-level windows: to show again
    std::shared_ptr<WindowSurface> surface; // top-level windows only
};

// Platform-private messages that the window layer posts to itself so that
// work asked for on another thread runs on the window's own thread.
enum PlatformMessage : uint32_t {
    MsgPlatformActivate = 0x03F0, // wparam: 1 activate, 0 deactivate
    MsgPlatformExpose = 0x03F1,
};

// Work to do once the table's lock is let go, in order.
class Deferred {
public:
    void add(std::function<void()> work) { m_work.push_back(std::move(work)); }
    void send(const Message& message);
    void notify_paint(ThreadKey thread);
    void run();

private:
    std::vector<std::function<void()>> m_work;
};

// Records are reached only through find() and the tree walks, which need
// the mutex, so a record is read or changed only while it is held.
class WindowTable {
public:
    Mutex mutex;
    std::unordered_map<WindowHandle, std::unique_ptr<WindowRecord>> windows MORVEX_GUARDED_BY(mutex);
    std::vector<WindowHandle> top_levels MORVEX_GUARDED_BY(mutex); // bottom of the z-order first
    std::unordered_map<ThreadKey, int> invalid_windows MORVEX_GUARDED_BY(mutex); // per thread
    WindowHandle focus MORVEX_GUARDED_BY(mutex) = 0;
    WindowHandle capture MORVEX_GUARDED_BY(mutex) = 0;
    WindowHandle active MORVEX_GUARDED_BY(mutex) = 0;
    WindowHandle next_handle MORVEX_GUARDED_BY(mutex) = 0x10000;

    WindowRecord* find(WindowHandle window) MORVEX_REQUIRES(mutex);
    WindowRecord* find_live(WindowHandle window) MORVEX_REQUIRES(mutex); // not being destroyed
    WindowHandle top_level_of(WindowHandle window) MORVEX_REQUIRES(mutex);
    bool visible_with_ancestors(const WindowRecord& record) MORVEX_REQUIRES(mutex);
    bool is_descendant(WindowHandle ancestor, WindowHandle window)
        MORVEX_REQUIRES(mutex); // or the window itself
    // The window's origin in its top-level window's coordinates and the
    // part of it not cut off by its ancestors (top-level coordinates).
    Point origin_in_top_level(const WindowRecord& record) MORVEX_REQUIRES(mutex);
    Rect clip_in_top_level(const WindowRecord& record) MORVEX_REQUIRES(mutex);
    Point screen_origin(const WindowRecord& record) MORVEX_REQUIRES(mutex);
    // Sets the invalid part, keeping the per-thread count; asks the thread
    // for paint when the window became invalid.
    void set_invalid(WindowRecord& record, const Rect& invalid, Deferred& deferred) MORVEX_REQUIRES(mutex);
    // Invalidates `area` (top-level coordinates) in `from` and in every
    // window painted after it in its top-level window.
    void invalidate_from(WindowRecord& from, const Rect& area, Deferred& deferred, bool include_from = true)
        MORVEX_REQUIRES(mutex);
    // The same for the windows painted after `from` only: what a window is
    // about to paint over must be painted again by those above it, even
    // when they belong to another thread and painted first.
    void invalidate_after(WindowRecord& from, const Rect& area, Deferred& deferred) MORVEX_REQUIRES(mutex);
    // Clears the invalid part of the window and its descendants.
    void clear_invalid_tree(WindowRecord& record, Deferred& deferred) MORVEX_REQUIRES(mutex);
    // The first window of `thread` in paint order that needs painting; takes the mutex.
    WindowHandle first_to_paint(ThreadKey thread, WindowHandle only) MORVEX_EXCLUDES(mutex);

private:
    bool first_to_paint_in(WindowRecord& record, ThreadKey thread, WindowHandle only, WindowHandle& found)
        MORVEX_REQUIRES(mutex);
};

WindowTable& window_table();

// The registered class of that name, or nullptr. Classes live until the
// process ends, so the pointer stays valid.
const WindowClass* find_window_class(std::string_view name);

// Where mouse input at `point` of a top-level window goes.
struct MouseRoute {
    WindowHandle target = 0;
    Point client; // in the target's coordinates
    Point screen;
    bool double_clicks = false;
    bool activate = false; // the target's top-level window is not active
    WindowHandle target_top_level = 0;
};
MouseRoute route_mouse(WindowHandle top_level, Point point);

// Moves a window on the backend's word: nothing is told to the backend and
// MsgMove/MsgSize are posted instead of sent, so the backend's thread never
// waits for the window's.
void move_top_level_from_backend(WindowHandle top_level, const Rect& screen_rect);
// Remembers an area of a top-level window to show again (MsgPlatformExpose).
void add_exposed(WindowHandle top_level, const Rect& dirty);

} // namespace morvex::platform

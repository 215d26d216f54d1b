// Windows: handles, trees, geometry, visibility, enabled state, z-order,
// focus, capture, activation, invalidation and text.
//
// A window belongs to the thread that created it; its procedure runs there.
// Every function may be called from any thread: the messages an operation
// causes are sent (platform/message_queue.h), which calls the procedure
// directly on its own thread and waits for the owner otherwise. A window has
// no non-client area: its rectangle is its client area. A child's rectangle
// is relative to its parent's client area; a top-level window's is on the
// screen. Every top-level window owns a frame buffer of its size, into which
// it and all its descendants paint (platform/window_paint.h).
//
// Text is Windows-1252; it becomes UTF-8 only when handed to the backend.
#pragma once

#include "platform/cursor.h"
#include "platform/frame_buffer.h"
#include "platform/geometry.h"
#include "platform/icon_image.h"
#include "platform/message_queue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::platform {

enum WindowStyle : uint32_t {
    StyleNone = 0,
    StyleVisible = 0x0001,  // shown as soon as it is created
    StyleDisabled = 0x0002, // created disabled
    // Top-level windows: a dialog of its owner (a modal window), which the
    // desktop keeps above the owner and decorates as a dialog.
    StyleDialog = 0x0004,
};

struct CreateWindowParams {
    std::string class_name;
    std::string text; // Windows-1252
    uint32_t style = StyleNone;
    Rect rect;                 // relative to the parent's client area; screen for top-levels
    WindowHandle parent = 0;   // 0: a top-level window
    WindowHandle owner = 0;    // top-level windows only: destroyed with the owner
    int id = 0;                // a child's identifier among its siblings
    void* user_data = nullptr; // given to the class procedure with every message
    // Top-level windows: let the platform choose the position (cascading
    // from the top left) or the size (DefaultWindowSize) instead of taking them from rect.
    bool default_position = false;
    bool default_size = false;
};

constexpr Size DefaultWindowSize{640, 480};

// Creates the window on the calling thread, which then owns it. Messages,
// in order: MsgCreate (lparam: points to the params; a result of -1 refuses the
// window, which is then destroyed and 0 returned), MsgSize, MsgMove, and
// with StyleVisible MsgShowWindow. 0 when the class is unknown, the parent
// or owner does not exist, or the size is negative.
WindowHandle create_window(const CreateWindowParams& params);

// Destroys the window: first the windows it owns and its children (their
// messages run on their own threads), then it gets MsgDestroy and
// MsgNcDestroy. Focus, capture
// and activation held in the window are let go first (with their messages).
// Posted messages still waiting for it go to the discard handler; its
// timers stop. False when the window does not exist.
bool destroy_window(WindowHandle window);

// Destroys every window the calling thread owns, as a thread does when it
// ends (a window left behind would never be painted or answer again).
void destroy_thread_windows();

// Called with each posted message dropped because its window was destroyed,
// so that what the message carries can be released. Not called for messages
// a MsgDestroy handler took out of the queue itself.
using DiscardedMessageHandler = void (*)(const Message& message);
void set_discarded_message_handler(DiscardedMessageHandler handler);

// The default handling of messages a class procedure leaves alone:
// MsgPaint paints the background and validates, MsgClose destroys the
// window; everything else returns 0.
intptr_t default_window_procedure(const Message& message);

bool is_window(WindowHandle window);
ThreadKey window_thread(WindowHandle window);
std::string window_class_name(WindowHandle window);
int window_id(WindowHandle window);
void* window_user_data(WindowHandle window);
void set_window_user_data(WindowHandle window, void* user_data);

// Trees. Children are listed from the top of the z-order down, as on Win32.
WindowHandle parent_window(WindowHandle window);
WindowHandle owner_window(WindowHandle window);
WindowHandle top_level_of(WindowHandle window); // itself for a top-level window
std::vector<WindowHandle> child_windows(WindowHandle window);
std::vector<WindowHandle> owned_windows(WindowHandle window);
// Top-level windows, from the top of the z-order down.
std::vector<WindowHandle> top_level_windows();
WindowHandle child_from_id(WindowHandle parent, int id);
// A top-level window by class name and/or text (empty: any); 0 when none.
WindowHandle find_window(std::string_view class_name, std::string_view text);
bool is_child_of(WindowHandle parent, WindowHandle window); // any depth

// Geometry.
Rect window_rect(WindowHandle window); // parent-relative; screen for top-levels
// The window's rectangle in its top-level window's coordinates.
Rect rect_in_top_level(WindowHandle window);
Rect screen_rect(WindowHandle window);
// Moves and sizes the window: MsgMove and MsgSize when they changed; the
// area it left and the area it takes are repainted. A top-level window's
// frame buffer follows its size and the backend is told.
bool move_window(WindowHandle window, const Rect& rect);
// Converts a point from one window's coordinates to another's; window 0
// stands for the screen.
Point map_point(WindowHandle from, WindowHandle to, Point point);

// Visibility and enabled state.
// Sends MsgShowWindow when the state changes. Hiding lets go the focus and
// capture held inside the window and repaints what was beneath it.
bool show_window(WindowHandle window, bool visible);
bool is_visible_flag(WindowHandle window);   // the window's own flag
bool is_window_visible(WindowHandle window); // it and every ancestor shown
// Sends MsgEnable when the state changes. Disabling lets go the focus and
// capture held inside the window. A disabled window gets no mouse input.
bool enable_window(WindowHandle window, bool enabled);
bool is_window_enabled(WindowHandle window);

// Z-order: to the top among its siblings (or among top-level windows).
bool bring_to_top(WindowHandle window);

// Focus: MsgKillFocus to the window losing it (wparam: the one gaining it),
// MsgSetFocus to the one gaining it (wparam: the one losing it). When the
// window's top-level window is not active it is activated first. A hidden
// or disabled window cannot take the focus. Returns the previous focus
// window, 0 when there was none or the call failed.
WindowHandle set_focus(WindowHandle window);
WindowHandle focus_window();
// Activation of top-level windows: MsgActivate with wparam 0 (lparam: the
// window being activated) to the one that was active, then wparam 1
// (lparam: the one that was active) to the new one; when the focus is not
// inside the new one, it takes the focus itself. A change of the active
// window is told to the backend, which brings the window to the front and
// gives it the keyboard.
bool activate_window(WindowHandle top_level);
WindowHandle active_window();

// Capture: all mouse input goes to the window until it is released. The
// window losing it gets MsgCaptureChanged (lparam: the window gaining it).
WindowHandle set_capture(WindowHandle window);
void release_capture();
WindowHandle capture_window();

// Invalidation, in the window's coordinates (nullopt: the whole window).
// The windows painted over the area (descendants, siblings above) are
// invalidated with it. Nothing happens to a window that is not visible.
void invalidate(WindowHandle window, std::optional<Rect> rect = std::nullopt);
void validate(WindowHandle window, std::optional<Rect> rect = std::nullopt);
// Paints the window and its descendants now, if they are invalid, by
// sending them MsgPaint in paint order instead of waiting for the queue.
void update_window(WindowHandle window);
// The part waiting for paint, in window coordinates; empty when none.
Rect invalid_rect(WindowHandle window);

// Text (caption), Windows-1252.
bool set_window_text(WindowHandle window, std::string_view text);
std::string window_text(WindowHandle window);

// The icon the desktop shows for a top-level window (in its task bar and
// window list), given at the sizes the desktop may want (16x16, 32x32);
// empty: none. False when the window is not a top-level window or an image
// is not valid().
bool set_window_icon(WindowHandle top_level, const std::vector<IconImage>& images);

// The mouse cursor shape over the window's top-level window from now on:
// the window under the pointer asks for its shape as the pointer enters it
// or its part changes (an I-beam over text, size arrows over a border).
// False when the window does not exist.
bool set_window_cursor(WindowHandle window, MouseCursor shape);

// A copy of a top-level window's frame buffer (empty for other windows).
FrameBuffer frame_buffer_copy(WindowHandle top_level);

// Which enabled, visible window lies under `point` (top-level client
// coordinates): the deepest such child, the top one among overlapping
// siblings; disabled children let the point through to their parent.
// 0 when the point is outside or the top-level window is disabled.
WindowHandle window_from_point(WindowHandle top_level, Point point);

} // namespace morvex::platform

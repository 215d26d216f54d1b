// Scripted input for tests and headless runs: whole gestures (a key press,
// typed text, a click, a drag) built from the calls of platform/input.h,
// a manual clock for double-click timing, and a pump that handles what the
// calling thread has waiting.
#pragma once

#include "platform/geometry.h"
#include "platform/input.h"
#include "platform/message_queue.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace morvex::platform {

// Key down then up; the modifiers (e.g. VkShift, VkControl, VkMenu) are held
// around it and let go in reverse order.
void press_key(uint32_t virtual_key, std::initializer_list<uint32_t> modifiers = {});
// One MsgChar per Windows-1252 byte.
void type_text(std::string_view text);

// Points are in the top-level window's client coordinates.
void move_mouse(WindowHandle top_level, Point point);
void press_button(WindowHandle top_level, Point point, MouseButton button = MouseButton::Left);
void release_button(WindowHandle top_level, Point point, MouseButton button = MouseButton::Left);
void click(WindowHandle top_level, Point point, MouseButton button = MouseButton::Left);
// Two clicks at once, so that the second is a double click where the
// window's class takes them.
void double_click(WindowHandle top_level, Point point, MouseButton button = MouseButton::Left);
// The centre of any window in its top-level window's coordinates.
Point window_centre(WindowHandle window);
void click_window(WindowHandle window, MouseButton button = MouseButton::Left);
// Press at `from`, `steps` moves along the line to `to`, release there.
void drag(WindowHandle top_level, Point from, Point to, MouseButton button = MouseButton::Left,
          int steps = 4);
void turn_wheel(WindowHandle top_level, Point point, int delta);

// Replaces the input clock with a manual one standing at `start`
// milliseconds; advance_input_clock moves it on.
void use_manual_input_clock(int64_t start = 0);
void advance_input_clock(int64_t milliseconds);

// Dispatches every message waiting for the calling thread, paint included,
// without waiting; returns how many. Stops at the quit message (leaving it
// queued) or after `limit` messages.
int dispatch_pending_messages(int limit = 100000);

} // namespace morvex::platform

// Input from a backend (or a test) into the platform's windows. Keys go to
// the focus window (or, without one, to the active top-level window); mouse
// input goes to the window that holds the capture, else to the window under
// the pointer. Each call posts the messages Win32 would post to the owning
// thread's queue, so it may be called from any thread.
#pragma once

#include "platform/geometry.h"
#include "platform/message_queue.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace morvex::platform {

enum class MouseButton { Left, Right, Middle };

// MsgKeyDown / MsgKeyUp (MsgSysKeyDown / MsgSysKeyUp while Alt is held)
// with a virtual key code; the platform tracks Shift, Control and Alt from
// these calls so that mouse flags and key state follow them.
void input_key(uint32_t virtual_key, bool down);
// MsgChar with a Windows-1252 character.
void input_char(uint8_t character);
// Pointer positions are in the client coordinates of the top-level window.
void input_mouse_move(WindowHandle top_level, Point point);
void input_mouse_button(WindowHandle top_level, Point point, MouseButton button, bool down);
// delta: 120 per notch, positive away from the user.
void input_mouse_wheel(WindowHandle top_level, Point point, int delta);
// The pointer left the backend's window.
void input_mouse_left(WindowHandle top_level);
// Asks for one MsgMouseLeave when the pointer next leaves `window`: when it
// moves over another window or off its top-level window, as Win32's
// TrackMouseEvent does. One window is tracked at a time; a later call
// replaces it.
void track_mouse_leave(WindowHandle window);
// The user asked to close the window (the backend's close button): MsgClose.
void input_close_request(WindowHandle top_level);
// The backend's window was moved or resized by the user; the frame buffer
// follows and the window is repainted.
void input_top_level_moved(WindowHandle top_level, const Rect& screen_rect);
// The backend's window gained or lost the keyboard focus.
void input_top_level_activated(WindowHandle top_level, bool active);
// The backend's window needs its pixels shown again (an X expose).
void input_expose(WindowHandle top_level, const Rect& dirty);

// Whether a key (or, by VkLButton..VkMButton, a mouse button) is down as
// far as the input seen so far tells.
bool is_key_down(uint32_t virtual_key);
// Where the pointer was on the screen at the last mouse input.
Point pointer_position();
// The mouse flags (MouseFlags) that go with mouse messages now.
uint32_t mouse_flags();

// The clock that times double clicks, in milliseconds; an empty function
// restores the steady clock. Tests install a manual one.
using InputClock = std::function<int64_t()>;
void set_input_clock(InputClock clock);
// A second press of the same button on the same window (of a class with
// ClassDoubleClicks) within this time and DoubleClickDistance pixels either
// way becomes a double click. 500 ms unless set.
void set_double_click_time(std::chrono::milliseconds time);
constexpr int DoubleClickDistance = 2;
// Forgets keys and buttons held and the last click (for tests).
void reset_input_state();

} // namespace morvex::platform

// Input from a backend into the windows: keys and characters to the focus
// window, mouse input to the capture or the window under the pointer, with
// the key and button state and double-click detection kept here. Messages
// are posted, so the caller never waits for a window's thread.
#include "platform/input.h"

#include "platform/window_messages.h"
#include "platform/window_table.h"
#include "platform/windows.h"

#include <array>
#include <cstdlib>
#include <mutex>

namespace morvex::platform {

namespace {

using namespace std::chrono;

struct LastClick {
    WindowHandle window = 0;
    MouseButton button = MouseButton::Left;
    int64_t time = 0;
    Point screen;
};

struct InputState {
    std::mutex mutex;
    std::array<bool, 256> keys{};
    InputClock clock;
    int64_t double_click_time = 500;
    LastClick last_click;
    Point pointer;            // on the screen, where the last mouse input was
    WindowHandle tracked = 0; // gets MsgMouseLeave when the pointer leaves it
};

InputState& input_state() {
    static InputState* instance = new InputState;
    return *instance;
}

void note_pointer(const MouseRoute& route) {
    InputState& state = input_state();
    std::lock_guard lock(state.mutex);
    state.pointer = route.screen;
}

int64_t now_locked(InputState& state) {
    if (state.clock)
        return state.clock();
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint32_t flags_locked(const InputState& state) {
    uint32_t flags = 0;
    if (state.keys[VkLButton])
        flags |= MouseLeftButton;
    if (state.keys[VkRButton])
        flags |= MouseRightButton;
    if (state.keys[VkMButton])
        flags |= MouseMiddleButton;
    if (state.keys[VkShift])
        flags |= MouseShift;
    if (state.keys[VkControl])
        flags |= MouseControl;
    return flags;
}

WindowHandle keyboard_target() {
    const WindowHandle focus = focus_window();
    return focus != 0 ? focus : active_window();
}

uint32_t button_key(MouseButton button) {
    switch (button) {
    case MouseButton::Left:
        return VkLButton;
    case MouseButton::Right:
        return VkRButton;
    case MouseButton::Middle:
        return VkMButton;
    }
    return VkLButton;
}

uint32_t button_message(MouseButton button, bool down, bool double_click) {
    const uint32_t base = button == MouseButton::Left    ? MsgLButtonDown
                          : button == MouseButton::Right ? MsgRButtonDown
                                                         : MsgMButtonDown;
    return down ? (double_click ? base + 2 : base) : base + 1;
}

} // namespace

void input_key(uint32_t virtual_key, bool down) {
    InputState& state = input_state();
    bool was_down;
    bool alt;
    bool control;
    bool shift;
    {
        std::lock_guard lock(state.mutex);
        const std::size_t key = virtual_key & 0xFF;
        was_down = state.keys[key];
        state.keys[key] = down;
        alt = state.keys[VkMenu];
        control = state.keys[VkControl];
        shift = state.keys[VkShift];
    }
    const WindowHandle target = keyboard_target();
    if (target == 0)
        return;
    // Alt's own release still counts as a system key, as it does on Win32.
    const bool system = (alt || (virtual_key == VkMenu && !down)) && !control;
    const uint32_t number = system ? (down ? MsgSysKeyDown : MsgSysKeyUp) : (down ? MsgKeyDown : MsgKeyUp);
    uint32_t flags = 1; // repeat count
    if (alt)
        flags |= KeyFlagAlt;
    if (control)
        flags |= KeyFlagControl;
    if (shift)
        flags |= KeyFlagShift;
    if (was_down)
        flags |= 1u << 30;
    if (!down)
        flags |= 1u << 31;
    post_message(Message{target, number, virtual_key, static_cast<intptr_t>(flags)});
}

void input_char(uint8_t character) {
    bool alt;
    uint32_t flags = 1;
    {
        InputState& state = input_state();
        std::lock_guard lock(state.mutex);
        alt = state.keys[VkMenu] && !state.keys[VkControl];
        flags |= (state.keys[VkMenu] ? KeyFlagAlt : 0u) | (state.keys[VkControl] ? KeyFlagControl : 0u) |
                 (state.keys[VkShift] ? KeyFlagShift : 0u);
    }
    const WindowHandle target = keyboard_target();
    if (target != 0)
        post_message(Message{target, alt ? MsgSysChar : MsgChar, character, static_cast<intptr_t>(flags)});
}

// The tracked window, when the pointer is no longer over it (`under`: the
// window it is over now), forgets it and is told.
void post_leave_unless(WindowHandle under) {
    InputState& state = input_state();
    WindowHandle left;
    {
        std::lock_guard lock(state.mutex);
        if (state.tracked == 0 || state.tracked == under)
            return;
        left = state.tracked;
        state.tracked = 0;
    }
    post_message(Message{left, MsgMouseLeave, 0, 0});
}

void input_mouse_move(WindowHandle top_level, Point point) {
    // Where the pointer is, whatever holds the capture.
    post_leave_unless(window_from_point(top_level, point));
    const MouseRoute route = route_mouse(top_level, point);
    note_pointer(route);
    if (route.target == 0)
        return;
    post_message_coalesced(
        Message{route.target, MsgMouseMove, mouse_flags(), MakeLParam(route.client.x, route.client.y)});
}

void input_mouse_button(WindowHandle top_level, Point point, MouseButton button, bool down) {
    const MouseRoute route = route_mouse(top_level, point);
    note_pointer(route);
    InputState& state = input_state();
    bool double_click = false;
    uint32_t flags;
    {
        std::lock_guard lock(state.mutex);
        state.keys[button_key(button)] = down;
        flags = flags_locked(state);
        if (route.target != 0 && down) {
            const int64_t now = now_locked(state);
            LastClick& last = state.last_click;
            double_click = route.double_clicks && last.window == route.target && last.button == button &&
                           now - last.time <= state.double_click_time &&
                           std::abs(route.screen.x - last.screen.x) <= DoubleClickDistance &&
                           std::abs(route.screen.y - last.screen.y) <= DoubleClickDistance;
            // A third press starts counting again.
            last = double_click ? LastClick{} : LastClick{route.target, button, now, route.screen};
        }
    }
    if (route.target == 0)
        return;
    if (down && route.activate)
        post_message(Message{route.target_top_level, MsgPlatformActivate, 1, 0});
    post_message(Message{route.target, button_message(button, down, double_click), flags,
                         MakeLParam(route.client.x, route.client.y)});
}

void input_mouse_wheel(WindowHandle top_level, Point point, int delta) {
    const MouseRoute route = route_mouse(top_level, point);
    if (route.target == 0)
        return;
    const uintptr_t wparam = mouse_flags() | (static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16);
    post_message(Message{route.target, MsgMouseWheel, wparam, MakeLParam(route.screen.x, route.screen.y)});
}

void input_mouse_left(WindowHandle) {
    post_leave_unless(0);
}

void track_mouse_leave(WindowHandle window) {
    InputState& state = input_state();
    std::lock_guard lock(state.mutex);
    state.tracked = window;
}

void input_close_request(WindowHandle top_level) {
    post_message(Message{top_level, MsgClose, 0, 0});
}

void input_top_level_moved(WindowHandle top_level, const Rect& screen_rect) {
    move_top_level_from_backend(top_level, screen_rect);
}

void input_top_level_activated(WindowHandle top_level, bool active) {
    post_message(Message{top_level, MsgPlatformActivate, active ? 1u : 0u, 0});
}

void input_expose(WindowHandle top_level, const Rect& dirty) {
    add_exposed(top_level, dirty);
    post_message(Message{top_level, MsgPlatformExpose, 0, 0});
}

Point pointer_position() {
    InputState& state = input_state();
    std::lock_guard lock(state.mutex);
    return state.pointer;
}

bool is_key_down(uint32_t virtual_key) {
    InputState& state = input_state();
    std::lock_guard lock(state.mutex);
    return state.keys[virtual_key & 0xFF];
}

uint32_t mouse_flags() {
    InputState& state = input_state();
    std::lock_guard lock(state.mutex);
    return flags_locked(state);
}

void set_input_clock(InputClock clock) {
    InputState& state = input_state();
    std::lock_guard lock(state.mutex);
    state.clock = std::move(clock);
}

void set_double_click_time(std::chrono::milliseconds time) {
    InputState& state = input_state();
    std::lock_guard lock(state.mutex);
    state.double_click_time = time.count();
}

void reset_input_state() {
    InputState& state = input_state();
    std::lock_guard lock(state.mutex);
    state.keys.fill(false);
    state.last_click = LastClick{};
    state.tracked = 0;
}

} // namespace morvex::platform

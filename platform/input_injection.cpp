// Gestures made of the backend input calls.
#include "platform/input_injection.h"

#include "platform/window_messages.h"
#include "platform/windows.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace morvex::platform {

void press_key(uint32_t virtual_key, std::initializer_list<uint32_t> modifiers) {
    for (uint32_t modifier : modifiers)
        input_key(modifier, true);
    input_key(virtual_key, true);
    input_key(virtual_key, false);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
        input_key(*it, false);
}

void type_text(std::string_view text) {
    for (char c : text)
        input_char(static_cast<uint8_t>(c));
}

void move_mouse(WindowHandle top_level, Point point) {
    input_mouse_move(top_level, point);
}

void press_button(WindowHandle top_level, Point point, MouseButton button) {
    input_mouse_button(top_level, point, button, true);
}

void release_button(WindowHandle top_level, Point point, MouseButton button) {
    input_mouse_button(top_level, point, button, false);
}

void click(WindowHandle top_level, Point point, MouseButton button) {
    press_button(top_level, point, button);
    release_button(top_level, point, button);
}

void double_click(WindowHandle top_level, Point point, MouseButton button) {
    click(top_level, point, button);
    click(top_level, point, button);
}

Point window_centre(WindowHandle window) {
    const Rect rect = rect_in_top_level(window);
    return Point{rect.left + rect.width() / 2, rect.top + rect.height() / 2};
}

void click_window(WindowHandle window, MouseButton button) {
    click(top_level_of(window), window_centre(window), button);
}

void drag(WindowHandle top_level, Point from, Point to, MouseButton button, int steps) {
    move_mouse(top_level, from);
    press_button(top_level, from, button);
    steps = std::max(steps, 1);
    for (int i = 1; i <= steps; ++i)
        move_mouse(top_level,
                   Point{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
    release_button(top_level, to, button);
}

void turn_wheel(WindowHandle top_level, Point point, int delta) {
    input_mouse_wheel(top_level, point, delta);
}

namespace {

std::shared_ptr<std::atomic<int64_t>>& manual_clock() {
    static auto* instance =
        new std::shared_ptr<std::atomic<int64_t>>(std::make_shared<std::atomic<int64_t>>(0));
    return *instance;
}

} // namespace

void use_manual_input_clock(int64_t start) {
    manual_clock()->store(start);
    set_input_clock([time = manual_clock()] { return time->load(); });
}

void advance_input_clock(int64_t milliseconds) {
    *manual_clock() += milliseconds;
}

int dispatch_pending_messages(int limit) {
    int count = 0;
    Message message;
    while (count < limit && peek_message(message, {}, Removal::Keep)) {
        if (message.number == MsgQuit)
            break;
        peek_message(message, {}, Removal::Remove);
        dispatch_message(message);
        ++count;
    }
    return count;
}

} // namespace morvex::platform

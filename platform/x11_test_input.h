// Input made through the X server (XTEST) for scripts and tests: the
// pointer moved to a point of a platform window, buttons, the wheel, keys
// by virtual key code and typed Windows-1252 text, so that the input takes
// the real way in (server, X11 backend, input method, window layer). Each
// call returns once the server has processed the input and the backend has
// handed it to the window layer's queues.
//
// Keys go where the server sends them, to the window with the X focus:
// activate the window first (activate_window). One thread uses an object
// at a time.
//
// Keys come from the server's keymap: a character or key it lacks gets a
// spare key code lent for it (given back when this object goes), so any
// Windows-1252 character can be typed. Caps Lock and Num Lock are assumed off.
#pragma once

#include "platform/geometry.h"
#include "platform/input.h"
#include "platform/message_queue.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace morvex::platform {

class X11Backend;

class X11TestInput {
public:
    // Opens a connection of its own to the backend's display; nullptr, with
    // the reason on stderr, when it cannot or the server has no XTEST.
    static std::unique_ptr<X11TestInput> open(X11Backend& backend);
    ~X11TestInput(); // gives back the lent key codes
    X11TestInput(const X11TestInput&) = delete;
    X11TestInput& operator=(const X11TestInput&) = delete;

    // Moves the pointer to `point` in the top-level window's client
    // coordinates (outside it too); false when the window has no X window.
    bool move_pointer(WindowHandle top_level, Point point);
    void button(MouseButton button, bool down);
    // Moves there, presses and releases.
    bool click(WindowHandle top_level, Point point, MouseButton button = MouseButton::Left);
    // Notches of the wheel, positive away from the user.
    void wheel(int notches);

    // Presses or releases the key of a virtual key code (VkShift, 'A',
    // VkF4...); false when it names no key.
    bool key(uint32_t virtual_key, bool down);
    // Presses the key with the modifiers held around it, as
    // input_injection.h's press_key does.
    bool press_key(uint32_t virtual_key, std::initializer_list<uint32_t> modifiers = {});
    // Types Windows-1252 text, one key stroke per character (Shift held for
    // characters on a key's shifted level). False, after typing what came
    // before, at a character that has no key (control characters other
    // than CR, tab, backspace and escape) or when no spare key is left.
    bool type_text(std::string_view text);

private:
    struct State;
    explicit X11TestInput(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace morvex::platform

// Input for scripts: key presses with the characters a keyboard gives, typed
// text, pointer moves, buttons, the wheel and the close request, made either
// straight into the platform's input (headless) or through a display server
// (x11_scripted_input.h), so that a script takes the same way in as a user.
#pragma once

#include "platform/geometry.h"
#include "platform/input.h"
#include "platform/message_queue.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace morvex::platform {

class ScriptedInput {
public:
    virtual ~ScriptedInput() = default;
    // The key with the modifiers (VkShift, VkControl, VkMenu) held around it,
    // and the character the press types, as a US keyboard would give it.
    virtual void press_key(uint32_t virtual_key, std::span<const uint32_t> modifiers) = 0;
    // Windows-1252 characters, typed one after the other.
    virtual void type_text(std::string_view text) = 0;
    // Points in the top-level window's client coordinates.
    virtual void mouse_move(WindowHandle top_level, Point point) = 0;
    virtual void mouse_button(WindowHandle top_level, Point point, MouseButton button, bool down) = 0;
    // delta: 120 per notch, positive away from the user.
    virtual void wheel(WindowHandle top_level, Point point, int delta) = 0;
    virtual void close(WindowHandle top_level) = 0;
};

// Straight into platform/input.h.
std::unique_ptr<ScriptedInput> make_direct_input();

// The character a key press types on a US keyboard (Shift for capitals,
// Control with a letter a control character); 0 for keys that type none.
uint8_t typed_character(uint32_t virtual_key, bool shift, bool control);

} // namespace morvex::platform

#include "platform/scripted_input.h"

#include "platform/window_messages.h"

#include <algorithm>

namespace morvex::platform {

namespace {

class DirectInput final : public ScriptedInput {
public:
    void press_key(uint32_t virtual_key, std::span<const uint32_t> modifiers) override {
        for (const uint32_t modifier : modifiers)
            input_key(modifier, true);
        input_key(virtual_key, true);
        const bool shift = std::find(modifiers.begin(), modifiers.end(), VkShift) != modifiers.end();
        const bool control = std::find(modifiers.begin(), modifiers.end(), VkControl) != modifiers.end();
        if (const uint8_t c = typed_character(virtual_key, shift, control))
            input_char(c);
        input_key(virtual_key, false);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
            input_key(*it, false);
    }
    void type_text(std::string_view text) override {
        for (const char c : text)
            input_char(static_cast<uint8_t>(c));
    }
    void mouse_move(WindowHandle top_level, Point point) override { input_mouse_move(top_level, point); }
    void mouse_button(WindowHandle top_level, Point point, MouseButton button, bool down) override {
        input_mouse_button(top_level, point, button, down);
    }
    void wheel(WindowHandle top_level, Point point, int delta) override {
        input_mouse_wheel(top_level, point, delta);
    }
    void close(WindowHandle top_level) override { input_close_request(top_level); }
};

} // namespace

std::unique_ptr<ScriptedInput> make_direct_input() {
    return std::make_unique<DirectInput>();
}

uint8_t typed_character(uint32_t virtual_key, bool shift, bool control) {
    if (control)
        return virtual_key >= 'A' && virtual_key <= 'Z' ? static_cast<uint8_t>(virtual_key - 'A' + 1) : 0;
    if (virtual_key >= 'A' && virtual_key <= 'Z')
        return static_cast<uint8_t>(shift ? virtual_key : virtual_key - 'A' + 'a');
    if (virtual_key >= '0' && virtual_key <= '9' && !shift)
        return static_cast<uint8_t>(virtual_key);
    switch (virtual_key) {
    case VkSpace:
        return ' ';
    case VkReturn:
        return '\r';
    case VkTab:
        return '\t';
    case VkEscape:
        return 0x1B;
    case VkBack:
        return '\b';
    default:
        return 0;
    }
}

} // namespace morvex::platform

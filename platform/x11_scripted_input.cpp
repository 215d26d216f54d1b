#include "platform/x11_scripted_input.h"

#include "platform/windows.h"
#include "platform/x11_test_input.h"

namespace morvex::platform {

namespace {

class X11ScriptedInput final : public ScriptedInput {
public:
    explicit X11ScriptedInput(std::unique_ptr<X11TestInput> input) : m_input(std::move(input)) {}

    void press_key(uint32_t virtual_key, std::span<const uint32_t> modifiers) override {
        // Keys go to the window with the X focus: the active one.
        for (const uint32_t modifier : modifiers)
            m_input->key(modifier, true);
        m_input->key(virtual_key, true);
        m_input->key(virtual_key, false);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
            m_input->key(*it, false);
    }
    void type_text(std::string_view text) override { m_input->type_text(text); }
    void mouse_move(WindowHandle top_level, Point point) override { m_input->move_pointer(top_level, point); }
    void mouse_button(WindowHandle top_level, Point point, MouseButton button, bool down) override {
        m_input->move_pointer(top_level, point);
        m_input->button(button, down);
    }
    void wheel(WindowHandle top_level, Point point, int delta) override {
        m_input->move_pointer(top_level, point);
        m_input->wheel(delta / 120);
    }
    // The engine draws its own close box; a close request is what a window
    // manager's would be.
    void close(WindowHandle top_level) override { input_close_request(top_level); }

private:
    std::unique_ptr<X11TestInput> m_input;
};

} // namespace

std::unique_ptr<ScriptedInput> make_x11_scripted_input(X11Backend& backend) {
    auto input = X11TestInput::open(backend);
    if (!input)
        return nullptr;
    return std::make_unique<X11ScriptedInput>(std::move(input));
}

} // namespace morvex::platform

// A push button: text with a mnemonic and/or an icon, pressed with the mouse
// (released over it), Space, Enter when it has the focus or is the default
// button, its mnemonic or its key. Each press posts EVENT:Accepted; an
// immediate button repeats while held, after its first time value, every
// second time value.
#pragma once

#include "window/control.h"

namespace morvex {

class Button : public Control {
public:
    Button(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return "MvxButton"; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    // A toolbar button leaves the focus where it is.
    bool takes_focus() const override { return feq() > 0; }
    void activate_mnemonic() override;
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    // Presses the button: EVENT:Accepted.
    void press();
    bool pressed_look() const { return m_pressed && m_inside; }

private:
    bool repeats() const;

    uintptr_t m_icon = 0;
    std::string m_icon_name;
    bool m_pressed = false; // a mouse button or Space is held on it
    bool m_inside = false;  // the pointer is over it while held
    bool m_space = false;
    bool m_hot = false; // a flat button with the pointer over it
};

} // namespace morvex

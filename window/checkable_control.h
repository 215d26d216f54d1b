// What check boxes and radio buttons share: an indicator (a box or a circle)
// beside a text with a mnemonic, clicked with the mouse (released over the
// control, text or indicator alike), Space or the mnemonic, and shown
// pressed while the mouse button or Space is held on it. The members say
// what a click does and how the indicator looks.
#pragma once

#include "window/control.h"

namespace morvex {

class CheckableControl : public Control {
public:
    using Control::Control;

    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    void activate_mnemonic() override;

    // Whether the indicator shows the control as checked (or selected).
    virtual bool checked() const = 0;

protected:
    // The user clicked the control (mouse, Space or mnemonic).
    virtual void clicked() = 0;
    virtual void draw_indicator(painter::Painter& painter, platform::Point top_left, bool enabled,
                                bool pushed) const = 0;
    virtual int indicator_size() const = 0;

    bool pressed_look() const { return m_pressed && m_inside; }

private:
    void release_press();

    bool m_pressed = false; // the mouse button or Space is held on it
    bool m_inside = false;  // the pointer is over it while held
    bool m_space = false;
};

} // namespace morvex

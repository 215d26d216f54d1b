// A spin box: an edit part showing the bound variable through the control's
// picture, and two arrow buttons that step the value. In range mode the
// value moves by the step within low and high (both 0: no bounds); in list
// mode it moves through the choices of the record or the entries of a bound
// queue. Stepping never wraps, and a step that leaves the value as it was
// posts nothing; one that changes it posts EVENT:NewSelection.
//
// The upper arrow (and the Up key, and the wheel turned away) steps with
// direction 1: the value grows in range mode and the previous entry is
// taken in list mode; the lower arrow, Down and the wheel turned towards
// the user step with direction 2. Bits 0-1 of the attribute word holding 1
// or 2 reverse the direction in list mode. An arrow held down repeats after
// the control's first time value, then every second time value.
//
// Text typed into the edit part is taken into the variable (through the
// picture) before a step and when the focus leaves, posting EVENT:Accepted
// when that changed the value. With the Immediate attribute typing takes
// the text at once and posts EVENT:NewSelection.
#pragma once

#include "window/bound_value.h"
#include "window/choice_list.h"
#include "window/control.h"
#include "window/line_editor.h"

namespace morvex {

class SpinBox : public Control {
public:
    SpinBox(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return "MvxSpin"; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    bool takes_text() const override { return true; }
    void display() override;
    bool update() override;
    bool accepts_in_accept_all() const override { return true; }
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    // Steps the value: direction 1 or 2 as the arrows do.
    void step(int direction);
    bool list_mode() const { return m_definition.value_source != 0 || m_binding.queue != nullptr; }

protected:
    std::string text() const override { return m_editor.text(); }
    void set_text(std::string_view text) override;

private:
    ChoiceList choices() const { return ChoiceList(m_definition.choices, m_binding.queue); }
    // Typed text into the variable; true (and EVENT:Accepted) when it changed the value.
    bool take_typed_text();
    void press_arrow(int direction);
    void release_arrow();
    platform::Rect inside_rect() const;
    platform::Rect arrow_rect(int direction) const;
    platform::Rect edit_rect() const;

    LineEditor m_editor;
    ValuePicture m_picture;
    double m_low;
    double m_high;
    double m_step;
    uint32_t m_delay_ms;
    uint32_t m_repeat_ms;
    int m_held = 0; // the arrow held with the mouse (direction), 0 none
    bool m_held_inside = false;
    bool m_selecting = false; // the mouse drags a selection in the edit part
};

} // namespace morvex

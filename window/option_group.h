// Option groups and their radio buttons. An option group (type 7) holds the
// variable; its radio buttons (type 11) are the radio records that follow it
// in the chain and lie inside its rectangle (their centres do). The radios
// after those, up to the first record that is not a radio, and a run of
// radios that follows anything else, form a group of their own without a
// variable.
//
// Choosing a radio sets the option's variable to the radio's value: the
// `value` text of its record when given, else its position in the group (1
// for the first) for a numeric variable and its text (without the "&") for a
// text variable. A choice that changes the variable posts EVENT:Accepted
// for the option group (for the radio itself in a group without an option).
// The arrow keys move to the next or previous radio of the group and choose
// it; Tab enters a group at its chosen radio (at its first radio while none
// is chosen). A boxed option group (style bit 0) draws a group frame with
// its text; otherwise it draws nothing.
#pragma once

#include "window/checkable_control.h"
#include "window/group_box.h"

#include <vector>

namespace morvex {

class OptionGroup;
class RadioButton;

struct RadioGroup {
    OptionGroup* option = nullptr;
    std::vector<RadioButton*> radios;

    // 1-based position of the radio, 0 when it is not one of the group's.
    int32_t position_of(const RadioButton* radio) const;
    RadioButton* chosen() const;
    // Whether the radio's centre lies inside the option group's rectangle.
    static bool inside(const OptionGroup& option, const Control& radio);
};

// The group that `member` (an option group or one of the radios) belongs to.
RadioGroup RadioGroupOf(const Window& window, const Control* member);

class OptionGroup : public GroupBox {
public:
    using GroupBox::GroupBox;

    std::string_view class_name() const override { return "MvxOption"; }
    void paint(painter::Painter& painter) override;
    void display() override;
    bool accepts_in_accept_all() const override { return true; }
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    // Whether the radio at `position` of the group is the chosen one.
    bool is_chosen(const RadioButton& radio, int32_t position) const;
    // Makes the radio the chosen one; true when that changed the option's value.
    bool choose(const RadioButton& radio, int32_t position);

protected:
    void attributes_changed(uint32_t changed) override;

private:
    std::string value_of(const RadioButton& radio, int32_t position) const;
    void repaint_radios() const;

    int32_t m_chosen_feq = 0; // the chosen radio when there is no variable
};

class RadioButton : public CheckableControl {
public:
    RadioButton(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return "MvxRadio"; }
    bool checked() const override;
    bool takes_focus() const override;
    // A disabled option group disables its radios.
    bool effectively_enabled() const override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    const std::string& value_text() const { return m_value; }
    std::string caption() const { return display_text(); }
    // Chooses the radio in its group; true when the group's value changed.
    bool choose();

protected:
    void clicked() override;
    void draw_indicator(painter::Painter& painter, platform::Point top_left, bool enabled,
                        bool pushed) const override;
    int indicator_size() const override;

private:
    void move_in_group(int step);

    std::string m_value;
    bool m_chosen = false; // in a group without an option group
};

} // namespace morvex

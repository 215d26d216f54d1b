// A check box: a box that is checked or clear beside its text. Bound to a
// LONG or STRING variable it holds the record's value when checked (the
// `true` field, 1 unless given) or when clear (`false`, 0); without a
// variable it keeps its own state. A click, Space or its mnemonic toggles it
// and posts EVENT:Accepted, since its value changed.
#pragma once

#include "window/checkable_control.h"

namespace morvex {

class CheckBox : public CheckableControl {
public:
    CheckBox(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return "MvxCheck"; }
    bool checked() const override { return m_checked; }
    void display() override;
    bool update() override;
    bool accepts_in_accept_all() const override { return true; }
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

protected:
    void clicked() override;
    void draw_indicator(painter::Painter& painter, platform::Point top_left, bool enabled,
                        bool pushed) const override;
    int indicator_size() const override;

private:
    void set_checked(bool checked);

    int64_t m_true_value;
    int64_t m_false_value;
    bool m_checked = false;
};

} // namespace morvex

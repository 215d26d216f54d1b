#include "window/check_box.h"

#include "window/bound_value.h"
#include "window/control_drawing.h"
#include "window/events.h"
#include "window/property_numbers.h"

namespace morvex {

CheckBox::CheckBox(Window& window, const ControlDefinition& definition)
    : CheckableControl(window, definition), m_true_value(definition.number(wdf::Field::TrueValue, 1)),
      m_false_value(definition.number(wdf::Field::FalseValue, 0)) {}

int CheckBox::indicator_size() const {
    return CheckBoxSize;
}

void CheckBox::draw_indicator(painter::Painter& painter, platform::Point top_left, bool enabled,
                              bool pushed) const {
    DrawCheckBox(painter, top_left, m_checked, enabled, pushed);
}

void CheckBox::display() {
    if (!m_binding.has_variable())
        return;
    const BoundVariable& variable = m_binding.variable;
    // A STRING variable holds the values as decimal text.
    const bool checked = IsTextVariable(variable)
                             ? VariableText(variable) == std::to_string(m_true_value)
                             : VariableNumber(variable) == static_cast<double>(m_true_value);
    if (checked != m_checked) {
        m_checked = checked;
        invalidate();
    }
}

bool CheckBox::update() {
    if (!m_binding.has_variable())
        return false;
    const std::vector<uint8_t> before = VariableBytes(m_binding.variable);
    SetVariableNumber(m_binding.variable, static_cast<double>(m_checked ? m_true_value : m_false_value));
    return VariableBytes(m_binding.variable) != before;
}

void CheckBox::set_checked(bool checked) {
    if (checked != m_checked) {
        m_checked = checked;
        invalidate();
    }
    update();
}

void CheckBox::clicked() {
    set_checked(!m_checked);
    post(Event::Accepted);
}

std::optional<std::string> CheckBox::get_property(uint32_t number) {
    if (number == Prop::Checked)
        return FlagText(m_checked);
    return CheckableControl::get_property(number);
}

bool CheckBox::set_property(uint32_t number, int32_t index, std::string_view value) {
    if (number == Prop::Checked) {
        set_checked(FlagValue(value));
        return true;
    }
    return CheckableControl::set_property(number, index, value);
}

} // namespace morvex

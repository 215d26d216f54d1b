#include "window/option_group.h"

#include "platform/window_messages.h"
#include "window/bound_value.h"
#include "window/control_drawing.h"
#include "window/events.h"
#include "window/property_numbers.h"
#include "window/window.h"

namespace morvex {

namespace {

constexpr uint32_t BoxedStyle = 0x1;

bool is_radio(const Control& control) {
    return control.type() == wdf::RadioControl;
}

} // namespace

int32_t RadioGroup::position_of(const RadioButton* radio) const {
    for (std::size_t i = 0; i < radios.size(); ++i)
        if (radios[i] == radio)
            return static_cast<int32_t>(i + 1);
    return 0;
}

RadioButton* RadioGroup::chosen() const {
    for (RadioButton* radio : radios)
        if (radio->checked())
            return radio;
    return nullptr;
}

bool RadioGroup::inside(const OptionGroup& option, const Control& radio) {
    const platform::Rect r = radio.rect();
    return option.rect().contains({r.left + r.width() / 2, r.top + r.height() / 2});
}

RadioGroup RadioGroupOf(const Window& window, const Control* member) {
    RadioGroup group;
    const auto& controls = window.controls();
    std::size_t at = 0;
    while (at < controls.size() && controls[at].get() != member)
        ++at;
    if (at == controls.size())
        return group;
    // The run of radio records around the member, and the option group before it.
    std::size_t first = at;
    if (is_radio(*member)) {
        while (first > 0 && is_radio(*controls[first - 1]))
            --first;
    } else {
        first = at + 1;
    }
    std::size_t last = first;
    while (last < controls.size() && is_radio(*controls[last]))
        ++last;
    OptionGroup* option = first > 0 ? dynamic_cast<OptionGroup*>(controls[first - 1].get()) : nullptr;
    // The option group's radios lie inside it; the rest of the run is a group of its own.
    std::size_t split = first;
    if (option)
        while (split < last && RadioGroup::inside(*option, *controls[split]))
            ++split;
    const bool in_option = !is_radio(*member) || at < split;
    if (in_option)
        group.option = option;
    for (std::size_t i = in_option ? first : split; i < (in_option ? split : last); ++i)
        if (auto* radio = dynamic_cast<RadioButton*>(controls[i].get()))
            group.radios.push_back(radio);
    return group;
}

// ---- OptionGroup -----------------------------------------------------------

void OptionGroup::paint(painter::Painter& painter) {
    if (m_definition.number(wdf::Field::GroupStyle) & BoxedStyle)
        paint_frame(painter);
}

void OptionGroup::repaint_radios() const {
    for (RadioButton* radio : RadioGroupOf(m_window, this).radios)
        radio->invalidate();
}

void OptionGroup::display() {
    repaint_radios();
}

void OptionGroup::attributes_changed(uint32_t changed) {
    GroupBox::attributes_changed(changed);
    repaint_radios();
}

std::string OptionGroup::value_of(const RadioButton& radio, int32_t position) const {
    if (!radio.value_text().empty())
        return radio.value_text();
    if (IsTextVariable(m_binding.variable))
        return radio.caption();
    return std::to_string(position);
}

bool OptionGroup::is_chosen(const RadioButton& radio, int32_t position) const {
    if (!m_binding.has_variable())
        return m_chosen_feq == radio.feq();
    const std::string value = value_of(radio, position);
    if (IsTextVariable(m_binding.variable))
        return VariableText(m_binding.variable) == TrimBlanks(value);
    return VariableNumber(m_binding.variable) == NumberOfText(value);
}

bool OptionGroup::choose(const RadioButton& radio, int32_t position) {
    bool changed;
    if (m_binding.has_variable()) {
        const std::vector<uint8_t> before = VariableBytes(m_binding.variable);
        SetVariableText(m_binding.variable, value_of(radio, position));
        changed = VariableBytes(m_binding.variable) != before;
    } else {
        changed = m_chosen_feq != radio.feq();
        m_chosen_feq = radio.feq();
    }
    if (changed)
        repaint_radios();
    return changed;
}

std::optional<std::string> OptionGroup::get_property(uint32_t number) {
    const RadioGroup group = RadioGroupOf(m_window, this);
    if (number == Prop::Selection)
        return std::to_string(group.position_of(group.chosen()));
    if (number == Prop::ChoiceCount)
        return std::to_string(group.radios.size());
    return GroupBox::get_property(number);
}

bool OptionGroup::set_property(uint32_t number, int32_t index, std::string_view value) {
    if (number == Prop::Selection) {
        const RadioGroup group = RadioGroupOf(m_window, this);
        const int64_t position = NumberValue(value);
        if (position >= 1 && position <= static_cast<int64_t>(group.radios.size()))
            choose(*group.radios[static_cast<std::size_t>(position - 1)], static_cast<int32_t>(position));
        return true;
    }
    return GroupBox::set_property(number, index, value);
}

// ---- RadioButton -----------------------------------------------------------

RadioButton::RadioButton(Window& window, const ControlDefinition& definition)
    : CheckableControl(window, definition), m_value(definition.value_text) {}

int RadioButton::indicator_size() const {
    return RadioSize;
}

void RadioButton::draw_indicator(painter::Painter& painter, platform::Point top_left, bool enabled,
                                 bool pushed) const {
    DrawRadio(painter, top_left, checked(), enabled, pushed);
}

bool RadioButton::checked() const {
    const RadioGroup group = RadioGroupOf(m_window, this);
    if (group.option)
        return group.option->is_chosen(*this, group.position_of(this));
    return m_chosen;
}

bool RadioButton::effectively_enabled() const {
    if (!CheckableControl::effectively_enabled())
        return false;
    const RadioGroup group = RadioGroupOf(m_window, this);
    return !group.option || group.option->effectively_enabled();
}

bool RadioButton::takes_focus() const {
    // Tab stops at the chosen radio of a group, or at its first one that
    // could take the focus while none is chosen.
    if (checked())
        return true;
    const RadioGroup group = RadioGroupOf(m_window, this);
    if (group.chosen())
        return false;
    for (RadioButton* radio : group.radios)
        if (radio->effectively_visible() && radio->effectively_enabled() && !radio->has_attribute(AttrSkip))
            return radio == this;
    return false;
}

bool RadioButton::choose() {
    RadioGroup group = RadioGroupOf(m_window, this);
    if (group.option)
        return group.option->choose(*this, group.position_of(this));
    const bool changed = !m_chosen;
    for (RadioButton* radio : group.radios) {
        if (radio->m_chosen != (radio == this)) {
            radio->m_chosen = radio == this;
            radio->invalidate();
        }
    }
    return changed;
}

void RadioButton::clicked() {
    if (!choose())
        return;
    const RadioGroup group = RadioGroupOf(m_window, this);
    if (group.option)
        group.option->post(Event::Accepted);
    else
        post(Event::Accepted);
}

bool RadioButton::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    if (modifiers != 0)
        return false;
    return virtual_key == platform::VkSpace || virtual_key == platform::VkUp ||
           virtual_key == platform::VkDown || virtual_key == platform::VkLeft ||
           virtual_key == platform::VkRight;
}

void RadioButton::move_in_group(int step) {
    const RadioGroup group = RadioGroupOf(m_window, this);
    const auto count = static_cast<int32_t>(group.radios.size());
    const int32_t from = group.position_of(this) - 1;
    if (count < 2 || from < 0)
        return;
    // Round the group, passing by radios that cannot be chosen now.
    for (int32_t i = 1; i < count; ++i) {
        RadioButton* next =
            group.radios[static_cast<std::size_t>(((from + step * i) % count + count) % count)];
        if (next->effectively_visible() && next->effectively_enabled()) {
            next->focus();
            next->clicked();
            return;
        }
    }
}

bool RadioButton::handle_message(const platform::Message& message, intptr_t& result) {
    if (message.number == platform::MsgKeyDown) {
        switch (message.wparam) {
        case platform::VkUp:
        case platform::VkLeft:
            move_in_group(-1);
            return true;
        case platform::VkDown:
        case platform::VkRight:
            move_in_group(1);
            return true;
        default:
            break;
        }
    }
    return CheckableControl::handle_message(message, result);
}

std::optional<std::string> RadioButton::get_property(uint32_t number) {
    if (number == Prop::Checked)
        return FlagText(checked());
    return CheckableControl::get_property(number);
}

bool RadioButton::set_property(uint32_t number, int32_t index, std::string_view value) {
    if (number == Prop::Checked) {
        // Checking chooses the radio; a radio is cleared by choosing another.
        if (FlagValue(value))
            choose();
        return true;
    }
    return CheckableControl::set_property(number, index, value);
}

} // namespace morvex

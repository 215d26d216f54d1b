// A combo box (types 15 and 34): a drop-down list whose field is an edit
// part. Typed text is taken into the variable through the control's picture
// when the focus leaves, posting EVENT:Accepted when that changed the value;
// choosing an entry from the list (or stepping with Up and Down) sets the
// variable and the edit part as a drop-down list does. Only the button
// drops the list; clicks on the field place the caret.
#pragma once

#include "window/drop_list.h"
#include "window/line_editor.h"

namespace morvex {

class ComboBox : public DropList {
public:
    ComboBox(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return "MvxCombo"; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    bool takes_text() const override { return true; }
    void display() override;
    bool update() override;
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

protected:
    bool has_edit_part() const override { return true; }
    void value_chosen() override;
    std::string current_value() const override;
    std::string field_text() const override { return m_editor.text(); }
    std::string text() const override { return m_editor.text(); }
    void set_text(std::string_view text) override;

private:
    LineEditor m_editor;
    ValuePicture m_picture;
    bool m_selecting = false;
};

} // namespace morvex

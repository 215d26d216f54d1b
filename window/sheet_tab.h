// A tab of a sheet (type 38, class "MvxTab"): a caption in the sheet's row
// of tabs (its text, "&" marking the letter that Alt turns to it) and the
// page of controls that follow its record (the record's `count` of them;
// the window makes the tab their owner). It belongs to the sheet named by
// its record's `sheet` number, else to the last sheet before it. Its window
// covers the sheet's page while it is selected: the sheet draws the page,
// the tab draws its drawn controls on it, its other controls lie on top. Hidden or disabled with its
// sheet; hiding a tab takes its caption out of the row.
#pragma once

#include "window/control.h"

namespace morvex {

class Sheet;

class SheetTab : public Control {
public:
    SheetTab(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return "MvxTab"; }
    void create(platform::WindowHandle parent) override;
    // The tab's drawn controls (images, shapes): beneath the control windows
    // as usual, yet above the sheet's page.
    void paint(painter::Painter& painter) override;
    bool takes_focus() const override { return false; }
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    void activate_mnemonic() override;
    bool effectively_visible() const override;
    bool effectively_enabled() const override;
    // Whether this is its sheet's selected tab.
    bool shows_children() const override;

    Sheet* sheet() const;
    int32_t sheet_number() const { return m_sheet; }
    // The caption as drawn (without "&" markers) and as given.
    std::string caption() const { return m_text; }

protected:
    void set_text(std::string_view text) override;
    void attributes_changed(uint32_t changed) override;

private:
    int32_t m_sheet = 0;
};

} // namespace morvex

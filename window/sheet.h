// A sheet (type 37, class "MvxSheet"): a page with a row of classic raised
// tabs along one side, the record's placement byte saying which (0 top,
// 1 bottom, 2 left, 3 right; tabs on the left or right keep their captions
// level). Its tabs are the SheetTab controls that name it (or follow it in
// record order); the controls on a tab are the ones that follow the tab's
// record (window/sheet_tab.h), shown only while their tab is selected.
//
// The user turns the pages by clicking a tab, with Ctrl+Tab and
// Ctrl+Shift+Tab anywhere on the sheet (round from the last tab to the
// first), or with the arrow keys along the tabs while the sheet has the
// focus. Each turn posts EVENT:TabChanging, and only once the procedure has
// had it, with the old tab still selected, does the page change and
// EVENT:NewSelection follow. The bound variable holds the selected tab's
// number (1-based); the record's `selection` gives the first one. The
// Selection property reads and sets it (setting posts no events);
// ChoiceCount is the number of tabs.
#pragma once

#include "window/control.h"

#include <vector>

namespace morvex {

class SheetTab;

class Sheet : public Control {
public:
    enum Placement : uint8_t { Top = 0, Bottom = 1, Left = 2, Right = 3 };

    Sheet(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return "MvxSheet"; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    void display() override;
    bool update() override;
    // SELECT(sheet, tab): turns to the tab without events.
    void select(int32_t row, int32_t column) override;
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    Placement placement() const { return m_placement; }
    // The sheet's tabs in record order.
    std::vector<SheetTab*> tabs() const;
    // The selected tab's number (1-based; 0 when the sheet has no tabs).
    int selected() const;
    const SheetTab* selected_tab() const;
    // Turns to tab `number` as the user does (EVENT:TabChanging, then the change).
    void choose(int number);
    // Turns to it at once, without events.
    void set_selected(int number);
    // The page below (beside) the tabs, in the sheet's coordinates.
    platform::Rect page_rect();
    // A tab's caption, visibility or state changed.
    void tabs_changed();
    // Shows the controls of the selected tab and hides the others'.
    void show_pages();
    // Ctrl+Tab and Ctrl+Shift+Tab, as the sheet and its tabs take them.
    static bool is_turn_key(uint32_t virtual_key, uint32_t modifiers);
    void turn_key(uint32_t modifiers);

protected:
    void attributes_changed(uint32_t changed) override;

private:
    struct Place {
        SheetTab* tab;
        int number;
        platform::Rect rect;
    };
    std::vector<Place> places();
    int strip_depth();
    void step(int delta, bool wrap);
    bool vertical() const { return m_placement == Left || m_placement == Right; }

    Placement m_placement = Top;
    int m_selected = 1;
};

} // namespace morvex

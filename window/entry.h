// The entry: a single-line field through which a procedure edits a variable.
// It shows the variable through its picture, lets the user type (insert or
// overwrite, the one state the whole program shares), converts the text
// back when the focus leaves, and posts EVENT:Accepted, or EVENT:Rejected
// with the reason when the picture cannot take the text. The entry byte of
// its record makes it read-only, a password field, upper case or
// capitalising; copy, cut and paste go through the display's clipboard.
//
// An edit-in-place entry (created by the framework over a list cell) wants
// every key, Tab and Enter included, and tells its window with
// QUERY_EDITDONE when it was left.
#pragma once

#include "window/bound_value.h"
#include "window/control.h"
#include "window/line_editor.h"
#include "window/pattern_slots.h"

namespace morvex {

// Bits of the entry byte of the record.
enum EntryFlags : uint8_t {
    EntryReadOnly = 0x80,
    EntryPassword = 0x40,
    EntryUpperCase = 0x20,
    EntryCapitalise = 0x10,
    EntryFitsItsWidth = 0x01, // typing stops when the visible width is full
};

// Reasons EVENT:Rejected carries (in its wparam).
enum EntryRejection : uint16_t {
    RejectedNothing = 0,
    RejectedNotANumber = 1,  // a numeric picture cannot read the text
    RejectedInvalidDate = 2, // a date picture cannot read the text as a date
    RejectedInvalidTime = 3,
    RejectedPattern = 4, // the text does not fill a pattern picture
};

class Entry : public Control {
public:
    Entry(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return "MvxEdit"; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    bool takes_text() const override { return true; }
    void display() override;
    bool update() override;
    bool validate() override;
    bool accepts_in_accept_all() const override { return !read_only(); }
    void select(int32_t row, int32_t column) override;
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    // The text as the entry shows it now.
    const std::string& shown_text() const { return m_editor.text(); }
    bool read_only() const { return (m_flags & EntryReadOnly) != 0 || has_attribute(AttrReadOnly); }
    void set_edit_in_place(bool edit_in_place) { m_edit_in_place = edit_in_place; }
    // The one insert or overwrite state of the program.
    static bool overwriting();

private:
    // The reason the text cannot go into the variable, 0 when it can.
    uint16_t check_text() const;
    void leave();
    void undo();
    void type(uint8_t character, uint32_t modifiers);
    // Pattern and key-in pictures: typing fills the next slot, Backspace and
    // Delete blank one; false for other pictures.
    bool type_in_slot(uint8_t character);
    bool blank_slot(bool before_caret);
    bool fits(uint8_t character) const;
    void copy_selection(bool cut);
    void paste();
    int text_area_width() const;

    LineEditor m_editor;
    ValuePicture m_picture;
    std::optional<PatternSlots> m_slots; // of a pattern or key-in picture
    uint8_t m_flags = 0;
    bool m_needs_validation = true;
    bool m_select_all_on_focus = false;
    bool m_edit_in_place = false;
    bool m_dragging = false;
    uint16_t m_reason = 0;
};

} // namespace morvex

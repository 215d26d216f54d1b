// A drop-down list (type 33, and a list box record with a drop count): a
// field showing the selected entry, the value of the bound variable, with a
// button that drops the list of entries (the first field of each record of
// the bound queue, else the record's choices), shown through the list
// format's first picture.
//
// A click on the field or the button, Alt+Down or F4 drop the list: first
// EVENT:DroppingDown is delivered at once (a procedure that cycles it keeps
// the list closed, and one that fills the queue then sees it shown), then
// the list opens and EVENT:DroppedDown is posted. Choosing an entry (a click
// on it, Enter, F4 or Alt+Up) sets the variable, closes the list and posts
// EVENT:NewSelection then EVENT:Accepted when the value changed; Escape, Tab
// or a click elsewhere close it without a change. While closed, Up, Down,
// Home, End, the wheel and a typed first letter step through the entries
// with the same events.
#pragma once

#include "window/bound_value.h"
#include "window/choice_list.h"
#include "window/control.h"
#include "window/popup_list.h"

#include <memory>
#include <string>
#include <vector>

namespace morvex {

class DropList : public Control {
public:
    DropList(Window& window, const ControlDefinition& definition);
    ~DropList() override;

    std::string_view class_name() const override { return "MvxDrop"; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    void display() override { invalidate(); }
    bool accepts_in_accept_all() const override { return true; }
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    // Drops the list (DroppingDown first); closes it again, choosing the
    // highlighted entry or leaving the value as it was.
    void drop();
    enum class Close { Choose, Cancel };
    void close_list(Close how);
    bool dropped() const { return m_popup != nullptr; }
    bool keeps_keys() const override { return dropped(); }

    // The selected entry (0-based): the one equal to the variable, or the
    // control's own choice when it has no variable; -1 for none.
    int32_t selected() const;

protected:
    ChoiceList choices() const { return ChoiceList(m_definition.choices, m_binding.queue); }
    // Makes entry `index` the selection; with events, NewSelection and
    // Accepted follow when that changed the value. True when it changed.
    bool choose(int32_t index, bool with_events);
    // The entries as the list shows them.
    std::vector<std::string> shown_entries() const;
    // The value the selection is looked up by.
    virtual std::string current_value() const;
    // The text the closed field shows.
    virtual std::string field_text() const;
    // Combo boxes: the edit part takes typing and the field's clicks.
    virtual bool has_edit_part() const { return false; }
    // The value changed by a choice: combo boxes show it in their edit part.
    virtual void value_chosen() {}
    platform::Rect inside_rect() const;
    platform::Rect button_rect() const;
    platform::Rect field_rect() const;
    // Keys of the closed control; true when used.
    bool step_key(uint32_t virtual_key);
    bool handle_dropped(const platform::Message& message, intptr_t& result);

    ValuePicture m_entry_picture;
    int32_t m_own_choice = -1; // the selection when there is no variable
    bool m_tracking = false;   // the mouse button that dropped the list is still held
    std::unique_ptr<PopupList> m_popup;
};

// The creator for list box records: those with a drop count are drop-down
// lists; the others build nothing here.
std::unique_ptr<Control> CreateDropList(const ControlDefinition& definition, Window& window);

} // namespace morvex

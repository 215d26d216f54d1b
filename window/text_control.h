// The multi-line text (type 17, class "MvxText"): a sunken white box showing
// the bound STRING variable (without one, the control's own text) wrapped at
// word boundaries, with a vertical scroll bar when the lines overflow. The
// user edits it as a desktop edit box: caret and selection by keys (Shift
// extends, Ctrl steps by words and to either end) and by the mouse (click,
// Shift+click, drag, double click on a word), typing replaces the selection,
// Enter breaks the line ("\r\n"), Backspace and Delete. When the focus leaves
// after a change the text goes into the variable and EVENT:Accepted follows.
//
// The record's text attribute byte (Field::TextFlags):
//   0x80 read-only, as the ReadOnly attribute: the caret moves and text can
//        be selected, nothing changes
//   0x20 typed letters go in as capitals
//   0x04 the scroll bar shows always (inactive while the text fits)
//
// Properties beyond the base: Text and ScreenText are what the box holds
// (setting Text takes it into the variable at once); Selection is the first
// selected character, 1-based (the caret's when nothing is selected), and
// SelectionEnd the last (Selection - 1 when nothing is); setting Selection
// places the caret, setting SelectionEnd selects from Selection to it.
// ReadOnly reads whether either the attribute or the byte makes the text
// read-only; clearing it clears both.
#pragma once

#include "window/control.h"
#include "window/scroll_bar.h"
#include "window/text_editor.h"

#include <vector>

namespace morvex {

class TextControl : public Control {
public:
    TextControl(Window& window, const ControlDefinition& definition);

    enum Flags : uint8_t { ReadOnlyFlag = 0x80, UpperCaseFlag = 0x20, ScrollBarFlag = 0x04 };

    std::string_view class_name() const override { return "MvxText"; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    bool takes_text() const override { return true; }
    void display() override;
    bool update() override;
    bool accepts_in_accept_all() const override { return true; }
    // SELECT(control, first, last): selects characters first to last (1-based).
    void select(int32_t row, int32_t column) override;
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    bool read_only() const { return has_attribute(AttrReadOnly) || (m_flags & ReadOnlyFlag) != 0; }
    const TextEditor& editor() const { return m_editor; }

protected:
    std::string text() const override { return m_editor.text(); }
    void set_text(std::string_view text) override;

private:
    // A displayed line: text from `start` to `end` (its line break excluded);
    // `wrapped` when the paragraph goes on in the next line.
    struct Line {
        std::size_t start = 0;
        std::size_t end = 0;
        bool wrapped = false;
    };

    platform::Rect text_area() const;
    int line_height() const;
    int visible_lines() const;
    void layout();
    void wrap(std::size_t from, std::size_t to, int width);
    std::size_t line_of(std::size_t position) const;
    int x_of(const Line& line, std::size_t position);
    std::size_t position_in(const Line& line, int x);
    std::size_t position_at(platform::Point point);
    // The last position of a line the caret can stand on (before a wrapped line's last blank).
    std::size_t line_end(const Line& line) const;

    void edited();
    void moved(bool keep_goal = false);
    void show_caret();
    void take_text();
    bool key_down(uint32_t virtual_key, uint32_t modifiers);
    bool character(uint8_t c);
    void move_to(std::size_t position, bool extend, bool keep_goal = false);
    void move_lines(int delta, bool extend);
    void scroll_to(int top_line);
    void scroll_step(ScrollBar::Part part);
    void mouse_down(platform::Point point, bool extend, bool double_click);

    TextEditor m_editor;
    uint8_t m_flags = 0;
    std::vector<Line> m_lines;
    ScrollBar m_scroll;
    bool m_scroll_shown = false;
    int m_goal_x = -1;         // where Up and Down aim, -1: the caret's own x
    bool m_selecting = false;  // a drag selects
    int m_thumb_grab = -1;     // the pointer's offset in the dragged thumb
    platform::Point m_pointer; // the last pointer position while a press lasts
};

} // namespace morvex

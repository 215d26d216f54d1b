// A single-line text editor for the controls that take typed text (the edit
// part of spin boxes and combo boxes): the text in Windows-1252, a caret,
// a selection, the keys a desktop user expects, mouse placement and
// dragging, and its drawing with the selection highlighted and the caret
// shown while focused. The text scrolls sideways to keep the caret visible.
// It knows nothing of variables: its owner takes the text when it was
// modified.
#pragma once

#include "platform/geometry.h"
#include "window/painter/color.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

namespace painter {
class Painter;
class Font;
} // namespace painter

class LineEditor {
public:
    const std::string& text() const { return m_text; }
    // Replaces the text (not a modification); the caret goes to its end.
    void set_text(std::string_view text);
    // Replaces the text as typing over all of it would (a modification).
    void type_over(std::string_view text);
    // Typing, deleting or pasting changed the text since set_text or clear_modified.
    bool modified() const { return m_modified; }
    void clear_modified() { m_modified = false; }
    // The most characters typing may make (0 = no limit).
    void set_limit(std::size_t limit) { m_limit = limit; }

    std::size_t caret() const { return m_caret; }
    bool has_selection() const { return m_anchor != m_caret; }
    std::size_t selection_start() const { return std::min(m_anchor, m_caret); }
    std::size_t selection_end() const { return std::max(m_anchor, m_caret); }
    void select_all();
    void select(std::size_t anchor, std::size_t caret);

    // A key press (virtual key and Shift/Ctrl modifier bits of window/key_codes.h);
    // true when the editor used it.
    bool key(uint32_t virtual_key, uint32_t modifiers);
    // A typed character: printable characters replace the selection (or,
    // overwriting, the character at the caret); true when the editor used it.
    bool character(uint8_t character, bool overwrite = false);
    // Text pasted at the caret, replacing the selection (a modification).
    void paste(std::string_view text) { insert(text); }
    std::string selected_text() const {
        return m_text.substr(selection_start(), selection_end() - selection_start());
    }
    // Shown with every character as `mask` (password fields); 0 shows the text.
    void set_mask(char mask) { m_mask = mask; }
    // Selects the word at x (a double click).
    void select_word_at(int x, painter::Font& font);
    // Mouse presses and drags at x, in the coordinates `paint` drew in.
    void press(int x, bool extend, painter::Font& font);
    void drag(int x, painter::Font& font);

    // Draws the text inside `area` (its background is the caller's), the
    // selection and caret only when `focused`. `align`: 0 left, 1 right, 2 centre.
    void paint(painter::Painter& painter, const platform::Rect& area, painter::Font& font,
               painter::Color colour, bool focused, bool enabled, uint8_t align = 0);

private:
    void insert(std::string_view text);
    void erase_selection();
    void move_to(std::size_t position, bool extend);
    std::size_t word_left() const;
    std::size_t word_right() const;
    std::size_t position_at(int x, painter::Font& font) const;
    // The text as it is drawn (masked for passwords).
    std::string shown() const { return m_mask ? std::string(m_text.size(), m_mask) : m_text; }

    std::string m_text;
    std::size_t m_caret = 0;
    std::size_t m_anchor = 0;
    std::size_t m_limit = 0;
    bool m_modified = false;
    char m_mask = 0;
    // Where the last paint put the text: its left edge and the area's width,
    // so that mouse positions map to characters.
    int m_origin = 0;
    int m_scroll = 0;
};

} // namespace morvex

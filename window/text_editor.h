// The text of an editable control with its caret and selection: the editing
// operations that the multi-line text and the entry share, on Windows-1252
// text kept within a maximum length in bytes. Positions are byte offsets
// from 0 to size(); a line break "\r\n" counts as one character, so the
// caret never stands between its two bytes. What the text looks like on
// screen (lines, scrolling) is the control's business.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvex {

class TextEditor {
public:
    static constexpr std::size_t Unlimited = static_cast<std::size_t>(-1);

    explicit TextEditor(std::size_t max_length = Unlimited) : m_max_length(max_length) {}

    const std::string& text() const { return m_text; }
    // Replaces the text (cut to the maximum length); the caret goes to the
    // start and the text counts as unchanged.
    void set_text(std::string_view text);
    std::size_t max_length() const { return m_max_length; }
    void set_max_length(std::size_t max_length);

    std::size_t caret() const { return m_caret; }
    std::size_t anchor() const { return m_anchor; }
    bool has_selection() const { return m_caret != m_anchor; }
    std::size_t selection_start() const { return m_caret < m_anchor ? m_caret : m_anchor; }
    std::size_t selection_end() const { return m_caret < m_anchor ? m_anchor : m_caret; }
    std::string selected_text() const;

    enum class Selection { Collapse, Extend };
    // Moves the caret (to the nearest character boundary); with Extend the
    // selection runs from the anchor to it.
    void move_caret(std::size_t position, Selection how = Selection::Collapse);
    void select(std::size_t anchor, std::size_t caret);
    void select_all() { select(0, m_text.size()); }

    // Replaces the selection with `text`, as much of it as the maximum
    // length leaves room for; false when nothing changed.
    bool insert(std::string_view text);
    // Backspace and Delete: the selection, else the character before or
    // after the caret.
    bool erase_backward();
    bool erase_forward();

    // Character and word steps from a position.
    std::size_t previous(std::size_t position) const;
    std::size_t next(std::size_t position) const;
    std::size_t word_start_before(std::size_t position) const;
    std::size_t word_start_after(std::size_t position) const;
    // The word (or run of blanks) around a position, for a double click.
    std::size_t word_begin(std::size_t position) const;
    std::size_t word_end(std::size_t position) const;

    // Whether the text changed since set_text or the last set_modified(false).
    bool modified() const { return m_modified; }
    void set_modified(bool modified) { m_modified = modified; }

private:
    std::size_t boundary(std::size_t position) const;
    void erase_range(std::size_t from, std::size_t to);

    std::string m_text;
    std::size_t m_max_length;
    std::size_t m_caret = 0;
    std::size_t m_anchor = 0;
    bool m_modified = false;
};

} // namespace morvex

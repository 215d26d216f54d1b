#include "window/text_editor.h"

#include <algorithm>

namespace morvex {

namespace {

bool is_break(char c) {
    return c == '\r' || c == '\n';
}
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
// Letters, digits and everything else that is neither a blank, a line break
// nor punctuation make words.
bool is_word(char c) {
    const auto u = static_cast<unsigned char>(c);
    return !is_blank(c) && !is_break(c) &&
           (u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
            c == '_');
}

int kind_of(char c) {
    return is_word(c) ? 0 : is_blank(c) ? 1 : is_break(c) ? 2 : 3;
}

// A line break can be cut to its "\r" by the maximum length: never end a
// text between the two bytes of one.
std::size_t fitting(std::string_view text, std::size_t room) {
    std::size_t length = std::min(text.size(), room);
    if (length > 0 && length < text.size() && text[length - 1] == '\r' && text[length] == '\n')
        --length;
    return length;
}

} // namespace

void TextEditor::set_text(std::string_view text) {
    m_text.assign(text.substr(0, fitting(text, m_max_length)));
    m_caret = m_anchor = 0;
    m_modified = false;
}

void TextEditor::set_max_length(std::size_t max_length) {
    m_max_length = max_length;
    if (m_text.size() > max_length) {
        m_text.resize(fitting(m_text, max_length));
        m_caret = std::min(m_caret, m_text.size());
        m_anchor = std::min(m_anchor, m_text.size());
    }
}

std::string TextEditor::selected_text() const {
    return m_text.substr(selection_start(), selection_end() - selection_start());
}

std::size_t TextEditor::boundary(std::size_t position) const {
    position = std::min(position, m_text.size());
    if (position > 0 && position < m_text.size() && m_text[position - 1] == '\r' && m_text[position] == '\n')
        --position;
    return position;
}

void TextEditor::move_caret(std::size_t position, Selection how) {
    m_caret = boundary(position);
    if (how == Selection::Collapse)
        m_anchor = m_caret;
}

void TextEditor::select(std::size_t anchor, std::size_t caret) {
    m_anchor = boundary(anchor);
    m_caret = boundary(caret);
}

bool TextEditor::insert(std::string_view text) {
    const std::size_t start = selection_start();
    const std::size_t end = selection_end();
    const std::size_t room =
        m_max_length == Unlimited ? text.size() : m_max_length - (m_text.size() - (end - start));
    const std::size_t length = fitting(text, room);
    if (length == 0 && start == end)
        return false;
    m_text.replace(start, end - start, text.substr(0, length));
    m_caret = m_anchor = start + length;
    m_modified = true;
    return true;
}

void TextEditor::erase_range(std::size_t from, std::size_t to) {
    m_text.erase(from, to - from);
    m_caret = m_anchor = from;
    m_modified = true;
}

bool TextEditor::erase_backward() {
    if (has_selection()) {
        erase_range(selection_start(), selection_end());
        return true;
    }
    if (m_caret == 0)
        return false;
    erase_range(previous(m_caret), m_caret);
    return true;
}

bool TextEditor::erase_forward() {
    if (has_selection()) {
        erase_range(selection_start(), selection_end());
        return true;
    }
    if (m_caret >= m_text.size())
        return false;
    erase_range(m_caret, next(m_caret));
    return true;
}

std::size_t TextEditor::previous(std::size_t position) const {
    position = boundary(position);
    if (position == 0)
        return 0;
    if (position >= 2 && m_text[position - 2] == '\r' && m_text[position - 1] == '\n')
        return position - 2;
    return position - 1;
}

std::size_t TextEditor::next(std::size_t position) const {
    position = boundary(position);
    if (position >= m_text.size())
        return m_text.size();
    if (m_text[position] == '\r' && position + 1 < m_text.size() && m_text[position + 1] == '\n')
        return position + 2;
    return position + 1;
}

std::size_t TextEditor::word_start_before(std::size_t position) const {
    position = boundary(position);
    // Back over blanks, then over the run of one kind before them.
    while (position > 0 && is_blank(m_text[position - 1]))
        --position;
    if (position == 0)
        return 0;
    if (is_break(m_text[position - 1]))
        return previous(position);
    const int kind = kind_of(m_text[position - 1]);
    while (position > 0 && kind_of(m_text[position - 1]) == kind)
        --position;
    return position;
}

std::size_t TextEditor::word_start_after(std::size_t position) const {
    position = boundary(position);
    if (position >= m_text.size())
        return m_text.size();
    if (is_break(m_text[position]))
        return next(position);
    // Over the run of one kind, then over the blanks after it.
    const int kind = kind_of(m_text[position]);
    while (position < m_text.size() && kind_of(m_text[position]) == kind && kind != 1)
        ++position;
    while (position < m_text.size() && is_blank(m_text[position]))
        ++position;
    return position;
}

std::size_t TextEditor::word_begin(std::size_t position) const {
    position = boundary(position);
    if (position >= m_text.size() || is_break(m_text[position]))
        return position;
    const int kind = kind_of(m_text[position]);
    while (position > 0 && kind_of(m_text[position - 1]) == kind)
        --position;
    return position;
}

std::size_t TextEditor::word_end(std::size_t position) const {
    position = boundary(position);
    if (position >= m_text.size() || is_break(m_text[position]))
        return position;
    const int kind = kind_of(m_text[position]);
    while (position < m_text.size() && kind_of(m_text[position]) == kind)
        ++position;
    return position;
}

} // namespace morvex

#include "window/line_editor.h"

#include "platform/window_messages.h"
#include "window/key_codes.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <algorithm>

namespace morvex {

namespace {

bool is_word_character(char c) {
    return c != ' ' && c != '\t';
}

} // namespace

void LineEditor::set_text(std::string_view text) {
    m_text = std::string(text);
    m_caret = m_anchor = m_text.size();
    m_modified = false;
}

void LineEditor::type_over(std::string_view text) {
    m_text = std::string(text);
    m_caret = m_anchor = m_text.size();
    m_modified = true;
}

void LineEditor::select_all() {
    m_anchor = 0;
    m_caret = m_text.size();
}

void LineEditor::select(std::size_t anchor, std::size_t caret) {
    m_anchor = std::min(anchor, m_text.size());
    m_caret = std::min(caret, m_text.size());
}

void LineEditor::move_to(std::size_t position, bool extend) {
    m_caret = std::min(position, m_text.size());
    if (!extend)
        m_anchor = m_caret;
}

std::size_t LineEditor::word_left() const {
    std::size_t at = m_caret;
    while (at > 0 && !is_word_character(m_text[at - 1]))
        --at;
    while (at > 0 && is_word_character(m_text[at - 1]))
        --at;
    return at;
}

std::size_t LineEditor::word_right() const {
    std::size_t at = m_caret;
    while (at < m_text.size() && is_word_character(m_text[at]))
        ++at;
    while (at < m_text.size() && !is_word_character(m_text[at]))
        ++at;
    return at;
}

void LineEditor::erase_selection() {
    if (!has_selection())
        return;
    const std::size_t start = selection_start();
    m_text.erase(start, selection_end() - start);
    m_caret = m_anchor = start;
    m_modified = true;
}

void LineEditor::insert(std::string_view text) {
    erase_selection();
    if (m_limit != 0)
        text = text.substr(0, m_limit > m_text.size() ? m_limit - m_text.size() : 0);
    if (text.empty())
        return;
    m_text.insert(m_caret, text);
    m_caret += text.size();
    m_anchor = m_caret;
    m_modified = true;
}

bool LineEditor::key(uint32_t virtual_key, uint32_t modifiers) {
    const bool shift = (modifiers & ShiftKeyBit) != 0;
    const bool ctrl = (modifiers & CtrlKeyBit) != 0;
    if (modifiers & AltKeyBit)
        return false;
    switch (virtual_key) {
    case platform::VkLeft:
        if (!shift && !ctrl && has_selection())
            move_to(selection_start(), false);
        else
            move_to(ctrl ? word_left() : (m_caret > 0 ? m_caret - 1 : 0), shift);
        return true;
    case platform::VkRight:
        if (!shift && !ctrl && has_selection())
            move_to(selection_end(), false);
        else
            move_to(ctrl ? word_right() : m_caret + 1, shift);
        return true;
    case platform::VkHome:
        move_to(0, shift);
        return true;
    case platform::VkEnd:
        move_to(m_text.size(), shift);
        return true;
    case platform::VkBack:
        if (!has_selection() && m_caret > 0)
            m_anchor = ctrl ? word_left() : m_caret - 1;
        erase_selection();
        return true;
    case platform::VkDelete:
        if (!has_selection() && m_caret < m_text.size())
            m_anchor = ctrl ? word_right() : m_caret + 1;
        erase_selection();
        return true;
    case 'A':
        if (!ctrl)
            return false;
        select_all();
        return true;
    default:
        return false;
    }
}

bool LineEditor::character(uint8_t c, bool overwrite) {
    // Control characters (Backspace, Enter, Escape, Ctrl+letter) come as keys.
    if (c < 0x20 || c == 0x7F)
        return false;
    if (overwrite && !has_selection() && m_caret < m_text.size())
        m_anchor = m_caret + 1;
    const char text[1] = {static_cast<char>(c)};
    insert(std::string_view(text, 1));
    return true;
}

void LineEditor::select_word_at(int x, painter::Font& font) {
    move_to(position_at(x, font), false);
    std::size_t start = m_caret, end = m_caret;
    while (start > 0 && is_word_character(m_text[start - 1]))
        --start;
    while (end < m_text.size() && is_word_character(m_text[end]))
        ++end;
    select(start, end);
}

std::size_t LineEditor::position_at(int x, painter::Font& font) const {
    const int target = x - m_origin + m_scroll;
    int pen = 0;
    const std::string text = shown();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int advance = font.char_width(static_cast<uint8_t>(text[i]));
        if (target < pen + advance / 2)
            return i;
        pen += advance;
    }
    return m_text.size();
}

void LineEditor::press(int x, bool extend, painter::Font& font) {
    move_to(position_at(x, font), extend);
}

void LineEditor::drag(int x, painter::Font& font) {
    move_to(position_at(x, font), true);
}

void LineEditor::paint(painter::Painter& painter, const platform::Rect& area, painter::Font& font,
                       painter::Color colour, bool focused, bool enabled, uint8_t align) {
    if (area.empty())
        return;
    const int width = area.width();
    const std::string shown_text = shown();
    const int text_width = font.text_width(shown_text);
    const int caret_x = font.text_width(std::string_view(shown_text).substr(0, m_caret));
    // Scrolled only as far as the caret needs; text that fits is placed by the alignment.
    if (text_width < width) {
        m_scroll = align == 1 ? text_width - width + 1 : align == 2 ? (text_width - width) / 2 : 0;
    } else {
        m_scroll = std::clamp(m_scroll, 0, text_width - width + 1);
        if (caret_x - m_scroll > width - 1)
            m_scroll = caret_x - width + 1;
        if (caret_x < m_scroll)
            m_scroll = caret_x;
    }
    m_origin = area.left;
    const int top = area.top + (area.height() - font.metrics().height) / 2;
    const int left = area.left - m_scroll;
    painter::Painter inside = painter.clipped_to(area);
    using painter::SystemColor;
    if (!enabled) {
        inside.draw_text({left, top}, shown_text, font, painter::system_color(SystemColor::GrayText));
        return;
    }
    const bool show_selection = focused && has_selection();
    const std::string_view text = shown_text;
    if (!show_selection) {
        inside.draw_text({left, top}, text, font, colour);
    } else {
        const std::size_t start = selection_start();
        const std::size_t end = selection_end();
        const int start_x = left + font.text_width(text.substr(0, start));
        const int end_x = left + font.text_width(text.substr(0, end));
        inside.draw_text({left, top}, text.substr(0, start), font, colour);
        inside.fill_rect({start_x, top, end_x, top + font.metrics().height},
                         painter::system_color(SystemColor::Highlight));
        inside.draw_text({start_x, top}, text.substr(start, end - start), font,
                         painter::system_color(SystemColor::HighlightText));
        inside.draw_text({end_x, top}, text.substr(end), font, colour);
    }
    if (focused)
        inside.draw_vline(left + caret_x, top, font.metrics().height, colour);
}

} // namespace morvex

#include "window/text_control.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/char_tables.h"
#include "window/bound_value.h"
#include "window/key_codes.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>
#include <chrono>

namespace morvex {

namespace {

using painter::system_color;
using painter::SystemColor;

constexpr int BorderWidth = 2;
constexpr int PaddingX = 2;
constexpr int PaddingTop = 1;
constexpr int WheelLines = 3;
constexpr uintptr_t RepeatTimer = 3;
constexpr std::chrono::milliseconds RepeatDelay{400};
constexpr std::chrono::milliseconds RepeatInterval{50};

bool is_break(char c) {
    return c == '\r' || c == '\n';
}
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

platform::Point point_of(const platform::Message& message) {
    return {platform::LowWordSigned(message.lparam), platform::HighWordSigned(message.lparam)};
}

} // namespace

TextControl::TextControl(Window& window, const ControlDefinition& definition) : Control(window, definition) {
    m_flags = static_cast<uint8_t>(definition.number(wdf::Field::TextFlags));
    m_editor.set_text(definition.text);
    layout();
}

// ---- Layout ---------------------------------------------------------------------

int TextControl::line_height() const {
    const auto font = this->font();
    return font ? std::max(1, font->metrics().height) : 13;
}

platform::Rect TextControl::text_area() const {
    const int right = m_rect.width() - BorderWidth - (m_scroll_shown ? ScrollBar::Width : 0) - PaddingX;
    return {BorderWidth + PaddingX, BorderWidth + PaddingTop, std::max(BorderWidth + PaddingX, right),
            std::max(BorderWidth + PaddingTop, m_rect.height() - BorderWidth)};
}

int TextControl::visible_lines() const {
    return std::max(1, text_area().height() / line_height());
}

void TextControl::wrap(std::size_t from, std::size_t to, int width) {
    const std::string& text = m_editor.text();
    const auto font = this->font();
    std::size_t start = from;
    do {
        int x = 0;
        std::size_t after_blank = std::string::npos;
        std::size_t i = start;
        while (i < to) {
            const int w = font ? font->char_width(static_cast<uint8_t>(text[i])) : 0;
            // Blanks hang past the right edge; a word that does not fit moves on.
            if (is_blank(text[i])) {
                x += w;
                after_blank = ++i;
                continue;
            }
            if (x + w > width && i > start)
                break;
            x += w;
            ++i;
        }
        std::size_t end = i;
        if (i < to && after_blank != std::string::npos && after_blank > start)
            end = after_blank;
        m_lines.push_back({start, end, end < to});
        start = end;
    } while (start < to);
}

void TextControl::layout() {
    const std::string& text = m_editor.text();
    const int lines_shown = visible_lines();
    // Laid out without the scroll bar first; with it when the lines overflow.
    for (int pass = 0; pass < 2; ++pass) {
        m_scroll_shown = pass == 1 || (m_flags & ScrollBarFlag) != 0;
        m_lines.clear();
        const int width = text_area().width();
        std::size_t from = 0;
        while (true) {
            std::size_t to = from;
            while (to < text.size() && !is_break(text[to]))
                ++to;
            wrap(from, to, width);
            if (to >= text.size())
                break;
            from = to + (text[to] == '\r' && to + 1 < text.size() && text[to + 1] == '\n' ? 2 : 1);
            if (from >= text.size()) {
                m_lines.push_back({from, from, false}); // the empty line after a final break
                break;
            }
        }
        if (m_scroll_shown || static_cast<int>(m_lines.size()) <= lines_shown)
            break;
    }
    m_scroll.set_rect({m_rect.width() - BorderWidth - ScrollBar::Width, BorderWidth,
                       m_rect.width() - BorderWidth, m_rect.height() - BorderWidth});
    m_scroll.set_range(static_cast<int>(m_lines.size()), visible_lines());
}

std::size_t TextControl::line_of(std::size_t position) const {
    const auto after = std::upper_bound(m_lines.begin(), m_lines.end(), position,
                                        [](std::size_t p, const Line& line) { return p < line.start; });
    return after == m_lines.begin() ? 0 : static_cast<std::size_t>(after - m_lines.begin()) - 1;
}

std::size_t TextControl::line_end(const Line& line) const {
    if (line.wrapped && line.end > line.start)
        return line.end - 1;
    return line.end;
}

int TextControl::x_of(const Line& line, std::size_t position) {
    const auto font = this->font();
    if (!font || position <= line.start)
        return 0;
    return font->text_width(
        std::string_view(m_editor.text()).substr(line.start, std::min(position, line.end) - line.start));
}

std::size_t TextControl::position_in(const Line& line, int x) {
    const auto font = this->font();
    const std::string& text = m_editor.text();
    const std::size_t last = line_end(line);
    int left = 0;
    for (std::size_t i = line.start; i < last; ++i) {
        const int w = font ? font->char_width(static_cast<uint8_t>(text[i])) : 0;
        if (x < left + (w + 1) / 2)
            return i;
        left += w;
    }
    return last;
}

std::size_t TextControl::position_at(platform::Point point) {
    if (m_lines.empty())
        return 0;
    const platform::Rect area = text_area();
    const int row = point.y < area.top ? -1 : (point.y - area.top) / line_height();
    const int index = std::clamp(m_scroll.position() + row, 0, static_cast<int>(m_lines.size()) - 1);
    return position_in(m_lines[static_cast<std::size_t>(index)], point.x - area.left);
}

// ---- Editing --------------------------------------------------------------------

void TextControl::show_caret() {
    const int line = static_cast<int>(line_of(m_editor.caret()));
    const int top = m_scroll.position();
    if (line < top)
        m_scroll.set_position(line);
    else if (line >= top + visible_lines())
        m_scroll.set_position(line - visible_lines() + 1);
}

void TextControl::edited() {
    layout();
    m_goal_x = -1;
    show_caret();
    invalidate();
}

void TextControl::moved(bool keep_goal) {
    if (!keep_goal)
        m_goal_x = -1;
    show_caret();
    invalidate();
}

void TextControl::move_to(std::size_t position, bool extend, bool keep_goal) {
    m_editor.move_caret(position, extend ? TextEditor::Selection::Extend : TextEditor::Selection::Collapse);
    moved(keep_goal);
}

void TextControl::move_lines(int delta, bool extend) {
    if (m_lines.empty())
        return;
    const std::size_t current = line_of(m_editor.caret());
    if (m_goal_x < 0)
        m_goal_x = x_of(m_lines[current], m_editor.caret());
    const int target = std::clamp(static_cast<int>(current) + delta, 0, static_cast<int>(m_lines.size()) - 1);
    move_to(position_in(m_lines[static_cast<std::size_t>(target)], m_goal_x), extend, true);
}

void TextControl::scroll_to(int top_line) {
    const int before = m_scroll.position();
    m_scroll.set_position(top_line);
    if (m_scroll.position() != before)
        invalidate();
}

void TextControl::scroll_step(ScrollBar::Part part) {
    const int page = std::max(1, visible_lines() - 1);
    switch (part) {
    case ScrollBar::Part::LineUp:
        return scroll_to(m_scroll.position() - 1);
    case ScrollBar::Part::LineDown:
        return scroll_to(m_scroll.position() + 1);
    case ScrollBar::Part::PageUp:
        return scroll_to(m_scroll.position() - page);
    case ScrollBar::Part::PageDown:
        return scroll_to(m_scroll.position() + page);
    default:
        return;
    }
}

bool TextControl::key_down(uint32_t virtual_key, uint32_t modifiers) {
    const bool shift = (modifiers & ShiftKeyBit) != 0;
    const bool ctrl = (modifiers & CtrlKeyBit) != 0;
    const std::size_t caret = m_editor.caret();
    switch (virtual_key) {
    case platform::VkLeft:
        if (!shift && !ctrl && m_editor.has_selection())
            move_to(m_editor.selection_start(), false);
        else
            move_to(ctrl ? m_editor.word_start_before(caret) : m_editor.previous(caret), shift);
        return true;
    case platform::VkRight:
        if (!shift && !ctrl && m_editor.has_selection())
            move_to(m_editor.selection_end(), false);
        else
            move_to(ctrl ? m_editor.word_start_after(caret) : m_editor.next(caret), shift);
        return true;
    case platform::VkUp:
        move_lines(-1, shift);
        return true;
    case platform::VkDown:
        move_lines(1, shift);
        return true;
    case platform::VkPrior:
    case platform::VkNext: {
        const int page = std::max(1, visible_lines() - 1);
        const int delta = virtual_key == platform::VkPrior ? -page : page;
        const int top = m_scroll.position();
        move_lines(delta, shift);
        // The view turns the page with the caret.
        scroll_to(top + delta);
        show_caret();
        return true;
    }
    case platform::VkHome:
        if (ctrl || m_lines.empty())
            move_to(0, shift);
        else
            move_to(m_lines[line_of(caret)].start, shift);
        return true;
    case platform::VkEnd:
        if (ctrl || m_lines.empty())
            move_to(m_editor.text().size(), shift);
        else
            move_to(line_end(m_lines[line_of(caret)]), shift);
        return true;
    case platform::VkDelete:
        if (!read_only() && m_editor.erase_forward())
            edited();
        return true;
    case 'A':
        if (ctrl && !shift) {
            m_editor.select_all();
            moved();
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool TextControl::character(uint8_t c) {
    if (c == '\b') {
        if (!read_only() && m_editor.erase_backward())
            edited();
        return true;
    }
    if (c == '\r') {
        if (!read_only() && m_editor.insert("\r\n"))
            edited();
        return true;
    }
    if (c < 0x20 || c == 0x7F)
        return false;
    if (read_only())
        return true;
    if (m_flags & UpperCaseFlag)
        c = ToUpperChar(c);
    const char typed = static_cast<char>(c);
    if (m_editor.insert(std::string_view(&typed, 1)))
        edited();
    return true;
}

void TextControl::take_text() {
    if (!m_editor.modified())
        return;
    update();
    post(Event::Accepted);
}

bool TextControl::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    if (modifiers & AltKeyBit)
        return false;
    switch (virtual_key) {
    case platform::VkReturn:
    case platform::VkLeft:
    case platform::VkRight:
    case platform::VkUp:
    case platform::VkDown:
    case platform::VkPrior:
    case platform::VkNext:
    case platform::VkHome:
    case platform::VkEnd:
    case platform::VkDelete:
    case platform::VkBack:
        return true;
    default:
        return false;
    }
}

void TextControl::mouse_down(platform::Point point, bool extend, bool double_click) {
    m_pointer = point;
    if (m_scroll_shown && m_scroll.rect().contains(point)) {
        const ScrollBar::Part part = m_scroll.hit(point);
        if (part == ScrollBar::Part::None)
            return;
        platform::set_capture(m_handle);
        if (part == ScrollBar::Part::Thumb) {
            m_thumb_grab = point.y - m_scroll.thumb_rect().top;
            return;
        }
        m_scroll.set_pressed(part);
        scroll_step(part);
        invalidate();
        platform::set_timer(m_handle, RepeatTimer, RepeatDelay);
        return;
    }
    const std::size_t position = position_at(point);
    if (double_click)
        m_editor.select(m_editor.word_begin(position), m_editor.word_end(position));
    else
        m_editor.move_caret(position,
                            extend ? TextEditor::Selection::Extend : TextEditor::Selection::Collapse);
    moved();
    m_selecting = true;
    platform::set_capture(m_handle);
}

bool TextControl::handle_message(const platform::Message& message, intptr_t& result) {
    result = 0;
    switch (message.number) {
    case platform::MsgKeyDown:
        return key_down(static_cast<uint32_t>(message.wparam), ModifiersOf(message));
    case platform::MsgChar:
        return character(static_cast<uint8_t>(message.wparam));
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick:
        Control::handle_message(message, result);
        mouse_down(point_of(message), (message.wparam & platform::MouseShift) != 0,
                   message.number == platform::MsgLButtonDoubleClick);
        return true;
    case platform::MsgMouseMove: {
        m_pointer = point_of(message);
        if (m_selecting) {
            // Above or below the box the selection goes on into the hidden lines.
            const platform::Rect area = text_area();
            const int row_shift = m_pointer.y < area.top ? -1 : m_pointer.y >= area.bottom ? 1 : 0;
            if (row_shift != 0)
                scroll_to(m_scroll.position() + row_shift);
            move_to(position_at(m_pointer), true);
        } else if (m_thumb_grab >= 0) {
            scroll_to(m_scroll.position_for_thumb(m_pointer.y - m_thumb_grab));
        }
        return true;
    }
    case platform::MsgLButtonUp:
    case platform::MsgCaptureChanged:
        if (m_selecting || m_thumb_grab >= 0 || m_scroll.pressed() != ScrollBar::Part::None) {
            m_selecting = false;
            m_thumb_grab = -1;
            m_scroll.set_pressed(ScrollBar::Part::None);
            platform::kill_timer(m_handle, RepeatTimer);
            if (message.number == platform::MsgLButtonUp)
                platform::release_capture();
            invalidate();
        }
        return true;
    case platform::MsgTimer:
        if (message.wparam != RepeatTimer)
            return false;
        if (m_scroll.pressed() != ScrollBar::Part::None && m_scroll.hit(m_pointer) == m_scroll.pressed())
            scroll_step(m_scroll.pressed());
        platform::set_timer(m_handle, RepeatTimer, RepeatInterval);
        return true;
    case platform::MsgMouseWheel: {
        const int notches = platform::HighWordSigned(static_cast<intptr_t>(message.wparam)) / 120;
        scroll_to(m_scroll.position() - notches * WheelLines);
        return true;
    }
    case platform::MsgKillFocus:
        Control::handle_message(message, result);
        take_text();
        return true;
    default:
        return Control::handle_message(message, result);
    }
}

// ---- Values and properties ------------------------------------------------------------

void TextControl::display() {
    if (!m_binding.has_variable())
        return;
    m_editor.set_max_length(TextCapacity(m_binding.variable));
    const std::string value = VariableText(m_binding.variable);
    if (value != m_editor.text()) {
        m_editor.set_text(value);
        m_scroll.set_position(0);
    }
    m_editor.set_modified(false);
    layout();
    invalidate();
}

bool TextControl::update() {
    m_editor.set_modified(false);
    if (!m_binding.has_variable())
        return false;
    const std::string before = VariableText(m_binding.variable);
    SetVariableText(m_binding.variable, m_editor.text());
    return VariableText(m_binding.variable) != before;
}

void TextControl::set_text(std::string_view text) {
    m_editor.set_text(text);
    update();
    m_scroll.set_position(0);
    layout();
}

void TextControl::select(int32_t row, int32_t column) {
    if (row <= 0)
        return;
    const auto first = static_cast<std::size_t>(row - 1);
    const std::size_t last = column >= row ? static_cast<std::size_t>(column) : first;
    m_editor.select(first, last);
    moved();
}

std::optional<std::string> TextControl::get_property(uint32_t number) {
    switch (number) {
    case Prop::ScreenText:
        return m_editor.text();
    case Prop::Selection:
        return std::to_string(m_editor.selection_start() + 1);
    case Prop::SelectionEnd:
        return std::to_string(m_editor.selection_end());
    case Prop::ReadOnly:
        return FlagText(read_only());
    default:
        return Control::get_property(number);
    }
}

bool TextControl::set_property(uint32_t number, int32_t index, std::string_view value) {
    switch (number) {
    case Prop::Selection:
        m_editor.move_caret(static_cast<std::size_t>(std::max<int64_t>(1, NumberValue(value)) - 1));
        moved();
        return true;
    case Prop::SelectionEnd:
        m_editor.select(m_editor.selection_start(),
                        static_cast<std::size_t>(std::max<int64_t>(0, NumberValue(value))));
        moved();
        return true;
    case Prop::ReadOnly:
        // Either the attribute or the attribute byte makes the text read-only; clearing clears both.
        if (!FlagValue(value))
            m_flags &= static_cast<uint8_t>(~ReadOnlyFlag);
        return Control::set_property(number, index, value);
    default:
        return Control::set_property(number, index, value);
    }
}

// ---- Drawing -------------------------------------------------------------------------

void TextControl::paint(painter::Painter& painter) {
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    if (all.empty())
        return;
    if (m_scroll.rect().right != all.right - BorderWidth ||
        m_scroll.rect().bottom != all.bottom - BorderWidth)
        layout(); // the control was resized
    const bool enabled = effectively_enabled();
    const bool focused = has_focus();
    painter::Color background =
        system_color(enabled && !read_only() ? SystemColor::Window : SystemColor::ButtonFace);
    if (m_colours.colour != wdf::DefaultColour)
        background = background_colour();
    painter.fill_rect(all, background);
    painter.draw_border(all, painter::Border::SunkenDouble);
    if (m_scroll_shown)
        m_scroll.paint(painter, enabled);

    const auto font = this->font();
    if (!font)
        return;
    const platform::Rect area = text_area();
    painter::Painter text_painter =
        painter.clipped_to({BorderWidth, BorderWidth, area.right + PaddingX, area.bottom});
    const painter::Color ink = enabled ? text_colour() : system_color(SystemColor::GrayText);
    const painter::Color selected_ink = m_colours.selected_text != wdf::DefaultColour
                                            ? painter::resolve_colorref(m_colours.selected_text).value_or(ink)
                                            : system_color(SystemColor::HighlightText);
    const painter::Color selected_fill =
        m_colours.selected_background != wdf::DefaultColour
            ? painter::resolve_colorref(m_colours.selected_background).value_or(ink)
            : system_color(SystemColor::Highlight);
    const std::string& text = m_editor.text();
    const bool show_selection = focused && m_editor.has_selection();
    const std::size_t sel_start = m_editor.selection_start();
    const std::size_t sel_end = m_editor.selection_end();
    const int height = line_height();
    const int first = m_scroll.position();
    const int last = std::min(static_cast<int>(m_lines.size()), first + visible_lines() + 1);
    for (int index = first; index < last; ++index) {
        const Line& line = m_lines[static_cast<std::size_t>(index)];
        const int y = area.top + (index - first) * height;
        const std::string_view content = std::string_view(text).substr(line.start, line.end - line.start);
        if (!show_selection || sel_end <= line.start || sel_start > line.end) {
            text_painter.draw_text({area.left, y}, content, *font, ink);
            continue;
        }
        // Before, inside and after the selection; a selected line break shows as a blank.
        const std::size_t from = std::max(sel_start, line.start);
        const std::size_t to = std::min(sel_end, line.end);
        const int x1 = area.left + x_of(line, from);
        const int x2 = area.left + x_of(line, to);
        const bool break_selected = sel_end > line.end && !line.wrapped;
        const int break_width = break_selected ? font->char_width(' ') : 0;
        text_painter.fill_rect({x1, y, x2 + break_width, y + height}, selected_fill);
        text_painter.draw_text({area.left, y}, content.substr(0, from - line.start), *font, ink);
        text_painter.draw_text({x1, y}, content.substr(from - line.start, to - from), *font, selected_ink);
        text_painter.draw_text({x2, y}, content.substr(to - line.start), *font, ink);
    }
    if (focused && !m_lines.empty()) {
        const std::size_t caret = m_editor.caret();
        const int line = static_cast<int>(line_of(caret));
        if (line >= first && line < first + visible_lines()) {
            const int x = area.left + x_of(m_lines[static_cast<std::size_t>(line)], caret);
            text_painter.draw_vline(std::min(x, area.right), area.top + (line - first) * height, height, ink);
        }
    }
}

} // namespace morvex

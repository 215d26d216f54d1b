#include "window/entry.h"

#include "platform/backend.h"
#include "platform/clipboard.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/char_tables.h"
#include "runtime/picture.h"
#include "window/accept.h"
#include "window/control_drawing.h"
#include "window/key_codes.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>
#include <atomic>
#include <cctype>

namespace morvex {

namespace {

// A date or time field showing only the picture's separators is empty.
bool only_separators(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

constexpr int Border = 2;
constexpr int Padding = 2;
std::atomic<bool> g_overwrite{false};

platform::Point point_of(const platform::Message& message) {
    return {platform::LowWordSigned(message.lparam), platform::HighWordSigned(message.lparam)};
}

bool is_alphanumeric(uint8_t c) {
    return (Chars().char_class[c] & (CharUpper | CharLower | CharDigit)) != 0;
}

} // namespace

bool Entry::overwriting() {
    return g_overwrite;
}

Entry::Entry(Window& window, const ControlDefinition& definition)
    : Control(window, definition), m_picture(definition.picture) {
    m_flags = static_cast<uint8_t>(definition.number(wdf::Field::EntryFlags, 0));
    if (m_flags & EntryPassword)
        m_editor.set_mask('*');
}

int Entry::text_area_width() const {
    return std::max(0, m_rect.width() - 2 * (Border + Padding));
}

void Entry::display() {
    if (!m_binding.has_variable())
        return;
    m_slots = PatternSlots::Of(m_picture.compiled());
    std::string text = FormattedValue(m_binding.variable, m_picture.compiled());
    // A key-in value holds what was typed into the slots; the literals go between.
    if (m_slots && m_picture.compiled().kind() == PictureKind::KeyIn)
        text = m_slots->lay_out(VariableText(m_binding.variable));
    m_editor.set_text(text);
    m_editor.set_limit(TypingLimit(m_binding.variable, m_picture.compiled()));
    if (has_focus())
        m_editor.select_all();
    m_reason = 0;
    invalidate();
}

uint16_t Entry::check_text() const {
    const CompiledPicture& picture = m_picture.compiled();
    if (!picture.valid())
        return RejectedNothing;
    const std::string_view text = TrimBlanks(m_editor.text());
    if (text.empty())
        return RejectedNothing; // an empty field is zero, no date or no time
    switch (picture.kind()) {
    case PictureKind::Numeric:
    case PictureKind::Scientific: {
        // Digits with the picture's signs, separators and currency only.
        const std::string_view value = DEFORMAT(text, picture);
        return value.empty() || value == "-" ? RejectedNotANumber : RejectedNothing;
    }
    case PictureKind::Date: {
        if (only_separators(text))
            return RejectedNothing;
        const int64_t date = NumberValue(DEFORMAT(text, picture));
        return date <= 0 ? RejectedInvalidDate : RejectedNothing;
    }
    case PictureKind::Pattern:
    case PictureKind::KeyIn:
        return m_slots && !m_slots->filled_correctly(m_editor.text()) ? RejectedPattern : RejectedNothing;
    case PictureKind::Time: {
        if (only_separators(text))
            return RejectedNothing;
        const int64_t time = NumberValue(DEFORMAT(text, picture));
        return time <= 0 ? RejectedInvalidTime : RejectedNothing;
    }
    default:
        return RejectedNothing;
    }
}

bool Entry::update() {
    if (!m_binding.has_variable() || read_only())
        return false;
    const std::vector<uint8_t> before = VariableBytes(m_binding.variable);
    DeformatInto(m_binding.variable, m_editor.text(), m_picture.compiled());
    return VariableBytes(m_binding.variable) != before;
}

bool Entry::validate() {
    return check_text() == RejectedNothing;
}

void Entry::leave() {
    m_dragging = false;
    // A read-only field is never edited, so there is nothing to take.
    if (read_only() || (!m_editor.modified() && !m_needs_validation)) {
        if (m_edit_in_place)
            platform::post_message({m_window.handle(), QueryEditDone, static_cast<uintptr_t>(m_feq), 0});
        return;
    }
    m_reason = check_text();
    if (m_reason != RejectedNothing) {
        // The text stays for correction.
        if (is_event_source() && m_window.accept_state().closing == 0)
            PostEventWithParameter(m_window, Event::Rejected, m_feq, m_reason);
    } else {
        update();
        m_needs_validation = false;
        display();
        post(Event::Accepted);
    }
    m_editor.clear_modified();
    if (m_edit_in_place)
        platform::post_message({m_window.handle(), QueryEditDone, static_cast<uintptr_t>(m_feq), 0});
}

void Entry::undo() {
    display();
    m_needs_validation = true;
    m_editor.clear_modified();
    if (has_focus())
        m_editor.select_all();
    invalidate();
}

bool Entry::fits(uint8_t character) const {
    if (!(m_flags & EntryFitsItsWidth))
        return true;
    const std::shared_ptr<painter::Font> f = font();
    if (!f)
        return true;
    std::string text = m_editor.text();
    const std::size_t start = m_editor.selection_start();
    text.replace(start, m_editor.selection_end() - start, 1, static_cast<char>(character));
    return f->text_width(text) <= text_area_width();
}

void Entry::type(uint8_t character, uint32_t modifiers) {
    if (read_only())
        return;
    if (m_flags & EntryUpperCase)
        character = ToUpperChar(character);
    if ((m_flags & EntryCapitalise) && !(modifiers & ShiftKeyBit)) {
        const std::size_t at = m_editor.selection_start();
        const uint8_t before = at == 0 ? ' ' : static_cast<uint8_t>(m_editor.text()[at - 1]);
        if (at == 0 || (!is_alphanumeric(before) && before != '\'' && before < 192))
            character = ToUpperChar(character);
    }
    if (type_in_slot(character))
        return;
    if (!fits(character)) {
        platform::backend().beep();
        return;
    }
    if (m_editor.character(character, overwriting()))
        invalidate();
}

bool Entry::type_in_slot(uint8_t character) {
    if (!m_slots)
        return false;
    const std::optional<std::size_t> slot = m_slots->next_slot(m_editor.selection_start());
    const std::optional<char> stored =
        slot ? m_slots->accept(*slot, static_cast<char>(character)) : std::nullopt;
    if (!stored) {
        platform::backend().beep();
        return true;
    }
    std::string text(m_editor.text());
    text.resize(std::max(text.size(), m_slots->size()), ' ');
    text[*slot] = *stored;
    m_editor.type_over(text);
    // On to the next slot, over the literals between.
    const std::size_t next = m_slots->next_slot(*slot + 1).value_or(*slot + 1);
    m_editor.select(next, next);
    invalidate();
    return true;
}

bool Entry::blank_slot(bool before_caret) {
    if (!m_slots)
        return false;
    const std::size_t caret = m_editor.selection_start();
    const std::optional<std::size_t> slot =
        before_caret ? m_slots->previous_slot(caret) : m_slots->next_slot(caret);
    if (slot && *slot < m_editor.text().size()) {
        std::string text(m_editor.text());
        text[*slot] = ' ';
        m_editor.type_over(text);
        const std::size_t at = before_caret ? *slot : caret;
        m_editor.select(at, at);
        invalidate();
    }
    return true;
}

void Entry::copy_selection(bool cut) {
    if ((m_flags & EntryPassword) || !m_editor.has_selection())
        return;
    platform::backend().clipboard().set_text(platform::Selection::Clipboard, m_editor.selected_text());
    if (cut && !read_only()) {
        if (m_slots) {
            // A pattern keeps its length: the cut slots become blank.
            std::string text(m_editor.text());
            for (std::size_t at = m_editor.selection_start();
                 at < m_editor.selection_end() && at < text.size(); ++at)
                if (m_slots->kind(at) != PatternSlots::Kind::Literal)
                    text[at] = ' ';
            const std::size_t start = m_editor.selection_start();
            m_editor.type_over(text);
            m_editor.select(start, start);
        } else {
            m_editor.key(platform::VkDelete, 0);
        }
        invalidate();
    }
}

void Entry::paste() {
    if (read_only())
        return;
    if (const auto text = platform::backend().clipboard().text(platform::Selection::Clipboard)) {
        // One line: a line break ends what an entry takes.
        std::string line = text->substr(0, text->find_first_of("\r\n"));
        if (m_flags & EntryUpperCase)
            for (char& c : line)
                c = static_cast<char>(ToUpperChar(static_cast<uint8_t>(c)));
        if (m_slots) {
            // Into the slots, as if typed; the pattern's literals in the text are skipped.
            for (const char c : line)
                if (m_slots->next_slot(m_editor.selection_start()) &&
                    m_slots->accept(*m_slots->next_slot(m_editor.selection_start()), c))
                    type_in_slot(static_cast<uint8_t>(c));
            return;
        }
        m_editor.paste(line);
        invalidate();
    }
}

bool Entry::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    if (m_edit_in_place)
        return true;
    if (modifiers & AltKeyBit)
        return false;
    switch (virtual_key) {
    case platform::VkLeft:
    case platform::VkRight:
    case platform::VkHome:
    case platform::VkEnd:
    case platform::VkBack:
    case platform::VkDelete:
    case platform::VkInsert:
    case platform::VkSpace:
        return true;
    case platform::VkEscape:
        // Escape undoes an edit; an unchanged field leaves it to the window.
        return m_editor.modified();
    default:
        return (modifiers & CtrlKeyBit) != 0 &&
               (virtual_key == 'C' || virtual_key == 'X' || virtual_key == 'V' || virtual_key == 'Z' ||
                virtual_key == 'A');
    }
}

bool Entry::handle_message(const platform::Message& message, intptr_t& result) {
    result = 0;
    const std::shared_ptr<painter::Font> f = font();
    const int text_left = Border + Padding;
    switch (message.number) {
    case platform::MsgSetFocus:
        Control::handle_message(message, result);
        m_editor.select_all();
        m_select_all_on_focus = false;
        return true;
    case platform::MsgKillFocus:
        Control::handle_message(message, result);
        leave();
        return true;
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick: {
        const bool had_focus = has_focus();
        Control::handle_message(message, result);
        if (!f)
            return true;
        if (message.number == platform::MsgLButtonDoubleClick) {
            m_editor.select_word_at(point_of(message).x, *f);
        } else if (had_focus || !(message.wparam & platform::MouseShift)) {
            m_editor.press(point_of(message).x, (message.wparam & platform::MouseShift) != 0, *f);
            m_dragging = true;
            platform::set_capture(m_handle);
        }
        (void)text_left;
        invalidate();
        return true;
    }
    case platform::MsgMouseMove:
        Control::handle_message(message, result);
        if (m_dragging && f) {
            m_editor.drag(point_of(message).x, *f);
            invalidate();
        }
        return true;
    case platform::MsgLButtonUp:
        if (m_dragging) {
            m_dragging = false;
            platform::release_capture();
            // What is selected with the mouse becomes the PRIMARY selection, as X has it.
            if (m_editor.has_selection() && !(m_flags & EntryPassword))
                platform::backend().clipboard().set_text(platform::Selection::Primary,
                                                         m_editor.selected_text());
        }
        return true;
    case platform::MsgMButtonDown:
        if (!read_only())
            if (const auto text = platform::backend().clipboard().text(platform::Selection::Primary)) {
                if (f)
                    m_editor.press(point_of(message).x, false, *f);
                m_editor.paste(text->substr(0, text->find_first_of("\r\n")));
                invalidate();
            }
        return true;
    case platform::MsgKeyDown: {
        const auto key = static_cast<uint32_t>(message.wparam);
        const uint32_t modifiers = ModifiersOf(message);
        const bool ctrl = (modifiers & CtrlKeyBit) != 0;
        const bool shift = (modifiers & ShiftKeyBit) != 0;
        if (key == platform::VkEscape) {
            if (m_editor.modified())
                undo();
            return true;
        }
        if (key == platform::VkInsert && !ctrl && !shift) {
            g_overwrite = !g_overwrite;
            invalidate();
            return true;
        }
        // Ctrl+C, Ctrl+Insert copy; Ctrl+X, Shift+Delete cut; Ctrl+V, Shift+Insert paste.
        if ((ctrl && key == 'C') || (ctrl && key == platform::VkInsert)) {
            copy_selection(false);
            return true;
        }
        if ((ctrl && key == 'X') || (shift && key == platform::VkDelete)) {
            copy_selection(true);
            return true;
        }
        if ((ctrl && key == 'V') || (shift && key == platform::VkInsert)) {
            paste();
            return true;
        }
        if (ctrl && key == 'Z') {
            undo();
            return true;
        }
        const bool changes = key == platform::VkBack || key == platform::VkDelete;
        if (changes && read_only())
            return true;
        if (changes && blank_slot(key == platform::VkBack))
            return true;
        if (m_editor.key(key, modifiers))
            invalidate();
        return true;
    }
    case platform::MsgChar: {
        const auto c = static_cast<uint8_t>(message.wparam);
        if (c >= 0x20 && c != 0x7F)
            type(c, ModifiersOf(message));
        return true;
    }
    default:
        return Control::handle_message(message, result);
    }
}

void Entry::select(int32_t row, int32_t column) {
    // SELECT(entry, start, end) selects characters (1-based); without them all of it.
    if (row > 0)
        m_editor.select(static_cast<std::size_t>(row - 1),
                        static_cast<std::size_t>(std::max(row - 1, column > 0 ? column : row)));
    else
        m_editor.select_all();
    invalidate();
}

void Entry::paint(painter::Painter& painter) {
    using painter::SystemColor;
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    if (all.empty())
        return;
    const bool enabled = effectively_enabled();
    const platform::Rect inside = painter.draw_border(all, painter::Border::SunkenDouble);
    const bool white = enabled && !read_only();
    const painter::Color fill =
        m_colours.colour != wdf::DefaultColour && painter::resolve_colorref(m_colours.colour)
            ? *painter::resolve_colorref(m_colours.colour)
            : painter::system_color(white ? SystemColor::Window : SystemColor::ButtonFace);
    painter.fill_rect(inside, fill);
    const std::shared_ptr<painter::Font> f = font();
    if (!f)
        return;
    const uint8_t align = m_justification == 1 || m_justification == 3 ? 1 : m_justification == 2 ? 2 : 0;
    const platform::Rect text{inside.left + Padding + (align == 0 ? m_indent : 0), inside.top,
                              inside.right - Padding - (align == 1 ? m_indent : 0), inside.bottom};
    m_editor.paint(painter, text, *f, text_colour(enabled), has_focus(), enabled, align);
    // Overwriting shows a block caret over the character at the caret.
    if (has_focus() && overwriting() && !m_editor.has_selection() &&
        m_editor.caret() < m_editor.text().size()) {
        const int x =
            text.left + f->text_width(std::string_view(m_editor.text()).substr(0, m_editor.caret()));
        const int top = text.top + (text.height() - f->metrics().height) / 2;
        painter.clipped_to(text).invert_rect(platform::Rect::FromSize(
            x, top, f->char_width(static_cast<uint8_t>(m_editor.text()[m_editor.caret()])),
            f->metrics().height));
    }
}

std::optional<std::string> Entry::get_property(uint32_t number) {
    switch (number) {
    case Prop::ScreenText:
        return (m_flags & EntryPassword) ? std::string(m_editor.text().size(), '*') : m_editor.text();
    case Prop::Picture:
        return m_picture.text();
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

bool Entry::set_property(uint32_t number, int32_t index, std::string_view value) {
    switch (number) {
    case Prop::Picture:
        m_picture.set(value);
        display();
        return true;
    case Prop::Selection:
    case Prop::SelectionEnd: {
        const auto position = static_cast<std::size_t>(std::max<int64_t>(0, NumberValue(value)));
        if (number == Prop::Selection)
            m_editor.select(position > 0 ? position - 1 : 0, m_editor.selection_end());
        else
            m_editor.select(m_editor.selection_start(), position);
        invalidate();
        return true;
    }
    default:
        return Control::set_property(number, index, value);
    }
}

} // namespace morvex

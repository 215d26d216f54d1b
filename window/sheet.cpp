#include "window/sheet.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "window/bound_value.h"
#include "window/control_drawing.h"
#include "window/key_codes.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/property_numbers.h"
#include "window/sheet_tab.h"
#include "window/window.h"

#include <algorithm>

namespace morvex {

namespace {

using painter::system_color;
using painter::SystemColor;

// The sheet's own message: turn to the tab in wparam. It is posted behind
// EVENT:TabChanging, so the procedure sees that event before the page turns.
constexpr uint32_t MsgTurnPage = platform::MsgUser + 1;

// A caption's room beside its text, and a tab's beyond its neighbours' when
// selected (it stands out by Raise and covers the page's edge below it).
constexpr int CaptionPadding = 6;
constexpr int CaptionLift = 6;
constexpr int Raise = 2;
constexpr int MinTabLength = 20;

int text_width(const SheetTab& tab, std::string_view text) {
    const auto font = tab.font();
    return font ? font->text_width(text) : 0;
}

int font_height(const SheetTab& tab) {
    const auto font = tab.font();
    return font ? font->metrics().height : 13;
}

// The text of a caption without its "&" markers.
std::string plain(std::string_view caption) {
    std::string result;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size())
            ++i;
        result.push_back(caption[i]);
    }
    return result;
}

// A tab's three closed sides in the bevel colours: lit where they face up or
// left, shaded where they face down or right, corners cut by one pixel.
void draw_tab_edges(painter::Painter& p, const platform::Rect& r, Sheet::Placement side) {
    const painter::Color light = system_color(SystemColor::ButtonHighlight);
    const painter::Color shadow = system_color(SystemColor::ButtonShadow);
    const painter::Color dark = system_color(SystemColor::DarkShadow);
    const int w = r.width();
    const int h = r.height();
    switch (side) {
    case Sheet::Top:
        p.draw_hline(r.left + 2, r.top, w - 4, light);
        p.set_pixel({r.left + 1, r.top + 1}, light);
        p.draw_vline(r.left, r.top + 2, h - 2, light);
        p.set_pixel({r.right - 2, r.top + 1}, dark);
        p.draw_vline(r.right - 1, r.top + 2, h - 2, dark);
        p.draw_vline(r.right - 2, r.top + 2, h - 2, shadow);
        break;
    case Sheet::Bottom:
        p.draw_vline(r.left, r.top, h - 2, light);
        p.set_pixel({r.left + 1, r.bottom - 2}, dark);
        p.draw_hline(r.left + 2, r.bottom - 1, w - 4, dark);
        p.draw_hline(r.left + 2, r.bottom - 2, w - 4, shadow);
        p.set_pixel({r.right - 2, r.bottom - 2}, dark);
        p.draw_vline(r.right - 1, r.top, h - 2, dark);
        p.draw_vline(r.right - 2, r.top, h - 2, shadow);
        break;
    case Sheet::Left:
        p.draw_hline(r.left + 2, r.top, w - 2, light);
        p.set_pixel({r.left + 1, r.top + 1}, light);
        p.draw_vline(r.left, r.top + 2, h - 4, light);
        p.set_pixel({r.left + 1, r.bottom - 2}, dark);
        p.draw_hline(r.left + 2, r.bottom - 1, w - 2, dark);
        p.draw_hline(r.left + 2, r.bottom - 2, w - 2, shadow);
        break;
    case Sheet::Right:
        p.draw_hline(r.left, r.top, w - 2, light);
        p.set_pixel({r.right - 2, r.top + 1}, dark);
        p.draw_vline(r.right - 1, r.top + 2, h - 4, dark);
        p.draw_vline(r.right - 2, r.top + 2, h - 4, shadow);
        p.set_pixel({r.right - 2, r.bottom - 2}, dark);
        p.draw_hline(r.left, r.bottom - 1, w - 2, dark);
        p.draw_hline(r.left, r.bottom - 2, w - 2, shadow);
        break;
    }
}

} // namespace

Sheet::Sheet(Window& window, const ControlDefinition& definition) : Control(window, definition) {
    const int64_t placement = definition.number(wdf::Field::Placement);
    m_placement = placement >= Top && placement <= Right ? static_cast<Placement>(placement) : Top;
    m_selected = static_cast<int>(std::max<int64_t>(1, definition.number(wdf::Field::Selection)));
}

std::vector<SheetTab*> Sheet::tabs() const {
    std::vector<SheetTab*> result;
    for (const auto& control : m_window.controls())
        if (auto* tab = dynamic_cast<SheetTab*>(control.get()); tab && tab->sheet() == this)
            result.push_back(tab);
    return result;
}

int Sheet::selected() const {
    const std::size_t count = tabs().size();
    return count == 0 ? 0 : std::clamp(m_selected, 1, static_cast<int>(count));
}

const SheetTab* Sheet::selected_tab() const {
    const std::vector<SheetTab*> all = tabs();
    const int number = selected();
    return number == 0 ? nullptr : all[static_cast<std::size_t>(number - 1)];
}

// ---- Geometry -------------------------------------------------------------------------

int Sheet::strip_depth() {
    int depth = 0;
    for (const SheetTab* tab : tabs()) {
        if (tab->hidden())
            continue;
        depth = std::max(depth, vertical() ? text_width(*tab, plain(tab->caption())) + 2 * CaptionPadding
                                           : font_height(*tab) + CaptionLift);
    }
    return depth == 0 ? 0 : depth + Raise;
}

std::vector<Sheet::Place> Sheet::places() {
    std::vector<Place> result;
    const int depth = strip_depth();
    const int width = m_rect.width();
    const int height = m_rect.height();
    const int chosen = selected();
    int along = Raise;
    int number = 0;
    for (SheetTab* tab : tabs()) {
        ++number;
        if (tab->hidden())
            continue;
        const int length =
            vertical() ? font_height(*tab) + CaptionLift
                       : std::max(MinTabLength, text_width(*tab, plain(tab->caption())) + 2 * CaptionPadding);
        platform::Rect rect;
        switch (m_placement) {
        case Top:
            rect = {along, Raise, along + length, depth};
            break;
        case Bottom:
            rect = {along, height - depth, along + length, height - Raise};
            break;
        case Left:
            rect = {Raise, along, depth, along + length};
            break;
        case Right:
            rect = {width - depth, along, width - Raise, along + length};
            break;
        }
        if (number == chosen) {
            // The selected tab stands out, wider, and joins the page across its edge.
            switch (m_placement) {
            case Top:
                rect = {rect.left - Raise, 0, rect.right + Raise, rect.bottom + 2};
                break;
            case Bottom:
                rect = {rect.left - Raise, rect.top - 2, rect.right + Raise, height};
                break;
            case Left:
                rect = {0, rect.top - Raise, rect.right + 2, rect.bottom + Raise};
                break;
            case Right:
                rect = {rect.left - 2, rect.top - Raise, width, rect.bottom + Raise};
                break;
            }
        }
        result.push_back({tab, number, rect});
        along += length;
    }
    return result;
}

platform::Rect Sheet::page_rect() {
    const int depth = strip_depth();
    const int width = m_rect.width();
    const int height = m_rect.height();
    switch (m_placement) {
    case Bottom:
        return {0, 0, width, std::max(0, height - depth)};
    case Left:
        return {std::min(width, depth), 0, width, height};
    case Right:
        return {0, 0, std::max(0, width - depth), height};
    default:
        return {0, std::min(height, depth), width, height};
    }
}

// ---- Turning the pages ----------------------------------------------------------------

void Sheet::choose(int number) {
    const std::vector<SheetTab*> all = tabs();
    if (number < 1 || number > static_cast<int>(all.size()) || number == selected())
        return;
    const SheetTab* tab = all[static_cast<std::size_t>(number - 1)];
    if (tab->hidden() || tab->disabled())
        return;
    post(Event::TabChanging);
    platform::post_message({m_handle, MsgTurnPage, static_cast<uintptr_t>(number), 0});
}

void Sheet::set_selected(int number) {
    const int count = static_cast<int>(tabs().size());
    if (count == 0)
        return;
    m_selected = std::clamp(number, 1, count);
    if (m_binding.has_variable())
        SetVariableNumber(m_binding.variable, static_cast<double>(m_selected));
    show_pages();
}

void Sheet::show_pages() {
    // The focus leaves a page that goes, for the sheet itself.
    if (Control* focus = m_window.focus_control(); focus && focus != this && focus->tab_owner() != 0 &&
                                                   !focus->effectively_visible() && can_take_focus())
        this->focus();
    const auto mine = [&](int32_t feq) {
        const auto* tab = dynamic_cast<const SheetTab*>(m_window.control(feq));
        return tab && tab->sheet() == this;
    };
    for (const auto& control : m_window.controls()) {
        if (auto* tab = dynamic_cast<SheetTab*>(control.get()); tab && tab->sheet() == this) {
            if (tab->handle())
                platform::show_window(tab->handle(), tab->effectively_visible() && tab->shows_children());
        } else if (control->tab_owner() != 0 && mine(control->tab_owner())) {
            if (control->handle()) {
                platform::enable_window(control->handle(), control->effectively_enabled());
                platform::show_window(control->handle(), control->effectively_visible());
            }
            control->invalidate();
        }
    }
    invalidate();
}

void Sheet::tabs_changed() {
    if (!m_window.IsOpen())
        return;
    show_pages();
}

void Sheet::step(int delta, bool wrap) {
    const std::vector<SheetTab*> all = tabs();
    const int count = static_cast<int>(all.size());
    int number = selected();
    for (int i = 0; i < count; ++i) {
        number += delta;
        if (number < 1 || number > count) {
            if (!wrap)
                return;
            number = number < 1 ? count : 1;
        }
        const SheetTab* tab = all[static_cast<std::size_t>(number - 1)];
        if (!tab->hidden() && !tab->disabled()) {
            choose(number);
            return;
        }
    }
}

bool Sheet::is_turn_key(uint32_t virtual_key, uint32_t modifiers) {
    return virtual_key == platform::VkTab && (modifiers & ~ShiftKeyBit) == CtrlKeyBit;
}

void Sheet::turn_key(uint32_t modifiers) {
    // From a control on a page, the focus comes to the sheet first, so that
    // the control is left (and accepted) before the page turns.
    if (!has_focus() && can_take_focus())
        focus();
    step((modifiers & ShiftKeyBit) ? -1 : 1, true);
}

bool Sheet::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    if (is_turn_key(virtual_key, modifiers))
        return true;
    if (modifiers != 0)
        return false;
    if (vertical())
        return virtual_key == platform::VkUp || virtual_key == platform::VkDown;
    return virtual_key == platform::VkLeft || virtual_key == platform::VkRight;
}

bool Sheet::handle_message(const platform::Message& message, intptr_t& result) {
    result = 0;
    switch (message.number) {
    case MsgTurnPage: {
        const int number = static_cast<int>(message.wparam);
        if (number != selected() && number >= 1 && number <= static_cast<int>(tabs().size())) {
            set_selected(number);
            post(Event::NewSelection);
        }
        return true;
    }
    case platform::MsgKeyDown: {
        const auto key = static_cast<uint32_t>(message.wparam);
        const uint32_t modifiers = ModifiersOf(message);
        if (is_turn_key(key, modifiers)) {
            turn_key(modifiers);
            return true;
        }
        if (!wants_key(key, modifiers))
            return false;
        step(key == platform::VkLeft || key == platform::VkUp ? -1 : 1, false);
        return true;
    }
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick: {
        Control::handle_message(message, result);
        const platform::Point point{platform::LowWordSigned(message.lparam),
                                    platform::HighWordSigned(message.lparam)};
        for (const Place& place : places())
            if (place.rect.contains(point))
                choose(place.number);
        return true;
    }
    default:
        return Control::handle_message(message, result);
    }
}

void Sheet::attributes_changed(uint32_t changed) {
    Control::attributes_changed(changed);
    tabs_changed();
}

// ---- Values and properties --------------------------------------------------------------

void Sheet::display() {
    if (!m_binding.has_variable())
        return;
    const int64_t number = static_cast<int64_t>(VariableNumber(m_binding.variable));
    if (number >= 1 && number <= static_cast<int64_t>(tabs().size()) && number != selected()) {
        m_selected = static_cast<int>(number);
        if (m_window.IsOpen())
            show_pages();
    }
}

void Sheet::select(int32_t row, int32_t) {
    if (row >= 1 && row <= static_cast<int32_t>(tabs().size()))
        set_selected(row);
}

bool Sheet::update() {
    if (!m_binding.has_variable())
        return false;
    const int64_t before = static_cast<int64_t>(VariableNumber(m_binding.variable));
    SetVariableNumber(m_binding.variable, static_cast<double>(selected()));
    return before != selected();
}

std::optional<std::string> Sheet::get_property(uint32_t number) {
    switch (number) {
    case Prop::Selection:
        return std::to_string(selected());
    case Prop::ChoiceCount:
        return std::to_string(tabs().size());
    default:
        return Control::get_property(number);
    }
}

bool Sheet::set_property(uint32_t number, int32_t index, std::string_view value) {
    if (number == Prop::Selection) {
        const int64_t tab = NumberValue(value);
        if (tab >= 1 && tab <= static_cast<int64_t>(tabs().size()))
            set_selected(static_cast<int>(tab));
        return true;
    }
    return Control::set_property(number, index, value);
}

// ---- Drawing ----------------------------------------------------------------------------

void Sheet::paint(painter::Painter& painter) {
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    if (all.empty())
        return;
    const painter::Color face = background_colour();
    const bool enabled = effectively_enabled();
    const platform::Rect page = page_rect();
    painter.fill_rect(page, face);
    const std::vector<Place> tab_places = places();
    const Place* chosen = nullptr;
    const auto draw_tab = [&](const Place& place) {
        painter.fill_rect(place.rect, face);
        draw_tab_edges(painter, place.rect, m_placement);
        const auto font = place.tab->font();
        if (!font)
            return;
        painter::TextFormat format;
        format.single_line = true;
        format.mnemonic = true;
        format.horizontal = painter::HorizontalAlign::Center;
        format.vertical = painter::VerticalAlign::Center;
        // The caption sits in the part of the tab outside the page.
        platform::Rect text = place.rect;
        if (place.number == selected()) {
            switch (m_placement) {
            case Top:
                text.bottom -= 2;
                break;
            case Bottom:
                text.top += 2;
                break;
            case Left:
                text.right -= 2;
                break;
            case Right:
                text.left += 2;
                break;
            }
        }
        DrawControlText(painter, text, place.tab->caption(), *font, place.tab->text_colour(),
                        enabled && place.tab->effectively_enabled(), format);
        if (place.number == selected() && has_focus()) {
            const std::string shown = plain(place.tab->caption());
            const int width = font->text_width(shown) + 6;
            const int height = font->metrics().height + 2;
            DrawFocus(painter,
                      platform::Rect::FromSize(text.left + (text.width() - width) / 2,
                                               text.top + (text.height() - height) / 2, width, height));
        }
    };
    for (const Place& place : tab_places) {
        if (place.number == selected())
            chosen = &place;
        else
            draw_tab(place);
    }
    painter.draw_border(page, painter::Border::RaisedDouble);
    if (chosen)
        draw_tab(*chosen);
}

} // namespace morvex

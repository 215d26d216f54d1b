#include "window/sheet_tab.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "window/key_codes.h"
#include "window/painter/painter.h"
#include "window/sheet.h"
#include "window/window.h"

namespace morvex {

SheetTab::SheetTab(Window& window, const ControlDefinition& definition) : Control(window, definition) {
    m_sheet = static_cast<int32_t>(definition.number(wdf::Field::TabSheet));
    if (m_sheet != 0)
        return;
    // The controls built so far: the last sheet among them holds the tab.
    const auto& controls = window.controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it)
        if ((*it)->type() == wdf::SheetControl) {
            m_sheet = (*it)->feq();
            return;
        }
}

Sheet* SheetTab::sheet() const {
    return dynamic_cast<Sheet*>(m_window.control(m_sheet));
}

void SheetTab::create(platform::WindowHandle parent) {
    if (Sheet* owner = sheet()) {
        const platform::Rect page = owner->page_rect();
        m_rect = page.offset(owner->rect().left, owner->rect().top);
    }
    Control::create(parent);
    if (m_handle)
        platform::show_window(m_handle, effectively_visible() && shows_children());
}

void SheetTab::paint(painter::Painter& painter) {
    for (const auto& control : m_window.controls()) {
        if (control->handle() != 0 || control->tab_owner() != m_feq || !control->effectively_visible())
            continue;
        painter::Painter sub = painter.sub_painter(control->rect().offset(-m_rect.left, -m_rect.top));
        control->paint(sub);
    }
}

bool SheetTab::effectively_visible() const {
    const Sheet* owner = sheet();
    return !hidden() && (!owner || owner->effectively_visible());
}

bool SheetTab::effectively_enabled() const {
    const Sheet* owner = sheet();
    return !disabled() && (!owner || owner->effectively_enabled());
}

bool SheetTab::shows_children() const {
    const Sheet* owner = sheet();
    return owner && owner->selected_tab() == this;
}

bool SheetTab::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    return Sheet::is_turn_key(virtual_key, modifiers);
}

bool SheetTab::handle_message(const platform::Message& message, intptr_t& result) {
    if (message.number == platform::MsgKeyDown || message.number == platform::MsgSysKeyDown) {
        const uint32_t modifiers = ModifiersOf(message);
        if (Sheet* owner = sheet();
            owner && Sheet::is_turn_key(static_cast<uint32_t>(message.wparam), modifiers)) {
            owner->turn_key(modifiers);
            result = 0;
            return true;
        }
    }
    return Control::handle_message(message, result);
}

void SheetTab::activate_mnemonic() {
    Sheet* owner = sheet();
    if (!owner || !effectively_enabled())
        return;
    const std::vector<SheetTab*> all = owner->tabs();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] == this)
            owner->choose(static_cast<int>(i + 1));
    if (owner->can_take_focus())
        owner->focus();
}

void SheetTab::set_text(std::string_view text) {
    m_text = std::string(text);
    if (Sheet* owner = sheet())
        owner->tabs_changed();
}

void SheetTab::attributes_changed(uint32_t changed) {
    Control::attributes_changed(changed);
    if (Sheet* owner = sheet())
        owner->tabs_changed();
}

} // namespace morvex

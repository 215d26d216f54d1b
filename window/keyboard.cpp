#include "window/keyboard.h"

#include "platform/input.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/ascii_case.h"
#include "window/accept.h"
#include "window/application_frame.h"
#include "window/key_codes.h"
#include "window/menu_bar.h"
#include "window/window.h"

namespace morvex {

namespace {

bool is_key_down(uint32_t number) {
    return number == platform::MsgKeyDown || number == platform::MsgSysKeyDown;
}

bool is_character(uint32_t number) {
    return number == platform::MsgChar || number == platform::MsgSysChar;
}

// Mouse presses and releases have key codes too, for alerts.
std::optional<uint32_t> mouse_key_code(uint32_t number) {
    switch (number) {
    case platform::MsgLButtonDown:
        return Key::MouseLeft;
    case platform::MsgRButtonDown:
        return Key::MouseRight;
    case platform::MsgMButtonDown:
        return Key::MouseCenter;
    case platform::MsgLButtonDoubleClick:
        return Key::MouseLeft2;
    case platform::MsgRButtonDoubleClick:
        return Key::MouseRight2;
    case platform::MsgMButtonDoubleClick:
        return Key::MouseCenter2;
    case platform::MsgLButtonUp:
        return Key::MouseLeftUp;
    case platform::MsgRButtonUp:
        return Key::MouseRightUp;
    case platform::MsgMButtonUp:
        return Key::MouseCenterUp;
    default:
        return std::nullopt;
    }
}

Control* button_with_key(Window& window, uint32_t key_code) {
    for (const auto& control : window.controls())
        if (control->type() == wdf::ButtonControl && key_code != 0 &&
            static_cast<uint32_t>(control->key()) == key_code && control->effectively_visible() &&
            control->effectively_enabled())
            return control.get();
    return nullptr;
}

Control* control_with_mnemonic(Window& window, char letter) {
    const char upper = AsciiUpper(letter);
    for (const auto& control : window.controls())
        if (control->mnemonic() == upper && control->effectively_visible() && control->effectively_enabled())
            return control.get();
    return nullptr;
}

// The alerted key: PreAlert at once, AlertKey queued; true when the
// procedure took the PreAlert (cycled it), which consumes the key.
bool alert(Window& window, Control* focus, uint32_t key_code) {
    const bool watched = window.alerted(key_code) || (focus && focus->alerted(key_code));
    if (!watched)
        return false;
    const int32_t field = focus ? focus->feq() : 0;
    const LoopOutcome pre = DeliverNow(window, Event::PreAlert, field);
    PostEvent(window, Event::AlertKey, field);
    return pre == LoopOutcome::Cycled;
}

// The window whose menu bar the keys reach: the window's own, or for an MDI
// child without one the frame's, which it shares.
Window* menu_owner(Window& window) {
    if (window.menu_bar())
        return &window;
    if (window.kind() == Window::Kind::MdiChild)
        if (ApplicationFrame* frame = ApplicationFrame::Active(); frame && frame->menu_bar())
            return frame;
    return nullptr;
}

} // namespace

bool HandleWindowKey(Window& window, Control* focus, const platform::Message& message) {
    if (const auto mouse = mouse_key_code(message.number)) {
        SETKEYCODE(*mouse);
        const uint32_t release = message.number == platform::MsgLButtonUp ||
                                 message.number == platform::MsgRButtonUp ||
                                 message.number == platform::MsgMButtonUp;
        if (release)
            return alert(window, focus, *mouse);
        return false;
    }
    const uint32_t modifiers = ModifiersOf(message);
    // Alt pressed and let go with no key between opens the menu bar.
    thread_local bool alt_alone = false;
    if (message.number == platform::MsgSysKeyUp && message.wparam == platform::VkMenu) {
        const bool open = alt_alone;
        alt_alone = false;
        Window* owner = menu_owner(window);
        return open && owner && owner->open_menu_bar(-1);
    }
    if (is_key_down(message.number)) {
        const auto virtual_key = static_cast<uint32_t>(message.wparam);
        alt_alone = virtual_key == platform::VkMenu &&
                    !(static_cast<uint32_t>(message.lparam) & platform::KeyFlagPrevious);
        if (virtual_key == platform::VkShift || virtual_key == platform::VkControl ||
            virtual_key == platform::VkMenu)
            return false;
        const uint32_t key_code = (virtual_key & 0xFF) | modifiers;
        SETKEYCODE(key_code);
        // A control that keeps the keys (a dropped list) lets only Tab move on.
        if (focus && focus->keeps_keys()) {
            if ((key_code & ~ShiftKeyBit) != Key::Tab)
                return false;
            if (Control* next = window.next_focusable(focus, key_code != Key::Tab))
                next->focus();
            return true;
        }
        if (alert(window, focus, key_code))
            return true;
        if (Window* owner = menu_owner(window)) {
            MenuBar& bar = *owner->menu_bar();
            if (const MenuItem* item = bar.item_with_shortcut(key_code); item && item->use) {
                PostEvent(*owner, Event::Accepted, item->use);
                return true;
            }
            if (key_code == Key::F1 + 9) { // F10
                owner->open_menu_bar(-1);
                return true;
            }
            if ((modifiers & AltKeyBit) && !(modifiers & CtrlKeyBit))
                if (const int title = bar.title_with_mnemonic(static_cast<char>(virtual_key));
                    title >= 0 && virtual_key >= '0' && virtual_key <= 'Z') {
                    owner->open_menu_bar(title);
                    return true;
                }
        }
        if (Control* button = button_with_key(window, key_code)) {
            button->activate_mnemonic();
            return true;
        }
        if (focus && focus->wants_key(virtual_key, modifiers))
            return false;
        // A key the focus control leaves alone may belong to the tab it lies
        // on (Ctrl+Tab turns the pages of the sheet).
        Control* holder = focus ? window.control(focus->tab_owner()) : nullptr;
        for (int depth = 0; holder && depth < 4; ++depth, holder = window.control(holder->tab_owner()))
            if (holder->wants_key(virtual_key, modifiers)) {
                intptr_t result = 0;
                holder->handle_message(message, result);
                return true;
            }
        // Shift does not change what Enter and Escape do.
        switch (key_code == (Key::Enter | ShiftKeyBit) || key_code == (Key::Escape | ShiftKeyBit)
                    ? key_code & 0xFF
                    : key_code) {
        case Key::Tab:
        case Key::Tab | ShiftKeyBit:
            if (Control* next = window.next_focusable(focus, key_code != Key::Tab))
                next->focus();
            return true;
        case Key::Enter:
            if (focus && focus->type() == wdf::ButtonControl) {
                focus->activate_mnemonic();
                return true;
            }
            if (Control* button = window.default_button()) {
                button->activate_mnemonic();
                return true;
            }
            return false;
        case Key::Escape:
            PostEvent(window, Event::CloseWindow);
            return true;
        default:
            break;
        }
        if ((modifiers & AltKeyBit) && !(modifiers & CtrlKeyBit) &&
            ((virtual_key >= 'A' && virtual_key <= 'Z') || (virtual_key >= '0' && virtual_key <= '9'))) {
            if (Control* target = control_with_mnemonic(window, static_cast<char>(virtual_key))) {
                target->activate_mnemonic();
                return true;
            }
        }
        return false;
    }
    if (is_character(message.number)) {
        const auto character = static_cast<char>(message.wparam);
        // The characters of the navigation keys handled above.
        if ((character == '\t' || character == '\r' || character == 0x1B) &&
            !(focus && focus->wants_key(character == '\t'   ? Key::Tab
                                        : character == '\r' ? Key::Enter
                                                            : Key::Escape,
                                        modifiers)))
            return true;
        if (message.number == platform::MsgSysChar)
            return true;
        // A letter on a control that takes no text works as its mnemonic.
        if (focus && !focus->takes_text() && character != ' ') {
            if (Control* target = control_with_mnemonic(window, character)) {
                target->activate_mnemonic();
                return true;
            }
        }
    }
    return false;
}

} // namespace morvex

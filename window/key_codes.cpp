#include "window/key_codes.h"

#include "platform/input.h"
#include "platform/window_messages.h"
#include "runtime/ascii_case.h"
#include "runtime/leading_integer.h"

#include <cstdio>

namespace morvex {

namespace {

struct KeyName {
    uint32_t code;
    std::string_view name;
};

constexpr KeyName Names[] = {
    {Key::MouseLeft, "MouseLeft"},
    {Key::MouseRight, "MouseRight"},
    {Key::MouseCenter, "MouseCenter"},
    {Key::MouseLeft2, "MouseLeft2"},
    {Key::MouseRight2, "MouseRight2"},
    {Key::MouseCenter2, "MouseCenter2"},
    {Key::MouseLeftUp, "MouseLeftUp"},
    {Key::MouseRightUp, "MouseRightUp"},
    {Key::MouseCenterUp, "MouseCenterUp"},
    {Key::Backspace, "Backspace"},
    {Key::Tab, "Tab"},
    {Key::Enter, "Enter"},
    {Key::Escape, "Escape"},
    {Key::Escape, "Esc"},
    {Key::Space, "Space"},
    {Key::PageUp, "PgUp"},
    {Key::PageUp, "PageUp"},
    {Key::PageDown, "PgDn"},
    {Key::PageDown, "PageDown"},
    {Key::End, "End"},
    {Key::Home, "Home"},
    {Key::Left, "Left"},
    {Key::Up, "Up"},
    {Key::Right, "Right"},
    {Key::Down, "Down"},
    {Key::Insert, "Insert"},
    {Key::Insert, "Ins"},
    {Key::Delete, "Delete"},
    {Key::Delete, "Del"},
};

} // namespace

uint32_t ModifiersOf(const platform::Message& message) {
    uint32_t bits = 0;
    if (message.number >= platform::MsgKeyDown && message.number <= platform::MsgSysChar) {
        const auto flags = static_cast<uint32_t>(message.lparam);
        if (flags & platform::KeyFlagShift)
            bits |= ShiftKeyBit;
        if (flags & platform::KeyFlagControl)
            bits |= CtrlKeyBit;
        if (flags & platform::KeyFlagAlt)
            bits |= AltKeyBit;
        return bits;
    }
    if (message.number >= platform::MsgMouseMove && message.number <= platform::MsgMButtonDoubleClick) {
        if (message.wparam & platform::MouseShift)
            bits |= ShiftKeyBit;
        if (message.wparam & platform::MouseControl)
            bits |= CtrlKeyBit;
    }
    if (platform::is_key_down(platform::VkMenu))
        bits |= AltKeyBit;
    return bits;
}

std::optional<uint32_t> KeyCodeByName(std::string_view name) {
    uint32_t modifiers = 0;
    while (true) {
        const std::size_t plus = name.find('+');
        if (plus == std::string_view::npos || plus == 0 || plus + 1 >= name.size())
            break;
        const std::string_view modifier = name.substr(0, plus);
        if (EqualsIgnoringAsciiCase(modifier, "SHIFT"))
            modifiers |= ShiftKeyBit;
        else if (EqualsIgnoringAsciiCase(modifier, "CTRL") || EqualsIgnoringAsciiCase(modifier, "CONTROL"))
            modifiers |= CtrlKeyBit;
        else if (EqualsIgnoringAsciiCase(modifier, "ALT"))
            modifiers |= AltKeyBit;
        else
            return std::nullopt;
        name.remove_prefix(plus + 1);
    }
    if (name.empty())
        return std::nullopt;
    const std::string key = AsciiUpper(name);
    if (key.size() == 1) {
        const char c = key[0];
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            return static_cast<uint32_t>(c) | modifiers;
        return std::nullopt;
    }
    for (const KeyName& entry : Names)
        if (EqualsIgnoringAsciiCase(entry.name, key))
            return entry.code | modifiers;
    if (key[0] == 'F' && key.size() <= 3) {
        const LeadingInteger number =
            ReadLeadingInteger(std::string_view(key).substr(1), {.sign = false, .blanks = {}});
        if (number.length != key.size() - 1)
            return std::nullopt;
        if (number.value >= 1 && number.value <= 12)
            return (Key::F1 + static_cast<uint32_t>(number.value - 1)) | modifiers;
    }
    return std::nullopt;
}

std::string KeyCodeName(uint32_t key_code) {
    std::string name;
    if (key_code & CtrlKeyBit)
        name += "Ctrl+";
    if (key_code & AltKeyBit)
        name += "Alt+";
    if (key_code & ShiftKeyBit)
        name += "Shift+";
    const uint32_t key = key_code & 0xFF;
    for (const KeyName& entry : Names)
        if (entry.code == key)
            return name + std::string(entry.name);
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        return name + static_cast<char>(key);
    if (key >= Key::F1 && key < Key::F1 + 12)
        return name + "F" + std::to_string(key - Key::F1 + 1);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%02X", key);
    return name + buffer;
}

} // namespace morvex

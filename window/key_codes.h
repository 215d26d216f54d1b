// Key codes: what KEYCODE() returns and what alert keys and button keys are
// given as. A key code is the platform's virtual key (0-255) plus 0x100 for
// Shift, 0x200 for Control and 0x400 for Alt; 11 bits in all. Mouse buttons
// have codes of their own below the keyboard's: presses 1, 2, 4 (left,
// right, middle), double clicks 5, 6, 7 and releases 0x81, 0x82, 0x84.
#pragma once

#include "platform/message_queue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvex {

constexpr uint32_t KeyCodeMask = 0x7FF;
constexpr uint32_t ShiftKeyBit = 0x100;
constexpr uint32_t CtrlKeyBit = 0x200;
constexpr uint32_t AltKeyBit = 0x400;

namespace Key {
constexpr uint32_t MouseLeft = 0x01;
constexpr uint32_t MouseRight = 0x02;
constexpr uint32_t MouseCenter = 0x04;
constexpr uint32_t MouseLeft2 = 0x05;
constexpr uint32_t MouseRight2 = 0x06;
constexpr uint32_t MouseCenter2 = 0x07;
constexpr uint32_t MouseLeftUp = 0x81;
constexpr uint32_t MouseRightUp = 0x82;
constexpr uint32_t MouseCenterUp = 0x84;
constexpr uint32_t Backspace = 0x08;
constexpr uint32_t Tab = 0x09;
constexpr uint32_t Enter = 0x0D;
constexpr uint32_t Escape = 0x1B;
constexpr uint32_t Space = 0x20;
constexpr uint32_t PageUp = 0x21;
constexpr uint32_t PageDown = 0x22;
constexpr uint32_t End = 0x23;
constexpr uint32_t Home = 0x24;
constexpr uint32_t Left = 0x25;
constexpr uint32_t Up = 0x26;
constexpr uint32_t Right = 0x27;
constexpr uint32_t Down = 0x28;
constexpr uint32_t Insert = 0x2D;
constexpr uint32_t Delete = 0x2E;
constexpr uint32_t F1 = 0x70;
} // namespace Key

// The modifier bits (Shift, Control, Alt) that went with a key, character
// or mouse message.
uint32_t ModifiersOf(const platform::Message& message);

// "Ctrl+Home", "Shift+Tab", "Alt+N", "F4", "a", "Enter": a key code, or
// nullopt when the text names no key. Names are case-blind; a single
// character stands for its key.
std::optional<uint32_t> KeyCodeByName(std::string_view name);
// The name of a key code ("Ctrl+Home"), the inverse of KeyCodeByName.
std::string KeyCodeName(uint32_t key_code);

} // namespace morvex

// The platform's window message numbers and virtual key codes. They keep
// Win32's values, since the window engine's own message numbers sit among
// them and event handling tests for them by number.
#pragma once

#include "platform/message_queue.h"

#include <cstdint>

namespace morvex::platform {

enum WindowMessage : uint32_t {
    MsgCreate = 0x0001,
    MsgDestroy = 0x0002,
    MsgMove = 0x0003,      // lparam: x | y << 16 of the client area
    MsgSize = 0x0005,      // lparam: width | height << 16
    MsgActivate = 0x0006,  // wparam: 0 inactive, 1 active
    MsgSetFocus = 0x0007,  // wparam: the window that lost the focus
    MsgKillFocus = 0x0008, // wparam: the window that gets the focus
    MsgEnable = 0x000A,    // wparam: 1 enabled, 0 disabled
    MsgPaint = 0x000F,
    MsgClose = 0x0010,
    MsgEraseBackground = 0x0014,
    MsgShowWindow = 0x0018, // wparam: 1 shown, 0 hidden
    MsgSetCursor = 0x0020,
    MsgMouseActivate = 0x0021,
    MsgGetMinMaxInfo = 0x0024,
    MsgWindowPositionChanged = 0x0047,
    MsgNcDestroy = 0x0082,
    MsgKeyDown = 0x0100, // wparam: virtual key; lparam: repeat count | flags
    MsgKeyUp = 0x0101,
    MsgChar = 0x0102,       // wparam: the character, Windows-1252
    MsgSysKeyDown = 0x0104, // keys pressed with Alt
    MsgSysKeyUp = 0x0105,
    MsgSysChar = 0x0106,
    MsgSysDeadChar = 0x0107, // the last of the key messages
    MsgCommand = 0x0111,
    MsgSysCommand = 0x0112,
    MsgHScroll = 0x0114,
    MsgVScroll = 0x0115,
    MsgMouseMove = 0x0200, // wparam: button and modifier flags; lparam: x | y << 16, client coordinates
    MsgLButtonDown = 0x0201,
    MsgLButtonUp = 0x0202,
    MsgLButtonDoubleClick = 0x0203,
    MsgRButtonDown = 0x0204,
    MsgRButtonUp = 0x0205,
    MsgRButtonDoubleClick = 0x0206,
    MsgMButtonDown = 0x0207,
    MsgMButtonUp = 0x0208,
    MsgMButtonDoubleClick = 0x0209,
    MsgMouseWheel = 0x020A,     // wparam: flags | delta << 16 (120 a notch); lparam: screen x | y << 16
    MsgCaptureChanged = 0x0215, // lparam: the window that gains the capture
    MsgMouseLeave = 0x02A3,     // the pointer left a window that asked for it (track_mouse_leave)
    MsgUser = 0x0400,
};

// Flags in the wparam of mouse messages.
enum MouseFlags : uint32_t {
    MouseLeftButton = 0x0001,
    MouseRightButton = 0x0002,
    MouseShift = 0x0004,
    MouseControl = 0x0008,
    MouseMiddleButton = 0x0010,
};

// Flags in the lparam of key and character messages: Win32's Alt, previous
// state and release bits, and our own Shift and Control bits (Win32 leaves
// those to GetKeyState), taken when the key was pressed, so that a thread
// handling the message late still sees the modifiers that went with it.
enum KeyFlags : uint32_t {
    KeyFlagShift = 1u << 25,
    KeyFlagControl = 1u << 26,
    KeyFlagAlt = 1u << 29,
    KeyFlagPrevious = 1u << 30,
    KeyFlagRelease = 1u << 31,
};

// Win32 virtual key codes; letters and digits are their upper-case ASCII codes.
enum VirtualKey : uint32_t {
    VkLButton = 0x01,
    VkRButton = 0x02,
    VkMButton = 0x04,
    VkBack = 0x08,
    VkTab = 0x09,
    VkReturn = 0x0D,
    VkShift = 0x10,
    VkControl = 0x11,
    VkMenu = 0x12,
    VkPause = 0x13,
    VkCapital = 0x14,
    VkEscape = 0x1B,
    VkSpace = 0x20,
    VkPrior = 0x21,
    VkNext = 0x22,
    VkEnd = 0x23,
    VkHome = 0x24,
    VkLeft = 0x25,
    VkUp = 0x26,
    VkRight = 0x27,
    VkDown = 0x28,
    VkInsert = 0x2D,
    VkDelete = 0x2E,
    VkNumpad0 = 0x60,
    VkMultiply = 0x6A,
    VkAdd = 0x6B,
    VkSubtract = 0x6D,
    VkDecimal = 0x6E,
    VkDivide = 0x6F,
    VkF1 = 0x70,
    VkF12 = 0x7B,
};

// Packs two 16-bit values into an lparam as Win32 does (x low, y high, each signed).
constexpr intptr_t MakeLParam(int low, int high) {
    return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                                 (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
}
constexpr int LowWordSigned(intptr_t value) {
    return static_cast<int16_t>(value & 0xFFFF);
}
constexpr int HighWordSigned(intptr_t value) {
    return static_cast<int16_t>((value >> 16) & 0xFFFF);
}

} // namespace morvex::platform

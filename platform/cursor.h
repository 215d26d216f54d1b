// The mouse cursor shapes a window can ask for, as Win32 names its standard
// cursors. A backend shows them in its own way (X's font cursors under X11).
#pragma once

#include <cstdint>

namespace morvex::platform {

enum class MouseCursor : uint8_t {
    Arrow,
    IBeam,      // text
    Wait,       // busy: the hourglass
    Cross,      // precise selection
    SizeNS,     // north-south double arrow
    SizeWE,     // west-east
    SizeNWSE,   // north-west to south-east
    SizeNESW,   // north-east to south-west
    SizeAll,    // four arrows: moving
    Hand,       // a link
    No,         // not allowed here
    AppStarting // arrow and hourglass: working in the background
};

constexpr int MouseCursorCount = static_cast<int>(MouseCursor::AppStarting) + 1;

} // namespace morvex::platform

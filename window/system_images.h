// The standard system icons and cursors that window definitions name by
// number. We draw them ourselves, procedurally: icons anti-aliased with
// alpha at any square size (32 and 16 are the ones in use), cursors as
// classic two-colour 32×32 shapes with a one-pixel outline and a hotspot.
#pragma once

#include "window/painter/image.h"

#include <cstdint>
#include <optional>

namespace morvex {

enum SystemIconId : uint32_t {
    SystemIconApplication = 32512,
    SystemIconError = 32513, // also called the hand icon
    SystemIconQuestion = 32514,
    SystemIconExclamation = 32515,
    SystemIconInformation = 32516, // also called the asterisk icon
    SystemIconLogo = 32517,
};

enum SystemCursorId : uint32_t {
    SystemCursorArrow = 32512,
    SystemCursorIBeam = 32513,
    SystemCursorWait = 32514,
    SystemCursorCross = 32515,
    SystemCursorUpArrow = 32516,
    SystemCursorSizeNwse = 32642,
    SystemCursorSizeNesw = 32643,
    SystemCursorSizeWe = 32644,
    SystemCursorSizeNs = 32645,
    SystemCursorSizeAll = 32646,
    SystemCursorNo = 32648,
    SystemCursorHand = 32649,
    SystemCursorAppStarting = 32650,
    SystemCursorHelp = 32651,
};

constexpr int SystemCursorSize = 32;

// The icon `id` drawn `size` pixels square (8 to 256); nullopt for an id
// that is not a standard icon or a size out of range.
std::optional<painter::Image> DrawSystemIcon(uint32_t id, int size = 32);
// The cursor `id`, 32×32 with its hotspot; nullopt for an unknown id.
std::optional<painter::Image> DrawSystemCursor(uint32_t id);

} // namespace morvex

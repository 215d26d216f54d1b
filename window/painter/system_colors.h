// The classic grey system colours, indexed as the platform numbers them. The
// 3D borders, focus rectangles and control faces all take their colours here.
#pragma once

#include "window/painter/color.h"

namespace morvex::painter {

enum class SystemColor : int {
    ScrollBar = 0,
    Desktop = 1,
    ActiveCaption = 2,
    InactiveCaption = 3,
    Menu = 4,
    Window = 5,
    WindowFrame = 6,
    MenuText = 7,
    WindowText = 8,
    CaptionText = 9,
    ActiveBorder = 10,
    InactiveBorder = 11,
    AppWorkspace = 12,
    Highlight = 13,
    HighlightText = 14,
    ButtonFace = 15,
    ButtonShadow = 16,
    GrayText = 17,
    ButtonText = 18,
    InactiveCaptionText = 19,
    ButtonHighlight = 20,
    DarkShadow = 21,
    Light = 22,
    InfoText = 23,
    InfoBackground = 24,
};
constexpr int SystemColorCount = 25;

Color system_color(SystemColor which);
// nullopt for an index outside the table.
std::optional<Color> system_color(int index);

} // namespace morvex::painter

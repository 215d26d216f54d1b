#include "window/painter/system_colors.h"

namespace morvex::painter {

namespace {

// The classic grey scheme, 0x00RRGGBB, in index order.
constexpr uint32_t Table[SystemColorCount] = {
    0xC0C0C0, // scroll bar
    0x008080, // desktop
    0x000080, // active caption
    0x808080, // inactive caption
    0xC0C0C0, // menu
    0xFFFFFF, // window
    0x000000, // window frame
    0x000000, // menu text
    0x000000, // window text
    0xFFFFFF, // caption text
    0xC0C0C0, // active border
    0xC0C0C0, // inactive border
    0x808080, // application workspace
    0x000080, // highlight
    0xFFFFFF, // highlight text
    0xC0C0C0, // button face
    0x808080, // button shadow
    0x808080, // grey text
    0x000000, // button text
    0xC0C0C0, // inactive caption text
    0xFFFFFF, // button highlight
    0x000000, // dark shadow
    0xDFDFDF, // light
    0x000000, // tooltip text
    0xFFFFE1, // tooltip background
};

} // namespace

Color system_color(SystemColor which) {
    return Color::from_rgb(Table[static_cast<int>(which)]);
}

std::optional<Color> system_color(int index) {
    if (index < 0 || index >= SystemColorCount)
        return std::nullopt;
    return Color::from_rgb(Table[index]);
}

std::optional<Color> resolve_colorref(ColorRef ref) {
    if (ref == DefaultColorRef)
        return std::nullopt;
    if (ref & SystemColorFlag)
        return system_color(static_cast<int>(ref & ~SystemColorFlag));
    return Color::from_colorref(ref);
}

} // namespace morvex::painter

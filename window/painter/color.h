// Colours as the window definitions store them (COLORREF: 0x00BBGGRR, red in
// the low byte) and as frame buffers hold them (0x00RRGGBB).
#pragma once

#include "platform/frame_buffer.h"

#include <cstdint>
#include <optional>

namespace morvex::painter {

using ColorRef = uint32_t;

// "No colour": the control or window uses its default.
constexpr ColorRef DefaultColorRef = 0xFFFFFFFF;
// A colour reference with this bit set names a system colour by index
// (0x80000011 is the grey-text colour).
constexpr ColorRef SystemColorFlag = 0x80000000;

struct Color {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;

    static constexpr Color from_colorref(ColorRef ref) {
        return {static_cast<uint8_t>(ref), static_cast<uint8_t>(ref >> 8), static_cast<uint8_t>(ref >> 16)};
    }
    static constexpr Color from_pixel(platform::Pixel pixel) {
        return {platform::PixelRed(pixel), platform::PixelGreen(pixel), platform::PixelBlue(pixel)};
    }
    // 0x00RRGGBB written the way one reads it.
    static constexpr Color from_rgb(uint32_t rgb) { return from_pixel(rgb); }
    constexpr ColorRef colorref() const {
        return ColorRef{red} | (ColorRef{green} << 8) | (ColorRef{blue} << 16);
    }
    constexpr platform::Pixel pixel() const { return platform::MakePixel(red, green, blue); }

    bool operator==(const Color&) const = default;
};

// The colour a reference stands for: a plain RGB value, or a system colour;
// nullopt for the default marker and for system indices we do not know.
std::optional<Color> resolve_colorref(ColorRef ref);

} // namespace morvex::painter

// Mixing a colour into a pixel by an 8-bit weight (glyph coverage or image
// alpha), shared by the text and image drawing.
#pragma once

#include "platform/frame_buffer.h"

#include <cstdint>

namespace morvex::painter {

// `over` (0x00RRGGBB) over `under` with weight 0..255: each channel
// (over × weight + under × (255 − weight)) / 255, rounded. Red and blue share
// one 32-bit multiply, each in its own 16-bit lane.
constexpr platform::Pixel blend_pixel(platform::Pixel under, platform::Pixel over, uint32_t weight) {
    if (weight == 0)
        return under;
    if (weight >= 255)
        return over;
    const uint32_t inverse = 255 - weight;
    const auto divide_lanes = [](uint32_t lanes) {
        lanes += 0x00800080;
        return ((lanes + ((lanes >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    };
    const uint32_t red_blue = divide_lanes((over & 0x00FF00FF) * weight + (under & 0x00FF00FF) * inverse);
    const uint32_t green = divide_lanes(((over >> 8) & 0xFF) * weight + ((under >> 8) & 0xFF) * inverse);
    return red_blue | (green << 8);
}

} // namespace morvex::painter

// How an X server lays out the pixels of a TrueColor image, and the
// conversion of our 0x00RRGGBB frame-buffer pixels into that layout.
#pragma once

#include "platform/frame_buffer.h"

#include <cstdint>

namespace morvex::platform {

struct PixelLayout {
    int bits_per_pixel = 32; // 8, 16, 24 or 32
    bool most_significant_first = false;
    uint32_t red_mask = 0xFF0000;
    uint32_t green_mask = 0x00FF00;
    uint32_t blue_mask = 0x0000FF;
};

// True when the layout stores pixels exactly as a FrameBuffer does on this
// machine, so that the frame buffer's memory can be sent as it is.
bool matches_frame_buffer(const PixelLayout& layout);

// Writes `count` pixels in `layout` to `destination` (count * bits_per_pixel
// / 8 bytes). Channels are scaled to their mask's width by dropping low bits.
void convert_pixels(const Pixel* source, int count, const PixelLayout& layout, uint8_t* destination);

} // namespace morvex::platform

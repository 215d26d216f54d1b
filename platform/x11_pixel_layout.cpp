#include "platform/x11_pixel_layout.h"

#include <bit>
#include <cstring>

namespace morvex::platform {

namespace {

// Places an 8-bit channel value into the bits of `mask`.
uint32_t place(uint8_t value, uint32_t mask) {
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    const uint32_t scaled = width >= 8 ? uint32_t{value} << (width - 8) : uint32_t{value} >> (8 - width);
    return (scaled << shift) & mask;
}

} // namespace

bool matches_frame_buffer(const PixelLayout& layout) {
    const bool host_most_significant_first = std::endian::native == std::endian::big;
    return layout.bits_per_pixel == 32 && layout.most_significant_first == host_most_significant_first &&
           layout.red_mask == 0xFF0000 && layout.green_mask == 0x00FF00 && layout.blue_mask == 0x0000FF;
}

void convert_pixels(const Pixel* source, int count, const PixelLayout& layout, uint8_t* destination) {
    if (matches_frame_buffer(layout)) {
        std::memcpy(destination, source, static_cast<std::size_t>(count) * sizeof(Pixel));
        return;
    }
    const int bytes = layout.bits_per_pixel / 8;
    for (int i = 0; i < count; ++i) {
        const Pixel pixel = source[i];
        const uint32_t value = place(PixelRed(pixel), layout.red_mask) |
                               place(PixelGreen(pixel), layout.green_mask) |
                               place(PixelBlue(pixel), layout.blue_mask);
        for (int b = 0; b < bytes; ++b) {
            const int shift = layout.most_significant_first ? 8 * (bytes - 1 - b) : 8 * b;
            *destination++ = static_cast<uint8_t>(value >> shift);
        }
    }
}

} // namespace morvex::platform

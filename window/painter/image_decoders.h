// The decoders behind decode_image, one per format. Each returns nullopt on
// malformed, truncated or oversized input.
#pragma once

#include "window/painter/image.h"

namespace morvex::painter {

// A .BMP file: file header, then a device-independent bitmap.
std::optional<Image> decode_bmp(std::span<const uint8_t> bytes);
// A device-independent bitmap as icons store it: header, palette and pixels
// in sequence, twice as high as the image, with the AND mask after the colours.
std::optional<Image> decode_icon_bitmap(std::span<const uint8_t> bytes);
// .ICO and .CUR files; a cursor's hotspot comes from its directory entry.
std::optional<Image> decode_icon(std::span<const uint8_t> bytes, IconChoice choice);
// The first frame of a GIF, with its transparent colour.
std::optional<Image> decode_gif(std::span<const uint8_t> bytes);
std::optional<Image> decode_png_image(std::span<const uint8_t> bytes);
std::optional<Image> decode_jpeg(std::span<const uint8_t> bytes);

} // namespace morvex::painter

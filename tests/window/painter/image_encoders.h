// Small encoders for the decoder tests: they write BMP, GIF, ICO and JPEG
// bytes from pixels the tests make up, so every test image is our own.
#pragma once

#include "window/painter/image.h"

#include <cstdint>
#include <vector>

namespace morvex::painter::testing {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& out, uint32_t value);
void put32(Bytes& out, uint32_t value);

// A bitmap header and its pixels as an icon stores them, or with a file
// header as a .BMP. `bits` 1, 4 or 8 take palette indices from `indices`;
// 24 and 32 take colours from `image` (32 keeps its alpha).
struct BmpSource {
    int width = 0;
    int height = 0;
    int bits = 24;
    std::vector<ArgbPixel> palette; // for 1, 4 and 8 bits
    std::vector<uint8_t> indices;   // width × height, top row first
    std::vector<ArgbPixel> colours; // width × height, top row first
    bool top_down = false;
};
Bytes encode_bmp(const BmpSource& source);
// The bitmap as an icon entry: header with double height, colours, AND mask
// (1 = transparent; width × height, top row first).
Bytes encode_icon_bitmap(const BmpSource& source, const std::vector<uint8_t>& and_mask);

struct IconEntry {
    int width = 0;
    int height = 0;
    int bits = 0;      // directory field (icons); 0 in cursors
    int hotspot_x = 0; // cursors
    int hotspot_y = 0;
    Bytes data;
};
// type 1 for .ICO, 2 for .CUR.
Bytes encode_icon_file(int type, const std::vector<IconEntry>& entries);

// A GIF of palette indices; `transparent` < 0 for none.
struct GifSource {
    int width = 0;
    int height = 0;
    std::vector<ArgbPixel> palette; // up to 256 colours
    std::vector<uint8_t> indices;   // top row first
    int transparent = -1;
    bool interlaced = false;
    bool local_table = false;
};
Bytes encode_gif(const GifSource& source);

// A baseline JPEG of an opaque image at the given quality.
Bytes encode_jpeg(const Image& image, int quality);

} // namespace morvex::painter::testing

// Images for windows, buttons, icons, cursors and wallpapers: 32-bit pixels
// with alpha, decoded from BMP, ICO/CUR and GIF by our own decoders and from
// PNG and JPEG through libpng and libjpeg. Every decoder takes untrusted
// bytes and returns nullopt on anything it cannot read safely.
#pragma once

#include "platform/geometry.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morvex::painter {

// 0xAARRGGBB: alpha 255 opaque, 0 transparent; not premultiplied.
using ArgbPixel = uint32_t;

constexpr ArgbPixel MakeArgb(uint8_t alpha, uint8_t red, uint8_t green, uint8_t blue) {
    return (ArgbPixel{alpha} << 24) | (ArgbPixel{red} << 16) | (ArgbPixel{green} << 8) | ArgbPixel{blue};
}
constexpr uint8_t ArgbAlpha(ArgbPixel pixel) {
    return static_cast<uint8_t>(pixel >> 24);
}

// No decoder makes an image larger than this, whatever its header says.
constexpr int MaxImageSide = 16384;
constexpr int64_t MaxImagePixels = int64_t{1} << 24;
// Files larger than this are not read.
constexpr std::size_t MaxImageFileBytes = std::size_t{64} << 20;

struct Image {
    int width = 0;
    int height = 0;
    std::vector<ArgbPixel> pixels; // rows top to bottom
    platform::Point hotspot;       // of a cursor; (0,0) otherwise

    bool empty() const { return width == 0 || height == 0; }
    ArgbPixel at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    const ArgbPixel* row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
    ArgbPixel& at(int x, int y) {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }

    // A blank (transparent) image; nullopt when the size is not positive or
    // exceeds the limits above.
    // Whether an image of this size is within the limits above.
    static bool fits(int64_t width, int64_t height);
    static std::optional<Image> create(int64_t width, int64_t height, ArgbPixel fill = 0);
};

enum class ImageFormat { Unknown, Bmp, Icon, Cursor, Gif, Png, Jpeg };

// Recognised by the leading bytes, not by a file name.
ImageFormat detect_image_format(std::span<const uint8_t> bytes);

// Which image of an icon or cursor file: `index` when it is 0 or more,
// else the one nearest `preferred_size` pixels with the most colours.
struct IconChoice {
    int index = -1;
    int preferred_size = 32;
};

// Decodes any supported format; icon files give the chosen entry.
std::optional<Image> decode_image(std::span<const uint8_t> bytes, IconChoice choice = {});
std::optional<Image> load_image(const std::string& path, IconChoice choice = {});

} // namespace morvex::painter

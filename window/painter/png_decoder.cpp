// PNG through libpng's simplified reader, which converts every colour type
// and bit depth to 8-bit sRGB with straight alpha.
#include "window/painter/image_decoders.h"

#include <cstring>
#include <png.h>

namespace morvex::painter {

std::optional<Image> decode_png_image(std::span<const uint8_t> bytes) {
    if (bytes.empty())
        return std::nullopt;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
        return std::nullopt;
    std::optional<Image> image = Image::create(png.width, png.height);
    if (!image) {
        png_image_free(&png);
        return std::nullopt;
    }
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    for (std::size_t i = 0; i < image->pixels.size(); ++i) {
        const uint8_t* p = rgba.data() + i * 4;
        image->pixels[i] = MakeArgb(p[3], p[0], p[1], p[2]);
    }
    return image;
}

} // namespace morvex::painter

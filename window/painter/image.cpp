#include "window/painter/image.h"

#include "platform/file_contents.h"
#include "window/painter/image_decoders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace morvex::painter {

bool Image::fits(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= MaxImageSide && height <= MaxImageSide &&
           width * height <= MaxImagePixels;
}

std::optional<Image> Image::create(int64_t width, int64_t height, ArgbPixel fill) {
    if (!fits(width, height))
        return std::nullopt;
    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.assign(static_cast<std::size_t>(width * height), fill);
    return image;
}

ImageFormat detect_image_format(std::span<const uint8_t> bytes) {
    const auto starts = [bytes](std::initializer_list<uint8_t> prefix) {
        return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
    };
    if (starts({'B', 'M'}))
        return ImageFormat::Bmp;
    if (starts({0, 0, 1, 0}))
        return ImageFormat::Icon;
    if (starts({0, 0, 2, 0}))
        return ImageFormat::Cursor;
    if (starts({'G', 'I', 'F', '8'}))
        return ImageFormat::Gif;
    if (starts({0x89, 'P', 'N', 'G'}))
        return ImageFormat::Png;
    if (starts({0xFF, 0xD8, 0xFF}))
        return ImageFormat::Jpeg;
    return ImageFormat::Unknown;
}

std::optional<Image> decode_image(std::span<const uint8_t> bytes, IconChoice choice) {
    switch (detect_image_format(bytes)) {
    case ImageFormat::Bmp:
        return decode_bmp(bytes);
    case ImageFormat::Icon:
    case ImageFormat::Cursor:
        return decode_icon(bytes, choice);
    case ImageFormat::Gif:
        return decode_gif(bytes);
    case ImageFormat::Png:
        return decode_png_image(bytes);
    case ImageFormat::Jpeg:
        return decode_jpeg(bytes);
    case ImageFormat::Unknown:
        break;
    }
    return std::nullopt;
}

std::optional<Image> load_image(const std::string& path, IconChoice choice) {
    std::string bytes;
    if (!platform::read_file_contents(path, bytes, MaxImageFileBytes))
        return std::nullopt;
    return decode_image(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), choice);
}

} // namespace morvex::painter

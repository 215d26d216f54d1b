#include "platform/png_file.h"

#include <cstdio>
#include <cstring>
#include <png.h>

namespace morvex::platform {

namespace {

std::vector<uint8_t> to_rgb(const FrameBuffer& buffer) {
    std::vector<uint8_t> rgb(static_cast<std::size_t>(buffer.width()) *
                             static_cast<std::size_t>(buffer.height()) * 3);
    std::size_t out = 0;
    for (const Pixel pixel : buffer.pixels()) {
        rgb[out++] = PixelRed(pixel);
        rgb[out++] = PixelGreen(pixel);
        rgb[out++] = PixelBlue(pixel);
    }
    return rgb;
}

png_image rgb_image(const FrameBuffer& buffer) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(buffer.width());
    image.height = static_cast<png_uint_32>(buffer.height());
    image.format = PNG_FORMAT_RGB;
    return image;
}

// Finishes a read begun on `image`, or frees it when the header is out of bounds.
std::optional<FrameBuffer> finish_read(png_image& image) {
    if (image.width == 0 || image.height == 0 || image.width > MaxPngSide || image.height > MaxPngSide ||
        int64_t{image.width} * int64_t{image.height} > MaxPngPixels) {
        png_image_free(&image);
        return std::nullopt;
    }
    // Read with alpha and drop it, so that partly transparent pixels keep
    // their colour instead of being composited over black.
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    FrameBuffer buffer(static_cast<int>(image.width), static_cast<int>(image.height));
    const uint8_t* in = rgba.data();
    for (int y = 0; y < buffer.height(); ++y) {
        Pixel* row = buffer.row(y);
        for (int x = 0; x < buffer.width(); ++x, in += 4)
            row[x] = MakePixel(in[0], in[1], in[2]);
    }
    return buffer;
}

png_image empty_image() {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    return image;
}

} // namespace

bool write_png(const FrameBuffer& buffer, const std::string& path) {
    const std::vector<uint8_t> bytes = encode_png(buffer);
    if (bytes.empty())
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

std::vector<uint8_t> encode_png(const FrameBuffer& buffer) {
    if (buffer.empty())
        return {};
    const std::vector<uint8_t> rgb = to_rgb(buffer);
    png_image image = rgb_image(buffer);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr))
        return {};
    std::vector<uint8_t> bytes(size);
    image = rgb_image(buffer);
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr))
        return {};
    bytes.resize(size);
    return bytes;
}

std::optional<FrameBuffer> read_png(const std::string& path) {
    png_image image = empty_image();
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return std::nullopt;
    return finish_read(image);
}

std::optional<FrameBuffer> decode_png(std::span<const uint8_t> bytes) {
    if (bytes.empty())
        return std::nullopt;
    png_image image = empty_image();
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return std::nullopt;
    return finish_read(image);
}

} // namespace morvex::platform

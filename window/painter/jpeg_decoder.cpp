// JPEG through libjpeg. libjpeg reports fatal errors through a callback that
// must not return; it jumps back to the decoder, which owns nothing that
// needs a destructor between setjmp and the jump.
#include "window/painter/image_decoders.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace morvex::painter {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void on_error(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(manager->jump, 1);
}

void on_message(j_common_ptr, int) {}
void on_output(j_common_ptr) {}

// Decodes into `image`, which the caller owns; false on any error.
bool decode_into(std::span<const uint8_t> bytes, std::optional<Image>& image, std::vector<uint8_t>& row) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = on_error;
    errors.base.emit_message = on_message;
    errors.base.output_message = on_output;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    image = Image::create(info.image_width, info.image_height);
    if (!image) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || static_cast<int>(info.output_width) != image->width ||
        static_cast<int>(info.output_height) != image->height) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    row.resize(static_cast<std::size_t>(image->width) * 3);
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            break;
        ArgbPixel* out = &image->at(0, y);
        for (int x = 0; x < image->width; ++x)
            out[x] = MakeArgb(255, row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

std::optional<Image> decode_jpeg(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4)
        return std::nullopt;
    std::optional<Image> image;
    std::vector<uint8_t> row;
    if (!decode_into(bytes, image, row))
        return std::nullopt;
    return image;
}

} // namespace morvex::painter

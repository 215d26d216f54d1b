// Feeds arbitrary bytes to the image decoders (BMP, ICO/CUR, GIF, and PNG and
// JPEG through their libraries) and draws whatever decodes.
#include "window/painter/image.h"
#include "window/painter/painter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace morvex::painter;
    const std::span<const uint8_t> bytes(data, size);
    for (const IconChoice choice : {IconChoice{}, IconChoice{1, 0}}) {
        const std::optional<Image> image = decode_image(bytes, choice);
        if (!image)
            continue;
        if (image->pixels.size() !=
            static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height))
            __builtin_trap();
        FrameBuffer buffer(24, 24);
        Painter painter(buffer);
        painter.draw_image(*image, {-3, 5});
        painter.draw_image_stretched(*image, {2, 2, 21, 13});
        painter.draw_image_tiled(*image, {0, 0, 24, 24});
    }
    return 0;
}

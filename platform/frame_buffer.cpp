#include "platform/frame_buffer.h"

#include <algorithm>

namespace morvex::platform {

FrameBuffer::FrameBuffer(int width, int height, Pixel fill) {
    resize(width, height, fill);
}

void FrameBuffer::resize(int width, int height, Pixel fill) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == m_width && height == m_height)
        return;
    std::vector<Pixel> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
    const int keep_width = std::min(width, m_width);
    const int keep_height = std::min(height, m_height);
    for (int y = 0; y < keep_height; ++y) {
        std::copy_n(row(y), keep_width,
                    pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width));
    }
    m_pixels = std::move(pixels);
    m_width = width;
    m_height = height;
}

} // namespace morvex::platform

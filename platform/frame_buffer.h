// A 32-bit pixel buffer: what a top-level window draws into and a backend
// shows. Pixels are 0x00RRGGBB, rows top to bottom, no padding between rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morvex::platform {

using Pixel = uint32_t;

constexpr Pixel MakePixel(uint8_t red, uint8_t green, uint8_t blue) {
    return (Pixel{red} << 16) | (Pixel{green} << 8) | Pixel{blue};
}
constexpr uint8_t PixelRed(Pixel pixel) {
    return static_cast<uint8_t>(pixel >> 16);
}
constexpr uint8_t PixelGreen(Pixel pixel) {
    return static_cast<uint8_t>(pixel >> 8);
}
constexpr uint8_t PixelBlue(Pixel pixel) {
    return static_cast<uint8_t>(pixel);
}

class FrameBuffer {
public:
    FrameBuffer() = default;
    FrameBuffer(int width, int height, Pixel fill = 0);

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool empty() const { return m_width == 0 || m_height == 0; }

    // Keeps the pixels that still fit; new area takes `fill`. Negative sizes count as 0.
    void resize(int width, int height, Pixel fill = 0);

    // Unchecked access; the caller keeps x and y inside the buffer.
    Pixel& at(int x, int y) {
        return m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
                        static_cast<std::size_t>(x)];
    }
    Pixel at(int x, int y) const {
        return m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
                        static_cast<std::size_t>(x)];
    }
    Pixel* row(int y) {
        return m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
    }
    const Pixel* row(int y) const {
        return m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
    }
    const std::vector<Pixel>& pixels() const { return m_pixels; }

    bool operator==(const FrameBuffer&) const = default;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<Pixel> m_pixels;
};

} // namespace morvex::platform

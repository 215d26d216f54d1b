// Image drawing: straight-alpha ARGB pixels blended onto the buffer, as they
// are, scaled by nearest neighbour, or tiled.
#include "window/painter/blend.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"

#include <algorithm>

namespace morvex::painter {

namespace {

void put(platform::Pixel& target, ArgbPixel source) {
    const uint32_t alpha = ArgbAlpha(source);
    if (alpha == 255)
        target = source & 0x00FFFFFF;
    else if (alpha != 0)
        target = blend_pixel(target, source & 0x00FFFFFF, alpha);
}

} // namespace

void Painter::draw_image(const Image& image, Point top_left) {
    draw_image_part(image, {0, 0, image.width, image.height}, top_left);
}

void Painter::draw_image_part(const Image& image, const Rect& source, Point top_left) {
    const Rect part = source.intersect({0, 0, image.width, image.height});
    if (part.empty())
        return;
    // Where the source part lands in the buffer, shifted when it was cut at
    // the top or left; 64-bit because the position may lie anywhere.
    const int64_t left = int64_t{top_left.x} + (int64_t{part.left} - source.left) + m_origin.x;
    const int64_t top = int64_t{top_left.y} + (int64_t{part.top} - source.top) + m_origin.y;
    const Rect area{static_cast<int>(std::clamp<int64_t>(left, m_clip.left, m_clip.right)),
                    static_cast<int>(std::clamp<int64_t>(top, m_clip.top, m_clip.bottom)),
                    static_cast<int>(std::clamp<int64_t>(left + part.width(), m_clip.left, m_clip.right)),
                    static_cast<int>(std::clamp<int64_t>(top + part.height(), m_clip.top, m_clip.bottom))};
    if (area.empty())
        return;
    const int source_x = part.left + static_cast<int>(area.left - left);
    for (int y = area.top; y < area.bottom; ++y) {
        const ArgbPixel* in = image.row(part.top + static_cast<int>(y - top)) + source_x;
        platform::Pixel* out = m_target->row(y);
        for (int x = area.left; x < area.right; ++x)
            put(out[x], in[x - area.left]);
    }
}

void Painter::draw_image_stretched(const Image& image, const Rect& dest) {
    if (image.empty() || dest.empty())
        return;
    const Rect area = to_device(dest);
    const int64_t left = int64_t{dest.left} + m_origin.x;
    const int64_t top = int64_t{dest.top} + m_origin.y;
    for (int y = area.top; y < area.bottom; ++y) {
        // The centre of each target pixel picks its source pixel.
        const int64_t source_y = ((y - top) * 2 + 1) * image.height / ((int64_t{dest.bottom} - dest.top) * 2);
        platform::Pixel* out = m_target->row(y);
        for (int x = area.left; x < area.right; ++x) {
            const int64_t source_x =
                ((x - left) * 2 + 1) * image.width / ((int64_t{dest.right} - dest.left) * 2);
            put(out[x], image.at(static_cast<int>(source_x), static_cast<int>(source_y)));
        }
    }
}

void Painter::draw_image_tiled(const Image& image, const Rect& dest) {
    if (image.empty() || dest.empty())
        return;
    const Rect area = to_device(dest);
    const int64_t left = int64_t{dest.left} + m_origin.x;
    const int64_t top = int64_t{dest.top} + m_origin.y;
    for (int y = area.top; y < area.bottom; ++y) {
        const int source_y = static_cast<int>((y - top) % image.height);
        const ArgbPixel* in = image.row(source_y);
        platform::Pixel* out = m_target->row(y);
        int source_x = static_cast<int>((area.left - left) % image.width);
        for (int x = area.left; x < area.right; ++x) {
            put(out[x], in[source_x]);
            if (++source_x == image.width)
                source_x = 0;
        }
    }
}

} // namespace morvex::painter

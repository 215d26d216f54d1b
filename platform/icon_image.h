// A window icon as the backend receives it: one rendering at one size, in
// 32-bit pixels 0xAARRGGBB (not premultiplied), rows top first. A window
// is usually given the same icon at several sizes (16x16 and 32x32) and the
// desktop picks the one it needs.
#pragma once

#include <cstdint>
#include <vector>

namespace morvex::platform {

struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // width * height of them

    bool valid() const {
        return width > 0 && height > 0 && pixels.size() == static_cast<std::size_t>(width) * height;
    }
};

} // namespace morvex::platform

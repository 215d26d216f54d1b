// PNG files for frame buffers: what the headless backend saves a window as and
// what golden-image tests compare against. Pixels are written opaque; on
// reading, alpha is dropped (composited over nothing, so colours keep their
// values).
#pragma once

#include "platform/frame_buffer.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morvex::platform {

// Writes the buffer as an 8-bit RGB PNG; false when the file cannot be
// written or the buffer is empty.
bool write_png(const FrameBuffer& buffer, const std::string& path);
// The same PNG bytes in memory; empty when the buffer is empty.
std::vector<uint8_t> encode_png(const FrameBuffer& buffer);

// Reads any PNG libpng understands (palette, grey, 16-bit, interlaced);
// nullopt when the data is not a PNG, is damaged, or is larger than
// MaxPngPixels.
std::optional<FrameBuffer> read_png(const std::string& path);
std::optional<FrameBuffer> decode_png(std::span<const uint8_t> bytes);

// The largest image read_png accepts, so that a hostile header cannot make
// us allocate gigabytes.
constexpr int64_t MaxPngPixels = int64_t{1} << 26;
constexpr int MaxPngSide = 32768;

} // namespace morvex::platform

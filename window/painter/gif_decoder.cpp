// GIF: the first frame, LZW-decoded, on a canvas of the logical screen size;
// the frame's transparent index and the canvas outside the frame are
// transparent. A damaged code stream keeps the pixels decoded before it.
#include "window/painter/byte_reader.h"
#include "window/painter/image_decoders.h"

#include <array>
#include <cstring>

namespace morvex::painter {

namespace {

constexpr int MaxCodes = 4096;

std::vector<ArgbPixel> read_color_table(ByteReader& reader, uint8_t flags) {
    std::vector<ArgbPixel> table;
    if (!(flags & 0x80))
        return table;
    const int count = 2 << (flags & 0x07);
    for (int i = 0; i < count && !reader.failed(); ++i) {
        const uint8_t red = reader.u8();
        const uint8_t green = reader.u8();
        const uint8_t blue = reader.u8();
        table.push_back(MakeArgb(255, red, green, blue));
    }
    return table;
}

// The concatenated sub-blocks that follow; fails when the terminator is missing.
bool read_sub_blocks(ByteReader& reader, std::vector<uint8_t>* out) {
    while (true) {
        const uint8_t size = reader.u8();
        if (reader.failed())
            return false;
        if (size == 0)
            return true;
        if (!reader.has(size)) {
            // Keep what there is of a cut block.
            const std::span<const uint8_t> rest = reader.take(reader.remaining());
            if (out)
                out->insert(out->end(), rest.begin(), rest.end());
            return false;
        }
        const std::span<const uint8_t> block = reader.take(size);
        if (out)
            out->insert(out->end(), block.begin(), block.end());
    }
}

// Decodes up to indices.size() colour indices; returns how many it produced.
std::size_t decode_lzw(std::span<const uint8_t> data, int min_code_size, std::span<uint8_t> indices) {
    std::array<uint16_t, MaxCodes> prefix{};
    std::array<uint8_t, MaxCodes> suffix{};
    std::array<uint8_t, MaxCodes> first{};
    std::array<uint8_t, MaxCodes> stack{};
    const int clear = 1 << min_code_size;
    const int end = clear + 1;
    for (int i = 0; i < clear; ++i)
        suffix[static_cast<std::size_t>(i)] = first[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i);
    int code_size = min_code_size + 1;
    int next = end + 1;
    int previous = -1;
    std::size_t produced = 0;
    uint32_t bit_buffer = 0;
    int bit_count = 0;
    std::size_t position = 0;
    while (produced < indices.size()) {
        while (bit_count < code_size && position < data.size()) {
            bit_buffer |= uint32_t{data[position++]} << bit_count;
            bit_count += 8;
        }
        if (bit_count < code_size)
            break;
        const int code = static_cast<int>(bit_buffer & ((1u << code_size) - 1));
        bit_buffer >>= code_size;
        bit_count -= code_size;
        if (code == clear) {
            code_size = min_code_size + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end)
            break;
        if (previous < 0) {
            if (code > clear)
                break;
            indices[produced++] = suffix[static_cast<std::size_t>(code)];
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= MaxCodes))
            break;
        // Unwind the code's string; a code one past the table is the previous
        // string followed by its own first character.
        std::size_t depth = 0;
        int walk = code;
        if (code == next) {
            stack[depth++] = first[static_cast<std::size_t>(previous)];
            walk = previous;
        }
        while (walk > end && depth < stack.size()) {
            stack[depth++] = suffix[static_cast<std::size_t>(walk)];
            walk = prefix[static_cast<std::size_t>(walk)];
        }
        if (walk == clear || walk == end || depth >= stack.size())
            break;
        stack[depth++] = suffix[static_cast<std::size_t>(walk)];
        const uint8_t head = stack[depth - 1];
        while (depth > 0 && produced < indices.size())
            indices[produced++] = stack[--depth];
        if (next < MaxCodes) {
            prefix[static_cast<std::size_t>(next)] = static_cast<uint16_t>(previous);
            suffix[static_cast<std::size_t>(next)] = head;
            first[static_cast<std::size_t>(next)] = first[static_cast<std::size_t>(previous)];
            ++next;
            if (next == (1 << code_size) && code_size < 12)
                ++code_size;
        }
        previous = code;
    }
    return produced;
}

// Row order of an interlaced frame: every 8th from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1.
std::vector<int> row_order(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    constexpr int Start[4] = {0, 4, 2, 1};
    constexpr int Step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = Start[pass]; y < height; y += Step[pass])
            rows.push_back(y);
    return rows;
}

} // namespace

std::optional<Image> decode_gif(std::span<const uint8_t> bytes) {
    ByteReader reader(bytes);
    const std::span<const uint8_t> signature = reader.take(6);
    if (signature.empty() ||
        (std::memcmp(signature.data(), "GIF87a", 6) != 0 && std::memcmp(signature.data(), "GIF89a", 6) != 0))
        return std::nullopt;
    const int screen_width = reader.u16();
    const int screen_height = reader.u16();
    const uint8_t screen_flags = reader.u8();
    reader.skip(2); // background colour, aspect ratio
    const std::vector<ArgbPixel> global_table = read_color_table(reader, screen_flags);
    int transparent = -1;
    while (!reader.failed()) {
        const uint8_t introducer = reader.u8();
        if (introducer == 0x21) {
            const uint8_t label = reader.u8();
            if (label == 0xF9) {
                std::vector<uint8_t> control;
                if (!read_sub_blocks(reader, &control))
                    return std::nullopt;
                if (control.size() >= 4 && (control[0] & 0x01))
                    transparent = control[3];
            } else if (!read_sub_blocks(reader, nullptr)) {
                return std::nullopt;
            }
            continue;
        }
        if (introducer != 0x2C)
            return std::nullopt; // trailer or garbage before any frame
        const int left = reader.u16();
        const int top = reader.u16();
        const int width = reader.u16();
        const int height = reader.u16();
        const uint8_t flags = reader.u8();
        const std::vector<ArgbPixel> local_table = read_color_table(reader, flags);
        const int min_code_size = reader.u8();
        if (reader.failed() || width == 0 || height == 0 || min_code_size < 1 || min_code_size > 11)
            return std::nullopt;
        std::vector<uint8_t> data;
        read_sub_blocks(reader, &data); // a missing terminator still leaves decodable data
        const int canvas_width = screen_width > 0 ? screen_width : left + width;
        const int canvas_height = screen_height > 0 ? screen_height : top + height;
        std::optional<Image> image = Image::create(canvas_width, canvas_height);
        if (!image || !Image::fits(width, height))
            return std::nullopt;

        std::vector<uint8_t> indices(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        const std::size_t produced = decode_lzw(data, min_code_size, indices);
        const std::vector<ArgbPixel>& table = (flags & 0x80) ? local_table : global_table;
        const std::vector<int> rows = row_order(height, (flags & 0x40) != 0);
        for (std::size_t i = 0; i < produced; ++i) {
            const int x = left + static_cast<int>(i % static_cast<std::size_t>(width));
            const int y = top + rows[i / static_cast<std::size_t>(width)];
            if (x >= image->width || y >= image->height)
                continue;
            const uint8_t index = indices[i];
            if (index == transparent)
                continue;
            image->at(x, y) = index < table.size() ? table[index] : MakeArgb(255, 0, 0, 0);
        }
        return image;
    }
    return std::nullopt;
}

} // namespace morvex::painter

// Icon (.ICO) and cursor (.CUR) files: a directory of images, each a bitmap
// with an AND mask or a PNG. Cursors keep their hotspot.
#include "window/painter/byte_reader.h"
#include "window/painter/image_decoders.h"

#include <cstdlib>

namespace morvex::painter {

namespace {

constexpr int MaxIconEntries = 256;

struct Entry {
    int width = 0;
    int height = 0;
    int bits = 0;
    platform::Point hotspot;
    std::span<const uint8_t> data;
};

bool is_png(std::span<const uint8_t> data) {
    static constexpr uint8_t Signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return data.size() >= 8 && std::equal(Signature, Signature + 8, data.begin());
}

// The colour depth of an entry, from its bitmap header where it has one:
// cursor directories use that field for the hotspot.
int entry_bits(std::span<const uint8_t> data) {
    if (is_png(data))
        return 32;
    ByteReader reader(data, 14);
    const int bits = reader.u16();
    return reader.failed() ? 0 : bits;
}

// The entry nearest the preferred size, then the one with the most colours.
std::size_t best_entry(const std::vector<Entry>& entries, int preferred) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].data.empty())
            continue;
        if (entries[best].data.empty()) {
            best = i;
            continue;
        }
        const int distance = std::abs(entries[i].width - preferred);
        const int best_distance = std::abs(entries[best].width - preferred);
        if (distance < best_distance || (distance == best_distance && entries[i].bits > entries[best].bits))
            best = i;
    }
    return best;
}

} // namespace

std::optional<Image> decode_icon(std::span<const uint8_t> bytes, IconChoice choice) {
    ByteReader reader(bytes);
    const uint16_t reserved = reader.u16();
    const uint16_t type = reader.u16();
    const uint16_t count = reader.u16();
    if (reader.failed() || reserved != 0 || (type != 1 && type != 2) || count == 0 || count > MaxIconEntries)
        return std::nullopt;
    std::vector<Entry> entries;
    for (int i = 0; i < count; ++i) {
        Entry entry;
        entry.width = reader.u8();
        entry.height = reader.u8();
        if (entry.width == 0)
            entry.width = 256;
        if (entry.height == 0)
            entry.height = 256;
        reader.skip(2); // colour count, reserved
        const uint16_t planes_or_x = reader.u16();
        const uint16_t bits_or_y = reader.u16();
        const uint32_t size = reader.u32();
        const uint32_t offset = reader.u32();
        if (reader.failed())
            return std::nullopt;
        if (type == 2)
            entry.hotspot = {planes_or_x, bits_or_y};
        // An entry whose data lies outside the file keeps its place but is empty.
        if (offset <= bytes.size() && size <= bytes.size() - offset)
            entry.data = bytes.subspan(offset, size);
        entry.bits = entry_bits(entry.data);
        entries.push_back(entry);
    }
    std::size_t chosen = 0;
    if (choice.index >= 0) {
        if (static_cast<std::size_t>(choice.index) >= entries.size())
            return std::nullopt;
        chosen = static_cast<std::size_t>(choice.index);
    } else {
        chosen = best_entry(entries, choice.preferred_size);
    }
    const Entry& entry = entries[chosen];
    if (entry.data.empty())
        return std::nullopt;
    std::optional<Image> image =
        is_png(entry.data) ? decode_png_image(entry.data) : decode_icon_bitmap(entry.data);
    if (image && type == 2)
        image->hotspot = {std::min(entry.hotspot.x, image->width - 1),
                          std::min(entry.hotspot.y, image->height - 1)};
    return image;
}

} // namespace morvex::painter

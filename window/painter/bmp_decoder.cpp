// BMP and the bitmaps inside icons: 1, 4, 8, 16, 24 and 32 bits per pixel,
// uncompressed, RLE8, RLE4 and bit fields, bottom-up or top-down.
#include "window/painter/byte_reader.h"
#include "window/painter/image_decoders.h"

#include <array>
#include <bit>
#include <cstdlib>

namespace morvex::painter {

namespace {

enum Compression : uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

struct DibHeader {
    int64_t width = 0;
    int64_t height = 0; // rows stored, always positive
    bool top_down = false;
    int bits = 0;
    uint32_t compression = Rgb;
    uint32_t colors_used = 0;
    std::array<uint32_t, 4> masks{}; // red, green, blue, alpha
    bool core = false;               // 12-byte header, 3-byte palette entries
};

std::optional<DibHeader> read_header(ByteReader& reader) {
    DibHeader header;
    const std::size_t start = reader.position();
    const uint32_t size = reader.u32();
    if (size == 12) {
        header.core = true;
        header.width = reader.u16();
        header.height = reader.u16();
        reader.u16(); // planes
        header.bits = reader.u16();
    } else if (size >= 40 && size <= 4096) {
        header.width = reader.i32();
        const int64_t height = reader.i32();
        header.top_down = height < 0;
        header.height = std::llabs(height);
        reader.u16(); // planes
        header.bits = reader.u16();
        header.compression = reader.u32();
        reader.skip(12); // image size, resolution
        header.colors_used = reader.u32();
        reader.u32(); // important colours
        if (size >= 52)
            for (int i = 0; i < 3; ++i)
                header.masks[static_cast<std::size_t>(i)] = reader.u32();
        if (size >= 56)
            header.masks[3] = reader.u32();
        reader.skip(start + size - reader.position());
        if (size == 40 && (header.compression == BitFields || header.compression == AlphaBitFields)) {
            const int count = header.compression == AlphaBitFields ? 4 : 3;
            for (int i = 0; i < count; ++i)
                header.masks[static_cast<std::size_t>(i)] = reader.u32();
        }
    } else {
        return std::nullopt;
    }
    if (reader.failed() || header.width <= 0 || header.height <= 0)
        return std::nullopt;
    switch (header.compression) {
    case Rgb:
        if (header.bits != 1 && header.bits != 4 && header.bits != 8 && header.bits != 16 &&
            header.bits != 24 && header.bits != 32)
            return std::nullopt;
        if (header.bits == 16)
            header.masks = {0x7C00, 0x03E0, 0x001F, 0};
        if (header.bits == 32)
            header.masks = {0xFF0000, 0x00FF00, 0x0000FF, 0};
        break;
    case Rle8:
        if (header.bits != 8 || header.top_down)
            return std::nullopt;
        break;
    case Rle4:
        if (header.bits != 4 || header.top_down)
            return std::nullopt;
        break;
    case BitFields:
    case AlphaBitFields:
        if (header.bits != 16 && header.bits != 32)
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }
    if (header.bits <= 8 && header.colors_used > (1u << header.bits))
        return std::nullopt;
    if (header.bits > 8 && header.colors_used > 256)
        return std::nullopt;
    return header;
}

std::vector<ArgbPixel> read_palette(ByteReader& reader, const DibHeader& header) {
    std::size_t count = header.colors_used;
    if (count == 0 && header.bits <= 8)
        count = std::size_t{1} << header.bits;
    std::vector<ArgbPixel> palette;
    for (std::size_t i = 0; i < count && !reader.failed(); ++i) {
        const uint8_t blue = reader.u8();
        const uint8_t green = reader.u8();
        const uint8_t red = reader.u8();
        if (!header.core)
            reader.u8();
        palette.push_back(MakeArgb(255, red, green, blue));
    }
    if (header.bits > 8)
        palette.clear();
    // Indices beyond the palette draw black, so every index is valid.
    palette.resize(256, MakeArgb(255, 0, 0, 0));
    return palette;
}

// One channel from a bit-field mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (mask == 0)
            return;
        shift = std::countr_zero(mask);
        bits = std::min(std::popcount(mask >> shift), 32);
    }
    uint8_t extract(uint32_t value) const {
        if (bits == 0)
            return 0;
        const uint64_t field = (value & mask) >> shift;
        if (bits >= 8)
            return static_cast<uint8_t>(field >> (bits - 8));
        const uint64_t top = (uint64_t{1} << bits) - 1;
        return static_cast<uint8_t>(std::min<uint64_t>(field, top) * 255 / top);
    }
};

int64_t row_stride(int64_t width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// Uncompressed rows; `use_alpha` takes alpha from the alpha mask.
bool decode_rows(std::span<const uint8_t> data, const DibHeader& header,
                 const std::vector<ArgbPixel>& palette, bool use_alpha, Image& image) {
    const int64_t stride = row_stride(header.width, header.bits);
    if (stride * image.height > static_cast<int64_t>(data.size()))
        return false;
    const Channel red(header.masks[0]), green(header.masks[1]), blue(header.masks[2]), alpha(header.masks[3]);
    for (int row = 0; row < image.height; ++row) {
        const uint8_t* source = data.data() + row * stride;
        const int y = header.top_down ? row : image.height - 1 - row;
        ArgbPixel* out = &image.at(0, y);
        for (int x = 0; x < image.width; ++x) {
            switch (header.bits) {
            case 1:
                out[x] = palette[(source[x >> 3] >> (7 - (x & 7))) & 1];
                break;
            case 4:
                out[x] = palette[(source[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
                break;
            case 8:
                out[x] = palette[source[x]];
                break;
            case 24:
                out[x] = MakeArgb(255, source[x * 3 + 2], source[x * 3 + 1], source[x * 3]);
                break;
            default: {
                const uint32_t value = header.bits == 16
                                           ? uint32_t{source[x * 2]} | (uint32_t{source[x * 2 + 1]} << 8)
                                           : uint32_t{source[x * 4]} | (uint32_t{source[x * 4 + 1]} << 8) |
                                                 (uint32_t{source[x * 4 + 2]} << 16) |
                                                 (uint32_t{source[x * 4 + 3]} << 24);
                const uint8_t a =
                    use_alpha ? (alpha.bits ? alpha.extract(value) : static_cast<uint8_t>(value >> 24)) : 255;
                out[x] = MakeArgb(a, red.extract(value), green.extract(value), blue.extract(value));
            }
            }
        }
    }
    return true;
}

// Run-length encoded pixels; pixels the runs skip stay transparent.
bool decode_rle(std::span<const uint8_t> data, const DibHeader& header, const std::vector<ArgbPixel>& palette,
                Image& image) {
    ByteReader reader(data);
    const bool four_bit = header.compression == Rle4;
    int64_t x = 0;
    int64_t row = 0; // counted from the bottom
    const auto put = [&](uint8_t index) {
        if (x < image.width && row < image.height)
            image.at(static_cast<int>(x), image.height - 1 - static_cast<int>(row)) = palette[index];
        ++x;
    };
    while (row < image.height) {
        const uint8_t count = reader.u8();
        const uint8_t value = reader.u8();
        if (reader.failed())
            return true; // a missing end marker keeps what was decoded
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four_bit ? static_cast<uint8_t>((i & 1) ? value & 0x0F : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            ++row;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += reader.u8();
            row += reader.u8();
        } else {
            const std::size_t bytes = four_bit ? (value + 1u) / 2 : value;
            const std::span<const uint8_t> run = reader.take(bytes + (bytes & 1));
            if (run.empty())
                return true;
            for (int i = 0; i < value; ++i)
                put(four_bit ? static_cast<uint8_t>((i & 1) ? run[static_cast<std::size_t>(i / 2)] & 0x0F
                                                            : run[static_cast<std::size_t>(i / 2)] >> 4)
                             : run[static_cast<std::size_t>(i)]);
        }
    }
    return true;
}

// Decodes a bitmap whose header starts at `header_at`; its pixels start at
// `bits_at`, or right after the palette when that is not given.
std::optional<Image> decode_dib(std::span<const uint8_t> bytes, std::size_t header_at,
                                std::optional<std::size_t> bits_at, bool icon) {
    ByteReader reader(bytes, header_at);
    std::optional<DibHeader> header = read_header(reader);
    if (!header)
        return std::nullopt;
    if (icon && (header->compression == Rle4 || header->compression == Rle8))
        return std::nullopt;
    const int64_t height = icon ? header->height / 2 : header->height;
    if (!Image::fits(header->width, height))
        return std::nullopt;
    const std::vector<ArgbPixel> palette = read_palette(reader, *header);
    if (reader.failed())
        return std::nullopt;
    const std::size_t start = bits_at ? *bits_at : reader.position();
    if (start > bytes.size())
        return std::nullopt;
    const std::span<const uint8_t> data = bytes.subspan(start);
    // Uncompressed pixels must all be there before anything is allocated.
    const bool compressed = header->compression == Rle4 || header->compression == Rle8;
    if (!compressed && row_stride(header->width, header->bits) * height > static_cast<int64_t>(data.size()))
        return std::nullopt;
    std::optional<Image> image = Image::create(header->width, height);
    if (!image)
        return std::nullopt;

    if (compressed) {
        decode_rle(data, *header, palette, *image);
        return image;
    }
    const bool alpha_field = header->masks[3] != 0;
    if (!decode_rows(data, *header, palette, icon ? header->bits == 32 : alpha_field, *image))
        return std::nullopt;
    if (!icon)
        return image;

    // A 32-bit icon with any alpha uses it; otherwise the AND mask says
    // which pixels are transparent.
    bool has_alpha = false;
    if (header->bits == 32)
        for (const ArgbPixel pixel : image->pixels)
            has_alpha = has_alpha || ArgbAlpha(pixel) != 0;
    if (has_alpha)
        return image;
    const int64_t colour_bytes = row_stride(header->width, header->bits) * image->height;
    const int64_t mask_stride = row_stride(header->width, 1);
    const std::span<const uint8_t> mask = data.subspan(static_cast<std::size_t>(colour_bytes));
    const bool mask_present = mask_stride * image->height <= static_cast<int64_t>(mask.size());
    for (int row = 0; row < image->height; ++row) {
        const int y = header->top_down ? row : image->height - 1 - row;
        for (int x = 0; x < image->width; ++x) {
            ArgbPixel& pixel = image->at(x, y);
            const bool transparent =
                mask_present &&
                ((mask[static_cast<std::size_t>(row * mask_stride + (x >> 3))] >> (7 - (x & 7))) & 1);
            pixel = transparent ? 0 : (pixel | 0xFF000000);
        }
    }
    return image;
}

} // namespace

std::optional<Image> decode_bmp(std::span<const uint8_t> bytes) {
    ByteReader reader(bytes);
    if (reader.u8() != 'B' || reader.u8() != 'M')
        return std::nullopt;
    reader.skip(8); // file size, reserved
    const uint32_t bits_at = reader.u32();
    if (reader.failed())
        return std::nullopt;
    return decode_dib(bytes, 14, bits_at, false);
}

std::optional<Image> decode_icon_bitmap(std::span<const uint8_t> bytes) {
    return decode_dib(bytes, 0, std::nullopt, true);
}

} // namespace morvex::painter

#include "tests/window/painter/image_encoders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace morvex::painter::testing {

void put16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(Bytes& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

namespace {

int stride(int width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

void put_header_and_pixels(Bytes& out, const BmpSource& source, int stored_height) {
    const int palette_size = source.bits <= 8 ? (1 << source.bits) : 0;
    put32(out, 40);
    put32(out, static_cast<uint32_t>(source.width));
    put32(out, static_cast<uint32_t>(source.top_down ? -stored_height : stored_height));
    put16(out, 1);
    put16(out, static_cast<uint32_t>(source.bits));
    put32(out, 0); // uncompressed
    put32(out, 0);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int i = 0; i < palette_size; ++i) {
        const ArgbPixel colour =
            i < static_cast<int>(source.palette.size()) ? source.palette[static_cast<std::size_t>(i)] : 0;
        out.push_back(static_cast<uint8_t>(colour));
        out.push_back(static_cast<uint8_t>(colour >> 8));
        out.push_back(static_cast<uint8_t>(colour >> 16));
        out.push_back(0);
    }
    for (int row = 0; row < source.height; ++row) {
        const int y = source.top_down ? row : source.height - 1 - row;
        Bytes line(static_cast<std::size_t>(stride(source.width, source.bits)), 0);
        for (int x = 0; x < source.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * source.width + x);
            switch (source.bits) {
            case 1:
                line[static_cast<std::size_t>(x / 8)] |=
                    static_cast<uint8_t>((source.indices[i] & 1) << (7 - x % 8));
                break;
            case 4:
                line[static_cast<std::size_t>(x / 2)] |=
                    static_cast<uint8_t>((source.indices[i] & 15) << (x % 2 ? 0 : 4));
                break;
            case 8:
                line[static_cast<std::size_t>(x)] = source.indices[i];
                break;
            default: {
                const ArgbPixel c = source.colours[i];
                const int bytes = source.bits / 8;
                for (int b = 0; b < bytes; ++b)
                    line[static_cast<std::size_t>(x * bytes + b)] = static_cast<uint8_t>(c >> (8 * b));
            }
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
}

} // namespace

Bytes encode_bmp(const BmpSource& source) {
    Bytes dib;
    put_header_and_pixels(dib, source, source.height);
    const int palette_size = source.bits <= 8 ? (1 << source.bits) : 0;
    Bytes out{'B', 'M'};
    put32(out, static_cast<uint32_t>(14 + dib.size()));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(14 + 40 + palette_size * 4));
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

Bytes encode_icon_bitmap(const BmpSource& source, const std::vector<uint8_t>& and_mask) {
    Bytes out;
    put_header_and_pixels(out, source, source.height * 2);
    for (int row = 0; row < source.height; ++row) {
        const int y = source.height - 1 - row;
        Bytes line(static_cast<std::size_t>(stride(source.width, 1)), 0);
        for (int x = 0; x < source.width; ++x)
            if (and_mask[static_cast<std::size_t>(y * source.width + x)])
                line[static_cast<std::size_t>(x / 8)] |= static_cast<uint8_t>(1 << (7 - x % 8));
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

Bytes encode_icon_file(int type, const std::vector<IconEntry>& entries) {
    Bytes out;
    put16(out, 0);
    put16(out, static_cast<uint32_t>(type));
    put16(out, static_cast<uint32_t>(entries.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
    for (const IconEntry& entry : entries) {
        out.push_back(static_cast<uint8_t>(entry.width & 0xFF));
        out.push_back(static_cast<uint8_t>(entry.height & 0xFF));
        out.push_back(0);
        out.push_back(0);
        put16(out, static_cast<uint32_t>(type == 2 ? entry.hotspot_x : 1));
        put16(out, static_cast<uint32_t>(type == 2 ? entry.hotspot_y : entry.bits));
        put32(out, static_cast<uint32_t>(entry.data.size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(entry.data.size());
    }
    for (const IconEntry& entry : entries)
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    return out;
}

namespace {

// LZW without compression: a clear code before the table would grow past
// the first code size, so every index is written as one literal code.
Bytes lzw_literals(const std::vector<uint8_t>& indices, int min_code_size) {
    const int clear = 1 << min_code_size;
    const int code_size = min_code_size + 1;
    const int run = (1 << code_size) - clear - 2;
    Bytes out;
    uint32_t buffer = 0;
    int bits = 0;
    const auto emit = [&](int code) {
        buffer |= static_cast<uint32_t>(code) << bits;
        bits += code_size;
        while (bits >= 8) {
            out.push_back(static_cast<uint8_t>(buffer));
            buffer >>= 8;
            bits -= 8;
        }
    };
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % static_cast<std::size_t>(run) == 0)
            emit(clear);
        emit(indices[i]);
    }
    emit(clear + 1);
    if (bits > 0)
        out.push_back(static_cast<uint8_t>(buffer));
    return out;
}

void put_colour_table(Bytes& out, const std::vector<ArgbPixel>& palette, int table_bits) {
    for (int i = 0; i < (1 << table_bits); ++i) {
        const ArgbPixel c = i < static_cast<int>(palette.size()) ? palette[static_cast<std::size_t>(i)] : 0;
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
    }
}

} // namespace

Bytes encode_gif(const GifSource& source) {
    int table_bits = 1;
    while ((1 << table_bits) < static_cast<int>(source.palette.size()))
        ++table_bits;
    const uint8_t table_flags = static_cast<uint8_t>(0x80 | (table_bits - 1));
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    put16(out, static_cast<uint32_t>(source.width));
    put16(out, static_cast<uint32_t>(source.height));
    out.push_back(source.local_table ? 0 : table_flags);
    out.push_back(0);
    out.push_back(0);
    if (!source.local_table)
        put_colour_table(out, source.palette, table_bits);
    if (source.transparent >= 0) {
        out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(source.transparent), 0});
    }
    out.insert(out.end(), {0x21, 0xFE, 3, 'o', 'u', 'r', 0}); // a comment to skip
    out.push_back(0x2C);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(source.width));
    put16(out, static_cast<uint32_t>(source.height));
    out.push_back(
        static_cast<uint8_t>((source.local_table ? table_flags : 0) | (source.interlaced ? 0x40 : 0)));
    if (source.local_table)
        put_colour_table(out, source.palette, table_bits);
    std::vector<uint8_t> stream_order;
    if (source.interlaced) {
        constexpr int Start[4] = {0, 4, 2, 1};
        constexpr int Step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = Start[pass]; y < source.height; y += Step[pass])
                for (int x = 0; x < source.width; ++x)
                    stream_order.push_back(source.indices[static_cast<std::size_t>(y * source.width + x)]);
    } else {
        stream_order = source.indices;
    }
    const int min_code_size = std::max(2, table_bits);
    out.push_back(static_cast<uint8_t>(min_code_size));
    const Bytes data = lzw_literals(stream_order, min_code_size);
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t size = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(size));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + size));
    }
    out.push_back(0);
    out.push_back(0x3B);
    return out;
}

Bytes encode_jpeg(const Image& image, int quality) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<std::size_t>(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const ArgbPixel p = image.at(x, y);
            row[static_cast<std::size_t>(x) * 3] = static_cast<uint8_t>(p >> 16);
            row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<uint8_t>(p >> 8);
            row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<uint8_t>(p);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

} // namespace morvex::painter::testing

#include "tests/window/painter/image_encoders.h"
#include "window/painter/image_decoders.h"

#include <gtest/gtest.h>

namespace morvex::painter {
namespace {

using testing::BmpSource;
using testing::Bytes;
using testing::put16;
using testing::put32;

const std::vector<ArgbPixel> Palette16 = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

// An odd width so that every row needs padding.
BmpSource pattern(int bits, bool top_down) {
    BmpSource source;
    source.width = 13;
    source.height = 5;
    source.bits = bits;
    source.top_down = top_down;
    const int colours = bits <= 8 ? std::min(1 << bits, 16) : 0;
    source.palette = std::vector<ArgbPixel>(Palette16.begin(), Palette16.begin() + colours);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            source.indices.push_back(static_cast<uint8_t>(colours ? (x * 3 + y) % colours : 0));
            source.colours.push_back(MakeArgb(bits == 32 ? static_cast<uint8_t>(x * 19) : 255,
                                              static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 50),
                                              static_cast<uint8_t>(x * y)));
        }
    }
    return source;
}

ArgbPixel expected_pixel(const BmpSource& source, int x, int y) {
    const std::size_t i = static_cast<std::size_t>(y * source.width + x);
    if (source.bits <= 8)
        return source.palette[source.indices[i]];
    return source.colours[i] | 0xFF000000; // a plain BMP's fourth byte is not alpha
}

struct DepthCase {
    int bits;
    bool top_down;
};

class BmpDepthTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(BmpDepthTest, DecodesEveryPixelOfEachDepthAndOrientation) {
    const BmpSource source = pattern(GetParam().bits, GetParam().top_down);
    const std::optional<Image> image = decode_bmp(testing::encode_bmp(source));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, source.width);
    ASSERT_EQ(image->height, source.height);
    for (int y = 0; y < source.height; ++y)
        for (int x = 0; x < source.width; ++x)
            ASSERT_EQ(image->at(x, y), expected_pixel(source, x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpDepthTest,
                         ::testing::Values(DepthCase{1, false}, DepthCase{4, false}, DepthCase{8, false},
                                           DepthCase{24, false}, DepthCase{32, false}, DepthCase{8, true},
                                           DepthCase{24, true}));

// File header and a 40-byte info header for hand-built bitmaps.
Bytes header(int width, int height, int bits, uint32_t compression, int palette_entries,
             uint32_t extra_before_pixels = 0) {
    Bytes out{'B', 'M'};
    put32(out, 0);
    put32(out, 0);
    put32(out, static_cast<uint32_t>(14 + 40 + palette_entries * 4) + extra_before_pixels);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bits));
    put32(out, compression);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, static_cast<uint32_t>(palette_entries));
    put32(out, 0);
    return out;
}

void add_palette(Bytes& out, std::initializer_list<ArgbPixel> colours) {
    for (const ArgbPixel c : colours) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(0);
    }
}

TEST(BmpDecoder, Rle8RunsAbsoluteRunsDeltaAndEndOfLine) {
    Bytes bytes = header(6, 3, 8, 1, 3);
    add_palette(bytes, {0xFF0000, 0x00FF00, 0x0000FF});
    // Bottom row: 3 × index 1, absolute run 2,0,2 (padded), end of line.
    bytes.insert(bytes.end(), {3, 1, 0, 3, 2, 0, 2, 0, 0, 0});
    // Middle row: delta right 2 and up 1 to the top row; then 2 × index 0; end.
    bytes.insert(bytes.end(), {0, 2, 2, 1, 2, 0, 0, 1});
    const std::optional<Image> image = decode_bmp(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(0, 2), 0xFF00FF00u);
    EXPECT_EQ(image->at(2, 2), 0xFF00FF00u);
    EXPECT_EQ(image->at(3, 2), 0xFF0000FFu);
    EXPECT_EQ(image->at(4, 2), 0xFFFF0000u);
    EXPECT_EQ(image->at(5, 2), 0xFF0000FFu);
    EXPECT_EQ(image->at(0, 1), 0u) << "the middle row was skipped by the delta";
    EXPECT_EQ(image->at(1, 0), 0u);
    EXPECT_EQ(image->at(2, 0), 0xFFFF0000u);
    EXPECT_EQ(image->at(3, 0), 0xFFFF0000u);
    EXPECT_EQ(image->at(4, 0), 0u);
}

TEST(BmpDecoder, Rle4AlternatesNibbles) {
    Bytes bytes = header(6, 1, 4, 2, 2);
    add_palette(bytes, {0x000000, 0xFFFFFF});
    // Encoded run of 3 alternating 1,0; absolute run of 3 nibbles 0,1,0 (two bytes); end of bitmap.
    bytes.insert(bytes.end(), {3, 0x10, 0, 3, 0x01, 0x00, 0, 1});
    const std::optional<Image> image = decode_bmp(bytes);
    ASSERT_TRUE(image);
    const ArgbPixel white = 0xFFFFFFFF, black = 0xFF000000;
    const ArgbPixel expected[6] = {white, black, white, black, white, black};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(image->at(x, 0), expected[x]) << x;
}

TEST(BmpDecoder, SixteenBitBitFieldsScaleEachChannel) {
    Bytes bytes = header(2, 1, 16, 3, 0, 12);
    put32(bytes, 0xF800);
    put32(bytes, 0x07E0);
    put32(bytes, 0x001F);
    put16(bytes, 0xF800); // full red
    put16(bytes, 0x07E0); // full green
    const std::optional<Image> image = decode_bmp(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(image->at(1, 0), 0xFF00FF00u);
}

TEST(BmpDecoder, SixteenBitDefaultIsFiveFiveFive) {
    Bytes bytes = header(1, 1, 16, 0, 0);
    put16(bytes, 0x001F);
    put16(bytes, 0);
    const std::optional<Image> image = decode_bmp(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(0, 0), 0xFF0000FFu);
}

TEST(BmpDecoder, OldCoreHeaderWithThreeBytePalette) {
    Bytes bytes{'B', 'M'};
    put32(bytes, 0);
    put32(bytes, 0);
    put32(bytes, 14 + 12 + 6);
    put32(bytes, 12);
    put16(bytes, 2);
    put16(bytes, 1);
    put16(bytes, 1);
    put16(bytes, 1);
    bytes.insert(bytes.end(), {0, 0, 0, 0xFF, 0xFF, 0xFF}); // black, white
    bytes.insert(bytes.end(), {0x40, 0, 0, 0});             // pixels 0, 1
    const std::optional<Image> image = decode_bmp(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(0, 0), 0xFF000000u);
    EXPECT_EQ(image->at(1, 0), 0xFFFFFFFFu);
}

TEST(BmpDecoder, EveryTruncationIsRejectedOrDecodedSafely) {
    const Bytes full = testing::encode_bmp(pattern(8, false));
    for (std::size_t length = 0; length < full.size(); ++length) {
        const std::optional<Image> image = decode_bmp(std::span(full).first(length));
        EXPECT_FALSE(image) << length;
    }
}

struct HostileCase {
    const char* label;
    int width;
    int height;
    int bits;
    uint32_t compression;
};

class BmpHostileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(BmpHostileTest, IsRejected) {
    const HostileCase& c = GetParam();
    Bytes bytes = header(c.width, c.height, c.bits, c.compression, 0);
    bytes.resize(bytes.size() + 64, 0);
    EXPECT_FALSE(decode_bmp(bytes)) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BmpHostileTest,
    ::testing::Values(HostileCase{"zero width", 0, 4, 24, 0}, HostileCase{"negative width", -4, 4, 24, 0},
                      HostileCase{"zero height", 4, 0, 24, 0}, HostileCase{"huge", 100000, 100000, 24, 0},
                      HostileCase{"most negative height", 4, INT32_MIN, 24, 0},
                      HostileCase{"odd depth", 4, 4, 7, 0}, HostileCase{"rle8 at 4 bits", 4, 4, 4, 1},
                      HostileCase{"jpeg inside", 4, 4, 24, 4}, HostileCase{"pixels missing", 64, 64, 24, 0}));

} // namespace
} // namespace morvex::painter

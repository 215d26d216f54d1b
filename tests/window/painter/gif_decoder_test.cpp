#include "tests/window/painter/image_encoders.h"
#include "window/painter/image_decoders.h"

#include <gtest/gtest.h>

namespace morvex::painter {
namespace {

using testing::Bytes;
using testing::GifSource;

GifSource pattern(int colours, int width, int height) {
    GifSource source;
    source.width = width;
    source.height = height;
    for (int i = 0; i < colours; ++i)
        source.palette.push_back(MakeArgb(255, static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i),
                                          static_cast<uint8_t>(i * 11)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            source.indices.push_back(static_cast<uint8_t>((x * 7 + y * 3) % colours));
    return source;
}

void expect_pixels(const GifSource& source, const Image& image) {
    ASSERT_EQ(image.width, source.width);
    ASSERT_EQ(image.height, source.height);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            const uint8_t index = source.indices[static_cast<std::size_t>(y * source.width + x)];
            const ArgbPixel expected = index == source.transparent ? 0 : source.palette[index];
            ASSERT_EQ(image.at(x, y), expected) << x << "," << y;
        }
    }
}

struct GifCase {
    const char* label;
    int colours;
    bool interlaced;
    bool local_table;
    int transparent;
};

class GifDecodeTest : public ::testing::TestWithParam<GifCase> {};

TEST_P(GifDecodeTest, DecodesTheFirstFrame) {
    GifSource source = pattern(GetParam().colours, 23, 19);
    source.interlaced = GetParam().interlaced;
    source.local_table = GetParam().local_table;
    source.transparent = GetParam().transparent;
    const std::optional<Image> image = decode_gif(testing::encode_gif(source));
    ASSERT_TRUE(image) << GetParam().label;
    expect_pixels(source, *image);
}

INSTANTIATE_TEST_SUITE_P(Variants, GifDecodeTest,
                         ::testing::Values(GifCase{"two colours", 2, false, false, -1},
                                           GifCase{"sixteen colours", 16, false, false, -1},
                                           GifCase{"256 colours", 256, false, false, -1},
                                           GifCase{"interlaced", 16, true, false, -1},
                                           GifCase{"local colour table", 8, false, true, -1},
                                           GifCase{"transparent index", 4, false, false, 2}));

// "ABABABA..." compressed for real: the decoder must handle codes it has
// just defined (the KwKwK case) and growing code sizes.
TEST(GifDecoder, DecodesCompressedStreamsWithSelfReferencingCodes) {
    // Indices 0,0,0,0,0,0 with a two-colour table: clear(4), 0, 6 (= 0,0), 7 (= 0,0,0), end(5).
    // Codes at 3 bits: 4, 0, 6, 7 then 5 at 4 bits (the table reached 8 entries).
    uint32_t bits = 4 | (0 << 3) | (6 << 6) | (7 << 9) | (5u << 12);
    Bytes data{static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8)};
    Bytes bytes{'G', 'I', 'F', '8', '7', 'a', 6, 0, 1, 0, 0x80, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF};
    bytes.insert(bytes.end(), {0x2C, 0, 0, 0, 0, 6, 0, 1, 0, 0, 2, static_cast<uint8_t>(data.size())});
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.insert(bytes.end(), {0, 0x3B});
    const std::optional<Image> image = decode_gif(bytes);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 6);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(image->at(x, 0), 0xFFFF0000u) << x;
}

TEST(GifDecoder, ADamagedStreamKeepsThePixelsBeforeTheDamage) {
    GifSource source = pattern(4, 8, 4);
    Bytes bytes = testing::encode_gif(source);
    // Cut the image data short and drop the trailer.
    bytes.resize(bytes.size() - 6);
    const std::optional<Image> image = decode_gif(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(0, 0), source.palette[source.indices[0]]);
    EXPECT_EQ(image->at(7, 3), 0u) << "undecoded pixels are transparent";
}

TEST(GifDecoder, RejectsWhatIsNotAnImage) {
    const Bytes cases[] = {
        {'G', 'I', 'F', '8', '9'},
        {'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B},          // wrong version
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B},          // trailer before any frame
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xF9, 4}, // cut inside an extension
        {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0,
         0,   0x2C, 0,   0,   0,   0,   0, 0, 1, 0, 0, 2}, // zero-width frame
        {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0,
         0,   0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0, 12}, // code size 12
    };
    for (const Bytes& bytes : cases)
        EXPECT_FALSE(decode_gif(bytes)) << bytes.size();
}

TEST(GifDecoder, AFrameBeyondTheScreenIsCutToIt) {
    GifSource source = pattern(4, 4, 4);
    Bytes bytes = testing::encode_gif(source);
    bytes[6] = 2; // logical screen 2 × 2
    bytes[8] = 2;
    const std::optional<Image> image = decode_gif(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->at(1, 1), source.palette[source.indices[5]]);
}

} // namespace
} // namespace morvex::painter

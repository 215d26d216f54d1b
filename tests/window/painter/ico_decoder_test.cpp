#include "platform/png_file.h"
#include "tests/window/painter/image_encoders.h"
#include "window/painter/image_decoders.h"

#include <gtest/gtest.h>

namespace morvex::painter {
namespace {

using testing::BmpSource;
using testing::Bytes;
using testing::IconEntry;

// A square icon bitmap of one colour whose left column is masked out.
IconEntry masked_entry(int size, int bits, ArgbPixel colour) {
    BmpSource source;
    source.width = size;
    source.height = size;
    source.bits = bits;
    source.palette = {0xFF000000, colour};
    std::vector<uint8_t> mask;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            source.indices.push_back(1);
            source.colours.push_back(bits == 32 ? colour & 0x00FFFFFF
                                                : colour); // 32-bit: no alpha, mask decides
            mask.push_back(x == 0 ? 1 : 0);
        }
    }
    return {size, size, bits, 0, 0, testing::encode_icon_bitmap(source, mask)};
}

TEST(IcoDecoder, AndMaskMakesPixelsTransparent) {
    for (const int bits : {1, 4, 8, 24, 32}) {
        const Bytes file = testing::encode_icon_file(1, {masked_entry(16, bits, 0xFF336699)});
        const std::optional<Image> image = decode_icon(file, {});
        ASSERT_TRUE(image) << bits;
        ASSERT_EQ(image->width, 16);
        ASSERT_EQ(image->height, 16) << "the stored height counts the mask too";
        EXPECT_EQ(image->at(0, 5), 0u) << bits;
        EXPECT_EQ(image->at(1, 5), 0xFF336699u) << bits;
    }
}

TEST(IcoDecoder, ThirtyTwoBitAlphaWinsOverTheMask) {
    BmpSource source;
    source.width = 2;
    source.height = 1;
    source.bits = 32;
    source.colours = {0x80FF0000, 0x00000000};
    const Bytes bitmap = testing::encode_icon_bitmap(source, {1, 1});
    const std::optional<Image> image =
        decode_icon(testing::encode_icon_file(1, {{2, 1, 32, 0, 0, bitmap}}), {});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(0, 0), 0x80FF0000u);
    EXPECT_EQ(image->at(1, 0), 0u);
}

TEST(IcoDecoder, PicksByIndexOrNearestSizeThenDepth) {
    const Bytes file =
        testing::encode_icon_file(1, {masked_entry(16, 8, 0xFF0000FF), masked_entry(32, 4, 0xFF00FF00),
                                      masked_entry(32, 24, 0xFFFF0000), masked_entry(48, 24, 0xFFFFFF00)});
    struct Case {
        IconChoice choice;
        int size;
        ArgbPixel colour;
    };
    const Case cases[] = {
        {{0, 32}, 16, 0xFF0000FF},  {{1, 32}, 32, 0xFF00FF00},  {{3, 16}, 48, 0xFFFFFF00},
        {{-1, 32}, 32, 0xFFFF0000}, {{-1, 16}, 16, 0xFF0000FF}, {{-1, 64}, 48, 0xFFFFFF00},
    };
    for (const Case& c : cases) {
        const std::optional<Image> image = decode_icon(file, c.choice);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, c.size) << c.choice.index << " " << c.choice.preferred_size;
        EXPECT_EQ(image->at(5, 5), c.colour) << c.choice.index << " " << c.choice.preferred_size;
    }
    EXPECT_FALSE(decode_icon(file, {4, 32})) << "no fifth entry";
}

TEST(IcoDecoder, PngEntriesKeepTheirAlpha) {
    platform::FrameBuffer buffer(3, 2, 0x00123456);
    const Bytes png = platform::encode_png(buffer);
    const std::optional<Image> image = decode_icon(testing::encode_icon_file(1, {{3, 2, 32, 0, 0, png}}), {});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 3);
    EXPECT_EQ(image->at(2, 1), 0xFF123456u);
}

TEST(IcoDecoder, CursorsCarryTheirHotspot) {
    IconEntry entry = masked_entry(32, 1, 0xFFFFFFFF);
    entry.hotspot_x = 7;
    entry.hotspot_y = 30;
    const std::optional<Image> image = decode_image(testing::encode_icon_file(2, {entry}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->hotspot, (platform::Point{7, 30}));
    entry.hotspot_x = 900; // outside the image: kept inside it
    const std::optional<Image> clamped = decode_image(testing::encode_icon_file(2, {entry}));
    ASSERT_TRUE(clamped);
    EXPECT_EQ(clamped->hotspot.x, 31);
}

TEST(IcoDecoder, RejectsBrokenDirectories) {
    Bytes entry_outside = testing::encode_icon_file(1, {masked_entry(16, 8, 0xFF0000FF)});
    entry_outside[18] = 0xFF; // entry offset far beyond the file
    entry_outside[19] = 0xFF;
    const Bytes cases[] = {
        {0, 0, 1, 0, 0, 0},         // no entries
        {0, 0, 3, 0, 1, 0},         // neither icon nor cursor
        {0, 0, 1, 0, 1, 0, 16, 16}, // directory cut short
        entry_outside,
    };
    for (const Bytes& bytes : cases)
        EXPECT_FALSE(decode_icon(bytes, {})) << bytes.size();
}

// A cut file loses its last entry; the decoder falls back on the entries
// that are whole and never reads past the end.
TEST(IcoDecoder, ATruncatedFileUsesOnlyWholeEntries) {
    const Bytes file =
        testing::encode_icon_file(1, {masked_entry(16, 4, 0xFF0000FF), masked_entry(32, 24, 0xFF00FF00)});
    for (std::size_t length = 0; length < file.size(); ++length) {
        const std::optional<Image> image = decode_icon(std::span(file).first(length), {});
        if (image) {
            EXPECT_EQ(image->width, 16) << length;
        }
    }
}

} // namespace
} // namespace morvex::painter

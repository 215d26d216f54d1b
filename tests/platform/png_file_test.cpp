#include "platform/png_file.h"
#include "tests/support/temp_directory.h"

#include <cstring>
#include <gtest/gtest.h>
#include <png.h>

namespace morvex::platform {
namespace {

FrameBuffer gradient(int width, int height) {
    FrameBuffer buffer(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            buffer.at(x, y) = MakePixel(static_cast<uint8_t>(x * 9), static_cast<uint8_t>(y * 7),
                                        static_cast<uint8_t>(x ^ y));
    return buffer;
}

TEST(PngFile, FileRoundTripKeepsEveryPixel) {
    const FrameBuffer original = gradient(29, 17);
    const testing::TempDirectory directory("morvex_png_file");
    const std::string path = directory.file("gradient.png");
    ASSERT_TRUE(write_png(original, path));
    const std::optional<FrameBuffer> read = read_png(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, original);
}

TEST(PngFile, MemoryRoundTripKeepsEveryPixel) {
    const FrameBuffer original = gradient(3, 40);
    const std::optional<FrameBuffer> decoded = decode_png(encode_png(original));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, original);
}

TEST(PngFile, FailuresAreReportedNotThrown) {
    EXPECT_TRUE(encode_png(FrameBuffer{}).empty());
    EXPECT_FALSE(write_png(FrameBuffer{}, "/tmp/morvex_never_written.png"));
    EXPECT_FALSE(write_png(gradient(2, 2), "/nonexistent-directory/x.png"));
    EXPECT_FALSE(read_png("/nonexistent-directory/x.png"));
    const std::vector<uint8_t> garbage{1, 2, 3, 4, 5};
    EXPECT_FALSE(decode_png(garbage));
    std::vector<uint8_t> cut = encode_png(gradient(8, 8));
    cut.resize(cut.size() - 20);
    EXPECT_FALSE(decode_png(cut));
}

TEST(PngFile, ReadingDropsAlphaAndKeepsTheColour) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 1;
    image.height = 1;
    image.format = PNG_FORMAT_RGBA;
    const uint8_t pixel[4] = {200, 100, 50, 10};
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixel, 0, nullptr);
    std::vector<uint8_t> bytes(size);
    ASSERT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, pixel, 0, nullptr));
    const std::optional<FrameBuffer> read = decode_png(bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->at(0, 0), MakePixel(200, 100, 50));
}

} // namespace
} // namespace morvex::platform

#include "platform/png_file.h"
#include "tests/support/temp_directory.h"
#include "tests/window/painter/image_encoders.h"
#include "window/painter/image.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <png.h>

namespace morvex::painter {
namespace {

using testing::Bytes;

struct FormatCase {
    Bytes prefix;
    ImageFormat format;
};

TEST(Image, FormatIsRecognisedByLeadingBytes) {
    const FormatCase cases[] = {
        {{'B', 'M', 0}, ImageFormat::Bmp},
        {{0, 0, 1, 0, 1, 0}, ImageFormat::Icon},
        {{0, 0, 2, 0, 1, 0}, ImageFormat::Cursor},
        {{'G', 'I', 'F', '8', '9', 'a'}, ImageFormat::Gif},
        {{0x89, 'P', 'N', 'G', 13, 10}, ImageFormat::Png},
        {{0xFF, 0xD8, 0xFF, 0xE0}, ImageFormat::Jpeg},
        {{'B'}, ImageFormat::Unknown},
        {{}, ImageFormat::Unknown},
        {{'P', 'K', 3, 4}, ImageFormat::Unknown},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(detect_image_format(c.prefix), c.format) << c.prefix.size();
}

TEST(Image, CreateRefusesSizesBeyondTheLimits) {
    EXPECT_TRUE(Image::create(MaxImageSide, 1));
    EXPECT_FALSE(Image::create(MaxImageSide + 1, 1));
    EXPECT_FALSE(Image::create(0, 1));
    EXPECT_FALSE(Image::create(1, -1));
    EXPECT_FALSE(Image::create(MaxImageSide, MaxImageSide)); // too many pixels in all
}

Bytes png_with_alpha(int width, int height, const std::vector<uint8_t>& rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    Bytes out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    return out;
}

TEST(Image, PngKeepsStraightAlpha) {
    const Bytes png = png_with_alpha(2, 1, {255, 0, 0, 255, 0, 0, 255, 64});
    const std::optional<Image> image = decode_image(png);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(image->at(1, 0), 0x400000FFu);
}

TEST(Image, PngDamagedOrCutIsRejected) {
    Bytes png = png_with_alpha(4, 4, std::vector<uint8_t>(64, 200));
    EXPECT_FALSE(decode_image(std::span(png).first(png.size() / 2)));
    png[png.size() / 2] ^= 0xFF; // breaks the data checksum
    EXPECT_FALSE(decode_image(png));
}

TEST(Image, JpegDecodesCloseToTheOriginal) {
    std::optional<Image> original = Image::create(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            original->at(x, y) = x < 8 ? 0xFFC03020 : 0xFF2040C0;
    const Bytes jpeg = testing::encode_jpeg(*original, 95);
    const std::optional<Image> image = decode_image(jpeg);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 16);
    ASSERT_EQ(image->height, 16);
    for (const auto& [x, y] : {std::pair{2, 2}, std::pair{13, 13}}) {
        const ArgbPixel want = original->at(x, y);
        const ArgbPixel got = image->at(x, y);
        EXPECT_EQ(ArgbAlpha(got), 255);
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(static_cast<int>((got >> shift) & 0xFF), static_cast<int>((want >> shift) & 0xFF),
                        12);
    }
}

TEST(Image, JpegDamagedIsRejected) {
    std::optional<Image> original = Image::create(8, 8, 0xFF808080);
    const Bytes jpeg = testing::encode_jpeg(*original, 90);
    EXPECT_FALSE(decode_image(std::span(jpeg).first(20)));
    EXPECT_FALSE(decode_image(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0}));
}

TEST(Image, LoadsFromAFileAndFailsQuietlyWithoutOne) {
    testing::BmpSource source;
    source.width = 2;
    source.height = 2;
    source.colours = {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C};
    const Bytes bmp = testing::encode_bmp(source);
    std::string path;
    std::optional<Image> image;
    {
        const morvex::testing::TempDirectory directory("morvex_image_test");
        path = directory.file("image.bmp");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
        image = load_image(path);
    } // the file goes with its directory
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(1, 1), 0xFF0A0B0Cu);
    EXPECT_FALSE(load_image(path));
    EXPECT_FALSE(decode_image(Bytes{'X', 'Y', 'Z'}));
}

} // namespace
} // namespace morvex::painter

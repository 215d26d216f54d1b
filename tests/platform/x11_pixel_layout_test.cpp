#include "platform/x11_pixel_layout.h"

#include <gtest/gtest.h>
#include <vector>

namespace morvex::platform {
namespace {

struct LayoutCase {
    const char* label;
    PixelLayout layout;
    std::vector<uint8_t> bytes; // of the pixels 0x123456 and 0xFF8001
};

class ConvertPixels : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ConvertPixels, WritesTheServersLayout) {
    const Pixel source[] = {0x123456, 0xFF8001};
    std::vector<uint8_t> written(GetParam().bytes.size() + 1, 0xEE);
    convert_pixels(source, 2, GetParam().layout, written.data());
    EXPECT_EQ(written.back(), 0xEE) << "wrote past the end";
    written.pop_back();
    EXPECT_EQ(written, GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ConvertPixels,
    ::testing::Values(
        LayoutCase{
            "Native", {32, false, 0xFF0000, 0x00FF00, 0x0000FF}, {0x56, 0x34, 0x12, 0, 0x01, 0x80, 0xFF, 0}},
        LayoutCase{"MostSignificantFirst",
                   {32, true, 0xFF0000, 0x00FF00, 0x0000FF},
                   {0, 0x12, 0x34, 0x56, 0, 0xFF, 0x80, 0x01}},
        LayoutCase{"BlueRedSwapped",
                   {32, false, 0x0000FF, 0x00FF00, 0xFF0000},
                   {0x12, 0x34, 0x56, 0, 0xFF, 0x80, 0x01, 0}},
        LayoutCase{
            "Packed24", {24, false, 0xFF0000, 0x00FF00, 0x0000FF}, {0x56, 0x34, 0x12, 0x01, 0x80, 0xFF}},
        // 5-6-5: 0x12>>3=2, 0x34>>2=13, 0x56>>3=10 -> 0x11AA; 0xFF>>3=31, 0x80>>2=32, 0x01>>3=0 -> 0xFC00.
        LayoutCase{"Rgb565", {16, false, 0xF800, 0x07E0, 0x001F}, {0xAA, 0x11, 0x00, 0xFC}},
        // 10 bits a channel: the 8 bits go to the top.
        LayoutCase{"Deep30",
                   {32, false, 0x3FF00000, 0x000FFC00, 0x000003FF},
                   {0x58, 0x41, 0x83, 0x04, 0x04, 0x00, 0xC8, 0x3F}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PixelLayout, OnlyTheFrameBuffersOwnLayoutMatches) {
    EXPECT_TRUE(matches_frame_buffer(PixelLayout{}));
    EXPECT_FALSE(matches_frame_buffer(PixelLayout{24, false, 0xFF0000, 0x00FF00, 0x0000FF}));
    EXPECT_FALSE(matches_frame_buffer(PixelLayout{32, false, 0x0000FF, 0x00FF00, 0xFF0000}));
    EXPECT_FALSE(matches_frame_buffer(PixelLayout{32, true, 0xFF0000, 0x00FF00, 0x0000FF}));
}

} // namespace
} // namespace morvex::platform

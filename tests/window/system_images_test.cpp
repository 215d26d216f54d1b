// The standard icons and cursors we draw: every id the definitions can name
// gives an image of the right size, unknown ids give none, and cursors are
// two-colour shapes with their hotspot on the shape.
#include "tests/window/painter/golden_image.h"
#include "window/system_images.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace morvex {
namespace {

using painter::ArgbAlpha;
using painter::Image;

int opaque_pixels(const Image& image) {
    int count = 0;
    for (const painter::ArgbPixel p : image.pixels)
        count += ArgbAlpha(p) == 255;
    return count;
}

class SystemIconTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SystemIconTest, IsDrawnAtBothSizesWithTransparentSurroundings) {
    for (const int size : {32, 16}) {
        const std::optional<Image> icon = DrawSystemIcon(GetParam(), size);
        ASSERT_TRUE(icon) << size;
        EXPECT_EQ(icon->width, size);
        EXPECT_EQ(icon->height, size);
        // Mostly covered, yet not a filled square: the corner stays clear.
        EXPECT_GT(opaque_pixels(*icon), size * size / 4) << size;
        EXPECT_EQ(ArgbAlpha(icon->at(0, 0)), 0) << size;
        // More than one colour: the symbol shows on its face.
        std::set<painter::ArgbPixel> colours;
        for (const painter::ArgbPixel p : icon->pixels)
            if (ArgbAlpha(p) == 255)
                colours.insert(p);
        EXPECT_GE(colours.size(), 2u) << size;
    }
}

INSTANTIATE_TEST_SUITE_P(StandardIcons, SystemIconTest,
                         ::testing::Values(SystemIconApplication, SystemIconError, SystemIconQuestion,
                                           SystemIconExclamation, SystemIconInformation, SystemIconLogo));

TEST(SystemIconTest, UnknownIdsAndImpossibleSizesGiveNothing) {
    EXPECT_FALSE(DrawSystemIcon(32511));
    EXPECT_FALSE(DrawSystemIcon(32518));
    EXPECT_FALSE(DrawSystemIcon(0));
    EXPECT_FALSE(DrawSystemIcon(SystemIconError, 0));
    EXPECT_FALSE(DrawSystemIcon(SystemIconError, -32));
    EXPECT_FALSE(DrawSystemIcon(SystemIconError, 100000));
}

const std::vector<uint32_t> AllCursors = {SystemCursorArrow,       SystemCursorIBeam,   SystemCursorWait,
                                          SystemCursorCross,       SystemCursorUpArrow, SystemCursorSizeNwse,
                                          SystemCursorSizeNesw,    SystemCursorSizeWe,  SystemCursorSizeNs,
                                          SystemCursorSizeAll,     SystemCursorNo,      SystemCursorHand,
                                          SystemCursorAppStarting, SystemCursorHelp};

class SystemCursorTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SystemCursorTest, IsABlackAndWhiteShapeWithItsHotspotOnIt) {
    const std::optional<Image> cursor = DrawSystemCursor(GetParam());
    ASSERT_TRUE(cursor);
    ASSERT_EQ(cursor->width, SystemCursorSize);
    ASSERT_EQ(cursor->height, SystemCursorSize);
    int black = 0, white = 0;
    for (const painter::ArgbPixel p : cursor->pixels) {
        if (p == 0xFF000000)
            ++black;
        else if (p == 0xFFFFFFFF)
            ++white;
        else
            EXPECT_EQ(p, 0u) << "a cursor pixel is black, white or clear";
    }
    EXPECT_GT(black, 10);
    EXPECT_GT(white, 10);
    const platform::Point hot = cursor->hotspot;
    ASSERT_TRUE(hot.x >= 0 && hot.y >= 0 && hot.x < SystemCursorSize && hot.y < SystemCursorSize);
    // The hotspot is on the shape or right beside it.
    int near = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (hot.x + dx >= 0 && hot.y + dy >= 0 && hot.x + dx < SystemCursorSize &&
                hot.y + dy < SystemCursorSize)
                near += ArgbAlpha(cursor->at(hot.x + dx, hot.y + dy)) != 0;
    EXPECT_GT(near, 0);
}

INSTANTIATE_TEST_SUITE_P(StandardCursors, SystemCursorTest, ::testing::ValuesIn(AllCursors));

TEST(SystemCursorTest, EveryCursorLooksDifferent) {
    std::set<std::vector<painter::ArgbPixel>> seen;
    for (const uint32_t id : AllCursors)
        EXPECT_TRUE(seen.insert(DrawSystemCursor(id)->pixels).second) << id;
}

TEST(SystemCursorTest, UnknownIdsGiveNothing) {
    // 32640, 32641 and 32647 are not standard cursors (decoding an image
    // reference replaces the obsolete ones before they get here).
    for (const uint32_t id : {0u, 32511u, 32517u, 32640u, 32641u, 32647u, 32652u})
        EXPECT_FALSE(DrawSystemCursor(id)) << id;
}

// Every icon at 32 and 16 pixels over a grey ground, then every cursor,
// against the golden image (run with --rebaseline after a deliberate change).
TEST(SystemImagesTest, LookAsTheGoldenImage) {
    constexpr int Cell = 36;
    const std::vector<uint32_t> icons = {SystemIconApplication, SystemIconError,       SystemIconQuestion,
                                         SystemIconExclamation, SystemIconInformation, SystemIconLogo};
    platform::FrameBuffer sheet(Cell * static_cast<int>(AllCursors.size()), Cell * 3);
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x)
            sheet.at(x, y) = 0x9090A0;
    const auto put = [&](const Image& image, int left, int top) {
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const painter::ArgbPixel p = image.at(x, y);
                const uint32_t a = ArgbAlpha(p);
                platform::Pixel& d = sheet.at(left + x, top + y);
                platform::Pixel mixed = 0;
                for (const int shift : {0, 8, 16})
                    mixed |= ((((p >> shift) & 0xFF) * a + ((d >> shift) & 0xFF) * (255 - a) + 127) / 255)
                             << shift;
                d = mixed;
            }
        }
    };
    for (std::size_t i = 0; i < icons.size(); ++i) {
        put(*DrawSystemIcon(icons[i], 32), static_cast<int>(i) * Cell + 2, 2);
        put(*DrawSystemIcon(icons[i], 16), static_cast<int>(i) * Cell + 2, Cell + 2);
    }
    for (std::size_t i = 0; i < AllCursors.size(); ++i)
        put(*DrawSystemCursor(AllCursors[i]), static_cast<int>(i) * Cell + 2, 2 * Cell + 2);
    // A little slack for floating-point edge samples on other machines.
    EXPECT_TRUE(painter::testing::matches_golden(sheet, "system_images", {16, 8}));
}

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

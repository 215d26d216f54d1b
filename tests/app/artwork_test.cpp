// The program's artwork as it is linked in (module "tavemon"): every image
// decodes with our decoders at its size, icons are transparent around their
// shape with or without alpha support, tiles join without a seam, the
// backgrounds stay light and calm, a window of the third calendar's module
// finds them, and a contact sheet of all of them matches
// tests/app/golden/artwork.png (run with --rebaseline to rewrite it).
#include "platform/headless_backend.h"
#include "platform/resources.h"
#include "platform/windows.h"
#include "runtime/threads.h"
#include "tests/window/painter/golden_image.h"
#include "window/control.h"
#include "window/control_drawing.h"
#include "window/image_cache.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/window.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morvex {
namespace {

using painter::ArgbAlpha;
using painter::IconChoice;
using painter::Image;

const std::vector<std::string> Icons = {"WIZOK.ICO", "EXIT.ICO",  "EXIT2.ICO", "CHECK1.ICO",
                                        "MARK.ICO",  "MARK2.ICO", "JUMPPG.ICO"};

std::span<const uint8_t> linked(const std::string& name) {
    const auto bytes = platform::find_resource("tavemon", ImageResourceType, LinkedImageName(name));
    return bytes ? *bytes : std::span<const uint8_t>{};
}

Image decoded(const std::string& name, IconChoice choice = {}) {
    std::optional<Image> image = painter::decode_image(linked(name), choice);
    return image ? *image : Image{};
}

int luminance(painter::ArgbPixel p) {
    return (299 * ((p >> 16) & 0xFF) + 587 * ((p >> 8) & 0xFF) + 114 * (p & 0xFF)) / 1000;
}

struct Picture {
    const char* name;
    int width, height;
    painter::ImageFormat format;
};

class LinkedPicture : public ::testing::TestWithParam<Picture> {};

TEST_P(LinkedPicture, DecodesOpaqueAtItsSize) {
    const Picture& p = GetParam();
    ASSERT_FALSE(linked(p.name).empty()) << p.name << " is not linked into module tavemon";
    EXPECT_EQ(painter::detect_image_format(linked(p.name)), p.format);
    const Image image = decoded(p.name);
    ASSERT_EQ(image.width, p.width);
    ASSERT_EQ(image.height, p.height);
    for (const painter::ArgbPixel pixel : image.pixels)
        ASSERT_EQ(ArgbAlpha(pixel), 255) << "a background shows through nowhere";
}

INSTANTIATE_TEST_SUITE_P(Artwork, LinkedPicture,
                         ::testing::Values(Picture{"grey.bmp", 64, 64, painter::ImageFormat::Bmp},
                                           Picture{"WIZBCK02.GIF", 128, 128, painter::ImageFormat::Gif},
                                           Picture{"WIZSPLSH.BMP", 72, 160, painter::ImageFormat::Bmp}),
                         [](const auto& info) {
                             const std::string name = info.param.name;
                             return name.substr(0, name.find('.'));
                         });

class LinkedIcon : public ::testing::TestWithParam<std::string> {};

// Both sizes: corners clear, the middle opaque, as a button face shows them.
TEST_P(LinkedIcon, HoldsBothSizesTransparentAroundTheShape) {
    for (const int index : {0, 1}) {
        const Image icon = decoded(GetParam(), IconChoice{index});
        const int size = index == 0 ? 16 : 32;
        ASSERT_EQ(icon.width, size) << GetParam();
        ASSERT_EQ(icon.height, size);
        int clear = 0, opaque = 0;
        for (const painter::ArgbPixel pixel : icon.pixels) {
            clear += ArgbAlpha(pixel) == 0;
            opaque += ArgbAlpha(pixel) == 255;
        }
        EXPECT_GT(clear, size * size / 10) << GetParam() << " at " << size;
        EXPECT_GT(opaque, size * size / 3) << GetParam() << " at " << size;
    }
    // Asked for a button's size, the decoder picks the small image.
    EXPECT_EQ(decoded(GetParam(), IconChoice{-1, 16}).width, 16);
}

// A reader that ignores alpha goes by the AND mask: it must clear exactly
// the pixels that alpha clears.
TEST_P(LinkedIcon, AndMaskAgreesWithAlpha) {
    const std::span<const uint8_t> file = linked(GetParam());
    std::vector<uint8_t> without_alpha(file.begin(), file.end());
    for (int entry = 0; entry < 2; ++entry) {
        const std::size_t directory = 6 + 16 * static_cast<std::size_t>(entry);
        const uint32_t offset = without_alpha[directory + 12] | without_alpha[directory + 13] << 8 |
                                without_alpha[directory + 14] << 16 |
                                uint32_t{without_alpha[directory + 15]} << 24;
        const int size = without_alpha[directory];
        for (int i = 0; i < size * size; ++i)
            without_alpha[offset + 40 + static_cast<std::size_t>(i) * 4 + 3] = 0;
    }
    for (const int index : {0, 1}) {
        const Image with = decoded(GetParam(), IconChoice{index});
        const std::optional<Image> masked = painter::decode_image(without_alpha, IconChoice{index});
        ASSERT_TRUE(masked);
        for (std::size_t i = 0; i < with.pixels.size(); ++i)
            ASSERT_EQ(ArgbAlpha(masked->pixels[i]) == 0, ArgbAlpha(with.pixels[i]) == 0)
                << GetParam() << " pixel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Artwork, LinkedIcon, ::testing::ValuesIn(Icons),
                         [](const auto& info) { return info.param.substr(0, info.param.find('.')); });

// The largest brightness step between neighbouring columns (or rows) inside
// a tile, and the largest across the edge where one copy meets the next.
struct Steps {
    int inner = 0;
    int seam = 0;
};

Steps steps_of(const Image& tile, bool across) {
    const int length = across ? tile.width : tile.height;
    const int breadth = across ? tile.height : tile.width;
    const auto at = [&](int along, int side) {
        return luminance(across ? tile.at(along, side) : tile.at(side, along));
    };
    Steps steps;
    for (int along = 0; along < length; ++along)
        for (int side = 0; side < breadth; ++side) {
            const int step = std::abs(at(along, side) - at((along + 1) % length, side));
            int& largest = along + 1 == length ? steps.seam : steps.inner;
            largest = std::max(largest, step);
        }
    return steps;
}

TEST(Artwork, TilesJoinWithoutASeam) {
    for (const char* name : {"grey.bmp", "WIZBCK02.GIF"}) {
        const Image tile = decoded(name);
        for (const bool across : {true, false}) {
            const Steps steps = steps_of(tile, across);
            EXPECT_LE(steps.seam, steps.inner) << name << (across ? " left to right" : " top to bottom");
        }
    }
}

// Black text stays readable on the calendar's background, and the frame's
// wallpaper stays a quiet grey.
TEST(Artwork, BackgroundsAreLightAndCalm) {
    const Image background = decoded("WIZBCK02.GIF");
    const Image wallpaper = decoded("grey.bmp");
    int darkest = 255, lightest = 0;
    for (const painter::ArgbPixel pixel : background.pixels)
        EXPECT_GE(luminance(pixel), 200);
    for (const painter::ArgbPixel pixel : wallpaper.pixels) {
        darkest = std::min(darkest, luminance(pixel));
        lightest = std::max(lightest, luminance(pixel));
        const int red = (pixel >> 16) & 0xFF, blue = pixel & 0xFF;
        EXPECT_LE(std::abs(red - blue), 8) << "grey, not tinted";
    }
    EXPECT_LE(lightest - darkest, 24);
}

class ArtworkWindow : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeThreads();
        platform::set_backend(nullptr);
    }
    void TearDown() override {
        for (platform::WindowHandle window : platform::top_level_windows())
            platform::destroy_window(window);
    }
};

// The window's definition is in module "tavemon$taven007", the images in
// "tavemon": a linked name is looked for in the definition's module, then in
// every module.
TEST_F(ArtworkWindow, OfTheThirdCalendarsModuleFindsTheLinkedImages) {
    Window window;
    ASSERT_TRUE(window.TryLoad("tavemon$taven007", "ART$WINDOW"));
    window.Open();
    ASSERT_EQ(window.module(), "tavemon$taven007");
    platform::update_window(window.handle());
    const platform::FrameBuffer frame = platform::frame_buffer_copy(window.handle());
    const platform::Rect client = window.client_rect_in_frame();
    const Image background = decoded("WIZBCK02.GIF");
    const Image splash = decoded("WIZSPLSH.BMP");
    // The wallpaper tiles from the client's corner; the image control shows the panel.
    EXPECT_EQ(frame.at(client.right - 1, client.bottom - 1),
              background.at((client.width() - 1) % 128, (client.height() - 1) % 128) & 0xFFFFFF);
    const platform::Rect panel = window.control(1)->rect();
    EXPECT_EQ(frame.at(client.left + panel.left + 20, client.top + panel.top + 70),
              splash.at(20, 70) & 0xFFFFFF);
    for (const std::string& icon : Icons)
        EXPECT_NE(ProgramImages().LoadIcon(ImageReferenceOfName("~" + icon, ImageUse::Icon, window.module())),
                  0u)
            << icon;
}

// Every image on a button-face grey and on white: icons at 16 and 32 pixels,
// each at 1x and 2x; buttons with the 16-pixel icon as it is drawn, pressed,
// and with the 32-pixel icon shrunk into the same space; the wallpaper, and
// the background with the side panel and buttons on it.
TEST(Artwork, ContactSheetMatchesTheGolden) {
    using painter::Painter;
    const painter::Color face = painter::system_color(painter::SystemColor::ButtonFace);
    const painter::Color white{255, 255, 255};
    platform::FrameBuffer sheet(7 * 72, 560);
    Painter canvas(sheet);
    canvas.fill_rect({0, 0, sheet.width(), 168}, face);
    canvas.fill_rect({0, 168, sheet.width(), 336}, white);
    canvas.fill_rect({0, 336, sheet.width(), sheet.height()}, face);
    for (std::size_t i = 0; i < Icons.size(); ++i) {
        const int x = 4 + static_cast<int>(i) * 72;
        const Image small = decoded(Icons[i], IconChoice{0});
        const Image large = decoded(Icons[i], IconChoice{1});
        for (const int top : {4, 172}) {
            canvas.draw_image(small, {x, top});
            canvas.draw_image_stretched(small, {x + 24, top, x + 56, top + 32});
            canvas.draw_image(large, {x, top + 40});
            canvas.draw_image_stretched(large, {x, top + 96, x + 64, top + 160});
        }
        const ButtonLook looks[] = {ButtonLook::Normal, ButtonLook::Pressed, ButtonLook::Normal};
        for (int b = 0; b < 3; ++b) {
            const platform::Rect button = platform::Rect::FromSize(x + b * 22, 344, 22, 22);
            const platform::Rect inside = DrawButtonFace(canvas, button, looks[b], face);
            const int shift = looks[b] == ButtonLook::Pressed ? 1 : 0;
            DrawCentredImage(canvas, inside.offset(shift, shift), b == 2 ? large : small, true);
        }
    }
    canvas.draw_image_tiled(decoded("grey.bmp"), {4, 376, 164, 556});
    const platform::Rect calendar{172, 376, sheet.width() - 4, 556};
    Painter window = canvas.sub_painter(calendar);
    window.draw_image_tiled(decoded("WIZBCK02.GIF"), {0, 0, calendar.width(), calendar.height()});
    window.draw_image(decoded("WIZSPLSH.BMP"), {6, 10});
    window.fill_rect(window.draw_border({90, 20, 300, 130}, painter::Border::SunkenDouble), white);
    const char* const buttons[] = {"JUMPPG.ICO", "EXIT2.ICO", "WIZOK.ICO"};
    for (int b = 0; b < 3; ++b) {
        const platform::Rect button = platform::Rect::FromSize(90 + b * 72, 146, 64, 24);
        const platform::Rect inside = DrawButtonFace(window, button, ButtonLook::Normal, face);
        DrawCentredImage(window, inside, decoded(buttons[b], IconChoice{0}), true);
    }
    EXPECT_TRUE(painter::testing::matches_golden_file(sheet, MORVEX_ARTWORK_GOLDEN, "artwork", {0, 0}));
}

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

// The image cache against images linked into this binary (module "tavemon":
// MARK_ICO, a 16x16 red and a 32x32 green icon, and TILE_PNG) and the same
// files read from tests/window/data/images.
#include "platform/resources.h"
#include "tests/support/temp_directory.h"
#include "window/image_cache.h"
#include "window/system_images.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace morvex {
namespace {

using Kind = ImageReference::Kind;

const std::string ImagesDir = std::string(MORVEX_WINDOW_TEST_DATA) + "/images";
constexpr painter::ArgbPixel Red = 0xFFCC0000;
constexpr painter::ArgbPixel Green = 0xFF00A000;

ImageReference reference(Kind kind, std::string name = {}, uint32_t id = 0, std::string module = "tavemon",
                         int32_t index = 0) {
    ImageReference ref;
    ref.kind = kind;
    ref.name = std::move(name);
    ref.id = id;
    ref.module = std::move(module);
    ref.index = index;
    return ref;
}

TEST(ImageCacheTest, LinkedIconComesFromTheResourceAndTheBestSizeIsChosen) {
    ImageCache cache;
    const uintptr_t handle = cache.LoadIcon(reference(Kind::Linked, "MARK_ICO"));
    const painter::Image* icon = cache.Get(handle);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, 32);
    EXPECT_EQ(icon->at(16, 16), Green);
    EXPECT_EQ(painter::ArgbAlpha(icon->at(0, 0)), 0);
    // Loaded once: the same source gives the same handle.
    EXPECT_EQ(cache.LoadIcon(reference(Kind::Linked, "MARK_ICO")), handle);
    EXPECT_EQ(cache.Count(), 1u);
}

TEST(ImageCacheTest, LinkedImageNotInTheDefinitionsModuleIsFoundInAnother) {
    ImageCache cache;
    EXPECT_NE(cache.LoadIcon(reference(Kind::Linked, "MARK_ICO", 0, "elsewhere")), 0u);
    EXPECT_EQ(cache.LoadIcon(reference(Kind::Linked, "NOSUCH_ICO")), 0u);
}

struct FileCase {
    const char* label;
    std::string name;
    int32_t name_index; // from "[n]" in the name
    int32_t index;      // the caller's
    int expected_width; // 0: no icon
};

class IconFileTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(IconFileTest, LoadsTheSelectedIconOrNone) {
    const FileCase& c = GetParam();
    ImageCache cache;
    cache.SetBaseDirectory(ImagesDir);
    const uintptr_t handle = cache.LoadIcon(reference(Kind::File, c.name, 0, "", c.name_index), c.index);
    if (c.expected_width == 0) {
        EXPECT_EQ(handle, 0u);
        return;
    }
    const painter::Image* icon = cache.Get(handle);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, c.expected_width);
    EXPECT_EQ(icon->at(8, 8), c.expected_width == 16 ? Red : Green);
}

INSTANTIATE_TEST_SUITE_P(Files, IconFileTest,
                         ::testing::Values(FileCase{"FirstIconByDefault", "mark.ico", 0, 0, 16},
                                           FileCase{"IndexFromTheName", "mark.ico", 1, 0, 32},
                                           FileCase{"CallersIndexWithoutOneInTheName", "mark.ico", 0, 1, 32},
                                           FileCase{"IndexPastTheLastIcon", "mark.ico", 2, 0, 0},
                                           FileCase{"MissingFile", "nosuch.ico", 0, 0, 0},
                                           FileCase{"FileWithoutIcons", "tile.png", 0, 0, 0},
                                           FileCase{"NotAnImage", "make_test_images.py", 0, 0, 0},
                                           FileCase{"AFolder", ".", 0, 0, 0}),
                         [](const auto& info) { return info.param.label; });

TEST(ImageCacheTest, AbsoluteFileNamesIgnoreTheBaseDirectory) {
    ImageCache cache;
    cache.SetBaseDirectory("/nonexistent");
    EXPECT_NE(cache.LoadIcon(reference(Kind::File, ImagesDir + "/mark.ico")), 0u);
    EXPECT_EQ(cache.LoadIcon(reference(Kind::File, "mark.ico")), 0u);
}

TEST(ImageCacheTest, DamagedIconFileGivesNoIcon) {
    const testing::TempDirectory directory("morvex_damaged_icon");
    const std::filesystem::path path = directory.file("damaged.ico");
    {
        std::ifstream in(ImagesDir + "/mark.ico", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        bytes.resize(40); // the directory survives, the images do not
        std::ofstream(path, std::ios::binary) << bytes;
    }
    ImageCache cache;
    EXPECT_EQ(cache.LoadIcon(reference(Kind::File, path.string())), 0u);
    std::filesystem::remove(path);
}

TEST(ImageCacheTest, SystemIconsAreOursAndUnknownOnesAreNone) {
    ImageCache cache;
    const painter::Image* icon =
        cache.Get(cache.LoadIcon(reference(Kind::System, {}, SystemIconApplication)));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pixels, DrawSystemIcon(SystemIconApplication)->pixels);
    EXPECT_EQ(cache.LoadIcon(reference(Kind::System, {}, 1)), 0u);
}

TEST(ImageCacheTest, NumberedResourcesLoadByTheirNumber) {
    static std::vector<uint8_t> bytes = [] {
        std::ifstream in(ImagesDir + "/mark.ico", std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
    }();
    platform::register_resource("tavemon", ImageResourceType, "#32531", bytes);
    ImageCache cache;
    EXPECT_NE(cache.LoadIcon(reference(Kind::Resource, {}, 32531)), 0u);
    EXPECT_EQ(cache.LoadIcon(reference(Kind::Resource, {}, 32532)), 0u);
    // As a cursor too, and a missing one is the arrow.
    const uintptr_t cursor = cache.LoadCursor(reference(Kind::Resource, {}, 32531));
    EXPECT_EQ(cache.Get(cursor)->at(16, 16), Green);
    EXPECT_EQ(cache.LoadCursor(reference(Kind::Resource, {}, 32532)),
              cache.LoadCursor(reference(Kind::System, {}, SystemCursorArrow)));
    platform::unregister_resource("tavemon", ImageResourceType, "#32531");
}

TEST(ImageCacheTest, ACursorThatCannotBeLoadedIsTheArrow) {
    ImageCache cache;
    const uintptr_t arrow = cache.LoadCursor(reference(Kind::System, {}, SystemCursorArrow));
    ASSERT_NE(arrow, 0u);
    EXPECT_EQ(cache.Get(arrow)->pixels, DrawSystemCursor(SystemCursorArrow)->pixels);
    EXPECT_EQ(cache.LoadCursor(reference(Kind::Linked, "MISSING_CUR")), arrow);
    EXPECT_EQ(cache.LoadCursor(reference(Kind::System, {}, 12345)), arrow);
    EXPECT_EQ(cache.LoadCursor(reference(Kind::File, "mark.ico")), arrow);
    EXPECT_EQ(cache.LoadCursor(reference(Kind::None)), 0u);
    const uintptr_t wait = cache.LoadCursor(reference(Kind::System, {}, SystemCursorWait));
    EXPECT_NE(wait, arrow);
    EXPECT_EQ(cache.Get(wait)->hotspot, DrawSystemCursor(SystemCursorWait)->hotspot);
}

TEST(ImageCacheTest, PicturesComeFromFilesOrLinkedResourcesInAnyFormat) {
    ImageCache cache;
    cache.SetBaseDirectory(ImagesDir);
    const painter::Image* linked = cache.Get(cache.LoadPicture("~tile.png", "tavemon"));
    ASSERT_NE(linked, nullptr);
    EXPECT_EQ(linked->width, 4);
    EXPECT_EQ(linked->at(0, 0), 0xFFFFE040u);
    EXPECT_EQ(linked->at(2, 0), 0xFF000000u);
    const uintptr_t file = cache.LoadPicture("tile.png", "");
    ASSERT_NE(file, 0u);
    EXPECT_EQ(cache.Get(file)->pixels, linked->pixels);
    EXPECT_EQ(cache.LoadPicture("", "tavemon"), 0u);
    EXPECT_EQ(cache.LoadPicture("~", "tavemon"), 0u);
    EXPECT_EQ(cache.LoadPicture("nosuch.gif", ""), 0u);
}

TEST(ImageCacheTest, HandlesItNeverGaveHaveNoImage) {
    ImageCache cache;
    EXPECT_EQ(cache.Get(0), nullptr);
    EXPECT_EQ(cache.Get(1), nullptr);
    const uintptr_t handle = cache.LoadIcon(reference(Kind::System, {}, SystemIconError));
    EXPECT_NE(cache.Get(handle), nullptr);
    EXPECT_EQ(cache.Get(handle + 1), nullptr);
    EXPECT_EQ(cache.Get(~uintptr_t{0}), nullptr);
}

} // namespace
} // namespace morvex

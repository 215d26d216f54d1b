// The default definition services through the loader, against the test
// window compiled into this binary (module "tavemon") and the images linked
// in beside it. Fonts are pinned to DejaVu Sans.
#include "tests/window/painter/test_fonts.h"
#include "window/definition_services.h"
#include "window/image_cache.h"
#include "window/painter/font_matcher.h"
#include "window/system_images.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

using Kind = ImageReference::Kind;

class DefinitionServicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { painter::set_fixed_font_file(painter::testing::DejaVuSansPath); }
    static void TearDownTestSuite() { painter::set_fixed_font_file(""); }
    void TearDown() override {
        WindowDefinitionLoader().ReleaseDefinitionBlock();
        SetGlobalOptionBit4(false);
    }
};

TEST_F(DefinitionServicesTest, MetricsFollowTheFontRecord) {
    const DefinitionServices services = DefaultDefinitionServices();
    FontDefinition small{"MS Sans Serif", 8, wdf::DefaultColour, 400};
    FontDefinition large{"MS Sans Serif", 16, wdf::DefaultColour, 400};
    const UnitMetrics at8 = services.metrics(&small);
    const UnitMetrics at16 = services.metrics(&large);
    const painter::FontMetrics font8 = painter::Font::get({"MS Sans Serif", 8, 400, false})->metrics();
    EXPECT_EQ(at8.average_char_width, font8.average_char_width);
    EXPECT_EQ(at8.char_height, font8.height);
    EXPECT_EQ(at8.pixels_per_inch, 96);
    EXPECT_GT(at16.average_char_width, at8.average_char_width);
    EXPECT_GT(at16.char_height, at8.char_height);
    // No record is the system font, 8 points.
    const UnitMetrics system = services.metrics(nullptr);
    EXPECT_EQ(system.average_char_width, at8.average_char_width);
    EXPECT_EQ(system.char_height, at8.char_height);
    // Bold is wider on average.
    FontDefinition bold = large;
    bold.weight = 700;
    EXPECT_GE(services.metrics(&bold).average_char_width, at16.average_char_width);
}

TEST_F(DefinitionServicesTest, WindowIconLinkedBesideTheDefinitionLoads) {
    const DefinitionServices services = DefaultDefinitionServices();
    DefinitionLoader& loader = WindowDefinitionLoader();
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$testwin", "TEST$WINDOW");
    ASSERT_NE(offset, 0u);
    const WindowDefinition window = loader.ReadWindow(offset, services);
    ASSERT_EQ(window.icon.kind, Kind::Linked);
    EXPECT_EQ(window.icon.name, "MARK_ICO");
    EXPECT_EQ(window.icon.module, "tavemon");
    const uintptr_t icon = loader.LoadIcon(window.icon, 0, services);
    const painter::Image* image = ProgramImages().Get(icon);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(icon, ProgramImages().LoadIcon(window.icon));
}

TEST_F(DefinitionServicesTest, SystemAndNumberedReferencesGoThroughTheCache) {
    const DefinitionServices services = DefaultDefinitionServices();
    const DefinitionLoader& loader = WindowDefinitionLoader();
    ImageReference system;
    system.kind = Kind::System;
    system.id = SystemIconExclamation;
    const uintptr_t icon = loader.LoadIcon(system, 0, services);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(ProgramImages().Get(icon)->pixels, DrawSystemIcon(SystemIconExclamation)->pixels);
    ImageReference numbered;
    numbered.kind = Kind::Resource;
    numbered.id = 40000;
    numbered.module = "tavemon";
    EXPECT_EQ(loader.LoadIcon(numbered, 0, services), 0u);
    // A cursor that cannot be loaded is the arrow.
    ImageReference arrow;
    arrow.kind = Kind::System;
    arrow.id = ArrowCursorId;
    EXPECT_EQ(loader.LoadCursor(numbered, services), loader.LoadCursor(arrow, services));
}

TEST_F(DefinitionServicesTest, GlobalOptionBit4ForcesTheWindowsOptionBit) {
    const DefinitionServices services = DefaultDefinitionServices();
    DefinitionLoader& loader = WindowDefinitionLoader();
    const uint32_t offset = loader.TryFindWindowDefinition("tavemon$testwin", "TEST$WINDOW");
    ASSERT_NE(offset, 0u);
    EXPECT_EQ(loader.ReadWindow(offset, services).attributes2 & wdf::WinOptionBit, 0u);
    SetGlobalOptionBit4(true);
    EXPECT_NE(loader.ReadWindow(offset, services).attributes2 & wdf::WinOptionBit, 0u);
}

} // namespace
} // namespace morvex

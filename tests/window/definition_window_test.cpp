// Definition windows in the headless backend: built from the test windows
// compiled into this binary (module "tavemon"), sized, captioned and
// painted from the definition alone, and compared with the committed
// screenshot tests/window/data/test_window_headless.png (run with
// --rebaseline to rewrite it). Fonts are pinned to DejaVu Sans.
#include "platform/headless_backend.h"
#include "platform/input_injection.h"
#include "platform/message_queue.h"
#include "platform/resources.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/definition_window.h"
#include "window/image_cache.h"
#include "window/painter/font_matcher.h"

#include <cstring>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace morvex {
namespace {

using platform::Rect;

const std::string Screenshot = std::string(MORVEX_WINDOW_TEST_DATA) + "/test_window_headless.png";

class DefinitionWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { painter::set_fixed_font_file(painter::testing::DejaVuSansPath); }
    static void TearDownTestSuite() { painter::set_fixed_font_file(""); }
    void SetUp() override {
        platform::set_backend(nullptr);
        platform::dispatch_pending_messages();
    }
    void TearDown() override {
        for (platform::WindowHandle window : platform::top_level_windows())
            platform::destroy_window(window);
        platform::dispatch_pending_messages();
    }
};

TEST_F(DefinitionWindowTest, IsSizedAndCaptionedFromTheDefinition) {
    DefinitionWindow window;
    ASSERT_TRUE(window.Open("tavemon$testwin", "test$window"));
    EXPECT_TRUE(window.IsOpen());
    EXPECT_EQ(window.Module(), "tavemon");
    EXPECT_EQ(window.Controls().size(), 8u);
    const UnitMetrics metrics = UnitMetricsOf(&*window.Definition().font);
    const Rect expected = Rect::FromSize(ToPixelsX(20, PositionUnit::DialogUnits, metrics),
                                         ToPixelsY(30, PositionUnit::DialogUnits, metrics),
                                         ToPixelsX(200, PositionUnit::DialogUnits, metrics),
                                         ToPixelsY(110, PositionUnit::DialogUnits, metrics));
    EXPECT_EQ(platform::window_rect(window.Handle()), expected);
    const auto top_level = platform::headless_backend()->top_level(window.Handle());
    ASSERT_TRUE(top_level);
    EXPECT_EQ(top_level->caption, "Customer");
    EXPECT_TRUE(top_level->visible);
    const painter::Image* icon = ProgramImages().Get(window.Icon());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, 32);
}

TEST_F(DefinitionWindowTest, LooksLikeTheCommittedScreenshot) {
    DefinitionWindow window;
    ASSERT_TRUE(window.Open("tavemon$testwin", "TEST$WINDOW"));
    platform::update_window(window.Handle());
    const platform::FrameBuffer frame = platform::frame_buffer_copy(window.Handle());
    // The colour record's colour (0x00E0F0F0: red F0, green F0, blue E0) is the background.
    EXPECT_EQ(frame.at(frame.width() - 2, 2), 0xF0F0E0u);
    const std::string saved =
        (std::filesystem::temp_directory_path() / ("morvex_test_window_" + std::to_string(getpid()) + ".png"))
            .string();
    EXPECT_TRUE(platform::save_window_png(window.Handle(), saved));
    EXPECT_TRUE(painter::testing::matches_golden_file(frame, Screenshot, "test_window_headless", {8, 0}));
    std::filesystem::remove(saved);
}

TEST_F(DefinitionWindowTest, DefaultSizeHoldsTheControlsAndTheWallpaperTiles) {
    DefinitionWindow window;
    ASSERT_TRUE(window.Open("tavemon$testwin", "PLAIN$WINDOW"));
    ASSERT_NE(window.Wallpaper(), 0u);
    const UnitMetrics metrics = UnitMetricsOf(nullptr);
    const Rect rect = platform::window_rect(window.Handle());
    // The button's right and bottom edges plus the margin of 8 pixels.
    const auto x = [&](int units) { return ToPixelsX(units, PositionUnit::DialogUnits, metrics); };
    const auto y = [&](int units) { return ToPixelsY(units, PositionUnit::DialogUnits, metrics); };
    EXPECT_EQ(rect.width(), x(4) + x(40) + 8);
    EXPECT_EQ(rect.height(), y(4) + y(14) + 8);
    platform::update_window(window.Handle());
    const platform::FrameBuffer frame = platform::frame_buffer_copy(window.Handle());
    // tile.png: 2x2 yellow and black squares, repeated from the top-left corner.
    for (const auto& [x, y] :
         {std::pair{0, 0}, {1, 1}, {2, 0}, {3, 3}, {rect.width() - 1, rect.height() - 1}}) {
        const bool yellow = ((x % 4) / 2 + (y % 4) / 2) % 2 == 0;
        EXPECT_EQ(frame.at(x, y), yellow ? 0xFFE040u : 0x000000u) << x << "," << y;
    }
}

TEST_F(DefinitionWindowTest, ClosesWhenItsWindowIsDestroyedAndOpensAgain) {
    DefinitionWindow window;
    ASSERT_TRUE(window.Open("tavemon$testwin", "PLAIN$WINDOW"));
    const platform::WindowHandle first = window.Handle();
    // Closed from outside, as the close box does.
    platform::send_message(platform::Message{first, platform::MsgClose, 0, 0});
    EXPECT_FALSE(platform::is_window(first));
    EXPECT_FALSE(window.IsOpen());
    EXPECT_EQ(window.Handle(), 0u);
    ASSERT_TRUE(window.Open("tavemon$testwin", "PLAIN$WINDOW"));
    EXPECT_TRUE(window.IsOpen());
    window.Close();
    EXPECT_FALSE(window.IsOpen());
    window.Close(); // closing a closed window does nothing
}

// Compiles `text` into module "inline"; the bytes live as long as the process.
void register_text(std::string_view text) {
    static std::deque<std::vector<uint8_t>> keep;
    const wdf::CompileResult result = wdf::ParseWindowDefinitions(text, "inline");
    ASSERT_TRUE(result.ok()) << result.error;
    for (const wdf::ProcedureSource& p : result.procedures) {
        keep.push_back(wdf::EncodeProcedure(p));
        platform::register_resource("inline", "DABDUMP", wdf::ResourceNameOf(p.name), keep.back());
    }
}

TEST_F(DefinitionWindowTest, OutlandishSizesAreKeptWithinBounds) {
    register_text("procedure \"huge\"\n"
                  "window \"W\"\n"
                  "    at 1500000000 -1500000000 1500000000 10\n"
                  "    units points\n"
                  "    button at 2147483000 2147483000 2147483000 2147483000 text \"Far\"\n"
                  "    prompt at -2147483000 5 2147483000 20 text \"Wide\"\n"
                  "end\n");
    DefinitionWindow window;
    ASSERT_TRUE(window.Open("huge", "W"));
    const Rect rect = platform::window_rect(window.Handle());
    EXPECT_LE(rect.width(), 8192);
    EXPECT_GT(rect.width(), 1000);
    EXPECT_LE(rect.height(), 20);
    EXPECT_LE(rect.right, 2 * 8192);
    platform::update_window(window.Handle()); // draws without overflowing anything
    EXPECT_EQ(platform::frame_buffer_copy(window.Handle()).width(), rect.width());
}

TEST_F(DefinitionWindowTest, MissingDefinitionOpensNothing) {
    DefinitionWindow window;
    EXPECT_FALSE(window.Open("tavemon$testwin", "NOSUCH$WINDOW"));
    EXPECT_FALSE(window.Open("tavemon$nosuch", "TEST$WINDOW"));
    EXPECT_FALSE(window.IsOpen());
    EXPECT_TRUE(platform::top_level_windows().empty());
}

TEST_F(DefinitionWindowTest, OpeningAnOpenWindowHaltsWith535) {
    EXPECT_EXIT(
        {
            DefinitionWindow window;
            window.Open("tavemon$testwin", "PLAIN$WINDOW");
            window.Open("tavemon$testwin", "TEST$WINDOW");
        },
        ::testing::ExitedWithCode(2), "Window is already open");
}

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--rebaseline") == 0)
            morvex::painter::testing::set_rebaseline(true);
    return RUN_ALL_TESTS();
}

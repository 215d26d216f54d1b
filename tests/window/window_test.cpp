// Windows of the engine in the headless backend: built from the test windows
// compiled into this binary (module "tavemon"), sized and captioned from the
// definition, painted with their controls, and compared with the committed
// screenshot tests/window/data/test_window_headless.png (run with
// --rebaseline to rewrite it). Fonts are pinned to DejaVu Sans.
#include "platform/headless_backend.h"
#include "platform/input_injection.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "platform/resources.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/threads.h"
#include "tests/support/temp_directory.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"
#include "window/accept.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/definition_services.h"
#include "window/image_cache.h"
#include "window/painter/font_matcher.h"
#include "window/window.h"

#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace morvex {
namespace {

using platform::Rect;

const std::string Screenshot = std::string(MORVEX_WINDOW_TEST_DATA) + "/test_window_headless.png";

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { painter::set_fixed_font_file(painter::testing::DejaVuSansPath); }
    static void TearDownTestSuite() { painter::set_fixed_font_file(""); }
    void SetUp() override {
        InitializeThreads();
        platform::set_backend(nullptr);
        platform::dispatch_pending_messages();
    }
    void TearDown() override {
        for (platform::WindowHandle window : platform::top_level_windows())
            platform::destroy_window(window);
        platform::dispatch_pending_messages();
    }
};

TEST_F(WindowTest, IsSizedAndCaptionedFromTheDefinition) {
    Window window;
    ASSERT_TRUE(window.TryLoad("tavemon$testwin", "test$window"));
    window.Open();
    EXPECT_TRUE(window.IsOpen());
    EXPECT_EQ(window.module(), "tavemon");
    const UnitMetrics metrics = UnitMetricsOf(&*window.definition().font);
    // The frame stands at the definition's position; the client area has its size.
    const Rect frame = platform::window_rect(window.handle());
    EXPECT_EQ(frame.left, ToPixelsX(20, PositionUnit::DialogUnits, metrics));
    EXPECT_EQ(frame.top, ToPixelsY(30, PositionUnit::DialogUnits, metrics));
    const Rect client = window.client_rect_in_frame();
    EXPECT_EQ(client.width(), ToPixelsX(200, PositionUnit::DialogUnits, metrics));
    EXPECT_EQ(client.height(), ToPixelsY(110, PositionUnit::DialogUnits, metrics));
    EXPECT_GT(client.top, client.left) << "the caption bar lies above the client area";
    const auto top_level = platform::headless_backend()->top_level(window.handle());
    ASSERT_TRUE(top_level);
    EXPECT_EQ(top_level->caption, "Customer");
    EXPECT_TRUE(top_level->visible);
}

TEST_F(WindowTest, LooksLikeTheCommittedScreenshot) {
    Window window;
    window.Load("tavemon$testwin", "TEST$WINDOW");
    window.Open();
    platform::update_window(window.handle());
    const platform::FrameBuffer frame = platform::frame_buffer_copy(window.handle());
    // The colour record's colour (0x00E0F0F0: red F0, green F0, blue E0) is the client's background.
    const Rect client = window.client_rect_in_frame();
    EXPECT_EQ(frame.at(client.right - 2, client.bottom - 2), 0xF0F0E0u);
    const testing::TempDirectory directory("morvex_test_window");
    EXPECT_TRUE(platform::save_window_png(window.handle(), directory.file("window.png")));
    EXPECT_TRUE(painter::testing::matches_golden_file(frame, Screenshot, "test_window_headless", {8, 0}));
}

TEST_F(WindowTest, DefaultSizeHoldsTheControlsAndTheWallpaperTiles) {
    Window window;
    window.Load("tavemon$testwin", "PLAIN$WINDOW");
    window.Open();
    const UnitMetrics metrics = UnitMetricsOf(nullptr);
    const Rect client = window.client_rect_in_frame();
    const Rect rect = Rect::FromSize(0, 0, client.width(), client.height());
    // The button's right and bottom edges plus the margin of 8 pixels.
    const auto x = [&](int units) { return ToPixelsX(units, PositionUnit::DialogUnits, metrics); };
    const auto y = [&](int units) { return ToPixelsY(units, PositionUnit::DialogUnits, metrics); };
    EXPECT_EQ(rect.width(), x(4) + x(40) + 8);
    EXPECT_EQ(rect.height(), y(4) + y(14) + 8);
    platform::update_window(window.handle());
    const platform::FrameBuffer frame = platform::frame_buffer_copy(window.handle());
    // tile.png: 2x2 yellow and black squares, repeated from the client's top-left corner.
    for (const auto& [x, y] :
         {std::pair{0, 0}, {1, 1}, {2, 0}, {3, 3}, {rect.width() - 1, rect.height() - 1}}) {
        const bool yellow = ((x % 4) / 2 + (y % 4) / 2) % 2 == 0;
        EXPECT_EQ(frame.at(client.left + x, client.top + y), yellow ? 0xFFE040u : 0x000000u) << x << "," << y;
    }
}

TEST_F(WindowTest, TheCloseBoxAsksAndTheProcedureClosesThenItOpensAgain) {
    Window window;
    window.Load("tavemon$testwin", "PLAIN$WINDOW");
    window.Open();
    const platform::WindowHandle first = window.handle();
    // The close box asks the procedure with EVENT:CloseWindow; completing it ends the loop.
    platform::send_message(platform::Message{first, platform::MsgClose, 0, 0});
    std::vector<uint16_t> events;
    ACCEPT(window, [&] {
        events.push_back(EVENT());
        return LoopOutcome::Completed;
    });
    EXPECT_EQ(events.back(), Event::CloseWindow);
    EXPECT_TRUE(window.IsOpen()) << "the procedure closes its window itself";
    window.Close();
    EXPECT_FALSE(platform::is_window(first));
    EXPECT_FALSE(window.IsOpen());
    window.Open();
    EXPECT_TRUE(window.IsOpen());
    window.Close();
    window.Close(); // closing a closed window does nothing
    EXPECT_FALSE(window.IsOpen());
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

TEST_F(WindowTest, OutlandishSizesAreKeptWithinBounds) {
    register_text("procedure \"huge\"\n"
                  "window \"W\"\n"
                  "    at 1500000000 -1500000000 1500000000 10\n"
                  "    units points\n"
                  "    button at 2147483000 2147483000 2147483000 2147483000 text \"Far\"\n"
                  "    prompt at -2147483000 5 2147483000 20 text \"Wide\"\n"
                  "end\n");
    Window window;
    window.Load("huge", "W");
    window.Open();
    const Rect client = window.client_rect_in_frame();
    const Rect rect = platform::window_rect(window.handle());
    EXPECT_LE(client.width(), 8192);
    EXPECT_GT(client.width(), 1000);
    EXPECT_LE(client.height(), 20);
    EXPECT_LE(rect.right, 3 * 8192);
    platform::update_window(window.handle()); // draws without overflowing anything
    EXPECT_EQ(platform::frame_buffer_copy(window.handle()).width(), rect.width());
}

TEST_F(WindowTest, AMissingDefinitionLoadsNothingAndHaltsWith502WhenRequired) {
    Window window;
    EXPECT_FALSE(window.TryLoad("tavemon$testwin", "NOSUCH$WINDOW"));
    EXPECT_FALSE(window.TryLoad("tavemon$nosuch", "TEST$WINDOW"));
    EXPECT_FALSE(window.loaded());
    EXPECT_TRUE(platform::top_level_windows().empty());
    EXPECT_EXIT(
        {
            platform::queue_message_box_answer(platform::ButtonNo);
            Window missing;
            missing.Load("tavemon$nosuch", "TEST$WINDOW");
        },
        ::testing::ExitedWithCode(2), "");
}

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

// Tool tips in the headless backend: a window built in the test holds a
// button with a tip and one without; the pointer's rest, its moves and
// presses decide whether the "MvxToolTip" popup shows, where it shows and
// what it looks like (golden tool_tip.png, --rebaseline to rewrite).
#include "platform/input_injection.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/threads.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"
#include "window/accept.h"
#include "window/definition_services.h"
#include "window/painter/font_matcher.h"
#include "window/tool_tip.h"
#include "window/window.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

using namespace std::chrono_literals;

ControlDefinition button(int32_t feq, const platform::Rect& rect, std::string text, std::string tip) {
    ControlDefinition control;
    control.type = wdf::ButtonControl;
    control.feq = feq;
    control.x = rect.left;
    control.y = rect.top;
    control.width = rect.width();
    control.height = rect.height();
    control.text = std::move(text);
    if (!tip.empty())
        control.tip = std::move(tip);
    return control;
}

class ToolTipTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        painter::set_fixed_font_file(painter::testing::DejaVuSansPath);
        InitializeThreads();
        InitializeWindowEngine();
        platform::use_manual_timer_clock();
    }
    void SetUp() override {
        WindowDefinition definition;
        definition.caption = "Tips";
        definition.x = 200;
        definition.y = 100;
        window.LoadDefinition(
            definition,
            {button(1, platform::Rect::FromSize(10, 10, 90, 24), "Save", "Saves the record"),
             button(2, platform::Rect::FromSize(110, 10, 90, 24), "Other", "")},
            UnitMetricsOf(nullptr));
        window.Open();
        pump();
    }
    void TearDown() override {
        window.Close();
        pump();
    }
    static void pump() { platform::dispatch_pending_messages(); }
    // The rest of the pointer: time passes for the timers.
    static void rest(std::chrono::milliseconds time) {
        platform::advance_timer_clock(time);
        pump();
    }
    platform::Point centre(int32_t feq) { return platform::window_centre(window.control(feq)->handle()); }
    void move_to(int32_t feq, int dx = 0) {
        const platform::Point at = centre(feq);
        platform::move_mouse(window.handle(), {at.x + dx, at.y});
        pump();
    }
    static platform::WindowHandle tip_window() { return platform::find_window("MvxToolTip", ""); }
    bool shown(int32_t feq) { return ToolTipShownFor(*window.control(feq)); }

    Window window;
};

TEST_F(ToolTipTest, ShowsBelowThePointerOnceItHasRestedLongEnough) {
    move_to(1);
    rest(ToolTipDelay - 1ms);
    EXPECT_FALSE(shown(1));
    // A move starts the wait again.
    move_to(1, 3);
    rest(ToolTipDelay - 1ms);
    EXPECT_FALSE(shown(1));
    rest(1ms);
    ASSERT_TRUE(shown(1));
    const platform::WindowHandle tip = tip_window();
    ASSERT_NE(tip, 0u);
    EXPECT_TRUE(platform::is_window_visible(tip));
    EXPECT_EQ(platform::window_text(tip), "Saves the record");
    EXPECT_EQ(platform::owner_window(tip), window.handle());
    const platform::Point pointer = platform::map_point(window.handle(), 0, {centre(1).x + 3, centre(1).y});
    const platform::Rect rect = platform::window_rect(tip);
    EXPECT_EQ(rect.left, pointer.x);
    EXPECT_EQ(rect.top, pointer.y + 20);
    platform::update_window(tip);
    EXPECT_TRUE(painter::testing::matches_golden_file(platform::frame_buffer_copy(tip),
                                                      std::string(MORVEX_CASES_DIR) + "/golden/tool_tip.png",
                                                      "tool_tip", {2, 0}));
}

TEST_F(ToolTipTest, GoesWhenThePointerLeavesAndNeverShowsWithoutText) {
    move_to(1);
    rest(ToolTipDelay);
    ASSERT_TRUE(shown(1));
    move_to(2);
    EXPECT_FALSE(shown(1));
    EXPECT_FALSE(platform::is_window_visible(tip_window()));
    rest(ToolTipDelay);
    EXPECT_FALSE(shown(2));
}

TEST_F(ToolTipTest, APressHidesItUntilThePointerComesBack) {
    move_to(1);
    rest(ToolTipDelay);
    platform::click(window.handle(), centre(1));
    pump();
    EXPECT_FALSE(shown(1));
    move_to(1, 2);
    rest(ToolTipDelay);
    EXPECT_FALSE(shown(1));
    move_to(2);
    move_to(1);
    rest(ToolTipDelay);
    EXPECT_TRUE(shown(1));
}

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

#include "platform/headless_backend.h"
#include "platform/png_file.h"
#include "tests/platform/window_test_support.h"

#include <filesystem>
#include <unistd.h>

namespace morvex::platform {
namespace {

using testing::make_child;
using testing::make_top_level;
using testing::message_log;

using HeadlessBackendTest = testing::WindowTest;

TEST_F(HeadlessBackendTest, IsTheDefaultBackendAndCountsBeeps) {
    ASSERT_NE(headless_backend(), nullptr);
    EXPECT_EQ(headless().beep_count(), 0);
    backend().beep();
    backend().beep();
    EXPECT_EQ(headless().beep_count(), 2);
    set_backend(nullptr); // a fresh one
    EXPECT_EQ(headless().beep_count(), 0);
}

TEST_F(HeadlessBackendTest, FollowsTheLifeOfTopLevelWindows) {
    const WindowHandle top = make_top_level(Rect::FromSize(1, 2, 30, 40), 0, "One", StyleNone);
    const WindowHandle child = make_child(top, Rect::FromSize(0, 0, 5, 5), 0);
    EXPECT_FALSE(headless().top_level(child).has_value());
    auto state = headless().top_level(top);
    ASSERT_TRUE(state.has_value());
    EXPECT_FALSE(state->visible);
    EXPECT_EQ(state->caption, "One");
    EXPECT_EQ(state->screen_rect, Rect::FromSize(1, 2, 30, 40));

    show_window(top, true);
    EXPECT_TRUE(headless().top_level(top)->visible);
    EXPECT_EQ(headless().top_level_count(), 1u);
    destroy_window(top);
    EXPECT_EQ(headless().top_level_count(), 0u);
}

TEST_F(HeadlessBackendTest, SavesAWindowAsPng) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 16, 12), MakePixel(10, 20, 30));
    make_child(top, Rect::FromSize(4, 4, 4, 4), MakePixel(200, 100, 50));
    dispatch_pending_messages();
    const std::string path =
        (std::filesystem::temp_directory_path() / ("morvex_headless_" + std::to_string(getpid()) + ".png"))
            .string();
    ASSERT_TRUE(save_window_png(top, path));
    const std::optional<FrameBuffer> read = read_png(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, frame_buffer_copy(top));
    EXPECT_EQ(read->at(5, 5), MakePixel(200, 100, 50));
    EXPECT_EQ(read->at(0, 0), MakePixel(10, 20, 30));

    EXPECT_FALSE(save_window_png(0, path));
    EXPECT_FALSE(save_window_png(top, "/nonexistent-directory/x.png"));
}

TEST_F(HeadlessBackendTest, ClickingAWindowHitsItsCentre) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 100, 100));
    const WindowHandle child = make_child(top, Rect::FromSize(20, 30, 40, 10), 0);
    const WindowHandle grandchild = make_child(child, Rect::FromSize(30, 0, 10, 10), 0);
    EXPECT_EQ(window_centre(grandchild), (Point{55, 35}));
    click_window(grandchild);
    dispatch_pending_messages();
    const std::vector<Message> log = message_log().take({MsgLButtonDown, MsgLButtonUp});
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].window, grandchild);
    EXPECT_EQ(log[0].lparam, MakeLParam(5, 5));
}

TEST_F(HeadlessBackendTest, DragPressesMovesAlongAndReleases) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 100, 100));
    drag(top, {10, 10}, {50, 30}, MouseButton::Left, 2);
    std::vector<std::pair<uint32_t, Point>> seen;
    Message message;
    while (peek_message(message, {}, Removal::Remove)) {
        if (message.number >= MsgMouseMove && message.number <= MsgLButtonUp)
            seen.emplace_back(message.number,
                              Point{LowWordSigned(message.lparam), HighWordSigned(message.lparam)});
        if (message.number != MsgPaint)
            continue;
        dispatch_message(message);
    }
    const std::vector<std::pair<uint32_t, Point>> expected{{MsgMouseMove, {10, 10}},
                                                           {MsgLButtonDown, {10, 10}},
                                                           {MsgMouseMove, {50, 30}},
                                                           {MsgLButtonUp, {50, 30}}};
    // Moves waiting in the queue collapse: the middle one is gone.
    EXPECT_EQ(seen, expected);
}

} // namespace
} // namespace morvex::platform

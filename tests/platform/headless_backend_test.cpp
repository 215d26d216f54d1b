#include "platform/headless_backend.h"
#include "platform/png_file.h"
#include "tests/platform/window_test_support.h"
#include "tests/support/temp_directory.h"

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
    const morvex::testing::TempDirectory directory("morvex_headless");
    const std::string path = directory.file("window.png");
    ASSERT_TRUE(save_window_png(top, path));
    const std::optional<FrameBuffer> read = read_png(path);
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

TEST_F(HeadlessBackendTest, IsToldWhenTheWindowLayerChangesTheActiveWindow) {
    const WindowHandle first = make_top_level(Rect::FromSize(0, 0, 50, 50));
    const WindowHandle second = make_top_level(Rect::FromSize(60, 0, 50, 50));
    const WindowHandle child = make_child(second, Rect::FromSize(5, 5, 10, 10), 0);
    EXPECT_EQ(headless().last_activated(), 0u) << "showing a window does not activate it";
    activate_window(first);
    EXPECT_EQ(headless().last_activated(), first);
    // The focus moving into an inactive top-level window activates it.
    set_focus(child);
    EXPECT_EQ(headless().last_activated(), second);
    // Activating the active window again tells nothing.
    activate_window(first);
    headless().top_level_activated(0);
    activate_window(first);
    EXPECT_EQ(headless().last_activated(), 0u);
}

TEST_F(HeadlessBackendTest, DialogsIconsAndCursorsReachTheBackendOfTheirTopLevelWindow) {
    const WindowHandle owner = make_top_level(Rect::FromSize(0, 0, 50, 50));
    CreateWindowParams params;
    params.class_name = testing::Recorder;
    params.style = StyleDialog;
    params.owner = owner;
    params.rect = Rect::FromSize(10, 10, 20, 20);
    const WindowHandle dialog = create_window(params);
    ASSERT_NE(dialog, 0u);
    EXPECT_TRUE(headless().top_level(dialog)->dialog);
    EXPECT_EQ(headless().top_level(dialog)->dialog_owner, owner);
    EXPECT_FALSE(headless().top_level(owner)->dialog);

    const IconImage small{16, 16, std::vector<uint32_t>(256, 0xFF102030)};
    const IconImage large{32, 32, std::vector<uint32_t>(1024, 0x80FFFFFF)};
    EXPECT_TRUE(set_window_icon(owner, {small, large}));
    const auto icons = headless().top_level(owner)->icons;
    ASSERT_EQ(icons.size(), 2u);
    EXPECT_EQ(icons[1].width, 32);
    EXPECT_EQ(icons[1].pixels[5], 0x80FFFFFFu);
    // A child has no icon, and pixels that do not fill the size are refused.
    const WindowHandle child = make_child(owner, Rect::FromSize(0, 0, 10, 10), 0);
    EXPECT_FALSE(set_window_icon(child, {small}));
    EXPECT_FALSE(set_window_icon(owner, {IconImage{16, 16, std::vector<uint32_t>(255)}}));
    EXPECT_EQ(headless().top_level(owner)->icons.size(), 2u);
    EXPECT_TRUE(set_window_icon(owner, {}));
    EXPECT_TRUE(headless().top_level(owner)->icons.empty());

    EXPECT_EQ(headless().top_level(owner)->cursor, MouseCursor::Arrow);
    EXPECT_TRUE(set_window_cursor(child, MouseCursor::IBeam));
    EXPECT_EQ(headless().top_level(owner)->cursor, MouseCursor::IBeam);
    EXPECT_FALSE(set_window_cursor(0x7FFFFFFF, MouseCursor::Wait));
}

TEST_F(HeadlessBackendTest, ClipboardKeepsEachSelectionApartInTheProcess) {
    Clipboard& clipboard = backend().clipboard();
    EXPECT_EQ(clipboard.text(Selection::Clipboard), std::nullopt);
    EXPECT_TRUE(clipboard.set_text(Selection::Clipboard, "Caf\xe9 \x80"));
    EXPECT_TRUE(clipboard.set_text(Selection::Primary, "line"));
    EXPECT_EQ(clipboard.text(Selection::Clipboard), "Caf\xe9 \x80");
    EXPECT_EQ(clipboard.text(Selection::Primary), "line");
    set_backend(nullptr); // a fresh backend starts with an empty clipboard
    EXPECT_EQ(backend().clipboard().text(Selection::Clipboard), std::nullopt);
}

TEST(ApplicationClassTest, IsTheToolsUntilTheProgramSetsItsOwn) {
    const ApplicationClass before = application_class();
    EXPECT_EQ(before.name, "morvex");
    EXPECT_EQ(before.class_name, "Morvex");
    set_application_class("tavemon", "Tavemon");
    EXPECT_EQ(application_class().name, "tavemon");
    EXPECT_EQ(application_class().class_name, "Tavemon");
    set_application_class(before.name, before.class_name);
}

} // namespace
} // namespace morvex::platform

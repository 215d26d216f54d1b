#include "platform/input.h"
#include "tests/platform/window_test_support.h"

namespace morvex::platform {
namespace {

using testing::make_child;
using testing::make_top_level;
using testing::message_log;

class InputTest : public testing::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        top = make_top_level(Rect::FromSize(100, 100, 200, 200));
        left = make_child(top, Rect::FromSize(10, 10, 80, 80), 0, 1);
        right = make_child(top, Rect::FromSize(100, 10, 80, 80), 0, 2);
        inner = make_child(left, Rect::FromSize(20, 20, 20, 20), 0, 3);
        dispatch_pending_messages();
        message_log().take();
    }
    // Dispatches what input posted and returns the messages of those numbers.
    std::vector<Message> delivered(std::initializer_list<uint32_t> numbers) {
        dispatch_pending_messages();
        return message_log().take(numbers);
    }
    WindowHandle top = 0;
    WindowHandle left = 0;
    WindowHandle right = 0;
    WindowHandle inner = 0;
};

TEST_F(InputTest, KeysGoToTheFocusWindowWithWin32Flags) {
    set_focus(right);
    press_key('A');
    const std::vector<Message> keys = delivered({MsgKeyDown, MsgKeyUp});
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].window, right);
    EXPECT_EQ(keys[0].wparam, 'A');
    EXPECT_EQ(keys[0].lparam, 1);
    EXPECT_EQ(keys[1].number, MsgKeyUp);
    EXPECT_EQ(static_cast<uint32_t>(keys[1].lparam), 1u | (1u << 30) | (1u << 31));
    EXPECT_FALSE(is_key_down('A'));
}

TEST_F(InputTest, AltMakesSystemKeysAndCharacters) {
    set_focus(left);
    input_key(VkMenu, true);
    input_key('F', true);
    input_char('f');
    input_key('F', false);
    input_key(VkMenu, false);
    type_text("\xE9");
    const std::vector<Message> log =
        delivered({MsgKeyDown, MsgKeyUp, MsgSysKeyDown, MsgSysKeyUp, MsgChar, MsgSysChar});
    std::vector<std::pair<uint32_t, uintptr_t>> seen;
    for (const Message& message : log)
        seen.emplace_back(message.number, message.wparam);
    const std::vector<std::pair<uint32_t, uintptr_t>> expected{{MsgSysKeyDown, VkMenu}, {MsgSysKeyDown, 'F'},
                                                               {MsgSysChar, 'f'},       {MsgSysKeyUp, 'F'},
                                                               {MsgSysKeyUp, VkMenu},   {MsgChar, 0xE9}};
    EXPECT_EQ(seen, expected);
}

TEST_F(InputTest, KeysWithoutAFocusGoToTheActiveWindowOrNowhere) {
    press_key(VkF1);
    EXPECT_TRUE(delivered({MsgKeyDown}).empty());
    activate_window(top);
    set_focus(0);
    press_key(VkF1);
    const std::vector<Message> keys = delivered({MsgKeyDown});
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].window, top);
}

struct HitCase {
    const char* label;
    Point point; // top-level client coordinates
    int target;  // 0 top, 1 left, 2 right, 3 inner
    Point client;
};

class MouseRoutingTest : public InputTest, public ::testing::WithParamInterface<HitCase> {};

TEST_P(MouseRoutingTest, ButtonGoesToTheDeepestChildUnderThePointer) {
    const HitCase& c = GetParam();
    const WindowHandle windows[] = {top, left, right, inner};
    click(top, c.point);
    const std::vector<Message> log = delivered({MsgLButtonDown});
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].window, windows[c.target]);
    EXPECT_EQ(LowWordSigned(log[0].lparam), c.client.x);
    EXPECT_EQ(HighWordSigned(log[0].lparam), c.client.y);
    EXPECT_EQ(log[0].wparam, MouseLeftButton);
}

INSTANTIATE_TEST_SUITE_P(Points, MouseRoutingTest,
                         ::testing::Values(HitCase{"background", {5, 5}, 0, {5, 5}},
                                           HitCase{"left child", {10, 10}, 1, {0, 0}},
                                           HitCase{"grandchild", {35, 35}, 3, {5, 5}},
                                           HitCase{"grandchild's far edge", {49, 49}, 3, {19, 19}},
                                           HitCase{"just past it", {50, 50}, 1, {40, 40}},
                                           HitCase{"right child", {179, 89}, 2, {79, 79}},
                                           HitCase{"between children", {95, 50}, 0, {95, 50}}),
                         [](const auto& info) {
                             std::string name = info.param.label;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST_F(InputTest, TheTopSiblingWinsAndHiddenOrDisabledChildrenLetThePointThrough) {
    const WindowHandle cover = make_child(top, Rect::FromSize(0, 0, 60, 60), 0, 9);
    click(top, {30, 30});
    EXPECT_EQ(delivered({MsgLButtonDown}).at(0).window, cover);
    show_window(cover, false);
    enable_window(inner, false);
    click(top, {30, 30});
    EXPECT_EQ(delivered({MsgLButtonDown}).at(0).window, left);
    EXPECT_EQ(window_from_point(top, {30, 30}), left);

    enable_window(top, false);
    click(top, {30, 30});
    EXPECT_TRUE(delivered({MsgLButtonDown, MsgLButtonUp}).empty());
    EXPECT_EQ(window_from_point(top, {30, 30}), 0u);
}

TEST_F(InputTest, TheCaptureWindowGetsEveryMouseMessage) {
    set_capture(inner);
    input_mouse_move(top, {150, 5}); // over the right child, left of inner's origin
    input_mouse_button(top, {150, 5}, MouseButton::Left, true);
    const std::vector<Message> log = delivered({MsgMouseMove, MsgLButtonDown});
    ASSERT_EQ(log.size(), 2u);
    for (const Message& message : log) {
        EXPECT_EQ(message.window, inner);
        EXPECT_EQ(LowWordSigned(message.lparam), 150 - 30);
        EXPECT_EQ(HighWordSigned(message.lparam), 5 - 30);
    }
    // Outside the top-level window altogether.
    input_mouse_move(top, {-40, 300});
    const std::vector<Message> outside = delivered({MsgMouseMove});
    ASSERT_EQ(outside.size(), 1u);
    EXPECT_EQ(LowWordSigned(outside[0].lparam), -70);
    EXPECT_EQ(outside[0].wparam, MouseLeftButton);
}

TEST_F(InputTest, ATrackedWindowHearsOnceWhenThePointerLeavesIt) {
    // Left's child counts as leaving left; so do another sibling, the
    // capture's window and the pointer leaving the top-level window.
    const struct {
        WindowHandle tracked;
        Point inside;
        Point outside;
        bool capture;
    } cases[] = {
        {left, {15, 15}, {35, 35}, false},
        {left, {15, 15}, {150, 20}, false},
        {inner, {35, 35}, {150, 20}, true},
        {right, {150, 20}, {-5, -5}, false},
    };
    for (const auto& c : cases) {
        if (c.capture)
            set_capture(c.tracked);
        track_mouse_leave(c.tracked);
        input_mouse_move(top, c.inside);
        EXPECT_TRUE(delivered({MsgMouseLeave}).empty());
        input_mouse_move(top, c.outside);
        input_mouse_move(top, c.inside);
        input_mouse_move(top, c.outside);
        const std::vector<Message> log = delivered({MsgMouseLeave});
        ASSERT_EQ(log.size(), 1u) << "tracking " << c.tracked;
        EXPECT_EQ(log[0].window, c.tracked);
        release_capture();
    }
    track_mouse_leave(right);
    input_mouse_move(top, {150, 20});
    input_mouse_left(top);
    const std::vector<Message> log = delivered({MsgMouseLeave});
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].window, right);
}

TEST_F(InputTest, MouseFlagsFollowButtonsAndModifiers) {
    input_key(VkShift, true);
    input_key(VkControl, true);
    input_mouse_button(top, {5, 5}, MouseButton::Right, true);
    input_mouse_move(top, {6, 6});
    input_mouse_button(top, {6, 6}, MouseButton::Right, false);
    const std::vector<Message> log = delivered({MsgRButtonDown, MsgMouseMove, MsgRButtonUp});
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].wparam, MouseRightButton | MouseShift | MouseControl);
    EXPECT_EQ(log[1].wparam, MouseRightButton | MouseShift | MouseControl);
    EXPECT_EQ(log[2].wparam, MouseShift | MouseControl);
}

TEST_F(InputTest, MovesWaitingInTheQueueCollapseToTheLatest) {
    for (int x = 0; x < 5; ++x)
        input_mouse_move(top, {x, 1});
    const std::vector<Message> log = delivered({MsgMouseMove});
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(LowWordSigned(log[0].lparam), 4);
}

TEST_F(InputTest, AMoveBehindAnotherMessageIsKept) {
    set_focus(top);
    dispatch_pending_messages();
    message_log().take();
    input_mouse_move(top, {1, 1});
    press_key('Q');
    input_mouse_move(top, {2, 2});
    input_mouse_move(top, {3, 3});
    std::vector<int> xs;
    for (const Message& message : delivered({MsgMouseMove}))
        xs.push_back(LowWordSigned(message.lparam));
    EXPECT_EQ(xs, (std::vector<int>{1, 3}));
}

TEST_F(InputTest, WheelCarriesDeltaAndScreenPosition) {
    turn_wheel(top, {5, 6}, -240);
    const std::vector<Message> log = delivered({MsgMouseWheel});
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(static_cast<int16_t>(log[0].wparam >> 16), -240);
    EXPECT_EQ(LowWordSigned(log[0].lparam), 105);
    EXPECT_EQ(HighWordSigned(log[0].lparam), 106);
}

TEST_F(InputTest, PressingInAnInactiveWindowActivatesItFirst) {
    const WindowHandle other = make_top_level(Rect::FromSize(0, 0, 50, 50));
    activate_window(other);
    dispatch_pending_messages();
    message_log().take();
    click(top, {30, 30});
    const std::vector<Message> log = delivered({MsgActivate, MsgLButtonDown});
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].window, other);
    EXPECT_EQ(log[1].window, top);
    EXPECT_EQ(log[1].wparam, 1u);
    EXPECT_EQ(log[2].number, MsgLButtonDown);
    EXPECT_EQ(active_window(), top);
}

struct ClickPair {
    const char* label;
    int64_t interval;
    Point second;
    MouseButton second_button;
    const char* window_class;
    bool double_click;
};

class DoubleClickTest : public InputTest, public ::testing::WithParamInterface<ClickPair> {};

TEST_P(DoubleClickTest, SecondPressBecomesADoubleClickOnlyWhenCloseInTimeAndPlace) {
    const ClickPair& c = GetParam();
    const WindowHandle target =
        make_child(top, Rect::FromSize(0, 100, 100, 100), 0, 5, StyleVisible, c.window_class);
    dispatch_pending_messages();
    message_log().take();
    click(top, {50, 150});
    advance_input_clock(c.interval);
    click(top, {50 + c.second.x, 150 + c.second.y}, c.second_button);
    const std::vector<Message> log = delivered({MsgLButtonDown, MsgLButtonDoubleClick, MsgRButtonDown});
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].window, target);
    EXPECT_EQ(log[1].number == MsgLButtonDoubleClick, c.double_click);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, DoubleClickTest,
    ::testing::Values(
        ClickPair{"quick", 100, {0, 0}, MouseButton::Left, testing::Recorder, true},
        ClickPair{"at the time limit", 500, {2, -2}, MouseButton::Left, testing::Recorder, true},
        ClickPair{"too slow", 501, {0, 0}, MouseButton::Left, testing::Recorder, false},
        ClickPair{"too far", 10, {3, 0}, MouseButton::Left, testing::Recorder, false},
        ClickPair{"other button", 10, {0, 0}, MouseButton::Right, testing::Recorder, false},
        ClickPair{
            "class without double clicks", 10, {0, 0}, MouseButton::Left, testing::SingleClicks, false}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST_F(InputTest, AThirdPressStartsAgain) {
    click(top, {5, 5});
    click(top, {5, 5});
    click(top, {5, 5});
    click(top, {5, 5});
    std::vector<uint32_t> seen;
    for (const Message& message : delivered({MsgLButtonDown, MsgLButtonDoubleClick}))
        seen.push_back(message.number);
    EXPECT_EQ(seen, (std::vector<uint32_t>{MsgLButtonDown, MsgLButtonDoubleClick, MsgLButtonDown,
                                           MsgLButtonDoubleClick}));
}

TEST_F(InputTest, BackendEventsReachTheWindowOnItsThread) {
    input_close_request(top);
    EXPECT_EQ(delivered({MsgClose}).size(), 1u);
    EXPECT_FALSE(is_window(top)); // the default procedure destroyed it

    const WindowHandle other = make_top_level(Rect::FromSize(0, 0, 50, 50));
    dispatch_pending_messages();
    message_log().take();
    input_top_level_moved(other, Rect::FromSize(10, 20, 70, 50));
    EXPECT_EQ(window_rect(other), Rect::FromSize(10, 20, 70, 50));
    EXPECT_EQ(frame_buffer_copy(other).width(), 70);
    EXPECT_EQ(delivered({MsgMove, MsgSize, MsgPaint}).size(), 3u);

    input_top_level_activated(other, true);
    dispatch_pending_messages();
    EXPECT_EQ(active_window(), other);
    EXPECT_EQ(focus_window(), other);
    input_top_level_activated(other, false);
    dispatch_pending_messages();
    EXPECT_EQ(active_window(), 0u);
    EXPECT_EQ(focus_window(), 0u);

    const int presents = headless().top_level(other)->presents;
    input_expose(other, Rect::FromSize(0, 0, 5, 5));
    dispatch_pending_messages();
    EXPECT_EQ(headless().top_level(other)->presents, presents + 1);
}

} // namespace
} // namespace morvex::platform

#include "platform/windows.h"
#include "tests/platform/window_test_support.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace morvex::platform {
namespace {

using namespace std::chrono_literals;
using testing::make_child;
using testing::make_top_level;
using testing::message_log;

using WindowsTest = testing::WindowTest;

std::vector<uint32_t> numbers(const std::vector<Message>& messages) {
    std::vector<uint32_t> result;
    for (const Message& message : messages)
        result.push_back(message.number);
    return result;
}

TEST_F(WindowsTest, TreeKeepsParentsChildrenInZOrderAndIdentifiers) {
    const WindowHandle top = make_top_level(Rect::FromSize(100, 50, 300, 200));
    const WindowHandle first = make_child(top, Rect::FromSize(10, 10, 50, 50), 0, 1);
    const WindowHandle second = make_child(top, Rect::FromSize(20, 20, 50, 50), 0, 2);
    const WindowHandle grandchild = make_child(second, Rect::FromSize(5, 6, 10, 10), 0, 3);
    ASSERT_NE(top, 0u);
    ASSERT_NE(grandchild, 0u);

    EXPECT_EQ(parent_window(first), top);
    EXPECT_EQ(top_level_of(grandchild), top);
    EXPECT_EQ(top_level_of(top), top);
    // The newest child is on top, and lists start at the top.
    EXPECT_EQ(child_windows(top), (std::vector<WindowHandle>{second, first}));
    EXPECT_EQ(child_from_id(top, 1), first);
    EXPECT_EQ(child_from_id(top, 3), 0u); // only direct children
    EXPECT_TRUE(is_child_of(top, grandchild));
    EXPECT_FALSE(is_child_of(first, grandchild));
    EXPECT_FALSE(is_child_of(top, top));

    EXPECT_TRUE(bring_to_top(first));
    EXPECT_EQ(child_windows(top), (std::vector<WindowHandle>{first, second}));
}

TEST_F(WindowsTest, ChildRectanglesAreRelativeToTheirParent) {
    const WindowHandle top = make_top_level(Rect::FromSize(100, 50, 300, 200));
    const WindowHandle child = make_child(top, Rect::FromSize(10, 20, 100, 100), 0);
    const WindowHandle grandchild = make_child(child, Rect::FromSize(5, 6, 10, 12), 0);

    EXPECT_EQ(window_rect(grandchild), Rect::FromSize(5, 6, 10, 12));
    EXPECT_EQ(rect_in_top_level(grandchild), Rect::FromSize(15, 26, 10, 12));
    EXPECT_EQ(screen_rect(grandchild), Rect::FromSize(115, 76, 10, 12));
    EXPECT_EQ(screen_rect(top), Rect::FromSize(100, 50, 300, 200));
    EXPECT_EQ(rect_in_top_level(top), Rect::FromSize(0, 0, 300, 200));
}

TEST_F(WindowsTest, PointsMapBetweenWindowsAndTheScreen) {
    const WindowHandle top = make_top_level(Rect::FromSize(100, 50, 300, 200));
    const WindowHandle child = make_child(top, Rect::FromSize(10, 20, 100, 100), 0);
    const WindowHandle other = make_top_level(Rect::FromSize(0, 0, 50, 50));
    EXPECT_EQ(map_point(child, 0, {1, 2}), (Point{111, 72}));
    EXPECT_EQ(map_point(0, child, {111, 72}), (Point{1, 2}));
    EXPECT_EQ(map_point(child, top, {0, 0}), (Point{10, 20}));
    EXPECT_EQ(map_point(child, other, {0, 0}), (Point{110, 70}));
}

TEST_F(WindowsTest, CreationSendsCreateSizeMoveThenShow) {
    const WindowHandle top = make_top_level(Rect::FromSize(7, 8, 30, 40));
    const std::vector<Message> log = message_log().take();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(numbers(log), (std::vector<uint32_t>{MsgCreate, MsgSize, MsgMove, MsgShowWindow}));
    EXPECT_EQ(log[1].lparam, MakeLParam(30, 40));
    EXPECT_EQ(log[2].lparam, MakeLParam(7, 8));
    EXPECT_EQ(log[3].wparam, 1u);
    EXPECT_EQ(log[0].window, top);
}

intptr_t refusing_procedure(void*, const Message& message) {
    return message.number == MsgCreate ? -1 : default_window_procedure(message);
}

TEST_F(WindowsTest, CreationIsRefusedForBadRequests) {
    static const bool registered =
        register_window_class(WindowClass{"Refuser", &refusing_procedure, ClassNoStyle, std::nullopt});
    EXPECT_TRUE(registered);
    EXPECT_FALSE(register_window_class(
        WindowClass{"REFUSER", &refusing_procedure, ClassNoStyle, std::nullopt})); // names ignore case

    CreateWindowParams refused;
    refused.class_name = "Refuser";
    EXPECT_EQ(create_window(refused), 0u);
    EXPECT_TRUE(top_level_windows().empty());

    CreateWindowParams unknown_class;
    unknown_class.class_name = "NoSuchClass";
    EXPECT_EQ(create_window(unknown_class), 0u);

    CreateWindowParams orphan;
    orphan.class_name = testing::Recorder;
    orphan.parent = 0xFFFFFF;
    EXPECT_EQ(create_window(orphan), 0u);

    CreateWindowParams negative;
    negative.class_name = testing::Recorder;
    negative.rect = Rect{10, 10, 5, 20};
    EXPECT_EQ(create_window(negative), 0u);
}

TEST_F(WindowsTest, DefaultPositionAndSizeAreChosenByThePlatform) {
    CreateWindowParams params;
    params.class_name = testing::Recorder;
    params.default_position = true;
    params.default_size = true;
    const WindowHandle top = create_window(params);
    const Rect rect = window_rect(top);
    EXPECT_EQ(rect.width(), DefaultWindowSize.width);
    EXPECT_EQ(rect.height(), DefaultWindowSize.height);
    EXPECT_GT(rect.left, 0);
    EXPECT_EQ(frame_buffer_copy(top).width(), DefaultWindowSize.width);
}

TEST_F(WindowsTest, MovingATopLevelWindowResizesItsFrameBufferAndTellsTheBackend) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 40, 30));
    message_log().take();
    EXPECT_TRUE(move_window(top, Rect::FromSize(5, 6, 80, 50)));
    const std::vector<Message> log = message_log().take({MsgMove, MsgSize});
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].lparam, MakeLParam(5, 6));
    EXPECT_EQ(log[1].lparam, MakeLParam(80, 50));
    const FrameBuffer pixels = frame_buffer_copy(top);
    EXPECT_EQ(pixels.width(), 80);
    EXPECT_EQ(pixels.height(), 50);
    EXPECT_EQ(headless().top_level(top)->screen_rect, Rect::FromSize(5, 6, 80, 50));

    // Only what changed is reported.
    EXPECT_TRUE(move_window(top, Rect::FromSize(9, 9, 80, 50)));
    EXPECT_EQ(numbers(message_log().take({MsgMove, MsgSize})), (std::vector<uint32_t>{MsgMove}));
}

TEST_F(WindowsTest, FocusMessagesNameTheOtherWindowAndActivateTheTopLevelFirst) {
    const WindowHandle one = make_top_level(Rect::FromSize(0, 0, 100, 100));
    const WindowHandle a = make_child(one, Rect::FromSize(0, 0, 10, 10), 0);
    const WindowHandle b = make_child(one, Rect::FromSize(20, 0, 10, 10), 0);
    const WindowHandle two = make_top_level(Rect::FromSize(200, 0, 100, 100));
    const WindowHandle c = make_child(two, Rect::FromSize(0, 0, 10, 10), 0);
    message_log().take();

    EXPECT_EQ(set_focus(a), 0u);
    EXPECT_EQ(active_window(), one);
    EXPECT_EQ(set_focus(b), a);
    EXPECT_EQ(focus_window(), b);
    EXPECT_EQ(set_focus(c), b);
    EXPECT_EQ(active_window(), two);

    const std::vector<Message> log = message_log().take({MsgActivate, MsgSetFocus, MsgKillFocus});
    const std::vector<Message> expected{
        {one, MsgActivate, 1, 0},
        {a, MsgSetFocus, 0, 0},
        {a, MsgKillFocus, b, 0},
        {b, MsgSetFocus, a, 0},
        {one, MsgActivate, 0, static_cast<intptr_t>(two)},
        {two, MsgActivate, 1, static_cast<intptr_t>(one)},
        {b, MsgKillFocus, c, 0},
        {c, MsgSetFocus, b, 0},
    };
    ASSERT_EQ(log.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(log[i].window, expected[i].window) << i;
        EXPECT_EQ(log[i].number, expected[i].number) << i;
        EXPECT_EQ(log[i].wparam, expected[i].wparam) << i;
        EXPECT_EQ(log[i].lparam, expected[i].lparam) << i;
    }
}

TEST_F(WindowsTest, ActivationGivesTheFocusBackWhereItWas) {
    const WindowHandle one = make_top_level(Rect::FromSize(0, 0, 100, 100));
    const WindowHandle a = make_child(one, Rect::FromSize(0, 0, 10, 10), 0);
    const WindowHandle two = make_top_level(Rect::FromSize(200, 0, 100, 100));
    set_focus(a);
    EXPECT_TRUE(activate_window(two));
    EXPECT_EQ(focus_window(), two); // a window without remembered focus takes it itself
    EXPECT_EQ(top_level_windows().front(), two);
    EXPECT_TRUE(activate_window(one));
    EXPECT_EQ(focus_window(), a);
}

TEST_F(WindowsTest, HiddenOrDisabledWindowsLoseAndRefuseTheFocus) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 100, 100));
    const WindowHandle a = make_child(top, Rect::FromSize(0, 0, 10, 10), 0);
    const WindowHandle hidden = make_child(top, Rect::FromSize(0, 0, 10, 10), 0, 0, StyleNone);
    const WindowHandle disabled =
        make_child(top, Rect::FromSize(0, 0, 10, 10), 0, 0, StyleVisible | StyleDisabled);
    EXPECT_FALSE(is_window_enabled(disabled));
    set_focus(a);
    EXPECT_EQ(set_focus(hidden), 0u);
    EXPECT_EQ(set_focus(disabled), 0u);
    EXPECT_EQ(focus_window(), a);

    message_log().take();
    EXPECT_TRUE(enable_window(a, false));
    EXPECT_EQ(focus_window(), 0u);
    EXPECT_EQ(numbers(message_log().take({MsgKillFocus, MsgEnable})),
              (std::vector<uint32_t>{MsgKillFocus, MsgEnable}));

    enable_window(a, true);
    set_focus(a);
    EXPECT_TRUE(show_window(top, false));
    EXPECT_EQ(focus_window(), 0u);
    EXPECT_FALSE(is_window_visible(a));
    EXPECT_TRUE(is_visible_flag(a));
}

TEST_F(WindowsTest, CaptureChangedGoesToTheWindowLosingIt) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 100, 100));
    const WindowHandle a = make_child(top, Rect::FromSize(0, 0, 10, 10), 0);
    const WindowHandle b = make_child(top, Rect::FromSize(20, 0, 10, 10), 0);
    message_log().take();
    EXPECT_EQ(set_capture(a), 0u);
    EXPECT_EQ(set_capture(b), a);
    EXPECT_EQ(capture_window(), b);
    release_capture();
    EXPECT_EQ(capture_window(), 0u);
    const std::vector<Message> log = message_log().take({MsgCaptureChanged});
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].window, a);
    EXPECT_EQ(log[0].lparam, static_cast<intptr_t>(b));
    EXPECT_EQ(log[1].window, b);
    EXPECT_EQ(log[1].lparam, 0);
}

TEST_F(WindowsTest, DestroyTakesOwnedWindowsAndChildrenFirst) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 100, 100));
    const WindowHandle child = make_child(top, Rect::FromSize(0, 0, 10, 10), 0);
    const WindowHandle grandchild = make_child(child, Rect::FromSize(0, 0, 5, 5), 0);
    CreateWindowParams owned_params;
    owned_params.class_name = testing::Recorder;
    owned_params.owner = top;
    owned_params.rect = Rect::FromSize(0, 0, 10, 10);
    const WindowHandle owned = create_window(owned_params);
    EXPECT_EQ(owned_windows(top), (std::vector<WindowHandle>{owned}));
    set_focus(grandchild);
    set_capture(child);
    message_log().take();

    EXPECT_TRUE(destroy_window(top));
    const std::vector<Message> log = message_log().take({MsgDestroy, MsgKillFocus, MsgCaptureChanged});
    std::vector<std::pair<WindowHandle, uint32_t>> seen;
    for (const Message& message : log)
        seen.emplace_back(message.window, message.number);
    const std::vector<std::pair<WindowHandle, uint32_t>> expected{
        {owned, MsgDestroy},        {grandchild, MsgKillFocus}, {grandchild, MsgDestroy},
        {child, MsgCaptureChanged}, {child, MsgDestroy},        {top, MsgDestroy}};
    EXPECT_EQ(seen, expected);
    for (WindowHandle window : {top, child, grandchild, owned})
        EXPECT_FALSE(is_window(window));
    EXPECT_EQ(focus_window(), 0u);
    EXPECT_EQ(capture_window(), 0u);
    EXPECT_EQ(active_window(), 0u);
    EXPECT_FALSE(headless().top_level(top).has_value());
    EXPECT_FALSE(destroy_window(top));
}

std::vector<Message> g_discarded;
void remember_discarded(const Message& message) {
    g_discarded.push_back(message);
}

TEST_F(WindowsTest, DestroyDropsPostedMessagesAndTimersOfTheWindowOnly) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 100, 100));
    const WindowHandle child = make_child(top, Rect::FromSize(0, 0, 10, 10), 0);
    dispatch_pending_messages();
    set_discarded_message_handler(&remember_discarded);
    g_discarded.clear();
    post_message(Message{child, MsgUser, 1, 0});
    post_message(Message{top, MsgUser, 2, 0});
    post_message(Message{child, MsgUser + 1, 3, 0});
    set_timer(child, 7, 1ms);

    destroy_window(child);
    set_discarded_message_handler(nullptr);
    ASSERT_EQ(g_discarded.size(), 2u);
    EXPECT_EQ(g_discarded[0].wparam, 1u);
    EXPECT_EQ(g_discarded[1].wparam, 3u);

    std::this_thread::sleep_for(5ms);
    Message message;
    EXPECT_FALSE(peek_message(message, MessageFilter{0, MsgTimer, MsgTimer}, Removal::Remove));
    std::vector<Message> left;
    while (peek_message(message, MessageFilter{0, MsgUser, MsgUser + 1}, Removal::Remove))
        left.push_back(message);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].window, top);
    EXPECT_EQ(left[0].wparam, 2u);
}

TEST_F(WindowsTest, TextIsKeptAsWindows1252AndReachesTheBackendAsUtf8) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 10, 10), 0, "Caf\xE9");
    EXPECT_EQ(window_text(top), "Caf\xE9");
    EXPECT_EQ(headless().top_level(top)->caption, "Caf\xC3\xA9");
    EXPECT_TRUE(set_window_text(top, "\x80 1"));
    EXPECT_EQ(headless().top_level(top)->caption, "\xE2\x82\xAC 1");
    EXPECT_EQ(find_window(testing::Recorder, "\x80 1"), top);
    EXPECT_EQ(find_window("recorder", ""), top);
    EXPECT_EQ(find_window("", "other"), 0u);
}

// A thread that owns one window and runs its message loop until the window
// is destroyed.
class WindowThread {
public:
    WindowThread() {
        m_thread = std::thread([this] {
            m_window = make_top_level(Rect::FromSize(0, 0, 50, 50));
            m_owner = current_thread();
            Message message;
            while (get_message(message)) {
                dispatch_message(message);
                if (!is_window(m_window))
                    break;
            }
        });
        while (m_owner == 0)
            std::this_thread::yield();
    }
    ~WindowThread() {
        if (m_thread.joinable()) {
            post_message(Message{m_window, MsgClose, 0, 0});
            m_thread.join();
        }
    }
    WindowHandle window() const { return m_window; }
    ThreadKey owner() const { return m_owner; }

private:
    std::atomic<WindowHandle> m_window{0};
    std::atomic<ThreadKey> m_owner{0};
    std::thread m_thread;
};

std::atomic<ThreadKey> g_ran_on{0};
intptr_t thread_noting_procedure(void*, const Message& message) {
    if (message.number == MsgUser || message.number == MsgSetFocus)
        g_ran_on = current_thread();
    return message.number == MsgUser ? static_cast<intptr_t>(message.wparam) * 2
                                     : default_window_procedure(message);
}

TEST_F(WindowsTest, ProceduresRunOnTheThreadThatCreatedTheWindow) {
    static const bool registered = register_window_class(
        WindowClass{"ThreadNoting", &thread_noting_procedure, ClassNoStyle, std::nullopt});
    ASSERT_TRUE(registered);
    WindowThread other;
    EXPECT_EQ(window_thread(other.window()), other.owner());

    // A child made here belongs to this thread even under a foreign parent.
    CreateWindowParams params;
    params.class_name = "ThreadNoting";
    params.parent = other.window();
    params.rect = Rect::FromSize(0, 0, 10, 10);
    params.style = StyleVisible;
    const WindowHandle child = create_window(params);
    EXPECT_EQ(window_thread(child), current_thread());

    EXPECT_EQ(send_message(Message{child, MsgUser, 21, 0}), 42);
    EXPECT_EQ(g_ran_on, current_thread());

    // Sending to the other thread's window runs its procedure there; the
    // focus change made from here does too.
    set_focus(other.window());
    EXPECT_EQ(focus_window(), other.window());
    destroy_window(child);
}

TEST_F(WindowsTest, AThreadCanDestroyAllItsWindowsWhenItEnds) {
    const WindowHandle mine = make_top_level(Rect::FromSize(0, 0, 100, 100));
    std::vector<WindowHandle> theirs;
    std::thread([&] {
        const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 10, 10));
        theirs = {top, make_child(top, Rect::FromSize(0, 0, 5, 5), 0),
                  make_child(mine, Rect::FromSize(0, 0, 5, 5), 0)};
        destroy_thread_windows();
    }).join();
    for (WindowHandle window : theirs)
        EXPECT_FALSE(is_window(window));
    EXPECT_TRUE(is_window(mine));
    EXPECT_TRUE(child_windows(mine).empty());
}

TEST_F(WindowsTest, ManyThreadsCreateAndDestroyWindowsAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    std::atomic<int> done{0};
    const WindowHandle shared_parent = make_top_level(Rect::FromSize(0, 0, 200, 200));
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                const WindowHandle child = make_child(shared_parent, Rect::FromSize(t * 10, i, 10, 10), 0, t);
                if (child == 0 || window_thread(child) != current_thread())
                    ++failures;
                invalidate(child);
                set_focus(child);
                dispatch_pending_messages();
                if (!destroy_window(child))
                    ++failures;
            }
            ++done;
        });
    }
    // The parent's thread answers the activation the others ask for.
    while (done < 4) {
        wait_message(5ms);
        dispatch_pending_messages();
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(child_windows(shared_parent).empty());
}

} // namespace
} // namespace morvex::platform

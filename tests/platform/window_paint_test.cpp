#include "platform/window_paint.h"
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

using WindowPaintTest = testing::WindowTest;

constexpr Pixel White = MakePixel(255, 255, 255);
constexpr Pixel Red = MakePixel(255, 0, 0);
constexpr Pixel Blue = MakePixel(0, 0, 255);
constexpr Pixel Green = MakePixel(0, 255, 0);

std::vector<WindowHandle> painted_windows() {
    std::vector<WindowHandle> painted;
    for (const Message& message : message_log().take({MsgPaint}))
        painted.push_back(message.window);
    return painted;
}

TEST_F(WindowPaintTest, PaintComesOnlyWhenNothingElseIsWaiting) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 20, 20));
    post_message(Message{top, MsgUser, 1, 0});
    post_message(Message{top, MsgUser, 2, 0});
    Message message;
    ASSERT_TRUE(get_message(message));
    EXPECT_EQ(message.number, MsgUser);
    ASSERT_TRUE(get_message(message));
    EXPECT_EQ(message.wparam, 2u);
    ASSERT_TRUE(get_message(message));
    EXPECT_EQ(message.number, MsgPaint);
    EXPECT_EQ(message.window, top);
    // Until painted, the window keeps asking.
    ASSERT_TRUE(peek_message(message, {}, Removal::Remove));
    EXPECT_EQ(message.number, MsgPaint);
    dispatch_message(message);
    EXPECT_FALSE(peek_message(message, {}, Removal::Remove));
}

TEST_F(WindowPaintTest, PaintHonoursMessageFilters) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 20, 20));
    const WindowHandle child = make_child(top, Rect::FromSize(0, 0, 5, 5), Red);
    Message message;
    EXPECT_FALSE(peek_message(message, MessageFilter{0, MsgUser, MsgUser}, Removal::Keep));
    ASSERT_TRUE(peek_message(message, MessageFilter{child, 0, 0}, Removal::Keep));
    EXPECT_EQ(message.window, child);
    ASSERT_TRUE(peek_message(message, MessageFilter{0, MsgPaint, MsgPaint}, Removal::Keep));
    EXPECT_EQ(message.window, top);
    // A filtered look leaves the unfiltered one its paint.
    ASSERT_TRUE(peek_message(message, {}, Removal::Keep));
    EXPECT_EQ(message.number, MsgPaint);
}

TEST_F(WindowPaintTest, ParentsPaintBeforeChildrenAndLowerSiblingsBeforeHigherOnes) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 100, 100));
    const WindowHandle lower = make_child(top, Rect::FromSize(0, 0, 50, 50), Red);
    const WindowHandle inner = make_child(lower, Rect::FromSize(0, 0, 10, 10), Red);
    const WindowHandle upper = make_child(top, Rect::FromSize(40, 40, 50, 50), Blue);
    dispatch_pending_messages();
    EXPECT_EQ(painted_windows(), (std::vector<WindowHandle>{top, lower, inner, upper}));

    // Repainting the lower child repaints the part of the upper one above it
    // (and its own child), so the upper one stays on top.
    invalidate(lower);
    EXPECT_EQ(invalid_rect(upper), Rect::FromSize(0, 0, 10, 10));
    dispatch_pending_messages();
    EXPECT_EQ(painted_windows(), (std::vector<WindowHandle>{lower, inner, upper}));
    const FrameBuffer pixels = frame_buffer_copy(top);
    EXPECT_EQ(pixels.at(45, 45), Blue);
    EXPECT_EQ(pixels.at(35, 35), Red);
}

TEST_F(WindowPaintTest, ChildrenPaintIntoTheTopLevelBufferClippedToTheirAncestors) {
    const WindowHandle top = make_top_level(Rect::FromSize(300, 300, 100, 100), White);
    const WindowHandle child = make_child(top, Rect::FromSize(10, 10, 50, 50), Red);
    // Reaches past its parent's right and bottom edges.
    make_child(child, Rect::FromSize(30, 30, 40, 40), Blue);
    dispatch_pending_messages();
    const FrameBuffer pixels = frame_buffer_copy(top);
    ASSERT_EQ(pixels.width(), 100);
    const struct {
        Point point;
        Pixel expected;
    } cases[] = {
        {{5, 5}, White},  {{10, 10}, Red},   {{39, 39}, Red},   {{40, 40}, Blue},
        {{59, 59}, Blue}, {{60, 59}, White}, {{59, 60}, White}, {{75, 75}, White},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pixels.at(c.point.x, c.point.y), c.expected) << c.point.x << "," << c.point.y;
    // Each paint was shown through the backend.
    EXPECT_EQ(headless().top_level(top)->presented, Rect::FromSize(0, 0, 100, 100));
}

TEST_F(WindowPaintTest, APaintSessionCoversOnlyTheInvalidPart) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 40, 40), White);
    dispatch_pending_messages();
    invalidate(top, Rect::FromSize(0, 0, 10, 10));
    invalidate(top, Rect::FromSize(20, 20, 5, 5));
    EXPECT_EQ(invalid_rect(top), (Rect{0, 0, 25, 25}));
    {
        PaintSession session(top);
        ASSERT_TRUE(session.valid());
        EXPECT_EQ(session.invalid(), (Rect{0, 0, 25, 25}));
        EXPECT_EQ(invalid_rect(top), Rect{});
        session.fill(Rect::FromSize(0, 0, 40, 40), Green);
    }
    const FrameBuffer pixels = frame_buffer_copy(top);
    EXPECT_EQ(pixels.at(24, 24), Green);
    EXPECT_EQ(pixels.at(25, 25), White);
    Message message;
    EXPECT_FALSE(peek_message(message, {}, Removal::Keep));
}

TEST_F(WindowPaintTest, ValidateTakesAwayWhatItCovers) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 40, 40));
    EXPECT_EQ(invalid_rect(top), (Rect{0, 0, 40, 40}));
    validate(top, Rect{0, 0, 40, 10});
    EXPECT_EQ(invalid_rect(top), (Rect{0, 10, 40, 40}));
    validate(top, Rect{5, 15, 10, 20}); // a hole: the bounding box stays
    EXPECT_EQ(invalid_rect(top), (Rect{0, 10, 40, 40}));
    validate(top);
    EXPECT_EQ(invalid_rect(top), Rect{});
    Message message;
    EXPECT_FALSE(peek_message(message, {}, Removal::Keep));
}

TEST_F(WindowPaintTest, HiddenWindowsAreNotPaintedAndHidingRepaintsWhatWasBeneath) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 40, 40), White);
    const WindowHandle hidden = make_child(top, Rect::FromSize(0, 0, 10, 10), Red, 0, StyleNone);
    const WindowHandle shown = make_child(top, Rect::FromSize(20, 20, 10, 10), Blue);
    dispatch_pending_messages();
    EXPECT_EQ(painted_windows(), (std::vector<WindowHandle>{top, shown}));
    invalidate(hidden);
    EXPECT_EQ(invalid_rect(hidden), Rect{});

    show_window(shown, false);
    EXPECT_EQ(invalid_rect(top), Rect::FromSize(20, 20, 10, 10));
    dispatch_pending_messages();
    EXPECT_EQ(frame_buffer_copy(top).at(25, 25), White);
}

TEST_F(WindowPaintTest, UpdateWindowPaintsAtOnceWithoutTheQueue) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 40, 40), White);
    const WindowHandle a = make_child(top, Rect::FromSize(0, 0, 10, 10), Red);
    const WindowHandle b = make_child(a, Rect::FromSize(0, 0, 5, 5), Blue);
    const WindowHandle c = make_child(top, Rect::FromSize(20, 20, 10, 10), Green);
    post_message(Message{top, MsgUser, 0, 0});
    update_window(top);
    EXPECT_EQ(painted_windows(), (std::vector<WindowHandle>{top, a, b, c}));
    EXPECT_EQ(frame_buffer_copy(top).at(2, 2), Blue);
    invalidate(c);
    update_window(a); // only a's own tree
    EXPECT_TRUE(painted_windows().empty());
    Message message;
    EXPECT_TRUE(peek_message(message, {}, Removal::Remove));
    EXPECT_EQ(message.number, MsgUser);
}

// Polls until the condition holds or two seconds pass.
template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST_F(WindowPaintTest, AChildOfAnotherThreadStaysAboveItsParentWhicheverPaintsFirst) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 40, 40), White);
    std::atomic<WindowHandle> child{0};
    std::atomic<bool> stop{false};
    std::thread other([&] {
        child = make_child(top, Rect::FromSize(10, 10, 10, 10), Red);
        while (!stop) {
            dispatch_pending_messages();
            wait_message(5ms);
        }
        destroy_window(child);
    });
    // The child paints before its parent has...
    ASSERT_TRUE(eventually([&] { return child != 0 && invalid_rect(child).empty(); }));
    EXPECT_EQ(invalid_rect(top), Rect::FromSize(0, 0, 40, 40));
    // ...so the parent's paint sends it back to paint again.
    dispatch_pending_messages();
    EXPECT_TRUE(eventually([&] { return frame_buffer_copy(top).at(15, 15) == Red; }))
        << std::hex << frame_buffer_copy(top).at(15, 15) << " child invalid " << invalid_rect(child).width();
    EXPECT_EQ(frame_buffer_copy(top).at(25, 25), White);
    stop = true;
    other.join();
}

TEST_F(WindowPaintTest, ResizingRepaintsTheWholeNewBuffer) {
    const WindowHandle top = make_top_level(Rect::FromSize(0, 0, 20, 20), Red);
    dispatch_pending_messages();
    move_window(top, Rect::FromSize(0, 0, 60, 30));
    dispatch_pending_messages();
    const FrameBuffer pixels = frame_buffer_copy(top);
    ASSERT_EQ(pixels.width(), 60);
    EXPECT_EQ(pixels.at(59, 29), Red);
}

TEST_F(WindowPaintTest, AThreadWaitingForMessagesWakesToPaint) {
    std::atomic<WindowHandle> window{0};
    std::atomic<bool> painted_again{false};
    std::atomic<bool> ready{false};
    std::thread owner([&] {
        window = make_top_level(Rect::FromSize(0, 0, 20, 20), Red);
        dispatch_pending_messages();
        ready = true;
        Message message;
        // Blocks until the main thread invalidates the window.
        ASSERT_TRUE(get_message(message));
        EXPECT_EQ(message.number, MsgPaint);
        dispatch_message(message);
        painted_again = true;
        destroy_window(window);
    });
    while (!ready)
        std::this_thread::yield();
    std::this_thread::sleep_for(10ms);
    invalidate(window.load());
    owner.join();
    EXPECT_TRUE(painted_again);
}

} // namespace
} // namespace morvex::platform

#include "platform/message_queue.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace morvex::platform {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t MsgAsk = 0x0400;
constexpr uint32_t MsgAskBack = 0x0401;
constexpr uint32_t MsgStop = 0x0402;

std::atomic<WindowHandle> g_next_window{100};

// A window owned by the thread that creates it, answering wparam + 1 and
// noting which thread ran its procedure.
struct TestWindow {
    WindowHandle handle = g_next_window++;
    ThreadKey owner = current_thread();
    std::atomic<ThreadKey> last_runner{0};
    WindowHandle peer = 0;

    TestWindow() { register_window(handle, WindowTarget{owner, &TestWindow::procedure, this}); }
    ~TestWindow() { unregister_window(handle); }

    static intptr_t procedure(void* context, const Message& message) {
        auto* self = static_cast<TestWindow*>(context);
        self->last_runner = current_thread();
        if (message.number == MsgAskBack) // ask the peer window back, from inside this procedure
            return send_message(Message{self->peer, MsgAsk, message.wparam * 10, 0}) + 1;
        return static_cast<intptr_t>(message.wparam) + 1;
    }
};

// Runs a message loop on its own thread until MsgStop arrives.
class LoopThread {
public:
    LoopThread() {
        m_thread = std::thread([this] {
            TestWindow window;
            m_window = &window;
            m_ready = true;
            Message message;
            while (get_message(message) && message.number != MsgStop)
                received.push_back(message);
            m_window = nullptr;
        });
        while (!m_ready)
            std::this_thread::yield();
    }
    ~LoopThread() { stop(); }
    void stop() {
        if (m_thread.joinable()) {
            post_message(Message{m_window.load()->handle, MsgStop, 0, 0});
            m_thread.join();
        }
    }
    TestWindow& window() { return *m_window; }
    std::vector<Message> received;

private:
    std::thread m_thread;
    std::atomic<bool> m_ready{false};
    std::atomic<TestWindow*> m_window{nullptr};
};

TEST(MessageQueue, PostedMessagesArriveInOrderAndFirstGoesFirst) {
    TestWindow window;
    for (uintptr_t i = 1; i <= 100; ++i)
        ASSERT_TRUE(post_message(Message{window.handle, MsgAsk, i, 0}));
    ASSERT_TRUE(post_message_first(Message{window.handle, MsgAsk, 0, 0}));
    Message message;
    for (uintptr_t i = 0; i <= 100; ++i) {
        ASSERT_TRUE(peek_message(message, {}, Removal::Remove));
        EXPECT_EQ(message.wparam, i);
    }
    EXPECT_FALSE(peek_message(message, {}, Removal::Remove));
}

TEST(MessageQueue, FiltersSelectByWindowAndRange) {
    TestWindow first, second;
    post_message(Message{first.handle, 0x500, 1, 0});
    post_message(Message{second.handle, 0x600, 2, 0});
    Message message;
    ASSERT_TRUE(peek_message(message, MessageFilter{second.handle, 0, 0}, Removal::Remove));
    EXPECT_EQ(message.wparam, 2u);
    EXPECT_FALSE(peek_message(message, MessageFilter{0, 0x600, 0x6FF}, Removal::Keep));
    ASSERT_TRUE(peek_message(message, MessageFilter{0, 0x500, 0x5FF}, Removal::Remove));
    EXPECT_EQ(message.wparam, 1u);
}

TEST(MessageQueue, QuitEndsGetMessageAfterThePostedMessages) {
    post_thread_message(current_thread(), Message{0, MsgAsk, 7, 0});
    post_quit_message(3);
    Message message;
    EXPECT_TRUE(get_message(message));
    EXPECT_EQ(message.wparam, 7u);
    EXPECT_FALSE(get_message(message));
    EXPECT_EQ(message.number, MsgQuit);
    EXPECT_EQ(message.wparam, 3u);
}

TEST(MessageQueue, PostsReachAnotherThreadInOrder) {
    LoopThread loop;
    for (uintptr_t i = 0; i < 500; ++i)
        ASSERT_TRUE(post_message(Message{loop.window().handle, MsgAsk, i, 0}));
    loop.stop();
    ASSERT_EQ(loop.received.size(), 500u);
    for (uintptr_t i = 0; i < 500; ++i)
        EXPECT_EQ(loop.received[i].wparam, i);
}

TEST(MessageQueue, SendToAnotherThreadRunsOnTheOwnerAndReturnsItsResult) {
    LoopThread loop;
    EXPECT_EQ(send_message(Message{loop.window().handle, MsgAsk, 41, 0}), 42);
    EXPECT_EQ(loop.window().last_runner, loop.window().owner);
    EXPECT_NE(loop.window().owner, current_thread());
}

TEST(MessageQueue, SendOnTheSameThreadCallsTheProcedureDirectly) {
    TestWindow window;
    EXPECT_EQ(send_message(Message{window.handle, MsgAsk, 1, 0}), 2);
    EXPECT_EQ(window.last_runner, current_thread());
    EXPECT_EQ(send_message(Message{99999, MsgAsk, 1, 0}), 0); // no such window
}

TEST(MessageQueue, NestedSendIsServedByTheWaitingSender) {
    TestWindow mine;
    LoopThread loop;
    loop.window().peer = mine.handle;
    // The loop's procedure sends back to this thread while this thread waits.
    EXPECT_EQ(send_message(Message{loop.window().handle, MsgAskBack, 4, 0}), 42);
    EXPECT_EQ(mine.last_runner, current_thread());
}

TEST(MessageQueue, SendsInBothDirectionsAtOnceNeverDeadlock) {
    std::atomic<WindowHandle> window_a{0}, window_b{0};
    std::atomic<int> ready{0};
    std::atomic<long> sum_a{0}, sum_b{0};
    constexpr int Rounds = 2000;
    auto run = [&](std::atomic<WindowHandle>& own, std::atomic<WindowHandle>& other, std::atomic<long>& sum) {
        TestWindow window;
        own = window.handle;
        ++ready;
        while (ready < 2 || other == 0)
            std::this_thread::yield();
        for (int i = 0; i < Rounds; ++i)
            sum += send_message(Message{other, MsgAsk, static_cast<uintptr_t>(i), 0});
        ++ready;
        // Keep serving the other side until it is done too.
        while (ready < 4)
            wait_message(1ms);
    };
    std::thread a(run, std::ref(window_a), std::ref(window_b), std::ref(sum_a));
    std::thread b(run, std::ref(window_b), std::ref(window_a), std::ref(sum_b));
    a.join();
    b.join();
    const long expected = static_cast<long>(Rounds) * (Rounds + 1) / 2;
    EXPECT_EQ(sum_a, expected);
    EXPECT_EQ(sum_b, expected);
}

TEST(MessageQueue, SendToAThreadThatEndedGivesZero) {
    std::unique_ptr<TestWindow> orphan;
    // Registered, but its thread ends without ever serving it.
    std::thread([&] { orphan = std::make_unique<TestWindow>(); }).join();
    EXPECT_EQ(send_message(Message{orphan->handle, MsgAsk, 1, 0}), 0);
    EXPECT_FALSE(post_message(Message{orphan->handle, MsgAsk, 1, 0}));
}

TEST(MessageQueue, UnregisteringAWindowRemovesItsPostedMessages) {
    auto window = std::make_unique<TestWindow>();
    TestWindow other;
    post_message(Message{window->handle, MsgAsk, 1, 0});
    post_message(Message{other.handle, MsgAsk, 2, 0});
    post_message(Message{window->handle, MsgAsk, 3, 0});
    const std::vector<Message> removed = unregister_window(window->handle);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[1].wparam, 3u);
    Message message;
    ASSERT_TRUE(peek_message(message, {}, Removal::Remove));
    EXPECT_EQ(message.wparam, 2u);
    EXPECT_FALSE(peek_message(message, {}, Removal::Remove));
}

TEST(MessageQueue, ATimerKeepsAtMostOneTickPending) {
    set_timer(0, 7, 50ms);
    std::this_thread::sleep_for(200ms); // several intervals pass unasked
    Message message;
    ASSERT_TRUE(peek_message(message, {}, Removal::Remove));
    EXPECT_EQ(message.number, MsgTimer);
    EXPECT_EQ(message.wparam, 7u);
    EXPECT_FALSE(peek_message(message, {}, Removal::Remove)); // the missed ticks are gone
    ASSERT_TRUE(get_message(message));                        // the next one comes after the interval
    EXPECT_EQ(message.number, MsgTimer);
    kill_timer(0, 7);
    std::this_thread::sleep_for(60ms);
    EXPECT_FALSE(peek_message(message, {}, Removal::Remove));
}

TEST(MessageQueue, SemaphoreWaitWakesForASentMessage) {
    Semaphore semaphore(0, 1);
    TestWindow mine;
    std::atomic<intptr_t> answer{0};
    std::thread sender([&] { answer = send_message(Message{mine.handle, MsgAsk, 9, 0}); });
    EXPECT_EQ(wait_semaphore_or_sent_message(semaphore), WaitResult::MessageSent);
    serve_sent_messages();
    sender.join();
    EXPECT_EQ(answer, 10);
    EXPECT_EQ(wait_semaphore_or_sent_message(semaphore, 20ms), WaitResult::TimedOut);
    std::thread releaser([&] {
        std::this_thread::sleep_for(10ms);
        semaphore.release();
    });
    EXPECT_EQ(wait_semaphore_or_sent_message(semaphore), WaitResult::Acquired);
    releaser.join();
    EXPECT_FALSE(semaphore.try_acquire());
    EXPECT_TRUE(semaphore.release());
    EXPECT_FALSE(semaphore.release()); // maximum 1
}

std::atomic<int> g_released{0};
std::atomic<int> g_acquired{0};

TEST(MessageQueue, BlockingWaitsHandTheLockOver) {
    set_lock_hooks(LockHooks{[] { ++g_released; }, [] { ++g_acquired; }});
    LoopThread loop;
    const int released = g_released;
    EXPECT_EQ(send_message(Message{loop.window().handle, MsgAsk, 1, 0}), 2);
    loop.stop();
    set_lock_hooks({});
    // This thread gave the lock up while it waited and took it back after;
    // the loop thread took it to serve the send and gave it up again.
    EXPECT_GE(g_released - released, 2);
    EXPECT_EQ(g_released.load(), g_acquired.load() + 0) << "every release is matched by an acquire";
}

} // namespace
} // namespace morvex::platform

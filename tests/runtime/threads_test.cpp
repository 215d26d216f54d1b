#include "platform/message_queue.h"
#include "runtime/string_stack.h"
#include "runtime/threads.h"
#include "tests/support/failing_allocator.h"

#include <array>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace morvex {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t MsgStop = 0x0500;

std::array<std::atomic<platform::ThreadKey>, MaxThreadSlots> g_platform_thread{};
std::array<std::atomic<int32_t>, MaxThreadSlots> g_start_message_slot{};
std::array<std::atomic<int32_t>, MaxThreadSlots> g_recorded_stack{};

// A procedure that records what it sees, then serves its queue until MsgStop.
void serve_until_stopped() {
    const int slot = CurrentThreadSlot();
    g_recorded_stack[static_cast<std::size_t>(slot)] = RecordedStackSize(slot);
    platform::Message message;
    if (platform::peek_message(message, platform::MessageFilter{0, MsgStartThread, MsgStartThread},
                               platform::Removal::Remove))
        g_start_message_slot[static_cast<std::size_t>(slot)] = static_cast<int32_t>(message.wparam);
    g_platform_thread[static_cast<std::size_t>(slot)] = platform::current_thread();
    while (platform::get_message(message) && message.number != MsgStop) {
    }
}

void stop(int32_t thread_number) {
    while (g_platform_thread[static_cast<std::size_t>(thread_number - 1)] == 0)
        platform::wait_message(1ms); // gives the lock up so the thread gets going
    platform::post_thread_message(g_platform_thread[static_cast<std::size_t>(thread_number - 1)],
                                  platform::Message{0, MsgStop, 0, 0});
}

class ThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeThreads();
        ASSERT_TRUE(HoldsRuntimeLock());
        for (auto& key : g_platform_thread)
            key = 0;
    }
    void TearDown() override {
        WaitForOtherThreads();
        EXPECT_EQ(OccupiedThreadSlots(), 1);
        EXPECT_TRUE(HoldsRuntimeLock());
    }
};

TEST_F(ThreadsTest, SixtyThreeProceduresRunAtOnceAndTheSixtyFourthIsRefused) {
    std::vector<int32_t> numbers;
    for (int i = 0; i < MaxThreadSlots - 1; ++i)
        numbers.push_back(START(serve_until_stopped, 25000));
    // Thread numbers are slot index + 1: the started ones run from 2 to 64.
    for (int i = 0; i < MaxThreadSlots - 1; ++i)
        EXPECT_EQ(numbers[static_cast<std::size_t>(i)], i + 2);
    EXPECT_EQ(OccupiedThreadSlots(), MaxThreadSlots);
    EXPECT_EQ(START(serve_until_stopped, 25000), 0);
    for (int32_t number : numbers)
        stop(number);
    WaitForOtherThreads();
    for (int32_t number : numbers) {
        EXPECT_EQ(g_start_message_slot[static_cast<std::size_t>(number - 1)], number - 1)
            << "0x2414 carries the slot";
        EXPECT_EQ(g_recorded_stack[static_cast<std::size_t>(number - 1)], 25000);
    }
}

TEST_F(ThreadsTest, SmallStackRequestsAreRaisedAndEndedSlotsReused) {
    const int32_t first = START(serve_until_stopped, 1);
    ASSERT_EQ(first, 2);
    stop(first);
    WaitForOtherThreads();
    EXPECT_EQ(g_recorded_stack[1], MinimumThreadStack);
    g_platform_thread[1] = 0;
    const int32_t again = START(serve_until_stopped, 0);
    EXPECT_EQ(again, 2);
    stop(again);
}

std::atomic<bool> g_strings_ok{false};
std::string g_first, g_second;

void keeps_its_own_strings(const std::string& first, const std::string& second) {
    g_first = first;
    g_second = second;
    Strings().push_copy("mine");
    g_platform_thread[static_cast<std::size_t>(CurrentThreadSlot())] = platform::current_thread();
    platform::Message message;
    while (platform::get_message(message) && message.number != MsgStop) {
    }
    g_strings_ok = Strings().size() == 1 && Strings().top() == "mine";
}

TEST_F(ThreadsTest, StringParametersMoveAndEachThreadKeepsItsOwnStack) {
    Strings().push_copy("below");
    Strings().push_copy("alpha");
    Strings().push_copy("beta");
    const int32_t number = START(keeps_its_own_strings, 0);
    ASSERT_GT(number, 0);
    ASSERT_EQ(Strings().size(), 1u); // the parameters went to the new thread
    Strings().push_copy("main");
    while (g_platform_thread[static_cast<std::size_t>(number - 1)] == 0)
        platform::wait_message(1ms);
    EXPECT_EQ(Strings().size(), 2u);
    EXPECT_EQ(Strings().top(), "main");
    stop(number);
    WaitForOtherThreads();
    EXPECT_TRUE(g_strings_ok);
    EXPECT_EQ(g_first, "alpha");
    EXPECT_EQ(g_second, "beta");
    EXPECT_EQ(Strings().take(), "main");
    EXPECT_EQ(Strings().take(), "below");
}

void takes_its_parameters(const std::string& first, const std::string& second) {
    g_first = first;
    g_second = second;
}

// Every allocation a start makes is failed in turn: a start that cannot be
// made gives its slot back and drops its parameters, and nothing escapes.
TEST_F(ThreadsTest, AStartThatRunsOutOfMemoryGivesItsSlotBack) {
    const std::string first(40, 'a'), second(40, 'b'); // too long to be kept inline
    int failures = 0;
    for (long k = 0; k < 200; ++k) {
        Strings().push_copy("below");
        Strings().push_copy(first);
        Strings().push_copy(second);
        g_first.clear();
        g_second.clear();
        testing::fail_allocation_after(k);
        const int32_t number = START(takes_its_parameters, 0);
        const bool reached = !testing::allocation_failure_pending();
        testing::stop_failing_allocations();
        EXPECT_EQ(Strings().size(), 1u) << "allocation " << k;
        EXPECT_EQ(Strings().take(), "below");
        if (number == 0) {
            EXPECT_TRUE(reached) << k;
            EXPECT_EQ(OccupiedThreadSlots(), 1) << "allocation " << k;
            ++failures;
            continue;
        }
        WaitForOtherThreads();
        EXPECT_EQ(g_first, first);
        EXPECT_EQ(g_second, second);
        if (!reached)
            break; // every allocation of a start has been failed once
    }
    EXPECT_GT(failures, 0);
}

void returns_at_once() {}

// Many short starts, each one's handshake racing the thread it starts: under
// ThreadSanitizer a start that touched the handshake after the other side
// let go of it shows here.
TEST_F(ThreadsTest, StressTheStartHandshake) {
    for (int round = 0; round < 250; ++round) {
        for (int i = 0; i < 8; ++i)
            ASSERT_GT(START(returns_at_once, 0), 0);
        WaitForOtherThreads();
    }
    EXPECT_EQ(OccupiedThreadSlots(), 1);
}

std::atomic<bool> g_finished{false};

void works_outside_the_lock() {
    EnterSystemSection(); // as a modal system dialog would
    std::this_thread::sleep_for(100ms);
    LeaveSystemSection();
    g_finished = true;
}

TEST_F(ThreadsTest, ProgramEndWaitsForEveryStartedProcedure) {
    g_finished = false;
    ASSERT_GT(START(works_outside_the_lock, 0), 0);
    WaitForOtherThreads();
    EXPECT_TRUE(g_finished);
}

struct Counter : ThreadOwned {
    std::atomic<int>* ended;
    explicit Counter(std::atomic<int>* target) : ended(target) {}
    void ThreadEnded() override { ++*ended; }
};

std::atomic<int> g_objects_ended{0};

void owns_an_object() {
    static thread_local Counter counter(&g_objects_ended);
    RegisterThreadOwned(counter);
}

TEST_F(ThreadsTest, ThreadOwnedObjectsHearOfTheThreadsEnd) {
    g_objects_ended = 0;
    ASSERT_GT(START(owns_an_object, 0), 0);
    WaitForOtherThreads();
    EXPECT_EQ(g_objects_ended, 1);
}

// A stand-in for the decimal accumulator stack: one global the switcher swaps.
int g_decimal_state = 0;
std::atomic<bool> g_state_kept{false};

void uses_the_decimal_state() {
    EXPECT_EQ(g_decimal_state, 0); // a new thread starts with an empty state
    g_decimal_state = 7;
    g_platform_thread[static_cast<std::size_t>(CurrentThreadSlot())] = platform::current_thread();
    platform::Message message;
    while (platform::get_message(message) && message.number != MsgStop) {
    }
    g_state_kept = g_decimal_state == 7;
}

TEST_F(ThreadsTest, RegisteredStateIsSwappedWithTheThread) {
    SetThreadStateHooks(ThreadStateKind::DecimalStack,
                        ThreadStateHooks{[] {
                                             auto saved = std::make_shared<int>(g_decimal_state);
                                             g_decimal_state = 0;
                                             return std::shared_ptr<void>(saved);
                                         },
                                         [](std::shared_ptr<void> state) {
                                             g_decimal_state = state ? *static_cast<int*>(state.get()) : 0;
                                         },
                                         nullptr});
    g_decimal_state = 3;
    const int32_t number = START(uses_the_decimal_state, 0);
    while (g_platform_thread[static_cast<std::size_t>(number - 1)] == 0)
        platform::wait_message(1ms);
    EXPECT_EQ(g_decimal_state, 3);
    stop(number);
    WaitForOtherThreads();
    EXPECT_TRUE(g_state_kept);
    EXPECT_EQ(g_decimal_state, 3);
    SetThreadStateHooks(ThreadStateKind::DecimalStack, {});
}

std::vector<std::pair<int, int>> g_notifications;

TEST_F(ThreadsTest, TheWindowEngineHearsOfEachThread) {
    g_notifications.clear();
    SetThreadWindowHooks(ThreadWindowHooks{
        [](int slot, int mode) { g_notifications.emplace_back(slot, mode); }, nullptr, nullptr, nullptr});
    const int32_t number = START(owns_an_object, 0);
    WaitForOtherThreads();
    SetThreadWindowHooks({});
    const int slot = number - 1;
    auto has = [&](int mode) {
        return std::find(g_notifications.begin(), g_notifications.end(), std::pair{slot, mode}) !=
               g_notifications.end();
    };
    EXPECT_TRUE(has(1));
    EXPECT_TRUE(has(2));
    EXPECT_TRUE(has(3));
}

TEST_F(ThreadsTest, StartIsRefusedWhileTheEngineIsNested) {
    SetThreadWindowHooks(ThreadWindowHooks{nullptr, [] { return 1; }, nullptr, nullptr});
    Strings().push_copy("a");
    Strings().push_copy("b");
    EXPECT_EQ(START(keeps_its_own_strings, 0), 0);
    EXPECT_TRUE(Strings().empty()); // the parameters are dropped
    SetThreadWindowHooks({});
}

// A window of the main thread, sent to by started threads while the main
// thread waits for them: the sends are served under the lock.
intptr_t add_one(void*, const platform::Message& message) {
    EXPECT_TRUE(HoldsRuntimeLock());
    return static_cast<intptr_t>(message.wparam) + 1;
}
constexpr platform::WindowHandle MainWindow = 7001;
std::atomic<int> g_answers{0};

void sends_to_the_main_window() {
    for (int i = 0; i < 20; ++i) {
        if (platform::send_message(platform::Message{MainWindow, 0x600, static_cast<uintptr_t>(i), 0}) ==
            i + 1)
            ++g_answers;
    }
}

TEST_F(ThreadsTest, StressStartingAndEndingThreadsThatSendToEachOther) {
    platform::register_window(MainWindow,
                              platform::WindowTarget{platform::current_thread(), add_one, nullptr});
    g_answers = 0;
    int started = 0;
    const auto until = std::chrono::steady_clock::now() + 1s;
    while (std::chrono::steady_clock::now() < until) {
        for (int i = 0; i < 8; ++i)
            started += START(sends_to_the_main_window, 0) > 0;
        // Serve the sends while the threads run, then let them end.
        while (OccupiedThreadSlots() > 1)
            platform::wait_message(1ms);
    }
    WaitForOtherThreads();
    platform::unregister_window(MainWindow);
    EXPECT_GT(started, 0);
    EXPECT_EQ(g_answers, started * 20);
}

TEST_F(ThreadsTest, OnlyTheOwnerCanReleaseTheLock) {
    int tried = -1;
    // Releases a lock it does not hold, on purpose.
    std::thread stranger([&tried]() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
        ReleaseRuntimeLock(); // not the owner: nothing happens
        tried = TryAcquireRuntimeLock(50);
    });
    stranger.join();
    EXPECT_EQ(tried, 1); // timed out: the main thread still holds it
    EXPECT_TRUE(HoldsRuntimeLock());
}

// Takes the lock the first thread already holds, on purpose.
void take_the_lock_twice() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    InitializeThreads();
    AcquireRuntimeLock();
}

TEST(ThreadsDeathTest, TakingTheLockTwiceEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(take_the_lock_twice(), ::testing::ExitedWithCode(2), "Runtime lock taken twice");
}

} // namespace
} // namespace morvex

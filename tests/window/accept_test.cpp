// The accept loop, its events and the calls that describe them, on windows
// opened in the test process (headless; the test thread holds the runtime
// lock as the program's first thread does).
#include "platform/input_injection.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/fatal_error.h"
#include "runtime/threads.h"
#include "tests/window/engine_test_window.h"
#include "window/accept.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/properties.h"
#include "window/property_numbers.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morvex {
namespace {

// "Name FIELD" of each event the body sees, with EVENT/FIELD/ACCEPTED read inside it.
struct Log {
    std::vector<std::string> lines;
    void note() {
        lines.push_back(ShortEventName(EVENT()) + " " + std::to_string(FIELD()) +
                        (ACCEPTED() ? " accepted " + std::to_string(ACCEPTED()) : ""));
    }
};

class AcceptTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeThreads();
        platform::use_manual_timer_clock();
    }
    void TearDown() override { window.Close(); }
    void open(int buttons = 3, uint32_t timer = 0) {
        testing::LoadButtonWindow(window, buttons, timer);
        window.Open();
    }
    // Runs the loop until the body leaves it: the body logs every event and
    // leaves after `until` (or when the window closes).
    void run(uint16_t until, const std::function<LoopOutcome()>& also = nullptr) {
        ACCEPT(window, [&] {
            log.note();
            LoopOutcome outcome = also ? also() : LoopOutcome::Completed;
            return EVENT() == until ? LoopOutcome::Left : outcome;
        });
    }
    Window window;
    Log log;
};

TEST_F(AcceptTest, OutsideAnEventEventAndFieldAreZero) {
    EXPECT_EQ(EVENT(), 0);
    EXPECT_EQ(FIELD(), 0);
    EXPECT_EQ(ACCEPTED(), 0);
}

TEST_F(AcceptTest, OpeningQueuesOpenWindowAndTheFirstControlIsSelected) {
    open();
    run(Event::Selected);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"GainFocus 0", "OpenWindow 0", "Selected 1"}));
}

TEST_F(AcceptTest, AcceptedIsZeroForOtherEventsEvenWithAField) {
    open();
    PostEvent(window, Event::NewSelection, 2);
    PostEvent(window, Event::Accepted, 2);
    run(Event::Accepted);
    EXPECT_EQ(log.lines.back(), "Accepted 2 accepted 2");
    EXPECT_EQ(log.lines[log.lines.size() - 2], "NewSelection 2");
}

TEST_F(AcceptTest, AFrontPostOvertakesEventsQueuedEarlier) {
    open();
    run(Event::Selected);
    log.lines.clear();
    PostEvent(window, Event::Accepted, 1);
    PostEvent(window, Event::Accepted, 2);
    PostEvent(window, Event::Accepted, 3, true);
    PostEvent(window, Event::Completed);
    run(Event::Completed);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Accepted 3 accepted 3", "Accepted 1 accepted 1",
                                                   "Accepted 2 accepted 2", "Completed 0"}));
}

TEST_F(AcceptTest, TimerTicksWhileBusyGiveOneTimerEvent) {
    open(1, 10); // every 100 ms
    run(Event::Selected);
    // The procedure is busy for three and a half intervals.
    platform::advance_timer_clock(std::chrono::milliseconds(350));
    int timers = 0;
    ACCEPT(window, [&] {
        if (EVENT() == Event::Timer && ++timers == 1)
            PostEvent(window, Event::Completed);
        return EVENT() == Event::Completed ? LoopOutcome::Left : LoopOutcome::Completed;
    });
    EXPECT_EQ(timers, 1);
}

TEST_F(AcceptTest, ATimerQueuedBeforeTheIntervalWasClearedIsNeverDelivered) {
    open(1, 10);
    run(Event::Selected);
    PostEvent(window, Event::Timer);
    SetProperty(&window, 0, Prop::Timer, "0");
    PostEvent(window, Event::Completed);
    log.lines.clear();
    run(Event::Completed);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Completed 0"}));
}

TEST_F(AcceptTest, APostedEventIsDeliveredAndACycledCloseKeepsTheWindowOpen) {
    open();
    PostEvent(window, Event::CloseWindow);
    PostEvent(window, Event::Completed);
    run(Event::Completed,
        [] { return EVENT() == Event::CloseWindow ? LoopOutcome::Cycled : LoopOutcome::Completed; });
    EXPECT_TRUE(window.IsOpen());
    EXPECT_EQ(window.accept_state().closing, 0);
    // Completing the close ends the loop (the procedure then closes the window).
    PostEvent(window, Event::CloseWindow);
    ACCEPT(window, [] { return LoopOutcome::Completed; });
    EXPECT_TRUE(window.IsOpen());
}

TEST_F(AcceptTest, SelectZeroAcceptsEveryControlInTurnThenCompletes) {
    open(2);
    run(Event::Selected);
    log.lines.clear();
    SELECT(0);
    EXPECT_EQ(GetProperty(&window, 0, Prop::AcceptAll), "1");
    run(Event::Completed);
    // Buttons take no input of their own: accept-all goes straight to Completed.
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Completed 0"}));
    EXPECT_EQ(GetProperty(&window, 0, Prop::AcceptAll), "0");
}

TEST_F(AcceptTest, PostToAThreadWithoutAWindowDoesNothing) {
    POST(Event::Accepted, 1, 40);
    POST(Event::Accepted, 1);
    EXPECT_EQ(EVENT(), 0);
}

TEST_F(AcceptTest, ThePressedButtonsKeyCodeTravelsWithItsEvent) {
    open();
    run(Event::Selected);
    platform::press_key(platform::VkReturn, {platform::VkShift});
    uint32_t key = 0;
    run(Event::Accepted, [&] {
        key = KEYCODE();
        return LoopOutcome::Completed;
    });
    EXPECT_EQ(key, 0x10Du) << "Shift+Enter";
}

TEST_F(AcceptTest, AnAlertedKeyGivesPreAlertAtOnceThenAlertKeyAndACycledPreAlertTakesTheKey) {
    open(2);
    run(Event::Selected);
    window.Alert(KeyCodeByName("F2").value());
    window.control(2)->Alert(platform::VkReturn);
    log.lines.clear();
    platform::press_key(platform::VkF1 + 1);
    run(Event::AlertKey);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"PreAlert 1", "AlertKey 1"}));
    // Enter is watched by button 2 only; its PreAlert is cycled, so the
    // button is not pressed.
    SELECT(2);
    log.lines.clear();
    platform::press_key(platform::VkReturn);
    run(Event::AlertKey,
        [] { return EVENT() == Event::PreAlert ? LoopOutcome::Cycled : LoopOutcome::Completed; });
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Selected 2", "PreAlert 2", "AlertKey 2"}));
}

TEST_F(AcceptTest, EventsForAnotherThreadsWindowTravelThroughItsQueue) {
    open(1);
    run(Event::Selected);
    log.lines.clear();
    // The other thread holds the runtime lock while it posts, as program code does.
    const int32_t thread = START([] { POST(Event::Accepted, 1, 1); }, 0);
    ASSERT_NE(thread, 0);
    run(Event::Accepted);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Accepted 1 accepted 1"}));
}

// Property requests: decoding, flags and the failures they report.
TEST_F(AcceptTest, PropertyRequestsDecodeTheirIndexAndReadFlagsAsOneOrZero) {
    open();
    SetProperty(&window, 2, Prop::Disable, "5");
    EXPECT_EQ(GetProperty(&window, 2, Prop::Disable), "1");
    SetProperty(&window, 2, Prop::Disable, "0");
    EXPECT_EQ(GetProperty(&window, 2, Prop::Disable), "0");
    // Below 0x7D00 an index is added to the number: 7C06h with index 3 is 7C08h.
    SetProperty(&window, 1, Prop::Center, 3, "1");
    EXPECT_EQ(GetProperty(&window, 1, Prop::Left), "1");
    EXPECT_EQ(GetProperty(&window, 1, Prop::Center), "0");
    EXPECT_EQ(GetProperty(&window, 1, Prop::Text), "B1");
    EXPECT_EQ(GetProperty(&window, 9, Prop::Text), "") << "no such control";
    SetProperty(&window, 9, Prop::Text, "ignored");
    EXPECT_EQ(GetProperty(&window, 1, 0x7EEE), "") << "no class handles it";
    SetProperty(&window, 1, Prop::SelectedColor, "-1");
    EXPECT_EQ(GetProperty(&window, 1, Prop::SelectedColor), "-1");
    EXPECT_EQ(GetProperty(&window, 1, Prop::Type), std::to_string(wdf::ButtonControl));
    EXPECT_EQ(GetProperty(&window, 0, Prop::Text), "Engine test");
}

TEST_F(AcceptTest, PositionsReadBackInWindowUnitsRoundedFromPixels) {
    open();
    SetProperty(&window, 2, Prop::XPos, "7");
    const int32_t pixels = window.control(2)->rect().left;
    EXPECT_EQ(pixels, window.to_pixels_x(7));
    EXPECT_EQ(GetProperty(&window, 2, Prop::XPos), std::to_string(window.to_units_x(pixels)));
    SetProperty(&window, 0, Prop::XPos, "40");
    SetProperty(&window, 0, Prop::YPos, "30");
    EXPECT_EQ(GetProperty(&window, 0, Prop::XPos), "40");
    EXPECT_EQ(GetProperty(&window, 0, Prop::YPos), "30");
}

TEST(AcceptDeathTest, EngineFailuresEndTheProgramWithTheirRuntimeErrors) {
    const auto halts = [](auto&& action, const char* message) {
        EXPECT_EXIT(
            {
                InitializeThreads();
                SetFatalErrorHook([](std::string_view text, int32_t) {
                    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
                });
                action();
            },
            ::testing::ExitedWithCode(2), message);
    };
    halts([] { ACCEPT([] { return LoopOutcome::Completed; }); }, "ACCEPT loop requires a window");
    halts([] { GetProperty(static_cast<Window*>(nullptr), 0, Prop::Text); }, "Window is not open");
    halts(
        [] {
            Window window;
            testing::LoadButtonWindow(window, 1);
            window.Open();
            window.Open();
        },
        "Window is already open");
    halts(
        [] {
            Window window;
            testing::LoadButtonWindow(window, 1);
            window.Open();
            SetProperty(&window, 1, Prop::Handle, "12345");
        },
        "CTLMAIN - invalid handle");
}

} // namespace
} // namespace morvex

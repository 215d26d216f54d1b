// The application frame and its MDI children: the errors that refuse an
// open, children living in the frame's client area on threads of their
// own, the frame's toolbar taken over by the active child, and the close
// sequence that asks the children one at a time.
#include "platform/message_box.h"
#include "platform/windows.h"
#include "runtime/fatal_error.h"
#include "runtime/threads.h"
#include "window/accept.h"
#include "window/application_frame.h"
#include "window/definition_services.h"

#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace morvex {
namespace {

WindowDefinition definition(std::string caption, uint32_t attributes2 = 0) {
    WindowDefinition w;
    w.caption = std::move(caption);
    w.attributes2 = attributes2;
    w.width = 160;
    w.height = 80;
    return w;
}

void load(Window& window, std::string caption, uint32_t attributes2 = 0) {
    window.LoadDefinition(definition(std::move(caption), attributes2), {}, UnitMetricsOf(nullptr));
}

// The children the test started, and whether each refuses CloseDown.
std::atomic<int> g_children_open{0};
std::atomic<bool> g_refuse{false};
std::mutex g_log_mutex;
std::vector<std::string> g_log;

void note(const std::string& line) {
    std::lock_guard lock(g_log_mutex);
    g_log.push_back(line);
}

void child_procedure() {
    Window child;
    load(child, "Child", WinMdiChild);
    child.Open();
    ++g_children_open;
    POST(Event::Notify, 0, 1); // tells the frame's thread (the first) that it opened
    ACCEPT(child, [&] {
        if (EVENT() == Event::CloseDown) {
            note("CloseDown " + std::to_string(child.thread_slot()));
            if (!g_refuse)
                return LoopOutcome::Completed;
            POST(Event::Notify, 0, 1); // lets the frame's loop look at its state
            return LoopOutcome::Cycled;
        }
        return LoopOutcome::Completed;
    });
    child.Close();
    --g_children_open;
}

void halt_with_text() {
    SetFatalErrorHook([](std::string_view text, int32_t) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    });
}

TEST(FrameDeathTest, OpensAreRefusedAsTheFrameAndModalityRequire) {
    EXPECT_EXIT(
        {
            InitializeThreads();
            halt_with_text();
            ApplicationFrame first;
            ApplicationFrame second;
            load(first, "First");
            load(second, "Second");
            first.Open();
            second.Open();
        },
        ::testing::ExitedWithCode(2), "APPLICATION already active");
    EXPECT_EXIT(
        {
            InitializeThreads();
            halt_with_text();
            Window child;
            load(child, "Child", WinMdiChild);
            child.Open();
        },
        ::testing::ExitedWithCode(2), "No APPLICATION active");
    EXPECT_EXIT(
        {
            InitializeThreads();
            halt_with_text();
            ApplicationFrame frame;
            load(frame, "Frame");
            frame.Open();
            Window child;
            load(child, "Child", WinMdiChild);
            child.Open();
        },
        ::testing::ExitedWithCode(2), "on APPLICATION's thread");
    EXPECT_EXIT(
        {
            InitializeThreads();
            halt_with_text();
            Window modal;
            load(modal, "Modal", wdf::WinModal);
            modal.Open();
            ApplicationFrame frame;
            load(frame, "Frame");
            frame.Open();
        },
        ::testing::ExitedWithCode(2), "system is MODAL");
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeThreads();
        load(frame, "Frame");
        frame.Open();
        g_log.clear();
        g_refuse = false;
    }
    void TearDown() override { frame.Close(); }

    void start_children(int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_NE(START(child_procedure, 0), 0);
        // The children open on their own threads while this one waits.
        ACCEPT(frame, [&] { return g_children_open == count ? LoopOutcome::Left : LoopOutcome::Completed; });
    }
    // Runs the frame's loop until it ends or `events` have passed.
    std::vector<uint16_t> close_frame() {
        std::vector<uint16_t> seen;
        PostEvent(frame, Event::CloseWindow);
        ACCEPT(frame, [&] {
            seen.push_back(EVENT());
            return LoopOutcome::Completed;
        });
        return seen;
    }
    ApplicationFrame frame;
};

TEST_F(FrameTest, ChildrenLiveInTheClientAreaAndTheLastOpenedIsActive) {
    start_children(2);
    std::vector<Window*> children;
    for (Window* w : OpenWindows())
        if (w->kind() == Window::Kind::MdiChild)
            children.push_back(w);
    ASSERT_EQ(children.size(), 2u);
    for (Window* child : children) {
        EXPECT_EQ(platform::parent_window(child->handle()), frame.client_handle());
        EXPECT_NE(child->platform_thread(), frame.platform_thread());
    }
    EXPECT_EQ(frame.active_child(), children.back());
    frame.activate_child(children.front());
    EXPECT_TRUE(children.front()->is_shown_active());
    EXPECT_FALSE(children.back()->is_shown_active());
    close_frame();
    WaitForOtherThreads();
}

TEST_F(FrameTest, ClosingTheFrameAsksEachChildInTurn) {
    start_children(3);
    close_frame();
    EXPECT_EQ(g_log.size(), 3u) << "one CloseDown each, one after the other";
    WaitForOtherThreads();
    EXPECT_EQ(g_children_open, 0);
}

TEST_F(FrameTest, AChildThatRefusesAbandonsTheClose) {
    start_children(2);
    g_refuse = true;
    PostEvent(frame, Event::CloseWindow);
    // The first child is asked and refuses; the frame stays open.
    ACCEPT(frame, [&] {
        std::lock_guard lock(g_log_mutex);
        return g_log.size() == 1 && frame.accept_state().closing == 0 ? LoopOutcome::Left
                                                                      : LoopOutcome::Completed;
    });
    EXPECT_TRUE(frame.IsOpen());
    EXPECT_EQ(g_children_open, 2);
    g_refuse = false;
    close_frame();
    WaitForOtherThreads();
}

} // namespace
} // namespace morvex

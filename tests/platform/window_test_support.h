// Shared by the window tests: classes whose procedure records every message
// and paints its window in the colour given as user data, and a fixture
// that starts each test with a fresh headless backend and no windows.
#pragma once

#include "platform/headless_backend.h"
#include "platform/input.h"
#include "platform/input_injection.h"
#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/window_paint.h"
#include "platform/windows.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace morvex::platform::testing {

// Every message any recording window got, in order.
class MessageLog {
public:
    void add(const Message& message) {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
    }
    std::vector<Message> take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_messages, {});
    }
    // The messages with one of the numbers, in order.
    std::vector<Message> take(std::initializer_list<uint32_t> numbers) {
        std::vector<Message> chosen;
        for (const Message& message : take()) {
            if (std::find(numbers.begin(), numbers.end(), message.number) != numbers.end())
                chosen.push_back(message);
        }
        return chosen;
    }

private:
    std::mutex m_mutex;
    std::vector<Message> m_messages;
};

inline MessageLog& message_log() {
    static MessageLog log;
    return log;
}

// User data is the colour the window paints itself in.
inline intptr_t recording_procedure(void* user_data, const Message& message) {
    message_log().add(message);
    if (message.number == MsgPaint) {
        PaintSession session(message.window);
        session.fill(Rect::FromSize(0, 0, 10000, 10000),
                     static_cast<Pixel>(reinterpret_cast<uintptr_t>(user_data)));
        return 0;
    }
    return default_window_procedure(message);
}

constexpr const char* Recorder = "Recorder";         // takes double clicks
constexpr const char* SingleClicks = "SingleClicks"; // does not

inline void register_test_classes() {
    static std::once_flag once;
    std::call_once(once, [] {
        register_window_class(WindowClass{Recorder, &recording_procedure, ClassDoubleClicks, std::nullopt});
        register_window_class(WindowClass{SingleClicks, &recording_procedure, ClassNoStyle, std::nullopt});
    });
}

inline void* colour(Pixel pixel) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(pixel));
}

inline WindowHandle make_top_level(Rect rect, Pixel fill = MakePixel(255, 255, 255), std::string text = "Top",
                                   uint32_t style = StyleVisible, const char* window_class = Recorder) {
    CreateWindowParams params;
    params.class_name = window_class;
    params.text = std::move(text);
    params.style = style;
    params.rect = rect;
    params.user_data = colour(fill);
    return create_window(params);
}

inline WindowHandle make_child(WindowHandle parent, Rect rect, Pixel fill, int id = 0,
                               uint32_t style = StyleVisible, const char* window_class = Recorder) {
    CreateWindowParams params;
    params.class_name = window_class;
    params.style = style;
    params.rect = rect;
    params.parent = parent;
    params.id = id;
    params.user_data = colour(fill);
    return create_window(params);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        register_test_classes();
        set_backend(nullptr);
        reset_input_state();
        use_manual_input_clock(1000);
        dispatch_pending_messages();
        message_log().take();
    }
    void TearDown() override {
        for (WindowHandle window : top_level_windows())
            destroy_window(window);
        dispatch_pending_messages();
        message_log().take();
    }
    HeadlessBackend& headless() { return *headless_backend(); }
};

} // namespace morvex::platform::testing

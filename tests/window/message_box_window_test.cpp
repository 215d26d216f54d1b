// Message boxes drawn by the engine: the buttons of a request with its
// default, answered by keys, by a click and from the queue of answers, and
// drawn as the golden picture shows (run with --rebaseline after a
// deliberate change). Fonts are pinned to DejaVu Sans.
#include "platform/input.h"
#include "platform/input_injection.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/threads.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"
#include "window/accept.h"
#include "window/message_box_window.h"
#include "window/painter/font_matcher.h"

#include <functional>
#include <gtest/gtest.h>

namespace morvex {
namespace {

using platform::MessageBoxButton;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;

// What the test does once the box is up and idle (keys, clicks, a picture).
std::function<void()> g_when_shown;

class MessageBoxWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        painter::set_fixed_font_file(painter::testing::DejaVuSansPath);
        InitializeThreads();
        SetIdleHook([] {
            if (auto action = std::exchange(g_when_shown, nullptr))
                action();
        });
    }
    static void TearDownTestSuite() {
        SetIdleHook(nullptr);
        painter::set_fixed_font_file("");
    }

    MessageBoxButton ask(MessageBoxButtons buttons, MessageBoxButton default_button,
                         std::function<void()> action) {
        g_when_shown = std::move(action);
        return RunMessageBox({"Save Record", "Do you want to save the changes to this record?",
                              MessageBoxIcon::Question, buttons, default_button});
    }
};

TEST_F(MessageBoxWindowTest, KeysAnswerAsTheButtonsOfTheRequestSay) {
    struct Case {
        MessageBoxButtons buttons;
        MessageBoxButton default_button;
        std::function<void()> keys;
        MessageBoxButton expected;
    };
    const Case cases[] = {
        {MessageBoxButtons::YesNoCancel, platform::ButtonNo, [] { platform::press_key(platform::VkReturn); },
         platform::ButtonNo},
        {MessageBoxButtons::YesNoCancel, platform::ButtonCancel,
         [] { platform::press_key(platform::VkEscape); }, platform::ButtonCancel},
        {MessageBoxButtons::Ok, platform::ButtonOk, [] { platform::press_key(platform::VkEscape); },
         platform::ButtonOk},
        // Without Cancel, Escape does nothing; the mnemonic answers.
        {MessageBoxButtons::YesNo, platform::ButtonNo,
         [] {
             platform::press_key(platform::VkEscape);
             platform::press_key('Y', {platform::VkMenu});
         },
         platform::ButtonYes},
        // Its close box answers Cancel, which none of its buttons stands for.
        {MessageBoxButtons::YesNo, platform::ButtonYes,
         [] { platform::input_close_request(platform::active_window()); }, platform::ButtonCancel},
        {MessageBoxButtons::RetryCancel, platform::ButtonRetry,
         [] {
             platform::press_key(platform::VkTab);
             platform::press_key(platform::VkSpace);
         },
         platform::ButtonCancel},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ask(c.buttons, c.default_button, c.keys), c.expected) << static_cast<int>(c.buttons);
}

TEST_F(MessageBoxWindowTest, AQueuedAnswerPressesItsButton) {
    platform::queue_message_box_answer(platform::ButtonYes);
    EXPECT_EQ(ask(MessageBoxButtons::YesNoCancel, platform::ButtonCancel, nullptr), platform::ButtonYes);
}

TEST_F(MessageBoxWindowTest, LooksLikeTheGoldenPicture) {
    platform::FrameBuffer picture;
    const MessageBoxButton answer = ask(MessageBoxButtons::YesNoCancel, platform::ButtonYes, [&] {
        picture = platform::frame_buffer_copy(platform::active_window());
        platform::press_key(platform::VkReturn);
    });
    EXPECT_EQ(answer, platform::ButtonYes);
    EXPECT_TRUE(painter::testing::matches_golden(picture, "message_box_question", {2, 0}));
}

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

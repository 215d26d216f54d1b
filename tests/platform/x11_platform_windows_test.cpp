// The X11 backend under the platform's own windows: a real top-level window
// shown in Xvfb, its painting read back from the server, and X input
// arriving as messages in the window's thread queue.
// clang-format off
// GoogleTest comes before Xlib, whose None and Bool macros would break it.
#include <gtest/gtest.h>
// clang-format on

#include "platform/backend.h"
#include "platform/backend_choice.h"
#include "platform/x11_backend.h"
#include "platform/x11_test_input.h"
#include "tests/platform/window_test_support.h"
#include "tests/support/xvfb_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace morvex::platform {
namespace {

using namespace std::chrono_literals;
using testing::message_log;

class X11PlatformWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        XInitThreads();
        server = morvex::testing::XvfbServer::start(server_error);
        if (!server)
            return;
        // As the program does: no --backend= option, and $DISPLAY set.
        setenv("DISPLAY", server->display_name().c_str(), 1);
        if (install_backend(""))
            backend = dynamic_cast<X11Backend*>(&platform::backend());
    }
    static void TearDownTestSuite() {
        set_backend(nullptr);
        // The replaced backend stays with the process, closed.
        if (backend)
            backend->shut_down();
        server.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(server) << server_error;
        ASSERT_TRUE(backend);
        testing::register_test_classes();
        client = XOpenDisplay(server->display_name().c_str());
        ASSERT_TRUE(client);
        dispatch_pending_messages();
        message_log().take();
    }
    void TearDown() override {
        for (WindowHandle window : top_level_windows())
            destroy_window(window);
        dispatch_pending_messages();
        message_log().take();
        if (client)
            XCloseDisplay(client);
    }

    // Handles this thread's messages until `done` holds; false after five seconds.
    static bool pump_until(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            dispatch_pending_messages();
            if (done())
                return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    // Waits for a message to the window and returns it.
    static std::optional<Message> pump_until_message(WindowHandle window, uint32_t number) {
        std::vector<Message> seen;
        std::optional<Message> found;
        pump_until([&] {
            for (const Message& message : message_log().take()) {
                seen.push_back(message);
                if (!found && message.window == window && message.number == number)
                    found = message;
            }
            return found.has_value();
        });
        return found;
    }

    Pixel pixel_on_server(WindowHandle window, int x, int y) {
        backend->sync();
        XImage* image = XGetImage(client, backend->x_window(window), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return 0xFFFFFFFF;
        const auto pixel = static_cast<Pixel>(XGetPixel(image, 0, 0) & 0xFFFFFF);
        XDestroyImage(image);
        return pixel;
    }

    void fake_key(KeySym keysym) {
        const KeyCode code = XKeysymToKeycode(client, keysym);
        XTestFakeKeyEvent(client, code, True, CurrentTime);
        XTestFakeKeyEvent(client, code, False, CurrentTime);
        XSync(client, False);
    }

    static inline std::unique_ptr<morvex::testing::XvfbServer> server;
    static inline std::string server_error;
    static inline X11Backend* backend = nullptr;
    Display* client = nullptr;
};

TEST_F(X11PlatformWindows, UnknownBackendNameIsRefusedAndChangesNothing) {
    EXPECT_FALSE(install_backend("x12"));
    EXPECT_EQ(&platform::backend(), backend);
}

TEST_F(X11PlatformWindows, PaintedWindowIsWhatTheServerShows) {
    const Pixel teal = MakePixel(0, 0x80, 0x80);
    const WindowHandle window = testing::make_top_level(Rect::FromSize(20, 30, 160, 120), teal, "Teal");
    ASSERT_NE(window, 0u);
    ASSERT_NE(backend->x_window(window), 0u);
    EXPECT_TRUE(pump_until(
        [&] { return pixel_on_server(window, 0, 0) == teal && pixel_on_server(window, 159, 119) == teal; }));
}

TEST_F(X11PlatformWindows, KeysFromXArriveInTheFocusWindowsQueue) {
    const WindowHandle window = testing::make_top_level(Rect::FromSize(0, 0, 100, 80));
    ASSERT_TRUE(pump_until([&] { return backend->x_window(window) != 0; }));
    // The backend maps the window on its own connection, so the server may
    // not have done so yet when this connection asks for the focus.
    const ::Window x_window = backend->x_window(window);
    ASSERT_TRUE(pump_until([&] {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(client, x_window, &attributes) != 0 && attributes.map_state == IsViewable;
    }));
    ASSERT_TRUE(pump_until([&] {
        if (active_window() == window)
            return true;
        XSetInputFocus(client, x_window, RevertToNone, CurrentTime);
        XSync(client, False);
        return false;
    }));

    message_log().take();
    fake_key(XK_b);
    std::vector<Message> keys;
    pump_until([&] {
        for (const Message& message : message_log().take({MsgKeyDown, MsgChar, MsgKeyUp}))
            keys.push_back(message);
        return keys.size() >= 3;
    });
    ASSERT_EQ(keys.size(), 3u);
    const std::vector<std::pair<uint32_t, uintptr_t>> expected = {
        {MsgKeyDown, 'B'}, {MsgChar, 'b'}, {MsgKeyUp, 'B'}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(keys[i].window, window);
        EXPECT_EQ(keys[i].number, expected[i].first) << i;
        EXPECT_EQ(keys[i].wparam, expected[i].second) << i;
    }
}

TEST_F(X11PlatformWindows, ClicksFromXArriveWithClientCoordinates) {
    const WindowHandle window = testing::make_top_level(Rect::FromSize(200, 100, 120, 90));
    ASSERT_TRUE(pump_until([&] { return backend->x_window(window) != 0; }));
    backend->sync();
    XTestFakeMotionEvent(client, DefaultScreen(client), 200 + 17, 100 + 23, CurrentTime);
    XTestFakeButtonEvent(client, 3, True, CurrentTime);
    XTestFakeButtonEvent(client, 3, False, CurrentTime);
    XSync(client, False);
    const auto up = pump_until_message(window, MsgRButtonUp);
    ASSERT_TRUE(up);
    EXPECT_EQ(LowWordSigned(up->lparam), 17);
    EXPECT_EQ(HighWordSigned(up->lparam), 23);
}

TEST_F(X11PlatformWindows, CloseButtonClosesTheWindow) {
    const WindowHandle window = testing::make_top_level(Rect::FromSize(0, 0, 100, 80));
    const ::Window x_window = backend->x_window(window);
    ASSERT_NE(x_window, 0u);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = x_window;
    event.xclient.message_type = XInternAtom(client, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(client, "WM_DELETE_WINDOW", False));
    XSendEvent(client, x_window, False, NoEventMask, &event);
    XSync(client, False);
    // The default handling of MsgClose destroys the window, which takes its X window along.
    EXPECT_TRUE(pump_until([&] { return !is_window(window); }));
    EXPECT_EQ(backend->x_window(window), 0u);
}

TEST_F(X11PlatformWindows, WindowMovedOnTheServerFollowsInThePlatform) {
    const WindowHandle window = testing::make_top_level(Rect::FromSize(10, 10, 100, 80));
    const ::Window x_window = backend->x_window(window);
    ASSERT_NE(x_window, 0u);
    // Let the server take the backend's own requests first: a move that
    // overtook them would be answered by the program's older placement.
    backend->sync();
    XMoveResizeWindow(client, x_window, 40, 50, 180, 140);
    XSync(client, False);
    // The rectangle changes first and the frame buffer follows it.
    EXPECT_TRUE(pump_until([&] { return window_rect(window) == Rect::FromSize(40, 50, 180, 140); }));
    EXPECT_TRUE(pump_until([&] { return frame_buffer_copy(window).width() == 180; }));
}

// The X window that has the keyboard focus, as the server tells another client.
::Window x_focus(Display* display) {
    ::Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus;
}

TEST_F(X11PlatformWindows, ActivatingAWindowGivesItTheKeyboardWithoutAWindowManager) {
    const WindowHandle first = testing::make_top_level(Rect::FromSize(0, 0, 100, 80));
    const WindowHandle second = testing::make_top_level(Rect::FromSize(200, 0, 100, 80));
    const WindowHandle later =
        testing::make_top_level(Rect::FromSize(400, 0, 100, 80), 0, "Later", StyleNone);
    backend->sync();
    // No one has the keyboard and the pointer is over none of our windows,
    // so keys reach a window only if the backend gives it the focus.
    XTestFakeMotionEvent(client, DefaultScreen(client), 1200, 1000, CurrentTime);
    XSetInputFocus(client, None, RevertToNone, CurrentTime);
    XSync(client, False);
    message_log().take();

    for (const WindowHandle window : {second, first}) {
        activate_window(window);
        ASSERT_TRUE(pump_until([&] { return x_focus(client) == backend->x_window(window); }));
        message_log().take();
        fake_key(XK_q);
        const auto down = pump_until_message(window, MsgKeyDown);
        ASSERT_TRUE(down) << "no key reached window " << window;
        EXPECT_EQ(down->wparam, 'Q');
        EXPECT_EQ(active_window(), window);
    }

    // A window activated while hidden takes the keyboard once it is shown.
    activate_window(later);
    backend->sync();
    EXPECT_NE(x_focus(client), backend->x_window(later));
    show_window(later, true);
    EXPECT_TRUE(pump_until([&] { return x_focus(client) == backend->x_window(later); }));
    EXPECT_TRUE(pump_until([&] { return active_window() == later; }));
}

TEST_F(X11PlatformWindows, TestInputGoesThroughTheServerToTheWindows) {
    auto test_input = X11TestInput::open(*backend);
    ASSERT_TRUE(test_input);
    const WindowHandle window = testing::make_top_level(Rect::FromSize(300, 200, 120, 90));
    const ::Window x_window = backend->x_window(window);
    ASSERT_TRUE(pump_until([&] {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(client, x_window, &attributes) != 0 && attributes.map_state == IsViewable;
    }));
    activate_window(window);
    ASSERT_TRUE(pump_until([&] { return x_focus(client) == x_window; }));
    dispatch_pending_messages();
    message_log().take();

    // Each call returns with its messages already queued: no waiting here.
    ASSERT_TRUE(test_input->click(window, {17, 23}, MouseButton::Right));
    ASSERT_TRUE(test_input->press_key(VkTab, {VkShift}));
    ASSERT_TRUE(test_input->press_key(VkF1 + 3));
    ASSERT_TRUE(test_input->type_text("aZ!\xe9\x80\r"));
    dispatch_pending_messages();
    std::vector<std::string> seen;
    for (const Message& message :
         message_log().take({MsgRButtonDown, MsgRButtonUp, MsgKeyDown, MsgKeyUp, MsgChar})) {
        const char* name = message.number == MsgRButtonDown ? "rdown"
                           : message.number == MsgRButtonUp ? "rup"
                           : message.number == MsgKeyDown   ? "down"
                           : message.number == MsgKeyUp     ? "up"
                                                            : "char";
        const bool mouse = message.number == MsgRButtonDown || message.number == MsgRButtonUp;
        seen.push_back(std::string(name) + " " +
                       (mouse ? std::to_string(LowWordSigned(message.lparam)) + "," +
                                    std::to_string(HighWordSigned(message.lparam))
                              : std::to_string(message.wparam)));
    }
    const std::vector<std::string> expected = {
        "rdown 17,23", "rup 17,23", "down 16",  "down 9",  "char 9",  "up 9",    "up 16",
        "down 115",    "up 115",    "down 65",  "char 97", "up 65",   "down 16", "down 90",
        "char 90",     "up 90",     "up 16",    "down 16", "down 49", "char 33", "up 49",
        "up 16",       "char 233",  "char 128", "down 13", "char 13", "up 13"};
    EXPECT_EQ(seen, expected);
}

} // namespace
} // namespace morvex::platform

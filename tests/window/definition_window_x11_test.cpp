// The same definition window in both backends: painted headless, then shown
// by the X11 backend in a private Xvfb and read back from the server, pixel
// for pixel. Fonts are pinned to DejaVu Sans, so both drawings are the
// painter's and must agree exactly; the headless one must also match the
// committed screenshot.
// clang-format off
// GoogleTest comes before Xlib, whose None and Bool macros would break it.
#include <gtest/gtest.h>
// clang-format on

#include "platform/backend.h"
#include "platform/backend_choice.h"
#include "platform/input_injection.h"
#include "platform/windows.h"
#include "platform/x11_backend.h"
#include "tests/support/xvfb_server.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"
#include "window/definition_window.h"
#include "window/painter/font_matcher.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace morvex {
namespace {

using namespace std::chrono_literals;

const std::string Screenshot = std::string(MORVEX_WINDOW_TEST_DATA) + "/test_window_headless.png";

// The window's pixels as the X server holds them; empty when it cannot say.
platform::FrameBuffer server_pixels(Display* client, unsigned long x_window, int width, int height) {
    XImage* image = XGetImage(client, x_window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return {};
    platform::FrameBuffer pixels(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.at(x, y) = static_cast<platform::Pixel>(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return pixels;
}

int differing_pixels(const platform::FrameBuffer& a, const platform::FrameBuffer& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.at(x, y) != b.at(x, y);
    return count;
}

TEST(DefinitionWindowX11Test, ServerShowsExactlyWhatTheHeadlessBackendPainted) {
    painter::set_fixed_font_file(painter::testing::DejaVuSansPath);

    // Headless first.
    platform::set_backend(nullptr);
    platform::FrameBuffer headless;
    platform::Rect headless_rect;
    {
        DefinitionWindow window;
        ASSERT_TRUE(window.Open("tavemon$testwin", "TEST$WINDOW"));
        platform::update_window(window.Handle());
        headless = platform::frame_buffer_copy(window.Handle());
        headless_rect = platform::window_rect(window.Handle());
    }
    platform::dispatch_pending_messages();
    ASSERT_GT(headless.width(), 0);
    EXPECT_TRUE(painter::testing::matches_golden_file(headless, Screenshot, "test_window_headless", {8, 0}));

    // Then X11, chosen as the program does: $DISPLAY set, no option.
    XInitThreads();
    std::string error;
    const std::unique_ptr<morvex::testing::XvfbServer> server = morvex::testing::XvfbServer::start(error);
    ASSERT_TRUE(server) << error;
    setenv("DISPLAY", server->display_name().c_str(), 1);
    ASSERT_TRUE(platform::install_backend(""));
    auto* backend = dynamic_cast<platform::X11Backend*>(&platform::backend());
    ASSERT_NE(backend, nullptr);
    Display* client = XOpenDisplay(server->display_name().c_str());
    ASSERT_NE(client, nullptr);
    {
        DefinitionWindow window;
        ASSERT_TRUE(window.Open("tavemon$testwin", "TEST$WINDOW"));
        EXPECT_EQ(platform::window_rect(window.Handle()), headless_rect);
        const unsigned long x_window = backend->x_window(window.Handle());
        ASSERT_NE(x_window, 0u);
        platform::FrameBuffer shown;
        int differing = -1;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            platform::dispatch_pending_messages();
            backend->sync();
            shown = server_pixels(client, x_window, headless.width(), headless.height());
            differing = differing_pixels(shown, headless);
            if (differing == 0)
                break;
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(differing, 0) << "pixels that differ between the X server and the headless frame buffer";
        EXPECT_EQ(differing_pixels(platform::frame_buffer_copy(window.Handle()), headless), 0);
    }
    platform::dispatch_pending_messages();
    XCloseDisplay(client);
    platform::set_backend(nullptr);
    backend->shut_down(); // the replaced backend stays with the process, closed
    painter::set_fixed_font_file("");
}

} // namespace
} // namespace morvex

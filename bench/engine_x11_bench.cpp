// A key press through the X server (XTEST) to its pixels on the screen, on
// a private Xvfb: Space on a focused button draws it pressed; the time runs
// from the key press until the server shows the pressed button. Reports the
// median and the 99th percentile.
#include "platform/backend.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "platform/x11_backend.h"
#include "platform/x11_test_input.h"
#include "runtime/threads.h"
#include "tests/support/xvfb_server.h"
#include "tests/window/engine_test_window.h"
#include "window/accept.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using namespace morvex;
using Clock = std::chrono::steady_clock;

// The window runs its accept loop on a thread of its own, as a program's would.
struct ProgramThread {
    std::atomic<platform::WindowHandle> window{0};
    std::atomic<platform::WindowHandle> button{0};
    std::atomic<bool> stop{false};
    std::thread thread;

    ProgramThread() {
        thread = std::thread([this] {
            InitializeThreads();
            morvex::Window w;
            testing::LoadButtonWindow(w, 1);
            w.Open();
            button = w.control(1)->handle();
            window = w.handle();
            ACCEPT(w, [this] { return stop ? LoopOutcome::Left : LoopOutcome::Completed; });
            w.Close();
        });
    }
    ~ProgramThread() {
        stop = true;
        platform::input_close_request(window);
        thread.join();
    }
};

unsigned long pixel_at(Display* display, unsigned long x_window, platform::Point point) {
    XImage* image = XGetImage(display, x_window, point.x, point.y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return pixel;
}

void BM_KeyPressToPixels(benchmark::State& state) {
    std::string error;
    static auto server = testing::XvfbServer::start(error);
    if (!server) {
        state.SkipWithError(error.c_str());
        return;
    }
    setenv("DISPLAY", server->display_name().c_str(), 1);
    auto backend_owner = platform::make_x11_backend(server->display_name().c_str());
    auto* backend = dynamic_cast<platform::X11Backend*>(backend_owner.get());
    platform::set_backend(std::move(backend_owner));
    ProgramThread program;
    while (program.button == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto input = platform::X11TestInput::open(*backend);
    Display* reader = XOpenDisplay(server->display_name().c_str());
    if (!input || !reader) {
        state.SkipWithError("no XTEST or no second connection");
        return;
    }
    platform::wait_until_idle(std::chrono::seconds(5));
    backend->sync();
    const unsigned long x_window = backend->x_window(program.window);
    // The button's top-left corner: the bevel's highlight, black when pressed.
    const platform::Rect button = platform::rect_in_top_level(program.button);
    const platform::Point corner{button.left + 1, button.top + 1};
    const unsigned long released = pixel_at(reader, x_window, corner);
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clock::now();
        input->key(platform::VkSpace, true);
        while (pixel_at(reader, x_window, corner) == released) {
        }
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        state.PauseTiming();
        input->key(platform::VkSpace, false);
        while (pixel_at(reader, x_window, corner) != released) {
        }
        state.ResumeTiming();
    }
    std::sort(samples.begin(), samples.end());
    if (!samples.empty()) {
        state.counters["median_us"] = samples[samples.size() / 2];
        state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    }
    XCloseDisplay(reader);
}
BENCHMARK(BM_KeyPressToPixels)->Unit(benchmark::kMicrosecond)->Iterations(300);

} // namespace

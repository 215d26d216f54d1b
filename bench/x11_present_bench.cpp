// Showing a 400x300 frame buffer in an X window (a private Xvfb): the whole
// buffer and a small dirty rectangle, through MIT-SHM and over the X
// connection. Each measurement ends once the server has drawn everything.
#include "platform/x11_backend.h"
#include "tests/support/xvfb_server.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace morvex::platform;

class NoInput final : public InputSink {
public:
    void key(uint32_t, bool) override {}
    void character(uint8_t) override {}
    void mouse_move(WindowHandle, Point) override {}
    void mouse_button(WindowHandle, Point, MouseButton, bool) override {}
    void mouse_wheel(WindowHandle, Point, int) override {}
    void close_request(WindowHandle) override {}
    void top_level_moved(WindowHandle, const Rect&) override {}
    void top_level_activated(WindowHandle, bool) override {}
    void expose(WindowHandle, const Rect&) override {}
};

const std::string& display_name() {
    static std::unique_ptr<morvex::testing::XvfbServer> server = [] {
        std::string error;
        auto started = morvex::testing::XvfbServer::start(error);
        if (!started) {
            std::fprintf(stderr, "x11_present_bench: %s\n", error.c_str());
            std::exit(1);
        }
        return started;
    }();
    static const std::string name = server->display_name();
    return name;
}

constexpr int Width = 400;
constexpr int Height = 300;

void present(benchmark::State& state, X11Options::SharedMemory shared_memory, Rect dirty) {
    NoInput input;
    auto backend = X11Backend::open(display_name().c_str(), input, X11Options{shared_memory});
    if (!backend) {
        state.SkipWithError("cannot open the display");
        return;
    }
    backend->top_level_created(1, Rect::FromSize(0, 0, Width, Height), "Bench");
    backend->top_level_shown(1, true);
    FrameBuffer pixels(Width, Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            pixels.at(x, y) =
                MakePixel(static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x ^ y));
    backend->present(1, pixels, dirty);
    backend->sync();
    if ((shared_memory == X11Options::SharedMemory::WhenAvailable) != backend->uses_shared_memory()) {
        state.SkipWithError("MIT-SHM is not available");
        return;
    }
    for (auto _ : state) {
        pixels.at(dirty.left, dirty.top) ^= 0xFFFFFF;
        backend->present(1, pixels, dirty);
    }
    backend->sync();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * int64_t{dirty.width()} * dirty.height() * 4);
}

// Arguments: the dirty rectangle's width and height, centred in the buffer.
Rect centred(const benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    return Rect::FromSize((Width - width) / 2, (Height - height) / 2, width, height);
}

void BM_PresentSharedMemory(benchmark::State& state) {
    present(state, X11Options::SharedMemory::WhenAvailable, centred(state));
}
void BM_PresentProtocol(benchmark::State& state) {
    present(state, X11Options::SharedMemory::Never, centred(state));
}

// A line of an entry field, a quarter of the window, the whole window.
#define DIRTY_SIZES Args({64, 24})->Args({200, 150})->Args({400, 300})
BENCHMARK(BM_PresentSharedMemory)->DIRTY_SIZES->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresentProtocol)->DIRTY_SIZES->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

// The window engine's core costs, headless: an event posted by the loop
// body to its delivery back to the body, property gets and sets on a
// window of 40 controls, a full redraw of that window, and the redraw of one
// control after a change.
#include "platform/windows.h"
#include "runtime/threads.h"
#include "tests/window/engine_test_window.h"
#include "window/accept.h"
#include "window/properties.h"
#include "window/property_numbers.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using namespace morvex;

constexpr int Controls = 40;

// A window of 40 buttons in rows, open and settled.
struct OpenWindow {
    Window window;
    OpenWindow() {
        InitializeThreads();
        std::vector<ControlDefinition> controls;
        for (int i = 0; i < Controls; ++i) {
            ControlDefinition button;
            button.type = wdf::ButtonControl;
            button.feq = i + 1;
            button.x = 8 + 64 * (i % 8);
            button.y = 8 + 28 * (i / 8);
            button.width = 60;
            button.height = 24;
            button.text = "Button " + std::to_string(i + 1);
            controls.push_back(button);
        }
        WindowDefinition definition;
        definition.caption = "Forty";
        definition.width = DefaultPosition;
        definition.height = DefaultPosition;
        window.LoadDefinition(definition, std::move(controls), UnitMetricsOf(nullptr));
        window.Open();
        ACCEPT(window,
               [] { return EVENT() == Event::OpenWindow ? LoopOutcome::Left : LoopOutcome::Completed; });
        platform::update_window(window.handle());
    }
};

void BM_EventRoundTrip(benchmark::State& state) {
    OpenWindow open;
    // Each pass posts from the body and takes the event back in the next run of it.
    int64_t left = 0;
    for (auto _ : state) {
        left = 1000;
        PostEvent(open.window, Event::Accepted, 1);
        ACCEPT(open.window, [&] {
            if (--left == 0)
                return LoopOutcome::Left;
            PostEvent(open.window, Event::Accepted, 1);
            return LoopOutcome::Completed;
        });
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_EventRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_PropertyGetsAndSets(benchmark::State& state) {
    OpenWindow open;
    const std::string values[2] = {"First", "Second"};
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i) {
            const int32_t control = 1 + i % Controls;
            if (i % 2 == 0)
                benchmark::DoNotOptimize(GetProperty(&open.window, control, Prop::Text));
            else
                SetProperty(&open.window, control, Prop::Text, values[(i / 2) % 2]);
        }
        platform::update_window(open.window.handle());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_PropertyGetsAndSets)->Unit(benchmark::kMillisecond);

void BM_FullRedraw(benchmark::State& state) {
    OpenWindow open;
    for (auto _ : state) {
        platform::invalidate(open.window.handle());
        platform::update_window(open.window.handle());
    }
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

void BM_OneControlRedraw(benchmark::State& state) {
    OpenWindow open;
    int n = 0;
    for (auto _ : state) {
        SetProperty(&open.window, 17, Prop::Text, ++n % 2 ? "On" : "Off");
        platform::update_window(open.window.handle());
    }
}
BENCHMARK(BM_OneControlRedraw)->Unit(benchmark::kMicrosecond);

} // namespace

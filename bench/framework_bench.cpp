// The framework's costs, headless: a throw of an error whose message has
// three placeholders, answered at once (by a presenter that answers without
// drawing, and by the drawn box with a queued answer); and a controller's
// Run on a window of 40 controls, from Init through the first event to Kill.
#include "framework/error_reporter.h"
#include "framework/window_controller.h"
#include "platform/message_box.h"
#include "runtime/threads.h"
#include "window/accept.h"
#include "window/definition_services.h"
#include "window/message_box_window.h"
#include "window/window.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using namespace morvex;

constexpr int Controls = 40;

// One Notify entry with three placeholders, as a block that outlives the reporter.
const std::vector<uint8_t>& placeholder_block() {
    static const std::vector<uint8_t> block = [] {
        const std::string title = "Range Error";
        const std::string message = "The value of %Field in %File must be between %Message.";
        std::vector<uint8_t> out{1, 0, 0x10, 0x27, Level::Notify};
        for (const std::string& text : {title, message}) {
            out.push_back(static_cast<uint8_t>(text.size()));
            for (const char c : text)
                out.push_back(static_cast<uint8_t>(c));
        }
        return out;
    }();
    return block;
}

struct Reporter {
    ErrorReporter errors;
    Reporter() {
        InitializeThreads();
        errors.Init();
        errors.AddErrors(placeholder_block());
        errors.SetFile("Customer");
        errors.SetField("CUS:Startdate");
        errors.MESSAGETEXT = "1 January 1990 and 31 December 2030";
    }
    ~Reporter() { errors.Kill(); }
};

void BM_ThrowAnsweredAtOnce(benchmark::State& state) {
    Reporter reporter;
    platform::set_message_box_presenter([](const platform::MessageBoxRequest& request) {
        benchmark::DoNotOptimize(request.text.data());
        return request.default_button;
    });
    for (auto _ : state)
        benchmark::DoNotOptimize(reporter.errors.Throw(10000));
    platform::set_message_box_presenter({});
}
BENCHMARK(BM_ThrowAnsweredAtOnce)->Unit(benchmark::kMicrosecond);

void BM_ThrowDrawnBoxAnsweredAtOnce(benchmark::State& state) {
    Reporter reporter;
    InitializeWindowEngine();
    InstallDrawnMessageBoxes();
    for (auto _ : state) {
        platform::queue_message_box_answer(platform::ButtonOk);
        benchmark::DoNotOptimize(reporter.errors.Throw(10000));
    }
    platform::set_message_box_presenter({});
}
BENCHMARK(BM_ThrowDrawnBoxAnsweredAtOnce)->Unit(benchmark::kMicrosecond);

// A procedure on a window of 40 buttons that leaves at its first event.
class FortyButtons : public WindowController {
public:
    FortyButtons() : WindowController(m_window) {
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
        m_window.LoadDefinition(definition, std::move(controls), UnitMetricsOf(nullptr));
    }
    int Init() override { return OpenProcedure("FortyButtons"); }
    int Kill() override {
        if (const int level = WindowController::Kill())
            return level;
        CloseProcedure();
        return Level::Benign;
    }
    int TakeEvent() override { return Level::Fatal; }

private:
    Window m_window;
};

void BM_ControllerRunFortyControls(benchmark::State& state) {
    Reporter reporter;
    GlobalErrors = &reporter.errors;
    for (auto _ : state) {
        FortyButtons procedure;
        benchmark::DoNotOptimize(procedure.Run());
    }
    GlobalErrors = nullptr;
}
BENCHMARK(BM_ControllerRunFortyControls)->Unit(benchmark::kMicrosecond);

} // namespace

// The boxes go through the platform's message-box service. Answering Yes to
// "Do you want to GPF?" ends the process abnormally (SIGABRT), which a
// debugger or a core dump catches; No ends it in order.
#include "runtime/fatal_error.h"

#include "platform/message_box.h"
#include "runtime/error_state.h"
#include "runtime/message_table.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace morvex {

namespace {

constexpr std::size_t MaxBoxMessage = 255;

struct Ending {
    FatalErrorHook fatal_hook = nullptr;
    HaltHook halt_hook = nullptr;
    CleanupProcedure program_cleanup = nullptr;
    std::vector<CleanupProcedure> runtime_cleanup;
    std::atomic<bool> cleaned_up{false};
    std::atomic<bool> halted{false};
};

Ending& ending() {
    static Ending* instance = new Ending; // lives until the process ends
    return *instance;
}

[[noreturn]] void end_process(int32_t exit_code) {
    Ending& e = ending();
    if (!e.cleaned_up.exchange(true)) {
        if (e.program_cleanup)
            e.program_cleanup();
        for (CleanupProcedure step : e.runtime_cleanup)
            step();
    }
    e.halted = true;
    std::fflush(nullptr);
    std::_Exit(exit_code);
}

} // namespace

void FatalError(int32_t number, std::string_view extra) {
    std::string text;
    if (number != 0) {
        SetError(number);
        text = MessageText(number).substr(0, MaxBoxMessage);
        if (!extra.empty()) {
            text += " : ";
            text += extra;
        }
    } else {
        text = extra;
    }
    Ending& e = ending();
    if (e.fatal_hook) {
        e.fatal_hook(text, number);
    } else {
        text += "\nDo you want to GPF?";
        const platform::MessageBoxButton answer = platform::show_message_box(
            platform::MessageBoxRequest{"Runtime error", text, platform::MessageBoxIcon::Stop,
                                        platform::MessageBoxButtons::YesNo, platform::ButtonNo});
        if (answer == platform::ButtonYes)
            std::abort();
    }
    end_process(2);
}

void HALT(int32_t exit_code, std::optional<std::string_view> message) {
    Ending& e = ending();
    if (e.halt_hook) {
        e.halt_hook(exit_code);
    } else if (message) {
        platform::show_message_box(
            platform::MessageBoxRequest{"Halt", std::string(*message), platform::MessageBoxIcon::Stop,
                                        platform::MessageBoxButtons::Ok, platform::ButtonOk});
    }
    end_process(exit_code);
}

void SetFatalErrorHook(FatalErrorHook hook) {
    ending().fatal_hook = hook;
}
void SetHaltHook(HaltHook hook) {
    ending().halt_hook = hook;
}
void SetCleanupProcedure(CleanupProcedure procedure) {
    ending().program_cleanup = procedure;
}
void AddRuntimeCleanup(CleanupProcedure step) {
    ending().runtime_cleanup.push_back(step);
}
bool ProgramHalted() {
    return ending().halted;
}

} // namespace morvex

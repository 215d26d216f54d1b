#include "window/scripted_run.h"

#include "platform/input.h"
#include "platform/windows.h"
#include "runtime/threads.h"

#include <atomic>
#include <cstdlib>
#include <ostream>
#include <thread>

namespace morvex {

namespace {

constexpr int CloseAttempts = 20;
constexpr std::chrono::milliseconds CloseWait{1000};

} // namespace

int RunUnderScript(const ScriptOptions& options, std::string_view script, std::ostream& out,
                   std::ostream& err, const std::function<void(ScriptDriver&)>& add_commands,
                   const std::function<void()>& program) {
    return RunUnderDriver(
        options, out, err,
        [&](ScriptDriver& driver) {
            if (add_commands)
                add_commands(driver);
            return driver.Run(script);
        },
        program);
}

int RunUnderDriver(const ScriptOptions& options, std::ostream& out, std::ostream& err,
                   const std::function<int(ScriptDriver&)>& drive, const std::function<void()>& program) {
    int status = 0;
    std::atomic<bool> program_ended = false;
    std::thread driver([&] {
        // The script starts once the program has opened its first window.
        const auto give_up = std::chrono::steady_clock::now() + options.idle_timeout;
        while (platform::top_level_windows().empty() && !program_ended &&
               std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        // ... and has settled (start-up windows of other threads are open).
        platform::wait_until_idle(options.idle_timeout);
        ScriptDriver driver(options, out, err);
        status = drive(driver);
        // Close what is open until the program has ended: a window may open
        // while another closes (a thread's window after its frame's).
        const auto finished = [&] { return program_ended && platform::top_level_windows().empty(); };
        const auto deadline = std::chrono::steady_clock::now() + CloseWait * CloseAttempts;
        while (!finished() && std::chrono::steady_clock::now() < deadline) {
            for (const platform::WindowHandle window : platform::top_level_windows())
                platform::input_close_request(window);
            platform::wait_until_idle(CloseWait);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // A window that will not close (a box no close answers) must not
        // keep the run waiting for ever.
        if (!finished()) {
            err << options.name << ": the program has not ended after the script; giving up\n";
            err.flush();
            std::_Exit(1);
        }
    });
    program();
    program_ended = true;
    WaitForOtherThreads(); // procedures the script started on threads of their own
    driver.join();
    return status;
}

} // namespace morvex

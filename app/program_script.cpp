#include "app/program_script.h"

#include "app/calendar_procedure.h"
#include "app/demo_page.h"
#include "framework/script_commands.h"
#include "framework/window_controller.h"
#include "platform/windows.h"
#include "runtime/ini_access.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/script_driver.h"
#include "window/window.h"
#include "window/window_registry.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace tavemon {

namespace {

constexpr std::chrono::seconds WaitForTimeout{5};

// The active window's procedure and caption, read on its thread.
struct ActiveWindow {
    std::string procedure;
    std::string caption;
};

std::optional<ActiveWindow> active_window(morvex::ScriptDriver& driver) {
    std::optional<ActiveWindow> found;
    driver.WithActiveWindow([&](morvex::Window& window) {
        const int32_t thread = window.thread_slot() + 1;
        found =
            ActiveWindow{morvex::GlobalErrors ? morvex::GlobalErrors->NameOnThread(thread) : std::string(),
                         morvex::GetProperty(&window, 0, morvex::Prop::Text)};
    });
    return found;
}

} // namespace

void RegisterProgramProcedures() {
    for (const CalendarLayout* layout : {&LookupDateLayout, &PartOfWindowLayout, &Calendar1Layout,
                                         &Calendar2Layout, &Calendar3Layout, &LookupDateSundayLayout})
        morvex::RegisterProcedure(std::string(layout->name), [layout] {
            RunCalendar(*layout);
            return morvex::GlobalResponse;
        });
    morvex::RegisterProcedure("aWindow", [] {
        aWindow();
        return morvex::GlobalResponse;
    });
}

void AddProgramScriptCommands(morvex::ScriptDriver& driver) {
    morvex::AddFrameworkScriptCommands(driver);
    driver.AddCommand("active", [&driver](std::string_view) -> std::optional<std::string> {
        const std::optional<ActiveWindow> active = active_window(driver);
        if (!active)
            return "no window is active";
        driver.out() << (active->procedure.empty() ? "(none)" : active->procedure) << " \"" << active->caption
                     << "\"\n";
        return std::nullopt;
    });
    // ini FILE SECTION KEY: what the program's INI files hold on disk.
    driver.AddCommand("ini", [&driver](std::string_view arguments) -> std::optional<std::string> {
        std::istringstream words{std::string(arguments)};
        std::string file, section, key;
        if (!(words >> file >> section >> key))
            return "ini needs FILE SECTION KEY";
        std::string value;
        driver.WithActiveWindow(
            [&](morvex::Window&) { value = morvex::GETINI(section, key, "(none)", file); });
        driver.out() << value << "\n";
        return std::nullopt;
    });
    // activate NAME: the newest window of procedure NAME comes to the front,
    // as a click on it would bring it.
    driver.AddCommand("activate", [&driver](std::string_view name) -> std::optional<std::string> {
        morvex::platform::WindowHandle target = 0;
        driver.WithActiveWindow([&](morvex::Window&) {
            for (morvex::Window* window : morvex::OpenWindows())
                if (morvex::GlobalErrors &&
                    morvex::GlobalErrors->NameOnThread(window->thread_slot() + 1) == name)
                    target = window->handle();
        });
        if (target == 0)
            return "no window of " + std::string(name) + " is open";
        morvex::platform::activate_window(target);
        driver.WaitIdle();
        return std::nullopt;
    });
    // memory: the program's resident memory, in kilobytes.
    driver.AddCommand("memory", [&driver](std::string_view) -> std::optional<std::string> {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("VmRSS:")) {
                driver.out() << std::stol(line.substr(6)) << "\n";
                return std::nullopt;
            }
        return "the resident memory cannot be read here";
    });
    driver.AddCommand("wait-for", [&driver](std::string_view name) -> std::optional<std::string> {
        if (name.empty())
            return "wait-for needs a procedure NAME";
        const auto give_up = std::chrono::steady_clock::now() + WaitForTimeout;
        while (std::chrono::steady_clock::now() < give_up) {
            if (const std::optional<ActiveWindow> active = active_window(driver);
                active && active->procedure == name)
                return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            driver.WaitIdle();
        }
        return "no window of " + std::string(name) + " became active within 5 seconds";
    });
}

} // namespace tavemon

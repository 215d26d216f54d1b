#include "framework/script_commands.h"

#include "framework/window_controller.h"
#include "runtime/leading_integer.h"
#include "runtime/threads.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/script_driver.h"
#include "window/window.h"
#include "window/window_registry.h"

#include <map>
#include <ostream>
#include <sstream>
#include <vector>

namespace morvex {

namespace {

// Everything here is reached under the runtime lock (the driver's commands
// run on a window's thread, started procedures on their own).
std::map<std::string, ProcedureEntry>& procedures() {
    static std::map<std::string, ProcedureEntry> registered;
    return registered;
}

struct StartRequest {
    std::string name;
    uint8_t request = NoRequest;
};
StartRequest g_pending_start;
std::vector<std::string> g_ended; // "NAME RESPONSE"

void run_started_procedure() {
    const StartRequest start = std::move(g_pending_start);
    GlobalRequest = start.request;
    if (const std::optional<uint8_t> response = RunRegisteredProcedure(start.name))
        g_ended.push_back(start.name + " " + std::to_string(*response));
}

std::optional<std::string> list_procedures(ScriptDriver& driver) {
    std::ostringstream lines;
    const bool any = driver.WithActiveWindow([&](Window&) {
        for (Window* window : OpenWindows()) {
            const int32_t thread = window->thread_slot() + 1;
            const std::string name = GlobalErrors ? GlobalErrors->NameOnThread(thread) : std::string();
            lines << (name.empty() ? "(none)" : name) << " " << thread << " \""
                  << GetProperty(window, 0, Prop::Text) << "\"\n";
        }
    });
    if (!any)
        return "no window is open";
    driver.out() << lines.str();
    return std::nullopt;
}

std::optional<std::string> start_procedure(ScriptDriver& driver, std::string_view arguments) {
    std::istringstream words{std::string(arguments)};
    std::string name, request_text;
    words >> name >> request_text;
    if (name.empty())
        return "start needs NAME [REQUEST]";
    const LeadingInteger request = ReadLeadingInteger(request_text);
    if (!request_text.empty() &&
        (request.length != request_text.size() || request.value < 0 || request.value > 4))
        return "a request is a number from 0 to 4";
    std::optional<std::string> error;
    const bool any = driver.WithActiveWindow([&](Window&) {
        if (!procedures().contains(name)) {
            error = "no procedure is registered as \"" + name + "\"";
            return;
        }
        g_pending_start = StartRequest{name, static_cast<uint8_t>(request.value)};
        if (START(run_started_procedure, 0) == 0)
            error = "no thread could be started";
    });
    if (!any)
        return "no window is open to start it from";
    return error;
}

} // namespace

void RegisterProcedure(const std::string& name, ProcedureEntry entry) {
    procedures()[name] = std::move(entry);
}

std::optional<uint8_t> RunRegisteredProcedure(const std::string& name) {
    const auto entry = procedures().find(name);
    if (entry == procedures().end())
        return std::nullopt;
    return entry->second();
}

void AddFrameworkScriptCommands(ScriptDriver& driver) {
    driver.AddCommand("procedures", [&driver](std::string_view) { return list_procedures(driver); });
    driver.AddCommand("start",
                      [&driver](std::string_view arguments) { return start_procedure(driver, arguments); });
    driver.AddCommand("responses", [&driver](std::string_view) -> std::optional<std::string> {
        std::vector<std::string> ended;
        driver.WithActiveWindow([&](Window&) { ended.swap(g_ended); });
        for (const std::string& line : ended)
            driver.out() << line << "\n";
        return std::nullopt;
    });
}

} // namespace morvex

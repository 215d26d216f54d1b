// The framework's commands for the script driver, and the registry of
// procedures a script may start by name (a program registers its own; tests
// register small procedures built on the WindowController):
//
//   procedures            each open window: its thread's innermost procedure
//                         name, the thread number and the caption
//   start NAME [REQUEST]  starts a registered procedure on a thread of its own
//                         with the program-wide request set to REQUEST
//   responses             the responses of the started procedures that have
//                         ended since the last `responses`, as "NAME RESPONSE"
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace morvex {

class ScriptDriver;

// Runs a procedure to its end; its response.
using ProcedureEntry = std::function<uint8_t()>;

void RegisterProcedure(const std::string& name, ProcedureEntry entry);
// Runs the registered procedure on the calling thread; its response, or
// nothing when no procedure has the name.
std::optional<uint8_t> RunRegisteredProcedure(const std::string& name);

void AddFrameworkScriptCommands(ScriptDriver& driver);

} // namespace morvex

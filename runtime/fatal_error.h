// Ending the program: fatal runtime errors (through the "Runtime error"
// box, exit code 2) and HALT (the "Halt" box, the given exit code). The
// program may install hooks that take over the boxes, and a clean-up
// procedure; the clean-up runs once however many ends are requested.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace morvex {

// Sets the error state (for a number other than 0), shows the message and
// " : " extra (or the extra text alone for number 0) and ends the program.
[[noreturn]] void FatalError(int32_t number, std::string_view extra);

// Ends the program with `exit_code`, showing `message` first unless it is omitted.
[[noreturn]] void HALT(int32_t exit_code, std::optional<std::string_view> message = std::nullopt);

using FatalErrorHook = void (*)(std::string_view text, int32_t number);
using HaltHook = void (*)(int32_t exit_code);
using CleanupProcedure = void (*)();

void SetFatalErrorHook(FatalErrorHook hook);
void SetHaltHook(HaltHook hook);
// The program's clean-up, run before the runtime's own.
void SetCleanupProcedure(CleanupProcedure procedure);
// The runtime's own clean-up steps, run in the order added.
void AddRuntimeCleanup(CleanupProcedure step);
bool ProgramHalted();

} // namespace morvex

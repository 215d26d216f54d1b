// The program's module initialisers, as a single executable runs them: a
// table of entries (priority 0 to 255, an initialiser and a terminator, each
// optional). At start the initialisers run by priority, highest first and in
// table order within a priority; entries of priority 0 are never
// initialised. At exit the terminators run once, lowest priority first and
// from the last entry to the first within a priority.
#pragma once

#include <cstdint>
#include <span>

namespace morvex {

struct ModuleInitialiser {
    uint8_t priority = 0;
    void (*initialise)(int32_t) = nullptr; // called with 0
    void (*terminate)(int32_t) = nullptr;  // called with 1
};

// Runs the initialisers of `table` (which must live as long as the program)
// and arranges for its terminators to run when the program ends, however it
// ends (Exit, HALT, a fatal error).
void InitialiseModules(std::span<const ModuleInitialiser> table);

// Runs the terminators of the table given to InitialiseModules, the first
// time it is called; later calls do nothing.
void TerminateModules();

// Ends the process with `code`: the program's clean-up and the terminators
// run once, however often Exit is called.
[[noreturn]] void Exit(int32_t code);

} // namespace morvex

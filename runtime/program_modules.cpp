#include "runtime/program_modules.h"

#include "runtime/fatal_error.h"

#include <atomic>

namespace morvex {

namespace {

std::span<const ModuleInitialiser> g_table;
std::atomic<bool> g_terminated{false};

} // namespace

void InitialiseModules(std::span<const ModuleInitialiser> table) {
    g_table = table;
    g_terminated = false;
    // One pass per level, from 255 down; each pass notes the next level below.
    for (int level = 255; level > 0;) {
        int next = 0;
        for (const ModuleInitialiser& entry : table) {
            if (entry.priority == level && entry.initialise)
                entry.initialise(0);
            else if (entry.priority < level && entry.priority > next)
                next = entry.priority;
        }
        level = next;
    }
    AddRuntimeCleanup(TerminateModules);
}

void TerminateModules() {
    if (g_terminated.exchange(true))
        return;
    for (int level = 0; level <= 255; ++level)
        for (auto entry = g_table.rbegin(); entry != g_table.rend(); ++entry)
            if (entry->priority == level && entry->terminate)
                entry->terminate(1);
}

void Exit(int32_t code) {
    HALT(code);
}

} // namespace morvex

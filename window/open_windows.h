// Which window objects are open. Opening a window object that is already
// open ends the program with runtime error 535 "Window is already open",
// one of the window engine's fatal errors.
#pragma once

namespace morvex {

// Marks the window object as open; halts with 535 when it already is.
void MarkWindowOpen(const void* window);
// As above without halting: false (and nothing changed) when it already is.
bool TryMarkWindowOpen(const void* window);
void MarkWindowClosed(const void* window);
bool IsWindowOpen(const void* window);

} // namespace morvex

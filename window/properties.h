// Reading and changing windows and controls by property number. The value
// always travels as text: numbers in decimal, flags as "1" and "0".
//
// Decoding: with an index at property 0x7000 and above, a number below
// 0x7D00 plus index k is the plain property number + k - 1, and a number at
// or above 0x7D00 is an indexed request with the 0-based index k - 1.
// Numbers below 0x7000 go to the target's "low" property operation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

class Window;

// The engine-wide targets: -1 the system object (the engine's own settings
// and state), -4 the window that has the keyboard focus.
constexpr int32_t SystemTarget = -1;
constexpr int32_t FocusWindowTarget = -4;

// `target` nullptr = the thread's current window. A target that is not open
// halts with runtime error 536; a control the window lacks gives the empty text.
std::string GetProperty(Window* target, int32_t control, uint32_t number, int32_t index = 0);
void SetProperty(Window* target, int32_t control, uint32_t number, int32_t index, std::string_view value);
inline void SetProperty(Window* target, int32_t control, uint32_t number, std::string_view value) {
    SetProperty(target, control, number, 0, value);
}
// The engine-wide targets.
std::string GetProperty(int32_t target, int32_t control, uint32_t number, int32_t index = 0);
void SetProperty(int32_t target, int32_t control, uint32_t number, int32_t index, std::string_view value);

} // namespace morvex

// An event on its way to a procedure: the window it belongs to, the event
// message (event code + 0x1400), the control it names, the key code at the
// time it happened and the message parameters.
#pragma once

#include "window/events.h"

#include <cstdint>

namespace morvex {

class Window;

struct EventRecord {
    Window* window = nullptr;
    uint32_t message = 0;
    int32_t control = 0; // control number, 0 = none
    uint32_t key_code = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;

    uint16_t code() const { return static_cast<uint16_t>(message - EventMessageBase); }
};

} // namespace morvex

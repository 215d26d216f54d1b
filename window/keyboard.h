// The window's keyboard handling around its controls: alert keys (EVENT:PreAlert
// and EVENT:AlertKey), keys of buttons, Tab and Shift+Tab in record order,
// Enter for the default button, Escape for closing, and mnemonics (Alt+letter,
// or the letter alone where the focus control does not take text).
#pragma once

#include "platform/message_queue.h"

namespace morvex {

class Window;
class Control;

// Handles a key or character message of the window's frame, client area or
// one of its controls (`focus`, else nullptr) before the control itself sees
// it. True when the message was consumed.
bool HandleWindowKey(Window& window, Control* focus, const platform::Message& message);

} // namespace morvex

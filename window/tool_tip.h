// Tool tips: a control's tip text in a small yellow popup (a top-level
// window of class "MvxToolTip" owned by the control's window) once the
// pointer has rested over the control for ToolTipDelay. The controls' window
// procedure shows every message to ObserveForToolTip first. Moving off the
// control hides the tip; a mouse press or a key hides it too, and after a
// press on the control it stays hidden until the pointer leaves. Each thread
// has one tip for all its windows.
#pragma once

#include "platform/message_queue.h"

#include <chrono>

namespace morvex {

class Control;

constexpr std::chrono::milliseconds ToolTipDelay{600};

void ObserveForToolTip(Control& control, const platform::Message& message);
// Whether the tip of `control` shows now (on the control's thread).
bool ToolTipShownFor(const Control& control);

} // namespace morvex

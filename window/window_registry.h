// The engine-wide registry of open windows: every open window of the
// process, each thread's stack of open windows (the top one is the thread's
// current window), and the system-modal count that refuses frames and MDI
// children while a modal window is open.
#pragma once

#include "platform/message_queue.h"

#include <vector>

namespace morvex {

class Window;

void RegisterOpenWindow(Window& window);
void UnregisterOpenWindow(Window& window);

// The thread's current window: the last window it opened that is still open;
// nullptr when the thread has none.
Window* CurrentWindow();
// The current window of a runtime thread slot; nullptr when it has none.
Window* CurrentWindowOfSlot(int slot);
// Every open window of the process, in the order they were opened.
std::vector<Window*> OpenWindows();
// The open window that a platform window belongs to (its frame, client,
// toolbar or one of its controls), or nullptr.
Window* WindowOfHandle(platform::WindowHandle handle);

int SystemModalCount();
void ChangeSystemModalCount(int delta);

} // namespace morvex

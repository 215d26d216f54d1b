// The engine's own messages as every window of the engine handles them: a
// posted event record joining the window's queue, an event to deliver at
// once on the window's thread, a call to run there, the timer tick and the
// wake-up of the accept loop.
#pragma once

#include "platform/message_queue.h"

#include <optional>

namespace morvex {

class Window;

// The result when the message is one of the engine's, else nullopt.
std::optional<intptr_t> HandleEngineMessage(Window& window, const platform::Message& message);

} // namespace morvex

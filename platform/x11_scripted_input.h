// Scripted input through the X server (XTEST): keys, text and the pointer
// take the real way in, through the server, the X11 backend and its input
// method, as a user's would.
#pragma once

#include "platform/scripted_input.h"

#include <memory>

namespace morvex::platform {

class X11Backend;

// nullptr, with the reason on stderr, when the server has no XTEST.
std::unique_ptr<ScriptedInput> make_x11_scripted_input(X11Backend& backend);

} // namespace morvex::platform

// X protocol errors. Xlib's default error handler ends the process; the
// handler installed here instead records the errors of requests run through
// x11_request_error() (so that a caller can fall back, as when the server
// cannot attach a shared memory segment) and logs any other error once per
// kind and carries on, since a late request for a window the user already
// closed is no reason to stop the program.
//
// A lost connection is an I/O error, which Xlib ends the process for unless
// the display has an exit handler of its own (XSetIOErrorExitHandler); the
// I/O error handler installed here only says what happened.
#pragma once

#include <X11/Xlib.h>
#include <functional>

namespace morvex::platform {

// Installs the handlers (once per process). Call after XInitThreads.
void install_x11_error_handler();

// Runs `requests` with the display locked and waits for the server to
// handle them; returns the X error code of the first error they caused
// (0: none).
int x11_request_error(Display* display, const std::function<void()>& requests);

} // namespace morvex::platform

// A program's windows driven by a script: the program runs on the calling
// thread (opening its windows and running their accept loops) while the
// script driver works through the script on a thread of its own. When the
// script is over, every window still open is asked to close, so the program
// ends as a user's closing would end it.
#pragma once

#include "window/script_driver.h"

#include <functional>
#include <iosfwd>
#include <string_view>

namespace morvex {

// Returns the script's status (0 when every line succeeded). A program whose
// windows will not close after the script gives up with exit status 1 rather
// than waiting for ever.
int RunUnderScript(const ScriptOptions& options, std::string_view script, std::ostream& out,
                   std::ostream& err, const std::function<void(ScriptDriver&)>& add_commands,
                   const std::function<void()>& program);

// The same with the driver's part written in code: `drive` gets the driver
// once the program's first window is up and returns the status.
int RunUnderDriver(const ScriptOptions& options, std::ostream& out, std::ostream& err,
                   const std::function<int(ScriptDriver&)>& drive, const std::function<void()>& program);

} // namespace morvex

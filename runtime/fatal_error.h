// Fatal runtime errors: conditions the program cannot continue from end it
// through the runtime error report and exit code 2.
#pragma once

#include <cstdint>
#include <string_view>

namespace morvex {

// Sets the error state (for a number other than 0), reports the message
// followed by " : " and the extra text, and ends the process with exit code 2.
[[noreturn]] void FatalError(int32_t number, std::string_view extra);

} // namespace morvex

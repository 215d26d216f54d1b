// The report goes to standard error for now; the message box, the program's
// hooks and the clean-up sequence take over here once the window engine and
// the thread table exist.
#include "runtime/fatal_error.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/error_state.h"
#include "runtime/message_table.h"

namespace morvex {

void FatalError(int32_t number, std::string_view extra) {
    std::string text;
    if (number != 0) {
        SetError(number);
        text = MessageText(number).substr(0, 255);
        if (!extra.empty())
            text += " : ";
    }
    text += extra;
    std::fprintf(stderr, "Runtime error: %s\n", text.c_str());
    std::fflush(stderr);
    std::_Exit(2);
}

} // namespace morvex

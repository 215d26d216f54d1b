// Window classes: a name, a window procedure and the behaviour every window
// of the class shares. A window is created of a registered class
// (platform/windows.h); its procedure then receives the window's messages on
// the thread that created it.
#pragma once

#include "platform/frame_buffer.h"
#include "platform/message_queue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvex::platform {

// A window procedure: `user_data` is what the window was created with (or
// was given later by set_window_user_data). Messages it does not handle go to
// default_window_procedure.
using ClassProcedure = intptr_t (*)(void* user_data, const Message& message);

enum ClassStyle : uint32_t {
    ClassNoStyle = 0,
    // A second button press close in time and place becomes a double click
    // message; without it the window sees two presses.
    ClassDoubleClicks = 0x0001,
};

struct WindowClass {
    std::string name; // matched without regard to ASCII case
    ClassProcedure procedure = nullptr;
    uint32_t style = ClassNoStyle;
    // Filled into the invalid part of a window when its painting begins;
    // nullopt leaves the pixels as they are.
    std::optional<Pixel> background;
};

// False when the name is empty, the procedure missing, or a class of that
// name exists already.
bool register_window_class(const WindowClass& window_class);
bool unregister_window_class(std::string_view name);
bool is_window_class(std::string_view name);

} // namespace morvex::platform

// Which backend the program runs with: --backend=headless, --backend=x11, or
// (no option) x11 when $DISPLAY is set and headless otherwise.
#pragma once

#include <optional>
#include <string_view>

namespace morvex::platform {

enum class BackendKind { Headless, X11 };

// The backend an option names ("headless", "x11"; "" chooses by `display`,
// the value of $DISPLAY); nullopt for an unknown name.
std::optional<BackendKind> choose_backend(std::string_view option, const char* display);

// Chooses by `option` and $DISPLAY and installs the backend with
// set_backend(). False, with the reason on stderr, for an unknown option or
// a display that cannot be opened.
bool install_backend(std::string_view option);

} // namespace morvex::platform

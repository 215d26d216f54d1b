// Installing the chosen backend; kept apart from the choice itself so that
// code which only chooses needs neither the window layer nor Xlib.
#include "platform/backend_choice.h"
#include "platform/x11_backend.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace morvex::platform {

std::unique_ptr<Backend> make_x11_backend(const char* display_name) {
    return X11Backend::open(display_name, platform_input());
}

bool install_backend(std::string_view option) {
    const char* display = std::getenv("DISPLAY");
    const auto kind = choose_backend(option, display);
    if (!kind) {
        std::fprintf(stderr, "morvex: unknown backend \"%s\" (use headless or x11)\n",
                     std::string(option).c_str());
        return false;
    }
    if (*kind == BackendKind::Headless) {
        set_backend(nullptr);
        return true;
    }
    auto x11 = make_x11_backend(nullptr);
    if (!x11) {
        std::fprintf(stderr,
                     "morvex: no X display to show windows on; run with --backend=headless instead\n");
        return false;
    }
    set_backend(std::move(x11));
    return true;
}

} // namespace morvex::platform

#include "platform/backend_choice.h"

namespace morvex::platform {

std::optional<BackendKind> choose_backend(std::string_view option, const char* display) {
    if (option == "headless")
        return BackendKind::Headless;
    if (option == "x11")
        return BackendKind::X11;
    if (option.empty())
        return display && *display ? BackendKind::X11 : BackendKind::Headless;
    return std::nullopt;
}

} // namespace morvex::platform

// The framework's own windows (the popup manager's toolbox, the edit-in-place
// module's two windows), kept as window
// definition text in framework/windows/ and compiled into the program's
// resources on first use. They cannot be compiled at build time: the tool
// that compiles definitions is itself built on the framework.
#pragma once

#include <string_view>

namespace morvex {

// The module the framework's windows are registered under.
constexpr std::string_view FrameworkModule = "framework";

// Compiles and registers the framework's windows, once.
void RegisterFrameworkWindows();

} // namespace morvex

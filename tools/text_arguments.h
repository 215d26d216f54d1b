// Text crosses the command line in UTF-8, while the runtime's text is
// Windows-1252: text arguments are converted on the way in, refusing what
// Windows-1252 cannot hold, and text output is converted on the way out.
// File names are not text in this sense and stay as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvex::tools {

// The UTF-8 argument in Windows-1252; nothing, with the problem, when it
// holds a character Windows-1252 lacks or is not UTF-8.
std::optional<std::string> WindowsText(std::string_view argument, std::string& problem);

// Windows-1252 text for the terminal.
std::string Utf8Text(std::string_view text);

} // namespace morvex::tools

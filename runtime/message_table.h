// The runtime's message texts by error number, and the hook through which the
// environment file's replacement texts are looked up first.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvex {

// The built-in text of an error number, or an empty view when it has none.
std::string_view BuiltInMessage(int number);

// A replacement lookup: the text for a number, or nothing to fall back on the
// built-in table. Installed once at start-up, when the environment file is read.
using MessageOverride = std::optional<std::string_view> (*)(int number);
void SetMessageOverride(MessageOverride lookup);

// The message for an error number: the replacement text first, then the
// built-in table, else "Unknown Error Posted : n".
std::string MessageText(int number);

} // namespace morvex

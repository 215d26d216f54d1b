// The record layout that query and browse read a file with: a built-in one
// named by --layout, or one described in a text file by --layout-file.
#pragma once

#include "files/record_layout.h"
#include "tools/command_line.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace morvex::tools {

// The layouts of the program's own files, by name in any case: Customer, Goods.
std::optional<RecordLayout> BuiltInLayout(std::string_view name);

// The layout the command line asks for. On a problem the message is written
// for `command`, `exit_code` set (2 for a usage error, 1 for a layout file
// that cannot be read or parsed) and nothing returned.
std::optional<RecordLayout> LayoutFromOptions(const CommandLine& line, std::string_view command,
                                              std::ostream& err, int& exit_code);

// The runtime's current error as "code text[: extra]".
std::string RuntimeErrorText();

} // namespace morvex::tools

// The command line of one morvex subcommand, read the same way by all of
// them: options first or among the operands, "--" ends the options, and
// "--help" (or "-h") before it asks for the usage text.
//
// An argument is an option when it starts with "--" or with "-" and a
// letter, so a negative number such as -5 is an operand without "--"; an
// operand that looks like an option ("--5", a file named "--x") follows "--".
// An option that takes a value takes the next argument, or the text after
// "=" in "--name=value".
#pragma once

#include "tools/command.h"

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::tools {

struct OptionSpec {
    std::string_view name; // "--env", "-o"
    bool takes_value = false;
    std::string_view value_name = "a value"; // for "--day needs a day of the month"
};

struct GivenOption {
    std::string_view name;
    std::string_view value;
};

struct CommandLine {
    bool help = false;
    std::vector<GivenOption> options; // in the order given
    std::vector<std::string_view> operands;

    bool has(std::string_view name) const;
    // The value given last for the option.
    std::optional<std::string_view> value(std::string_view name) const;
};

// Splits `args` by the options `specs` names. Returns nothing, with the
// problem ("unknown option '--x'", "--env needs a value"), for a command
// line that cannot be read.
std::optional<CommandLine> ParseCommandLine(Arguments args, std::span<const OptionSpec> specs,
                                            std::string& problem);

// Reports a bad command line of `command` and gives its exit status, 2.
int UsageError(std::ostream& err, std::string_view command, std::string_view message);

} // namespace morvex::tools

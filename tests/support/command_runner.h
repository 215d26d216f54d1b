// Runs a program as a child process, or a command of the morvex tool in this
// process, and collects what it printed and how it ended: for tests of the
// command-line tools and of whole programs. (Code of the test itself run in a
// forked child is tests/support/child_process.h.)
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::testing {

struct CommandResult {
    int exit_code = -1; // -1 when it did not exit normally (a signal, a timeout)
    int signal = 0;     // the signal that ended it, 0 when none
    bool timed_out = false;
    std::string out;
    std::string err;
};

// argv[0] is the program's path. Standard input gets `input` and is closed.
// A child still running after `timeout` is killed.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(60),
                         const std::vector<std::string>& extra_environment = {});

// A command of the morvex tool (tools/command.h): the arguments after the
// command's name, the output streams; it returns its exit status.
using ToolCommand = std::function<int(std::span<const std::string_view>, std::ostream&, std::ostream&)>;

// Runs the command in this process; exit_code is the status it returned.
CommandResult RunToolCommand(const ToolCommand& command, std::span<const std::string_view> args);
CommandResult RunToolCommand(const ToolCommand& command, const std::vector<std::string>& args);

} // namespace morvex::testing

// Runs a program as a child process and collects what it printed and how it
// ended, for tests of the command-line tools and of whole programs.
#pragma once

#include <chrono>
#include <string>
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

} // namespace morvex::testing

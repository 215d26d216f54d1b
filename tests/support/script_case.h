// Scenario cases: a script for the script driver with the output it must
// print written beside it. In a case file, lines starting with ">" are the
// output the commands before them print; lines starting with a directive
// word that the caller names (say "use" or "procedure") set up the run;
// "${CASES}" stands for the cases folder; every other line is the script.
// Each `shot NAME` of a case is compared with golden/NAME.png of the cases
// folder (rewritten by --rebaseline after a deliberate change).
#pragma once

#include "tests/support/command_runner.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace morvex::testing {

struct ScriptCase {
    std::string name;
    std::map<std::string, std::string> directives; // directive word -> the rest of its line
    std::string script;
    std::string expected;
    std::vector<std::string> shots;
};

ScriptCase ReadScriptCase(const std::filesystem::path& path, const std::vector<std::string>& directive_words);

// The names of the cases (*.case) of a folder, sorted.
std::vector<std::string> ScriptCaseNames(const std::filesystem::path& folder);

// Checks a finished run: its exit status, the expected output, and each
// shot (written to `shots_directory`) against the folder's goldens.
void CheckScriptCaseRun(const ScriptCase& script_case, const CommandResult& result,
                        const std::filesystem::path& shots_directory,
                        const std::filesystem::path& cases_folder, int expected_exit = 0);

// A test name made of a case name (letters and digits only).
std::string ScriptCaseTestName(const std::string& case_name);

} // namespace morvex::testing

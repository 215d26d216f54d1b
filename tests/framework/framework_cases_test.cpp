// Scenario tests of the framework: each file in cases/ is a script case
// (tests/support/script_case.h) run by the test_procedures program. Its
// directive "procedure NAME [REQUEST] [NAME=N]..." names the test procedure
// the program runs, the request it is called with and the form settings.
// Fonts are pinned to DejaVu Sans.
#include "tests/support/command_runner.h"
#include "tests/support/script_case.h"
#include "tests/support/temp_directory.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace morvex {
namespace {

namespace fs = std::filesystem;

class FrameworkCase : public ::testing::TestWithParam<std::string> {};

TEST_P(FrameworkCase, PrintsWhatItExpectsAndDrawsItsGoldens) {
    const testing::ScriptCase c =
        testing::ReadScriptCase(fs::path(MORVEX_CASES_DIR) / (GetParam() + ".case"), {"procedure"});
    std::istringstream words(c.directives.contains("procedure") ? c.directives.at("procedure")
                                                                : std::string());
    std::string procedure;
    words >> procedure;
    ASSERT_FALSE(procedure.empty()) << "the case names no procedure";
    testing::TempDirectory dir("framework_case");
    const std::string script_path = dir.file(c.name + ".script");
    std::ofstream(script_path) << c.script;
    std::vector<std::string> argv{MORVEX_TEST_PROCEDURES,
                                  "--procedure",
                                  procedure,
                                  "--script",
                                  script_path,
                                  "--shots",
                                  dir.path(),
                                  "--font",
                                  painter::testing::DejaVuSansPath};
    for (std::string word; words >> word;) {
        argv.push_back(word.find('=') == std::string::npos ? "--request" : "--set");
        argv.push_back(word);
    }
    const testing::CommandResult result =
        testing::RunCommand(argv, {}, std::chrono::seconds(60), {"MORVEX_INIDIR=" + dir.path()});
    testing::CheckScriptCaseRun(c, result, dir.path(), MORVEX_CASES_DIR);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameworkCase,
                         ::testing::ValuesIn(testing::ScriptCaseNames(MORVEX_CASES_DIR)),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return testing::ScriptCaseTestName(info.param);
                         });

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

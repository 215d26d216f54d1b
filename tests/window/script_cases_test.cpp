// Scenario tests of windows: each file in cases/ is a script case
// (tests/support/script_case.h) run by `morvex show`; its directive
// "use FILE.wnd [LABEL] [--frame]" names the window (with --frame, opened as
// the application frame). Fonts are pinned to DejaVu Sans.
#include "tests/support/command_runner.h"
#include "tests/support/script_case.h"
#include "tests/support/temp_directory.h"
#include "tests/support/xvfb_server.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace morvex {
namespace {

namespace fs = std::filesystem;

// Runs a case with `morvex show` on a backend and checks its output and
// pictures; `environment` adds DISPLAY for the x11 backend.
void run_case(const std::string& name, const std::string& backend,
              const std::vector<std::string>& environment) {
    const testing::ScriptCase c =
        testing::ReadScriptCase(fs::path(MORVEX_CASES_DIR) / (name + ".case"), {"use"});
    // use FILE.wnd [LABEL] [--frame]
    std::istringstream use(c.directives.contains("use") ? c.directives.at("use") : std::string());
    std::string window_file, label, options;
    use >> window_file;
    for (std::string word; use >> word;)
        (word.starts_with("--") ? options : label) = word;
    ASSERT_FALSE(window_file.empty()) << "the case names no window (use FILE.wnd)";
    testing::TempDirectory dir("script_case");
    const std::string script_path = dir.file(c.name + ".script");
    std::ofstream(script_path) << c.script;
    std::vector<std::string> argv{MORVEX_TOOL,
                                  "show",
                                  std::string(MORVEX_CASES_DIR) + "/" + window_file,
                                  "--script",
                                  script_path,
                                  "--shots",
                                  dir.path(),
                                  "--backend",
                                  backend,
                                  "--font",
                                  painter::testing::DejaVuSansPath};
    if (!label.empty()) {
        argv.push_back("--window");
        argv.push_back(label);
    }
    if (!options.empty())
        argv.push_back(options);
    std::vector<std::string> extra = environment;
    extra.push_back("MORVEX_INIDIR=" + dir.path());
    const testing::CommandResult result = testing::RunCommand(argv, {}, std::chrono::seconds(60), extra);
    testing::CheckScriptCaseRun(c, result, dir.path(), MORVEX_CASES_DIR);
}

class ScriptCase : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptCase, PrintsWhatItExpectsAndDrawsItsGoldens) {
    run_case(GetParam(), "headless", {});
}

// The same script through a real X server: input by XTEST, pictures read
// back from the server; output and pixels must equal the headless run's.
TEST(ScriptCaseX11, InputThroughTheServerGivesTheHeadlessOutputAndPixels) {
    if (!std::getenv("MORVEX_XVFB_TESTS"))
        GTEST_SKIP() << "run by the xvfb-labelled test";
    std::string error;
    const auto server = testing::XvfbServer::start(error);
    ASSERT_TRUE(server) << error;
    for (const char* name : {"buttons", "entries", "frame"}) {
        SCOPED_TRACE(name);
        run_case(name, "x11", {"DISPLAY=" + server->display_name()});
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ScriptCase, ::testing::ValuesIn(testing::ScriptCaseNames(MORVEX_CASES_DIR)),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return testing::ScriptCaseTestName(info.param);
                         });

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

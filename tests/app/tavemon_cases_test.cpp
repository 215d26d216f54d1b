// Scenario tests of the program: each file in cases/ is a script case
// (tests/support/script_case.h) run by `tavemon --script` with its INI files
// in a temporary directory. Directives: "tavemon ARGS..." adds options to the
// command line (--today, --pick-date ...); "exit N" is the exit status the
// run must end with (default 0). Fonts are pinned to DejaVu Sans.
#include "tests/support/command_runner.h"
#include "tests/support/script_case.h"
#include "tests/support/temp_directory.h"
#include "tests/support/xvfb_server.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace morvex {
namespace {

namespace fs = std::filesystem;

void run_case(const std::string& name, const std::string& backend,
              const std::vector<std::string>& environment) {
    const testing::ScriptCase c =
        testing::ReadScriptCase(fs::path(MORVEX_CASES_DIR) / (name + ".case"), {"tavemon", "exit", "data"});
    testing::TempDirectory dir("tavemon_case");
    // "data": the demo's Customer and Goods files, imported into the directory
    // the program runs in (its data files are opened there).
    if (c.directives.contains("data")) {
        for (const char* file : {"Customer", "Goods"}) {
            std::string csv = std::string(file) == "Customer" ? "customers.csv" : "goods.csv";
            const testing::CommandResult imported =
                testing::RunCommand({MORVEX_TOOL, "qvd", "import", dir.file(std::string(file) + ".QVD"),
                                     "--layout", file, std::string(MORVEX_DEMO_DATA) + "/" + csv});
            ASSERT_EQ(imported.exit_code, 0) << imported.err;
        }
    }
    const std::string script_path = dir.file(c.name + ".script");
    std::ofstream(script_path) << c.script;
    // The program runs in the case's directory, where its data files are.
    std::vector<std::string> argv{"/bin/sh",
                                  "-c",
                                  "cd \"$0\" && exec \"$@\"",
                                  dir.path(),
                                  TAVEMON,
                                  "--script",
                                  script_path,
                                  "--shots",
                                  dir.path(),
                                  "--backend",
                                  backend,
                                  "--font",
                                  painter::testing::DejaVuSansPath};
    if (c.directives.contains("tavemon")) {
        std::istringstream words(c.directives.at("tavemon"));
        for (std::string word; words >> word;)
            argv.push_back(word);
    }
    const int expected_exit = c.directives.contains("exit") ? std::atoi(c.directives.at("exit").c_str()) : 0;
    std::vector<std::string> extra = environment;
    extra.push_back("MORVEX_INIDIR=" + dir.path());
    const testing::CommandResult result = testing::RunCommand(argv, {}, std::chrono::seconds(120), extra);
    testing::CheckScriptCaseRun(c, result, dir.path(), MORVEX_CASES_DIR, expected_exit);
}

class TavemonCase : public ::testing::TestWithParam<std::string> {};

TEST_P(TavemonCase, PrintsWhatItExpectsAndDrawsItsGoldens) {
    run_case(GetParam(), "headless", {});
}

// Every window through a real X server: the same output and pixels.
TEST(TavemonCaseX11, TheWindowsDrawTheSamePixelsOnTheServer) {
    if (!std::getenv("MORVEX_XVFB_TESTS"))
        GTEST_SKIP() << "run by the xvfb-labelled test";
    std::string error;
    const auto server = testing::XvfbServer::start(error);
    ASSERT_TRUE(server) << error;
    run_case("windows", "x11", {"DISPLAY=" + server->display_name()});
}

INSTANTIATE_TEST_SUITE_P(Cases, TavemonCase, ::testing::ValuesIn(testing::ScriptCaseNames(MORVEX_CASES_DIR)),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return testing::ScriptCaseTestName(info.param);
                         });

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    return morvex::painter::testing::RunTestsWithGoldens(argc, argv);
}

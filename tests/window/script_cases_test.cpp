// Scenario tests of windows: each file in cases/ is a script for the script
// driver with its expected output beside it. Lines starting with ">" are
// the output the commands before them print; "use FILE.wnd [LABEL]" names
// the window (with --frame, opened as the application frame); "${CASES}" stands for the cases folder; everything else is the
// script. Every `shot NAME` of a case is
// compared with cases/golden/NAME.png (run with --rebaseline to rewrite the
// goldens after a deliberate change). Fonts are pinned to DejaVu Sans.
#include "platform/png_file.h"
#include "tests/support/command_runner.h"
#include "tests/support/temp_directory.h"
#include "tests/support/xvfb_server.h"
#include "tests/window/painter/golden_image.h"
#include "tests/window/painter/test_fonts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace morvex {
namespace {

namespace fs = std::filesystem;

struct Case {
    std::string name;
    std::string window_file;
    std::string label;
    std::string options; // "--frame"
    std::string script;
    std::string expected;
    std::vector<std::string> shots;
};

Case read_case(const fs::path& path) {
    Case c;
    c.name = path.stem().string();
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(">")) {
            c.expected += line.substr(line.size() > 1 && line[1] == ' ' ? 2 : 1) + "\n";
            continue;
        }
        if (line.starts_with("use ")) {
            // use FILE.wnd [LABEL] [--frame]
            std::istringstream words(line.substr(4));
            words >> c.window_file;
            for (std::string word; words >> word;)
                (word.starts_with("--") ? c.options : c.label) = word;
            continue;
        }
        if (line.starts_with("shot "))
            c.shots.push_back(line.substr(5));
        // ${CASES} stands for this folder, where a case's data files lie.
        for (std::size_t at = line.find("${CASES}"); at != std::string::npos; at = line.find("${CASES}"))
            line.replace(at, 8, MORVEX_CASES_DIR);
        c.script += line + "\n";
    }
    return c;
}

std::vector<std::string> case_names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(MORVEX_CASES_DIR))
        if (entry.path().extension() == ".case")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a case with `morvex show` on a backend and checks its output and
// pictures; `environment` adds DISPLAY for the x11 backend.
void run_case(const std::string& name, const std::string& backend, const std::vector<std::string>& environment) {
    const Case c = read_case(fs::path(MORVEX_CASES_DIR) / (name + ".case"));
    ASSERT_FALSE(c.window_file.empty()) << "the case names no window (use FILE.wnd)";
    testing::TempDirectory dir("script_case");
    const std::string script_path = dir.file(c.name + ".script");
    std::ofstream(script_path) << c.script;
    std::vector<std::string> argv{MORVEX_TOOL, "show", std::string(MORVEX_CASES_DIR) + "/" + c.window_file,
                                  "--script", script_path, "--shots", dir.path(), "--backend", backend,
                                  "--font", painter::testing::DejaVuSansPath};
    if (!c.label.empty()) {
        argv.push_back("--window");
        argv.push_back(c.label);
    }
    if (!c.options.empty())
        argv.push_back(c.options);
    std::vector<std::string> extra = environment;
    extra.push_back("MORVEX_INIDIR=" + dir.path());
    const testing::CommandResult result = testing::RunCommand(argv, {}, std::chrono::seconds(60), extra);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, c.expected) << "stderr:\n" << result.err;
    for (const std::string& shot : c.shots) {
        const auto image = platform::read_png(dir.file(shot + ".png"));
        ASSERT_TRUE(image) << "no picture " << shot;
        EXPECT_TRUE(painter::testing::matches_golden_file(*image, std::string(MORVEX_CASES_DIR) + "/golden/" + shot + ".png",
                                                          shot, {2, 0}));
    }
}

class ScriptCase : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptCase, PrintsWhatItExpectsAndDrawsItsGoldens) { run_case(GetParam(), "headless", {}); }

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

INSTANTIATE_TEST_SUITE_P(Cases, ScriptCase, ::testing::ValuesIn(case_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
                             return name;
                         });

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--rebaseline") == 0)
            morvex::painter::testing::set_rebaseline(true);
    return RUN_ALL_TESTS();
}

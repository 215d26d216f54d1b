#include "tests/support/script_case.h"

#include "platform/png_file.h"
#include "tests/window/painter/golden_image.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <gtest/gtest.h>

namespace morvex::testing {

namespace fs = std::filesystem;

ScriptCase ReadScriptCase(const fs::path& path, const std::vector<std::string>& directive_words) {
    ScriptCase c;
    c.name = path.stem().string();
    const std::string folder = path.parent_path().string();
    std::ifstream in(path);
    EXPECT_TRUE(in) << "no case file " << path;
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(">")) {
            c.expected += line.substr(line.size() > 1 && line[1] == ' ' ? 2 : 1) + "\n";
            continue;
        }
        const std::string word = line.substr(0, line.find(' '));
        if (std::find(directive_words.begin(), directive_words.end(), word) != directive_words.end()) {
            c.directives[word] = line.size() > word.size() ? line.substr(word.size() + 1) : std::string();
            continue;
        }
        if (line.starts_with("shot "))
            c.shots.push_back(line.substr(5));
        for (std::size_t at = line.find("${CASES}"); at != std::string::npos; at = line.find("${CASES}"))
            line.replace(at, 8, folder);
        c.script += line + "\n";
    }
    return c;
}

std::vector<std::string> ScriptCaseNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".case")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

void CheckScriptCaseRun(const ScriptCase& script_case, const CommandResult& result,
                        const fs::path& shots_directory, const fs::path& cases_folder, int expected_exit) {
    EXPECT_EQ(result.exit_code, expected_exit) << result.err;
    EXPECT_EQ(result.out, script_case.expected) << "stderr:\n" << result.err;
    for (const std::string& shot : script_case.shots) {
        const auto image = platform::read_png((shots_directory / (shot + ".png")).string());
        ASSERT_TRUE(image) << "no picture " << shot;
        EXPECT_TRUE(painter::testing::matches_golden_file(
            *image, (cases_folder / "golden" / (shot + ".png")).string(), shot, {2, 0}));
    }
}

std::string ScriptCaseTestName(const std::string& case_name) {
    std::string name = case_name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

} // namespace morvex::testing

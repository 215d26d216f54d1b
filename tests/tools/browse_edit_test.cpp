// morvex browse --edit, driven by scripts, headless: rows of a Customer file
// changed, inserted and deleted in the list itself. Each case's outcome is
// read back independently (morvex qvd export) and compared with the records
// the case must leave.
#include "files/file_statements.h"
#include "runtime/error_state.h"
#include "tests/support/command_runner.h"
#include "tests/support/customer_file.h"
#include "tests/support/temp_directory.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace morvex::tools {
namespace {

// The list, the Insert, Change and Delete buttons of the browse window.
constexpr std::string_view Change = "click 8\n";
constexpr std::string_view Insert = "click 7\n";
constexpr std::string_view Delete = "click 9\n";

struct EditCase {
    const char* label;
    std::string script;
    // "id name" of every record afterwards, in id order.
    std::vector<std::string> records;
};

std::vector<std::string> with(std::vector<std::string> records, int id, const std::string& replacement) {
    std::vector<std::string> out;
    for (const std::string& r : records) {
        if (r.starts_with(std::to_string(id) + " "))
            if (replacement.empty())
                continue;
            else
                out.push_back(replacement);
        else
            out.push_back(r);
    }
    return out;
}

const std::vector<std::string> Original{"1 Name 1", "2 Name 2", "3 Name 3", "4 Name 4", "5 Name 5"};

std::string s(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view p : parts)
        out += p;
    return out;
}

class BrowseEditTest : public ::testing::TestWithParam<EditCase> {
protected:
    void SetUp() override {
        auto file = testing::DeclareQvdFile(testing::CustomerLayout, path());
        CREATE(*file);
        OPEN(*file, AccessReadWrite | ShareDenyAll);
        for (int i = 1; i <= 5; ++i) {
            uint8_t* record = file->buffer();
            std::memset(record, ' ', 68);
            const int32_t start = 73200 + i;
            std::memcpy(record, &i, 4);
            const std::string name = "Name " + std::to_string(i);
            std::memcpy(record + 4, name.data(), name.size());
            std::memcpy(record + 64, &start, 4);
            ADD(*file);
        }
        ASSERT_EQ(ErrorCode(), 0);
        CLOSE(*file);
    }

    std::string path() const { return dir.file("Customer.QVD"); }

    testing::CommandResult browse(const std::string& script) {
        const std::string script_path = dir.file("edit.script");
        std::ofstream(script_path) << script;
        return testing::RunCommand({MORVEX_TOOL, "browse", path(), "--layout", "Customer", "--edit",
                                    "--script", script_path, "--backend", "headless", "--shots", dir.path()},
                                   {}, std::chrono::seconds(60));
    }

    // "id name" of every record, read by the QVD engine's export.
    std::vector<std::string> records() {
        const testing::CommandResult exported =
            testing::RunCommand({MORVEX_TOOL, "qvd", "export", path(), "--layout", "Customer"});
        EXPECT_EQ(exported.exit_code, 0) << exported.err;
        std::vector<std::string> out;
        std::istringstream lines(exported.out);
        std::string line;
        std::getline(lines, line); // the header
        while (std::getline(lines, line)) {
            const size_t first = line.find(',');
            const size_t second = line.find(',', first + 1);
            out.push_back(line.substr(0, first) + " " + line.substr(first + 1, second - first - 1));
        }
        std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
            return std::atoi(a.c_str()) < std::atoi(b.c_str());
        });
        return out;
    }

    testing::TempDirectory dir{"browse-edit"};
};

TEST_P(BrowseEditTest, LeavesTheRecordsTheEditAsksFor) {
    const EditCase& c = GetParam();
    const testing::CommandResult run = browse(c.script);
    ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
    EXPECT_EQ(records(), c.records) << run.out;
}

const EditCase Cases[] = {
    {"EnterSavesTheChangedCell", s({Change, "key Tab\ntype Zed\nkey Enter\n"}), with(Original, 1, "1 Zed")},
    {"EscapeLeavesTheRecordAsItWas", s({Change, "key Tab\ntype Zed\nkey Escape\n"}), Original},
    {"DownSavesTheRow", s({Change, "key Tab\ntype Zed\nkey Down\n"}), with(Original, 1, "1 Zed")},
    // Tab on the last editable column finishes the row; TABACTION 0 asks.
    {"TabPastTheLastColumnAsksAndNoDiscards",
     s({Change, "key Tab\ntype Zed\nanswer No\nkey Tab\nkey Tab\nkey Tab\nkey Tab\n"}), Original},
    {"TabPastTheLastColumnAsksAndYesSaves",
     s({Change, "key Tab\ntype Zed\nanswer Yes\nkey Tab\nkey Tab\nkey Tab\nkey Tab\n"}),
     with(Original, 1, "1 Zed")},
    // No cell altered: no question, so the delete that follows finds the window free.
    {"UnchangedRowIsLeftWithoutAQuestion",
     s({Change, "key Tab\nkey Tab\nkey Tab\nkey Tab\nkey Tab\nanswer Yes\n", Delete}), with(Original, 1, "")},
    {"DeleteAsksFirstAndNoKeepsTheRecord", s({"answer No\n", Delete}), Original},
    {"DeleteAsksFirstAndYesDeletes", s({"key Down\nanswer Yes\n", Delete}), with(Original, 2, "")},
    {"InsertedRowIsAddedOnEnter", s({Insert, "type 99\nkey Tab\ntype New\nkey Enter\n"}),
     [] {
         auto r = Original;
         r.push_back("99 New");
         return r;
     }()},
    {"EscapeOnANewRowAddsNothing", s({Insert, "type 99\nkey Tab\ntype New\nkey Escape\n"}), Original},
    // A button clicked while a row is edited: the row is saved (FOCUSLOSSACTION 0),
    // then the button's own action runs.
    {"ButtonFinishesTheRowThenActs", s({Change, "key Tab\ntype Zed\nanswer Yes\n", Delete}),
     with(Original, 1, "")},
    {"ButtonFinishesTheRowThenActsAndNoKeeps", s({Change, "key Tab\ntype Zed\nanswer No\n", Delete}),
     with(Original, 1, "1 Zed")},
};

INSTANTIATE_TEST_SUITE_P(Scripts, BrowseEditTest, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace morvex::tools

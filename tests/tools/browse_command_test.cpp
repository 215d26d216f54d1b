// morvex browse over Customer files of 25 and 10,000 records, driven by
// scripts, headless: every page the list shows is checked against the rows
// of an independent query of the same file (morvex query) in the key's
// order; paging at both ends, the locators, and a file that cannot open.
#include "files/file_statements.h"
#include "runtime/error_state.h"
#include "tests/support/command_runner.h"
#include "tests/support/customer_file.h"
#include "tests/support/temp_directory.h"
#include "tools/command.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace morvex::tools {
namespace {

struct Row {
    std::string id;
    std::string name;
};

// One `rows 3` block: the rows shown and the selected row.
struct Page {
    std::vector<std::string> ids;
    int selected = 0;
};

std::string trimmed(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

class BrowseCommandTest : public ::testing::TestWithParam<int> {
protected:
    // Names whose order differs from the ids': record i is "C" and a number
    // that walks the file in steps of 37 (prime to both sizes).
    void SetUp() override {
        const int count = GetParam();
        auto file = testing::DeclareQvdFile(testing::CustomerLayout, path());
        CREATE(*file);
        OPEN(*file, AccessReadWrite | ShareDenyAll);
        LOGOUT(*file);
        for (int i = 1; i <= count; ++i) {
            uint8_t* record = file->buffer();
            std::memset(record, ' ', 68);
            const int32_t start = 73200 + i % 30;
            std::memcpy(record, &i, 4);
            const std::string name = "C" + std::to_string(100000 + (i * 37) % count);
            std::memcpy(record + 4, name.data(), name.size());
            std::memcpy(record + 64, &start, 4);
            ADD(*file);
        }
        COMMIT(*file);
        ASSERT_EQ(ErrorCode(), 0);
        CLOSE(*file);
        // The expected order, from the view engine by its query command.
        const auto query =
            testing::RunToolCommand(run_query, std::vector<std::string>{path(), "--layout", "Customer",
                                                                        "--order", "UPPER(CUS:NAME)"});
        ASSERT_EQ(query.exit_code, 0) << query.err;
        std::istringstream lines(query.out);
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) {
            const size_t comma = line.find(',');
            rows.push_back(
                {line.substr(0, comma), line.substr(comma + 1, line.find(',', comma + 1) - comma - 1)});
        }
        ASSERT_EQ(static_cast<int>(rows.size()), count);
    }

    std::string path() const { return dir.file("Customer.QVD"); }

    // The rows the list shows, read from the list itself.
    int page_size() {
        const std::string sizing = dir.file("items.script");
        std::ofstream(sizing) << "get 3 Items\n";
        const testing::CommandResult run =
            testing::RunCommand({MORVEX_TOOL, "browse", path(), "--layout", "Customer", "--script", sizing,
                                 "--backend", "headless"});
        EXPECT_EQ(run.exit_code, 0) << run.err;
        return std::atoi(run.out.c_str());
    }

    // Runs the script; each "echo NAME" starts the block of NAME.
    std::map<std::string, Page> browse(const std::string& script, std::vector<std::string> options = {}) {
        const std::string script_path = dir.file("browse.script");
        std::ofstream(script_path) << script;
        std::vector<std::string> argv{MORVEX_TOOL,  "browse",   path(),      "--layout",  "Customer", "--key",
                                      "CUS:BYNAME", "--script", script_path, "--backend", "headless"};
        argv.insert(argv.end(), options.begin(), options.end());
        const testing::CommandResult result = testing::RunCommand(argv, {}, std::chrono::seconds(60));
        EXPECT_EQ(result.exit_code, 0) << result.err << result.out;
        std::map<std::string, Page> pages;
        std::istringstream lines(result.out);
        std::string line;
        std::string current;
        while (std::getline(lines, line)) {
            if (line.starts_with("== ")) {
                current = line.substr(3);
            } else if (line.starts_with("selected ")) {
                pages[current].selected = std::atoi(line.c_str() + 9);
            } else if (!line.empty() && line[0] != '#' && !current.empty()) {
                std::string id = trimmed(line.substr(0, line.find('|')));
                std::erase(id, ','); // the picture groups thousands
                pages[current].ids.push_back(id);
            }
        }
        return pages;
    }

    // The ids of rows [first, first + n) of the query.
    std::vector<std::string> ids(int first, int n) const {
        std::vector<std::string> out;
        for (int i = std::max(0, first); i < std::min<int>(first + n, static_cast<int>(rows.size())); ++i)
            out.push_back(rows[static_cast<size_t>(i)].id);
        return out;
    }
    // The 0-based query row of a page's selected row.
    int selected_index(const Page& page) const {
        if (page.selected < 1 || page.selected > static_cast<int>(page.ids.size()))
            return -1;
        const std::string& id = page.ids[static_cast<size_t>(page.selected - 1)];
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].id == id)
                return static_cast<int>(i);
        return -1;
    }

    testing::TempDirectory dir{"browse"};
    std::vector<Row> rows;
};

constexpr std::string_view PagingScript = "echo == first\nrows 3\n"
                                          "key Down\nkey Down\necho == down2\nrows 3\n"
                                          "key End\necho == bottom\nrows 3\n"
                                          "key PageUp\necho == bottom-pageup\nrows 3\n"
                                          "key Down\nkey Down\necho == bottom-again\nrows 3\n"
                                          "key Home\necho == top\nrows 3\n"
                                          "key Up\necho == top-up\nrows 3\n"
                                          "key PageDown\necho == pagedown\nrows 3\n"
                                          "key PageDown\necho == pagedown2\nrows 3\n"
                                          "click 2004\necho == toolbar-bottom\nrows 3\n";

TEST_P(BrowseCommandTest, PagesFollowTheKeysOrderAtBothEnds) {
    const int p = page_size();
    ASSERT_GT(p, 5);
    const int n = GetParam();

    auto pages = browse(std::string(PagingScript));
    EXPECT_EQ(pages["first"].ids, ids(0, p));
    EXPECT_EQ(pages["first"].selected, 1);
    EXPECT_EQ(pages["down2"].ids, ids(0, p));
    EXPECT_EQ(pages["down2"].selected, 3);
    // The last page with its last row selected.
    EXPECT_EQ(pages["bottom"].ids, ids(n - p, p));
    EXPECT_EQ(pages["bottom"].selected, p);
    // A page up from there selects the record a page above; the page is
    // full whatever is left above it.
    EXPECT_EQ(selected_index(pages["bottom-pageup"]), n - 1 - p);
    EXPECT_EQ(static_cast<int>(pages["bottom-pageup"].ids.size()), p);
    EXPECT_EQ(pages["bottom-pageup"].ids, ids(std::max(0, n - 2 * p), p));
    EXPECT_EQ(selected_index(pages["bottom-again"]), n - p + 1);
    // At the top, Up stays.
    EXPECT_EQ(pages["top"].ids, ids(0, p));
    EXPECT_EQ(pages["top"].selected, 1);
    EXPECT_EQ(pages["top-up"].ids, ids(0, p));
    EXPECT_EQ(pages["top-up"].selected, 1);
    // Page down keeps the selected row while the file lasts.
    EXPECT_EQ(selected_index(pages["pagedown"]), std::min(p, n - 1));
    EXPECT_EQ(selected_index(pages["pagedown2"]), std::min(2 * p, n - 1));
    EXPECT_EQ(pages["toolbar-bottom"].ids, ids(n - p, p));
}

TEST_P(BrowseCommandTest, LocatorsFindTheFirstNameAtOrAfterTheTypedText) {
    const int n = GetParam();
    // A name from the middle of the file, and a prefix of it.
    const Row& target = rows[static_cast<size_t>(n / 2)];
    const std::string prefix = target.name.substr(0, target.name.size() - 1);
    int first = 0;
    while (rows[static_cast<size_t>(first)].name.compare(0, prefix.size(), prefix) != 0)
        ++first;

    // Incremental: the typed text (lower case: the key ignores case), then
    // Backspace takes a character back.
    std::string lowered = prefix;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](char c) { return char(std::tolower(c)); });
    auto pages = browse("type " + lowered + "\necho == typed\nrows 3\nget 2 Text\n" +
                        "key Backspace\necho == back\nrows 3\n");
    EXPECT_EQ(selected_index(pages["typed"]), first) << prefix;
    const std::string shorter = prefix.substr(0, prefix.size() - 1);
    int first_shorter = 0;
    while (rows[static_cast<size_t>(first_shorter)].name.compare(0, shorter.size(), shorter) != 0)
        ++first_shorter;
    EXPECT_EQ(selected_index(pages["back"]), first_shorter);

    // Step: one letter positions at the first name at or after it; the
    // same letter again moves one row down.
    pages = browse("type c\necho == c\nrows 3\ntype c\necho == cc\nrows 3\ntype z\necho == z\nrows 3\n",
                   {"--locator", "step"});
    // Every name begins with C: each C moves one row on.
    EXPECT_EQ(selected_index(pages["c"]), 1);
    EXPECT_EQ(selected_index(pages["cc"]), 2);
    EXPECT_EQ(selected_index(pages["z"]), n - 1); // nothing at or after Z: the last record

    // Filtered: only the names that begin with the typed text.
    pages = browse("type " + prefix + "\necho == filtered\nrows 3\n", {"--locator", "filtered"});
    std::vector<std::string> matching;
    for (const Row& row : rows)
        if (row.name.compare(0, prefix.size(), prefix) == 0)
            matching.push_back(row.id);
    ASSERT_FALSE(matching.empty());
    matching.resize(std::min(matching.size(), static_cast<size_t>(page_size())));
    EXPECT_EQ(pages["filtered"].ids, matching);
}

TEST_P(BrowseCommandTest, QueryByExampleKeepsTheRecordsOfItsFilter) {
    // The name row of the query dialog: its value is two fields after the first row's.
    const Row& target = rows[static_cast<size_t>(GetParam() / 3)];
    const std::string prefix = target.name.substr(0, target.name.size() - 1);
    auto pages = browse("click 5\nkey Tab\nkey Tab\ntype ^" + prefix +
                        "*\nclick 1\necho == query\nrows 3\n"
                        "key End\necho == end\nrows 3\n");
    const auto query = testing::RunToolCommand(
        run_query, std::vector<std::string>{
                       path(), "--layout", "Customer", "--order", "UPPER(CUS:NAME)", "--filter",
                       "SUB(UPPER(CUS:NAME),1," + std::to_string(prefix.size()) + ") = '" + prefix + "'"});
    std::vector<std::string> expected;
    std::istringstream lines(query.out);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line))
        expected.push_back(line.substr(0, line.find(',')));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(pages["query"].ids, expected);
    EXPECT_EQ(pages["end"].ids, expected);
    EXPECT_EQ(pages["end"].selected, static_cast<int>(expected.size()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BrowseCommandTest, ::testing::Values(25, 10000));

TEST(BrowseCommand, UsageAndFileErrorsAreReported) {
    testing::TempDirectory dir{"browse_errors"};
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{dir.file("Missing.QVD"), "--layout", "Customer", "--backend", "headless"}, 1, "cannot open"},
        {{dir.file("x"), "--layout", "Orders"}, 2, "unknown layout"},
        {{dir.file("x")}, 2, "give --layout"},
        {{dir.file("x"), "--layout", "Customer", "--key", "CUS:BYNOTHING"}, 2, "no key 'CUS:BYNOTHING'"},
        {{dir.file("x"), "--layout", "Customer", "--locator", "psychic"}, 2, "--locator"},
    };
    for (const auto& c : cases) {
        const auto result = testing::RunToolCommand(run_browse, c.args);
        EXPECT_EQ(result.exit_code, c.status) << ::testing::PrintToString(c.args);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

} // namespace
} // namespace morvex::tools

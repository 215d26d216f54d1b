// The program's start and end as the runtime runs them: the version check's
// verdicts and texts, and the module initialisers' order.
#include "platform/message_box.h"
#include "runtime/program_modules.h"
#include "runtime/version_check.h"
#include "tests/support/child_process.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace morvex {
namespace {

TEST(VersionCheck, PassesAReleaseOfThisMajorUpToItsMinorAndSaysWhyOtherwise) {
    struct Row {
        int32_t code, minor, release;
        int passes;
        std::string text;
    };
    const Row rows[] = {
        {261, 2, 0, 1, ""},
        {261, 0, 7, 1, ""},
        {261, 3, 0, 0,
         "This program or a component DLL requires M5RUNX version 5.003.00 or later\r\nThis version is "
         "5.002.00"},
        {262, 1, 4, 0,
         "This program or a component DLL requires M5RUNX version 6.001.04 or later\r\nThis version is "
         "5.002.00"},
        {5, 2, 0, 0,
         "This program or a component DLL was built using the beta release of Morvex 5\r\nIt will not "
         "operate "
         "correctly with this copy of M5RUNX\r\nPlease obtain a new version of this program"},
    };
    std::vector<platform::MessageBoxRequest> shown;
    platform::set_message_box_presenter([&](const platform::MessageBoxRequest& request) {
        shown.push_back(request);
        return request.default_button;
    });
    for (const Row& row : rows) {
        shown.clear();
        EXPECT_EQ(VersionCheck(row.code, row.minor, row.release), row.passes) << row.code << " " << row.minor;
        if (row.passes) {
            EXPECT_TRUE(shown.empty());
            continue;
        }
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, "Morvex 5 Runtime Library");
        EXPECT_EQ(shown[0].text, row.text);
    }
    platform::set_message_box_presenter({});
}

std::vector<std::string> g_calls;

template <char Name>
void initialise(int32_t argument) {
    g_calls.push_back(std::string("init ") + Name + " " + std::to_string(argument));
}
template <char Name>
void terminate(int32_t argument) {
    g_calls.push_back(std::string("term ") + Name + " " + std::to_string(argument));
}

TEST(ProgramModules, InitialiseHighestFirstAndTerminateLowestFirstOnce) {
    const ModuleInitialiser table[] = {
        {10, initialise<'a'>, terminate<'a'>},  {0, initialise<'z'>, terminate<'z'>},
        {200, initialise<'b'>, terminate<'b'>}, {10, initialise<'c'>, terminate<'c'>},
        {200, nullptr, terminate<'d'>},
    };
    g_calls.clear();
    InitialiseModules(table);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"init b 0", "init a 0", "init c 0"}));
    g_calls.clear();
    TerminateModules();
    TerminateModules();
    // Priority 0 first; within a priority from the last entry to the first.
    EXPECT_EQ(g_calls,
              (std::vector<std::string>{"term z 1", "term c 1", "term a 1", "term d 1", "term b 1"}));
}

int g_termination_pipe = -1;

TEST(ProgramModules, ExitRunsTheTerminatorsOnceAndEndsWithItsCode) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    g_termination_pipe = fds[1];
    testing::ChildProcess child([]() -> int {
        static const ModuleInitialiser table[] = {
            {1, nullptr, [](int32_t) { (void)!write(g_termination_pipe, "t", 1); }}};
        InitialiseModules(table);
        TerminateModules(); // an earlier end already ran them
        Exit(3);
    });
    close(fds[1]);
    ASSERT_TRUE(child.wait());
    EXPECT_EQ(child.exit_code(), 3);
    char buffer[8];
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    close(fds[0]);
    EXPECT_EQ(got, 1);
}

} // namespace
} // namespace morvex

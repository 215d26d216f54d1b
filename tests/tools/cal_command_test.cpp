#include "tests/support/command_runner.h"
#include "tools/command.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace morvex::tools {
namespace {

testing::CommandResult cal(std::vector<std::string_view> args) {
    return testing::RunToolCommand(run_cal, args);
}

TEST(CalCommand, PrintsTheMondayGridRangeAndSelection) {
    const testing::CommandResult run = cal({"8", "2001"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "  |  |1 |2 |3 |4 |5 \n"
                       "6 |7 |8 |9 |10|11|12\n"
                       "13|14|15|16|17|18|19\n"
                       "20|21|22|23|24|25|26\n"
                       "27|28|29|30|31|  |  \n"
                       "range 1 31\n"
                       "selected 1 3 73265\n");
    EXPECT_EQ(run.err, "");
}

TEST(CalCommand, SundayLayoutAndChosenDay) {
    const testing::CommandResult run = cal({"--sunday", "--day", "29", "2", "2000"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "  |  |1 |2 |3 |4 |5 \n"
                       "6 |7 |8 |9 |10|11|12\n"
                       "13|14|15|16|17|18|19\n"
                       "20|21|22|23|24|25|26\n"
                       "27|28|29|  |  |  |  \n"
                       "range 1 29\n"
                       "selected 5 3 72746\n");
}

TEST(CalCommand, HelpDescribesTheCommand) {
    const testing::CommandResult run = cal({"--help"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.out.find("usage: morvex cal [--sunday] [--day D] MONTH YEAR"), std::string::npos);
}

struct BadArguments {
    std::vector<std::string_view> args;
    const char* message;
};

class CalCommandErrors : public ::testing::TestWithParam<BadArguments> {};

TEST_P(CalCommandErrors, ExplainAndExitWithTwo) {
    const testing::CommandResult run = cal(GetParam().args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CalCommandErrors,
    ::testing::Values(BadArguments{{}, "MONTH and YEAR are required"},
                      BadArguments{{"8"}, "MONTH and YEAR are required"},
                      BadArguments{{"0", "2001"}, "the month must be a number from 1 to 12, not '0'"},
                      BadArguments{{"August", "2001"}, "not 'August'"},
                      BadArguments{{"8", "1800"}, "the year must be a number from 1801 to 9999, not '1800'"},
                      BadArguments{{"8", "20o1"}, "not '20o1'"},
                      BadArguments{{"--day", "32", "8", "2001"}, "the day must be a number from 1 to 31"},
                      BadArguments{{"8", "2001", "--day"}, "--day needs a day of the month"},
                      BadArguments{{"--monday", "8", "2001"}, "unknown option '--monday'"},
                      BadArguments{{"8", "2001", "9"}, "too many arguments"}));

} // namespace
} // namespace morvex::tools

#include "runtime/date.h"
#include "runtime/locale.h"
#include "tests/support/command_runner.h"
#include "tests/support/temp_directory.h"
#include "tools/command.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace morvex::tools {
namespace {

testing::CommandResult run(int (*command)(Arguments, std::ostream&, std::ostream&),
                           std::vector<std::string_view> args) {
    return testing::RunToolCommand(command, args);
}

testing::CommandResult format(std::vector<std::string_view> args) {
    return run(run_format, std::move(args));
}
testing::CommandResult deformat(std::vector<std::string_view> args) {
    return run(run_deformat, std::move(args));
}

const std::string Jan5 = std::to_string(DATE(1, 5, 2023));

struct CommandCase {
    bool deformat;
    std::vector<std::string_view> args;
    std::string out;
    std::string_view label;
};

class FormatCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(FormatCommands, PrintsTheResult) {
    const CommandCase& row = GetParam();
    const testing::CommandResult result = row.deformat ? deformat(row.args) : format(row.args);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, row.out);
    EXPECT_EQ(result.err, "");
}

const CommandCase Cases[] = {
    {false, {"1234.567", "@N10.2"}, "[  1,234.57]\n", "FormatShowsBlanksBetweenBrackets"},
    {false, {"-5", "@N-10.2"}, "[-     5.00]\n", "FormatTakesANegativeValue"},
    {false, {"--", "-5", "@N-10.2"}, "[-     5.00]\n", "FormatAfterDoubleDash"},
    {false, {Jan5, "@D2"}, "[ 1/05/2023]\n", "FormatDateNumber"},
    {false, {"90001", "@T3"}, "[12:15AM]\n", "FormatTimeNumber"},
    {false, {"hello world", "@S8"}, "[hello wo]\n", "FormatStringTakesTheText"},
    {false, {"5551234567", "@P(###)###-####P"}, "[(555)123-4567]\n", "FormatPattern"},
    {true, {"12:15AM", "@T3"}, "90001\n", "DeformatTime"},
    {true, {"2023/01/05", "@D10"}, Jan5 + "\n", "DeformatDate"},
    {true, {"(555)123-4567", "@P(###)###-####P"}, "5551234567\n", "DeformatPattern"},
    {true, {"-1.5e-3", "@S10"}, "-1.5e-3\n", "DeformatStringKeepsTheNumber"},
};

INSTANTIATE_TEST_SUITE_P(Rows, FormatCommands, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(FormatCommand, InvalidPicturePrintsTheEmptyResultAndFails) {
    const testing::CommandResult formatted = format({"5", "@D19"});
    EXPECT_EQ(formatted.exit_code, 1);
    EXPECT_EQ(formatted.out, "[]\n");
    EXPECT_NE(formatted.err.find("invalid picture"), std::string::npos);
    const testing::CommandResult read_back = deformat({"1/5/23", "@N(10"});
    EXPECT_EQ(read_back.exit_code, 1);
    EXPECT_EQ(read_back.out, "\n");
    EXPECT_NE(read_back.err.find("invalid picture"), std::string::npos);
}

TEST(FormatCommand, HelpDescribesEachCommand) {
    const testing::CommandResult format_help = format({"--help"});
    EXPECT_EQ(format_help.exit_code, 0);
    EXPECT_NE(format_help.out.find("usage: morvex format [--env FILE] VALUE PICTURE"), std::string::npos);
    const testing::CommandResult deformat_help = deformat({"-h"});
    EXPECT_EQ(deformat_help.exit_code, 0);
    EXPECT_NE(deformat_help.out.find("usage: morvex deformat [--env FILE] TEXT PICTURE"), std::string::npos);
}

struct BadUsage {
    std::vector<std::string_view> args;
    std::string_view message;
};

class FormatCommandUsage : public ::testing::TestWithParam<BadUsage> {};

TEST_P(FormatCommandUsage, ExitsWithStatusTwoAndSaysWhy) {
    for (auto command : {run_format, run_deformat}) {
        const testing::CommandResult result = run(command, GetParam().args);
        EXPECT_EQ(result.exit_code, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FormatCommandUsage,
    ::testing::Values(BadUsage{{}, "and PICTURE are required"}, BadUsage{{"5"}, "and PICTURE are required"},
                      BadUsage{{"5", "@N3", "extra"}, "too many arguments"},
                      BadUsage{{"--bogus", "5", "@N3"}, "unknown option '--bogus'"},
                      BadUsage{{"5", "@N3", "--env"}, "--env needs an environment file"},
                      BadUsage{{"--env", "/nonexistent/morvex.ENV", "5", "@N3"},
                               "cannot read the environment file '/nonexistent/morvex.ENV': No such file"},
                      BadUsage{{"--env", "/", "5", "@N3"},
                               "cannot read the environment file '/': Is a directory"}));

TEST(FormatCommand, FormatRejectsAValueThatIsNotANumber) {
    const testing::CommandResult result = format({"twelve", "@N10.2"});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find("VALUE must be a decimal number"), std::string::npos);
}

TEST(FormatCommand, EnvironmentFileSuppliesMonthNames) {
    const testing::TempDirectory directory("format_command_test");
    const std::string file = directory.file("months.ENV");
    std::ofstream(file) << "MVXMONTH=Januar,Februar,Maerz\nMVXMON=Jan,Feb,Mae\n";
    const std::string march5 = std::to_string(DATE(3, 5, 2023));
    const testing::CommandResult formatted = format({"--env", file, march5, "@D4"});
    const testing::CommandResult read_back = deformat({"--env", file, "Maerz  5, 2023", "@D4"});
    ResetLocale();
    EXPECT_EQ(formatted.exit_code, 0) << formatted.err;
    EXPECT_EQ(formatted.out, "[Maerz  5, 2023       ]\n");
    EXPECT_EQ(read_back.out, march5 + "\n");
}

} // namespace
} // namespace morvex::tools

// morvex eval: values printed, bindings of each type, the fixed date, the
// environment file, compile errors (status 1) and bad usage (status 2).
#include "runtime/date.h"
#include "runtime/evaluator.h"
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

testing::CommandResult eval(std::vector<std::string_view> args) {
    return testing::RunToolCommand(run_eval, args);
}

struct Row {
    std::vector<std::string_view> args;
    std::string out;
};

TEST(EvalCommand, PrintsTheValueOfEachExpression) {
    const Row rows[] = {
        {{"1 + 2 * 3"}, "7\n"},
        {{"7 / 2"}, "3.5\n"},
        {{"'abc   '"}, "abc\n"},
        {{"--raw", "'abc   '"}, "abc   \n"},
        {{"--truth", "'   '"}, "0\n"},
        {{"--truth", "2 > 1"}, "1\n"},
        {{"FORMAT(1234.5, @N10.2)"}, "  1,234.50\n"},
        {{"--today", "2001-08-20", "TODAY()"}, "73284\n"},
        {{"--today", "2001-08-20", "FORMAT(TODAY() + 30, @D2)"}, " 9/19/2001\n"},
        {{"--bind", "N=5", "N * 2"}, "10\n"},
        {{"--bind", "N=2.5", "N * 2"}, "5\n"},
        {{"--bind", "Cus:Name=Miller", "UPPER(CUS:NAME)"}, "MILLER\n"},
        {{"--bind", "S=ab:STRING(5)", "--raw", "S & '|'"}, "ab   |\n"},
        {{"--bind", "C=hello:CSTRING(4)", "C"}, "hel\n"},
        {{"--bind", "P=hello:PSTRING(10)", "LEN(P)"}, "5\n"},
        {{"--bind", "D=2001-08-20:DATE", "D"}, "73284\n"},
        {{"--bind", "D=73284:DATE", "MONTH(D)"}, "8\n"},
        {{"--bind", "T=10:30:TIME", "T"}, "3780001\n"},
        {{"--bind", "X=-12.345:DECIMAL(7,2)", "X"}, "-12.35\n"},
        {{"--bind", "X=12.345:DECIMAL(5,2)", "X"}, "12.35\n"},
        {{"--bind", "X=0.5:DECIMAL(3,0)", "X"}, "1\n"},
        {{"--bind", "X=-0.5:PDECIMAL(3,0)", "X"}, "-1\n"},
        {{"--bind", "X=99.95:DECIMAL(5,1)", "X"}, "100\n"},
        {{"--bind", "X=99.5:PDECIMAL(5,1)", "X + 0.5"}, "100\n"},
        {{"--bind", "B=255:BYTE", "--bind", "U=65535:USHORT", "B + U"}, "65790\n"},
        {{"--bind", "L=4000000000:ULONG", "L > 3000000000"}, "1\n"},
        {{"--bind", "S=-2:SHORT", "--bind", "R=0.5:SREAL", "S * R"}, "-1\n"},
        {{"--bind", "R=1e3:REAL", "R"}, "1000\n"},
        {{"--bind", "CUS:NAME=Miller", "--bind", "CUS:START=2001-08-20:DATE", "--truth",
          "CUS:START = DATE(8, 20, 2001) AND UPPER(CUS:NAME) >= 'M'"},
         "1\n"},
    };
    for (const Row& row : rows) {
        const testing::CommandResult result = eval(row.args);
        EXPECT_EQ(result.exit_code, 0) << row.args.back() << ": " << result.err;
        EXPECT_EQ(result.out, row.out) << row.args.back();
    }
}

TEST(EvalCommand, TheFixedDateIsUndoneAfterTheCommand) {
    EXPECT_EQ(eval({"--today", "1999-01-01", "TODAY()"}).out, std::to_string(DATE(1, 1, 1999)) + "\n");
    EXPECT_EQ(eval({"TODAY()"}).out, std::to_string(TODAY()) + "\n");
}

TEST(EvalCommand, AnExpressionThatDoesNotCompileExitsWithOneAndTheError) {
    testing::CommandResult result = eval({"x + 1"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "morvex eval: error 801: No BIND on variable (x)\n");
    result = eval({"UPPER('a'"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "morvex eval: error 800: Invalid expression for EVALUATE\n");
}

TEST(EvalCommand, BindingsDoNotOutliveTheCommand) {
    EXPECT_EQ(eval({"--bind", "Q=1", "Q"}).exit_code, 0);
    EXPECT_EQ(ScopeDepth(), 0u);
    EXPECT_EQ(eval({"Q"}).exit_code, 1);
}

TEST(EvalCommand, BadUsageExitsWithTwo) {
    const std::vector<std::vector<std::string_view>> cases = {
        {},
        {"1", "2"},
        {"--bogus", "1"},
        {"--bind"},
        {"--bind", "novalue", "1"},
        {"--bind", "=1", "1"},
        {"--bind", "N=abc:LONG", "1"},
        {"--bind", "N=70000:SHORT", "1"},
        {"--bind", "N=1234.5:DECIMAL(3,1)", "1"},
        {"--bind", "N=99.95:DECIMAL(2,1)", "1"},
        {"--bind", "N=1x:DECIMAL(3,1)", "1"},
        {"--bind", "N=x:CSTRING", "1"},
        {"--bind", "D=2001-02-30:DATE", "1"},
        {"--bind", "T=25:99:TIME", "1"},
        {"--bind", "(bad)=1", "1"},
        {"--today", "yesterday", "1"},
        {"--env", "/nonexistent/file.ENV", "1"},
    };
    for (const auto& args : cases) {
        const testing::CommandResult result = eval(args);
        EXPECT_EQ(result.exit_code, 2) << (args.empty() ? "(none)" : args.front());
        EXPECT_NE(result.err.find("Try 'morvex eval --help'"), std::string::npos);
    }
}

TEST(EvalCommand, HelpShowsExamples) {
    const testing::CommandResult result = eval({"--help"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find("@N10.2"), std::string::npos);
    EXPECT_NE(result.out.find("DECIMAL(n,d)"), std::string::npos);
    EXPECT_NE(result.out.find("--truth"), std::string::npos);
}

TEST(EvalCommand, TheEnvironmentFileIsApplied) {
    const testing::TempDirectory directory("eval_env");
    const std::string path = directory.file("messages.ENV");
    {
        std::ofstream file(path);
        file << "MVXMSG801=Nothing bound\n";
    }
    const testing::CommandResult result = eval({"--env", path, "nothing"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "morvex eval: error 801: Nothing bound (nothing)\n");
    ResetLocale();
}

} // namespace
} // namespace morvex::tools

// What every morvex subcommand shares: options read by one parser ("--"
// ends them, --help everywhere, bad command lines exit 2), and text crossing
// the command line converted between UTF-8 and Windows-1252 both ways.
#include "tests/support/command_runner.h"
#include "tests/support/temp_ini_dir.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/qvd_command.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace morvex::tools {
namespace {

using Command = int (*)(Arguments, std::ostream&, std::ostream&);

testing::CommandResult run(Command command, std::vector<std::string_view> args) {
    return testing::RunToolCommand(command, args);
}

int qvd(Arguments args, std::ostream& out, std::ostream& err) {
    return run_qvd(args, out, err);
}

TEST(CommandLine, SplitsOptionsFromOperands) {
    constexpr OptionSpec Specs[] = {{"--env", true}, {"--raw"}, {"-o", true}};
    struct Row {
        std::vector<std::string_view> args;
        std::vector<std::string_view> operands;
        std::string_view env;     // the --env value, "" for none
        std::string_view problem; // "" when the line is read
    };
    const Row rows[] = {
        {{"-5"}, {"-5"}, "", ""},
        {{"--", "-5"}, {"-5"}, "", ""},
        {{"--", "--5", "--raw"}, {"--5", "--raw"}, "", ""},
        {{"a", "--env", "F", "b"}, {"a", "b"}, "F", ""},
        {{"--env=F", "-o", "x.cpp", "--", "--env"}, {"--env"}, "F", ""},
        {{"-", ".5", "-.5"}, {"-", ".5", "-.5"}, "", ""},
        {{"--5"}, {}, "", "unknown option '--5'"},
        {{"-x"}, {}, "", "unknown option '-x'"},
        {{"a", "--env"}, {}, "", "--env needs a value"},
        {{"--raw=1"}, {}, "", "--raw takes no value"},
    };
    for (const Row& row : rows) {
        std::string problem;
        const std::optional<CommandLine> line =
            ParseCommandLine(Arguments(row.args.data(), row.args.size()), Specs, problem);
        const std::string_view label = row.args.front();
        if (!row.problem.empty()) {
            EXPECT_FALSE(line) << label;
            EXPECT_EQ(problem, row.problem) << label;
            continue;
        }
        ASSERT_TRUE(line) << label << ": " << problem;
        EXPECT_FALSE(line->help) << label;
        EXPECT_EQ(line->operands, row.operands) << label;
        EXPECT_EQ(line->value("--env").value_or(""), row.env) << label;
    }
    std::string problem;
    const std::vector<std::string_view> help = {"--bogus=", "x", "--help"};
    EXPECT_FALSE(ParseCommandLine(Arguments(help.data(), help.size()), Specs, problem)) << "read in order";
    const std::vector<std::string_view> after = {"--", "--help"};
    EXPECT_FALSE(ParseCommandLine(Arguments(after.data(), after.size()), Specs, problem)->help);
}

struct CommandRow {
    const char* label;
    Command command;
    std::vector<std::string_view> args;
    int exit_code;
    std::string_view out; // the start of the output, or of the error for exit code 2
};

TEST(CommandLine, EverySubcommandEndsItsOptionsWithTwoDashesAndHasHelp) {
    testing::TempIniDir dir;
    std::ofstream(dir.file("--section-only")) << "[S]\nE=from the file named --section-only\n";
    const CommandRow rows[] = {
        {"cal --", run_cal, {"--", "8", "2001"}, 0, "  |  |1 |2 "},
        {"cal too many", run_cal, {"1", "2", "3"}, 2, "morvex cal: too many arguments"},
        {"cal help", run_cal, {"8", "--help"}, 0, "usage: morvex cal"},
        {"eval -5", run_eval, {"-5"}, 0, "-5\n"},
        {"eval -- -5", run_eval, {"--", "-5"}, 0, "-5\n"},
        {"eval -- --5", run_eval, {"--", "--5"}, 0, "5\n"},
        {"eval --5", run_eval, {"--5"}, 2, "morvex eval: unknown option '--5'"},
        {"eval help", run_eval, {"-h"}, 0, "usage: morvex eval"},
        {"format --", run_format, {"--", "-5", "@N-3"}, 0, "[- 5]\n"},
        {"format help", run_format, {"--help"}, 0, "usage: morvex format"},
        {"deformat --", run_deformat, {"--", "--12", "@S5"}, 0, "-12\n"},
        {"deformat help", run_deformat, {"--help"}, 0, "usage: morvex deformat"},
        {"ini get --",
         run_ini,
         {"get", "--", "--section-only", "S", "E"},
         0,
         "from the file named --section-only"},
        {"ini get --section-only",
         run_ini,
         {"get", "--section-only", "S", "E"},
         2,
         "morvex ini: --section-only belongs to set"},
        {"ini help", run_ini, {"--help"}, 0, "usage: morvex ini"},
        {"wdc --", run_wdc, {"--", "-missing.wnd", "-o", "x.cpp"}, 2, "morvex wdc: name the output with -o"},
        {"wdc help", run_wdc, {"--help"}, 0, "usage: morvex wdc"},
        {"qvd --", qvd, {"info", "--", "--missing"}, 1, ""},
        {"qvd help", qvd, {"dump", "x", "--help"}, 0, "usage: morvex qvd dump"},
        {"qvd bad option", qvd, {"dump", "--bogus", "x"}, 2, "morvex qvd: unknown option '--bogus'"},
    };
    for (const CommandRow& row : rows) {
        const testing::CommandResult result = run(row.command, row.args);
        EXPECT_EQ(result.exit_code, row.exit_code) << row.label << ": " << result.err;
        const std::string& shown = row.exit_code == 2 ? result.err : result.out;
        EXPECT_EQ(shown.substr(0, row.out.size()), row.out) << row.label;
    }
}

TEST(CommandLine, TextCrossesInUtf8AndIsHeldInWindows1252) {
    testing::TempIniDir dir;
    const CommandRow rows[] = {
        {"LEN counts characters", run_eval, {"LEN('M\xC3\xBCller')"}, 0, "6\n"},
        {"bound text",
         run_eval,
         {"--bind", "N=M\xC3\xBCller:STRING(6)", "SUB(N, 2, 1) & CHR(128)"},
         0,
         "\xC3\xBC\xE2\x82\xAC\n"},
        {"format cuts characters", run_format, {"M\xC3\xBCller", "@S2"}, 0, "[M\xC3\xBC]\n"},
        {"currency in a picture", run_format, {"5", "@N~\xE2\x82\xAC~6.2"}, 0, "[\xE2\x82\xAC 5.00]\n"},
        {"ini set",
         run_ini,
         {"set", "app.ini",
          "Gr\xC3\xBC\xC3\x9F"
          "e",
          "Stra\xC3\x9F"
          "e",
          "\xC3\xA9t\xC3\xA9"},
         0,
         ""},
        {"ini get",
         run_ini,
         {"get", "app.ini",
          "GR\xC3\xBC\xC3\x9F"
          "E",
          "stra\xC3\x9F"
          "e"},
         0,
         "\xC3\xA9t\xC3\xA9\n"},
        {"eval refuses",
         run_eval,
         {"'\xE4\xB8\xAD'"},
         2,
         "morvex eval: the argument \"'\xE4\xB8\xAD'\" holds \"\xE4\xB8\xAD\", which Windows-1252"},
        {"format refuses",
         run_format,
         {"\xCE\xA9", "@S2"},
         2,
         "morvex format: the argument \"\xCE\xA9\" holds"},
        {"deformat refuses malformed",
         run_deformat,
         {"1\xFF", "@N3"},
         2,
         "morvex deformat: the argument \"1?\" is not UTF-8 text (byte 2)"},
        {"ini refuses", run_ini, {"set", "app.ini", "S", "E", "\xE2\x84\xA2\xE2\x9C\x93"}, 2, "morvex ini: "},
    };
    for (const CommandRow& row : rows) {
        const testing::CommandResult result = run(row.command, row.args);
        EXPECT_EQ(result.exit_code, row.exit_code) << row.label << ": " << result.err;
        const std::string& shown = row.exit_code == 2 ? result.err : result.out;
        EXPECT_EQ(shown.substr(0, row.out.size()), row.out) << row.label;
    }
    EXPECT_NE(dir.contents("app.ini").find("[Gr\xFC\xDF"
                                           "e]"),
              std::string::npos)
        << "held in Windows-1252";
}

} // namespace
} // namespace morvex::tools

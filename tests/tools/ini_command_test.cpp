#include "runtime/ini_access.h"
#include "tests/support/command_runner.h"
#include "tests/support/temp_ini_dir.h"
#include "tools/command.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace morvex::tools {
namespace {

testing::CommandResult ini(std::vector<std::string_view> args) {
    return testing::RunToolCommand(run_ini, args);
}

TEST(IniCommand, SetsReadsAndDeletesEntriesAndSections) {
    testing::TempIniDir dir;
    EXPECT_EQ(ini({"set", "qkCalendar.ini", "LookupDate", "X", "120"}).exit_code, 0);
    EXPECT_EQ(ini({"set", "qkCalendar.ini", "LookupDate", "Y", "80  "}).exit_code, 0);
    EXPECT_EQ(ini({"get", "qkCalendar.ini", "lookupdate", "x"}).out, "120\n");
    EXPECT_EQ(GETINI("LookupDate", "Y", "", "qkCalendar.ini"), "80");
    EXPECT_EQ(ini({"set", "qkCalendar.ini", "LookupDate", "X"}).exit_code, 0);
    EXPECT_EQ(ini({"get", "qkCalendar.ini", "LookupDate", "X", "none"}).out, "none\n");
    EXPECT_EQ(ini({"set", "--section-only", "qkCalendar.ini", "LookupDate"}).exit_code, 0);
    EXPECT_EQ(ini({"get", "qkCalendar.ini", "LookupDate", "Y"}).out, "\n");
    EXPECT_EQ(ini({"set", "", "intl", "sTime", "."}).exit_code, 0);
    EXPECT_NE(dir.contents("win.ini").find("sTime=."), std::string::npos);
}

TEST(IniCommand, ReportsWhatCannotBeWritten) {
    testing::TempIniDir dir;
    ini({"set", "blocker", "S", "E", "V"}); // a file where a directory is needed
    const testing::CommandResult run = ini({"set", dir.file("blocker") + "/app.ini", "S", "E", "V"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos);
}

TEST(IniCommand, BadUsageExplainsAndExitsWithTwo) {
    EXPECT_EQ(ini({}).exit_code, 2);
    EXPECT_EQ(ini({"get", "file"}).exit_code, 2);
    EXPECT_EQ(ini({"set", "--section-only", "file"}).exit_code, 2);
    EXPECT_EQ(ini({"remove", "a", "b", "c"}).exit_code, 2);
    EXPECT_EQ(ini({"--help"}).exit_code, 0);
}

} // namespace
} // namespace morvex::tools

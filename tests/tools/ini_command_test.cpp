#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/ini_access.h"
#include "tests/support/temp_ini_dir.h"
#include "tools/command.h"

namespace morvex::tools {
namespace {

struct IniRun {
    int status;
    std::string out;
    std::string err;
};

IniRun ini(std::vector<std::string_view> args) {
    std::ostringstream out, err;
    const int status = run_ini(Arguments(args.data(), args.size()), out, err);
    return {status, out.str(), err.str()};
}

TEST(IniCommand, SetsReadsAndDeletesEntriesAndSections) {
    testing::TempIniDir dir;
    EXPECT_EQ(ini({"set", "qkCalendar.ini", "LookupDate", "X", "120"}).status, 0);
    EXPECT_EQ(ini({"set", "qkCalendar.ini", "LookupDate", "Y", "80  "}).status, 0);
    EXPECT_EQ(ini({"get", "qkCalendar.ini", "lookupdate", "x"}).out, "120\n");
    EXPECT_EQ(GETINI("LookupDate", "Y", "", "qkCalendar.ini"), "80");
    EXPECT_EQ(ini({"set", "qkCalendar.ini", "LookupDate", "X"}).status, 0);
    EXPECT_EQ(ini({"get", "qkCalendar.ini", "LookupDate", "X", "none"}).out, "none\n");
    EXPECT_EQ(ini({"set", "--section-only", "qkCalendar.ini", "LookupDate"}).status, 0);
    EXPECT_EQ(ini({"get", "qkCalendar.ini", "LookupDate", "Y"}).out, "\n");
    EXPECT_EQ(ini({"set", "", "intl", "sTime", "."}).status, 0);
    EXPECT_NE(dir.contents("win.ini").find("sTime=."), std::string::npos);
}

TEST(IniCommand, ReportsWhatCannotBeWritten) {
    testing::TempIniDir dir;
    ini({"set", "blocker", "S", "E", "V"}); // a file where a directory is needed
    const IniRun run = ini({"set", dir.file("blocker") + "/app.ini", "S", "E", "V"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos);
}

TEST(IniCommand, BadUsageExplainsAndExitsWithTwo) {
    EXPECT_EQ(ini({}).status, 2);
    EXPECT_EQ(ini({"get", "file"}).status, 2);
    EXPECT_EQ(ini({"set", "--section-only", "file"}).status, 2);
    EXPECT_EQ(ini({"remove", "a", "b", "c"}).status, 2);
    EXPECT_EQ(ini({"--help"}).status, 0);
}

} // namespace
} // namespace morvex::tools

#include "tests/support/command_runner.h"
#include "tests/support/temp_ini_dir.h"
#include "tools/command.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace morvex::tools {
namespace {

testing::CommandResult wdc(const std::vector<std::string>& args) {
    return testing::RunToolCommand(run_wdc, args);
}

void write(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

constexpr std::string_view Source = "procedure \"tavemon$taven009\"\n"
                                    "window \"P1$WINDOW\"\n"
                                    "    at 1 2 30 40\n"
                                    "    caption \"Caf\\xE9\"\n"
                                    "    button at 1 1 10 10 text \"OK\" icon system 32512\n"
                                    "end\n";

TEST(WdcCommand, BlockDumpAndCompileGiveTheSameBytes) {
    testing::TempIniDir dir; // a scratch directory
    write(dir.file("w.wnd"), Source);
    ASSERT_EQ(wdc({"--block", dir.file("w.wnd"), "-o", dir.file("w.bin")}).exit_code, 0);
    const std::string block = read(dir.file("w.bin"));
    EXPECT_EQ(block.substr(0, 17), std::string("tavemon$taven009\0", 17));

    const testing::CommandResult dumped = wdc({"--dump", dir.file("w.bin")});
    ASSERT_EQ(dumped.exit_code, 0) << dumped.err;
    EXPECT_NE(dumped.out.find("caption \"Caf\\xE9\""), std::string::npos) << dumped.out;
    write(dir.file("again.wnd"), dumped.out);
    ASSERT_EQ(wdc({"--block", dir.file("again.wnd"), "-o", dir.file("again.bin")}).exit_code, 0);
    EXPECT_EQ(read(dir.file("again.bin")), block);
}

TEST(WdcCommand, WritesASelfRegisteringSource) {
    testing::TempIniDir dir;
    write(dir.file("w.wnd"), Source);
    const testing::CommandResult run =
        wdc({dir.file("w.wnd"), "-o", dir.file("w.cpp"), "--module", "tavemon"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string cpp = read(dir.file("w.cpp"));
    EXPECT_NE(cpp.find("register_resource(\"tavemon\", \"DABDUMP\", \"TAVEN009_RSC\", resource_0)"),
              std::string::npos)
        << cpp;
    EXPECT_NE(cpp.find("0x74, 0x61, 0x76"), std::string::npos) << "the name's bytes open the array";
}

TEST(WdcCommand, ReportsBadInputWithFileAndLineAndStatus1) {
    testing::TempIniDir dir;
    write(dir.file("bad.wnd"), "procedure \"p$q\"\nwindow \"W\"\n  spin at 1 2 3 4 step x\nend\n");
    const testing::CommandResult run = wdc({dir.file("bad.wnd"), "-o", dir.file("bad.cpp")});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "morvex wdc: " + dir.file("bad.wnd") + ":3: expected step as a number, not 'x'\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.cpp"))) << "no output on failure";

    write(dir.file("twice.wnd"),
          "procedure \"a$q\"\nwindow \"W\"\nend\nprocedure \"b$Q\"\nwindow \"W\"\nend\n");
    const testing::CommandResult twice = wdc({dir.file("twice.wnd"), "-o", dir.file("twice.cpp")});
    EXPECT_EQ(twice.exit_code, 1);
    EXPECT_NE(twice.err.find("twice.wnd:4: resource Q_RSC is already defined at"), std::string::npos)
        << twice.err;

    EXPECT_EQ(wdc({"--block", dir.file("twice.wnd"), "-o", dir.file("x.bin")}).exit_code, 1);
    EXPECT_EQ(wdc({"--dump", dir.file("missing.bin")}).exit_code, 1);
    const testing::CommandResult directory = wdc({dir.path(), "-o", dir.file("dir.cpp")});
    EXPECT_EQ(directory.exit_code, 1);
    EXPECT_EQ(directory.err, "morvex wdc: cannot read " + dir.path() + ": Is a directory\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("dir.cpp")));
    write(dir.file("junk.bin"), "no nul here");
    EXPECT_NE(wdc({"--dump", dir.file("junk.bin")}).err.find("junk.bin: the resource holds no"),
              std::string::npos);
}

TEST(WdcCommand, UsageErrorsExitWith2) {
    EXPECT_EQ(wdc({}).exit_code, 2);
    EXPECT_EQ(wdc({"a.wnd"}).exit_code, 2) << "no -o";
    EXPECT_EQ(wdc({"a.wnd", "-o"}).exit_code, 2);
    EXPECT_EQ(wdc({"--block", "--dump", "a"}).exit_code, 2);
    EXPECT_EQ(wdc({"a.wnd", "-o", "x.cpp", "--module", "bad name"}).exit_code, 2);
    EXPECT_EQ(wdc({"--frobnicate"}).exit_code, 2);
    const testing::CommandResult help = wdc({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("usage: morvex wdc"), std::string::npos);
}

} // namespace
} // namespace morvex::tools

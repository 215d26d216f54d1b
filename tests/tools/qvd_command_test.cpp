#include "tests/files/memory_file_driver.h"
#include "tests/support/command_runner.h"
#include "tests/support/temp_directory.h"
#include "tools/qvd_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace morvex::tools {
namespace {

int fake_info(const std::string& path, std::ostream& out, std::ostream&) {
    out << "info of " << path << "\n";
    return 0;
}

testing::CommandResult qvd(const std::vector<std::string>& args) {
    const QvdBackend backend{
        .driver = DriverEntryOf<testing::MemoryFileDriver>, .info = fake_info, .check = nullptr};
    const auto command = [&](Arguments arguments, std::ostream& out, std::ostream& err) {
        return run_qvd(arguments, out, err, backend);
    };
    return testing::RunToolCommand(command, args);
}

class QvdCommandTest : public ::testing::Test {
protected:
    void SetUp() override { testing::MemoryDisk::Get() = {}; }

    std::string write(const std::string& name, const std::string& content) {
        const std::string path = m_dir.file(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string read(const std::string& name) {
        std::ifstream in(m_dir.file(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string path(const std::string& name) { return m_dir.file(name); }

    testing::TempDirectory m_dir{"qvd_command_test"};
};

const std::string Customers = "CUS:CUSID,CUS:NAME,CUS:SUBURB,CUS:PHONE,CUS:STARTDATE\r\n"
                              "2,Zed Quill,Lowford,555 0102,73636\r\n"
                              "1,Ada Brook,\"Hill, North\",555 0101,73626\r\n"
                              "3,Bea Crane,Lowford,555 0103,73626\r\n";

TEST_F(QvdCommandTest, ImportThenExportGivesTheRowsBack) {
    const std::string in = write("in.csv", Customers);
    const testing::CommandResult import = qvd({"import", "Customer", in});
    ASSERT_EQ(import.exit_code, 0) << import.err;
    EXPECT_EQ(import.out.substr(0, 38), "imported 3 records into Customer in 0.");

    const testing::CommandResult exported = qvd({"export", "Customer", "-o", path("out.csv")});
    ASSERT_EQ(exported.exit_code, 0) << exported.err;
    EXPECT_EQ(read("out.csv"), Customers);
}

TEST_F(QvdCommandTest, ExportAndDumpFollowTheKey) {
    ASSERT_EQ(qvd({"import", "data/Customer.QVD", write("in.csv", Customers)}).exit_code, 0);
    const testing::CommandResult by_name = qvd({"export", "data/Customer.QVD", "--key", "cus:byname"});
    ASSERT_EQ(by_name.exit_code, 0) << by_name.err;
    EXPECT_EQ(by_name.out, "CUS:CUSID,CUS:NAME,CUS:SUBURB,CUS:PHONE,CUS:STARTDATE\r\n"
                           "1,Ada Brook,\"Hill, North\",555 0101,73626\r\n"
                           "3,Bea Crane,Lowford,555 0103,73626\r\n"
                           "2,Zed Quill,Lowford,555 0102,73636\r\n");
    const testing::CommandResult dump = qvd({"dump", "data/Customer.QVD", "--key", "CUS:BYSTARTDATENAME"});
    ASSERT_EQ(dump.exit_code, 0) << dump.err;
    EXPECT_EQ(dump.out,
              "CUS:CUSID    CUS:NAME              CUS:SUBURB            CUS:PHONE             CUS:STARTDATE\n"
              "1            Ada Brook             Hill, North           555 0101              73626\n"
              "3            Bea Crane             Lowford               555 0103              73626\n"
              "2            Zed Quill             Lowford               555 0102              73636\n"
              "(3 records)\n");
}

TEST_F(QvdCommandTest, BadRowStopsTheImportWithItsLine) {
    const std::string in = write("in.csv", "CUS:NAME,CUS:CUSID\n"
                                           "Ann,1\n"
                                           "\"A name that is far too long\",2\n");
    const testing::CommandResult run = qvd({"import", "Customer", in});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("line 3: CUS:NAME: 27 characters do not fit STRING(20)"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("nothing was imported"), std::string::npos) << run.err;
    EXPECT_TRUE(testing::MemoryDisk::Get().files["Customer"].empty());
}

TEST_F(QvdCommandTest, LongImportShowsProgressAndAnErrorAtTheEndLeavesNothing) {
    std::string csv = "CUS:CUSID,CUS:NAME\n";
    for (int i = 1; i <= 25000; ++i)
        csv += std::to_string(i) + ",Name " + std::to_string(i) + "\n";
    csv += "25001,Name 17\n";
    const testing::CommandResult run = qvd({"import", "Customer", write("in.csv", csv)});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("morvex qvd: 20000 records read"), std::string::npos) << "a progress line";
    EXPECT_NE(run.err.find("line 25002: the record was not added: 40"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nothing was imported"), std::string::npos) << run.err;
    EXPECT_TRUE(testing::MemoryDisk::Get().files["Customer"].empty()) << "the transaction was rolled back";
}

TEST_F(QvdCommandTest, DuplicateKeyNamesTheLineTheDriverErrorAndTheKey) {
    const std::string in = write("in.csv", "CUS:CUSID,CUS:NAME\n1,Ann\n2,Bob\n3,Ann\n");
    const testing::CommandResult run = qvd({"import", "Customer", in});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("line 4: the record was not added: 40 Creates Duplicate Key (key CUS:BYNAME)"),
              std::string::npos)
        << run.err;
}

// Each failure says why, in one message, and nothing is printed as if it had worked.
struct FailureCase {
    const char* label;
    std::vector<std::string> args; // "@" + name: a path in the test's directory
    std::string err;               // "@name:" stands for that path and its colon
};

class QvdFailureTest : public QvdCommandTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(QvdFailureTest, SaysWhyAndPrintsNothingElse) {
    write("Customer.csv", Customers);
    ASSERT_EQ(qvd({"import", "Customer", path("Customer.csv")}).exit_code, 0);
    std::filesystem::create_directory(path("dir.csv"));
    std::vector<std::string> args = GetParam().args;
    for (std::string& arg : args) {
        if (arg.starts_with("@"))
            arg = path(arg.substr(1));
    }
    const testing::CommandResult run = qvd(args);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, "");
    std::string expected = GetParam().err;
    if (const std::size_t at = expected.find('@'); at != std::string::npos)
        expected.replace(at, expected.find(':', at) - at,
                         path(expected.substr(at + 1, expected.find(':', at) - at - 1)));
    EXPECT_EQ(run.err, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QvdFailureTest,
    ::testing::Values(FailureCase{"dump_by_a_key_the_layout_lacks",
                                  {"dump", "Customer", "--key", "NOPE"},
                                  "morvex qvd: the layout has no key NOPE\n"},
                      FailureCase{"export_by_a_key_the_layout_lacks",
                                  {"export", "Customer", "--key", "NOPE", "-o", "@out.csv"},
                                  "morvex qvd: the layout has no key NOPE\n"},
                      FailureCase{"import_of_a_missing_csv",
                                  {"import", "Customer", "@missing.csv"},
                                  "morvex qvd: cannot read @missing.csv: No such file or directory\n"},
                      FailureCase{"import_of_a_directory",
                                  {"import", "Customer", "@dir.csv"},
                                  "morvex qvd: cannot read @dir.csv: Is a directory\n"},
                      FailureCase{"layout_file_that_is_a_directory",
                                  {"dump", "Customer", "--layout-file", "@dir.csv"},
                                  "morvex qvd: cannot read layout file @dir.csv: Is a directory\n"},
                      FailureCase{"export_into_a_directory",
                                  {"export", "Customer", "-o", "@dir.csv"},
                                  "morvex qvd: cannot write @dir.csv: Is a directory\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(QvdCommandTest, LayoutFileDescribesOtherFiles) {
    const std::string layout =
        write("notes.layout", "file NOTES\nfield N:ID SHORT\nfield N:TEXT CSTRING(12)\n"
                              "key N:BYTEXT DUP : -N:TEXT\n");
    const std::string in = write("in.csv", "N:TEXT,N:ID\napple,1\ncherry,2\nbanana,3\n");
    ASSERT_EQ(qvd({"import", "notes", "--layout-file", layout, in}).exit_code, 0);
    const testing::CommandResult run = qvd({"export", "notes", "--layout-file", layout, "--key", "N:BYTEXT"});
    EXPECT_EQ(run.out, "N:ID,N:TEXT\r\n2,cherry\r\n3,banana\r\n1,apple\r\n");
}

TEST_F(QvdCommandTest, LayoutFileErrorsNameFileAndLine) {
    const std::string layout = write("bad.layout", "file X\nfield A LNG\n");
    const testing::CommandResult run = qvd({"dump", "x", "--layout-file", layout});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "morvex qvd: " + layout +
                           ": line 2: unknown type 'LNG' (BYTE SHORT USHORT LONG ULONG "
                           "SREAL REAL DATE TIME STRING(n) CSTRING(n) PSTRING(n))\n");
}

TEST_F(QvdCommandTest, MissingFileIsReportedForExport) {
    const testing::CommandResult run = qvd({"export", "Goods"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "morvex qvd: cannot open Goods: 2 File Not Found\n");
}

TEST_F(QvdCommandTest, InfoGoesToTheBackend) {
    EXPECT_EQ(qvd({"info", "Customer.QVD"}).out, "info of Customer.QVD\n");
    const testing::CommandResult check = qvd({"check", "Customer.QVD"});
    EXPECT_EQ(check.exit_code, 1) << "the test backend has no check";
}

struct UsageCase {
    const char* label;
    std::vector<std::string> args;
    std::string error;
};

class QvdUsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(QvdUsageTest, ExitsWithTwoAndSaysWhy) {
    const testing::CommandResult run = qvd(GetParam().args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find(GetParam().error), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Try 'morvex qvd --help'."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QvdUsageTest,
    ::testing::Values(
        UsageCase{"nothing", {}, "say info, check"},
        UsageCase{"unknown_verb", {"list", "x"}, "unknown action 'list'"},
        UsageCase{"no_file", {"dump"}, "say which FILE"},
        UsageCase{"unknown_option", {"dump", "x", "--fast"}, "unknown option '--fast'"},
        UsageCase{"option_without_value", {"dump", "x", "--key"}, "--key needs a value"},
        UsageCase{"no_layout", {"dump", "Orders.QVD"}, "say which layout"},
        UsageCase{"unknown_layout", {"dump", "x", "--layout", "Orders"}, "unknown layout 'Orders'"},
        UsageCase{"both_layouts", {"dump", "x", "--layout", "Goods", "--layout-file", "f"}, "not both"},
        UsageCase{"import_without_csv", {"import", "Goods"}, "import needs FILE and one IN.csv"},
        UsageCase{"info_with_extra", {"info", "a", "b"}, "info takes only FILE"},
        UsageCase{"dump_extra", {"dump", "Goods", "more"}, "unexpected 'more'"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(QvdCommandHelpTest, EveryVerbHasHelp) {
    for (const char* verb : {"info", "check", "dump", "export", "import"}) {
        const testing::CommandResult run = qvd({verb, "--help"});
        EXPECT_EQ(run.exit_code, 0) << verb;
        EXPECT_TRUE(run.out.starts_with(std::string("usage: morvex qvd ") + verb)) << run.out;
    }
    EXPECT_NE(qvd({"--help"}).out.find("--layout-file"), std::string::npos);
}

} // namespace
} // namespace morvex::tools

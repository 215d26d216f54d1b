// morvex query over a small customer file made by morvex qvd import: the
// rows and their order for orders, filters, --from and --limit, the plan
// --explain prints, and the usage and query errors.
#include "tests/support/command_runner.h"
#include "tests/support/temp_directory.h"
#include "tools/command.h"
#include "tools/qvd_command.h"

#include <fstream>
#include <gtest/gtest.h>

namespace morvex::tools {
namespace {

class QueryCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream csv(dir.file("in.csv"));
        csv << "CUS:CUSID,CUS:NAME,CUS:STARTDATE\n"
               "1,bob,10\n2,Alice,10\n3,carl,11\n4,Dora,10\n5,ann,-2\n6,Bo'b,11\n";
        csv.close();
        const auto imported = testing::RunToolCommand(
            [](Arguments a, std::ostream& o, std::ostream& e) { return run_qvd(a, o, e); },
            std::vector<std::string>{"import", file(), "--layout", "Customer", dir.file("in.csv")});
        ASSERT_EQ(imported.exit_code, 0) << imported.err;
    }
    std::string file() const { return dir.file("Customer.QVD"); }
    testing::CommandResult query(std::vector<std::string> args) {
        args.insert(args.begin(), {file(), "--layout", "Customer"});
        return testing::RunToolCommand(run_query, args);
    }
    testing::TempDirectory dir{"query"};
};

// The CUS:CUSID column of the output, one id a line.
std::string ids(const std::string& csv) {
    std::string out;
    size_t at = csv.find('\n') + 1;
    while (at < csv.size()) {
        out += csv.substr(at, csv.find(',', at) - at) + " ";
        at = csv.find('\n', at) + 1;
        if (at == 0)
            break;
    }
    return out;
}

TEST_F(QueryCommandTest, PrintsTheRowsInTheViewsOrder) {
    const struct {
        std::vector<std::string> args;
        const char* ids;
    } cases[] = {
        {{}, "1 2 3 4 5 6 "},
        {{"--order", "UPPER(CUS:NAME)"}, "2 5 6 1 3 4 "},
        {{"--order", "-CUS:STARTDATE, UPPER(CUS:NAME)"}, "6 3 2 1 4 5 "},
        {{"--order", "CUS:STARTDATE,UPPER(CUS:NAME)", "--filter", "CUS:STARTDATE = 10"}, "2 1 4 "},
        {{"--order", "CUS:STARTDATE,UPPER(CUS:NAME)", "--from", "10,B"}, "1 4 6 3 "},
        {{"--order", "CUS:STARTDATE,UPPER(CUS:NAME)", "--from", "10", "--limit", "2"}, "2 1 "},
        {{"--order", "CUS:NAME"}, "2 6 4 5 1 3 "},
        {{"--filter", "INSTRING('o', CUS:NAME, 1, 1)"}, "1 4 6 "},
    };
    for (const auto& c : cases) {
        const auto result = query(c.args);
        ASSERT_EQ(result.exit_code, 0) << result.err;
        EXPECT_EQ(ids(result.out), c.ids) << ::testing::PrintToString(c.args);
    }
    EXPECT_EQ(query({"--limit", "1"}).out,
              "CUS:CUSID,CUS:NAME,CUS:SUBURB,CUS:PHONE,CUS:STARTDATE\r\n1,bob,,,10\r\n");
}

TEST_F(QueryCommandTest, ExplainNamesTheKeyAndItsRange) {
    const auto result =
        query({"--order", "CUS:STARTDATE,UPPER(CUS:NAME)", "--filter", "CUS:STARTDATE = 10", "--explain"});
    EXPECT_EQ(result.out, "key CUS:BYSTARTDATENAME forwards, range CUS:STARTDATE = 10\n");
}

TEST_F(QueryCommandTest, BadCommandLinesAndQueriesAreReported) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--limit", "x"}, 2, "--limit needs a number"},
        {{"--order", "CUS:NOPE"}, 1, "801 No BIND on variable"},
        {{"--filter", "CUS:NAME = ("}, 1, "800"},
        {{"--from", "1,2"}, 2, "more values than --order has items"},
        {{"--order", "UPPER(CUS:NAME) & 'x'", "--from", "a"}, 2, "not one"},
    };
    for (const auto& c : cases) {
        const auto result = query(c.args);
        EXPECT_EQ(result.exit_code, c.status) << ::testing::PrintToString(c.args);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    const auto missing = testing::RunToolCommand(
        run_query, std::vector<std::string>{dir.file("None.QVD"), "--layout", "Customer"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("File Not Found"), std::string::npos);
}

} // namespace
} // namespace morvex::tools

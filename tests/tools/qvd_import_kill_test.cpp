// morvex qvd import with the QVD driver, killed at random moments: the file
// afterwards holds every row of the CSV or none of them, and checks clean.
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_store.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_directory.h"
#include "tools/qvd_command.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace morvex::tools {
namespace {

namespace fs = std::filesystem;

TEST(QvdImportKillTest, AKilledImportLeavesEveryRowOrNone) {
    const testing::TempDirectory dir("qvd_import_kill");
    constexpr int Rows = 20000;
    const std::string csv = dir.file("in.csv");
    {
        std::ofstream out(csv);
        out << "CUS:CUSID,CUS:NAME,CUS:STARTDATE\n";
        for (int i = 1; i <= Rows; ++i)
            out << i << ",Name " << i << "," << 73000 + i % 365 << "\n";
    }
    const std::string file = dir.file("Customer.QVD");
    std::mt19937 random(7);
    int complete = 0;
    int empty = 0;
    for (int round = 0; round < 6; ++round) {
        fs::remove(file);
        testing::ChildProcess child([&] {
            std::ostringstream out, err;
            const std::string_view args[] = {"import", file, "--layout", "Customer", csv};
            return run_qvd(Arguments(args, 5), out, err);
        });
        ASSERT_TRUE(child.started());
        // Early rounds kill while the rows are read, later ones around the commit.
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % (40 + round * 60)));
        child.kill();
        if (child.signal() == 0) {
            ASSERT_EQ(child.exit_code(), 0) << "round " << round;
        }
        if (!fs::exists(file)) {
            ++empty; // killed before the file was created
            continue;
        }
        qvd::StoreOptions options;
        options.mode = qvd::OpenMode::ReadOnly;
        int32_t error = 0;
        auto store = qvd::Store::Open(file, options, error);
        ASSERT_TRUE(store) << "round " << round << ": " << error;
        EXPECT_EQ(store->Check(), std::nullopt) << "round " << round;
        const std::optional<uint32_t> table = store->FindTable("UNNAMED");
        const uint64_t records = table ? store->Count(qvd::TableKeyPrefix(*table, qvd::EntryRecord)) : 0;
        EXPECT_TRUE(records == 0 || records == Rows) << "round " << round << ": " << records << " records";
        ++(records == Rows ? complete : empty);
    }
    std::printf("killed imports: %d left every row, %d none\n", complete, empty);
}

} // namespace
} // namespace morvex::tools

// morvex qvd import with the QVD driver, killed at random moments: the file
// afterwards holds every row of the CSV or none of them, and checks clean.
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_store.h"
#include "tools/qvd_command.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace morvex::tools {
namespace {

namespace fs = std::filesystem;

TEST(QvdImportKillTest, AKilledImportLeavesEveryRowOrNone) {
    const fs::path dir = fs::temp_directory_path() / ("qvd_import_kill_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    constexpr int Rows = 20000;
    const std::string csv = (dir / "in.csv").string();
    {
        std::ofstream out(csv);
        out << "CUS:CUSID,CUS:NAME,CUS:STARTDATE\n";
        for (int i = 1; i <= Rows; ++i)
            out << i << ",Name " << i << "," << 73000 + i % 365 << "\n";
    }
    const std::string file = (dir / "Customer.QVD").string();
    std::mt19937 random(7);
    int complete = 0;
    int empty = 0;
    for (int round = 0; round < 6; ++round) {
        fs::remove(file);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::ostringstream out, err;
            const std::string_view args[] = {"import", file, "--layout", "Customer", csv};
            _exit(run_qvd(Arguments(args, 5), out, err));
        }
        // Early rounds kill while the rows are read, later ones around the commit.
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % (40 + round * 60)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFEXITED(status)) {
            ASSERT_EQ(WEXITSTATUS(status), 0) << "round " << round;
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
    fs::remove_all(dir);
}

} // namespace
} // namespace morvex::tools

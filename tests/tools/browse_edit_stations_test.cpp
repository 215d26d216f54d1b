// Two stations edit the same Customer record. This process runs the browse
// with --edit under a script; while its row is in edit, another process
// (morvex browse --edit) saves a change of the record, or another open of
// the file holds it. The save of the row must be refused with the
// framework's message, the other station's record must stay as it wrote it
// (read back by morvex qvd export), and the row must keep what was typed.
#include "files/file_statements.h"
#include "framework/edit_in_place_manager.h"
#include "framework/error_reporter.h"
#include "framework/window_controller.h"
#include "platform/backend_choice.h"
#include "platform/message_queue.h"
#include "platform/resources.h"
#include "runtime/error_state.h"
#include "runtime/threads.h"
#include "tests/support/command_runner.h"
#include "tests/support/customer_file.h"
#include "tests/support/temp_directory.h"
#include "tools/browse_window.h"
#include "window/accept.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/script_driver.h"
#include "window/scripted_run.h"
#include "window/window.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace morvex::tools {
namespace {

class BrowseEditStations : public ::testing::Test {
protected:
    void SetUp() override {
        auto file = testing::DeclareQvdFile(testing::CustomerLayout, path());
        CREATE(*file);
        OPEN(*file, AccessReadWrite | ShareDenyAll);
        for (int i = 1; i <= 3; ++i) {
            uint8_t* record = file->buffer();
            std::memset(record, ' ', 68);
            std::memcpy(record, &i, 4);
            const std::string name = "Name " + std::to_string(i);
            std::memcpy(record + 4, name.data(), name.size());
            ADD(*file);
        }
        ASSERT_EQ(ErrorCode(), 0);
        CLOSE(*file);
    }

    std::string path() const { return dir.file("Customer.QVD"); }

    // The name of record `id` as the export reads it.
    std::string exported_name(int id) {
        const testing::CommandResult exported =
            testing::RunCommand({MORVEX_TOOL, "qvd", "export", path(), "--layout", "Customer"});
        EXPECT_EQ(exported.exit_code, 0) << exported.err;
        std::istringstream lines(exported.out);
        std::string line;
        while (std::getline(lines, line))
            if (line.starts_with(std::to_string(id) + ",")) {
                const size_t first = line.find(',');
                return line.substr(first + 1, line.find(',', first + 1) - first - 1);
            }
        return {};
    }

    // Runs this station's browse under `script`; its commands "station"
    // (the other process saves "Beta" for record 1), "hold" and "release"
    // (another open of the file holds record 1). The script's output.
    std::string run(const std::string& script) {
        static bool started = false;
        if (!started) {
            EXPECT_TRUE(platform::install_backend("headless"));
            platform::use_manual_timer_clock();
            InitializeThreads();
            InitializeWindowEngine();
            started = true;
        }
        InstallEditInPlace();
        auto declared = testing::DeclareQvdFile(testing::CustomerLayout, path());
        FileDeclaration& file = *declared;
        KeyDeclaration& key = *file.key(1);
        static BrowseWindowSource source;
        source = MakeBrowseWindow(file, key, path(), BrowseAccess::EditInPlace);
        const wdf::CompileResult compiled = wdf::ParseWindowDefinitions(source.text, "browse");
        EXPECT_TRUE(compiled.ok()) << compiled.error;
        static std::vector<uint8_t> block;
        block = wdf::EncodeProcedure(compiled.procedures.front());
        platform::register_resource("browse", "DABDUMP",
                                    wdf::ResourceNameOf(compiled.procedures.front().name), block);
        ErrorReporter reporter;
        reporter.Init();
        GlobalErrors = &reporter;
        std::unique_ptr<FileDeclaration> other;
        const std::string other_script = dir.file("other.script");
        std::ofstream(other_script) << "click 8\nkey Tab\ntype Beta\nkey Enter\n";
        const auto commands = [&](ScriptDriver& driver) {
            driver.AddCommand("station", [&](std::string_view) -> std::optional<std::string> {
                const testing::CommandResult r =
                    testing::RunCommand({MORVEX_TOOL, "browse", path(), "--layout", "Customer", "--edit",
                                         "--script", other_script, "--backend", "headless"},
                                        {}, std::chrono::seconds(60));
                if (r.exit_code != 0)
                    return "the other station failed: " + r.err;
                return std::nullopt;
            });
            driver.AddCommand("hold", [&](std::string_view) -> std::optional<std::string> {
                other = testing::DeclareQvdFile(testing::CustomerLayout, path());
                OPEN(*other, AccessReadWrite | ShareDenyNone);
                const int32_t id = 1;
                std::memcpy(other->buffer(), &id, 4);
                HOLD(*other);
                GET(*other, *other->key(5));
                if (ErrorCode() != 0)
                    return "the other open could not hold record 1: " + std::string(ErrorText());
                return std::nullopt;
            });
            driver.AddCommand("release", [&](std::string_view) -> std::optional<std::string> {
                CLOSE(*other);
                return std::nullopt;
            });
        };
        std::ostringstream out;
        std::ostringstream err;
        ScriptOptions options;
        options.name = "stations";
        const int status = RunUnderScript(options, script, out, err, commands, [&] {
            FileBrowser browser(file, key, source);
            browser.Run();
        });
        EXPECT_EQ(status, 0) << err.str() << out.str();
        last_error = std::string(reporter.current().TITLE) + ": " + std::string(reporter.current().MESSAGE);
        GlobalErrors = nullptr;
        reporter.Kill();
        ReleaseEditInPlace();
        return out.str();
    }

    testing::TempDirectory dir{"browse-stations"};
    std::string last_error;
};

TEST_F(BrowseEditStations, ASaveAfterAnotherStationsChangeIsRefusedAndNothingIsLost) {
    const std::string out = run("click 8\nkey Tab\ntype Alpha\nstation\nanswer Ok\nkey Enter\n"
                                "echo == kept\nget 3 Selection\nrows 3\nkey Escape\n");
    EXPECT_NE(last_error.find("changed by another station"), std::string::npos) << last_error;
    EXPECT_EQ(exported_name(1), "Beta");
    // The refused row is still in edit with what this station typed.
    EXPECT_NE(out.find("Alpha"), std::string::npos) << out;
}

TEST_F(BrowseEditStations, AHeldRecordIsReportedNotOverwritten) {
    const std::string out = run("click 8\nkey Tab\ntype Alpha\nhold\nanswer Ok\nkey Enter\n"
                                "echo == kept\nrows 3\nrelease\nkey Escape\n");
    EXPECT_EQ(exported_name(1), "Name 1");
    EXPECT_NE(out.find("Alpha"), std::string::npos) << out;
    // The file manager's message of a write the file refused.
    EXPECT_TRUE(last_error.starts_with("Record was not updated")) << last_error;
}

} // namespace
} // namespace morvex::tools

// The file manager over real QVD files in a temporary directory: the open
// fallbacks, reading off the end, automatic numbering, a called procedure
// that leaves its caller's record and position alone (on one thread and on
// two), the lazy open's usage error, the duplicate key message, a change by
// another station, and several processes numbering customers at once.
// Message boxes are seen through a presenter that records them.
#include "files/access_mode.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/record_layout.h"
#include "framework/file_manager.h"
#include "framework/file_manager_errors.h"
#include "runtime/error_state.h"
#include "runtime/threads.h"
#include "tests/support/child_process.h"
#include "tests/support/customer_file.h"
#include "tests/support/temp_directory.h"

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace morvex {
namespace {

using platform::MessageBoxButton;
using testing::CustomerLayout;
using testing::TempDirectory;

// Order lines numbered per customer: the second component of the key.
constexpr std::string_view LineLayout = R"(file LINES 8
field LIN:CUSID LONG 0
field LIN:LINE LONG 4
key LIN:BYLINE OPT PRIMARY : LIN:CUSID LIN:LINE
)";

std::unique_ptr<FileDeclaration> Declare(std::string_view layout, const std::string& path,
                                         uint8_t attributes = 0) {
    return testing::DeclareQvdFile(layout, path, attributes);
}

struct Customer {
    explicit Customer(FileDeclaration& file) : file(file) {}
    FileDeclaration& file;
    int32_t id() const {
        int32_t value;
        std::memcpy(&value, file.buffer(), 4);
        return value;
    }
    void set_id(int32_t value) { std::memcpy(file.buffer(), &value, 4); }
    std::string name() const {
        std::string text(reinterpret_cast<const char*>(file.buffer()) + 4, 20);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }
    void set_name(std::string_view text) {
        std::memset(file.buffer() + 4, ' ', 20);
        std::memcpy(file.buffer() + 4, text.data(), std::min<std::size_t>(text.size(), 20));
    }
};

class FileManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::set_message_box_presenter([this](const platform::MessageBoxRequest& request) {
            shown.push_back(request.text);
            if (answers.empty())
                return request.default_button;
            const MessageBoxButton answer = answers.front();
            answers.pop_front();
            return answer;
        });
        errors.Init();
        file = Declare(CustomerLayout, dir.file("Customer"));
        InitCustomers(manager, *file);
    }
    void TearDown() override {
        manager.Kill();
        errors.Kill();
        platform::set_message_box_presenter({});
    }

    void InitCustomers(FileManager& fm, FileDeclaration& declaration) {
        fm.Init(declaration, errors);
        fm.FILENAMEVALUE = "Customer";
        const char* descriptions[] = {"CUS:ByName", "CUS:ByStartDateName", "CUS:ByPhone", "CUS:BySuburb",
                                      "CUS:ByID"};
        for (int32_t k = 1; k <= 5; ++k)
            fm.AddKey(*declaration.key(k), descriptions[k - 1], k == 5 ? 1 : 0);
    }

    // Adds customers with these names through the manager (ids numbered).
    void Add(std::initializer_list<std::string_view> names) {
        manager.Open();
        for (std::string_view name : names) {
            manager.PrimeRecord();
            Customer(*file).set_name(name);
            ASSERT_EQ(manager.Insert(), Level::Benign) << name;
        }
        manager.Close();
    }

    TempDirectory dir;
    ErrorReporter errors;
    std::unique_ptr<FileDeclaration> file;
    FileManager manager;
    std::vector<std::string> shown;
    std::deque<MessageBoxButton> answers;
};

TEST_F(FileManagerTest, InitSetsTheDefaultsAndTheKeys) {
    EXPECT_EQ(manager.OPENMODE, 0x42);
    EXPECT_EQ(manager.LAZYOPEN, 1);
    EXPECT_EQ(manager.CREATE, 1);
    EXPECT_EQ(manager.LOCKRECOVER, 10);
    EXPECT_EQ(manager.PRIMARYKEY, 5);
    EXPECT_EQ(manager.HASAUTOINC, 1);
    EXPECT_EQ(FileManagerFor(*file), &manager);
    EXPECT_EQ(manager.GetOrder(*file->key(2)), "CUS:STARTDATE,UPPER(CUS:NAME)");
    EXPECT_EQ(manager.GetComponentName(*file->key(5), 1), "CUS:CUSID");
    EXPECT_EQ(manager.GetComponents(*file->key(2)), 2);
}

// How the first use of a lazily opened file goes, one row a situation.
struct OpenCase {
    const char* label;
    std::function<void(const std::string& path, std::vector<std::unique_ptr<FileDeclaration>>& keep)> before;
    uint8_t create;
    int level;                      // of the first Next
    std::vector<std::string> shown; // messages, in order
    uint8_t open_mode;              // afterwards
};

TEST_F(FileManagerTest, FirstUseOpensCreatesOrFallsBack) {
    const std::string read_only = "Could not get write access to Customer so trying read-only.";
    const std::vector<OpenCase> cases = {
        {"a missing file is created and read at once", {}, 1, Level::Notify, {}, 0x42},
        {"an existing file opens for reading and writing",
         [](const std::string& path, auto&) {
             auto f = Declare(CustomerLayout, path);
             CREATE(*f);
         },
         1,
         Level::Notify,
         {},
         0x42},
        // Root is not refused by file permissions, so the refusal comes from
        // another open that denies writing: the driver answers 5 to any open
        // that asks for write access, and the read-only one is let in.
        {"another open denies writing: read-only, told once",
         [](const std::string& path, auto& keep) {
             auto f = Declare(CustomerLayout, path);
             CREATE(*f);
             OPEN(*f, AccessReadOnly | ShareDenyWrite);
             keep.push_back(std::move(f));
         },
         1,
         Level::Notify,
         {read_only},
         0x40},
        {"changed keys are rebuilt after the message",
         [](const std::string& path, auto&) {
             std::string other(CustomerLayout);
             other.replace(other.find("key CUS:BYPHONE DUP"), 19, "key CUS:BYPHONE    ");
             auto f = Declare(other, path);
             CREATE(*f);
         },
         1,
         Level::Notify,
         {"Customer key file is invalid. Key must be rebuilt."},
         0x42},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempDirectory here;
        const std::string path = here.file("Customer");
        std::vector<std::unique_ptr<FileDeclaration>> keep;
        if (c.before)
            c.before(path, keep);
        auto declaration = Declare(CustomerLayout, path);
        FileManager fm;
        InitCustomers(fm, *declaration);
        fm.CREATE = c.create;
        shown.clear();
        ASSERT_EQ(fm.Open(), Level::Benign);
        EXPECT_EQ(fm.Next(), c.level);
        EXPECT_EQ(fm.GetEOF(), 1);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(fm.OPENMODE, c.open_mode);
        EXPECT_TRUE(std::filesystem::exists(path + ".QVD"));
        // A second use neither opens again nor tells again.
        EXPECT_EQ(fm.Previous(), Level::Notify);
        EXPECT_EQ(shown.size(), c.shown.size());
        fm.Close();
        fm.Kill();
    }
}

// Files that cannot be opened at all are reported through the manager's
// error ids, quietly in the Try form, never by a crash.
TEST_F(FileManagerTest, AFileThatCannotBeOpenedGivesItsErrorId) {
    const struct {
        const char* label;
        const char* name;
        const char* content; // written as NAME.QVD; nullptr: no file
        uint16_t error;
    } cases[] = {
        // The driver answers "path not found", which is not the "file not
        // found" that asks for a create.
        {"a file in a missing directory", "missing/Customer", nullptr, FileAccessError},
        {"a damaged file", "Customer", "this is not a QVD file, only text of the wrong length",
         FileAccessError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDirectory here;
        const std::string path = here.file(c.name);
        if (c.content)
            std::ofstream(path + ".QVD") << c.content;
        auto declaration = Declare(CustomerLayout, path);
        FileManager fm;
        InitCustomers(fm, *declaration);
        fm.LAZYOPEN = 0;
        shown.clear();
        EXPECT_EQ(fm.TryOpen(), Level::Notify);
        EXPECT_EQ(fm.info().LASTERROR, c.error);
        EXPECT_EQ(fm.info().USED, 0);
        EXPECT_TRUE(shown.empty());
        fm.Kill();
    }
}

TEST_F(FileManagerTest, WithoutCreateAMissingFileFailsQuietlyInTheTryForm) {
    manager.CREATE = 0;
    manager.LAZYOPEN = 0;
    EXPECT_EQ(manager.TryOpen(), Level::Notify);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(manager.info().LASTERROR, 23);
    EXPECT_EQ(manager.info().OPENED, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Customer.QVD")));
}

TEST_F(FileManagerTest, ReadingPastTheEndSetsAtEofWithoutAMessage) {
    Add({"Adams", "Brown", "Clark"});
    manager.Open();
    SET(*file->key(1));
    std::vector<std::string> names;
    while (manager.Next() == Level::Benign)
        names.push_back(Customer(*file).name());
    EXPECT_EQ(names, (std::vector<std::string>{"Adams", "Brown", "Clark"}));
    EXPECT_EQ(manager.GetEOF(), 1);
    EXPECT_EQ(manager.TryNext(), Level::Notify);
    EXPECT_EQ(manager.Previous(), Level::Benign);
    EXPECT_EQ(manager.GetEOF(), 0);
    EXPECT_EQ(Customer(*file).name(), "Clark");
    EXPECT_TRUE(shown.empty());
    manager.Close();
}

TEST_F(FileManagerTest, PrimeAutoIncTakesTheNumberAfterTheHighest) {
    struct Row {
        std::vector<int32_t> present;
        int32_t next;
    };
    const Row rows[] = {{{}, 1}, {{1, 2, 3, 4, 5, 6, 7}, 8}, {{3, 10, 4}, 11}};
    for (const Row& row : rows) {
        TempDirectory here;
        auto declaration = Declare(CustomerLayout, here.file("Customer"));
        FileManager fm;
        InitCustomers(fm, *declaration);
        fm.Open();
        Customer c(*declaration);
        for (int32_t id : row.present) {
            fm.UseFile(2);
            declaration->clear_record();
            c.set_id(id);
            c.set_name("N" + std::to_string(id));
            ADD(*declaration);
            ASSERT_EQ(ErrorCode(), 0);
        }
        declaration->clear_record();
        c.set_name("New");
        ASSERT_EQ(fm.PrimeAutoInc(), Level::Benign);
        EXPECT_EQ(c.id(), row.next);
        EXPECT_EQ(c.name(), "New"); // the caller's record came back around the search
        EXPECT_EQ(fm.info().AUTOINCDONE, 1);
        ASSERT_EQ(fm.Insert(), Level::Benign);
        EXPECT_EQ(RECORDS(*declaration), static_cast<int32_t>(row.present.size() + 1));
        fm.Close();
        fm.Kill();
    }
}

TEST_F(FileManagerTest, AnAutomaticNumberAfterAPrefixCountsWithinThePrefix) {
    auto lines = Declare(LineLayout, dir.file("Lines"));
    FileManager fm;
    fm.Init(*lines, errors);
    fm.AddKey(*lines->key(1), "LIN:ByLine", 2);
    fm.Open();
    const auto set = [&](int32_t customer, int32_t line) {
        std::memcpy(lines->buffer(), &customer, 4);
        std::memcpy(lines->buffer() + 4, &line, 4);
    };
    const auto line = [&] {
        int32_t value;
        std::memcpy(&value, lines->buffer() + 4, 4);
        return value;
    };
    for (auto [customer, n] : {std::pair{1, 1}, {1, 2}, {1, 3}, {2, 1}, {4, 7}}) {
        fm.UseFile(2);
        set(customer, n);
        ADD(*lines);
    }
    const std::pair<int32_t, int32_t> expected[] = {{1, 4}, {2, 2}, {3, 1}, {4, 8}, {5, 1}};
    for (auto [customer, next] : expected) {
        set(customer, 0);
        ASSERT_EQ(fm.TryPrimeAutoInc(), Level::Benign);
        EXPECT_EQ(line(), next) << "customer " << customer;
        fm.info().AUTOINCDONE = 0;
    }
    fm.Close();
    fm.Kill();
}

// A procedure that reads Customer in another order and closes it, for the
// tests of the caller's record.
void ReadAllAndClose(FileManager& fm, FileDeclaration& file, ErrorReporter& errors, int mode) {
    errors.SetProcedureName("Callee");
    fm.Open();
    fm.UseFile(mode);
    SET(*file.key(5));
    while (fm.Next() == Level::Benign) {
    }
    Customer(file).set_name("Changed");
    fm.Close();
    errors.SetProcedureName({}, ErrorReporter::NameStack::Pop);
}

TEST_F(FileManagerTest, ACalledProcedureThatReadsLeavesTheCallersRecordAndPosition) {
    Add({"Adams", "Brown", "Clark", "Davis"});
    struct Row {
        int mode;
        bool restored;
    };
    for (const Row row : {Row{2, true}, Row{3, false}}) {
        SCOPED_TRACE(row.mode);
        errors.SetProcedureName("Caller");
        manager.Open();
        SET(*file->key(1));
        manager.Next();
        manager.Next();
        Customer(*file).set_name("Brown"); // as read
        std::vector<uint8_t> before(file->buffer(), file->buffer() + 68);
        ReadAllAndClose(manager, *file, errors, row.mode);
        if (row.restored) {
            EXPECT_EQ(std::vector<uint8_t>(file->buffer(), file->buffer() + 68), before);
            ASSERT_EQ(manager.Next(), Level::Benign);
            EXPECT_EQ(Customer(*file).name(), "Clark");
        } else {
            EXPECT_EQ(Customer(*file).name(), "Changed");
        }
        EXPECT_EQ(manager.info().OPENED, 1);
        manager.Close();
        EXPECT_EQ(manager.info().USED, 0);
        errors.SetProcedureName({}, ErrorReporter::NameStack::Pop);
    }
    EXPECT_TRUE(FileUsage().empty());
}

// The THREAD file of the test on two threads.
FileManager* g_thread_manager = nullptr;
FileDeclaration* g_thread_file = nullptr;
ErrorReporter* g_thread_errors = nullptr;
int g_other_thread_reads = 0;

void ReadOnAnotherThread() {
    g_thread_errors->SetProcedureName("Other");
    g_thread_manager->Open();
    SET(*g_thread_file->key(5));
    while (g_thread_manager->Next() == Level::Benign)
        ++g_other_thread_reads;
    g_thread_manager->Close();
    g_thread_errors->SetProcedureName({}, ErrorReporter::NameStack::Pop);
}

TEST_F(FileManagerTest, AThreadFileKeepsEachThreadsRecordPositionAndOpenCount) {
    Add({"Adams", "Brown", "Clark"});
    auto threaded = Declare(CustomerLayout, dir.file("Customer"), FileThread);
    FileManager fm;
    InitCustomers(fm, *threaded);
    errors.SetProcedureName("Caller");
    fm.Open();
    SET(*threaded->key(1));
    fm.Next();
    fm.Next();
    std::vector<uint8_t> before(threaded->buffer(), threaded->buffer() + 68);
    g_thread_manager = &fm;
    g_thread_file = threaded.get();
    g_thread_errors = &errors;
    ASSERT_GT(START(ReadOnAnotherThread, 0), 0);
    WaitForOtherThreads();
    EXPECT_EQ(g_other_thread_reads, 3);
    EXPECT_EQ(std::vector<uint8_t>(threaded->buffer(), threaded->buffer() + 68), before);
    fm.GetInfo();
    EXPECT_EQ(fm.info().OPENED, 1);
    ASSERT_EQ(fm.Next(), Level::Benign);
    EXPECT_EQ(Customer(*threaded).name(), "Clark");
    fm.Close();
    fm.Kill();
    errors.SetProcedureName({}, ErrorReporter::NameStack::Pop);
}

TEST_F(FileManagerTest, UsingALazyFileBeforeOpeningItEndsTheProgramWithTheUsageMessage) {
    const std::string seen = dir.file("seen.txt");
    testing::ChildProcess child([&] {
        platform::set_message_box_presenter([&](const platform::MessageBoxRequest& request) {
            std::ofstream(seen, std::ios::app) << request.caption << ": " << request.text << "\n";
            return request.default_button;
        });
        manager.Next();
        return 7; // not reached: the message ends the program
    });
    ASSERT_TRUE(child.wait(std::chrono::seconds(30)));
    EXPECT_NE(child.exit_code(), 7);
    std::ifstream in(seen);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "File Usage Error: Attempt to use file (Customer) before it was opened  Press OK to end "
                    "this application");
}

TEST_F(FileManagerTest, ADuplicateNamesTheKeyAndTakesNoNumber) {
    Add({"Smith"});
    manager.Open();
    manager.PrimeRecord();
    Customer(*file).set_name("SMITH");
    EXPECT_EQ(manager.Insert(), Level::Notify);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Adding this record creates a duplicate entry for the key: CUS:ByName"}));
    // The number the primed record took is given back.
    EXPECT_EQ(manager.CancelAutoInc(), Level::Benign);
    shown.clear();
    // Without priming, the failed insert adds nothing: the Try form is quiet.
    manager.PrimeRecord(); // takes 2 for an empty record
    manager.CancelAutoInc();
    file->clear_record();
    Customer(*file).set_name("smith");
    EXPECT_EQ(manager.TryInsert(), Level::Notify);
    EXPECT_EQ(manager.info().LASTERROR, 13);
    EXPECT_TRUE(shown.empty());
    file->clear_record();
    Customer(*file).set_name("Jones");
    ASSERT_EQ(manager.Insert(), Level::Benign);
    EXPECT_EQ(Customer(*file).id(), 2); // no number lost to the failures
    EXPECT_EQ(RECORDS(*file), 2);
    manager.Close();
}

TEST_F(FileManagerTest, AnUpdateMeetsAChangeByAnotherStation) {
    Add({"Adams"});
    auto other = Declare(CustomerLayout, dir.file("Customer"));
    OPEN(*other, AccessReadWrite | ShareDenyNone);
    manager.Open();
    manager.UseFile(2);
    SET(*file->key(1));
    WATCH(*file);
    ASSERT_EQ(manager.Next(), Level::Benign);
    // The other station renames the customer meanwhile.
    SET(*other);
    NEXT(*other);
    Customer(*other).set_name("Abbott");
    PUT(*other);
    ASSERT_EQ(ErrorCode(), 0);
    Customer(*file).set_name("Adamson");
    EXPECT_EQ(manager.Update(), Level::Notify);
    EXPECT_EQ(shown, (std::vector<std::string>{"This record was changed by another station."}));
    EXPECT_EQ(Customer(*file).name(), "Abbott"); // the buffer shows their version
    // Watched again: a change made now, with nothing between, is written.
    Customer(*file).set_name("Adamson");
    EXPECT_EQ(manager.Update(), Level::Benign);
    GET(*other, *other->key(5));
    EXPECT_EQ(Customer(*other).name(), "Adamson");
    manager.Close();
    CLOSE(*other);
}

TEST_F(FileManagerTest, SnapshotsComeBackOnceAndIdZeroIsIgnored) {
    Customer c(*file);
    c.set_name("First");
    uint16_t a = manager.SaveBuffer();
    c.set_name("Second");
    uint16_t b = manager.SaveBuffer();
    EXPECT_EQ(b, a + 1);
    c.set_name("Third");
    manager.RestoreBuffer(a, true);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(c.name(), "First");
    manager.RestoreBuffer(a, true); // id 0: nothing happens
    EXPECT_EQ(c.name(), "First");
    manager.RestoreBuffer(b, false);
    EXPECT_EQ(c.name(), "First");
    EXPECT_TRUE(manager.BUFFERS->empty());
}

// Processes inserting customers at once, each through its own manager.
class ConcurrentInsertTest : public FileManagerTest, public ::testing::WithParamInterface<int> {};

TEST_P(ConcurrentInsertTest, EveryInsertGetsItsOwnNumberAndNoneIsLost) {
    const int processes = GetParam();
    constexpr int PerProcess = 25;
    const std::string path = dir.file("Customer");
    std::vector<testing::ChildProcess> children;
    for (int p = 0; p < processes; ++p) {
        children.emplace_back([&, p] {
            auto declaration = Declare(CustomerLayout, path);
            FileManager fm;
            InitCustomers(fm, *declaration);
            fm.Open();
            std::ofstream log(dir.file("added" + std::to_string(p)));
            Customer c(*declaration);
            for (int i = 0; i < PerProcess; ++i) {
                // Every fifth insert collides with another process's name and
                // must fail without using up a number.
                declaration->clear_record();
                c.set_name(i % 5 == 4 ? "Shared" : "P" + std::to_string(p) + "-" + std::to_string(i));
                // A number lost to another process three times in a row asks
                // whether to go on; the recording presenter answers Yes.
                if (fm.Insert() == Level::Benign)
                    log << c.id() << ' ' << c.name() << '\n';
                else if (fm.info().LASTERROR != 13)
                    return 1;
            }
            fm.Close();
            return 0;
        });
    }
    for (testing::ChildProcess& child : children) {
        ASSERT_TRUE(child.wait(std::chrono::seconds(120)));
        EXPECT_EQ(child.exit_code(), 0);
    }
    std::map<int32_t, std::string> reported;
    for (int p = 0; p < processes; ++p) {
        std::ifstream in(dir.file("added" + std::to_string(p)));
        int32_t id;
        std::string name;
        while (in >> id >> name)
            EXPECT_TRUE(reported.emplace(id, name).second) << "id " << id << " given twice";
    }
    std::map<int32_t, std::string> stored;
    manager.Open();
    SET(*file->key(5));
    while (manager.Next() == Level::Benign)
        stored.emplace(Customer(*file).id(), Customer(*file).name());
    manager.Close();
    EXPECT_EQ(stored, reported);
    const int expected = processes * (PerProcess - PerProcess / 5) + 1; // one "Shared" wins
    ASSERT_EQ(static_cast<int>(stored.size()), expected);
    EXPECT_EQ(stored.begin()->first, 1);
    EXPECT_EQ(stored.rbegin()->first, expected); // no gaps
}

INSTANTIATE_TEST_SUITE_P(Processes, ConcurrentInsertTest, ::testing::Values(2, 4));

} // namespace
} // namespace morvex

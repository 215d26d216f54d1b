// The relation manager over three related QVD files: customers, their orders
// and the orders' lines (linked to the orders by customer and order id, so a
// customer's new id reaches the lines through the orders). Every outcome is
// read afresh from the files through declarations of the test's own.
#include "files/driver.h"
#include "files/field_text.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/record_csv.h"
#include "files/transaction.h"
#include "framework/file_manager.h"
#include "framework/file_relation.h"
#include "platform/message_box.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tests/support/customer_file.h"
#include "tests/support/temp_directory.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>

namespace morvex {
namespace {

constexpr std::string_view Layouts[] = {
    "file CUSTOMER\nfield CUS:CUSID LONG\nfield CUS:NAME STRING(20)\nkey CUS:BYID OPT PRIMARY : CUS:CUSID\n",
    "file ORDERS\nfield ORD:CUSID LONG\nfield ORD:ORDID LONG\nfield ORD:TEXT STRING(20)\n"
    "key ORD:BYCUS DUP : ORD:CUSID ORD:ORDID\n",
    "file LINES\nfield LIN:CUSID LONG\nfield LIN:ORDID LONG\nfield LIN:TEXT STRING(20)\n"
    "key LIN:BYORDER DUP : LIN:CUSID LIN:ORDID\n"};
constexpr const char* Names[] = {"Customer", "Orders", "Lines"};

// Each file's records as "field field ...", sorted.
using Contents = std::vector<std::vector<std::string>>;
const Contents Seeded{
    {"1 Ann", "2 Bob", "3 Cy"}, {"1 10 a", "1 11 b", "2 20 c"}, {"1 10 x", "1 10 y", "1 11 z", "2 20 w"}};
const Contents Customer1Deleted{{"2 Bob", "3 Cy"}, {"2 20 c"}, {"2 20 w"}};
const Contents Customer1Is7{
    {"2 Bob", "3 Cy", "7 Ann"}, {"2 20 c", "7 10 a", "7 11 b"}, {"2 20 w", "7 10 x", "7 10 y", "7 11 z"}};

// Beside the QVD driver's work: transaction calls and SENDs counted, the
// k-th DELETE or PUT failed once, LOGOUT answered as without transactions.
struct DriverScript {
    int logouts = 0, commits = 0, writes = 0, fail_write_at = -1;
    bool no_transactions = false;
    std::vector<std::string> sends, puts;
} g_script;

int32_t ScriptedDriver(int operation, FileDeclaration& file, DriverArguments args) {
    const auto op = static_cast<DriverOperation>(operation);
    g_script.logouts += op == DriverOperation::Logout;
    g_script.commits += op == DriverOperation::Commit;
    if (op == DriverOperation::Send)
        g_script.sends.push_back(file.label);
    if (op == DriverOperation::Put)
        g_script.puts.push_back(file.label);
    const bool fails = (op == DriverOperation::Put || op == DriverOperation::Delete) &&
                       g_script.writes++ == g_script.fail_write_at;
    if (fails || (op == DriverOperation::Logout && g_script.no_transactions)) {
        g_script.fail_write_at = fails ? -1 : g_script.fail_write_at;
        SetError(fails ? ErrFileSystemError : ErrUnsupportedDriverFunction);
        return 0;
    }
    return QvdDriver(operation, file, args);
}

BoundVariable field(FileDeclaration& file, const char* label) {
    const FieldDescription& f = file.record.field(file.find_field(label));
    return BoundVariable{f.type, file.buffer() + f.offset, f.size, 0, 1};
}
void set(FileDeclaration& file, const char* label, std::string_view text) {
    SetFieldText(file.record.field(file.find_field(label)), text, file.buffer());
}
std::string get(FileDeclaration& file, const char* label) {
    return FieldText(file.record.field(file.find_field(label)), file.buffer());
}

class FileRelationTest : public ::testing::Test {
public:
    void SetUp() override {
        g_script = DriverScript{};
        platform::set_message_box_presenter([this](const platform::MessageBoxRequest& request) {
            shown.push_back(request.text);
            if (request.buttons != platform::MessageBoxButtons::YesNo)
                return request.default_button;
            return answer_yes ? platform::ButtonYes : platform::ButtonNo;
        });
        errors.Init();
        for (int f = 0; f < 3; ++f) {
            files[f] = declare(f, ScriptedDriver);
            managers[f].Init(*files[f], errors);
            managers[f].FILENAMEVALUE = Names[f];
            managers[f].AddKey(*files[f]->key(1), files[f]->key(1)->label, f == 0 ? 1 : 0);
        }
    }
    void TearDown() override {
        for (int f = 0; f < 3; ++f) {
            relations[f].Kill();
            while (managers[f].GetInfo(), managers[f].info().OPENED > 0)
                managers[f].Close();
            managers[f].Kill();
        }
        errors.Kill();
        platform::set_message_box_presenter({});
    }

    std::unique_ptr<FileDeclaration> declare(int f, DriverEntry driver = QvdDriver) {
        auto file = testing::DeclareQvdFile(Layouts[f], dir.file(Names[f]));
        file->driver = driver;
        return file;
    }

    // Customer -> orders (the modes given) -> lines (cascading both ways).
    void relate(uint8_t update_mode, uint8_t delete_mode) {
        for (int f = 0; f < 3; ++f)
            relations[f].Init(managers[f], true);
        relations[0].AddRelation(relations[1], update_mode, delete_mode, *files[1]->key(1));
        relations[0].AddRelationLink(field(*files[0], "CUS:CUSID"), field(*files[1], "ORD:CUSID"));
        relations[1].AddRelation(relations[0]);
        relations[1].AddRelation(relations[2], RelationCascade, RelationCascade, *files[2]->key(1));
        relations[1].AddRelationLink(field(*files[1], "ORD:CUSID"), field(*files[2], "LIN:CUSID"));
        relations[1].AddRelationLink(field(*files[1], "ORD:ORDID"), field(*files[2], "LIN:ORDID"));
        relations[2].AddRelation(relations[1]);
    }

    void seed(const Contents& contents = Seeded) {
        for (int f = 0; f < 3; ++f) {
            std::filesystem::remove(dir.file(std::string(Names[f]) + ".QVD"));
            auto file = declare(f);
            CREATE(*file);
            OPEN(*file, AccessReadWrite | ShareDenyNone);
            const RecordCsvColumns columns = RecordCsvColumns::AllFields(file->record);
            for (const std::string& row : contents[f]) {
                std::istringstream words(row);
                std::vector<std::string> values{std::istream_iterator<std::string>(words), {}};
                ClearRecord(file->record, file->buffer());
                ASSERT_EQ(columns.ToRecord(values, file->buffer()), "");
                ADD(*file);
            }
            ASSERT_EQ(ErrorCode(), 0) << ErrorText();
            CLOSE(*file);
        }
    }

    Contents contents() {
        Contents out(3);
        for (int f = 0; f < 3; ++f) {
            auto file = declare(f);
            OPEN(*file, AccessReadOnly | ShareDenyNone);
            const RecordCsvColumns columns = RecordCsvColumns::AllFields(file->record);
            SET(*file);
            for (NEXT(*file); ErrorCode() == 0; NEXT(*file)) {
                std::string row;
                for (const std::string& value : columns.FromRecord(file->buffer()))
                    if (!value.empty())
                        row += (row.empty() ? "" : " ") + value;
                out[f].push_back(row);
            }
            EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable) << ErrorText();
            CLOSE(*file);
            std::sort(out[f].begin(), out[f].end());
        }
        return out;
    }

    // The family opened and customer `id` current, its links saved as a
    // browse saves them.
    void fetch_customer(const char* id, bool save_links = true) {
        ASSERT_EQ(relations[0].Open(), Level::Benign);
        set(*files[0], "CUS:CUSID", id);
        ASSERT_EQ(managers[0].TryFetch(*files[0]->key(1)), Level::Benign) << id;
        if (save_links)
            relations[0].SaveLinkValues();
    }
    bool was_shown(std::string_view text) const {
        return std::any_of(shown.begin(), shown.end(),
                           [&](const std::string& s) { return s.find(text) != std::string::npos; });
    }

    testing::TempDirectory dir{"file_relation_test"};
    ErrorReporter errors;
    std::unique_ptr<FileDeclaration> files[3];
    FileManager managers[3];
    FileRelation relations[3];
    std::vector<std::string> shown;
    bool answer_yes = false;
};

// A delete of customer 1 (or 3, without orders), or a change of its id (to
// 7) or of its name only.
struct ModeCase {
    const char* label;
    bool is_delete;
    uint8_t mode;
    const char* customer;
    const char* new_id; // empty: the name changes instead
    bool save_links;
    int result;
    Contents expected;
    const char* message;
};
void PrintTo(const ModeCase& c, std::ostream* out) {
    *out << c.label;
}

const ModeCase ModeCases[] = {
    {"CascadingDeleteTakesOrdersAndLines", true, RelationCascade, "1", "", true, 0, Customer1Deleted, ""},
    {"ClearingDeleteLeavesOrdersWithoutCustomer",
     true,
     RelationClear,
     "1",
     "",
     true,
     0,
     {{"2 Bob", "3 Cy"}, {"0 10 a", "0 11 b", "2 20 c"}, {"0 10 x", "0 10 y", "0 11 z", "2 20 w"}},
     ""},
    {"RestrictedDeleteIsRefusedWhileOrdersExist", true, RelationRestrict, "1", "", true, Level::Notify,
     Seeded,
     "This record is referenced from the file Orders. This record cannot be deleted while these references "
     "exist."},
    {"RestrictedDeleteWithoutOrdersGoesAhead",
     true,
     RelationRestrict,
     "3",
     "",
     true,
     0,
     {{"1 Ann", "2 Bob"}, Seeded[1], Seeded[2]},
     ""},
    {"DeleteWithoutModeLeavesOrdersAlone",
     true,
     RelationNone,
     "1",
     "",
     true,
     0,
     {{"2 Bob", "3 Cy"}, Seeded[1], Seeded[2]},
     ""},
    {"CascadingIdChangeMovesOrdersAndLines", false, RelationCascade, "1", "7", true, 0, Customer1Is7, ""},
    {"UnsavedLinksAreTakenFromTheStoredRecord", false, RelationCascade, "1", "7", false, 0, Customer1Is7, ""},
    {"ClearingIdChangeClearsOrdersAndLines",
     false,
     RelationClear,
     "1",
     "7",
     true,
     0,
     {{"2 Bob", "3 Cy", "7 Ann"}, {"0 10 a", "0 11 b", "2 20 c"}, {"0 10 x", "0 10 y", "0 11 z", "2 20 w"}},
     ""},
    {"RestrictedIdChangeIsRefusedAndPutBack", false, RelationRestrict, "1", "7", true, Level::Notify, Seeded,
     "This record is referenced from the file Orders. Linking field(s) have been restricted from change and "
     "have "
     "been reset to original values."},
    {"ChangeKeepingTheIdTouchesNoOrder",
     false,
     RelationCascade,
     "1",
     "",
     true,
     0,
     {{"1 Anne", "2 Bob", "3 Cy"}, Seeded[1], Seeded[2]},
     ""},
};

class FileRelationModeTest : public FileRelationTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(FileRelationModeTest, ChildrenFollowTheParentAsTheModeSays) {
    const ModeCase& c = GetParam();
    seed();
    const uint8_t none = RelationNone;
    relate(c.is_delete ? none : c.mode, c.is_delete ? c.mode : none);
    fetch_customer(c.customer, c.save_links);
    if (!c.is_delete)
        set(*files[0], *c.new_id ? "CUS:CUSID" : "CUS:NAME", *c.new_id ? c.new_id : "Anne");
    EXPECT_EQ(c.is_delete ? relations[0].Delete(false) : relations[0].Update(false), c.result);
    if (!c.is_delete) {
        EXPECT_EQ(get(*files[0], "CUS:CUSID"), c.result == 0 && *c.new_id ? c.new_id : c.customer);
        EXPECT_EQ(std::count(g_script.puts.begin(), g_script.puts.end(), "ORDERS") > 0,
                  c.mode != RelationRestrict && *c.new_id);
    }
    EXPECT_EQ(was_shown(c.message), *c.message != 0) << (shown.empty() ? "" : shown.front());
    EXPECT_FALSE(InTransaction());
    relations[0].Close();
    EXPECT_EQ(contents(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, FileRelationModeTest, ::testing::ValuesIn(ModeCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(FileRelationTest, ACascadeIsOneTransactionOverEveryFileItWrites) {
    seed();
    relate(RelationCascade, RelationCascade);
    fetch_customer("1");
    ASSERT_EQ(relations[0].Delete(false), Level::Benign);
    EXPECT_EQ(g_script.logouts, 3) << "customer, orders and lines enlisted once each";
    EXPECT_EQ(g_script.commits, 3) << "and committed together";
    EXPECT_EQ(g_script.writes, 6) << "three lines, two orders, the customer";
    relations[0].Close();
}

// Every write of a cascading delete, and of a cascading id change, fails in
// turn: all three files stay as they were.
TEST_F(FileRelationTest, AFailureAtAnyWriteOfACascadeLeavesEveryFileAsItWas) {
    relate(RelationCascade, RelationCascade);
    for (const bool is_delete : {true, false}) {
        seed();
        for (int k = 0;; ++k) {
            g_script = DriverScript{};
            g_script.fail_write_at = k;
            shown.clear();
            fetch_customer("1");
            if (!is_delete)
                set(*files[0], "CUS:CUSID", "7");
            const int result = is_delete ? relations[0].Delete(false) : relations[0].Update(false);
            relations[0].Close();
            if (g_script.fail_write_at != -1) { // past the last write: done whole
                EXPECT_EQ(result, Level::Benign);
                EXPECT_EQ(k, 6);
                EXPECT_EQ(contents(), is_delete ? Customer1Deleted : Customer1Is7);
                break;
            }
            EXPECT_NE(result, Level::Benign);
            EXPECT_EQ(contents(), Seeded) << (is_delete ? "delete" : "update") << " failing at write " << k;
            EXPECT_TRUE(was_shown(is_delete ? "deleting a record" : "making changes"));
            EXPECT_FALSE(InTransaction());
        }
    }
}

TEST_F(FileRelationTest, ADriverWithoutTransactionsLetsTheDeleteGoOnWithoutOne) {
    seed();
    relate(RelationCascade, RelationCascade);
    g_script.no_transactions = true;
    fetch_customer("1");
    EXPECT_EQ(relations[0].Delete(false), Level::Benign);
    EXPECT_EQ(relations[0].USELOGOUT, 0);
    set(*files[0], "CUS:CUSID", "2");
    ASSERT_EQ(managers[0].TryFetch(*files[0]->key(1)), Level::Benign);
    EXPECT_EQ(relations[0].Delete(false), Level::Benign);
    EXPECT_EQ(g_script.logouts, 1) << "only the first enlisting was tried";
    EXPECT_TRUE(shown.empty());
    relations[0].Close();
    EXPECT_EQ(contents(), (Contents{{"3 Cy"}, {}, {}}));
}

TEST_F(FileRelationTest, AskingFirstDeletesOnlyOnYesAndAFailedDeleteMayBeTriedAgain) {
    seed();
    relate(RelationCascade, RelationCascade);
    fetch_customer("1");
    EXPECT_EQ(relations[0].Delete(true), Level::Notify);
    EXPECT_EQ(shown, std::vector<std::string>{"Are you sure you want to delete the highlighted record?"});
    answer_yes = true;
    g_script.fail_write_at = 1;
    EXPECT_EQ(relations[0].Delete(true), Level::Benign);
    EXPECT_TRUE(was_shown("Do you want to try to delete it again?"));
    relations[0].Close();
    EXPECT_EQ(contents(), Customer1Deleted);
}

TEST_F(FileRelationTest, GivingBackAnAutomaticNumberDeletesTheRecordThroughTheRelation) {
    seed();
    relate(RelationCascade, RelationCascade);
    ASSERT_EQ(relations[0].Open(), Level::Benign);
    ASSERT_EQ(managers[0].PrimeRecord(), Level::Benign);
    EXPECT_EQ(contents()[0].back(), "4");
    EXPECT_EQ(relations[0].CancelAutoInc(), Level::Benign);
    relations[0].Close();
    EXPECT_EQ(contents(), Seeded);
}

TEST_F(FileRelationTest, OpenCreatesAndOpensEachRelatedFileOnceAndCloseClosesThem) {
    relate(RelationCascade, RelationCascade);
    ASSERT_EQ(relations[0].Open(), Level::Benign);
    for (int f = 0; f < 3; ++f) {
        managers[f].GetInfo();
        EXPECT_EQ(managers[f].info().OPENED, 1)
            << Names[f] << ": relations naming each other are opened once";
        EXPECT_EQ(managers[f].info().USED != 0, f > 0) << Names[f] << ": related files are open physically";
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("Lines.QVD")));
    relations[0].Close();
    for (int f = 0; f < 3; ++f)
        EXPECT_EQ((managers[f].GetInfo(), managers[f].info().OPENED), 0) << Names[f];
}

TEST_F(FileRelationTest, QuickScanReachesParentsChildrenOrBothOnceEach) {
    relate(RelationCascade, RelationCascade);
    ASSERT_EQ(relations[0].Open(), Level::Benign);
    managers[0].UseFile(2);
    const std::vector<std::string> reached[] = {
        {"ORDERS"}, {"ORDERS", "CUSTOMER"}, {"ORDERS", "LINES"}, {"ORDERS", "CUSTOMER", "LINES"}};
    for (int propagate = 0; propagate < 4; ++propagate) {
        g_script.sends.clear();
        relations[1].SetQuickScan(propagate % 2 == 0, propagate);
        EXPECT_EQ(g_script.sends, reached[propagate]) << "propagate " << propagate;
        EXPECT_EQ(SEND(*files[1], "QUICKSCAN"), propagate % 2 == 0 ? "on" : "off");
    }
    relations[0].Close();
}

} // namespace
} // namespace morvex

// The relation manager over three related QVD files, customers, their orders
// and the orders' lines (orders link to lines by two fields, so a customer's
// new id reaches the lines through the orders): deletes and updates in every
// mode, a failure at every write of a cascade, the transaction and a driver
// without one, the open walk and the quick scan. Every outcome is checked by
// reading the files afresh through declarations of their own.
#include "files/driver.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/transaction.h"
#include "framework/file_manager.h"
#include "framework/file_relation.h"
#include "platform/message_box.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tests/support/customer_file.h"
#include "tests/support/temp_directory.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morvex {
namespace {

constexpr std::string_view OrdersLayout = R"(file ORDERS 28
field ORD:CUSID LONG 0
field ORD:ORDID LONG 4
field ORD:TEXT STRING(20) 8
key ORD:BYCUS DUP : ORD:CUSID ORD:ORDID
)";

constexpr std::string_view LinesLayout = R"(file LINES 28
field LIN:CUSID LONG 0
field LIN:ORDID LONG 4
field LIN:TEXT STRING(20) 8
key LIN:BYORDER DUP : LIN:CUSID LIN:ORDID
)";

// What the driver does besides the QVD driver's work: it counts the
// transaction calls, notes the SEND texts, fails the k-th DELETE or PUT and
// can answer LOGOUT as a driver without transactions.
struct DriverScript {
    int logouts = 0;
    int commits = 0;
    int writes = 0;
    int fail_write_at = -1; // the write (0-based) that fails, once
    bool no_transactions = false;
    std::vector<std::string> sends;
    std::vector<std::string> puts;
};
DriverScript g_script;

int32_t ScriptedDriver(int operation, FileDeclaration& file, DriverArguments args) {
    switch (static_cast<DriverOperation>(operation)) {
    case DriverOperation::Logout:
        ++g_script.logouts;
        if (g_script.no_transactions) {
            SetError(ErrUnsupportedDriverFunction);
            return 0;
        }
        break;
    case DriverOperation::Commit:
        ++g_script.commits;
        break;
    case DriverOperation::Send:
        g_script.sends.push_back(file.label);
        break;
    case DriverOperation::Put:
    case DriverOperation::Delete:
        if (operation == int(DriverOperation::Put))
            g_script.puts.push_back(file.label);
        if (g_script.writes++ == g_script.fail_write_at) {
            g_script.fail_write_at = -1;
            SetError(ErrFileSystemError);
            return 0;
        }
        break;
    default:
        break;
    }
    return QvdDriver(operation, file, args);
}

BoundVariable field(FileDeclaration& file, const char* label) {
    const FieldDescription& f = file.record.field(file.find_field(label));
    return BoundVariable{f.type, file.buffer() + f.offset, f.size, 0, 1};
}
void set_long(FileDeclaration& file, const char* label, int32_t value) {
    std::memcpy(field(file, label).address, &value, 4);
}
int32_t get_long(FileDeclaration& file, const char* label) {
    int32_t value;
    std::memcpy(&value, field(file, label).address, 4);
    return value;
}
void set_text(FileDeclaration& file, const char* label, std::string_view text) {
    const BoundVariable f = field(file, label);
    std::memset(f.address, ' ', f.size);
    std::memcpy(f.address, text.data(), std::min<size_t>(text.size(), f.size));
}
std::string get_text(FileDeclaration& file, const char* label) {
    const BoundVariable f = field(file, label);
    std::string text(static_cast<char*>(f.address), f.size);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// The three files' records, each file sorted, read through fresh
// declarations: "1 Ann" / "1 10 a" / "1 10 x".
struct Contents {
    std::vector<std::string> customers, orders, lines;
    bool operator==(const Contents&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Contents& c) {
    for (const auto* list : {&c.customers, &c.orders, &c.lines}) {
        out << "[";
        for (const std::string& s : *list)
            out << s << ";";
        out << "] ";
    }
    return out;
}

const Contents Seeded{
    {"1 Ann", "2 Bob", "3 Cy"}, {"1 10 a", "1 11 b", "2 20 c"}, {"1 10 x", "1 10 y", "1 11 z", "2 20 w"}};

class FileRelationTest : public ::testing::Test {
public:
    void SetUp() override {
        g_script = DriverScript{};
        platform::set_message_box_presenter([this](const platform::MessageBoxRequest& request) {
            shown.push_back(request.text);
            if (request.buttons == platform::MessageBoxButtons::YesNo)
                return answer_yes ? platform::ButtonYes : platform::ButtonNo;
            return request.default_button;
        });
        errors.Init();
        customers = declare(testing::CustomerLayout, "Customer");
        orders = declare(OrdersLayout, "Orders");
        lines = declare(LinesLayout, "Lines");
        customer.Init(*customers, errors);
        customer.FILENAMEVALUE = "Customer";
        for (int32_t k = 1; k <= 5; ++k)
            customer.AddKey(*customers->key(k), customers->key(k)->label, k == 5 ? 1 : 0);
        order.Init(*orders, errors);
        order.FILENAMEVALUE = "Orders";
        order.AddKey(*orders->key(1), "ORD:ByCus");
        line.Init(*lines, errors);
        line.FILENAMEVALUE = "Lines";
        line.AddKey(*lines->key(1), "LIN:ByOrder");
    }
    void TearDown() override {
        for (FileRelation* r : {&customer_relation, &order_relation, &line_relation})
            r->Kill();
        for (FileManager* m : {&customer, &order, &line}) {
            while (m->INFO && (m->GetInfo(), m->info().OPENED > 0))
                m->Close();
            m->Kill();
        }
        errors.Kill();
        platform::set_message_box_presenter({});
    }

    std::unique_ptr<FileDeclaration> declare(std::string_view layout, const char* name,
                                             DriverEntry driver = ScriptedDriver) {
        auto file = testing::DeclareQvdFile(layout, dir.file(name));
        file->driver = driver;
        return file;
    }

    // Customer -> orders (the modes given) -> lines (cascading both ways).
    void relate(uint8_t update_mode, uint8_t delete_mode, bool transactions = true) {
        customer_relation.Init(customer, transactions);
        customer_relation.AddRelation(order_relation, update_mode, delete_mode, *orders->key(1));
        customer_relation.AddRelationLink(field(*customers, "CUS:CUSID"), field(*orders, "ORD:CUSID"));
        order_relation.Init(order, transactions);
        order_relation.AddRelation(customer_relation);
        order_relation.AddRelation(line_relation, RelationCascade, RelationCascade, *lines->key(1));
        order_relation.AddRelationLink(field(*orders, "ORD:CUSID"), field(*lines, "LIN:CUSID"));
        order_relation.AddRelationLink(field(*orders, "ORD:ORDID"), field(*lines, "LIN:ORDID"));
        line_relation.Init(line, transactions);
        line_relation.AddRelation(order_relation);
    }

    // The seed, written through declarations of its own.
    void seed() {
        auto c = declare(testing::CustomerLayout, "Customer", QvdDriver);
        auto o = declare(OrdersLayout, "Orders", QvdDriver);
        auto l = declare(LinesLayout, "Lines", QvdDriver);
        for (FileDeclaration* f : {c.get(), o.get(), l.get()}) {
            CREATE(*f);
            OPEN(*f, AccessReadWrite | ShareDenyNone);
            ASSERT_EQ(ErrorCode(), 0) << ErrorText();
        }
        for (const std::string& s : Seeded.customers) {
            ClearRecord(c->record, c->buffer());
            set_long(*c, "CUS:CUSID", std::stoi(s));
            set_text(*c, "CUS:NAME", s.substr(2));
            ADD(*c);
        }
        for (auto [file, list] : {std::pair{o.get(), &Seeded.orders}, std::pair{l.get(), &Seeded.lines}}) {
            const char* prefix = file == o.get() ? "ORD:" : "LIN:";
            for (const std::string& s : *list) {
                int32_t cus = 0, id = 0;
                char text[21] = {};
                std::sscanf(s.c_str(), "%d %d %20s", &cus, &id, text);
                set_long(*file, (std::string(prefix) + "CUSID").c_str(), cus);
                set_long(*file, (std::string(prefix) + "ORDID").c_str(), id);
                set_text(*file, (std::string(prefix) + "TEXT").c_str(), text);
                ADD(*file);
            }
        }
        ASSERT_EQ(ErrorCode(), 0) << ErrorText();
        for (FileDeclaration* f : {c.get(), o.get(), l.get()})
            CLOSE(*f);
    }

    Contents contents() {
        Contents out;
        auto c = declare(testing::CustomerLayout, "Customer", QvdDriver);
        auto o = declare(OrdersLayout, "Orders", QvdDriver);
        auto l = declare(LinesLayout, "Lines", QvdDriver);
        const auto read = [](FileDeclaration& f, auto row, std::vector<std::string>& list) {
            OPEN(f, AccessReadOnly | ShareDenyNone);
            EXPECT_EQ(ErrorCode(), 0) << ErrorText();
            SET(f);
            for (NEXT(f); ErrorCode() == 0; NEXT(f))
                list.push_back(row(f));
            EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable) << ErrorText();
            CLOSE(f);
            std::sort(list.begin(), list.end());
        };
        read(
            *c,
            [](FileDeclaration& f) {
                return std::to_string(get_long(f, "CUS:CUSID")) + " " + get_text(f, "CUS:NAME");
            },
            out.customers);
        const auto child = [](const char* prefix) {
            return [prefix](FileDeclaration& f) {
                const std::string p(prefix);
                return std::to_string(get_long(f, (p + "CUSID").c_str())) + " " +
                       std::to_string(get_long(f, (p + "ORDID").c_str())) + " " +
                       get_text(f, (p + "TEXT").c_str());
            };
        };
        read(*o, child("ORD:"), out.orders);
        read(*l, child("LIN:"), out.lines);
        return out;
    }

    // Opens the customer relation's family and makes customer `id` current,
    // its link values saved as a browse saves them.
    void fetch_customer(int32_t id, bool save_links = true) {
        ASSERT_EQ(customer_relation.Open(), Level::Benign);
        opened = true;
        set_long(*customers, "CUS:CUSID", id);
        ASSERT_EQ(customer.TryFetch(*customers->key(5)), Level::Benign) << id;
        if (save_links)
            customer_relation.SaveLinkValues();
    }
    void done() {
        if (opened)
            customer_relation.Close();
        opened = false;
    }

    bool shown_contains(std::string_view text) const {
        return std::any_of(shown.begin(), shown.end(),
                           [&](const std::string& s) { return s.find(text) != std::string::npos; });
    }

    testing::TempDirectory dir{"file_relation_test"};
    ErrorReporter errors;
    std::unique_ptr<FileDeclaration> customers, orders, lines;
    FileManager customer, order, line;
    FileRelation customer_relation, order_relation, line_relation;
    std::vector<std::string> shown;
    bool answer_yes = false;
    bool opened = false;
};

// One delete or update of customer 1 (or 3, which has no orders).
struct ModeCase {
    const char* label;
    bool is_delete;
    uint8_t mode;
    int32_t customer;
    int32_t new_id; // for an update: 0 keeps the id and changes the name
    bool save_links;
    int result;
    Contents expected;
    const char* message; // a message that must be shown, or empty
};

const ModeCase ModeCases[] = {
    {"a cascading delete takes the orders and their lines",
     true,
     RelationCascade,
     1,
     0,
     true,
     Level::Benign,
     {{"2 Bob", "3 Cy"}, {"2 20 c"}, {"2 20 w"}},
     ""},
    {"a clearing delete leaves the orders without a customer",
     true,
     RelationClear,
     1,
     0,
     true,
     Level::Benign,
     {{"2 Bob", "3 Cy"}, {"0 10 a", "0 11 b", "2 20 c"}, {"0 10 x", "0 10 y", "0 11 z", "2 20 w"}},
     ""},
    {"a restricted delete refuses while orders exist", true, RelationRestrict, 1, 0, true, Level::Notify,
     Seeded,
     "This record is referenced from the file Orders. This record cannot be deleted while these references "
     "exist."},
    {"a restricted delete of a customer without orders goes ahead",
     true,
     RelationRestrict,
     3,
     0,
     true,
     Level::Benign,
     {{"1 Ann", "2 Bob"}, Seeded.orders, Seeded.lines},
     ""},
    {"a delete without a mode leaves the orders alone",
     true,
     RelationNone,
     1,
     0,
     true,
     Level::Benign,
     {{"2 Bob", "3 Cy"}, Seeded.orders, Seeded.lines},
     ""},
    {"a cascading id change moves the orders and their lines",
     false,
     RelationCascade,
     1,
     7,
     true,
     Level::Benign,
     {{"2 Bob", "3 Cy", "7 Ann"}, {"2 20 c", "7 10 a", "7 11 b"}, {"2 20 w", "7 10 x", "7 10 y", "7 11 z"}},
     ""},
    {"the old id is read from the file when the links were not saved",
     false,
     RelationCascade,
     1,
     7,
     false,
     Level::Benign,
     {{"2 Bob", "3 Cy", "7 Ann"}, {"2 20 c", "7 10 a", "7 11 b"}, {"2 20 w", "7 10 x", "7 10 y", "7 11 z"}},
     ""},
    {"a clearing id change clears the orders' and lines' customer",
     false,
     RelationClear,
     1,
     7,
     true,
     Level::Benign,
     {{"2 Bob", "3 Cy", "7 Ann"}, {"0 10 a", "0 11 b", "2 20 c"}, {"0 10 x", "0 10 y", "0 11 z", "2 20 w"}},
     ""},
    {"a restricted id change is refused and undone", false, RelationRestrict, 1, 7, true, Level::Notify,
     Seeded,
     "This record is referenced from the file Orders. Linking field(s) have been restricted from change and "
     "have "
     "been reset to original values."},
    {"a change that keeps the id touches no order",
     false,
     RelationCascade,
     1,
     0,
     true,
     Level::Benign,
     {{"1 Anne", "2 Bob", "3 Cy"}, Seeded.orders, Seeded.lines},
     ""},
};

class FileRelationModeTest : public FileRelationTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(FileRelationModeTest, ChildrenFollowTheParentAsTheModeSays) {
    const ModeCase& c = GetParam();
    seed();
    const uint8_t none = RelationNone;
    relate(c.is_delete ? none : c.mode, c.is_delete ? c.mode : none);
    fetch_customer(c.customer, c.save_links);
    int result;
    if (c.is_delete) {
        result = customer_relation.Delete(false);
    } else {
        if (c.new_id)
            set_long(*customers, "CUS:CUSID", c.new_id);
        else
            set_text(*customers, "CUS:NAME", "Anne");
        result = customer_relation.Update(false);
    }
    EXPECT_EQ(result, c.result);
    if (!c.is_delete && c.mode == RelationRestrict) {
        EXPECT_EQ(get_long(*customers, "CUS:CUSID"), c.customer) << "the id is put back";
    }
    if (!c.is_delete && c.new_id == 0) {
        EXPECT_EQ(std::count(g_script.puts.begin(), g_script.puts.end(), "ORDERS"), 0);
    }
    if (*c.message)
        EXPECT_TRUE(shown_contains(c.message)) << (shown.empty() ? "nothing shown" : shown.front());
    else
        EXPECT_TRUE(shown.empty()) << shown.front();
    done();
    EXPECT_EQ(contents(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, FileRelationModeTest, ::testing::ValuesIn(ModeCases),
                         [](const ::testing::TestParamInfo<ModeCase>& info) {
                             std::string name;
                             for (const char* p = info.param.label; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p)))
                                     name += *p;
                             return name;
                         });

TEST_F(FileRelationTest, ACascadeRunsInOneTransactionOverEveryFileItWrites) {
    seed();
    relate(RelationCascade, RelationCascade);
    fetch_customer(1);
    ASSERT_EQ(customer_relation.Delete(false), Level::Benign);
    EXPECT_EQ(g_script.logouts, 3) << "customer, orders and lines enlisted once each";
    EXPECT_EQ(g_script.commits, 3) << "and committed together";
    EXPECT_EQ(g_script.writes, 6) << "three lines, two orders, the customer";
    EXPECT_FALSE(InTransaction());
    done();
}

// A write that fails anywhere in a cascade leaves all three files as they
// were: every write of a cascading delete and of a cascading id change fails
// in turn.
TEST_F(FileRelationTest, AFailureAtAnyWriteOfACascadeLeavesEveryFileAsItWas) {
    seed();
    relate(RelationCascade, RelationCascade);
    for (const bool is_delete : {true, false}) {
        for (int k = 0;; ++k) {
            g_script = DriverScript{};
            g_script.fail_write_at = k;
            shown.clear();
            fetch_customer(1);
            int result;
            if (is_delete) {
                result = customer_relation.Delete(false);
            } else {
                set_long(*customers, "CUS:CUSID", 7);
                result = customer_relation.Update(false);
            }
            done();
            if (g_script.fail_write_at == -1 && result != Level::Benign) {
                EXPECT_EQ(contents(), Seeded)
                    << (is_delete ? "delete" : "update") << " failing at write " << k;
                EXPECT_TRUE(shown_contains(is_delete ? "deleting a record" : "making changes"))
                    << (shown.empty() ? "nothing shown" : shown.front());
                EXPECT_FALSE(InTransaction());
                continue;
            }
            // Past the last write: the operation went through whole.
            EXPECT_EQ(result, Level::Benign);
            EXPECT_EQ(k, 6) << "six writes";
            if (is_delete) {
                EXPECT_EQ(contents(), (Contents{{"2 Bob", "3 Cy"}, {"2 20 c"}, {"2 20 w"}}));
                // Put customer 1 and its family back for the update round.
                for (const auto& file : {"Customer", "Orders", "Lines"})
                    std::filesystem::remove(dir.file(std::string(file) + ".QVD"));
                seed();
            } else {
                EXPECT_EQ(contents().lines,
                          (std::vector<std::string>{"2 20 w", "7 10 x", "7 10 y", "7 11 z"}));
            }
            break;
        }
    }
}

TEST_F(FileRelationTest, ADriverWithoutTransactionsLetsTheDeleteGoOnWithoutOne) {
    seed();
    relate(RelationCascade, RelationCascade);
    g_script.no_transactions = true;
    fetch_customer(1);
    EXPECT_EQ(customer_relation.Delete(false), Level::Benign);
    EXPECT_EQ(g_script.logouts, 1) << "the first enlisting answers 80";
    EXPECT_EQ(customer_relation.USELOGOUT, 0);
    EXPECT_TRUE(shown.empty());
    set_long(*customers, "CUS:CUSID", 2);
    ASSERT_EQ(customer.TryFetch(*customers->key(5)), Level::Benign);
    EXPECT_EQ(customer_relation.Delete(false), Level::Benign);
    EXPECT_EQ(g_script.logouts, 1) << "not asked again";
    done();
    EXPECT_EQ(contents(), (Contents{{"3 Cy"}, {}, {}}));
}

TEST_F(FileRelationTest, AskingFirstDeletesOnlyOnYesAndAFailureMayBeTriedAgain) {
    seed();
    relate(RelationCascade, RelationCascade);
    fetch_customer(1);
    EXPECT_EQ(customer_relation.Delete(true), Level::Notify);
    EXPECT_EQ(shown, std::vector<std::string>{"Are you sure you want to delete the highlighted record?"});
    EXPECT_EQ(g_script.writes, 0);

    // Yes to everything: the delete fails at its second write, is tried
    // again and goes through.
    answer_yes = true;
    shown.clear();
    g_script.fail_write_at = 1;
    EXPECT_EQ(customer_relation.Delete(true), Level::Benign);
    EXPECT_TRUE(shown_contains("Do you want to try to delete it again?"));
    done();
    EXPECT_EQ(contents(), (Contents{{"2 Bob", "3 Cy"}, {"2 20 c"}, {"2 20 w"}}));
}

TEST_F(FileRelationTest, GivingBackAnAutomaticNumberDeletesTheRecordThroughTheRelation) {
    seed();
    relate(RelationCascade, RelationCascade);
    ASSERT_EQ(customer_relation.Open(), Level::Benign);
    opened = true;
    ASSERT_EQ(customer.PrimeRecord(), Level::Benign);
    EXPECT_EQ(get_long(*customers, "CUS:CUSID"), 4);
    EXPECT_EQ(contents().customers.size(), 4u) << "the record added for its number";
    EXPECT_EQ(customer_relation.CancelAutoInc(), Level::Benign);
    done();
    EXPECT_EQ(contents(), Seeded);
}

TEST_F(FileRelationTest, OpenCreatesAndOpensEachRelatedFileOnceAndCloseClosesThem) {
    relate(RelationCascade, RelationCascade);
    ASSERT_EQ(customer_relation.Open(), Level::Benign);
    for (FileManager* m : {&customer, &order, &line}) {
        m->GetInfo();
        EXPECT_EQ(m->info().OPENED, 1) << m->GetName() << ": relations naming each other are opened once";
    }
    order.GetInfo();
    EXPECT_EQ(order.info().USED, 1) << "a related file is physically open";
    EXPECT_TRUE(std::filesystem::exists(dir.file("Orders.QVD")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("Lines.QVD")));
    EXPECT_EQ(customer_relation.Close(), Level::Benign);
    for (FileManager* m : {&customer, &order, &line}) {
        m->GetInfo();
        EXPECT_EQ(m->info().OPENED, 0) << m->GetName();
        EXPECT_EQ(m->info().USED, 0) << m->GetName();
    }
}

TEST_F(FileRelationTest, QuickScanReachesParentsChildrenOrBothOnceEach) {
    relate(RelationCascade, RelationCascade);
    ASSERT_EQ(customer_relation.Open(), Level::Benign);
    opened = true;
    customer.UseFile(2);
    const struct {
        int propagate;
        std::vector<std::string> files;
    } cases[] = {
        {0, {"ORDERS"}},
        {1, {"ORDERS", "CUSTOMER"}},
        {2, {"ORDERS", "LINES"}},
        {3, {"ORDERS", "CUSTOMER", "LINES"}},
    };
    for (const auto& c : cases) {
        g_script.sends.clear();
        order_relation.SetQuickScan(true, c.propagate);
        EXPECT_EQ(g_script.sends, c.files) << "propagate " << c.propagate;
    }
    EXPECT_EQ(SEND(*orders, "QUICKSCAN"), "on");
    order_relation.SetQuickScan(false, 0);
    EXPECT_EQ(SEND(*orders, "QUICKSCAN"), "off");
}

} // namespace
} // namespace morvex

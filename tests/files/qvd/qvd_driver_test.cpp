// The QVD driver through the file statements: every operation's normal and
// error behaviour on a small customer file, memos and blobs, OEM files, and
// random insert/update/delete sequences checked against an in-memory model of
// every key after each step, again after reopening, with a clean store check.
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_position.h"
#include "files/qvd/qvd_store.h"
#include "platform/charset.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/field_compare.h"
#include "runtime/text_compare.h"
#include "tests/support/temp_directory.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <unistd.h>

namespace morvex::qvd {
namespace {

namespace fs = std::filesystem;

enum CustomerField { CusId = 1, CusName, CusSuburb, CusPhone, CusStartDate };
enum CustomerKey { ByName = 1, ByStartDateName, ByPhone, BySuburb, ById };

RecordDescription customer_record() {
    return RecordDescription(68, {
                                     FieldDescription::Of(FieldType::Long, "CUS:CUSID", 0),
                                     FieldDescription::Sized(FieldType::String, "CUS:NAME", 4, 20),
                                     FieldDescription::Sized(FieldType::String, "CUS:SUBURB", 24, 20),
                                     FieldDescription::Sized(FieldType::String, "CUS:PHONE", 44, 20),
                                     FieldDescription::Of(FieldType::Long, "CUS:STARTDATE", 64),
                                 });
}

std::vector<KeyDeclaration> customer_keys() {
    return {
        {.label = "CUS:BYNAME", .attributes = KeyOpt | KeyNoCase, .components = {CusName}},
        {.label = "CUS:BYSTARTDATENAME",
         .attributes = KeyDup | KeyOpt | KeyNoCase,
         .components = {CusStartDate, CusName}},
        {.label = "CUS:BYPHONE", .attributes = KeyDup | KeyOpt | KeyNoCase, .components = {CusPhone}},
        {.label = "CUS:BYSUBURB", .attributes = KeyDup | KeyOpt | KeyNoCase, .components = {-CusSuburb}},
        {.label = "CUS:BYID", .attributes = KeyOpt | KeyNoCase | KeyPrimary, .components = {CusId}},
    };
}

StoreOptions read_only() {
    StoreOptions options;
    options.mode = OpenMode::ReadOnly;
    return options;
}

class Customers {
public:
    explicit Customers(const std::string& name, bool oem = false)
        : file(FileSpec{.label = "CUSTOMER",
                        .driver = QvdDriver,
                        .record = customer_record(),
                        .keys = customer_keys(),
                        .options = {.name = name, .oem = oem}}) {}

    KeyDeclaration& key(int n) { return *file.key(n); }
    uint8_t* buffer() { return file.buffer(); }

    void clear() { file.clear_record(); }
    void set(int32_t id, std::string_view name, std::string_view suburb = "", std::string_view phone = "",
             int32_t start = 0) {
        clear();
        std::memcpy(buffer(), &id, 4);
        put_text(CusName, name);
        put_text(CusSuburb, suburb);
        put_text(CusPhone, phone);
        std::memcpy(buffer() + 64, &start, 4);
    }
    void put_text(int field, std::string_view text) {
        const FieldDescription& f = file.record.field(field);
        std::memset(buffer() + f.offset, ' ', f.size);
        std::memcpy(buffer() + f.offset, text.data(), std::min<size_t>(text.size(), f.size));
    }
    int32_t id() {
        int32_t value;
        std::memcpy(&value, buffer(), 4);
        return value;
    }
    std::string name() {
        std::string text(reinterpret_cast<const char*>(buffer()) + 4, 20);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }
    std::vector<uint8_t> record() { return {buffer(), buffer() + 68}; }

    FileDeclaration file;
};

class QvdDriverTest : public ::testing::Test {
protected:
    void SetUp() override { ClearError(); }

    std::string name(std::string_view base = "Customer") const { return m_dir.file(base); }

    // A created, opened customer file.
    std::unique_ptr<Customers> created(std::string_view base = "Customer", bool oem = false) {
        auto customers = std::make_unique<Customers>(name(base), oem);
        CREATE(customers->file);
        EXPECT_EQ(ErrorCode(), 0) << ErrorText();
        OPEN(customers->file, AccessReadWrite | ShareDenyNone);
        EXPECT_EQ(ErrorCode(), 0) << ErrorText();
        return customers;
    }

    void add(Customers& c, int32_t id, std::string_view name, std::string_view suburb = "",
             std::string_view phone = "", int32_t start = 0) {
        c.set(id, name, suburb, phone, start);
        ADD(c.file);
        ASSERT_EQ(ErrorCode(), 0) << ErrorText();
    }

    // The ids NEXT reads from the start of the key (0 for record order).
    std::vector<int32_t> ids_in_order(Customers& c, int key, bool backwards = false) {
        if (key == 0)
            SET(c.file);
        else
            SET(c.key(key));
        std::vector<int32_t> ids;
        for (;;) {
            backwards ? PREVIOUS(c.file) : NEXT(c.file);
            if (ErrorCode() != 0)
                break;
            ids.push_back(c.id());
        }
        EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
        return ids;
    }

    testing::TempDirectory m_dir{"qvd_driver"};
};

using Ids = std::vector<int32_t>;

TEST_F(QvdDriverTest, OpenOfAMissingFileIsFileNotFound) {
    Customers c(name());
    OPEN(c.file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrFileNotFound);
    NEXT(c.file);
    EXPECT_EQ(ErrorCode(), ErrFileNotOpen);
}

TEST_F(QvdDriverTest, OpenOfAFileThatIsNoQvdFileIsInvalidDataFile) {
    {
        FILE* junk = fopen((name() + ".QVD").c_str(), "wb");
        ASSERT_NE(junk, nullptr);
        fputs("this is not a qvd file, it is long enough to be read as a header though......", junk);
        fclose(junk);
    }
    Customers c(name());
    OPEN(c.file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrInvalidDataFile);
}

TEST_F(QvdDriverTest, SecondOpenOfTheSameInstanceIsFileAlreadyOpen) {
    auto c = created();
    OPEN(c->file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyOpen);
    // Still usable.
    add(*c, 1, "Ann");
    EXPECT_EQ(RECORDS(c->file), 1);
}

TEST_F(QvdDriverTest, UnknownAccessModeIsAccessDenied) {
    auto c = created();
    CLOSE(c->file);
    for (int32_t mode : {0x03, 0x50, 0x142}) {
        OPEN(c->file, mode);
        EXPECT_EQ(ErrorCode(), ErrAccessDenied) << mode;
    }
}

TEST_F(QvdDriverTest, ReadOnlyOpenRefusesChanges) {
    {
        auto c = created();
        add(*c, 1, "Ann");
        CLOSE(c->file);
    }
    Customers c(name());
    OPEN(c.file, AccessReadOnly | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    c.set(2, "Bob");
    ADD(c.file);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
    GET(c.file, 1);
    ASSERT_EQ(ErrorCode(), 0);
    PUT(c.file);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
    DELETE(c.file);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
    EXPECT_EQ(RECORDS(c.file), 1);
}

TEST_F(QvdDriverTest, TablesOfOneFileAreSeparate) {
    auto first = created("Shared\\!First");
    auto second = created("Shared\\!Second");
    add(*first, 1, "Ann");
    add(*second, 2, "Bob");
    add(*second, 3, "Cid");
    EXPECT_EQ(RECORDS(first->file), 1);
    EXPECT_EQ(RECORDS(second->file), 2);
    EXPECT_EQ(ids_in_order(*first, ByName), (Ids{1}));
    EXPECT_TRUE(fs::exists(name("Shared.QVD")));
    // A table that was never created is not found.
    Customers third(name("Shared\\!Third"));
    OPEN(third.file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrFileNotFound);
}

TEST_F(QvdDriverTest, TwoOpensOfOneFileSeeEachOthersChanges) {
    auto first = created();
    Customers second(name());
    OPEN(second.file, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    add(*first, 1, "Ann");
    add(second, 2, "Bob");
    EXPECT_EQ(ids_in_order(*first, ByName), (Ids{1, 2}));
    second.set(3, "ann");
    ADD(second.file);
    EXPECT_EQ(ErrorCode(), ErrCreatesDuplicateKey);
    GET(second.file, 1);
    DELETE(second.file);
    ASSERT_EQ(ErrorCode(), 0);
    // The first open's current record is gone.
    GET(first->file, 2);
    GET(second.file, 2);
    DELETE(second.file);
    PUT(first->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    EXPECT_EQ(RECORDS(first->file), 0);
}

TEST_F(QvdDriverTest, DenyAllOpenKeepsOthersOut) {
    auto first = created();
    CLOSE(first->file);
    OPEN(first->file, AccessReadWrite | ShareDenyAll);
    ASSERT_EQ(ErrorCode(), 0);
    Customers second(name());
    OPEN(second.file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
}

TEST_F(QvdDriverTest, NextAndPreviousFollowEachKeyAndStopWithRecordNotAvailable) {
    auto c = created();
    add(*c, 3, "carol", "Zeta", "555", 100);
    add(*c, 1, "Alice", "Alpha", "777", 200);
    add(*c, 2, "bob", "Mid", "555", 100);
    EXPECT_EQ(ids_in_order(*c, 0), (Ids{3, 1, 2}));
    EXPECT_EQ(ids_in_order(*c, 0, true), (Ids{2, 1, 3}));
    EXPECT_EQ(ids_in_order(*c, ByName), (Ids{1, 2, 3})); // without case
    EXPECT_EQ(ids_in_order(*c, ByName, true), (Ids{3, 2, 1}));
    EXPECT_EQ(ids_in_order(*c, ByStartDateName), (Ids{2, 3, 1}));
    EXPECT_EQ(ids_in_order(*c, ByPhone), (Ids{3, 2, 1}));  // duplicates in record order
    EXPECT_EQ(ids_in_order(*c, BySuburb), (Ids{3, 2, 1})); // descending
    EXPECT_EQ(ids_in_order(*c, ById), (Ids{1, 2, 3}));
}

TEST_F(QvdDriverTest, ReadingOnAfterTheEndTurnsBack) {
    auto c = created();
    add(*c, 1, "A");
    add(*c, 2, "B");
    SET(c->key(ById));
    NEXT(c->file);
    NEXT(c->file);
    NEXT(c->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    NEXT(c->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    PREVIOUS(c->file);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(c->id(), 2);
}

TEST_F(QvdDriverTest, EmptyFileHasNoRecords) {
    auto c = created();
    EXPECT_EQ(RECORDS(c->file), 0);
    SET(c->file);
    NEXT(c->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    PREVIOUS(c->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
}

TEST_F(QvdDriverTest, SetKeyKeyStartsAtTheBufferValueBothWays) {
    auto c = created();
    add(*c, 1, "A", "", "100");
    add(*c, 2, "B", "", "200");
    add(*c, 3, "C", "", "200");
    add(*c, 4, "D", "", "300");
    c->set(0, "", "", "200");
    SET(c->key(ByPhone), c->key(ByPhone));
    NEXT(c->file);
    EXPECT_EQ(c->id(), 2);
    c->set(0, "", "", "200");
    SET(c->key(ByPhone), c->key(ByPhone));
    PREVIOUS(c->file);
    EXPECT_EQ(c->id(), 3); // the last record at or before the value
    c->set(0, "", "", "150");
    SET(c->key(ByPhone), c->key(ByPhone));
    PREVIOUS(c->file);
    EXPECT_EQ(c->id(), 1);
}

TEST_F(QvdDriverTest, SetByPointerStartsAtThatRecord) {
    auto c = created();
    add(*c, 10, "A", "", "2");
    add(*c, 20, "B", "", "1");
    add(*c, 30, "C", "", "3");
    CallDriver(DriverOperation::SetFilePtr, c->file, 2);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 20);
    CallDriver(DriverOperation::SetKeyPtr, c->key(ByPhone), 1);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 10);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 30);
    CallDriver(DriverOperation::SetKeyPtr, c->key(ByPhone), 99);
    EXPECT_EQ(ErrorCode(), ErrRecordNotFound);
    // Value and pointer: among equal values, from that record on.
    add(*c, 40, "D", "", "2");
    c->set(0, "", "", "2");
    CallDriver(DriverOperation::SetKeyKeyPtr, c->key(ByPhone), &c->key(ByPhone), 4);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 40);
    PREVIOUS(c->file);
    EXPECT_EQ(c->id(), 10);
}

TEST_F(QvdDriverTest, GetByKeyAndByPointer) {
    auto c = created();
    add(*c, 7, "Grace", "", "1");
    add(*c, 8, "Heidi", "", "1");
    c->set(0, "GRACE");
    GET(c->file, c->key(ByName));
    ASSERT_EQ(ErrorCode(), 0);
    EXPECT_EQ(c->id(), 7);
    EXPECT_EQ(c->name(), "Grace");
    c->set(0, "", "", "1");
    GET(c->file, c->key(ByPhone));
    EXPECT_EQ(c->id(), 7); // the first of the duplicates
    c->set(0, "Nobody");
    GET(c->file, c->key(ByName));
    EXPECT_EQ(ErrorCode(), ErrRecordNotFound);
    GET(c->file, 2);
    EXPECT_EQ(c->id(), 8);
    for (int32_t pointer : {0, -1, 3}) {
        GET(c->file, pointer);
        EXPECT_EQ(ErrorCode(), ErrRecordNotFound) << pointer;
    }
    CallDriver(DriverOperation::GetKeyPtr, c->key(ById), 1);
    EXPECT_EQ(c->id(), 7);
}

TEST_F(QvdDriverTest, DuplicateInAUniqueKeyIsRefusedAndDuplicateTellsWhichKey) {
    auto c = created();
    add(*c, 1, "Ann", "", "555");
    // The record just added is current: as for a PUT, its own values are no duplicates.
    c->set(2, "ANN", "", "555");
    EXPECT_EQ(DUPLICATE(c->key(ByName)), 0);
    ADD(c->file);
    EXPECT_EQ(ErrorCode(), ErrCreatesDuplicateKey);
    EXPECT_EQ(ErrorExtraText(), "CUS:BYNAME");
    // A failed ADD leaves no current record, so DUPLICATE now names the key.
    EXPECT_EQ(DUPLICATE(c->key(ByName)), 1);
    EXPECT_EQ(DUPLICATE(c->key(ById)), 0);
    EXPECT_EQ(DUPLICATE(c->key(ByPhone)), 0); // duplicates allowed
    PUT(c->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    // GET(file, 0) clears the current record as well.
    GET(c->file, 1);
    EXPECT_EQ(DUPLICATE(c->key(ByName)), 0);
    c->set(2, "ANN", "", "555");
    GET(c->file, 0);
    EXPECT_EQ(DUPLICATE(c->key(ByName)), 1);
    EXPECT_EQ(RECORDS(c->file), 1);
    EXPECT_EQ(RECORDS(c->key(ByPhone)), 1);
    c->set(1, "Other");
    ADD(c->file);
    EXPECT_EQ(ErrorCode(), ErrCreatesDuplicateKey);
    EXPECT_EQ(ErrorExtraText(), "CUS:BYID");
}

TEST_F(QvdDriverTest, OptKeysLeaveBlankValuesOut) {
    auto c = created();
    add(*c, 0, "", "", "", 0);
    add(*c, 0, "", "", "", 0); // blank values never collide
    add(*c, 5, "Eve", "", "", 0);
    EXPECT_EQ(RECORDS(c->file), 3);
    EXPECT_EQ(RECORDS(c->key(ByName)), 1);
    EXPECT_EQ(RECORDS(c->key(ById)), 1);
    EXPECT_EQ(RECORDS(c->key(ByPhone)), 0);
    EXPECT_EQ(RECORDS(c->key(ByStartDateName)), 1); // one component is not blank
    c->set(0, "");
    EXPECT_EQ(DUPLICATE(c->key(ByName)), 0);
}

TEST_F(QvdDriverTest, PutMovesTheKeyEntriesAndReadingGoesOnFromTheNewPlace) {
    auto c = created();
    add(*c, 1, "A");
    add(*c, 2, "B");
    add(*c, 3, "C");
    add(*c, 4, "D");
    SET(c->key(ByName));
    NEXT(c->file);
    NEXT(c->file);
    ASSERT_EQ(c->id(), 2);
    c->put_text(CusName, "Z");
    PUT(c->file);
    ASSERT_EQ(ErrorCode(), 0);
    NEXT(c->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    EXPECT_EQ(ids_in_order(*c, ByName), (Ids{1, 3, 4, 2}));
    // A PUT that would duplicate a unique value changes nothing.
    GET(c->file, 3);
    c->put_text(CusName, "a");
    PUT(c->file);
    EXPECT_EQ(ErrorCode(), ErrCreatesDuplicateKey);
    GET(c->file, 3);
    EXPECT_EQ(c->name(), "C");
    // Writing a record's own value back is no duplicate.
    PUT(c->file);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(DUPLICATE(c->key(ByName)), 0);
}

TEST_F(QvdDriverTest, PutAndDeleteNeedACurrentRecord) {
    auto c = created();
    c->set(1, "A");
    PUT(c->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    DELETE(c->file);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
}

TEST_F(QvdDriverTest, DeleteRemovesTheRecordAndItsKeyEntries) {
    auto c = created();
    add(*c, 1, "A", "S", "P", 5);
    add(*c, 2, "B", "S", "P", 5);
    GET(c->file, 1);
    c->set(99, "changed in the buffer"); // the stored entries are removed, not the buffer's
    DELETE(c->file);
    ASSERT_EQ(ErrorCode(), 0);
    DELETE(c->file); // no current record any more
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    EXPECT_EQ(RECORDS(c->file), 1);
    for (int key = ByName; key <= ById; ++key)
        EXPECT_EQ(ids_in_order(*c, key), (Ids{2})) << key;
    GET(c->file, 1);
    EXPECT_EQ(ErrorCode(), ErrRecordNotFound);
}

TEST_F(QvdDriverTest, PositionResetAndRegetRoundTrip) {
    auto c = created();
    for (int i = 1; i <= 5; ++i)
        add(*c, i, std::string(1, char('E' - i + 1)), "", "same");
    SET(c->key(ByPhone));
    NEXT(c->file);
    NEXT(c->file);
    ASSERT_EQ(c->id(), 2);
    const std::string in_phone = POSITION(c->key(ByPhone));
    const std::string in_file = POSITION(c->file);
    const std::string in_name = POSITION(c->key(ByName));
    // The framework keeps positions blank-padded.
    RESET(c->key(ByPhone), in_phone + std::string(40, ' '));
    ASSERT_EQ(ErrorCode(), 0);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 2);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 3);
    RESET(c->key(ByPhone), in_phone);
    PREVIOUS(c->file);
    EXPECT_EQ(c->id(), 2);
    PREVIOUS(c->file);
    EXPECT_EQ(c->id(), 1);
    RESET(c->file, in_file);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 2);
    // A position from another order is followed through its record.
    RESET(c->key(ByName), in_file);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 2);
    NEXT(c->file);
    EXPECT_EQ(c->id(), 1);
    c->clear();
    REGET(c->key(ByName), in_name);
    EXPECT_EQ(c->id(), 2);
    c->clear();
    REGET(c->file, in_file);
    EXPECT_EQ(c->id(), 2);
    // REGET does not move the reading position.
    RESET(c->key(ById), in_file);
    REGET(c->file, POSITION(c->key(ById)));
    NEXT(c->file);
    EXPECT_EQ(c->id(), 2);
}

TEST_F(QvdDriverTest, PositionWithoutACurrentRecordIsTheStart) {
    auto c = created();
    add(*c, 1, "A");
    add(*c, 2, "B");
    CLOSE(c->file);
    OPEN(c->file, AccessReadWrite | ShareDenyNone);
    const std::string start = POSITION(c->key(ByName));
    ASSERT_EQ(ErrorCode(), 0);
    RESET(c->key(ByName), start);
    PREVIOUS(c->file);
    EXPECT_EQ(c->id(), 2);
}

TEST_F(QvdDriverTest, BadPositionsAreRecordNotFound) {
    auto c = created();
    add(*c, 1, "A");
    const std::string good = POSITION(c->key(ByName));
    for (std::string bad :
         {std::string(), std::string("QV"), std::string(80, ' '), good.substr(0, good.size() - 1)}) {
        RESET(c->key(ByName), bad);
        EXPECT_EQ(ErrorCode(), ErrRecordNotFound);
        REGET(c->file, bad);
        EXPECT_EQ(ErrorCode(), ErrRecordNotFound);
    }
    DELETE(c->file);
    REGET(c->key(ByName), good);
    EXPECT_EQ(ErrorCode(), ErrRecordNotFound);
}

TEST_F(QvdDriverTest, OpenHonoursTheSharingOfOtherOpens) {
    auto c = created();
    CLOSE(c->file);
    OPEN(c->file, AccessReadWrite | ShareDenyWrite); // read/write, deny write
    ASSERT_EQ(ErrorCode(), 0);
    Customers other(name("Customer"));
    OPEN(other.file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied) << "writing against a deny-write open";
    OPEN(other.file, AccessReadOnly | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), 0) << "reading beside it";
    CLOSE(other.file);
    OPEN(other.file, AccessReadOnly | ShareDenyRead);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied) << "denying reads to an open that reads";
    CLOSE(c->file);
    OPEN(other.file, AccessReadOnly | ShareDenyAll); // read-only, deny all
    EXPECT_EQ(ErrorCode(), 0);
    OPEN(c->file, AccessReadOnly | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
}

// A file of numbered names whose key and record length a test can vary.
FileSpec NumberedNames(const std::string& name, bool name_key_descending, uint32_t record_length = 24) {
    return FileSpec{
        .label = "NAMES",
        .driver = QvdDriver,
        .record =
            RecordDescription(record_length, {FieldDescription::Of(FieldType::Long, "NAM:ID", 0),
                                              FieldDescription::Sized(FieldType::String, "NAM:NAME", 4, 20)}),
        .keys = {{.label = "NAM:BYID", .attributes = KeyPrimary, .components = {1}},
                 {.label = "NAM:BYNAME", .attributes = KeyDup, .components = {name_key_descending ? -2 : 2}}},
        .options = {.name = name}};
}

TEST_F(QvdDriverTest, ChangedKeysAreRefusedWith46UntilBuilt) {
    {
        FileDeclaration ascending(NumberedNames(name("Names"), false));
        CREATE(ascending);
        OPEN(ascending, AccessReadWrite | ShareDenyNone);
        for (int32_t id = 1; id <= 3; ++id) {
            ascending.clear_record();
            std::memcpy(ascending.buffer(), &id, 4);
            std::memset(ascending.buffer() + 4, ' ', 20);
            ascending.buffer()[4] = static_cast<uint8_t>('A' + id);
            ADD(ascending);
        }
        ASSERT_EQ(ErrorCode(), 0);
        CLOSE(ascending);
        OPEN(ascending, AccessReadWrite | ShareDenyNone);
        EXPECT_EQ(ErrorCode(), 0) << "the same declaration opens";
        CLOSE(ascending);
    }
    FileDeclaration descending(NumberedNames(name("Names"), true));
    OPEN(descending, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrKeyFileMustBeRebuilt);
    FileDeclaration longer(NumberedNames(name("Names"), false, 28));
    OPEN(longer, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(ErrorCode(), ErrInvalidRecordDeclaration);

    BUILD(descending); // the closed file, opened for the build alone
    ASSERT_EQ(ErrorCode(), 0);
    OPEN(descending, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    SET(*descending.key(2));
    std::string order;
    for (NEXT(descending); ErrorCode() == 0; NEXT(descending))
        order += static_cast<char>(descending.buffer()[4]);
    EXPECT_EQ(order, "DCB") << "the key entries were built anew";
}

TEST_F(QvdDriverTest, EmptyNeedsExclusiveAccess) {
    auto c = created();
    add(*c, 1, "A");
    CallDriver(DriverOperation::Empty, c->file);
    EXPECT_EQ(ErrorCode(), ErrExclusiveAccessRequired);
    CLOSE(c->file);
    OPEN(c->file, AccessReadWrite | ShareDenyAll);
    ASSERT_EQ(ErrorCode(), 0);
    CallDriver(DriverOperation::Empty, c->file);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(RECORDS(c->file), 0);
    EXPECT_EQ(RECORDS(c->key(ByName)), 0);
    add(*c, 1, "A"); // the value is free again
}

TEST_F(QvdDriverTest, CreateOfAnExistingTableEmptiesIt) {
    auto c = created();
    add(*c, 1, "A");
    CLOSE(c->file);
    CREATE(c->file);
    ASSERT_EQ(ErrorCode(), 0);
    OPEN(c->file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(RECORDS(c->file), 0);
}

TEST_F(QvdDriverTest, BuildRestoresLostKeyEntries) {
    auto c = created();
    add(*c, 2, "B", "x", "1");
    add(*c, 1, "A", "y", "1");
    CLOSE(c->file);
    {
        // Take the entries of the name key away behind the driver's back.
        int32_t error = 0;
        auto store = Store::Open(name() + ".QVD", StoreOptions{}, error);
        ASSERT_TRUE(store) << error;
        const uint32_t table = *store->FindTable("UNNAMED");
        const Bytes prefix = TableKeyPrefix(table, ByName);
        while (auto entry = store->Seek(prefix, SeekMode::AtOrAfter, prefix))
            store->Erase(entry->key);
        ASSERT_EQ(store->Commit(), 0);
        store->Close();
    }
    OPEN(c->file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(RECORDS(c->key(ByName)), 0);
    BUILD(c->file);
    ASSERT_EQ(ErrorCode(), 0);
    EXPECT_EQ(ids_in_order(*c, ByName), (Ids{1, 2}));
    EXPECT_EQ(ids_in_order(*c, ByPhone), (Ids{2, 1}));
}

TEST_F(QvdDriverTest, SendSetsAndAnswersDriverStrings) {
    Customers c(name());
    // Works before the file is open: the file manager sends Recover after a failed open.
    EXPECT_EQ(SEND(c.file, "Recover=10"), "10");
    EXPECT_EQ(SEND(c.file, "RECOVER"), "10");
    EXPECT_EQ(SEND(c.file, "Recover=x"), "10");
    EXPECT_EQ(SEND(c.file, "QUICKSCAN=on"), "on");
    EXPECT_EQ(SEND(c.file, "quickscan = OFF"), "off");
    EXPECT_EQ(SEND(c.file, "NoSuchThing=1"), "");
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(QvdDriverTest, OemFileStoresTextInTheOemCodePage) {
    auto c = created("Oem", true);
    add(*c, 1, "J\xFCrgen");
    CLOSE(c->file);
    {
        int32_t error = 0;
        auto store = Store::Open(name("Oem") + ".QVD", read_only(), error);
        ASSERT_TRUE(store);
        const uint32_t table = *store->FindTable("UNNAMED");
        Bytes key = TableKeyPrefix(table, EntryRecord);
        key.insert(key.end(), {0, 0, 0, 1});
        const std::optional<Bytes> image = store->Get(key);
        ASSERT_TRUE(image);
        EXPECT_EQ((*image)[5], platform::windows_to_oem(0xFC));
        store->Close();
    }
    OPEN(c->file, AccessReadWrite | ShareDenyNone);
    GET(c->file, 1);
    EXPECT_EQ(c->name(), "J\xFCrgen");
}

TEST_F(QvdDriverTest, KeyValueTooLongToStoreIsInvalidKeyLength) {
    FileDeclaration wide(FileSpec{
        .label = "WIDE",
        .driver = QvdDriver,
        .record = RecordDescription(3000, {FieldDescription::Sized(FieldType::String, "W:TEXT", 0, 3000)}),
        .keys = {{.label = "W:BYTEXT", .attributes = KeyDup, .components = {1}}},
        .options = {.name = name("Wide")},
    });
    CREATE(wide);
    OPEN(wide, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    std::memset(wide.buffer(), 'x', 100);
    ADD(wide);
    EXPECT_EQ(ErrorCode(), 0);
    std::memset(wide.buffer(), 'y', 3000);
    ADD(wide);
    EXPECT_EQ(ErrorCode(), ErrInvalidKeyLength);
    EXPECT_EQ(RECORDS(wide), 1);
}

// A file with a MEMO(600) and a BLOB.
class Notes {
public:
    explicit Notes(const std::string& name, bool oem = false)
        : file(FileSpec{.label = "NOTES",
                        .driver = QvdDriver,
                        .record = RecordDescription(4, {FieldDescription::Of(FieldType::Long, "NOT:ID", 0)}),
                        .keys = {{.label = "NOT:BYID", .attributes = 0, .components = {1}}},
                        .memos = {{.label = "NOT:TEXT", .size = 600, .attributes = 0},
                                  {.label = "NOT:DATA", .size = 0, .attributes = MemoBlob | MemoBinary}},
                        .options = {.name = name, .oem = oem}}) {}
    std::vector<uint8_t>& memo() { return file.current().memos[0]; }
    std::vector<uint8_t>& blob() { return file.current().memos[1]; }
    void set_id(int32_t id) { std::memcpy(file.buffer(), &id, 4); }

    FileDeclaration file;
};

TEST_F(QvdDriverTest, MemosAndBlobsTravelWithTheirRecord) {
    Notes n(name("Notes"), true);
    CREATE(n.file);
    OPEN(n.file, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    std::vector<uint8_t> text(600, 0);
    for (size_t i = 0; i < 550; ++i)
        text[i] = uint8_t('a' + i % 26);
    text[3] = 0xE9; // converted to the OEM page and back
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    n.set_id(1);
    n.memo() = text;
    n.blob() = data;
    ADD(n.file);
    ASSERT_EQ(ErrorCode(), 0) << ErrorText();
    n.set_id(2);
    n.memo().assign(600, 0);
    n.blob().clear();
    ADD(n.file);
    n.memo().assign(600, 'x');
    n.blob() = {1, 2, 3};
    GET(n.file, 1);
    EXPECT_EQ(n.memo(), text);
    EXPECT_EQ(n.blob(), data);
    GET(n.file, 2);
    EXPECT_EQ(n.memo(), std::vector<uint8_t>(600, 0));
    EXPECT_TRUE(n.blob().empty());
    // NOMEMO leaves the memo buffers alone for one read.
    CallDriver(DriverOperation::NoMemo, n.file);
    GET(n.file, 1);
    EXPECT_TRUE(n.blob().empty());
    GET(n.file, 1);
    EXPECT_EQ(n.blob(), data);
    // A shorter blob replaces every old segment.
    n.blob() = {9};
    PUT(n.file);
    GET(n.file, 2);
    GET(n.file, 1);
    EXPECT_EQ(n.blob(), (std::vector<uint8_t>{9}));
    DELETE(n.file);
    CLOSE(n.file);
    int32_t error = 0;
    auto store = Store::Open(name("Notes") + ".QVD", read_only(), error);
    ASSERT_TRUE(store);
    const uint32_t table = *store->FindTable("UNNAMED");
    EXPECT_EQ(store->Count(TableKeyPrefix(table, EntryMemo)), 0u);
    EXPECT_FALSE(store->Check());
}

// A statement that fails inside a transaction takes back only its own
// changes: the records added before it are committed with the transaction.
TEST_F(QvdDriverTest, AFailedStatementInATransactionKeepsTheEarlierOnes) {
    Notes n(name("Notes"));
    CREATE(n.file);
    OPEN(n.file, AccessReadWrite | ShareDenyNone);
    LOGOUT(n.file);
    ASSERT_EQ(ErrorCode(), 0);
    n.set_id(1);
    n.blob() = {1, 2, 3};
    ADD(n.file);
    ASSERT_EQ(ErrorCode(), 0);
    n.set_id(1);
    n.blob() = {4, 5};
    PUT(n.file);
    ASSERT_EQ(ErrorCode(), 0);
    // A blob of more segments than a record can have (256 bytes each).
    n.blob().assign(size_t{65536} * 256, 7);
    PUT(n.file);
    EXPECT_EQ(ErrorCode(), ErrFileSystemError);
    n.set_id(2);
    ADD(n.file);
    EXPECT_EQ(ErrorCode(), ErrFileSystemError);
    n.blob().clear();
    COMMIT(n.file);
    ASSERT_EQ(ErrorCode(), 0);
    EXPECT_EQ(RECORDS(n.file), 1);
    GET(n.file, 1);
    EXPECT_EQ(n.blob(), (std::vector<uint8_t>{4, 5}));
}

// The model: record number → record, and per key the order of the records
// the key holds (OPT blank values left out, duplicates by record number).
class Model {
public:
    explicit Model(const FileDeclaration& file) : m_file(file) {}

    std::map<uint32_t, std::vector<uint8_t>> records;

    bool blank(const KeyDeclaration& key, const std::vector<uint8_t>& r) const {
        for (int32_t n = 1; n <= key.component_count(); ++n) {
            const FieldDescription& f = m_file.record.field(key.field_number(n));
            for (uint32_t i = 0; i < f.size; ++i) {
                const uint8_t b = r[f.offset + i];
                if (f.type == FieldType::String ? b != ' ' : b != 0)
                    return false;
            }
        }
        return true;
    }

    int compare(const KeyDeclaration& key, const std::vector<uint8_t>& a,
                const std::vector<uint8_t>& b) const {
        for (int32_t n = 1; n <= key.component_count(); ++n) {
            const FieldDescription& f = m_file.record.field(key.field_number(n));
            int order = f.type == FieldType::String && key.has(KeyNoCase)
                            ? CompareStringValuesNoCase({reinterpret_cast<const char*>(&a[f.offset]), f.size},
                                                        {reinterpret_cast<const char*>(&b[f.offset]), f.size})
                            : CompareField(f, a.data(), b.data());
            if (order != 0)
                return key.descending(n) ? -order : order;
        }
        return 0;
    }

    // A record number (other than `except`) whose value collides in a unique key, per key.
    int collision(const std::vector<uint8_t>& r, uint32_t except) const {
        for (int k = 1; k <= m_file.key_count(); ++k) {
            const KeyDeclaration& key = *m_file.key(k);
            if (key.allows_duplicates() || (key.has(KeyOpt) && blank(key, r)))
                continue;
            for (const auto& [number, other] : records) {
                if (number != except && compare(key, r, other) == 0)
                    return k;
            }
        }
        return 0;
    }

    std::vector<uint32_t> order(int k) const {
        const KeyDeclaration& key = *m_file.key(k);
        std::vector<uint32_t> numbers;
        for (const auto& [number, r] : records) {
            if (!(key.has(KeyOpt) && blank(key, r)))
                numbers.push_back(number);
        }
        std::stable_sort(numbers.begin(), numbers.end(), [&](uint32_t a, uint32_t b) {
            return compare(key, records.at(a), records.at(b)) < 0;
        });
        return numbers;
    }

private:
    const FileDeclaration& m_file;
};

class RandomCustomers {
public:
    explicit RandomCustomers(uint32_t seed) : m_random(seed) {}
    uint32_t below(uint32_t n) { return m_random() % n; }

    // Few distinct values, so that collisions, duplicates and blanks are common.
    void fill(Customers& c) {
        static const char* names[] = {"",    "ann", "Ann", "bob", "BOB ", "cid",
                                      "dee", "eve", "Fay", "gus", "hal"};
        static const char* places[] = {"", "North", "south", "East", "west"};
        static const char* phones[] = {"", "555", "556", "1234"};
        c.set(static_cast<int32_t>(below(12)), names[below(11)], places[below(5)], phones[below(4)],
              static_cast<int32_t>(below(3)) * 1000);
    }

private:
    std::mt19937 m_random;
};

uint32_t current_record_number(Customers& c) {
    const std::optional<PositionText> position = ParsePosition(POSITION(c.file));
    return position ? position->record : 0;
}

TEST_F(QvdDriverTest, RandomChangesKeepEveryKeyInStepWithTheModel) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        const std::string base = "Random" + std::to_string(seed);
        auto c = created(base);
        Model model(c->file);
        RandomCustomers random(seed);

        auto check_all = [&](const char* when, int step) {
            EXPECT_EQ(RECORDS(c->file), static_cast<int32_t>(model.records.size())) << when << step;
            for (int k = ByName; k <= ById; ++k) {
                const std::vector<uint32_t> expected = model.order(k);
                ASSERT_EQ(RECORDS(c->key(k)), static_cast<int32_t>(expected.size()))
                    << when << step << " key " << k;
                SET(c->key(k));
                std::vector<uint32_t> forward;
                for (NEXT(c->file); ErrorCode() == 0; NEXT(c->file)) {
                    forward.push_back(current_record_number(*c));
                    ASSERT_EQ(c->record(), model.records.at(forward.back()));
                }
                ASSERT_EQ(ErrorCode(), ErrRecordNotAvailable);
                // Duplicates may come in any order the model does not fix: compare values then numbers.
                ASSERT_EQ(forward.size(), expected.size()) << when << step << " key " << k;
                for (size_t i = 0; i < forward.size(); ++i) {
                    ASSERT_EQ(model.compare(*c->file.key(k), model.records.at(forward[i]),
                                            model.records.at(expected[i])),
                              0)
                        << when << step << " key " << k << " at " << i;
                    if (i > 0 && model.compare(*c->file.key(k), model.records.at(forward[i - 1]),
                                               model.records.at(forward[i])) == 0) {
                        ASSERT_LT(forward[i - 1], forward[i]) << "duplicates by record number";
                    }
                }
                SET(c->key(k));
                std::vector<uint32_t> backward;
                for (PREVIOUS(c->file); ErrorCode() == 0; PREVIOUS(c->file))
                    backward.push_back(current_record_number(*c));
                std::reverse(backward.begin(), backward.end());
                ASSERT_EQ(backward, forward) << when << step << " key " << k;
            }
        };

        for (int step = 0; step < 150; ++step) {
            const uint32_t action = random.below(10);
            if (action < 5 || model.records.empty()) {
                random.fill(*c);
                const std::vector<uint8_t> record = c->record();
                const int collision = model.collision(record, 0);
                ADD(c->file);
                if (collision != 0) {
                    ASSERT_EQ(ErrorCode(), ErrCreatesDuplicateKey) << step;
                    ASSERT_EQ(ErrorExtraText(), c->file.key(collision)->label);
                } else {
                    ASSERT_EQ(ErrorCode(), 0) << step << ErrorText();
                    model.records[current_record_number(*c)] = record;
                }
            } else {
                auto it = model.records.begin();
                std::advance(it, random.below(static_cast<uint32_t>(model.records.size())));
                const uint32_t number = it->first;
                GET(c->file, static_cast<int32_t>(number));
                ASSERT_EQ(ErrorCode(), 0);
                if (action < 8) {
                    random.fill(*c);
                    const std::vector<uint8_t> record = c->record();
                    const int collision = model.collision(record, number);
                    PUT(c->file);
                    if (collision != 0) {
                        ASSERT_EQ(ErrorCode(), ErrCreatesDuplicateKey) << step;
                    } else {
                        ASSERT_EQ(ErrorCode(), 0) << step;
                        model.records[number] = record;
                    }
                } else {
                    DELETE(c->file);
                    ASSERT_EQ(ErrorCode(), 0) << step;
                    model.records.erase(number);
                }
            }
            check_all("step ", step);
        }
        CLOSE(c->file);
        OPEN(c->file, AccessReadWrite | ShareDenyNone);
        ASSERT_EQ(ErrorCode(), 0);
        check_all("reopened ", 0);
        CLOSE(c->file);
        int32_t error = 0;
        auto store = Store::Open(name(base) + ".QVD", read_only(), error);
        ASSERT_TRUE(store) << error;
        EXPECT_EQ(store->Check(), std::nullopt);
    }
}

} // namespace
} // namespace morvex::qvd

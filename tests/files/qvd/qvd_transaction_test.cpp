// LOGOUT, COMMIT and ROLLBACK on one QVD file: the transaction's changes are
// visible to itself, invisible to other opens until COMMIT, and gone after
// ROLLBACK; the statements out of order give 56 and 91.
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "runtime/error_state.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace morvex::qvd {
namespace {

namespace fs = std::filesystem;

RecordDescription item_record() {
    return RecordDescription(24, {FieldDescription::Of(FieldType::Long, "ITM:ID", 0),
                                  FieldDescription::Sized(FieldType::String, "ITM:NAME", 4, 20)});
}

class Items {
public:
    explicit Items(const std::string& name)
        : file(FileSpec{.label = "ITEMS",
                        .driver = QvdDriver,
                        .record = item_record(),
                        .keys = {{.label = "ITM:BYID", .attributes = KeyPrimary, .components = {1}}},
                        .options = {.name = name}}) {}

    void set(int32_t id) {
        file.clear_record();
        std::memcpy(file.buffer(), &id, 4);
        std::memset(file.buffer() + 4, ' ', 20);
    }
    int32_t count() { return RECORDS(file); }

    FileDeclaration file;
};

class QvdTransactionTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qvd_transaction_XXXXXX").string();
        m_directory = mkdtemp(pattern.data());
        Items creator(path());
        CREATE(creator.file);
        ASSERT_EQ(ErrorCode(), 0);
    }
    void TearDown() override { fs::remove_all(m_directory); }

    std::string path() const { return m_directory + "/items"; }

    // Opens `items` read/write deny none and adds records first..last in one transaction.
    void add_in_transaction(Items& items, int32_t first, int32_t last) {
        LOGOUT(items.file);
        ASSERT_EQ(ErrorCode(), 0);
        for (int32_t id = first; id <= last; ++id) {
            items.set(id);
            ADD(items.file);
            ASSERT_EQ(ErrorCode(), 0) << id;
        }
    }

private:
    std::string m_directory;
};

TEST_F(QvdTransactionTest, CommitWritesEveryChangeAtOnceAndOtherOpensSeeItOnlyThen) {
    Items writer(path());
    Items reader(path());
    OPEN(writer.file, 0x42);
    OPEN(reader.file, 0x40);
    ASSERT_EQ(ErrorCode(), 0);
    add_in_transaction(writer, 1, 50);
    EXPECT_EQ(writer.count(), 50);
    EXPECT_EQ(reader.count(), 0);
    COMMIT(writer.file);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(reader.count(), 50);
}

TEST_F(QvdTransactionTest, RollbackDiscardsTheTransaction) {
    Items items(path());
    OPEN(items.file, 0x42);
    add_in_transaction(items, 1, 3);
    ROLLBACK(items.file);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(items.count(), 0);
    CLOSE(items.file);
    OPEN(items.file, 0x42);
    EXPECT_EQ(items.count(), 0);
}

TEST_F(QvdTransactionTest, ClosingInsideATransactionLosesIt) {
    {
        Items items(path());
        OPEN(items.file, 0x42);
        add_in_transaction(items, 1, 3);
        CLOSE(items.file);
    }
    Items again(path());
    OPEN(again.file, 0x42);
    EXPECT_EQ(again.count(), 0);
    LOGOUT(again.file); // the writer byte was given back with the close
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(QvdTransactionTest, StatementsOutOfOrderAreRefused) {
    Items items(path());
    OPEN(items.file, 0x42);
    COMMIT(items.file);
    EXPECT_EQ(ErrorCode(), 91);
    ROLLBACK(items.file);
    EXPECT_EQ(ErrorCode(), 91);
    LOGOUT(items.file);
    EXPECT_EQ(ErrorCode(), 0);
    LOGOUT(items.file);
    EXPECT_EQ(ErrorCode(), 56);
    COMMIT(items.file);
    EXPECT_EQ(ErrorCode(), 0);

    Items reading(path());
    OPEN(reading.file, 0x40);
    LOGOUT(reading.file);
    EXPECT_EQ(ErrorCode(), 5);
}

TEST_F(QvdTransactionTest, ADuplicateInsideATransactionFailsOnlyThatStatement) {
    Items items(path());
    OPEN(items.file, 0x42);
    add_in_transaction(items, 1, 2);
    items.set(2);
    ADD(items.file);
    EXPECT_EQ(ErrorCode(), 40);
    COMMIT(items.file);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(items.count(), 2);
}

} // namespace
} // namespace morvex::qvd

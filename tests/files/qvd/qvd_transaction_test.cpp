// LOGOUT, COMMIT and ROLLBACK on QVD files: the transaction's changes are
// visible to itself, invisible to other opens until COMMIT, and gone after
// ROLLBACK; the statements out of order give 56 and 91. Several files change
// together, also when the process is killed in the middle of their commit.
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_store.h"
#include "files/transaction.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_directory.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <thread>
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

class QvdTransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Items creator(path());
        CREATE(creator.file);
        ASSERT_EQ(ErrorCode(), 0);
    }

    std::string path() const { return m_directory.file("items"); }
    std::string second_path() {
        const std::string second = m_directory.file("orders");
        if (!fs::exists(second + ".QVD")) {
            Items creator(second);
            CREATE(creator.file);
        }
        return second;
    }
    std::string directory() const { return m_directory.path(); }

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
    testing::TempDirectory m_directory{"qvd_transaction"};
};

TEST_F(QvdTransactionTest, CommitWritesEveryChangeAtOnceAndOtherOpensSeeItOnlyThen) {
    Items writer(path());
    Items reader(path());
    OPEN(writer.file, AccessReadWrite | ShareDenyNone);
    OPEN(reader.file, AccessReadOnly | ShareDenyNone);
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
    OPEN(items.file, AccessReadWrite | ShareDenyNone);
    add_in_transaction(items, 1, 3);
    ROLLBACK(items.file);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(items.count(), 0);
    CLOSE(items.file);
    OPEN(items.file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(items.count(), 0);
}

TEST_F(QvdTransactionTest, ClosingInsideATransactionLosesIt) {
    {
        Items items(path());
        OPEN(items.file, AccessReadWrite | ShareDenyNone);
        add_in_transaction(items, 1, 3);
        CLOSE(items.file);
    }
    Items again(path());
    OPEN(again.file, AccessReadWrite | ShareDenyNone);
    EXPECT_EQ(again.count(), 0);
    LOGOUT(again.file); // the writer byte was given back with the close
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(QvdTransactionTest, StatementsOutOfOrderAreRefused) {
    Items items(path());
    OPEN(items.file, AccessReadWrite | ShareDenyNone);
    COMMIT(items.file);
    EXPECT_EQ(ErrorCode(), ErrLogoutNotActive);
    ROLLBACK(items.file);
    EXPECT_EQ(ErrorCode(), ErrLogoutNotActive);
    LOGOUT(items.file);
    EXPECT_EQ(ErrorCode(), 0);
    LOGOUT(items.file);
    EXPECT_EQ(ErrorCode(), ErrLogoutAlreadyActive);
    COMMIT(items.file);
    EXPECT_EQ(ErrorCode(), 0);

    Items reading(path());
    OPEN(reading.file, AccessReadOnly | ShareDenyNone);
    LOGOUT(reading.file);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
}

TEST_F(QvdTransactionTest, ADuplicateInsideATransactionFailsOnlyThatStatement) {
    Items items(path());
    OPEN(items.file, AccessReadWrite | ShareDenyNone);
    add_in_transaction(items, 1, 2);
    items.set(2);
    ADD(items.file);
    EXPECT_EQ(ErrorCode(), ErrCreatesDuplicateKey);
    COMMIT(items.file);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(items.count(), 2);
}

TEST_F(QvdTransactionTest, TwoFilesCommitTogetherAndRollBackTogether) {
    Items items(path());
    Items orders(second_path());
    OPEN(items.file, AccessReadWrite | ShareDenyNone);
    OPEN(orders.file, AccessReadWrite | ShareDenyNone);
    FileDeclaration* both[] = {&items.file, &orders.file};

    LOGOUT(2, both);
    ASSERT_EQ(ErrorCode(), 0);
    EXPECT_TRUE(InTransaction());
    LOGOUT(2, both);
    EXPECT_EQ(ErrorCode(), ErrLogoutAlreadyActive);
    for (int32_t id = 1; id <= 3; ++id) {
        items.set(id);
        ADD(items.file);
        orders.set(id * 10);
        ADD(orders.file);
    }
    ASSERT_EQ(ErrorCode(), 0);
    Items other_items(path());
    Items other_orders(second_path());
    OPEN(other_items.file, AccessReadOnly | ShareDenyNone);
    OPEN(other_orders.file, AccessReadOnly | ShareDenyNone);
    EXPECT_EQ(other_items.count(), 0);
    EXPECT_EQ(other_orders.count(), 0);
    COMMIT();
    ASSERT_EQ(ErrorCode(), 0);
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(other_items.count(), 3);
    EXPECT_EQ(other_orders.count(), 3);
    EXPECT_TRUE(fs::exists(directory() + "/quorvane.tcf"));

    LOGOUT(2, both);
    ASSERT_EQ(ErrorCode(), 0);
    items.set(4);
    ADD(items.file);
    orders.set(40);
    ADD(orders.file);
    ROLLBACK();
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(other_items.count(), 3);
    EXPECT_EQ(other_orders.count(), 3);
    COMMIT();
    EXPECT_EQ(ErrorCode(), ErrLogoutNotActive);
}

// How many transaction numbers the control file at `path` lists.
uint64_t ListedNumbers(const std::string& path) {
    StoreOptions options;
    options.mode = OpenMode::ReadOnly;
    int32_t error = 0;
    std::unique_ptr<Store> control = Store::Open(path, options, error);
    EXPECT_TRUE(control) << error;
    return control ? control->Count(ByteView()) : 0;
}

// While files stay open the control file stays open too, listing the next
// transaction's number; a control file deleted meanwhile is made anew, and
// the last close takes the listed number back out.
TEST_F(QvdTransactionTest, TheControlFileListsTheNextNumberWhileFilesStayOpen) {
    Items items(path());
    Items orders(second_path());
    OPEN(items.file, AccessReadWrite | ShareDenyNone);
    OPEN(orders.file, AccessReadWrite | ShareDenyNone);
    FileDeclaration* both[] = {&items.file, &orders.file};
    auto commit_pair = [&](int32_t id) {
        LOGOUT(2, both);
        items.set(id);
        ADD(items.file);
        orders.set(id);
        ADD(orders.file);
        COMMIT();
        return ErrorCode();
    };
    const std::string control = directory() + "/quorvane.tcf";
    ASSERT_EQ(commit_pair(1), 0);
    ASSERT_EQ(commit_pair(2), 0);
    EXPECT_EQ(ListedNumbers(control), 1u);
    fs::remove(control);
    ASSERT_EQ(commit_pair(3), 0);
    EXPECT_EQ(ListedNumbers(control), 1u);
    CLOSE(items.file);
    EXPECT_EQ(ListedNumbers(control), 1u);
    CLOSE(orders.file);
    EXPECT_EQ(ListedNumbers(control), 0u);
    OPEN(items.file, AccessReadOnly | ShareDenyNone);
    OPEN(orders.file, AccessReadOnly | ShareDenyNone);
    EXPECT_EQ(items.count(), 3);
    EXPECT_EQ(orders.count(), 3);
}

TEST_F(QvdTransactionTest, LogoutGivesUpAfterItsWaitAndLeavesNoFileStarted) {
    const std::string second = second_path();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    testing::ChildProcess child([&] {
        close(ready[0]);
        Items holder(second);
        OPEN(holder.file, AccessReadWrite | ShareDenyNone);
        LOGOUT(holder.file);
        const char byte = ErrorCode() == 0 ? 'y' : 'n';
        if (write(ready[1], &byte, 1) != 1)
            return 2;
        pause(); // keeps the file's writer byte until killed
        return 0;
    });
    ASSERT_TRUE(child.started());
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    EXPECT_EQ(byte, 'y');

    Items items(path());
    Items orders(second);
    OPEN(items.file, AccessReadWrite | ShareDenyNone);
    OPEN(orders.file, AccessReadWrite | ShareDenyNone);
    FileDeclaration* both[] = {&items.file, &orders.file};
    const auto start = std::chrono::steady_clock::now();
    LOGOUT(1, both);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_FALSE(InTransaction());
    child.kill();

    // The first file was given back: a transaction over it starts at once.
    LOGOUT(items.file, 0);
    EXPECT_EQ(ErrorCode(), 0);
    ROLLBACK(items.file);
}

// A child commits the same new record to two files, transaction after
// transaction, and is killed at a random moment: both files always hold
// the same records, at least as many as the child reported committed.
TEST_F(QvdTransactionTest, AProcessKilledInATwoFileCommitLeavesBothFilesAlike) {
    const std::string second = second_path();
    std::mt19937 random(4242);
    int32_t next_id = 1;
    for (int round = 0; round < 4; ++round) {
        int reports[2];
        ASSERT_EQ(pipe(reports), 0);
        testing::ChildProcess child([&] {
            close(reports[0]);
            Items items(path());
            Items orders(second);
            OPEN(items.file, AccessReadWrite | ShareDenyNone);
            OPEN(orders.file, AccessReadWrite | ShareDenyNone);
            FileDeclaration* both[] = {&items.file, &orders.file};
            for (int32_t id = next_id;; ++id) {
                LOGOUT(-1, both);
                items.set(id);
                ADD(items.file);
                orders.set(id);
                ADD(orders.file);
                COMMIT();
                if (ErrorCode() != 0 || write(reports[1], &id, sizeof id) != sizeof id)
                    return 3;
            }
        });
        ASSERT_TRUE(child.started());
        close(reports[1]);
        int32_t committed = 0;
        for (int i = 0; i < 3; ++i) // let a few commits land first
            ASSERT_EQ(read(reports[0], &committed, sizeof committed), static_cast<ssize_t>(sizeof committed));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        child.kill();
        EXPECT_EQ(child.signal(), SIGKILL) << "the child stopped by itself: " << child.exit_code();
        while (read(reports[0], &committed, sizeof committed) == static_cast<ssize_t>(sizeof committed)) {
        }
        close(reports[0]);

        Items items(path());
        Items orders(second);
        OPEN(items.file, AccessReadWrite | ShareDenyNone);
        OPEN(orders.file, AccessReadWrite | ShareDenyNone);
        ASSERT_EQ(ErrorCode(), 0);
        const int32_t in_items = items.count();
        EXPECT_EQ(in_items, orders.count()) << "round " << round;
        EXPECT_GE(in_items, committed) << "round " << round;
        EXPECT_LE(in_items, committed + 1) << "round " << round;
        next_id = in_items + 1;
    }
}

} // namespace
} // namespace morvex::qvd

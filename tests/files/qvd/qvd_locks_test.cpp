// Record holds, watches and file locks of the QVD driver between two stations:
// two opens of one file in this process (the locks exclude other opens too)
// and a real child process, which may also die holding its locks.
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_store.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_directory.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace morvex::qvd {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class People {
public:
    explicit People(const std::string& name)
        : file(FileSpec{
              .label = "PEOPLE",
              .driver = QvdDriver,
              .record = RecordDescription(24,
                                          {
                                              FieldDescription::Of(FieldType::Long, "PEO:ID", 0),
                                              FieldDescription::Sized(FieldType::String, "PEO:NAME", 4, 20),
                                          }),
              .keys = {{.label = "PEO:BYID", .attributes = KeyPrimary, .components = {1}}},
              .options = {.name = name}}) {}

    void set(int32_t id, std::string_view name) {
        file.clear_record();
        std::memcpy(file.buffer(), &id, 4);
        set_name(name);
    }
    void set_name(std::string_view name) {
        std::memset(file.buffer() + 4, ' ', 20);
        std::memcpy(file.buffer() + 4, name.data(), std::min<size_t>(name.size(), 20));
    }
    int32_t id() {
        int32_t value;
        std::memcpy(&value, file.buffer(), 4);
        return value;
    }
    std::string name() {
        std::string text(reinterpret_cast<const char*>(file.buffer()) + 4, 20);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }

    FileDeclaration file;
};

// Operations without a statement of their own.
void HOLD(FileDeclaration& file, int32_t seconds) {
    CallDriver(DriverOperation::HoldFileSec, file, seconds);
}
void RELEASE(FileDeclaration& file) {
    CallDriver(DriverOperation::Release, file);
}
void LOCK(FileDeclaration& file) {
    CallDriver(DriverOperation::LockFile, file);
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A child process running `body`, which talks to the parent through two
// pipes: signal() tells the parent a step is done, await() waits for the
// parent's word. Every wait is bounded; the child is killed when the test
// ends early.
class Child {
public:
    class Channel {
    public:
        Channel(int to_parent, int from_parent) : m_to_parent(to_parent), m_from_parent(from_parent) {}
        void signal() { (void)!write(m_to_parent, "s", 1); }
        bool await(int timeout_ms = 10000) { return read_byte(m_from_parent, timeout_ms); }

    private:
        int m_to_parent;
        int m_from_parent;
    };

    // The body returns the child's exit status.
    explicit Child(const std::function<int(Channel&)>& body) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0)
            return;
        m_process.emplace([&] {
            close(up[0]);
            close(down[1]);
            Channel channel(up[1], down[0]);
            ClearError();
            return body(channel);
        });
        close(up[1]);
        close(down[0]);
        m_from_child = up[0];
        m_to_child = down[1];
    }
    ~Child() {
        kill();
        close(m_from_child);
        close(m_to_child);
    }

    bool started() const { return m_process && m_process->started(); }
    bool await(int timeout_ms = 10000) { return read_byte(m_from_child, timeout_ms); }
    void tell() { (void)!write(m_to_child, "t", 1); }
    // The exit status, or -1 when the child did not end within the time.
    int join(int timeout_ms = 10000) {
        if (!m_process || !m_process->wait(std::chrono::milliseconds(timeout_ms)))
            return -1;
        return m_process->exit_code();
    }
    void kill() {
        if (m_process)
            m_process->kill();
    }

private:
    static bool read_byte(int fd, int timeout_ms) {
        pollfd p{fd, POLLIN, 0};
        char byte;
        return poll(&p, 1, timeout_ms) == 1 && read(fd, &byte, 1) == 1;
    }

    std::optional<testing::ChildProcess> m_process;
    int m_from_child = -1;
    int m_to_child = -1;
};

class QvdLocksTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_name = m_dir.file("People");
        People setup(m_name);
        CREATE(setup.file);
        OPEN(setup.file, AccessReadWrite | ShareDenyNone);
        for (int32_t id : {1, 2, 3}) {
            setup.set(id, "P" + std::to_string(id));
            ADD(setup.file);
            ASSERT_EQ(ErrorCode(), 0) << ErrorText();
        }
        CLOSE(setup.file);
        first = opened();
        second = opened();
        ClearError();
    }
    void TearDown() override {
        first.reset();
        second.reset();
    }

    std::unique_ptr<People> opened() {
        auto people = std::make_unique<People>(m_name);
        OPEN(people->file, AccessReadWrite | ShareDenyNone);
        EXPECT_EQ(ErrorCode(), 0) << ErrorText();
        return people;
    }

    // Whether a station with an open of its own could hold `record` now.
    bool record_is_free(int32_t record) {
        People probe(m_name);
        OPEN(probe.file, AccessReadWrite | ShareDenyNone);
        HOLD(probe.file);
        GET(probe.file, record);
        const bool free = ErrorCode() != ErrRecordAlreadyHeld;
        CLOSE(probe.file);
        ClearError();
        return free;
    }

    // The ids NEXT reads from the start, with 0 for each record that reads as held.
    std::vector<int32_t> ids_read(People& p) {
        SET(p.file);
        std::vector<int32_t> ids;
        for (int i = 0; i < 10; ++i) {
            NEXT(p.file);
            if (ErrorCode() == ErrRecordNotAvailable)
                break;
            ids.push_back(ErrorCode() == ErrRecordAlreadyHeld ? 0 : p.id());
        }
        return ids;
    }

    testing::TempDirectory m_dir{"qvd_locks"};
    std::string m_name;
    std::unique_ptr<People> first;
    std::unique_ptr<People> second;
};

using Ids = std::vector<int32_t>;

TEST_F(QvdLocksTest, HeldRecordReadsAsHeldElsewhereAndReadingMovesPastIt) {
    HOLD(first->file);
    GET(first->file, 2);
    ASSERT_EQ(ErrorCode(), 0);
    EXPECT_EQ(first->id(), 2);
    // NEXT answers 43 and the following NEXT goes on with record 3, both ways.
    EXPECT_EQ(ids_read(*second), (Ids{1, 0, 3}));
    SET(second->file);
    PREVIOUS(second->file);
    PREVIOUS(second->file);
    EXPECT_EQ(ErrorCode(), ErrRecordAlreadyHeld);
    PREVIOUS(second->file);
    EXPECT_EQ(second->id(), 1);
    GET(second->file, 2);
    EXPECT_EQ(ErrorCode(), ErrRecordAlreadyHeld);
    HOLD(second->file);
    GET(second->file, 2);
    EXPECT_EQ(ErrorCode(), ErrRecordAlreadyHeld);
    // The holder itself reads it as often as it likes.
    HOLD(first->file);
    GET(first->file, 2);
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(QvdLocksTest, ReleaseAndTheNextReadEndTheHold) {
    HOLD(first->file);
    GET(first->file, 2);
    RELEASE(first->file);
    EXPECT_TRUE(record_is_free(2));

    HOLD(first->file);
    GET(first->file, 2);
    HOLD(first->file);
    GET(first->file, 3); // a new hold read gives up the old hold
    EXPECT_TRUE(record_is_free(2));
    EXPECT_FALSE(record_is_free(3));
    GET(first->file, 1); // so does a plain read
    EXPECT_TRUE(record_is_free(3));

    // A HOLD given up by RELEASE before its read holds nothing.
    HOLD(first->file);
    RELEASE(first->file);
    GET(first->file, 1);
    EXPECT_TRUE(record_is_free(1));
}

TEST_F(QvdLocksTest, PutKeepsTheHoldDeleteAndCloseEndIt) {
    HOLD(first->file);
    GET(first->file, 2);
    first->set_name("Changed");
    PUT(first->file);
    ASSERT_EQ(ErrorCode(), 0);
    EXPECT_FALSE(record_is_free(2));
    DELETE(first->file);
    ASSERT_EQ(ErrorCode(), 0);
    EXPECT_TRUE(record_is_free(2));

    HOLD(first->file);
    GET(first->file, 3);
    CLOSE(first->file);
    EXPECT_TRUE(record_is_free(3));
}

TEST_F(QvdLocksTest, HeldRecordCannotBeChangedByAnotherStation) {
    GET(second->file, 2);
    HOLD(first->file);
    GET(first->file, 2);
    second->set_name("Lost");
    PUT(second->file);
    EXPECT_EQ(ErrorCode(), ErrRecordAlreadyHeld);
    DELETE(second->file);
    EXPECT_EQ(ErrorCode(), ErrRecordAlreadyHeld);
    RELEASE(first->file);
    GET(first->file, 2);
    EXPECT_EQ(first->name(), "P2");
    EXPECT_EQ(RECORDS(first->file), 3);
}

TEST_F(QvdLocksTest, HoldWithSecondsWaitsThatLongAndNoLonger) {
    HOLD(first->file);
    GET(first->file, 2);
    const Clock::time_point start = Clock::now();
    HOLD(second->file, 1);
    GET(second->file, 2);
    EXPECT_EQ(ErrorCode(), ErrRecordAlreadyHeld);
    EXPECT_GE(seconds_since(start), 0.9);
    EXPECT_LT(seconds_since(start), 5.0);
}

TEST_F(QvdLocksTest, WatchedRecordChangedElsewhereIsNotOverwritten) {
    WATCH(first->file);
    GET(first->file, 1);
    GET(second->file, 1);
    second->set_name("Theirs");
    PUT(second->file);
    ASSERT_EQ(ErrorCode(), 0);
    first->set_name("Mine");
    PUT(first->file);
    EXPECT_EQ(ErrorCode(), ErrRecordChangedByAnotherStation);
    GET(first->file, 1);
    EXPECT_EQ(first->name(), "Theirs");
    // Watched again and unchanged, the PUT goes through.
    WATCH(first->file);
    GET(first->file, 1);
    first->set_name("Mine");
    PUT(first->file);
    EXPECT_EQ(ErrorCode(), 0);
    // The watch ended with that PUT: a later change elsewhere is not held against us.
    GET(second->file, 1);
    second->set_name("Later");
    PUT(second->file);
    first->set_name("Again");
    PUT(first->file);
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(QvdLocksTest, WatchWithoutAChangeElsewhereLetsPutThrough) {
    WATCH(first->file);
    SET(first->file);
    NEXT(first->file);
    ASSERT_EQ(first->id(), 1);
    // A change of another record by another station does not matter.
    GET(second->file, 2);
    second->set_name("Other");
    PUT(second->file);
    first->set_name("Mine");
    PUT(first->file);
    EXPECT_EQ(ErrorCode(), 0);
    GET(second->file, 1);
    EXPECT_EQ(second->name(), "Mine");
}

TEST_F(QvdLocksTest, LockedFileRefusesOtherStationsChangesButNotTheirReads) {
    LOCK(first->file, 1);
    ASSERT_EQ(ErrorCode(), 0);
    second->set(4, "New");
    ADD(second->file);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    GET(second->file, 1);
    EXPECT_EQ(ErrorCode(), 0);
    second->set_name("Changed");
    PUT(second->file);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    DELETE(second->file);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    EXPECT_EQ(ids_read(*second), (Ids{1, 2, 3}));
    // The locker changes what it likes.
    first->set(5, "Mine");
    ADD(first->file);
    EXPECT_EQ(ErrorCode(), 0);
    // LOCK without seconds fails at once; with seconds after about that long.
    LOCK(second->file);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    const Clock::time_point start = Clock::now();
    LOCK(second->file, 1);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    EXPECT_GE(seconds_since(start), 0.9);
    EXPECT_LT(seconds_since(start), 5.0);

    UNLOCK(first->file);
    second->set(4, "New");
    ADD(second->file);
    EXPECT_EQ(ErrorCode(), 0);
    LOCK(second->file, 1);
    EXPECT_EQ(ErrorCode(), 0);
    first->set(6, "Refused");
    ADD(first->file);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    EXPECT_EQ(RECORDS(first->file), 5);
}

TEST_F(QvdLocksTest, LocksOfOneTableLeaveOtherTablesAlone) {
    People other(m_dir.file("People\\!Other"));
    CREATE(other.file);
    OPEN(other.file, AccessReadWrite | ShareDenyNone);
    LOCK(first->file, 0);
    ASSERT_EQ(ErrorCode(), 0);
    other.set(1, "Free");
    ADD(other.file);
    EXPECT_EQ(ErrorCode(), 0);
    LOCK(other.file, 0);
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(QvdLocksTest, ReadOnlyOpenSeesHoldsButHoldsNothingAndCannotLock) {
    People reader(m_name);
    OPEN(reader.file, AccessReadOnly | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    HOLD(reader.file);
    GET(reader.file, 2);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(reader.id(), 2);
    EXPECT_TRUE(record_is_free(2));
    LOCK(reader.file, 0);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
    // Its reads still see another station's hold.
    HOLD(first->file);
    GET(first->file, 3);
    GET(reader.file, 3);
    EXPECT_EQ(ErrorCode(), ErrRecordAlreadyHeld);
}

TEST_F(QvdLocksTest, ChildsHoldIsSeenHereAndVanishesWhenTheChildIsKilled) {
    const std::string name = m_name;
    Child child([&](Child::Channel& parent) {
        People p(name);
        OPEN(p.file, AccessReadWrite | ShareDenyNone);
        HOLD(p.file);
        GET(p.file, 2);
        if (ErrorCode() != 0)
            return 1;
        parent.signal();
        parent.await(); // killed long before this returns
        return 0;
    });
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.await());
    EXPECT_EQ(ids_read(*first), (Ids{1, 0, 3}));
    HOLD(first->file);
    GET(first->file, 2);
    EXPECT_EQ(ErrorCode(), ErrRecordAlreadyHeld);
    child.kill();
    HOLD(first->file);
    GET(first->file, 2);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(first->id(), 2);
}

TEST_F(QvdLocksTest, HoldWithSecondsGetsTheRecordWhenTheChildReleasesIt) {
    const std::string name = m_name;
    Child child([&](Child::Channel& parent) {
        People p(name);
        OPEN(p.file, AccessReadWrite | ShareDenyNone);
        HOLD(p.file);
        GET(p.file, 2);
        if (ErrorCode() != 0)
            return 1;
        parent.signal();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        RELEASE(p.file);
        parent.await();
        return 0;
    });
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.await());
    const Clock::time_point start = Clock::now();
    HOLD(first->file, 5);
    GET(first->file, 2);
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_LT(seconds_since(start), 4.0);
    child.tell();
    EXPECT_EQ(child.join(), 0);
}

TEST_F(QvdLocksTest, ChildsPutOfAWatchedRecordGivesRecordChanged) {
    WATCH(first->file);
    GET(first->file, 3);
    const std::string name = m_name;
    Child child([&](Child::Channel&) {
        People p(name);
        OPEN(p.file, AccessReadWrite | ShareDenyNone);
        GET(p.file, 3);
        p.set_name("Child");
        PUT(p.file);
        return ErrorCode() == 0 ? 0 : 1;
    });
    ASSERT_TRUE(child.started());
    ASSERT_EQ(child.join(), 0);
    first->set_name("Parent");
    PUT(first->file);
    EXPECT_EQ(ErrorCode(), ErrRecordChangedByAnotherStation);
    GET(second->file, 3);
    EXPECT_EQ(second->name(), "Child");
}

TEST_F(QvdLocksTest, ChildsLockTimesOutHereAndIsHadOnceTheChildUnlocks) {
    const std::string name = m_name;
    Child child([&](Child::Channel& parent) {
        People p(name);
        OPEN(p.file, AccessReadWrite | ShareDenyNone);
        LOCK(p.file, 0);
        if (ErrorCode() != 0)
            return 1;
        parent.signal();
        if (!parent.await())
            return 2;
        UNLOCK(p.file);
        parent.signal();
        parent.await();
        return 0;
    });
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.await());
    first->set(4, "Parent");
    ADD(first->file);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    const Clock::time_point start = Clock::now();
    LOCK(first->file, 1);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    EXPECT_GE(seconds_since(start), 0.9);
    EXPECT_LT(seconds_since(start), 5.0);
    child.tell();
    ASSERT_TRUE(child.await());
    LOCK(first->file, 1);
    EXPECT_EQ(ErrorCode(), 0);
    ADD(first->file);
    EXPECT_EQ(ErrorCode(), 0);
    child.tell();
    EXPECT_EQ(child.join(), 0);
}

TEST_F(QvdLocksTest, DeadChildsFileLockVanishes) {
    const std::string name = m_name;
    Child child([&](Child::Channel& parent) {
        People p(name);
        OPEN(p.file, AccessReadWrite | ShareDenyNone);
        LOCK(p.file, 0);
        parent.signal();
        parent.await();
        return 0;
    });
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.await());
    LOCK(first->file);
    EXPECT_EQ(ErrorCode(), ErrFileAlreadyLocked);
    child.kill();
    LOCK(first->file);
    EXPECT_EQ(ErrorCode(), 0);
}

} // namespace
} // namespace morvex::qvd

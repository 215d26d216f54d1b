// The hold counter and the test for positions held elsewhere built on it:
// the shared object's life and permissions, how few kernel tests a scan
// costs, and a stress run in which another process takes and releases
// holds while this one tests every position, with and without a counter
// of its own.
#include "files/qvd/hold_counter.h"
#include "files/qvd/qvd_store.h"
#include "tests/files/qvd/worker_processes.h"
#include "tests/support/temp_directory.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>

namespace morvex::qvd {
namespace {

// Forwards to a POSIX file and counts the kernel's lock tests; `identity`
// off makes it a FileIo that cannot share memory (an open without counter).
class CountingFileIo : public FileIo {
public:
    CountingFileIo(std::shared_ptr<FileIo> inner, bool identity)
        : m_inner(std::move(inner)), m_identity(identity) {}
    int64_t read_at(uint64_t offset, void* buffer, size_t length) override {
        return m_inner->read_at(offset, buffer, length);
    }
    int64_t write_at(uint64_t offset, const void* buffer, size_t length) override {
        return m_inner->write_at(offset, buffer, length);
    }
    int flush() override { return m_inner->flush(); }
    int64_t size() override { return m_inner->size(); }
    int truncate(uint64_t length) override { return m_inner->truncate(length); }
    int lock(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) override {
        return m_inner->lock(offset, length, kind, wait);
    }
    int unlock(uint64_t offset, uint64_t length) override { return m_inner->unlock(offset, length); }
    int test_lock(uint64_t offset, uint64_t length) override {
        ++tests;
        return m_inner->test_lock(offset, length);
    }
    int find_lock(uint64_t offset, uint64_t length, uint64_t& found, uint64_t& found_length) override {
        ++tests;
        return m_inner->find_lock(offset, length, found, found_length);
    }
    bool local_identity(FileIdentity& identity) override {
        return m_identity && m_inner->local_identity(identity);
    }

    int tests = 0;

private:
    std::shared_ptr<FileIo> m_inner;
    bool m_identity;
};

class HoldCounterTest : public ::testing::Test {
protected:
    void SetUp() override {
        int32_t error = 0;
        StoreOptions options;
        options.create_if_missing = true;
        ASSERT_NE(Store::Open(path, options, error), nullptr) << error;
    }

    std::unique_ptr<Store> open(bool identity = true, CountingFileIo** counting = nullptr) {
        auto io = std::make_shared<CountingFileIo>(
            OpenPosixFile(path, FileAccess::ReadWrite, FileCreation::OpenExisting), identity);
        if (counting)
            *counting = io.get();
        int32_t error = 0;
        return Store::OpenIo(io, StoreOptions{}, error);
    }

    FileIdentity identity() {
        FileIdentity id;
        EXPECT_TRUE(
            OpenPosixFile(path, FileAccess::ReadOnly, FileCreation::OpenExisting)->local_identity(id));
        return id;
    }

    static bool object_exists(const FileIdentity& id) {
        const int fd = shm_open(HoldCounter::NameFor(id).c_str(), O_RDONLY, 0);
        if (fd >= 0)
            close(fd);
        return fd >= 0;
    }

    testing::TempDirectory dir{"hold_counter"};
    std::string path = dir.file("people.qvd");
};

TEST_F(HoldCounterTest, OpensOfAFileShareOneCounterAndTheLastCloseRemovesIt) {
    const FileIdentity id = identity();
    auto a = HoldCounter::Open(id, CounterAccess::Raise);
    auto b = HoldCounter::Open(id, CounterAccess::Read);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->domain(), b->domain());
    const uint64_t before = b->value();
    a->raise();
    EXPECT_EQ(b->value(), before + 1);
    a.reset();
    EXPECT_TRUE(object_exists(id)) << "removed while another open still maps it";
    // A read-only user cannot take the byte exclusively, so it leaves the
    // object to the next user that can; one that can removes it.
    b.reset();
    auto c = HoldCounter::Open(id, CounterAccess::Raise);
    ASSERT_TRUE(c);
    c.reset();
    EXPECT_FALSE(object_exists(id));
}

TEST_F(HoldCounterTest, CounterTakesTheFilesPermissionsAndRefusesAnObjectOthersMayWrite) {
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const FileIdentity id = identity();
    {
        auto counter = HoldCounter::Open(id, CounterAccess::Raise);
        ASSERT_TRUE(counter);
        const int fd = shm_open(HoldCounter::NameFor(id).c_str(), O_RDONLY, 0);
        ASSERT_GE(fd, 0);
        struct stat st {};
        ASSERT_EQ(fstat(fd, &st), 0);
        close(fd);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
    }
    // An object anyone may write (made by someone else for the same name) is
    // not used: its counter could be held still.
    const int fd = shm_open(HoldCounter::NameFor(id).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchmod(fd, 0666), 0);
    close(fd);
    EXPECT_EQ(HoldCounter::Open(id, CounterAccess::Read), nullptr);
    shm_unlink(HoldCounter::NameFor(id).c_str());
}

// A test for each position costs the kernel a few questions per renewal of
// the answer, not one per position; a hold raised meanwhile is seen, and a
// hold ended without moving the counter is not reported.
TEST_F(HoldCounterTest, ScanAsksTheKernelOncePerCounterMoveAndSeesEveryHold) {
    CountingFileIo* counting = nullptr;
    auto reader = open(true, &counting);
    auto holder = open();
    ASSERT_TRUE(reader && holder);
    const auto scan = [&](uint32_t held) {
        for (uint32_t p = 1; p <= 1000; ++p)
            EXPECT_EQ(reader->IsLockedElsewhere(p), p == held) << p;
    };
    scan(0);
    EXPECT_LT(counting->tests, 100);
    ASSERT_TRUE(holder->Lock(500, LockMode::Writer, false));
    counting->tests = 0;
    scan(500);
    EXPECT_LT(counting->tests, 100);
    holder->Unlock(500, LockMode::Writer);
    scan(0);
    holder.reset(); // a closed holder leaves its counter moved: harmless
    scan(0);
}

// Inside one access (a page read's tests) the answer checked at its first
// test stands; the next access looks at the counter again and sees a hold
// taken in between.
TEST_F(HoldCounterTest, EachAccessLooksAtTheCounterAgain) {
    auto reader = open();
    auto holder = open();
    ASSERT_TRUE(reader && holder);
    for (uint8_t k = 1; k <= 3; ++k)
        holder->Put(Bytes{'k', k}, Bytes{k});
    ASSERT_EQ(holder->Commit(), 0);
    const auto held_during_scan = [&] {
        int held = 0;
        int seen = 0;
        reader->ScanFollow(Bytes{'k'}, SeekMode::AtOrAfter, Bytes{'k'}, nullptr, 10,
                           [&](const FollowedEntry&) {
                               held += reader->IsLockedElsewhere(7);
                               ++seen;
                               return true;
                           });
        EXPECT_EQ(seen, 3);
        return held;
    };
    EXPECT_EQ(held_during_scan(), 0);
    ASSERT_TRUE(holder->Lock(7, LockMode::Writer, false));
    EXPECT_EQ(held_during_scan(), 3);
    holder->Unlock(7, LockMode::Writer);
    EXPECT_EQ(held_during_scan(), 0);
}

// What a holder process publishes about each position: 4k free, 4k+1 about
// to lock, 4k+2 held, 4k+3 about to unlock.
constexpr uint32_t Positions = 512;
struct HoldStates {
    uint32_t state[Positions + 1];
    uint32_t stop;
};

class HoldStressTest : public HoldCounterTest, public ::testing::WithParamInterface<bool> {};

// A holder in another process takes and releases holds on random positions,
// up to eight at once, while this one tests every position in turn: each
// position held throughout a test is reported held, each free throughout is
// reported free. The holder shares the counter, or has none (its file system
// gives none): then it announces itself and waits before its first hold.
TEST_P(HoldStressTest, EveryPositionHeldDuringATestIsReportedHeld) {
    const bool holder_has_counter = GetParam();
    void* shared =
        mmap(nullptr, sizeof(HoldStates), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* states = new (shared) HoldStates{};
    auto state = [&](uint32_t p) { return std::atomic_ref<uint32_t>(states->state[p]); };
    auto reader = open();
    ASSERT_TRUE(reader);
    reader->IsLockedElsewhere(1); // an answer given before the holder opens

    Workers workers;
    ASSERT_TRUE(workers.start([&] {
        Report report{};
        auto holder = open(holder_has_counter);
        if (!holder) {
            fail(report, "holder cannot open");
            return report;
        }
        std::mt19937 random(7);
        std::vector<uint32_t> held;
        while (std::atomic_ref<uint32_t>(states->stop).load() == 0) {
            if (held.size() < 8 && random() % 2 == 0) {
                const uint32_t p = 1 + random() % Positions;
                if (state(p).load() % 4 != 0)
                    continue;
                state(p).fetch_add(1);
                if (!holder->Lock(p, LockMode::Writer, false)) {
                    fail(report, "position %u not had", p);
                    break;
                }
                state(p).fetch_add(1);
                held.push_back(p);
                ++report.tally[0];
            } else if (!held.empty()) {
                const size_t i = random() % held.size();
                const uint32_t p = held[i];
                held.erase(held.begin() + static_cast<ptrdiff_t>(i));
                state(p).fetch_add(1);
                holder->Unlock(p, LockMode::Writer);
                state(p).fetch_add(1);
            }
            if (random() % 16 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
        }
        return report;
    }));

    int64_t held_seen = 0, misses = 0, false_holds = 0;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(1500);
    while (Clock::now() < end) {
        for (uint32_t p = 1; p <= Positions; ++p) {
            const uint32_t before = state(p).load();
            const bool held = reader->IsLockedElsewhere(p);
            const uint32_t after = state(p).load();
            if (before != after)
                continue;
            misses += before % 4 == 2 && !held;
            false_holds += before % 4 == 0 && held;
            held_seen += before % 4 == 2 && held;
        }
    }
    std::atomic_ref<uint32_t>(states->stop).store(1);
    const std::vector<Report> reports = workers.collect(Clock::now() + HangMargin);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(failed(reports[0])) << reports[0].failure;
    EXPECT_EQ(misses, 0);
    EXPECT_EQ(false_holds, 0);
    EXPECT_GT(held_seen, 100) << "the holder took " << reports[0].tally[0] << " holds";
    munmap(shared, sizeof(HoldStates));
}

INSTANTIATE_TEST_SUITE_P(Holders, HoldStressTest, ::testing::Bool(), [](const auto& info) {
    return info.param ? "SharingTheCounter" : "WithoutCounter";
});

} // namespace
} // namespace morvex::qvd

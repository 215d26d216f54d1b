// Damaged files and failing systems under the QVD driver and container: the
// integrity check finds every single-bit flip that changes what a file reads
// back; a failure inside a transaction commits nothing of it; a writer
// refuses a header that contradicts itself; only regular files open; a
// failed flush stays failed; a reader slot the system refuses is never taken
// for held; a created file is made durable in its directory.
#include "files/file_statements.h"
#include "files/qvd/file_header.h"
#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_check.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_store.h"
#include "files/record_layout.h"
#include "platform/os_error.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tests/files/qvd/recording_file_io.h"
#include "tests/support/crash_file_io.h"
#include "tests/support/temp_directory.h"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {
// fsync of this test binary, counting the directories synced; a test may make
// the next directory's fail.
int g_directory_syncs = 0;
bool g_fail_directory_sync = false;
} // namespace

extern "C" int fsync(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        ++g_directory_syncs;
        if (std::exchange(g_fail_directory_sync, false)) {
            errno = EIO;
            return -1;
        }
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace morvex::qvd {
namespace {

// Every byte of a record lies in a key that compares it exactly (no NOCASE,
// no CSTRING, whose bytes after the terminator no key reads): the format
// carries no checksum, so a flipped byte that no key reads exactly changes a
// record without anything to tell.
constexpr std::string_view ExactLayout = "file T 20\n"
                                         "field T:ID LONG\n"
                                         "field T:NAME STRING(12)\n"
                                         "field T:DAY DATE\n"
                                         "key T:BYID PRIMARY : T:ID\n"
                                         "key T:BYNAME DUP OPT : T:NAME\n"
                                         "key T:BYDAY DUP : T:DAY -T:ID\n";

class Table {
public:
    Table(const std::string& name, std::string_view layout = ExactLayout)
        : m_layout(ParseRecordLayout(layout).layout), file(m_layout.file_spec(QvdDriver)) {
        file.options.name = name;
    }
    void set(int32_t id, std::string_view name, uint32_t day) {
        file.clear_record();
        std::memcpy(file.buffer(), &id, 4);
        std::memcpy(file.buffer() + 4, name.data(), std::min<size_t>(name.size(), 12));
        std::memcpy(file.buffer() + 16, &day, 4);
    }
    // The records in record order and in each key's order; a failed read ends a list with an empty record.
    std::vector<std::vector<Bytes>> read_back() {
        std::vector<std::vector<Bytes>> orders;
        OPEN(file, AccessReadOnly | ShareDenyNone);
        const bool opened = ErrorCode() == 0;
        for (int order = 0; order <= static_cast<int>(file.keys.size()); ++order) {
            orders.emplace_back();
            if (!opened) {
                orders.back().push_back(Bytes{});
                continue;
            }
            order == 0 ? SET(file) : SET(*file.key(order));
            for (NEXT(file); ErrorCode() == 0; NEXT(file))
                orders.back().emplace_back(file.buffer(), file.buffer() + file.record_length);
            if (ErrorCode() != ErrRecordNotAvailable)
                orders.back().push_back(Bytes{});
        }
        CLOSE(file);
        return orders;
    }

private:
    RecordLayout m_layout;

public:
    FileDeclaration file;
};

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class QvdFaultsTest : public ::testing::Test {
protected:
    void SetUp() override { ClearError(); }

    // A file of `count` records, each added by a statement of its own (so
    // that dead chain copies lie beyond the used end, as in any used file).
    std::string make_file(int count, std::string_view base = "T") {
        const std::string path = m_dir.file(std::string(base) + ".QVD");
        Table t(path);
        CREATE(t.file);
        OPEN(t.file, AccessReadWrite | ShareDenyNone);
        for (int i = 1; i <= count; ++i) {
            t.set(i * 7, i % 4 == 0 ? "" : "name " + std::to_string(i % 6), 73000 + i % 3);
            ADD(t.file);
            EXPECT_EQ(ErrorCode(), 0) << ErrorText();
        }
        CLOSE(t.file);
        return path;
    }

    testing::TempDirectory m_dir{"qvd_faults_test"};
};

// The home and length of every page of the tree in a sound file image.
std::vector<std::pair<uint32_t, size_t>> TreePages(const Bytes& image) {
    FileHeader header;
    if (!FileHeader::Parse(image, header))
        return {};
    std::vector<std::pair<uint32_t, size_t>> pages;
    std::vector<uint32_t> homes{header.root};
    while (!homes.empty()) {
        const uint32_t home = homes.back();
        homes.pop_back();
        if (home == 0)
            continue;
        const size_t length = UnitSize * header.ClassOfUnit((home - FileHeaderSize) / UnitSize);
        pages.emplace_back(home, length);
        Node node;
        if (DecodePage(ByteView(image).subspan(home, length), length, node) == 0)
            homes.insert(homes.end(), node.children.begin(), node.children.end());
    }
    return pages;
}

CheckReport CheckImage(const Bytes& image, const FileDeclaration& file) {
    CorruptionAsReturn as_return;
    CheckReport report;
    StoreOptions options;
    options.mode = OpenMode::ReadOnly;
    options.io = std::make_shared<CrashFileIo>(image);
    OpenFailure failure;
    std::unique_ptr<Store> store = Store::Open("", options, failure);
    if (!store)
        report.add("file", 0, failure.reason);
    else
        CheckQvdFile(*store, &file, DefaultTableName, report);
    TakeReturnedCorruption();
    return report;
}

// Every single-bit flip anywhere in a small file either is reported by the
// check or leaves every record, in record order and in every key's order,
// reading back exactly as before.
TEST_F(QvdFaultsTest, EveryBitFlipIsFoundByCheckOrChangesNothingRead) {
    const std::string path = make_file(10);
    Table t(path);
    const std::vector<std::vector<Bytes>> before = t.read_back();
    ASSERT_EQ(before[0].size(), 10u);
    const Bytes good = ReadAll(path);
    ASSERT_TRUE(CheckImage(good, t.file).ok());
    // The header and the tree's pages. Elsewhere (free slots, the dead copies
    // of the last commit's chain) nothing is read unless the header or a page
    // names it, which the flips here cover; a run over every byte of the file
    // found the same, at ten times the cost.
    std::vector<size_t> offsets(FileHeaderSize);
    std::iota(offsets.begin(), offsets.end(), 0);
    for (const auto& [home, length] : TreePages(good))
        for (size_t i = 0; i < length; ++i)
            offsets.push_back(home + i);
    ASSERT_GT(offsets.size(), FileHeaderSize);
    size_t found = 0;
    size_t harmless = 0;
    for (const size_t offset : offsets) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes flipped = good;
            flipped[offset] ^= static_cast<uint8_t>(1 << bit);
            if (!CheckImage(flipped, t.file).ok()) {
                ++found;
                continue;
            }
            WriteAll(path, flipped);
            CorruptionAsReturn as_return;
            ASSERT_EQ(t.read_back(), before) << "offset " << offset << " bit " << bit << " passed the check";
            TakeReturnedCorruption();
            ++harmless;
        }
    }
    std::printf("%zu flips found by the check, %zu harmless\n", found, harmless);
}

// A file's last record number at the end of the numbers: the ADD that needs
// one more fails as a damaged file, and nothing of its transaction reaches
// the file, also the rows before it.
struct ExhaustedCase {
    const char* label;
    uint8_t last_byte; // of the last record number FD FF FF xx
    bool transaction;
    int adds_before; // ADDs that succeed before the one that fails
};

class ExhaustedNumbersTest : public QvdFaultsTest, public ::testing::WithParamInterface<ExhaustedCase> {};

TEST_P(ExhaustedNumbersTest, TheFileStaysExactlyAsItWas) {
    const ExhaustedCase& c = GetParam();
    const std::string path = make_file(2);
    Bytes image = ReadAll(path);
    image[20] = 0xFD, image[21] = 0xFF, image[22] = 0xFF, image[23] = c.last_byte;
    WriteAll(path, image);
    CorruptionAsReturn as_return;
    Table t(path);
    OPEN(t.file, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    if (c.transaction)
        LOGOUT(t.file);
    for (int i = 0; i < c.adds_before; ++i) {
        t.set(100 + i, "new", 73001);
        ADD(t.file);
        ASSERT_EQ(ErrorCode(), 0) << ErrorText();
    }
    t.set(200, "newer", 73002);
    ADD(t.file);
    EXPECT_EQ(ErrorCode(), ErrInvalidDataFile);
    EXPECT_NE(std::string(ErrorExtraText()).find("(1173)"), std::string::npos) << ErrorExtraText();
    if (c.transaction) {
        COMMIT(t.file);
        EXPECT_NE(ErrorCode(), 0) << "a transaction in which a statement met damage commits nothing";
    }
    CLOSE(t.file);
    EXPECT_EQ(ReadAll(path), image);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExhaustedNumbersTest,
                         ::testing::Values(ExhaustedCase{"alone", 0xFF, false, 0},
                                           ExhaustedCase{"first_of_a_transaction", 0xFF, true, 0},
                                           ExhaustedCase{"after_a_row_that_fit", 0xFE, true, 1}),
                         [](const auto& info) { return std::string(info.param.label); });

// A writer refuses a header whose fields contradict each other or the file:
// nothing is written, the open fails as a damaged file (1505), and the check
// names the field.
struct HeaderCase {
    const char* label;
    void (*damage)(FileHeader& header);
    const char* problem;
};

class DamagedHeaderTest : public QvdFaultsTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(DamagedHeaderTest, AWriterRefusesItAndTheCheckNamesIt) {
    const std::string path = make_file(3);
    Bytes image = ReadAll(path);
    FileHeader header;
    ASSERT_TRUE(FileHeader::Parse(image, header));
    GetParam().damage(header);
    const Bytes damaged_header = header.Serialize();
    std::copy(damaged_header.begin(), damaged_header.end(), image.begin());
    WriteAll(path, image);

    CorruptionAsReturn as_return;
    OpenFailure failure;
    EXPECT_FALSE(Store::Open(path, StoreOptions{}, failure));
    EXPECT_EQ(failure.error, ErrInvalidDataFile);
    EXPECT_NE(failure.reason.find("Possible data corruption in file (1505)"), std::string::npos)
        << failure.reason;
    Table t(path);
    OPEN(t.file, AccessReadWrite | ShareDenyWrite);
    EXPECT_EQ(ErrorCode(), ErrInvalidDataFile);
    EXPECT_NE(std::string(ErrorExtraText()).find("(1505)"), std::string::npos) << ErrorExtraText();
    EXPECT_EQ(ReadAll(path), image) << "nothing written";

    const CheckReport report = CheckImage(image, t.file);
    ASSERT_FALSE(report.ok());
    EXPECT_NE(CheckProblemText(report.first().front()).find(GetParam().problem), std::string::npos)
        << CheckProblemText(report.first().front());
    TakeReturnedCorruption();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedHeaderTest,
    ::testing::Values(
        HeaderCase{"zone_starts_past_its_end", [](FileHeader& h) { h.zone_start[20] = h.zone_end[20] + 40; },
                   "zone 20: starts after its end"},
        HeaderCase{"zone_not_whole_pages", [](FileHeader& h) { h.zone_end[59] = h.zone_start[59] + 7; },
                   "zone 59: not a whole number of pages"},
        HeaderCase{"zones_overlap",
                   [](FileHeader& h) {
                       int highest = 1;
                       for (int c = 1; c <= MaxSizeClass; ++c)
                           highest = h.zone_start[c] != h.zone_end[c] ? c : highest;
                       h.zone_start[59] = h.zone_start[highest];
                       h.zone_end[59] = h.zone_start[highest] + 59;
                   },
                   "zone 59: overlaps the zone of a lower class"},
        HeaderCase{"root_in_no_zone", [](FileHeader& h) { h.root = 0x7FFFFF00; }, "is no page of a zone"},
        HeaderCase{"chain_ends_before_it_starts", [](FileHeader& h) { h.chain_end = h.chain_start - 256; },
                   "the pending chain runs from"},
        HeaderCase{"used_end_past_the_file",
                   [](FileHeader& h) {
                       h.zone_start[59] = h.zone_end[58] + 59 * 40;
                       h.zone_end[59] = h.zone_start[59] + 59;
                   },
                   "before its used end"}),
    [](const auto& info) { return std::string(info.param.label); });

// A FIFO, a directory or a device in a QVD file's place is refused at once
// (a FIFO used to hold the open up until a writer came).
TEST_F(QvdFaultsTest, OnlyARegularFileOpens) {
    const std::string fifo = m_dir.file("F.QVD");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string directory = m_dir.file("D.QVD");
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    for (const auto& [path, reason] :
         {std::pair{fifo, "not a regular file"}, std::pair{directory, "a directory, not a QVD file"},
          std::pair{std::string("/dev/null"), "not a regular file"}}) {
        for (const OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite}) {
            StoreOptions options;
            options.mode = mode;
            OpenFailure failure;
            EXPECT_FALSE(Store::Open(path, options, failure)) << path;
            EXPECT_EQ(failure.error, ErrInvalidDataFile) << path;
            EXPECT_EQ(failure.reason, reason) << path;
        }
    }
}

// A file another open holds is "in use by another program", not a
// permission problem: the 5 says so in its detail.
TEST_F(QvdFaultsTest, AFileHeldByAnotherOpenIsReportedInUse) {
    const std::string path = make_file(1);
    Table holder(path);
    Table second(path);
    OPEN(holder.file, AccessReadWrite | ShareDenyWrite);
    ASSERT_EQ(ErrorCode(), 0);
    OPEN(second.file, AccessReadWrite | ShareDenyWrite);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
    EXPECT_EQ(ErrorExtraText(), FileInUse);
    OPEN(second.file, AccessReadOnly | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    CLOSE(holder.file);
    OPEN(holder.file, AccessReadWrite | ShareDenyNone);
    LOGOUT(holder.file);
    ASSERT_EQ(ErrorCode(), 0);
    Table third(path);
    OPEN(third.file, AccessReadWrite | ShareDenyNone);
    LOGOUT(third.file, 0);
    EXPECT_EQ(ErrorCode(), ErrAccessDenied);
    EXPECT_EQ(ErrorExtraText(), FileInUse);
    ROLLBACK(holder.file);
    ClearError();
}

// A flush that failed once fails for the rest of the open, as a failed write
// does: a later flush cannot report the data safe.
TEST_F(QvdFaultsTest, AFailedFlushStaysFailed) {
    auto io = std::make_shared<CrashFileIo>();
    StoreOptions options;
    options.io = io;
    int32_t error = 0;
    std::unique_ptr<Store> store = Store::Open("", options, error);
    ASSERT_TRUE(store);
    store->Put(Bytes{1}, Bytes{2});
    ASSERT_EQ(store->Commit(), 0);
    io->fail_call(IoCall::Flush, 1, EIO);
    const int32_t failed = store->Flush();
    EXPECT_NE(failed, 0);
    EXPECT_EQ(store->Flush(), failed) << "the second flush found nothing to write and passed";
    store->Put(Bytes{3}, Bytes{4});
    EXPECT_EQ(store->Commit(), failed);
}

// Refuses reader slots: every one, or the next `refuse` of them.
class SlotRefusingIo : public RecordingFileIo {
public:
    using RecordingFileIo::RecordingFileIo;
    int lock(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) override {
        if (length == 1 && offset >= ReaderSlotsStart && offset < ReaderSlotsStart + 1023 && refuse > 0) {
            --refuse;
            errno = ENOLCK;
            return -1;
        }
        return RecordingFileIo::lock(offset, length, kind, wait);
    }
    size_t refuse = 0;
};

// An access whose reader slot the system refuses fails instead of reading
// unprotected; a slot it had that the system does not give back after a
// commit's hold of every slot is not taken for held.
TEST_F(QvdFaultsTest, AReaderSlotTheSystemRefusesIsNeverTakenForHeld) {
    const std::string path = m_dir.file("S.QVD");
    {
        StoreOptions options;
        options.create_if_missing = true;
        int32_t error = 0;
        auto store = Store::Open(path, options, error);
        ASSERT_TRUE(store);
        store->Put(Bytes{1}, Bytes{2});
        ASSERT_EQ(store->Commit(), 0);
    }
    auto io = std::make_shared<SlotRefusingIo>(
        OpenPosixFile(path, FileAccess::ReadWrite, FileCreation::OpenExisting));
    StoreOptions options;
    options.io = io;
    int32_t error = 0;
    auto store = Store::Open(path, options, error);
    ASSERT_TRUE(store);
    auto other = Store::Open(path, StoreOptions{}, error);
    ASSERT_TRUE(other);
    other->Put(Bytes{1}, Bytes{3}); // the counter moves: the next access needs the disk
    ASSERT_EQ(other->Commit(), 0);

    io->refuse = 2000;
    EXPECT_EQ(store->Get(Bytes{1}), std::nullopt);
    EXPECT_NE(store->TakeFailure(), 0);
    io->refuse = 0;
    EXPECT_EQ(store->Get(Bytes{1}), Bytes{3});

    // A slot held through the lock area, then every slot, then every slot
    // given back while the system refuses the one slot again.
    ASSERT_TRUE(store->Lock(0, LockMode::Reader, true));
    ASSERT_TRUE(store->Lock(0, LockMode::AllReaders, true));
    io->refuse = 1;
    store->Unlock(0, LockMode::AllReaders);
    other->Put(Bytes{1}, Bytes{4});
    ASSERT_EQ(other->Commit(), 0);
    const size_t slots = io->reader_locks;
    EXPECT_EQ(store->Get(Bytes{1}), Bytes{4});
    EXPECT_GT(io->reader_locks, slots) << "the access took a slot of its own";
}

// A file the engine creates is made durable in its directory; when that
// fails the open fails and leaves no file behind.
TEST_F(QvdFaultsTest, ACreatedFileIsSyncedIntoItsDirectory) {
    StoreOptions options;
    options.create_if_missing = true;
    const int before = g_directory_syncs;
    int32_t error = 0;
    EXPECT_TRUE(Store::Open(m_dir.file("New.QVD"), options, error));
    EXPECT_EQ(g_directory_syncs, before + 1);
    EXPECT_TRUE(Store::Open(m_dir.file("New.QVD"), options, error));
    EXPECT_EQ(g_directory_syncs, before + 1) << "an existing file is not created again";

    g_fail_directory_sync = true;
    OpenFailure failure;
    EXPECT_FALSE(Store::Open(m_dir.file("Lost.QVD"), options, failure));
    EXPECT_EQ(failure.error, OsErrorNumber(platform::OsGeneralFailure)) << failure.reason; // EIO
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("Lost.QVD")));
    // The new file appeared with its header (a creator killed during its first
    // commit leaves a file that opens), and nothing else is left beside it.
    EXPECT_GE(std::filesystem::file_size(m_dir.file("New.QVD")), 512u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 1);
}

} // namespace
} // namespace morvex::qvd

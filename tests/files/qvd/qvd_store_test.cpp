// The QVD container against its contract: the file a commit leaves, the change
// counter and the page cache, two opens sharing a file, invalid files, crashes
// at every write of a commit, encryption, tables and record numbers, and a
// randomized comparison with an in-memory map.
#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_store.h"
#include "platform/os_error.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"
#include "tests/files/qvd/recording_file_io.h"
#include "tests/support/child_process.h"
#include "tests/support/crash_file_io.h"
#include "tests/support/temp_directory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <thread>
#include <unistd.h>

namespace morvex::qvd {
namespace {

namespace fs = std::filesystem;
using Model = std::map<Bytes, Bytes>;

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class QvdStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<Store> OpenStore(StoreOptions options = {}) {
        options.create_if_missing = true;
        int32_t error = -1;
        auto store = Store::Open(m_path.string(), options, error);
        EXPECT_TRUE(store) << "error " << error;
        return store;
    }

    std::shared_ptr<RecordingFileIo> RecordingIo() {
        return std::make_shared<RecordingFileIo>(
            OpenPosixFile(m_path.string(), FileAccess::ReadWrite, FileCreation::CreateIfMissing));
    }

    // Runs `work` on a store over the file's bytes in a process that dies at
    // the k-th disk change after the open (from 1: the changes up to and
    // including the k-th reach the file, none after), and leaves the file as
    // that process left it. Whether the process died before `work` was done.
    bool DieAtChange(size_t k, const std::function<void(Store&)>& work) {
        auto io = std::make_shared<CrashFileIo>(ReadFileBytes(m_path));
        {
            CorruptionAsReturn as_return; // what the dying process reads after its end does not matter
            int32_t error = 0;
            auto store = Store::OpenIo(io, StoreOptions{}, error);
            EXPECT_TRUE(store) << "error " << error;
            if (!store)
                return false;
            io->crash_at_change(io->changes() + k);
            work(*store);
        }
        WriteFileBytes(m_path, io->survivor({UnflushedFate::Kept}).bytes);
        return io->crashed();
    }

    // A store whose flushes return at once: for tests of contents, not durability.
    std::unique_ptr<Store> OpenFastStore(StoreOptions options = {}) {
        auto io = RecordingIo();
        io->skip_flush = true;
        options.io = io;
        return OpenStore(options);
    }

    static Model Contents(Store& store) {
        Model model;
        std::optional<Entry> e = store.Seek(Bytes{}, SeekMode::AtOrAfter, Bytes{});
        while (e) {
            model[e->key] = e->data;
            e = store.Seek(e->key, SeekMode::After, Bytes{});
        }
        return model;
    }

    testing::TempDirectory m_dir{"qvd_store"};
    fs::path m_path = m_dir.file("data.qvd");
};

TEST_F(QvdStoreTest, NewFileHoldsOnlyItsHeaderAfterTheFirstCommit) {
    auto store = OpenStore();
    ASSERT_EQ(store->Commit(), 0);
    EXPECT_LE(fs::file_size(m_path), 1024u) << "the header and the dead copy of it in the chain";
    const StoreInfo info = store->Info();
    EXPECT_TRUE(info.zones.empty());
    EXPECT_EQ(info.used_end, 512u);
    EXPECT_EQ(info.chain_start, 512u);
    EXPECT_EQ(info.chain_end, 512u);
    const Bytes header = ReadFileBytes(m_path);
    EXPECT_EQ(Bytes(header.begin() + 14, header.begin() + 18), B("qUoR"));
    EXPECT_EQ(header[4] | header[5] << 8, 512);
}

TEST_F(QvdStoreTest, EveryCommitRaisesTheCounterOnDiskByTwo) {
    auto store = OpenStore();
    ASSERT_EQ(store->Commit(), 0);
    uint32_t before = store->Info().change_counter;
    for (int i = 0; i < 3; ++i) {
        store->Put(B("key" + std::to_string(i)), B("value"));
        ASSERT_EQ(store->Commit(), 0);
        const Bytes header = ReadFileBytes(m_path);
        const uint32_t on_disk = header[24] | header[25] << 8 | header[26] << 16 | uint32_t(header[27]) << 24;
        EXPECT_EQ(on_disk, before + 2);
        before = on_disk;
    }
}

TEST_F(QvdStoreTest, EqualCounterKeepsCachedPagesAndAHigherOneDropsThem) {
    {
        auto writer = OpenStore();
        for (int i = 0; i < 200; ++i)
            writer->Put(B("k" + std::to_string(1000 + i)), Bytes(50, static_cast<uint8_t>(i)));
        ASSERT_EQ(writer->Commit(), 0);
    }
    auto io = RecordingIo();
    StoreOptions options;
    options.io = io;
    auto reader = OpenStore(options);
    ASSERT_TRUE(reader->Get(B("k1100")));
    const size_t first = io->reads;
    ASSERT_TRUE(reader->Get(B("k1100")));
    EXPECT_EQ(io->reads - first, 1u) << "only the header is read while the counter is unchanged";

    auto other = OpenStore();
    other->Put(B("k1100"), B("changed"));
    ASSERT_EQ(other->Commit(), 0);
    const size_t before = io->reads;
    EXPECT_EQ(reader->Get(B("k1100")), B("changed"));
    EXPECT_GT(io->reads - before, 1u) << "the pages are read again after another commit";
}

TEST_F(QvdStoreTest, MappedHeaderSparesTheHeaderReadAndStillShowsAnotherCommit) {
    for (const std::string owner : {"", "Mirjam"}) {
        SCOPED_TRACE("owner '" + owner + "'");
        fs::remove(m_path);
        StoreOptions plain;
        plain.encryption_owner = owner;
        {
            auto writer = OpenStore(plain);
            for (int i = 0; i < 200; ++i)
                writer->Put(B("k" + std::to_string(1000 + i)), Bytes(50, static_cast<uint8_t>(i)));
            ASSERT_EQ(writer->Commit(), 0);
        }
        auto io = RecordingIo();
        io->forward_mapping = true;
        StoreOptions options = plain;
        options.io = io;
        auto reader = OpenStore(options);
        ASSERT_TRUE(reader->Get(B("k1100")));
        const size_t first = io->reads;
        ASSERT_TRUE(reader->Get(B("k1100")));
        ASSERT_TRUE(reader->Seek(B("k1100"), SeekMode::AtOrAfter, B("k")));
        EXPECT_EQ(io->reads, first) << "an unchanged counter is seen in the mapping";

        for (int round = 0; round < 3; ++round) {
            auto other = OpenStore(plain);
            other->Put(B("k1100"), B("changed " + std::to_string(round)));
            ASSERT_EQ(other->Commit(), 0);
            const size_t before = io->reads;
            EXPECT_EQ(reader->Get(B("k1100")), B("changed " + std::to_string(round)));
            EXPECT_GT(io->reads, before) << "another commit is seen and the pages read again";
        }
    }
}

TEST_F(QvdStoreTest, SeekFollowReadsTheReferredEntryAsSeekAndGetWould) {
    // Index entries "i<name>" whose data names a record entry "r<n>".
    auto store = OpenStore();
    std::mt19937 random(7);
    for (int n = 0; n < 400; ++n) {
        const std::string record = "r" + std::to_string(n);
        store->Put(B("i" + std::to_string(random() % 100000) + "." + std::to_string(n)), B(record));
        if (n % 17 != 0) // some refer to a record that is not there
            store->Put(B(record), Bytes(n % 90, static_cast<uint8_t>(n)));
    }
    const FollowKey follow = [](const EntryView& found, Bytes& key) {
        if (found.data.empty() || found.data[0] != 'r')
            return false;
        key.assign(found.data.begin(), found.data.end());
        return true;
    };
    auto walk_matches = [&](SeekMode mode) {
        const bool forward = mode == SeekMode::After;
        Bytes position = forward ? B("i") : B("j");
        size_t seen = 0;
        for (;;) {
            const std::optional<Entry> expected = store->Seek(position, mode, B("i"));
            const std::optional<FollowedEntry> got = store->SeekFollow(position, mode, B("i"), false, follow);
            EXPECT_EQ(expected.has_value(), got.has_value());
            if (!expected || !got)
                break;
            const Bytes key(got->entry.key.begin(), got->entry.key.end());
            EXPECT_EQ(key, expected->key);
            EXPECT_EQ(Bytes(got->entry.data.begin(), got->entry.data.end()), expected->data);
            const std::optional<Bytes> record = store->Get(expected->data);
            // Get may have moved nothing SeekFollow answered: ask again.
            const std::optional<FollowedEntry> again =
                store->SeekFollow(position, mode, B("i"), false, follow);
            if (!again || again->followed.has_value() != record.has_value()) {
                ADD_FAILURE() << "followed entry differs from Get at " << std::string(key.begin(), key.end());
                break;
            }
            if (record) {
                EXPECT_EQ(Bytes(again->followed->begin(), again->followed->end()), *record);
            }
            position = key;
            ++seen;
        }
        return seen;
    };
    for (const bool committed : {false, true}) {
        SCOPED_TRACE(committed ? "committed" : "staged");
        EXPECT_EQ(walk_matches(SeekMode::After), 400u);
        EXPECT_EQ(walk_matches(SeekMode::Before), 400u);
        // Exact: the key's own entry or nothing, never a longer key it starts.
        const std::optional<Entry> some = store->Seek(B("i5"), SeekMode::AtOrAfter, B("i"));
        ASSERT_TRUE(some);
        const std::optional<FollowedEntry> exact =
            store->SeekFollow(some->key, SeekMode::AtOrAfter, some->key, true, follow);
        ASSERT_TRUE(exact);
        EXPECT_EQ(Bytes(exact->entry.data.begin(), exact->entry.data.end()), some->data);
        const Bytes shorter(some->key.begin(), some->key.end() - 1);
        EXPECT_FALSE(store->SeekFollow(shorter, SeekMode::AtOrAfter, shorter, true, follow));
        EXPECT_FALSE(store->SeekFollow(B("r17"), SeekMode::AtOrAfter, B("r17"), true, nullptr))
            << "never stored";
        if (!committed) {
            ASSERT_EQ(store->Commit(), 0);
        }
    }
    // Staged over committed: a changed record and an erased one.
    store->Put(B("r1"), B("new"));
    ASSERT_TRUE(store->Erase(B("r2")));
    auto entry_for = [&](std::string_view record) {
        for (std::optional<Entry> e = store->Seek(B("i"), SeekMode::AtOrAfter, B("i")); e;
             e = store->Seek(e->key, SeekMode::After, B("i"))) {
            if (e->data == B(record))
                return e->key;
        }
        return Bytes();
    };
    const Bytes for_r1 = entry_for("r1");
    const std::optional<FollowedEntry> changed =
        store->SeekFollow(for_r1, SeekMode::AtOrAfter, for_r1, true, follow);
    ASSERT_TRUE(changed && changed->followed);
    EXPECT_EQ(Bytes(changed->followed->begin(), changed->followed->end()), B("new"));
    const Bytes for_r2 = entry_for("r2");
    const std::optional<FollowedEntry> erased =
        store->SeekFollow(for_r2, SeekMode::AtOrAfter, for_r2, true, follow);
    ASSERT_TRUE(erased);
    EXPECT_FALSE(erased->followed);
}

// A scan steps its cursor in place from the entry it showed last; reads the
// visit makes in between (which move that cursor) must not make it skip or
// repeat an entry, in either direction, across accesses cut by the limit.
TEST_F(QvdStoreTest, ScanFollowShowsEveryEntryOnceWhateverTheVisitReads) {
    auto store = OpenFastStore();
    Model model;
    for (int n = 0; n < 3000; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "k%05d", n * 3);
        model[B(key)] = B("r" + std::to_string(n % 50));
        store->Put(B(key), model[B(key)]);
        store->Put(B("r" + std::to_string(n % 50)), B(std::to_string(n)));
    }
    ASSERT_EQ(store->Commit(), 0);
    const FollowKey follow = [](const EntryView& found, Bytes& key) {
        key.assign(found.data.begin(), found.data.end());
        return true;
    };
    for (const bool forward : {true, false}) {
        for (const size_t limit : {size_t{100000}, size_t{97}}) {
            std::vector<Bytes> shown;
            Bytes from = forward ? B("k") : B("l");
            SeekMode mode = forward ? SeekMode::AtOrAfter : SeekMode::Before;
            for (;;) {
                const Store::ScanEnd end =
                    store->ScanFollow(from, mode, B("k"), follow, limit, [&](const FollowedEntry& found) {
                        shown.emplace_back(found.entry.key.begin(), found.entry.key.end());
                        EXPECT_TRUE(found.followed.has_value());
                        if (shown.size() > model.size())
                            return false; // shown more often than there are entries
                        if (shown.size() % 7 == 0) {
                            EXPECT_TRUE(store->Seek(B("k04500"), SeekMode::After, B("k")));
                        }
                        if (shown.size() % 11 == 0) {
                            EXPECT_TRUE(store->Get(B("r3")));
                        }
                        return true;
                    });
                if (end != Store::ScanEnd::Limit || shown.size() > model.size())
                    break;
                from = shown.back();
                mode = forward ? SeekMode::After : SeekMode::Before;
            }
            std::vector<Bytes> expected;
            for (const auto& [key, data] : model)
                expected.push_back(key);
            if (!forward)
                std::reverse(expected.begin(), expected.end());
            EXPECT_EQ(shown, expected) << (forward ? "forwards" : "backwards") << ", limit " << limit;
        }
    }
}

TEST_F(QvdStoreTest, TwoOpensSeeEachOthersCommits) {
    auto a = OpenStore();
    auto b = OpenStore();
    a->Put(B("alpha"), B("1"));
    EXPECT_FALSE(b->Get(B("alpha"))) << "staged changes stay private";
    ASSERT_EQ(a->Commit(), 0);
    EXPECT_EQ(b->Get(B("alpha")), B("1"));
    b->Put(B("beta"), B("2"));
    ASSERT_TRUE(b->Erase(B("alpha")));
    ASSERT_EQ(b->Commit(), 0);
    EXPECT_FALSE(a->Get(B("alpha")));
    EXPECT_EQ(a->Get(B("beta")), B("2"));
}

TEST_F(QvdStoreTest, AccessFromTheCacheRestartsWhenACommitSlipsInBeforeItReadsTheDisk) {
    auto writer = OpenStore();
    for (int i = 0; i < 3000; ++i)
        writer->Put(B("key" + std::to_string(10000 + i)), Bytes(40, 'o'));
    ASSERT_EQ(writer->Commit(), 0);

    auto io = RecordingIo();
    StoreOptions options;
    options.io = io;
    auto reader = OpenStore(options);
    ASSERT_EQ(reader->Get(B("key10000")), Bytes(40, 'o')); // caches the path to the first leaf

    // The next access starts from the cache without a reader slot; the last
    // leaf is not cached, so it must take one, and just before it does the
    // writer commits a change to that leaf.
    io->before_reader_lock = [&] {
        writer->Put(B("key12999"), B("new"));
        ASSERT_EQ(writer->Commit(), 0);
    };
    const size_t locks_before = io->reader_locks;
    EXPECT_EQ(reader->Get(B("key12999")), B("new"));
    EXPECT_EQ(io->reader_locks - locks_before, 2u) << "the late slot, then the restarted access's own";

    // Answered from the cache with nothing committed since: no reader slot at all.
    const size_t locks_cached = io->reader_locks;
    EXPECT_EQ(reader->Get(B("key12999")), B("new"));
    EXPECT_EQ(io->reader_locks, locks_cached);
}

// An open that denies writing to others reads the disk without reader slots
// (no commit can run beside it), and still sees its own commits.
TEST_F(QvdStoreTest, AnOpenDenyingWritersReadsWithoutReaderSlots) {
    {
        auto writer = OpenStore();
        for (int i = 0; i < 3000; ++i)
            writer->Put(B("key" + std::to_string(10000 + i)), Bytes(40, 'o'));
        ASSERT_EQ(writer->Commit(), 0);
    }
    for (const bool deny_write : {false, true}) {
        auto io = RecordingIo();
        StoreOptions options;
        options.io = io;
        options.deny_write = deny_write;
        options.cache_bytes = 1; // every page from the disk
        auto store = OpenStore(options);
        const size_t after_open = io->reader_locks;
        for (int i = 0; i < 3000; i += 100)
            ASSERT_EQ(store->Get(B("key" + std::to_string(10000 + i))), Bytes(40, 'o'));
        if (deny_write) {
            EXPECT_EQ(io->reader_locks, after_open);
            store->Put(B("key10100"), B("own"));
            ASSERT_EQ(store->Commit(), 0);
            EXPECT_EQ(store->Get(B("key10100")), B("own"));
        } else {
            EXPECT_GE(io->reader_locks - after_open, 30u) << "each read of the disk holds a slot";
        }
    }
}

// Sharing modes as OPEN gives them: access (r, w, rw) and what the open
// denies to others (all, write, read, none).
struct Sharing {
    const char* name;
    OpenMode mode;
    bool write_only;
    bool exclusive;
    bool deny_read;
    bool deny_write;
};

StoreOptions OptionsFor(const Sharing& sharing) {
    StoreOptions options;
    options.mode = sharing.mode;
    options.write_only = sharing.write_only;
    options.exclusive = sharing.exclusive;
    options.deny_read = sharing.deny_read;
    options.deny_write = sharing.deny_write;
    return options;
}

TEST_F(QvdStoreTest, SharingModesAdmitOnlyCompatibleOpens) {
    OpenStore(); // the file exists
    const Sharing modes[] = {
        {"r/none", OpenMode::ReadOnly, false, false, false, false},
        {"rw/none", OpenMode::ReadWrite, false, false, false, false},
        {"w/none", OpenMode::ReadWrite, true, false, false, false},
        {"r/write", OpenMode::ReadOnly, false, false, false, true},
        {"rw/write", OpenMode::ReadWrite, false, false, false, true},
        {"r/read", OpenMode::ReadOnly, false, false, true, false},
        {"w/read", OpenMode::ReadWrite, true, false, true, false},
        {"r/all", OpenMode::ReadOnly, false, true, false, false},
        {"rw/all", OpenMode::ReadWrite, false, true, false, false},
    };
    auto reads = [](const Sharing& s) { return !s.write_only; };
    auto writes = [](const Sharing& s) { return s.mode == OpenMode::ReadWrite; };
    auto denies_read = [](const Sharing& s) { return s.deny_read || s.exclusive; };
    auto denies_write = [](const Sharing& s) { return s.deny_write || s.exclusive; };
    for (const Sharing& first : modes) {
        for (const Sharing& second : modes) {
            int32_t error = 0;
            auto a = Store::Open(m_path.string(), OptionsFor(first), error);
            ASSERT_TRUE(a) << first.name << ": " << error;
            auto b = Store::Open(m_path.string(), OptionsFor(second), error);
            const bool compatible =
                !(reads(second) && denies_read(first)) && !(writes(second) && denies_write(first)) &&
                !(reads(first) && denies_read(second)) && !(writes(first) && denies_write(second));
            EXPECT_EQ(b != nullptr, compatible) << first.name << " then " << second.name;
            if (!b) {
                EXPECT_EQ(error, ErrAccessDenied) << first.name << " then " << second.name;
            }
            // A refused open leaves nothing behind: the first one closed, the second mode opens.
            b.reset();
            a.reset();
            EXPECT_TRUE(Store::Open(m_path.string(), OptionsFor(second), error)) << second.name;
        }
    }
}

struct InvalidFile {
    const char* label;
    Bytes content;
};

class InvalidQvdFileTest : public QvdStoreTest, public ::testing::WithParamInterface<InvalidFile> {};

TEST_P(InvalidQvdFileTest, IsRejectedWith36AndLeftUntouched) {
    WriteFileBytes(m_path, GetParam().content);
    int32_t error = 0;
    EXPECT_FALSE(Store::Open(m_path.string(), StoreOptions{}, error));
    EXPECT_EQ(error, ErrInvalidDataFile);
    EXPECT_EQ(ReadFileBytes(m_path), GetParam().content);
}

Bytes WithMagic(size_t size) {
    Bytes b(size, 0);
    const Bytes magic = B("qUoR");
    std::copy(magic.begin(), magic.end(), b.begin() + 14);
    return b;
}

INSTANTIATE_TEST_SUITE_P(Cases, InvalidQvdFileTest,
                         ::testing::Values(InvalidFile{"a few bytes", Bytes(100, 7)},
                                           InvalidFile{"a header without the magic", Bytes(512, 0)},
                                           InvalidFile{"one byte short of a header", WithMagic(511)},
                                           InvalidFile{"text", B(std::string(600, 'x'))}));

TEST_F(QvdStoreTest, MissingFileAndMissingPathHaveTheirOwnErrors) {
    int32_t error = 0;
    EXPECT_FALSE(Store::Open(m_dir.file("absent.qvd"), StoreOptions{}, error));
    EXPECT_EQ(error, ErrFileNotFound);
    EXPECT_FALSE(Store::Open(m_dir.file("no/absent.qvd"), StoreOptions{}, error));
    EXPECT_EQ(error, ErrPathNotFound);
}

TEST_F(QvdStoreTest, SeekFindsNeighboursInAllModesWithinAPrefix) {
    auto store = OpenStore();
    for (const char* k : {"a1", "a3", "b1", "b2", "b4", "c1"})
        store->Put(B(k), B(k));
    ASSERT_EQ(store->Commit(), 0);
    store->Put(B("b3"), B("staged"));
    ASSERT_TRUE(store->Erase(B("b2")));
    struct Row {
        const char* key;
        SeekMode mode;
        const char* prefix;
        const char* expected; // nullptr: none
    };
    const Row rows[] = {
        {"b", SeekMode::AtOrAfter, "b", "b1"},  {"b1", SeekMode::After, "b", "b3"},
        {"b3", SeekMode::AtOrAfter, "b", "b3"}, {"b4", SeekMode::After, "b", nullptr},
        {"b4", SeekMode::Before, "b", "b3"},    {"b3", SeekMode::Before, "b", "b1"},
        {"b1", SeekMode::Before, "b", nullptr}, {"b2", SeekMode::AtOrBefore, "b", "b1"},
        {"z", SeekMode::AtOrBefore, "b", "b4"}, {"", SeekMode::AtOrAfter, "c", "c1"},
        {"a", SeekMode::AtOrAfter, "", "a1"},   {"zz", SeekMode::Before, "", "c1"},
    };
    for (const Row& r : rows) {
        const auto found = store->Seek(B(r.key), r.mode, B(r.prefix));
        if (!r.expected) {
            EXPECT_FALSE(found) << r.key << " mode " << int(r.mode);
        } else {
            ASSERT_TRUE(found) << r.key << " mode " << int(r.mode);
            EXPECT_EQ(found->key, B(r.expected)) << r.key << " mode " << int(r.mode);
        }
    }
    EXPECT_EQ(store->Count(B("b")), 3u);
    store->Rollback();
    EXPECT_EQ(store->Count(B("b")), 3u);
    EXPECT_EQ(store->Get(B("b2")), B("b2"));
}

// Node searches guess a position from the key's bytes past a node's shared
// prefix before the binary search; every key shape must still find exactly
// what an ordered map finds, present keys and absent ones alike.
class QvdStoreKeyShapeTest : public QvdStoreTest, public ::testing::WithParamInterface<int> {};

Bytes ShapedKey(int shape, uint32_t n) {
    Bytes key = B("t");
    switch (shape) {
    case 0: // dense big-endian numbers, as record entries
        for (int s = 24; s >= 0; s -= 8)
            key.push_back(static_cast<uint8_t>(n >> s));
        break;
    case 1: // numbers growing exponentially: a guess far off
        for (int s = 56; s >= 0; s -= 8)
            key.push_back(static_cast<uint8_t>(((uint64_t{1} << (n % 60)) + n) >> s));
        break;
    case 2: // a long shared prefix, then a short varying tail of varying length
        key.insert(key.end(), 30, 'p');
        for (uint32_t i = 0; i <= n % 4; ++i)
            key.push_back(static_cast<uint8_t>(n * 37 + i));
        break;
    default: // text of varying length with bytes at both ends of the range
        for (uint32_t i = 0; i < 1 + n % 12; ++i)
            key.push_back(static_cast<uint8_t>((n * 2654435761u) >> (i % 4 * 8)));
        break;
    }
    return key;
}

TEST_P(QvdStoreKeyShapeTest, SeeksAndGetsFindWhatAnOrderedMapFinds) {
    auto store = OpenFastStore();
    Model model;
    for (uint32_t n = 0; n < 3000; n += 2) {
        const Bytes key = ShapedKey(GetParam(), n);
        model[key] = Bytes(1 + n % 20, static_cast<uint8_t>(n));
        store->Put(key, model[key]);
    }
    ASSERT_EQ(store->Commit(), 0);
    auto reopened = OpenStore();
    for (uint32_t n = 0; n < 3000; ++n) {
        const Bytes probe = ShapedKey(GetParam(), n); // odd n: mostly absent
        const auto at = model.find(probe);
        EXPECT_EQ(reopened->Get(probe), at == model.end() ? std::nullopt : std::optional<Bytes>(at->second));
        const auto after = model.lower_bound(probe);
        const std::optional<Entry> found = reopened->Seek(probe, SeekMode::AtOrAfter, B("t"));
        ASSERT_EQ(found.has_value(), after != model.end()) << n;
        if (found) {
            EXPECT_EQ(found->key, after->first) << n;
        }
        const auto before = model.lower_bound(probe);
        const std::optional<Entry> below = reopened->Seek(probe, SeekMode::Before, B("t"));
        ASSERT_EQ(below.has_value(), before != model.begin()) << n;
        if (below) {
            EXPECT_EQ(below->key, std::prev(before)->first) << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, QvdStoreKeyShapeTest, ::testing::Values(0, 1, 2, 3));

// Random changes, seeks and commits against a std::map, reopening now and then.
// Successive seeks step on from the previous answer's place in the tree;
// commits by another open, staged changes, rollbacks and own commits between
// the steps must all show.
TEST_F(QvdStoreTest, StepsBySeekSeeChangesMadeBetweenThem) {
    auto a = OpenFastStore();
    auto b = OpenFastStore();
    Model committed;
    std::mt19937 rng(7);
    auto key = [](int n) {
        char text[16];
        std::snprintf(text, sizeof text, "k%05d", n);
        return B(text);
    };
    for (int n = 0; n < 2000; n += 2) {
        a->Put(key(n), Bytes(40, static_cast<uint8_t>(n)));
        committed[key(n)] = Bytes(40, static_cast<uint8_t>(n));
    }
    ASSERT_EQ(a->Commit(), 0);
    Model staged_view = committed; // what `a` sees: committed plus its staged changes
    const Bytes prefix = B("k");
    Bytes position = key(0);
    for (int step = 0; step < 3000; ++step) {
        const int action = static_cast<int>(rng() % 10);
        const int n = static_cast<int>(rng() % 2000);
        if (action == 0) { // another open commits near the position
            Bytes near = position;
            near.push_back(static_cast<uint8_t>('0' + rng() % 10));
            b->Put(near, B("other"));
            if (rng() % 2)
                b->Erase(key(n));
            ASSERT_EQ(b->Commit(), 0);
            committed = Contents(*b);
            staged_view = committed;
            a->Rollback();
        } else if (action == 1) { // a staged change in the reader
            a->Put(key(n), B("staged"));
            staged_view[key(n)] = B("staged");
        } else if (action == 2) {
            a->Rollback();
            staged_view = committed;
        } else if (action == 3) {
            ASSERT_EQ(a->Commit(), 0);
            committed = staged_view;
        }
        const bool forward = rng() % 4 != 0;
        const auto e = a->Seek(position, forward ? SeekMode::After : SeekMode::Before, prefix);
        auto expected = forward ? staged_view.upper_bound(position) : staged_view.lower_bound(position);
        if (!forward)
            expected = expected == staged_view.begin() ? staged_view.end() : std::prev(expected);
        if (expected == staged_view.end()) {
            ASSERT_FALSE(e) << "step " << step;
            position = key(static_cast<int>(rng() % 2000));
            continue;
        }
        ASSERT_TRUE(e) << "step " << step;
        ASSERT_EQ(e->key, expected->first) << "step " << step;
        ASSERT_EQ(e->data, expected->second) << "step " << step;
        position = e->key;
    }
}

// Each commit path: merging into a working copy of the tree, rebuilding the
// tree from every commit of 40 changes on, and rebuilding it on every commit;
// with the staged changes in memory, and written out to runs at every change.
class StoreModelTest : public QvdStoreTest,
                       public ::testing::WithParamInterface<std::tuple<size_t, size_t>> {};

TEST_P(StoreModelTest, BehavesLikeAnOrderedMapAcrossCommitsSplitsAndReopens) {
    std::mt19937 rng(12345);
    StoreOptions options;
    options.cache_bytes = 64 << 10; // small, so that pages leave the cache
    options.rebuild_changes = std::get<0>(GetParam());
    options.staging_bytes = std::get<1>(GetParam());
    auto store = OpenFastStore(options);
    Model committed;
    Model model;
    auto random_key = [&] {
        static const uint8_t alphabet[] = {0x00, 0x01, 0x41, 0x42, 0x7F, 0x80, 0xFF};
        Bytes k(1 + rng() % 6);
        for (auto& b : k)
            b = alphabet[rng() % sizeof alphabet];
        if (k == Bytes{TransactionRecordKey})
            k.push_back(0); // the transaction record's key is reserved
        return k;
    };
    auto random_data = [&] {
        Bytes d(rng() % 260);
        const int style = static_cast<int>(rng() % 3);
        for (size_t i = 0; i < d.size(); ++i)
            d[i] = style == 0   ? static_cast<uint8_t>(rng())
                   : style == 1 ? uint8_t(' ')
                                : static_cast<uint8_t>(i / 7);
        return d;
    };
    auto model_seek = [&](const Bytes& key, SeekMode mode, const Bytes& prefix) -> std::optional<Bytes> {
        std::optional<Bytes> best;
        for (auto it = model.lower_bound(prefix); it != model.end(); ++it) {
            if (it->first.size() < prefix.size() ||
                !std::equal(prefix.begin(), prefix.end(), it->first.begin()))
                break;
            const int c = CompareKeys(it->first, key);
            const bool fits = mode == SeekMode::AtOrAfter    ? c >= 0
                              : mode == SeekMode::After      ? c > 0
                              : mode == SeekMode::AtOrBefore ? c <= 0
                                                             : c < 0;
            if (!fits)
                continue;
            const bool forward = mode == SeekMode::AtOrAfter || mode == SeekMode::After;
            if (!best || (forward ? KeyLess(it->first, *best) : KeyLess(*best, it->first)))
                best = it->first;
        }
        return best;
    };
    for (int op = 0; op < 6000; ++op) {
        const int what = static_cast<int>(rng() % 100);
        if (what < 45) {
            const Bytes k = random_key();
            const Bytes d = random_data();
            store->Put(k, d);
            model[k] = d;
        } else if (what < 60) {
            const Bytes k = random_key();
            ASSERT_EQ(store->Erase(k), model.erase(k) == 1) << "op " << op;
        } else if (what < 85) {
            const Bytes k = random_key();
            const Bytes source = random_key();
            const size_t prefix_length = std::min<size_t>(source.size(), rng() % 3);
            const Bytes prefix(source.begin(), source.begin() + static_cast<ptrdiff_t>(prefix_length));
            const SeekMode mode = static_cast<SeekMode>(rng() % 4);
            const auto found = store->Seek(k, mode, prefix);
            const auto expected = model_seek(k, mode, prefix);
            ASSERT_EQ(found.has_value(), expected.has_value()) << "op " << op;
            if (found) {
                ASSERT_EQ(found->key, *expected) << "op " << op;
                ASSERT_EQ(found->data, model[*expected]) << "op " << op;
            }
        } else if (what < 92) {
            const Bytes k = random_key();
            const auto found = store->Get(k);
            const auto it = model.find(k);
            ASSERT_EQ(found.has_value(), it != model.end()) << "op " << op;
            if (found) {
                ASSERT_EQ(*found, it->second);
            }
        } else if (what < 97) {
            ASSERT_EQ(store->Commit(), 0) << "op " << op;
            committed = model;
        } else if (what < 98) {
            store->Rollback();
            model = committed;
        } else {
            ASSERT_EQ(store->Commit(), 0);
            committed = model;
            store.reset();
            store = OpenFastStore(options);
            ASSERT_EQ(Contents(*store), model) << "op " << op;
            ASSERT_EQ(store->Check(), std::nullopt) << "op " << op;
        }
    }
    ASSERT_EQ(store->Commit(), 0);
    EXPECT_EQ(Contents(*store), model);
    EXPECT_EQ(store->Check(), std::nullopt);
    EXPECT_EQ(store->Count(Bytes{}), model.size());
    const StoreInfo info = store->Info();
    EXPECT_GT(info.leaf_pages, 3u) << "the test must reach splits";
    EXPECT_EQ(info.entries, model.size());
}

INSTANTIATE_TEST_SUITE_P(CommitPaths, StoreModelTest,
                         ::testing::Combine(::testing::Values(65536, 40, 1), ::testing::Values(SIZE_MAX, 1)));

TEST_F(QvdStoreTest, LargeCommitSplitsIntoSeveralLevels) {
    auto store = OpenFastStore();
    Model model;
    for (uint32_t i = 0; i < 20000; ++i) {
        Bytes k = TableKeyPrefix(1, EntryRecord);
        for (int s = 24; s >= 0; s -= 8)
            k.push_back(static_cast<uint8_t>(i * 2654435761u >> s));
        Bytes d(40, static_cast<uint8_t>(i));
        store->Put(k, d);
        model[k] = d;
    }
    ASSERT_EQ(store->Commit(), 0);
    EXPECT_EQ(store->Check(), std::nullopt);
    EXPECT_GE(store->Info().tree_levels, 2);
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(store->Erase(std::next(model.begin(), i * 2)->first));
    for (int i = 0; i < 5000; ++i)
        model.erase(std::next(model.begin(), i));
    ASSERT_EQ(store->Commit(), 0);
    EXPECT_EQ(store->Check(), std::nullopt);
    EXPECT_EQ(Contents(*store), model);
}

TEST_F(QvdStoreTest, LongKeysGrowInnerLevelsAndShrinkBackWhenErased) {
    auto store = OpenFastStore();
    std::mt19937 rng(99);
    Model model;
    for (int i = 0; i < 3000; ++i) {
        Bytes k(300);
        for (auto& b : k)
            b = static_cast<uint8_t>(rng());
        store->Put(k, Bytes{static_cast<uint8_t>(i)});
        model[k] = Bytes{static_cast<uint8_t>(i)};
    }
    ASSERT_EQ(store->Commit(), 0);
    ASSERT_EQ(store->Check(), std::nullopt);
    EXPECT_GE(store->Info().tree_levels, 3);
    const uint64_t full_size = store->Info().used_end;
    while (model.size() > 5) {
        auto it = std::next(model.begin(), static_cast<ptrdiff_t>(rng() % model.size()));
        ASSERT_TRUE(store->Erase(it->first));
        model.erase(it);
        if (model.size() % 500 == 0) {
            ASSERT_EQ(store->Commit(), 0);
            ASSERT_EQ(store->Check(), std::nullopt);
        }
    }
    ASSERT_EQ(store->Commit(), 0);
    EXPECT_EQ(Contents(*store), model);
    const StoreInfo info = store->Info();
    EXPECT_EQ(info.tree_levels, 1) << info.leaf_pages << " leaves, " << info.inner_pages << " inner";
    EXPECT_LT(info.used_end, full_size / 4) << "zones that emptied are compacted";
    EXPECT_LE(info.file_size, info.used_end + (1u << 20)) << "a long dead tail is cut";
}

// Keys that share long prefixes pack many to a page. After a commit that cut
// a node into many pages, an append rewrites the last leaf alone: its parent
// keeps its keys and is not rewritten, and the last leaf is no near-empty
// remainder that each commit merges into its full neighbour and cuts anew.
TEST_F(QvdStoreTest, AppendsAfterABulkCommitRewriteOnePage) {
    auto io = RecordingIo();
    io->skip_flush = true;
    StoreOptions options;
    options.io = io;
    auto store = OpenStore(options);
    const std::string prefix(40, 'p');
    auto key = [&](uint32_t n) {
        Bytes k = B(prefix);
        for (int shift = 24; shift >= 0; shift -= 8)
            k.push_back(static_cast<uint8_t>(n >> shift));
        return k;
    };
    for (uint32_t n = 0; n < 4000; ++n)
        store->Put(key(n), Bytes{});
    ASSERT_EQ(store->Commit(), 0);
    const size_t writes_before = io->writes;
    const int appends = 30;
    for (uint32_t n = 4000; n < 4000 + appends; ++n) {
        store->Put(key(n), Bytes{});
        ASSERT_EQ(store->Commit(), 0);
    }
    // Each commit: the chain, the header three times, and the page home.
    EXPECT_LE(io->writes - writes_before, appends * 5 + 4u);
    ASSERT_EQ(store->Check(), std::nullopt);
}

// Each open remembers which slots hold pages, as of its last commit. After
// another open committed, that memory is stale: taking a slot from it would
// put two pages in one slot.
TEST_F(QvdStoreTest, OpensTakingTurnsToCommitNeverShareASlot) {
    auto a = OpenFastStore();
    auto b = OpenFastStore();
    std::mt19937 rng(17);
    Model model;
    for (int round = 0; round < 60; ++round) {
        Store& store = round % 3 == 2 ? *b : *a; // a commits twice in a row too
        for (int i = 0; i < 40; ++i) {
            const Bytes key = B("k" + std::to_string(rng() % 3000));
            if (rng() % 4 == 0) {
                store.Erase(key);
                model.erase(key);
            } else {
                const Bytes data(rng() % 90, static_cast<uint8_t>(round));
                store.Put(key, data);
                model[key] = data;
            }
        }
        ASSERT_EQ(store.Commit(), 0);
        ASSERT_EQ(store.Check(), std::nullopt) << "round " << round;
    }
    EXPECT_EQ(Contents(*a), model);
    EXPECT_EQ(Contents(*b), model);
}

// After a bulk load every leaf is full, and the first insert into each splits
// it into two pages of a smaller class, whose zone lies below the full ones.
// That zone grows again and again, and each time every zone above it moves:
// it takes room in proportion to what lies above, so the moves stay a small
// multiple of the file, not one file's worth every few commits.
TEST_F(QvdStoreTest, PagesFillingASmallZoneBelowLargeOnesDoNotMoveTheFileEachTime) {
    auto io = RecordingIo();
    io->skip_flush = true;
    StoreOptions options;
    options.io = io;
    options.rebuild_changes = 1000; // the bulk load packs every page full
    auto store = OpenStore(options);
    std::mt19937 rng(3);
    auto random_bytes = [&](size_t n) {
        Bytes bytes(n);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(rng());
        return bytes;
    };
    for (int i = 0; i < 150000; ++i)
        store->Put(random_bytes(12), random_bytes(40));
    ASSERT_EQ(store->Commit(), 0);
    const uint64_t file_size = store->Info().used_end;
    int moves = 0; // commits that wrote half the file or more
    for (int commit = 0; commit < 400; ++commit) {
        const uint64_t written_before = io->written;
        store->Put(random_bytes(12), random_bytes(40));
        ASSERT_EQ(store->Commit(), 0);
        moves += io->written - written_before >= file_size / 2 ? 1 : 0;
    }
    EXPECT_LE(moves, 5) << "file of " << file_size << " bytes, now " << store->Info().used_end;
    ASSERT_EQ(store->Check(), std::nullopt);
}

// A small commit reuses the dead chain space beyond the used end, so the file
// keeps its size; a commit that replaces many pages leaves no long tail.
TEST_F(QvdStoreTest, ChainSpaceIsReusedAndALongTailIsCut) {
    auto store = OpenFastStore();
    std::mt19937 rng(5);
    auto random_data = [&] {
        Bytes data(60);
        for (uint8_t& b : data)
            b = static_cast<uint8_t>(rng());
        return data;
    };
    for (int i = 0; i < 20000; ++i)
        store->Put(B("key" + std::to_string(100000 + i)), random_data());
    ASSERT_EQ(store->Commit(), 0);
    store->Put(B("key100500"), B("changed"));
    ASSERT_EQ(store->Commit(), 0);
    const uint64_t size_after_small = fs::file_size(m_path);
    EXPECT_GT(size_after_small, store->Info().used_end) << "the chain's space stays";
    for (int round = 0; round < 5; ++round) {
        store->Put(B("key1" + std::to_string(10000 + round * 997)), B("again"));
        ASSERT_EQ(store->Commit(), 0);
    }
    EXPECT_LE(fs::file_size(m_path), size_after_small + 64 * 1024) << "small commits reuse the space";

    for (int i = 0; i < 20000; ++i)
        store->Put(B("key" + std::to_string(100000 + i)), random_data());
    ASSERT_EQ(store->Commit(), 0);
    EXPECT_EQ(fs::file_size(m_path), store->Info().used_end) << "a chain of every page is cut";
    ASSERT_EQ(store->Check(), std::nullopt);
}

// The writer dies at each disk change of one commit in turn: every reopened
// file shows all of the commit or none of it, and checks clean.
TEST_F(QvdStoreTest, ACrashAtAnyPointOfACommitLeavesTheOldOrTheNewState) {
    Model before;
    {
        auto store = OpenStore();
        for (int i = 0; i < 300; ++i) {
            const Bytes k = B("key" + std::to_string(i * 7 % 300));
            store->Put(k, Bytes(30, static_cast<uint8_t>(i)));
            before[k] = Bytes(30, static_cast<uint8_t>(i));
        }
        ASSERT_EQ(store->Commit(), 0);
    }
    const Bytes original = ReadFileBytes(m_path);
    Model after = before;
    for (int i = 0; i < 300; i += 3) {
        const Bytes k = B("key" + std::to_string(i));
        after[k] = Bytes(90, 0x55);
    }
    for (int i = 1000; i < 1100; ++i)
        after[B("new" + std::to_string(i))] = B("fresh");

    bool saw_old = false;
    bool saw_new = false;
    for (size_t k = 1;; ++k) {
        WriteFileBytes(m_path, original);
        const bool finished = !DieAtChange(k, [&](Store& store) {
            for (const auto& [key, data] : after)
                if (!before.contains(key) || before.at(key) != data)
                    store.Put(key, data);
            store.Commit();
        });
        auto reopened = OpenStore();
        const Model seen = Contents(*reopened);
        ASSERT_TRUE(seen == before || seen == after) << "died at change " << k;
        saw_old = saw_old || seen == before;
        saw_new = saw_new || seen == after;
        ASSERT_EQ(reopened->Check(), std::nullopt) << "died at change " << k;
        const StoreInfo info = reopened->Info();
        EXPECT_EQ(info.chain_start, info.chain_end) << "a writer's open settles the chain";
        if (finished)
            break;
    }
    EXPECT_TRUE(saw_old);
    EXPECT_TRUE(saw_new);
}

TEST_F(QvdStoreTest, ABrokenChainIsRolledBack) {
    Model before;
    {
        auto store = OpenStore();
        for (int i = 0; i < 100; ++i)
            before[B("k" + std::to_string(i))] = Bytes(20, 1);
        for (const auto& [k, d] : before)
            store->Put(k, d);
        ASSERT_EQ(store->Commit(), 0);
    }
    // Find the first stop at which the header at offset 0 names a chain.
    const Bytes original = ReadFileBytes(m_path);
    for (size_t k = 1; k < 100; ++k) {
        WriteFileBytes(m_path, original);
        DieAtChange(k, [&](Store& store) {
            for (const auto& [key, d] : before)
                store.Put(key, Bytes(60, 9));
            store.Commit();
        });
        const Bytes file = ReadFileBytes(m_path);
        const uint32_t start = file[6] | file[7] << 8 | file[8] << 16 | uint32_t(file[9]) << 24;
        const uint32_t end = file[10] | file[11] << 8 | file[12] << 16 | uint32_t(file[13]) << 24;
        if (start == end)
            continue;
        fs::resize_file(m_path, start + 256); // the chain's copies are cut short
        auto reopened = OpenStore();
        EXPECT_EQ(Contents(*reopened), before);
        EXPECT_EQ(reopened->Check(), std::nullopt);
        const StoreInfo info = reopened->Info();
        EXPECT_EQ(info.chain_start, info.chain_end);
        return;
    }
    FAIL() << "no stop left a chain at offset 0";
}

TEST_F(QvdStoreTest, AFailedWriteFailsTheCommitAndEveryLaterOne) {
    auto io = std::make_shared<CrashFileIo>();
    int32_t error = 0;
    StoreOptions options;
    options.create_if_missing = true;
    auto store = Store::OpenIo(io, options, error);
    ASSERT_TRUE(store) << error;
    store->Put(B("a"), B("1"));
    ASSERT_EQ(store->Commit(), 0);
    io->fail_call(IoCall::Write, 1, ENOSPC);
    store->Put(B("b"), B("2"));
    EXPECT_EQ(store->Commit(), OsErrorNumber(platform::OsDiskFull));
    ASSERT_TRUE(io->fault_fired());
    EXPECT_EQ(store->Commit(), OsErrorNumber(platform::OsDiskFull)) << "the next writes would succeed";
    store.reset();
    auto reopened = Store::OpenIo(std::make_shared<CrashFileIo>(io->image()), StoreOptions{}, error);
    ASSERT_TRUE(reopened) << error;
    EXPECT_EQ(reopened->Get(B("a")), B("1"));
    EXPECT_FALSE(reopened->Get(B("b")));
}

TEST_F(QvdStoreTest, EncryptedFilesNeedTheirOwner) {
    StoreOptions secret;
    secret.encryption_owner = "Hendrik";
    {
        auto store = OpenStore(secret);
        store->Put(B("name"), B("a readable text that should not show"));
        ASSERT_EQ(store->Commit(), 0);
    }
    const Bytes raw = ReadFileBytes(m_path);
    EXPECT_EQ(std::search(raw.begin(), raw.end(), raw.begin(), raw.begin()), raw.begin());
    const Bytes text = B("readable");
    EXPECT_EQ(std::search(raw.begin(), raw.end(), text.begin(), text.end()), raw.end());
    EXPECT_NE(Bytes(raw.begin() + 14, raw.begin() + 18), B("qUoR"));
    int32_t error = 0;
    EXPECT_FALSE(Store::Open(m_path.string(), StoreOptions{}, error));
    EXPECT_EQ(error, ErrInvalidDataFile);
    auto store = OpenStore(secret);
    EXPECT_EQ(store->Get(B("name")), B("a readable text that should not show"));
    EXPECT_EQ(store->Check(), std::nullopt);
}

TEST_F(QvdStoreTest, EncryptedFilesAreReadAndWrittenInWholeBlocks) {
    auto io = RecordingIo();
    StoreOptions options;
    options.io = io;
    options.encryption_owner = "owner";
    auto store = OpenStore(options);
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 300; ++i)
            store->Put(B("k" + std::to_string(i * 31 % 1000)), Bytes(round * 13 + i % 40, 'x'));
        ASSERT_EQ(store->Commit(), 0);
        ASSERT_TRUE(store->Seek(B("k5"), SeekMode::AtOrAfter, B("k")));
    }
    EXPECT_EQ(store->Check(), std::nullopt);
    EXPECT_GT(io->writes, 10u);
    EXPECT_TRUE(io->whole_blocks);
}

TEST_F(QvdStoreTest, TablesHaveNamesWithoutCaseAndDistinctNumbers) {
    auto store = OpenStore();
    const uint32_t customers = store->CreateTable("Customers");
    const uint32_t orders = store->CreateTable("ORDERS");
    EXPECT_NE(customers, orders);
    EXPECT_NE(customers, DirectoryTable);
    EXPECT_EQ(store->CreateTable("customers"), customers);
    ASSERT_EQ(store->Commit(), 0);
    store->Put(TableKeyPrefix(orders, EntryRecord), B("x"));
    ASSERT_EQ(store->Commit(), 0);
    auto other = OpenStore();
    EXPECT_EQ(other->FindTable("CUSTOMERS"), customers);
    EXPECT_EQ(other->FindTable("orders"), orders);
    EXPECT_FALSE(other->FindTable("UNNAMED"));
    const auto tables = other->Tables();
    ASSERT_EQ(tables.size(), 2u);
    const StoreInfo info = other->Info();
    ASSERT_EQ(info.tables.size(), 2u);
    for (const TableInfo& t : info.tables)
        EXPECT_EQ(t.entries, t.number == orders ? 1u : 0u) << t.name;
}

TEST_F(QvdStoreTest, RecordNumbersCountUpAndAreStoredBigEndian) {
    auto store = OpenStore();
    EXPECT_EQ(store->IssueRecordNumber(), 1u);
    EXPECT_EQ(store->IssueRecordNumber(), 2u);
    store->Rollback();
    EXPECT_EQ(store->IssueRecordNumber(), 1u);
    for (int i = 0; i < 299; ++i)
        store->IssueRecordNumber();
    ASSERT_EQ(store->Commit(), 0);
    const Bytes header = ReadFileBytes(m_path);
    EXPECT_EQ(Bytes(header.begin() + 20, header.begin() + 24), (Bytes{0, 0, 0x01, 0x2C}));
    auto again = OpenStore();
    EXPECT_EQ(again->IssueRecordNumber(), 301u);
}

TEST_F(QvdStoreTest, ARecordNumberOutsideWriterModeIsACorruption) {
    OpenStore()->Commit();
    StoreOptions read_only;
    read_only.mode = OpenMode::ReadOnly;
    auto store = OpenStore(read_only);
    CorruptionAsReturn as_return;
    store->IssueRecordNumber();
    EXPECT_EQ(store->LastCorruption(), 1163);
}

TEST_F(QvdStoreTest, DamagedPagesAreFoundByCheckAndReportedAsCorruption) {
    uint32_t root = 0;
    {
        auto store = OpenStore();
        for (int i = 0; i < 50; ++i)
            store->Put(B("key" + std::to_string(i)), Bytes(10, 'v'));
        ASSERT_EQ(store->Commit(), 0);
        root = store->Info().root_offset;
    }
    Bytes file = ReadFileBytes(m_path);
    ASSERT_GT(file.size(), root + 256u);
    file[root + 10] ^= 0x5A; // the root page's entry count
    WriteFileBytes(m_path, file);
    auto store = OpenStore();
    const auto problem = store->Check();
    ASSERT_TRUE(problem);
    char where[32];
    std::snprintf(where, sizeof where, "page 0x%x", root);
    EXPECT_NE(problem->find(where), std::string::npos) << *problem;
    CorruptionAsReturn as_return;
    EXPECT_FALSE(store->Get(B("key1")));
    EXPECT_NE(store->LastCorruption(), 0);
}

// One Store is not for two threads at once: a call that finds another
// thread inside ends the program instead of racing through its caches.
TEST_F(QvdStoreTest, ACallWhileAnotherThreadIsInsideTheStoreIsAFatalError) {
    EXPECT_EXIT(
        {
            SetFatalErrorHook([](std::string_view text, int32_t) {
                std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
            });
            auto io = RecordingIo();
            StoreOptions options;
            options.io = io;
            auto store = OpenStore(options);
            {
                auto elsewhere = OpenStore(); // a commit elsewhere: the next access takes a reader slot
                elsewhere->Put(B("k"), B("v"));
                elsewhere->Commit();
            }
            std::promise<void> inside;
            io->before_reader_lock = [&] {
                inside.set_value();
                std::this_thread::sleep_for(std::chrono::seconds(10));
            };
            std::thread other([&] { store->Get(B("k")); });
            other.detach();
            if (inside.get_future().wait_for(std::chrono::seconds(5)) != std::future_status::ready)
                std::_Exit(3); // the other thread never got inside
            store->Get(B("k"));
        },
        ::testing::ExitedWithCode(2), "A QVD file's store was used by two threads at once");
    // One thread after another is fine.
    auto store = OpenStore();
    std::thread([&] { store->Put(B("a"), B("1")); }).join();
    EXPECT_EQ(store->Commit(), 0);
    EXPECT_EQ(store->Get(B("a")), B("1"));
}

TEST_F(QvdStoreTest, LockModesExcludeOtherOpens) {
    OpenStore()->Commit();
    auto a = OpenStore();
    auto b = OpenStore();
    ASSERT_TRUE(a->Lock(0, LockMode::AllReaders, false));
    EXPECT_FALSE(b->Lock(0, LockMode::Reader, false)) << "a commit's hold keeps readers out";
    a->Unlock(0, LockMode::AllReaders);
    ASSERT_TRUE(b->Lock(0, LockMode::Reader, false));
    EXPECT_TRUE(a->Lock(0, LockMode::Reader, false)) << "readers share";
    EXPECT_FALSE(a->Lock(0, LockMode::AllReaders, false)) << "but a commit waits for them";
    b->Unlock(0, LockMode::Reader);
    a->Unlock(0, LockMode::Reader);

    ASSERT_TRUE(a->Lock(0, LockMode::Writer, false));
    EXPECT_FALSE(b->Lock(0, LockMode::Writer, false));
    a->Unlock(0, LockMode::Writer);
    EXPECT_TRUE(b->Lock(0, LockMode::Writer, false));

    ASSERT_TRUE(a->Lock(17, LockMode::Writer, false));
    EXPECT_FALSE(b->Lock(17, LockMode::Writer, false));
    EXPECT_TRUE(b->Lock(18, LockMode::Writer, false));

    CorruptionAsReturn as_return;
    a->Lock(17, LockMode::Reader, false);
    EXPECT_EQ(a->LastCorruption(), 2328);
    a->Unlock(17, LockMode::AllReaders);
    EXPECT_EQ(a->LastCorruption(), 2352);
}

// Two processes increment one counter under the writer byte: no increment is
// lost, so each saw the other's commits and the commits never interleaved.
TEST_F(QvdStoreTest, TwoProcessesCommittingUnderTheWriterByteLoseNothing) {
    {
        auto store = OpenStore();
        store->Put(B("counter"), Bytes{0, 0});
        for (int i = 0; i < 200; ++i) // some bulk, so that pages and zones move
            store->Put(B("filler" + std::to_string(i)), Bytes(40, 'f'));
        ASSERT_EQ(store->Commit(), 0);
    }
    constexpr int Rounds = 60;
    auto work = [&](uint8_t who) {
        auto store = OpenFastStore();
        for (int i = 0; i < Rounds; ++i) {
            if (!store->Lock(0, LockMode::Writer, true))
                return false;
            const Bytes value = store->Get(B("counter")).value_or(Bytes{0, 0});
            const int n = value[0] | value[1] << 8;
            store->Put(B("counter"), Bytes{static_cast<uint8_t>(n + 1), static_cast<uint8_t>((n + 1) >> 8)});
            store->Put(B("by" + std::to_string(who) + "_" + std::to_string(i)), Bytes(i % 50, who));
            const bool ok = store->Commit() == 0;
            store->Unlock(0, LockMode::Writer);
            if (!ok)
                return false;
        }
        return true;
    };
    testing::ChildProcess child([&] { return work(2) ? 0 : 1; });
    ASSERT_TRUE(child.started());
    EXPECT_TRUE(work(1));
    ASSERT_TRUE(child.wait());
    EXPECT_EQ(child.exit_code(), 0);
    auto store = OpenStore();
    const Bytes value = *store->Get(B("counter"));
    EXPECT_EQ(value[0] | value[1] << 8, 2 * Rounds);
    EXPECT_EQ(store->Count(B("by")), 2u * Rounds);
    EXPECT_EQ(store->Check(), std::nullopt);
}

// Leaves the file as a committer that stopped right after naming its chain at offset 0.
class PendingChainTest : public QvdStoreTest {
protected:
    void LeaveNamedChain(const Model& before) {
        const Bytes original = ReadFileBytes(m_path);
        for (size_t k = 1; k < 200; ++k) {
            WriteFileBytes(m_path, original);
            DieAtChange(k, [&](Store& store) {
                for (const auto& [key, d] : before)
                    store.Put(key, B("new"));
                store.Put(Bytes{0xFF}, B(std::string_view("\x07\0\0\0C:\\quOrvanE.TCF", 19)));
                store.Commit();
            });
            const Bytes file = ReadFileBytes(m_path);
            if (!std::equal(file.begin() + 6, file.begin() + 10, file.begin() + 10))
                return;
        }
        FAIL() << "no stop left a chain at offset 0";
    }
};

TEST_F(PendingChainTest, TheTransactionHookDecidesWhetherAPendingCommitIsKept) {
    Model before;
    {
        auto store = OpenStore();
        for (int i = 0; i < 40; ++i)
            before[B("k" + std::to_string(i))] = B("old");
        for (const auto& [k, d] : before)
            store->Put(k, d);
        ASSERT_EQ(store->Commit(), 0);
    }
    const Bytes committed = ReadFileBytes(m_path);
    for (bool keep : {false, true}) {
        WriteFileBytes(m_path, committed);
        LeaveNamedChain(before);
        std::optional<Bytes> seen_record;
        StoreOptions options;
        options.keep_pending_commit = [&](const Bytes* record) {
            if (record)
                seen_record = *record;
            return keep;
        };
        auto store = OpenStore(options);
        ASSERT_TRUE(seen_record) << "the hook sees the transaction record";
        EXPECT_EQ(store->Get(B("k1")), keep ? B("new") : B("old"));
        EXPECT_EQ(store->Check(), std::nullopt);
    }
}

TEST_F(PendingChainTest, AReaderUsesThePendingMapWithoutRepairing) {
    Model before;
    {
        auto store = OpenStore();
        for (int i = 0; i < 40; ++i)
            before[B("k" + std::to_string(i))] = B("old");
        for (const auto& [k, d] : before)
            store->Put(k, d);
        ASSERT_EQ(store->Commit(), 0);
    }
    LeaveNamedChain(before);
    const Bytes pending = ReadFileBytes(m_path);
    StoreOptions read_only;
    read_only.mode = OpenMode::ReadOnly;
    auto reader = OpenStore(read_only);
    EXPECT_EQ(reader->Get(B("k5")), B("new"));
    EXPECT_EQ(ReadFileBytes(m_path), pending) << "a reader writes nothing";
    auto writer = OpenStore();
    EXPECT_EQ(writer->Get(B("k5")), B("new"));
    EXPECT_EQ(reader->Get(B("k5")), B("new")) << "the reader follows the roll-forward";
}

TEST(QvdCorruptionDeathTest, EndsTheProgramWithTheCode) {
    EXPECT_EXIT(QvdCorruption(1477), ::testing::ExitedWithCode(2),
                "Possible data corruption in file \\(1477\\)");
}

TEST(QvdCorruptionDeathTest, DiagnosticsShowTheCodeUnderTheDriverTitleFirst) {
    EXPECT_EXIT(
        {
            SetQvdDiagnostics(true);
            QvdCorruption(2172);
        },
        ::testing::ExitedWithCode(2),
        "Quorvane File Driver Error.*2172.*Possible data corruption in file \\(2172\\)");
}

} // namespace
} // namespace morvex::qvd

// Fuzzes the QVD container with arbitrary bytes as the file: opening (with the
// chain replay), walking every table and every entry in both directions,
// the integrity check, the info walk, and a commit on top of what was read.
// Corruption must come back as a failed result, never as a crash or a hang.
//
// A pending commit's transaction record goes through the transaction check,
// with the same bytes as the control file (bit 2) or no control file.
//
// Input: one byte of options (bit 0: also commit; bit 1: open for writing;
// bit 2: a control file; bit 3: commits rebuild the tree; bit 4: staged
// changes go to runs at once), then the file.
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_store.h"
#include "files/qvd/qvd_transaction.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace morvex::qvd;

namespace {

// A file in memory; locks always succeed (one process, one open).
class MemoryFileIo final : public FileIo {
public:
    explicit MemoryFileIo(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    int64_t read_at(uint64_t offset, void* buffer, size_t length) override {
        if (offset >= m_bytes.size())
            return 0;
        const size_t n = std::min<size_t>(length, m_bytes.size() - offset);
        std::memcpy(buffer, m_bytes.data() + offset, n);
        return static_cast<int64_t>(n);
    }
    int64_t write_at(uint64_t offset, const void* buffer, size_t length) override {
        if (offset + length > MaxSize) {
            errno = ENOSPC;
            return -1;
        }
        if (m_bytes.size() < offset + length)
            m_bytes.resize(offset + length);
        std::memcpy(m_bytes.data() + offset, buffer, length);
        return static_cast<int64_t>(length);
    }
    int flush() override { return 0; }
    int64_t size() override { return static_cast<int64_t>(m_bytes.size()); }
    int truncate(uint64_t length) override {
        if (length > MaxSize)
            return -1;
        m_bytes.resize(length);
        return 0;
    }
    int lock(uint64_t, uint64_t, LockKind, LockWait) override { return 0; }
    int unlock(uint64_t, uint64_t) override { return 0; }
    int test_lock(uint64_t, uint64_t) override { return 0; }

private:
    static constexpr uint64_t MaxSize = 16 << 20;
    std::vector<uint8_t> m_bytes;
};

void WalkAll(Store& store) {
    int steps = 0;
    for (auto e = store.Seek(Bytes{}, SeekMode::AtOrAfter, Bytes{}); e && steps < 20000; ++steps)
        e = store.Seek(e->key, SeekMode::After, Bytes{});
    steps = 0;
    const Bytes top(MaxKeyLength + 1, 0xFF);
    for (auto e = store.Seek(top, SeekMode::AtOrBefore, Bytes{}); e && steps < 2000; ++steps)
        e = store.Seek(e->key, SeekMode::Before, Bytes{});
    for (const auto& [name, number] : store.Tables()) {
        const Bytes prefix = TableKeyPrefix(number, EntryRecord);
        steps = 0;
        for (auto e = store.Seek(prefix, SeekMode::AtOrAfter, prefix); e && steps < 2000; ++steps)
            e = store.Seek(e->key, SeekMode::After, prefix);
        store.Count(prefix);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t flags = data[0];
    CorruptionAsReturn as_return;
    StoreOptions options;
    options.mode = (flags & 2) ? OpenMode::ReadWrite : OpenMode::ReadOnly;
    options.cache_bytes = 1 << 20;
    if (flags & 8)
        options.rebuild_changes = 1;
    if (flags & 16)
        options.staging_bytes = 1;
    const std::vector<uint8_t> file(data + 1, data + size);
    options.keep_pending_commit = [&](const Bytes* record) {
        return KeepPendingCommit(record, "data/file.QVD", [&](const std::string&, int32_t& open_error) {
            if (!(flags & 4)) {
                open_error = 2;
                return std::unique_ptr<Store>();
            }
            StoreOptions control;
            control.mode = OpenMode::ReadOnly;
            return Store::OpenIo(std::make_shared<MemoryFileIo>(file), control, open_error);
        });
    };
    int32_t error = 0;
    auto store = Store::OpenIo(std::make_shared<MemoryFileIo>(file), options, error);
    if (!store)
        return 0;
    WalkAll(*store);
    store->Check();
    store->Info();
    if ((flags & 1) && (flags & 2)) {
        for (int i = 0; i < 40; ++i)
            store->Put(Bytes{static_cast<uint8_t>(i), static_cast<uint8_t>(flags)},
                       Bytes(static_cast<size_t>(i) * 7, 0x41));
        store->Erase(Bytes{0x01});
        if (store->Commit() == 0) {
            store->Check();
            WalkAll(*store);
        }
    }
    return 0;
}

// The state of one open QVD file behind Store, in its parts: the lock area
// and the access scope (store_locks.h), the cached header and the recovery of
// a pending-page chain (store_header.h), the two-phase commit
// (store_commit.h) and the reading views (store_views.h). StoreImpl itself
// keeps the file seam with its encryption, the page cache and the staged
// changes, and reads the tree merged with those changes (store_tree.cpp).
#pragma once

#include "files/qvd/block_cipher.h"
#include "files/qvd/file_header.h"
#include "files/qvd/page_cache.h"
#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_store.h"
#include "files/qvd/staged_changes.h"
#include "files/qvd/store_commit.h"
#include "files/qvd/store_header.h"
#include "files/qvd/store_locks.h"
#include "files/qvd/store_views.h"
#include "files/qvd/tree_cursor.h"

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace morvex::qvd {

// Where a seek among the keys that start with `prefix` begins: `key`, or the
// edge of the prefix's range when `key` lies outside it on the side the seek
// comes from, so that nothing outside hides the answer (`mode` changes to
// match). `storage` holds a key made for the purpose.
ByteView SeekStart(ByteView key, SeekMode& mode, ByteView prefix, Bytes& storage);

class StoreImpl {
public:
    StoreImpl(std::shared_ptr<FileIo> io, const StoreOptions& options);
    ~StoreImpl();
    StoreImpl(const StoreImpl&) = delete;
    StoreImpl& operator=(const StoreImpl&) = delete;

    const StoreOptions& options() const { return m_options; }
    bool writer() const { return m_options.mode == OpenMode::ReadWrite; }
    LockArea& locks() { return m_locks; }
    HeaderState& header_state() { return m_header; }
    const FileHeader& header() const { return m_header.current(); }
    CommitWriter& commits() { return m_commits; }
    ReadViews& views() { return m_views; }
    PageCache& cache() { return m_cache; }
    StagedChanges& staged() { return m_staged; }
    // The highest record number issued since the last commit.
    std::optional<uint32_t>& issued_record() { return m_issued_record; }

    // ---- I/O (store_io.cpp): whole 64-byte blocks through the encryption ----
    FileIo& io() { return *m_io; }
    size_t read_blocks(uint64_t offset, uint8_t* buffer, size_t length);
    void read_exactly(uint64_t offset, uint8_t* buffer, size_t length);
    // Once a write or a flush failed, the rest of the open writes nothing.
    void write_blocks(uint64_t offset, const uint8_t* buffer, size_t length);
    void flush_file();
    int32_t write_error() const { return m_write_error; }
    // Restores blocks read other than through read_blocks (the mapped header).
    void decrypt(uint64_t offset, uint8_t* buffer, size_t length);

    // ---- the tree (store_tree.cpp) ----
    std::shared_ptr<const PageNode> load_node(uint32_t home, int expected_level);
    // Reads the raw page image at a home offset (through the pending map).
    Bytes read_page(uint32_t home, int& size_class);
    // The same into `page`, grown as needed and never shrunk; returns the length.
    size_t read_page_into(uint32_t home, Bytes& page, int& size_class);
    std::optional<Bytes> tree_get(ByteView key);
    // The tree with the staged changes laid over it.
    std::optional<Bytes> get(ByteView key);
    std::optional<Entry> seek(ByteView key, SeekMode mode, ByteView prefix);
    uint64_t count(ByteView prefix);

    // ---- check and info (store_check.cpp) ----
    bool check(CheckReport& report);
    StoreInfo info();

    // The thread inside a call of the store (none: a default id); see OneCaller.
    std::atomic<std::thread::id>& caller() { return m_caller; }

    // ---- the open's end and its failures ----
    bool closed() const { return m_closed; }
    void mark_closed() { m_closed = true; }
    int32_t last_corruption() const { return m_last_corruption; }
    // An operation that failed (`error`: 36 for a corruption, 8 for memory,
    // or a refused lock's) returned empty-handed: what is staged since the
    // last commit or rollback may be incomplete, so it is never committed.
    void note_failure(int32_t error, int32_t corruption = 0) {
        m_doomed = m_fresh_failure = error;
        if (corruption != 0)
            m_last_corruption = corruption;
    }
    int32_t doomed() const { return m_doomed; }
    void clear_doom() { m_doomed = 0; }
    int32_t take_failure() { return std::exchange(m_fresh_failure, 0); }

private:
    std::shared_ptr<FileIo> m_io;
    StoreOptions m_options;
    std::optional<BlockCipher> m_cipher;
    LockArea m_locks;
    HeaderState m_header;
    PageCache m_cache;
    Bytes m_page_buffer; // pages read for decoding
    StagedChanges m_staged;
    std::optional<uint32_t> m_issued_record;
    ReadViews m_views;
    CommitWriter m_commits;
    int32_t m_write_error = 0;
    int32_t m_last_corruption = 0;
    int32_t m_doomed = 0;        // the failure that forbids committing what is staged
    int32_t m_fresh_failure = 0; // the failure not yet taken by TakeFailure
    bool m_closed = false;
    std::atomic<std::thread::id> m_caller{};
};

} // namespace morvex::qvd

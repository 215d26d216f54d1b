// The state of one open QVD file behind Store: the file seam, the cached
// header and pending map, the page cache, the staged changes and the locks.
// Split over store_access.cpp (I/O, locks, header refresh and recovery),
// store_tree.cpp (reading the tree merged with staged changes),
// store_commit.cpp (the two-phase commit) and store_check.cpp (check, info).
#pragma once

#include "files/qvd/block_cipher.h"
#include "files/qvd/file_header.h"
#include "files/qvd/page_cache.h"
#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_store.h"
#include "files/qvd/staged_changes.h"
#include "files/qvd/zone_slots.h"

#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace morvex::qvd {

constexpr uint64_t LockArea = uint64_t{1} << 31;
constexpr uint32_t ReaderSlots = 1023;
constexpr uint64_t WriterByte = LockArea + ReaderSlots;
constexpr uint64_t PositionLocks = LockArea + 1024;
// Held shared by every open (an exclusive hold of it denies every open).
constexpr uint64_t SharingByte = LockArea - 1;
// Held shared by every open that reads, that writes, that denies reading to
// others, that denies writing to others (an exclusive open denies both).
constexpr uint64_t ReadAccessByte = LockArea - 3;
constexpr uint64_t WriteAccessByte = LockArea - 4;
constexpr uint64_t DenyReadByte = LockArea - 5;
constexpr uint64_t DenyWriteByte = LockArea - 6;

// The sharing bytes of an open (store_access.cpp): false when another open's
// sharing mode or access conflicts with this one's.
bool TakeSharing(FileIo& io, const StoreOptions& options);
void ReleaseSharing(FileIo& io);

// Where a seek among the keys that start with `prefix` begins: `key`, or the
// edge of the prefix's range when `key` lies outside it on the side the seek
// comes from, so that nothing outside hides the answer (`mode` changes to
// match). `storage` holds a key made for the purpose.
ByteView SeekStart(ByteView key, SeekMode& mode, ByteView prefix, Bytes& storage);

// Chain copies are written in pieces of this size (one write for a small commit).
constexpr size_t ChainWriteBytes = size_t{1} << 20;
// The dead chain copies beyond the used end that a commit leaves in place
// for the next chain; a longer tail is cut.
constexpr uint64_t DeadTailBytes = uint64_t{1} << 20;

class StoreImpl;

// A position in the tree: the path of nodes from the root to a leaf entry.
class TreeCursor {
public:
    explicit TreeCursor(StoreImpl& store) : m_store(&store) {}
    // Places the cursor at the entry nearest to `key` in the direction of `mode`.
    // A cursor sought again while no cached page was dropped or replaced
    // (the cache's generation) follows its previous path as far as the new
    // key takes the same children, without looking those pages up again.
    bool seek(ByteView key, SeekMode mode);
    bool first();
    bool next();
    bool previous();
    bool valid() const { return !m_path.empty(); }
    void reset() { m_path.clear(); }
    // Valid while the cursor stays on its entry.
    ByteView key() const { return m_path.back().first->key(m_path.back().second); }
    ByteView data() const { return m_path.back().first->data(m_path.back().second); }

private:
    bool descend_edge(bool leftmost);
    bool step(bool forward);
    StoreImpl* m_store;
    std::vector<std::pair<std::shared_ptr<const PageNode>, size_t>> m_path;
    // What the path was built under: the cache's generation and the root.
    uint64_t m_generation = 0;
    uint32_t m_root = 0;
};

// A commit whose first phase is done: its chain is announced at offset 0 and
// every reader slot stays held until the second phase writes the pages home
// (or the commit is abandoned and the chain forgotten).
struct PreparedCommit {
    struct Page {
        uint32_t home = 0;
        bool in_chain = false; // replaces a page: its copy is in the chain, home is written in phase 2
        uint64_t chain_offset = 0;
        uint32_t length = 0;
        Bytes image;                          // chain copies: empty when read back from the chain
        std::shared_ptr<const PageNode> node; // changed nodes, for the cache
    };
    std::vector<Page> pages;
    Bytes header_image;
    bool rebuilt = false; // the whole tree was written anew
    ZoneSlots zone_slots; // the used slots after the commit (not kept after a rebuild)
    Bytes chain_buffer;   // copies not yet written, to go at chain_buffer_at
    uint64_t chain_buffer_at = 0;
};

class StoreImpl {
public:
    StoreImpl(std::shared_ptr<FileIo> io, const StoreOptions& options);
    ~StoreImpl();

    // ---- I/O (store_access.cpp) ----
    size_t read_blocks(uint64_t offset, uint8_t* buffer, size_t length);
    void read_exactly(uint64_t offset, uint8_t* buffer, size_t length);
    void write_blocks(uint64_t offset, const uint8_t* buffer, size_t length);
    void flush_file();

    // ---- locks ----
    bool lock(uint32_t position, LockMode mode, bool wait);
    void unlock(uint32_t position, LockMode mode);
    // While this open denies writing to others, no other open can commit:
    // its accesses need no reader slot, as nothing can change the file under
    // them but its own commits.
    bool others_cannot_write() const {
        return m_sharing_held && (m_options.deny_write || m_options.exclusive);
    }

    // ---- header ----
    // 0, or 36 when the file is not a QVD file.
    int32_t load_header();
    // Chain start = end = used end, change counter + 1, at offset 0; returns that header.
    FileHeader reset_chain();
    void replay_chain(const FileHeader& disk);
    bool writer() const { return m_options.mode == OpenMode::ReadWrite; }

    // ---- tree (store_tree.cpp) ----
    std::shared_ptr<const PageNode> load_node(uint32_t home, int expected_level);
    // Reads the raw page image at a home offset (through the pending map).
    Bytes read_page(uint32_t home, int& size_class);
    // The same into `page`, grown as needed and never shrunk; returns the length.
    size_t read_page_into(uint32_t home, Bytes& page, int& size_class);
    // True when the cached header is loaded and the change counter on disk
    // shows no commit since (one 64-byte read).
    bool header_unchanged();
    // The header's first 64-byte block, decrypted: from the FileIo's mapping
    // when it has one, else read. False when the file is shorter.
    bool read_header_block(uint8_t* block);
    // Takes the reader slot that an access begun without one needs before it
    // reads the disk; RestartAccess when another process committed meanwhile.
    void take_late_reader_slot();
    std::optional<Bytes> tree_get(ByteView key);
    std::optional<Bytes> get(ByteView key);
    std::optional<Entry> seek(ByteView key, SeekMode mode, ByteView prefix);
    // The step from the entry the last seek answered to its neighbour, when
    // that answer is still current; nullopt when a full seek is needed.
    std::optional<std::optional<Entry>> seek_from_last(ByteView key, SeekMode mode, ByteView prefix);
    uint64_t count(ByteView prefix);

    // ---- reading without copies (store_views.cpp) ----
    // seek and get answering views: into the cached pages (held by
    // m_last_seek and m_get_cursor) when nothing is staged, else into copies
    // kept here. Valid until the next read or change of entries.
    std::optional<EntryView> seek_view(ByteView key, SeekMode mode, ByteView prefix);
    std::optional<ByteView> get_view(ByteView key);
    // A seek and the read of the entry `follow` names, in the caller's access.
    std::optional<FollowedEntry> seek_follow(ByteView key, SeekMode mode, ByteView prefix, bool exact,
                                             const FollowKey& follow);

    // ---- commit (store_commit.cpp) ----
    int32_t commit();
    // Phase 1; leaves m_prepared set (nothing to write: unset) and every
    // reader slot held. Outside a transaction the transaction record is dropped.
    int32_t prepare_commit(bool in_transaction);
    int32_t finish_commit();
    void abandon_commit();
    // A commit of many changes (store_rebuild.cpp): the tree written anew in
    // one ordered pass, within a bounded amount of memory.
    int32_t prepare_rebuild(const FileHeader& old_header);
    // Phase 1's writes: a page replacing one below the old end goes to the
    // chain, a new one home; then the new header closes the chain and the
    // old header at offset 0 names it.
    void write_ahead(PreparedCommit& prepared, uint64_t& chain, uint64_t old_end, uint32_t home, Bytes image,
                     std::shared_ptr<const PageNode> node);
    int32_t announce_commit(const FileHeader& old_header, const FileHeader& new_header, uint64_t chain_start,
                            uint64_t chain, PreparedCommit prepared);
    void write_chain_buffer(PreparedCommit& prepared);

    // ---- check (store_check.cpp) ----
    std::optional<std::string> check();
    StoreInfo info();

    std::shared_ptr<FileIo> m_io;
    StoreOptions m_options;
    std::optional<BlockCipher> m_cipher;
    FileHeader m_header;
    bool m_header_loaded = false;
    bool m_new_file = false;                          // the file held no bytes at the last header load
    std::unordered_map<uint32_t, uint32_t> m_pending; // home offset -> copy offset in the chain
    PageCache m_cache;
    Bytes m_page_buffer;    // pages read for decoding
    ZoneSlots m_zone_slots; // valid while its counter is the cached header's
    StagedChanges m_staged;
    // The tree position of the last seek's answer, valid while the page
    // cache's generation is unchanged and nothing is staged: a scan by
    // successive seeks steps from it instead of descending from the root.
    std::optional<TreeCursor> m_last_seek;
    TreeCursor m_get_cursor{*this}; // point reads reuse its path's storage
    uint64_t m_last_seek_generation = 0;
    Entry m_view_entry; // behind seek_view's answer when changes are staged
    Bytes m_view_data;  // behind get_view's answer when changes are staged
    Bytes m_follow_key; // seek_follow's scratch
    std::optional<uint32_t> m_issued_record;
    std::optional<PreparedCommit> m_prepared;
    bool m_rebuilding = false;
    int32_t m_write_error = 0;
    int32_t m_last_corruption = 0;
    int m_all_readers = 0;  // depth of held mode-2 locks
    int m_access_depth = 0; // nested accesses share one reader slot
    // An access answered from the cache runs without a reader slot until it
    // needs the disk (see AccessScope); a retry of a restarted one never does.
    bool m_unlocked_access = false;
    bool m_late_slot = false;
    bool m_no_unlocked_access = false;
    uint32_t m_next_slot = 0; // rotation of mode 1
    std::optional<uint32_t> m_reader_slot;
    int m_writer_holds = 0;
    bool m_sharing_held = false;
    bool m_closed = false;
};

// Thrown when an access that began without a reader slot finds, on taking
// one, that another process committed meanwhile: the operation runs again.
struct RestartAccess {};

// Holds a reader slot (unless this store already holds all of them, or no
// other open can write) and brings the cached header up to date for the
// length of one operation.
//
// When the cached header is current and the change counter on disk has not
// moved, the access starts without a reader slot: whatever it answers from the
// cache is the state before any commit still in progress, since a committer
// raises the counter only after its pages are home. The first read of a page
// from the disk takes the slot and checks the counter again; if it moved, the
// pages used so far may be stale and the operation restarts (RestartAccess).
class AccessScope {
public:
    explicit AccessScope(StoreImpl& store);
    ~AccessScope();
    AccessScope(const AccessScope&) = delete;
    AccessScope& operator=(const AccessScope&) = delete;

private:
    StoreImpl& m_store;
    bool m_locked = false;
};

} // namespace morvex::qvd

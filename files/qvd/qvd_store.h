// The QVD container: one disk file holding several tables of ordered byte-key
// entries in a B+-tree of compressed pages, shared between processes through a
// change counter, a two-phase commit over a pending-page chain, and a lock
// area of byte-range locks. The QVD driver builds records and keys on top of
// the Store below; the container's own layout decisions are in docs/qvd.md.
#pragma once

#include "files/qvd/file_io.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvex::qvd {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

struct Entry {
    Bytes key;
    Bytes data;
};

enum class SeekMode { AtOrAfter, After, AtOrBefore, Before };

// An entry seen in place: the views stay valid until the next call on the
// Store that reads or changes entries (Lock, Unlock and IsLockedElsewhere
// leave them alone).
struct EntryView {
    ByteView key;
    ByteView data;
};

// An entry and the data of the entry it refers to, read in one access.
struct FollowedEntry {
    EntryView entry;
    std::optional<ByteView> followed; // nullopt: it refers to nothing, or that entry is missing
};
// Gives the key of the entry `found` refers to in `key` (which holds a
// previous key: assign, do not append); false when it refers to none.
using FollowKey = std::function<bool(const EntryView& found, Bytes& key)>;

enum class OpenMode { ReadOnly, ReadWrite };

// Modes of the lock area: the writer byte, one reader slot, all reader slots.
enum class LockMode { Writer = 0, Reader = 1, AllReaders = 2 };

// The entry type of the table directory's entries (in table 0); the other
// types that follow a table number are the driver's (qvd_entries.h).
constexpr uint8_t EntryTableName = 0xF0;

// The key of the transaction record, the entry that ties a commit to a
// multi-file transaction (see qvd_transaction.h). Reserved: a commit outside
// a transaction drops it.
constexpr uint8_t TransactionRecordKey = 0xFF;

// Largest key and key + data the container accepts; a longer entry is
// corruption 824 (it could never be stored in one page).
constexpr size_t MaxKeyLength = 2000;
constexpr size_t MaxEntryLength = 15086;
// The table number that holds the table directory; user tables start at 1.
constexpr uint32_t DirectoryTable = 0;
constexpr std::string_view DefaultTableName = "UNNAMED";

// The 5 bytes every key of a table's entries of one type starts with: the
// table number (4 bytes, little-endian) and the entry type.
Bytes TableKeyPrefix(uint32_t table, uint8_t entry_type);

struct StoreOptions {
    OpenMode mode = OpenMode::ReadWrite;
    bool create_if_missing = false; // CREATE: make an empty file (header only)
    // Sharing modes of OPEN: `deny_read` / `deny_write` refuse others that
    // read / write, and an open is refused (5) when it would read or write
    // against another's denial or deny what another already does;
    // `exclusive` denies both. `write_only`: this open does not read.
    bool exclusive = false;
    bool deny_read = false;
    bool deny_write = false;
    bool write_only = false;
    size_t cache_bytes = 128 << 20; // bound of the page cache
    // From this many staged changes on, a commit writes the tree anew in one
    // ordered pass with little memory (so many changes touch most pages of
    // any tree anyway) instead of merging them into a working copy of it.
    size_t rebuild_changes = 65536;
    // Staged changes beyond this many bytes of memory are written out to an
    // unnamed temporary file in `spill_directory` (empty: the system's
    // temporary directory) until the commit.
    size_t staging_bytes = 48 << 20;
    std::string spill_directory;
    std::shared_ptr<FileIo> io; // null: POSIX I/O (a seam for fault/crash tests)
    // ENCRYPT with an owner: every 64-byte block on disk is transformed with a
    // key derived from this text. Empty: the file is stored plain.
    std::string encryption_owner;
    // Asked when a pending commit is found (the transaction check): gets the
    // data of the entry with key 0xFF when there is one (nullptr otherwise) and
    // returns false when the commit must be rolled back. Null: always kept.
    std::function<bool(const Bytes* transaction_record)> keep_pending_commit;
};

struct ZoneInfo {
    int size_class = 0;
    uint32_t start_unit = 0;
    uint32_t end_unit = 0;
    uint64_t pages = 0; // pages of the tree found in the zone
};

struct TableInfo {
    std::string name;
    uint32_t number = 0;
    uint64_t entries = 0;
};

struct StoreInfo {
    uint32_t chain_start = 0;
    uint32_t chain_end = 0;
    uint32_t last_record_number = 0;
    uint32_t change_counter = 0;
    uint32_t root_offset = 0; // 0: empty tree
    uint64_t used_end = 0;
    uint64_t file_size = 0;
    int tree_levels = 0;
    uint64_t leaf_pages = 0;
    uint64_t inner_pages = 0;
    uint64_t entries = 0;
    std::vector<ZoneInfo> zones; // the non-empty zones
    std::vector<TableInfo> tables;
};

// A problem the integrity check found: its kind ("header", "chain", "page",
// "tree", "directory", "record", "key CUS:BYNAME", "memo", ...), the record
// it concerns (0: none) and what is wrong.
struct CheckProblem {
    std::string kind;
    uint32_t record = 0;
    std::string detail;
};
// "kind: record n: detail" ("record n: detail" for a record's own problem; no record part when none).
std::string CheckProblemText(const CheckProblem& problem);

// The problems of a check: the first ones in full, the rest counted.
class CheckReport {
public:
    static constexpr size_t Kept = 20;
    void add(std::string kind, uint32_t record, std::string detail);
    bool ok() const { return m_count == 0; }
    uint64_t count() const { return m_count; }
    const std::vector<CheckProblem>& first() const { return m_first; }

private:
    std::vector<CheckProblem> m_first;
    uint64_t m_count = 0;
};

class StoreImpl;

// Why an open failed: the error number and, in words, what lies behind it
// ("the file is in use by another program", the system's reason).
struct OpenFailure {
    int32_t error = 0;
    std::string reason;
};
// The reason of a 5 that is another open's sharing mode or lock, not a permission.
constexpr std::string_view FileInUse = "the file is in use by another program";

// Threads: a Store is not safe for concurrent use. Its calls must not
// overlap; several threads may use one Store one after another (as the
// runtime lock has them do with a file that is not THREAD; a THREAD file gives
// each thread an instance, with a Store of its own). A call that finds
// another thread inside the same Store ends the program (a fatal error)
// instead of corrupting its caches. Two Stores of one file, in one process or
// several, may be used at the same time: they meet only in the file's locks.
class Store {
public:
    // nullptr and `error` set on failure (runtime/error_numbers.h):
    // ErrFileNotFound, ErrPathNotFound, ErrAccessDenied (also in use by another
    // program: a sharing mode or lock refused), ErrInvalidDataFile (not a
    // regular file, a short header or bad magic, nothing written; or a damaged
    // file met while opening, when that is turned into a return), else the
    // system's error as OsErrorNumber.
    static std::unique_ptr<Store> Open(const std::string& path, const StoreOptions& options, int32_t& error);
    static std::unique_ptr<Store> Open(const std::string& path, const StoreOptions& options,
                                       OpenFailure& failure);
    // The same over a FileIo the caller made (options.io is ignored).
    static std::unique_ptr<Store> OpenIo(std::shared_ptr<FileIo> io, const StoreOptions& options,
                                         int32_t& error);
    static std::unique_ptr<Store> OpenIo(std::shared_ptr<FileIo> io, const StoreOptions& options,
                                         OpenFailure& failure);

    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Tables: a name ("UNNAMED" by default, compared without case) and a number
    // that starts the keys of all its entries.
    std::optional<uint32_t> FindTable(std::string_view name);
    uint32_t CreateTable(std::string_view name); // staged like any change; the existing number if present
    std::vector<std::pair<std::string, uint32_t>> Tables();

    // Ordered byte-key entries, staged in memory until Commit.
    std::optional<Bytes> Get(ByteView key);
    void Put(ByteView key, ByteView data);
    bool Erase(ByteView key); // false when absent
    // The nearest entry in the direction of `mode` from `key`, among the keys
    // that start with `prefix`. Stateless: callers keep their position as key bytes.
    std::optional<Entry> Seek(ByteView key, SeekMode mode, ByteView prefix);
    uint64_t Count(ByteView prefix);
    // Reading in place, for scans and lookups: Seek, or with `exact` the
    // entry whose key is `key` itself (Get), and then, within the same access
    // (one look at the header, one reader slot), the entry `follow` names
    // (null: none). No copies: the answer views the store's memory.
    std::optional<FollowedEntry> SeekFollow(ByteView key, SeekMode mode, ByteView prefix, bool exact,
                                            const FollowKey& follow);
    // A scan in place, for reading many entries in one access: from the entry
    // Seek(key, mode, prefix) finds, the entries in mode's direction that
    // start with `prefix`, each with the entry `follow` names (as SeekFollow),
    // are shown to `visit` until it answers false, they end, or `limit` were
    // shown. An access begun from the cache that has to be run again (another
    // process committed) goes on after the last entry shown, so that `visit`
    // sees each entry once, as in two accesses. Which of the three ended it;
    // at Limit the caller goes on from the last key shown, in a new access.
    enum class ScanEnd { Stopped, Ended, Limit };
    ScanEnd ScanFollow(ByteView key, SeekMode mode, ByteView prefix, const FollowKey& follow, size_t limit,
                       const std::function<bool(const FollowedEntry&)>& visit);

    // The next record number (writer only: a read-only store ends with
    // corruption 1163). For uniqueness between processes, hold the writer byte
    // (Lock(0, LockMode::Writer, ...)) from here until Commit.
    uint32_t IssueRecordNumber();

    // Two-phase commit of every staged change: 0 or an error number. After
    // an operation failed since the last commit or rollback (see
    // TakeFailure), what is staged may lack that operation's part: it is
    // dropped and the commit answers that operation's error.
    int32_t Commit();
    // The two phases apart, for a commit of several files together: after
    // PrepareCommit succeeded the commit is announced in the file (recovery
    // rolls it forward unless the transaction check says otherwise) and no
    // other open can read until FinishCommit or AbandonCommit.
    int32_t PrepareCommit();
    int32_t FinishCommit();
    void AbandonCommit();
    // Drops the staged changes (and abandons a prepared commit).
    void Rollback();
    // A statement's savepoint: RollbackTo takes back the changes staged since
    // (only the latest savepoint can be returned to).
    size_t Savepoint();
    void RollbackTo(size_t savepoint);
    bool HasStagedChanges() const;
    // Makes every committed change durable: 0, or the error of the write or
    // flush of this open that failed first (which every later call repeats).
    int32_t Flush();
    void Close();

    // The lock area. Position 0 with a mode, or a position p > 0 with mode
    // Writer (another mode is corruption 2328 for Lock, 2352 for Unlock).
    // Returns false when the lock is held elsewhere (wait = false).
    bool Lock(uint32_t position, LockMode mode, bool wait);
    void Unlock(uint32_t position, LockMode mode);
    // Whether another open (of this or another process) holds position lock
    // `position` (> 0); takes nothing, so it works on read-only opens too.
    bool IsLockedElsewhere(uint32_t position);

    // Which file this open reads, on this machine (see FileIo::local_identity).
    bool LocalIdentity(FileIdentity& identity);

    // Re-reads the header when another process committed (every access does).
    void Refresh();
    // The header's change counter after a Refresh: it moves with every
    // commit, of this open or another, so a reader that kept records can tell
    // that the file changed since it read them.
    uint32_t ChangeCounter();

    // The integrity check of the container: the header's fields, a pending
    // chain named at offset 0, every page of the tree (its zone and place in
    // it, its decoding, levels, separators, key order within and across
    // pages, no page used twice) and the table directory. True when the tree
    // could be walked whole, so that the entries can be read (the check of
    // the tables' entries, qvd_check.h).
    bool CheckContainer(CheckReport& report);
    // The first problem of CheckContainer as text; nullopt when sound.
    std::optional<std::string> Check();
    StoreInfo Info();

    // Set when a corruption was turned into a return (see qvd_corruption.h); 0 otherwise.
    int32_t LastCorruption() const;
    // The error of the last operation that returned empty-handed because it
    // failed rather than found nothing, once: ErrInvalidDataFile for a
    // corruption turned into a return (its code in LastCorruption),
    // ErrInsufficientMemory when memory ran out, a system error when a lock was refused; 0 when none
    // failed since the last call.
    int32_t TakeFailure();

private:
    explicit Store(std::unique_ptr<StoreImpl> impl);
    std::unique_ptr<StoreImpl> m_impl;
};

// A declared file name split into the disk file's path and the table name
// (see docs/qvd.md). `is_directory` answers whether a path names a directory;
// the default asks the file system.
struct SplitName {
    std::string path;
    std::string table;
};
SplitName SplitFileName(std::string_view name,
                        const std::function<bool(const std::string&)>& is_directory = nullptr);

} // namespace morvex::qvd

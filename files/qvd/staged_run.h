// Staged changes written out of memory: a sorted run in a temporary file,
// found again through a sparse index of its blocks and skipped through a
// Bloom filter, so that a transaction larger than memory can still answer
// point reads and be read in key order by its commit.
#pragma once

#include "files/qvd/qvd_store.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::qvd {

// The hash of a staged key, for the hash index and the runs' Bloom filters.
inline size_t StagedKeyHash(ByteView key) {
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
}

// A change as the staging keeps it: data nullopt when the entry is erased.
struct StagedChange {
    ByteView key;
    std::optional<ByteView> data;
};

// The temporary file that holds the runs: unnamed (O_TMPFILE, or unlinked
// at once), so it vanishes with the process.
class SpillFile {
public:
    // Fails (false) when no temporary file can be made in `directory`.
    bool open(const std::string& directory);
    void close();
    SpillFile() = default;
    ~SpillFile() { close(); }
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;
    bool is_open() const { return m_fd >= 0; }
    // Appends; false on a failed write.
    bool append(const uint8_t* bytes, size_t length, uint64_t& offset);
    bool read(uint64_t offset, uint8_t* bytes, size_t length) const;

private:
    int m_fd = -1;
    uint64_t m_end = 0;
};

class StagedRun {
public:
    // Builds a run from changes given in ascending key order (add), then
    // finish() writes the last block; false once a write has failed.
    explicit StagedRun(SpillFile& file, size_t expected_entries);
    bool add(ByteView key, std::optional<ByteView> data);
    bool finish();

    size_t size() const { return m_entries; }
    // The change for `key`, if the run holds one (views into `scratch`).
    std::optional<StagedChange> find(ByteView key, Bytes& scratch) const;

    // Reads the run in key order from any position.
    class Cursor {
    public:
        explicit Cursor(const StagedRun& run) : m_run(&run) {}
        // The first change at or after (after: past) `key`.
        bool seek_forward(ByteView key, bool inclusive);
        // The last change at or before (before: short of) `key`.
        bool seek_backward(ByteView key, bool inclusive);
        bool next();
        bool valid() const { return m_valid; }
        // Valid until the cursor moves.
        StagedChange change() const;

    private:
        bool load(size_t block);
        const StagedRun* m_run;
        size_t m_block = SIZE_MAX;
        Bytes m_bytes;
        std::vector<uint32_t> m_offsets; // of each entry in m_bytes
        size_t m_index = 0;
        bool m_valid = false;
    };

private:
    struct Block {
        Bytes first_key;
        uint64_t offset = 0;
        uint32_t length = 0;
    };
    bool flush_block();
    size_t bloom_bit(size_t hash, int i) const;
    bool may_contain(ByteView key) const;
    // The last block whose first key is at or below `key` (0 when none is).
    size_t block_for(ByteView key) const;
    bool read_block(size_t block, Bytes& bytes) const;

    SpillFile* m_file;
    std::vector<Block> m_blocks;
    Bytes m_pending; // the block being filled
    Bytes m_pending_first;
    std::vector<uint64_t> m_bloom;
    size_t m_entries = 0;
    bool m_failed = false;
};

} // namespace morvex::qvd

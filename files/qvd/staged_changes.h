// The changes a store holds until its commit: entries put or erased, kept
// compactly so that a transaction of many records costs little more memory
// than its bytes. The bytes go into an arena of large chunks, a hash index
// answers point lookups, and the key order is built only when it is asked
// for (a seek, a count, the commit): changes made since are sorted then and
// merged into the order already known. Past a memory bound the changes are
// written out as a sorted run (staged_run.h) and memory starts afresh, so a
// transaction may be larger than memory; the newest change of a key wins.
#pragma once

#include "files/qvd/qvd_store.h"
#include "files/qvd/staged_run.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvex::qvd {

class StagedChanges {
public:
    using Change = StagedChange;

    // Runs go to an unnamed file in `spill_directory` (empty: the system's
    // temporary directory) once memory holds more than `memory_bound` bytes.
    explicit StagedChanges(size_t memory_bound = SIZE_MAX, std::string spill_directory = {});

    void put(ByteView key, ByteView data);
    void erase(ByteView key);
    // The newest change staged for `key`, if any. Views stay valid until the
    // next find or change.
    std::optional<Change> find(ByteView key) const;
    bool contains(ByteView key) const { return find(key).has_value(); }
    bool empty() const { return m_slots.empty() && m_runs.empty(); }
    // The changes held (a key changed again after a spill counts twice).
    size_t size() const;
    // How many runs were written out of memory.
    size_t runs() const { return m_runs.size(); }
    // A statement's savepoint: undo_to() takes back every change made since.
    // Only the latest savepoint can be returned to. Once savepoints are in
    // use, changes are written out only at a savepoint, never inside a
    // statement.
    size_t savepoint();
    void undo_to(size_t savepoint);
    void clear();

    // Every change in key order (the newest of each key); valid until the
    // next change.
    class Cursor {
    public:
        // The nearest change from `key` in the direction of `mode`.
        bool seek(ByteView key, SeekMode mode);
        bool first() { return seek(ByteView(), SeekMode::AtOrAfter); }
        // The next change in key order (after a forward seek).
        bool next();
        bool valid() const { return m_valid; }
        // Valid until the cursor moves.
        const Change& change() const { return m_change; }

    private:
        friend class StagedChanges;
        explicit Cursor(const StagedChanges& staged);
        void pick();
        const StagedChanges* m_staged;
        size_t m_memory = 0;
        bool m_memory_valid = false;
        std::vector<StagedRun::Cursor> m_runs; // newest first
        bool m_forward = true;
        bool m_valid = false;
        Change m_change;
        Bytes m_key; // the current key, kept while the sources move on
    };
    Cursor cursor();

private:
    static constexpr uint32_t NoSlot = UINT32_MAX;
    struct Slot {
        uint32_t chunk = 0;
        uint32_t offset = 0;
        uint16_t key_length = 0;
        uint16_t data_length = 0;
        bool erased = false;
    };

    ByteView key_of(const Slot& slot) const {
        return ByteView(m_chunks[slot.chunk].get() + slot.offset, slot.key_length);
    }
    ByteView data_of(const Slot& slot) const {
        return ByteView(m_chunks[slot.chunk].get() + slot.offset + slot.key_length, slot.data_length);
    }
    Change change_of(uint32_t slot) const {
        const Slot& s = m_slots[slot];
        Change change{key_of(s), std::nullopt};
        if (!s.erased)
            change.data = data_of(s);
        return change;
    }
    // Copies `key` and `data` into the arena and points `slot` at them.
    void store(Slot& slot, ByteView key, ByteView data);
    uint32_t find_slot(ByteView key) const;
    void set(ByteView key, ByteView data, bool erased);
    void rebuild_index();
    // The memory part in key order: positions 0..m_slots.size()-1 after sort().
    void sort();
    void sort_by_prefix(size_t from);
    size_t lower_bound(ByteView key) const;
    size_t upper_bound(ByteView key) const;
    Change at(size_t position) const { return change_of(m_order[position]); }
    size_t memory_bytes() const;
    void clear_memory();
    // Writes the memory part out as a run (keeps it when that fails).
    void spill();

    std::vector<std::unique_ptr<uint8_t[]>> m_chunks;
    size_t m_chunk_size = 0; // of the last chunk
    size_t m_chunk_used = 0; // of the last chunk
    size_t m_arena_bytes = 0;
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_index; // open addressing: slot + 1, 0 empty
    std::vector<uint32_t> m_order; // slots in key order, then slots not yet placed
    size_t m_sorted = 0;           // how many of m_order are in key order
    // The latest savepoint, the slots it found, and since then the slots
    // older than it that changed, as they were.
    size_t m_savepoint = 0;
    size_t m_savepoint_slots = 0;
    std::vector<std::pair<uint32_t, Slot>> m_undo;
    bool m_savepoints_used = false;

    size_t m_memory_bound;
    std::string m_spill_directory;
    SpillFile m_spill_file;
    bool m_spill_failed = false;
    std::vector<std::unique_ptr<StagedRun>> m_runs; // oldest first
    size_t m_run_changes = 0;
    mutable Bytes m_scratch;
};

} // namespace morvex::qvd

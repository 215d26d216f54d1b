// The changes a store holds until its commit: entries put or erased, kept
// compactly so that a transaction of many records costs little more memory
// than its bytes. The bytes go into an arena of large chunks, a hash index
// answers point lookups, and the key order is built only when it is asked
// for (a seek, a count, the commit): changes made since are sorted then and
// merged into the order already known.
#pragma once

#include "files/qvd/qvd_store.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace morvex::qvd {

class StagedChanges {
public:
    struct Change {
        ByteView key;
        std::optional<ByteView> data; // nullopt: the entry is erased
    };

    void put(ByteView key, ByteView data);
    void erase(ByteView key);
    // The change staged for `key`, if any. Views stay valid until clear().
    std::optional<Change> find(ByteView key) const;
    bool contains(ByteView key) const { return find_slot(key) != NoSlot; }
    bool empty() const { return m_slots.empty(); }
    // A statement's savepoint: undo_to() takes back every change made since.
    // Only the latest savepoint can be returned to.
    size_t savepoint();
    void undo_to(size_t savepoint);
    size_t size() const { return m_slots.size(); }
    void clear();

    // Key order: positions 0..size()-1, valid after sort() until the next
    // put or erase of a key not staged before.
    void sort();
    size_t lower_bound(ByteView key);
    size_t upper_bound(ByteView key);
    Change at(size_t position) const { return change_of(m_order[position]); }

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
    // Sorts m_order from `from` on.
    void sort_by_prefix(size_t from);
    // Copies `key` and `data` into the arena and points `slot` at them.
    void store(Slot& slot, ByteView key, ByteView data);
    uint32_t find_slot(ByteView key) const;
    void set(ByteView key, ByteView data, bool erased);
    void rebuild_index();

    std::vector<std::unique_ptr<uint8_t[]>> m_chunks;
    size_t m_chunk_used = 0;
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_index; // open addressing: slot + 1, 0 empty
    std::vector<uint32_t> m_order; // slots in key order, then slots not yet placed
    size_t m_sorted = 0;           // how many of m_order are in key order
    // Since the savepoint: the slots older than it that changed, as they were.
    size_t m_savepoint_slots = 0;
    std::vector<std::pair<uint32_t, Slot>> m_undo;
};

} // namespace morvex::qvd

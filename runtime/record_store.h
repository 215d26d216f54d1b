// Fixed-size record storage in slabs: records keep their address for life,
// cost their own bytes and nothing per record besides, and freed slots are
// reused before a new slab is taken. Slabs start small and double up to
// 64 KiB, so a queue of a few records holds little memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace morvex {

class RecordStore {
public:
    explicit RecordStore(uint32_t record_size);

    // Makes room so that the next allocate() cannot fail; throws std::bad_alloc.
    void reserve_one();
    // A slot for one record; call reserve_one() first. Never throws then.
    uint8_t* allocate() noexcept;
    // Returns a slot; call reserve_release() first. Never throws then.
    void release(uint8_t* record) noexcept;
    // Makes room to release one more record; throws std::bad_alloc.
    void reserve_release();
    // Releases every record and every slab.
    void clear() noexcept;

    uint32_t record_size() const { return m_record_size; }
    // Bytes held by slabs and bookkeeping.
    std::size_t memory_usage() const;

private:
    struct Slab {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t capacity; // records
    };

    uint32_t m_record_size;
    std::vector<Slab> m_slabs;
    uint32_t m_used_in_last_slab = 0;
    std::vector<uint8_t*> m_free;
};

} // namespace morvex

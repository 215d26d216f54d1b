#include "runtime/record_store.h"

#include "runtime/reserve.h"

#include <algorithm>

namespace morvex {

namespace {
constexpr std::size_t FirstSlabBytes = 512;
constexpr std::size_t LargestSlabBytes = 64 * 1024;
} // namespace

RecordStore::RecordStore(uint32_t record_size) : m_record_size(std::max<uint32_t>(record_size, 1)) {}

void RecordStore::reserve_one() {
    if (!m_free.empty() || (!m_slabs.empty() && m_used_in_last_slab < m_slabs.back().capacity))
        return;
    const std::size_t bytes =
        m_slabs.empty()
            ? FirstSlabBytes
            : std::min(std::size_t{m_slabs.back().capacity} * m_record_size * 2, LargestSlabBytes);
    const auto capacity = static_cast<uint32_t>(std::max<std::size_t>(bytes / m_record_size, 1));
    reserve_one_more(m_slabs);
    m_slabs.push_back(
        Slab{std::make_unique_for_overwrite<uint8_t[]>(std::size_t{capacity} * m_record_size), capacity});
    m_used_in_last_slab = 0;
}

uint8_t* RecordStore::allocate() noexcept {
    if (!m_free.empty()) {
        uint8_t* record = m_free.back();
        m_free.pop_back();
        return record;
    }
    return m_slabs.back().bytes.get() + std::size_t{m_used_in_last_slab++} * m_record_size;
}

void RecordStore::reserve_release() {
    reserve_one_more(m_free);
}

void RecordStore::release(uint8_t* record) noexcept {
    m_free.push_back(record);
}

void RecordStore::clear() noexcept {
    m_slabs.clear();
    m_slabs.shrink_to_fit();
    m_free.clear();
    m_free.shrink_to_fit();
    m_used_in_last_slab = 0;
}

std::size_t RecordStore::memory_usage() const {
    std::size_t bytes = m_slabs.capacity() * sizeof(Slab) + m_free.capacity() * sizeof(uint8_t*);
    for (const Slab& slab : m_slabs)
        bytes += std::size_t{slab.capacity} * m_record_size;
    return bytes;
}

} // namespace morvex

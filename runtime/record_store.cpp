#include "runtime/record_store.h"

#include <algorithm>

#include "runtime/reserve.h"

namespace morvex {

namespace {
constexpr std::size_t SlabBytes = 64 * 1024;
}

RecordStore::RecordStore(uint32_t record_size)
    : m_record_size(std::max<uint32_t>(record_size, 1)),
      m_records_per_slab(static_cast<uint32_t>(std::max<std::size_t>(SlabBytes / m_record_size, 1))),
      m_used_in_last_slab(m_records_per_slab) {}

void RecordStore::reserve_one() {
    if (!m_free.empty() || m_used_in_last_slab < m_records_per_slab)
        return;
    reserve_one_more(m_slabs);
    m_slabs.push_back(std::make_unique_for_overwrite<uint8_t[]>(std::size_t{m_records_per_slab} * m_record_size));
    m_used_in_last_slab = 0;
}

uint8_t* RecordStore::allocate() noexcept {
    if (!m_free.empty()) {
        uint8_t* record = m_free.back();
        m_free.pop_back();
        return record;
    }
    return m_slabs.back().get() + std::size_t{m_used_in_last_slab++} * m_record_size;
}

void RecordStore::reserve_release() { reserve_one_more(m_free); }

void RecordStore::release(uint8_t* record) noexcept { m_free.push_back(record); }

void RecordStore::clear() noexcept {
    m_slabs.clear();
    m_slabs.shrink_to_fit();
    m_free.clear();
    m_free.shrink_to_fit();
    m_used_in_last_slab = m_records_per_slab;
}

std::size_t RecordStore::memory_usage() const {
    return m_slabs.size() * std::size_t{m_records_per_slab} * m_record_size +
           m_slabs.capacity() * sizeof(m_slabs[0]) + m_free.capacity() * sizeof(m_free[0]);
}

} // namespace morvex

#include "files/qvd/zone_slots.h"

#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_corruption.h"

#include <algorithm>
#include <bit>

namespace morvex::qvd {

size_t SlotCount(const FileHeader& header, int size_class) {
    const uint32_t start = header.zone_start[size_class];
    const uint32_t end = header.zone_end[size_class];
    return end > start ? (end - start) / size_class : 0;
}

ZoneSlots::ZoneSlots(const FileHeader& header) {
    for (int c = 1; c <= MaxSizeClass; ++c) {
        m_count[c] = SlotCount(header, c);
        m_bits[c].assign((m_count[c] + 63) / 64, 0);
    }
}

bool ZoneSlots::used(int size_class, size_t slot) const {
    return slot < m_count[size_class] && (m_bits[size_class][slot / 64] >> (slot % 64) & 1) != 0;
}

void ZoneSlots::take(int size_class, size_t slot) {
    if (slot >= m_count[size_class] || used(size_class, slot))
        QvdCorruption(CorruptTreeShape); // two references to one page
    m_bits[size_class][slot / 64] |= uint64_t{1} << (slot % 64);
    ++m_live[size_class];
}

void ZoneSlots::release(int size_class, size_t slot) {
    if (!used(size_class, slot))
        QvdCorruption(CorruptTreeShape);
    m_bits[size_class][slot / 64] &= ~(uint64_t{1} << (slot % 64));
    --m_live[size_class];
    m_first_free_word[size_class] = std::min(m_first_free_word[size_class], slot / 64);
}

std::optional<size_t> ZoneSlots::take_free(int size_class) {
    std::vector<uint64_t>& words = m_bits[size_class];
    size_t& w = m_first_free_word[size_class];
    for (; w < words.size(); ++w) {
        if (words[w] == ~uint64_t{0})
            continue;
        const size_t slot = w * 64 + static_cast<size_t>(std::countr_one(words[w]));
        if (slot >= m_count[size_class])
            break;
        take(size_class, slot);
        return slot;
    }
    return std::nullopt;
}

} // namespace morvex::qvd

#include "files/qvd/page_cache.h"

namespace morvex::qvd {

size_t PageCache::bucket_of(uint32_t home) const {
    // Homes are multiples of 256: a multiplicative hash spreads them.
    return static_cast<size_t>((uint64_t{home} * 0x9E3779B97F4A7C15ull) >> 32) & (m_table.size() - 1);
}

size_t PageCache::probe(uint32_t home) const {
    size_t b = bucket_of(home);
    while (m_table[b].entry != 0 && m_table[b].home != home)
        b = (b + 1) & (m_table.size() - 1);
    return b;
}

std::shared_ptr<const PageNode> PageCache::find(uint32_t home) {
    if (m_table.empty())
        return nullptr;
    const Bucket& bucket = m_table[probe(home)];
    if (bucket.entry == 0)
        return nullptr;
    Entry& entry = m_entries[bucket.entry - 1];
    entry.used = true;
    return entry.node;
}

void PageCache::grow_table() {
    std::vector<Bucket> old = std::move(m_table);
    m_table.assign(old.empty() ? 64 : old.size() * 2, Bucket{});
    for (const Bucket& bucket : old) {
        if (bucket.entry != 0)
            m_table[probe(bucket.home)] = bucket;
    }
}

void PageCache::insert(uint32_t home, std::shared_ptr<const PageNode> node) {
    erase(home);
    if (2 * (m_count + 1) > m_table.size())
        grow_table();
    size_t index;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
    } else {
        index = m_entries.size();
        m_entries.emplace_back();
    }
    Entry& entry = m_entries[index];
    entry.bytes = node->memory();
    entry.node = std::move(node);
    entry.home = home;
    entry.used = true; // so that it outlives the hand's next pass
    m_table[probe(home)] = Bucket{home, static_cast<uint32_t>(index + 1)};
    m_bytes += entry.bytes;
    ++m_count;
    evict();
}

void PageCache::evict() {
    while (m_bytes > m_capacity && m_count > 1) {
        if (m_hand >= m_entries.size())
            m_hand = 0;
        Entry& entry = m_entries[m_hand];
        if (entry.node && entry.used) {
            entry.used = false;
        } else if (entry.node) {
            remove_bucket(probe(entry.home));
            remove_entry(m_hand);
        }
        ++m_hand;
    }
}

void PageCache::remove_entry(size_t index) {
    Entry& entry = m_entries[index];
    m_bytes -= entry.bytes;
    --m_count;
    entry = Entry{};
    m_free.push_back(static_cast<uint32_t>(index));
}

// Linear probing without tombstones: the buckets after the removed one that
// could not sit in their own bucket move back into the gap.
void PageCache::remove_bucket(size_t bucket) {
    const size_t mask = m_table.size() - 1;
    size_t gap = bucket;
    size_t next = (gap + 1) & mask;
    while (m_table[next].entry != 0) {
        const size_t home_bucket = bucket_of(m_table[next].home);
        // Moves back when its own bucket does not lie in (gap, next].
        if (((next - home_bucket) & mask) >= ((next - gap) & mask)) {
            m_table[gap] = m_table[next];
            gap = next;
        }
        next = (next + 1) & mask;
    }
    m_table[gap] = Bucket{};
}

void PageCache::erase(uint32_t home) {
    if (m_table.empty())
        return;
    const size_t bucket = probe(home);
    if (m_table[bucket].entry == 0)
        return;
    ++m_generation;
    const size_t index = m_table[bucket].entry - 1;
    remove_bucket(bucket);
    remove_entry(index);
}

void PageCache::clear() {
    ++m_generation;
    m_entries.clear();
    m_free.clear();
    m_table.clear();
    m_bytes = 0;
    m_count = 0;
    m_hand = 0;
}

} // namespace morvex::qvd

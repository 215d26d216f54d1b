#include "files/qvd/page_cache.h"

namespace morvex::qvd {

std::shared_ptr<const PageNode> PageCache::find(uint32_t home) {
    auto it = m_map.find(home);
    if (it == m_map.end())
        return nullptr;
    it->second->used = true;
    return it->second->node;
}

void PageCache::insert(uint32_t home, std::shared_ptr<const PageNode> node) {
    erase(home);
    const size_t size = node->memory();
    // Inserted as used, so that it outlives the next pass of eviction.
    m_order.push_front(Slot{home, std::move(node), size, true});
    m_map[home] = m_order.begin();
    m_bytes += size;
    while (m_bytes > m_capacity && m_order.size() > 1) {
        Slot& oldest = m_order.back();
        if (oldest.used) {
            oldest.used = false;
            m_order.splice(m_order.begin(), m_order, std::prev(m_order.end()));
            continue;
        }
        m_bytes -= oldest.bytes;
        m_map.erase(oldest.home);
        m_order.pop_back();
    }
}

void PageCache::erase(uint32_t home) {
    auto it = m_map.find(home);
    if (it == m_map.end())
        return;
    ++m_generation;
    m_bytes -= it->second->bytes;
    m_order.erase(it->second);
    m_map.erase(it);
}

void PageCache::clear() {
    ++m_generation;
    m_order.clear();
    m_map.clear();
    m_bytes = 0;
}

} // namespace morvex::qvd

#include "files/qvd/page_cache.h"

namespace morvex::qvd {

std::shared_ptr<const PageNode> PageCache::find(uint32_t home) {
    auto it = m_map.find(home);
    if (it == m_map.end())
        return nullptr;
    m_order.splice(m_order.begin(), m_order, it->second);
    return it->second->node;
}

void PageCache::insert(uint32_t home, std::shared_ptr<const PageNode> node) {
    erase(home);
    const size_t size = node->memory();
    m_order.push_front(Slot{home, std::move(node), size});
    m_map[home] = m_order.begin();
    m_bytes += size;
    while (m_bytes > m_capacity && m_order.size() > 1) {
        m_bytes -= m_order.back().bytes;
        m_map.erase(m_order.back().home);
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

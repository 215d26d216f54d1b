// Decoded pages of one open QVD file, keyed by home offset, put out once the
// byte bound is passed by second chance: the oldest page goes unless it was
// used since it last came up, in which case it starts again as the newest.
// A hit only sets a flag, so reading from the cache never reorders it. The
// store drops it whole when another process's commit raised the change counter.
#pragma once

#include "files/qvd/page_codec.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

namespace morvex::qvd {

class PageCache {
public:
    explicit PageCache(size_t capacity_bytes) : m_capacity(capacity_bytes) {}

    std::shared_ptr<const PageNode> find(uint32_t home);
    void insert(uint32_t home, std::shared_ptr<const PageNode> node);
    void erase(uint32_t home);
    void clear();
    size_t bytes() const { return m_bytes; }
    size_t pages() const { return m_map.size(); }
    // Changes whenever a cached page is dropped or replaced (not when one is
    // evicted for room): a reader's remembered position is stale then.
    uint64_t generation() const { return m_generation; }

private:
    struct Slot {
        uint32_t home;
        std::shared_ptr<const PageNode> node;
        size_t bytes;
        bool used; // found since it was inserted or last came up for eviction
    };
    size_t m_capacity;
    size_t m_bytes = 0;
    uint64_t m_generation = 0;
    std::list<Slot> m_order; // newest first
    std::unordered_map<uint32_t, std::list<Slot>::iterator> m_map;
};

} // namespace morvex::qvd

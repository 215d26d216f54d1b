// Decoded pages of one open QVD file, keyed by home offset, put out once the
// byte bound is passed by second chance (the clock): the hand passes over the
// pages in turn and puts out the first one not used since it last came by,
// clearing the mark of those that were. A hit only sets that mark, so reading
// from the cache never reorders it. The store drops it whole when another
// process's commit raised the change counter.
//
// A lookup is one probe of a flat table of (home, entry) pairs and one read
// of the entry: the tree's searches look a page up on every level.
#pragma once

#include "files/qvd/page_codec.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace morvex::qvd {

class PageCache {
public:
    explicit PageCache(size_t capacity_bytes) : m_capacity(capacity_bytes) {}

    std::shared_ptr<const PageNode> find(uint32_t home);
    void insert(uint32_t home, std::shared_ptr<const PageNode> node);
    void erase(uint32_t home);
    void clear();
    size_t bytes() const { return m_bytes; }
    size_t pages() const { return m_count; }
    // Changes whenever a cached page is dropped or replaced (not when one is
    // evicted for room): a reader's remembered position is stale then.
    uint64_t generation() const { return m_generation; }

private:
    struct Entry {
        std::shared_ptr<const PageNode> node; // null: a free entry
        size_t bytes = 0;
        uint32_t home = 0;
        bool used = false; // found since it was inserted or the hand last passed it
    };
    struct Bucket {
        uint32_t home = 0;
        uint32_t entry = 0; // index + 1; 0: empty
    };

    size_t bucket_of(uint32_t home) const;
    // The bucket holding `home`, or the empty bucket where it would go.
    size_t probe(uint32_t home) const;
    void remove_bucket(size_t bucket);
    void remove_entry(size_t index);
    void grow_table();
    void evict();

    size_t m_capacity;
    size_t m_bytes = 0;
    size_t m_count = 0;
    uint64_t m_generation = 0;
    std::vector<Entry> m_entries;
    std::vector<uint32_t> m_free; // indices of free entries
    size_t m_hand = 0;
    std::vector<Bucket> m_table; // a power of two long, at most half full
};

} // namespace morvex::qvd

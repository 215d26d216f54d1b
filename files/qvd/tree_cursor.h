// A position in the tree of an open QVD file: the path of decoded pages from
// the root to a leaf entry, stepped forwards and backwards across leaves
// (store_tree.cpp).
#pragma once

#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_store.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace morvex::qvd {

class StoreImpl;

class TreeCursor {
public:
    explicit TreeCursor(StoreImpl& store) : m_store(&store) {}
    // Places the cursor at the entry nearest to `key` in the direction of `mode`.
    // A cursor sought again while no cached page was dropped or replaced
    // (the cache's generation) follows its previous path as far as the new
    // key takes the same children, without looking those pages up again.
    bool seek(ByteView key, SeekMode mode);
    bool first();
    bool next();
    bool previous();
    bool valid() const { return !m_path.empty(); }
    void reset() { m_path.clear(); }
    // Valid while the cursor stays on its entry.
    ByteView key() const { return m_path.back().first->key(m_path.back().second); }
    ByteView data() const { return m_path.back().first->data(m_path.back().second); }

private:
    bool step(bool forward);
    StoreImpl* m_store;
    std::vector<std::pair<std::shared_ptr<const PageNode>, size_t>> m_path;
    // What the path was built under: the cache's generation and the root.
    uint64_t m_generation = 0;
    uint32_t m_root = 0;
};

} // namespace morvex::qvd

// Reading the tree: pages through the pending map and the page cache, the
// cursor over leaf entries, and the staged changes laid over the tree.
#include "files/qvd/key_compare.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"

#include <algorithm>

namespace morvex::qvd {

namespace {

bool StartsWith(ByteView key, ByteView prefix) {
    return key.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), key.begin());
}

// The first index in [from, node.size()) whose key is above `key` (or at or
// above it when `or_equal`).
//
// A large node is first narrowed by interpolation: past the prefix its first
// and last keys share, the next 8 bytes read as numbers grow with the keys,
// so the key's own number places a guess (exact for record numbers, which
// run densely through a node). The guess only narrows the range; a few steps
// from it, or the binary search after them, find the answer. The keys
// between two bounds share with `key` at least the prefix both bounds share
// with it, so comparisons start there.
size_t Bound(const PageNode& node, size_t from, ByteView key, bool or_equal) {
    size_t low = from;
    size_t high = node.size();
    size_t low_common = 0;  // bytes `key` shares with the key just below `low` (0: none known)
    size_t high_common = 0; // ... and with the key at `high`
    auto goes_low = [&](size_t index, size_t& common) {
        const int c = CompareKeysFrom(node.key(index), key, common);
        return c < 0 || (c == 0 && !or_equal);
    };
    constexpr size_t InterpolateFrom = 16;
    constexpr int Steps = 2;
    if (high - low >= InterpolateFrom && from == node.range_start()) {
        const size_t shared = node.range_shared;
        // Whether `key` starts with the prefix every key of the range shares.
        bool in_prefix = key.size() >= shared;
        if (in_prefix && shared > 0 && shared <= PageNode::InlinePrefix) {
            in_prefix = std::memcmp(key.data(), node.range_prefix, shared) == 0;
        } else if (in_prefix) {
            size_t with_key = 0;
            CompareKeysFrom(node.key(low), key, with_key);
            in_prefix = with_key >= shared;
        }
        const uint64_t a = node.range_first;
        const uint64_t b = node.range_last;
        const uint64_t t = in_prefix ? KeyWordAt(key, shared) : 0;
        if (in_prefix && a < b && t >= a && t <= b) {
            const size_t span = high - 1 - low;
            // The fraction in double precision: exact enough for a guess.
            const double fraction = static_cast<double>(t - a) / static_cast<double>(b - a);
            size_t guess = low + std::min(span, static_cast<size_t>(fraction * static_cast<double>(span)));
            size_t common = shared;
            if (goes_low(guess, common)) {
                low = guess + 1;
                for (int step = 0; step < Steps && low < high; ++step) {
                    common = shared;
                    if (!goes_low(low, common))
                        return low;
                    ++low;
                }
            } else {
                high = guess;
                for (int step = 0; step < Steps && low < high; ++step) {
                    common = shared;
                    if (goes_low(high - 1, common))
                        return high;
                    --high;
                }
            }
            low_common = high_common = shared;
        }
    }
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        size_t common = std::min(low_common, high_common);
        if (goes_low(mid, common)) {
            low = mid + 1;
            low_common = common;
        } else {
            high = mid;
            high_common = common;
        }
    }
    return low;
}

} // namespace

Bytes StoreImpl::read_page(uint32_t home, int& size_class) {
    Bytes page;
    const size_t length = read_page_into(home, page, size_class);
    page.resize(length);
    return page;
}

size_t StoreImpl::read_page_into(uint32_t home, Bytes& page, int& size_class) {
    AccessScope::take_late_slot(*this);
    if (home < FileHeaderSize || (home - FileHeaderSize) % UnitSize != 0)
        QvdCorruption(CorruptTreeShape);
    const uint32_t unit = (home - FileHeaderSize) / UnitSize;
    size_class = header().ClassOfUnit(unit);
    if (size_class == 0)
        QvdCorruption(CorruptUnitInNoZone);
    const size_t length = static_cast<size_t>(size_class) * UnitSize;
    const uint64_t offset = m_header.read_offset(home);
    if (page.size() < length)
        page.resize(length);
    read_exactly(offset, page.data(), length);
    const size_t stored = Load16(page.data() + 4);
    if (stored > MaxPageSize)
        QvdCorruption(CorruptPageTooLarge);
    if (RoundToUnit(stored) != length)
        QvdCorruption(CorruptPageClassMismatch);
    return length;
}

std::shared_ptr<const PageNode> StoreImpl::load_node(uint32_t home, int expected_level) {
    std::shared_ptr<const PageNode> node = m_cache.find(home);
    if (!node) {
        int size_class = 0;
        const size_t length = read_page_into(home, m_page_buffer, size_class);
        auto decoded = std::make_shared<PageNode>();
        if (const int32_t code = DecodePage(ByteView(m_page_buffer.data(), length), length, *decoded))
            QvdCorruption(code);
        if (Load32(m_page_buffer.data()) != home)
            QvdCorruption(CorruptTreeShape);
        m_cache.insert(home, decoded);
        node = std::move(decoded);
    }
    if ((expected_level >= 0 && node->level != expected_level) || (!node->is_leaf() && node->size() == 0))
        QvdCorruption(CorruptTreeShape);
    return node;
}

// ---- cursor ----

bool TreeCursor::seek(ByteView key, SeekMode mode) {
    const uint32_t root = m_store->header().root;
    const uint64_t generation = m_store->cache().generation();
    // Each element of a path is the child (or leaf entry) its predecessor's
    // index leads to, also after step() and in what an exception left behind;
    // so a path built under this root and generation can be followed again.
    const bool follow = !m_path.empty() && m_generation == generation && m_root == root;
    if (!follow)
        m_path.clear();
    m_generation = generation;
    m_root = root;
    if (root == 0) {
        m_path.clear();
        return false;
    }
    std::shared_ptr<const PageNode> node = follow ? m_path.front().first : m_store->load_node(root, -1);
    size_t depth = 0; // the level of `node` counted from the root: its element in m_path
    bool following = follow;
    while (!node->is_leaf()) {
        // The child whose separator is the last one at or below the key; the
        // first separator never excludes anything.
        const size_t index = Bound(*node, 1, key, false) - 1;
        if (following && depth + 1 < m_path.size() && m_path[depth].second == index) {
            node = m_path[++depth].first;
            continue;
        }
        following = false;
        m_path.resize(depth);
        m_path.emplace_back(node, index);
        node = m_store->load_node(node->children[index], node->level - 1);
        ++depth;
    }
    m_path.resize(depth);
    const size_t lower_index = Bound(*node, 0, key, true);
    const size_t upper_index =
        lower_index < node->size() && CompareKeysInline(node->key(lower_index), key) == 0 ? lower_index + 1
                                                                                          : lower_index;
    switch (mode) {
    case SeekMode::AtOrAfter:
        m_path.emplace_back(node, lower_index);
        return step(true);
    case SeekMode::After:
        m_path.emplace_back(node, upper_index);
        return step(true);
    case SeekMode::AtOrBefore:
        m_path.emplace_back(node, upper_index);
        return step(false);
    case SeekMode::Before:
        m_path.emplace_back(node, lower_index);
        return step(false);
    }
    return false;
}

bool TreeCursor::first() {
    return seek(ByteView(), SeekMode::AtOrAfter);
}

bool TreeCursor::next() {
    if (m_path.empty())
        return false;
    ++m_path.back().second;
    return step(true);
}

bool TreeCursor::previous() {
    if (m_path.empty())
        return false;
    return step(false);
}

// Forward: settles on the entry at the leaf position, or the first one after
// it. Backward: settles on the entry just before the leaf position.
bool TreeCursor::step(bool forward) {
    if (!forward) {
        auto& [leaf, pos] = m_path.back();
        if (pos > 0) {
            --pos;
            return true;
        }
    } else if (m_path.back().second < m_path.back().first->size()) {
        return true;
    }
    // Leaves must follow each other in key order; this also ends a walk over
    // a damaged tree that references one page twice.
    const std::shared_ptr<const PageNode> from_leaf = m_path.back().first; // keeps `from` alive
    const bool have_from = from_leaf->size() > 0;
    const ByteView from = have_from ? from_leaf->key(forward ? from_leaf->size() - 1 : 0) : ByteView();
    while (true) {
        m_path.pop_back();
        // Climb to the nearest ancestor with a sibling in the direction.
        while (!m_path.empty()) {
            auto& [node, index] = m_path.back();
            if (forward && index + 1 < node->size()) {
                ++index;
                break;
            }
            if (!forward && index > 0) {
                --index;
                break;
            }
            m_path.pop_back();
        }
        if (m_path.empty())
            return false;
        // Descend along the near edge of the sibling subtree.
        std::shared_ptr<const PageNode> node = m_path.back().first;
        size_t index = m_path.back().second;
        while (!node->is_leaf()) {
            std::shared_ptr<const PageNode> child =
                m_store->load_node(node->children[index], node->level - 1);
            node = child;
            index = forward ? 0 : node->size() - 1;
            if (!node->is_leaf())
                m_path.emplace_back(node, index);
        }
        if (node->size() > 0) {
            m_path.emplace_back(node, forward ? 0 : node->size() - 1);
            if (have_from && (forward ? !KeyLess(from, key()) : !KeyLess(key(), from)))
                QvdCorruption(CorruptKeyOrder);
            return true;
        }
        m_path.emplace_back(node, 0); // an empty leaf: keep walking
    }
}

// ---- reading with staged changes ----

std::optional<Bytes> StoreImpl::tree_get(ByteView key) {
    TreeCursor& cursor = m_views.point_cursor();
    std::optional<Bytes> found;
    if (cursor.seek(key, SeekMode::AtOrAfter) && CompareKeys(cursor.key(), key) == 0) {
        const ByteView data = cursor.data();
        found.emplace(data.begin(), data.end());
    }
    cursor.reset(); // holds no pages between reads
    return found;
}

std::optional<Bytes> StoreImpl::get(ByteView key) {
    if (const std::optional<StagedChanges::Change> staged = m_staged.find(key)) {
        if (!staged->data)
            return std::nullopt;
        return Bytes(staged->data->begin(), staged->data->end());
    }
    return tree_get(key);
}

namespace {

bool Forward(SeekMode mode) {
    return mode == SeekMode::AtOrAfter || mode == SeekMode::After;
}

} // namespace

ByteView SeekStart(ByteView key, SeekMode& mode, ByteView prefix, Bytes& storage) {
    if (Forward(mode) && KeyLess(key, prefix)) {
        mode = SeekMode::AtOrAfter;
        return prefix;
    }
    if (Forward(mode) || StartsWith(key, prefix) || !KeyLess(prefix, key))
        return key;
    // Backwards from past the prefix: from the first key above all it covers.
    storage.assign(prefix.begin(), prefix.end());
    while (!storage.empty() && storage.back() == 0xFF)
        storage.pop_back();
    if (storage.empty())
        storage.assign(MaxKeyLength + 1, 0xFF); // above every key the container accepts
    else
        ++storage.back();
    mode = SeekMode::Before;
    return storage;
}

std::optional<Entry> StoreImpl::seek(ByteView key_in, SeekMode mode, ByteView prefix) {
    if (std::optional<std::optional<Entry>> stepped = m_views.step_from_last(key_in, mode, prefix))
        return std::move(*stepped);
    m_views.forget_last();
    const bool forward = Forward(mode);
    Bytes storage;
    const ByteView key = SeekStart(key_in, mode, prefix, storage);

    // The tree's nearest entry that no staged change replaces or erases.
    std::optional<Entry> from_tree;
    TreeCursor cursor(*this);
    bool found = cursor.seek(key, mode);
    while (found) {
        if (m_staged.empty() || !m_staged.contains(cursor.key())) {
            const ByteView k = cursor.key();
            const ByteView d = cursor.data();
            from_tree = Entry{Bytes(k.begin(), k.end()), Bytes(d.begin(), d.end())};
            if (m_staged.empty())
                m_views.remember(std::move(cursor));
            break;
        }
        if (!StartsWith(cursor.key(), prefix))
            break;
        found = forward ? cursor.next() : cursor.previous();
    }

    // The nearest staged entry that is not an erasure.
    std::optional<Entry> from_staged;
    if (!m_staged.empty()) {
        StagedChanges::Cursor changes = m_staged.cursor();
        for (bool found = changes.seek(key, mode); found;) {
            const StagedChanges::Change& change = changes.change();
            if (change.data) {
                from_staged = Entry{Bytes(change.key.begin(), change.key.end()),
                                    Bytes(change.data->begin(), change.data->end())};
                break;
            }
            if (!StartsWith(change.key, prefix))
                break;
            const Bytes erased(change.key.begin(), change.key.end());
            found = changes.seek(erased, forward ? SeekMode::After : SeekMode::Before);
        }
    }

    std::optional<Entry> result;
    if (from_tree && from_staged) {
        const bool staged_nearer =
            forward ? KeyLess(from_staged->key, from_tree->key) : KeyLess(from_tree->key, from_staged->key);
        result = staged_nearer ? std::move(from_staged) : std::move(from_tree);
    } else {
        result = from_tree ? std::move(from_tree) : std::move(from_staged);
    }
    if (result && !StartsWith(result->key, prefix))
        return std::nullopt;
    return result;
}

uint64_t StoreImpl::count(ByteView prefix) {
    uint64_t n = 0;
    TreeCursor cursor(*this);
    for (bool ok = cursor.seek(prefix, SeekMode::AtOrAfter); ok && StartsWith(cursor.key(), prefix);
         ok = cursor.next()) {
        ++n;
    }
    if (m_staged.empty())
        return n;
    StagedChanges::Cursor changes = m_staged.cursor();
    for (bool found = changes.seek(prefix, SeekMode::AtOrAfter);
         found && StartsWith(changes.change().key, prefix); found = changes.next()) {
        const StagedChanges::Change& change = changes.change();
        const bool in_tree = tree_get(change.key).has_value();
        if (change.data && !in_tree)
            ++n;
        else if (!change.data && in_tree)
            --n;
    }
    return n;
}

} // namespace morvex::qvd

// Merging staged changes into the tree: leaves take the changes in key order,
// inner nodes follow their children's first keys, nodes split past the page
// limits and underfull ones merge with a neighbour.
#include "files/qvd/commit_builder.h"

#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"

#include <algorithm>
#include <cstring>

namespace morvex::qvd {

namespace {

// Whether the cursor is on a change below `limit` (null: no limit).
bool Below(const StagedChanges::Cursor& changes, const ByteView* limit) {
    return changes.valid() && (!limit || KeyLess(changes.change().key, *limit));
}

bool SameBytes(ByteView a, ByteView b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// Less than a quarter of a page's content, counted roughly.
bool Underfull(const NodeView& node) {
    size_t bytes = 0;
    for (size_t i = 0; i < node.size() && bytes < SplitContent / 4; ++i)
        bytes += 1 + node.keys[i].size() + (node.is_leaf() ? node.data[i].size() : 4);
    return bytes < SplitContent / 4;
}

bool OverLimits(size_t content, size_t entries) {
    return content > MaxNodeContent || (content > SplitContent && entries > SplitEntries);
}

// Bounds the content from above and below before counting it exactly.
bool NeedsSplit(const NodeView& node) {
    const size_t refs = node.is_leaf() ? 0 : 4;
    size_t upper = PageHeaderSize - 10;
    size_t lower = PageHeaderSize - 10;
    for (size_t i = 0; i < node.size(); ++i) {
        const size_t bytes = node.keys[i].size() + (node.is_leaf() ? node.data[i].size() : 0);
        upper += 5 + bytes + refs;
        lower += 1 + (bytes > 63 ? bytes - 63 : 0) + refs;
    }
    if (!OverLimits(upper, node.size()))
        return false;
    if (OverLimits(lower, node.size()))
        return true;
    return OverLimits(NodeContent(node), node.size());
}

} // namespace

ByteView ByteArena::keep(ByteView bytes) {
    constexpr size_t MaxChunk = size_t{1} << 20;
    if (bytes.empty())
        return {};
    if (m_chunks.empty() || m_capacity - m_used < bytes.size()) {
        m_capacity = std::max(bytes.size(), std::min<size_t>(2 * m_capacity + 4096, MaxChunk));
        m_chunks.push_back(std::make_unique_for_overwrite<uint8_t[]>(m_capacity));
        m_used = 0;
    }
    uint8_t* at = m_chunks.back().get() + m_used;
    std::memcpy(at, bytes.data(), bytes.size());
    m_used += bytes.size();
    return ByteView(at, bytes.size());
}

WorkPtr CommitBuilder::merge(StagedChanges& staged, uint32_t root_home) {
    WorkPtr root;
    if (root_home != 0)
        root = load(root_home, -1);
    if (staged.empty())
        return root;
    if (!root) {
        root = std::make_unique<WorkNode>();
        root->dirty = true;
    }
    Changes changes = staged.cursor();
    changes.first();
    std::vector<WorkPtr> parts = apply(std::move(root), changes, nullptr);
    while (parts.size() > 1) { // the root split: a level grows on top
        auto parent = std::make_unique<WorkNode>();
        parent->dirty = true;
        parent->node.level = static_cast<uint8_t>(parts.front()->node.level + 1);
        for (WorkPtr& part : parts) {
            parent->node.keys.push_back(part->node.keys.front());
            parent->node.children.push_back(part->old_home);
            parent->loaded.push_back(std::move(part));
        }
        parts = split(std::move(parent));
    }
    root = parts.empty() ? nullptr : std::move(parts.front());
    while (root && !root->node.is_leaf() && root->node.size() == 1) { // a root of one child goes
        WorkPtr child =
            root->loaded[0] ? std::move(root->loaded[0]) : load(root->node.children[0], root->node.level - 1);
        root = std::move(child);
    }
    return root;
}

WorkPtr CommitBuilder::load(uint32_t home, int level) {
    if (!m_loaded_homes.insert(home).second)
        QvdCorruption(CorruptTreeShape); // one page referenced twice
    std::shared_ptr<const PageNode> node = m_store.load_node(home, level);
    auto work = std::make_unique<WorkNode>();
    FromPageNode(*node, work->node);
    work->old_home = home;
    work->loaded.resize(node->is_leaf() ? 0 : node->size());
    work->source = node;
    m_sources.push_back(std::move(node));
    return work;
}

std::vector<WorkPtr> CommitBuilder::apply(WorkPtr work, Changes& changes, const ByteView* limit) {
    return work->node.is_leaf() ? apply_leaf(std::move(work), changes, limit)
                                : apply_inner(std::move(work), changes, limit);
}

std::vector<WorkPtr> CommitBuilder::split(WorkPtr work) {
    std::vector<WorkPtr> parts;
    split_into(std::move(work), parts);
    return parts;
}

void CommitBuilder::load_inner_levels(WorkNode& work) {
    if (work.node.is_leaf())
        return;
    for (size_t i = 0; i < work.node.size(); ++i) {
        if (!work.loaded[i] && work.node.level > 1)
            work.loaded[i] = load(work.node.children[i], work.node.level - 1);
        if (work.loaded[i])
            load_inner_levels(*work.loaded[i]);
    }
}

std::vector<WorkPtr> CommitBuilder::apply_leaf(WorkPtr work, Changes& changes, const ByteView* limit) {
    NodeView& node = work->node;
    std::vector<ByteView> keys;
    std::vector<ByteView> data;
    keys.reserve(node.size() + 1);
    data.reserve(keys.capacity());
    size_t i = 0;
    for (; Below(changes, limit); changes.next()) {
        const StagedChanges::Change& change = changes.change();
        while (i < node.size() && KeyLess(node.keys[i], change.key)) {
            keys.push_back(node.keys[i]);
            data.push_back(node.data[i]);
            ++i;
        }
        if (i < node.size() && CompareKeys(node.keys[i], change.key) == 0)
            ++i; // replaced or erased
        if (change.data) {
            keys.push_back(m_arena.keep(change.key));
            data.push_back(m_arena.keep(*change.data));
        }
    }
    keys.insert(keys.end(), node.keys.begin() + static_cast<ptrdiff_t>(i), node.keys.end());
    data.insert(data.end(), node.data.begin() + static_cast<ptrdiff_t>(i), node.data.end());
    node.keys = std::move(keys);
    node.data = std::move(data);
    work->dirty = true;
    if (node.keys.empty())
        return {};
    return split(std::move(work));
}

// The node itself changes only when a child splits, merges, vanishes or
// gets another first key; a child that merely moves has its reference
// patched into the page as it was.
std::vector<WorkPtr> CommitBuilder::apply_inner(WorkPtr work, Changes& changes, const ByteView* limit) {
    NodeView& node = work->node;
    std::vector<ByteView> keys;
    std::vector<uint32_t> children;
    std::vector<WorkPtr> loaded;
    bool changed = false;
    for (size_t i = 0; i < node.size(); ++i) {
        // A child takes the changes below the next child's first key.
        const ByteView* child_limit = i + 1 < node.size() ? &node.keys[i + 1] : limit;
        if (!Below(changes, child_limit)) {
            keys.push_back(node.keys[i]);
            children.push_back(node.children[i]);
            loaded.push_back(std::move(work->loaded[i]));
            continue;
        }
        WorkPtr child = work->loaded[i] ? std::move(work->loaded[i]) : load(node.children[i], node.level - 1);
        std::vector<WorkPtr> parts = apply(std::move(child), changes, child_limit);
        changed = changed || parts.size() != 1 || parts.front()->old_home != node.children[i] ||
                  !SameBytes(parts.front()->node.keys.front(), node.keys[i]);
        for (WorkPtr& part : parts) {
            keys.push_back(part->node.keys.front());
            children.push_back(part->old_home);
            loaded.push_back(std::move(part));
        }
    }
    node.keys = std::move(keys);
    node.children = std::move(children);
    work->loaded = std::move(loaded);
    work->dirty = work->dirty || changed;
    merge_underfull_children(*work);
    if (node.keys.empty())
        return {};
    return split(std::move(work));
}

// A changed child left with little content is merged with a neighbour (and
// split again when the two are too much for one page), so that erasing
// shrinks the tree instead of leaving it full of near-empty pages.
void CommitBuilder::merge_underfull_children(WorkNode& parent) {
    NodeView& node = parent.node;
    size_t i = 0;
    while (i < node.size() && node.size() > 1) {
        WorkNode* child = parent.loaded[i].get();
        if (!child || !child->dirty || !Underfull(child->node)) {
            ++i;
            continue;
        }
        const size_t left = i + 1 < node.size() ? i : i - 1;
        const size_t right = left + 1;
        for (size_t k : {left, right}) {
            if (!parent.loaded[k])
                parent.loaded[k] = load(node.children[k], node.level - 1);
        }
        WorkNode& a = *parent.loaded[left];
        WorkNode& b = *parent.loaded[right];
        auto append = [](auto& to, auto& from) {
            to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
        };
        append(a.node.keys, b.node.keys);
        append(a.node.data, b.node.data);
        append(a.node.children, b.node.children);
        append(a.loaded, b.loaded);
        a.dirty = true;
        parent.dirty = true;
        if (!a.node.is_leaf())
            merge_underfull_children(a); // children that met at the seam
        node.keys.erase(node.keys.begin() + static_cast<ptrdiff_t>(right));
        node.children.erase(node.children.begin() + static_cast<ptrdiff_t>(right));
        parent.loaded.erase(parent.loaded.begin() + static_cast<ptrdiff_t>(right));

        std::vector<WorkPtr> parts = split(std::move(parent.loaded[left]));
        const auto at = static_cast<ptrdiff_t>(left);
        node.keys.erase(node.keys.begin() + at);
        node.children.erase(node.children.begin() + at);
        parent.loaded.erase(parent.loaded.begin() + at);
        for (size_t p = 0; p < parts.size(); ++p) {
            const auto pos = at + static_cast<ptrdiff_t>(p);
            node.keys.insert(node.keys.begin() + pos, parts[p]->node.keys.front());
            node.children.insert(node.children.begin() + pos, parts[p]->old_home);
            parent.loaded.insert(parent.loaded.begin() + pos, std::move(parts[p]));
        }
        i = left + (parts.size() > 1 ? parts.size() : 0);
    }
}

// A node of many pages' worth (a bulk load) is cut in one pass into pages
// filled up to the limits, each entry's encoded size known from its
// neighbour; halving it again and again would cost a pass per halving.
bool CommitBuilder::pack_large(WorkPtr& work, std::vector<WorkPtr>& parts) {
    NodeView& node = work->node;
    const size_t refs = node.is_leaf() ? 0 : 4;
    size_t rough = 0;
    for (size_t i = 0; i < node.size() && rough <= 4 * SplitContent; ++i)
        rough += node.keys[i].size() + (node.is_leaf() ? node.data[i].size() : 0) + refs;
    if (rough <= 4 * SplitContent)
        return false;
    auto entry_size = [&](size_t i, bool first_in_page) {
        const ByteView data = node.is_leaf() ? node.data[i] : ByteView();
        if (first_in_page)
            return EncodedEntrySize(ByteView(), 0, node.keys[i], data) + refs;
        const ByteView previous_data = node.is_leaf() ? node.data[i - 1] : ByteView();
        return EncodedEntrySize(node.keys[i - 1], previous_data, node.keys[i], data) + refs;
    };
    std::vector<size_t> cuts; // first index of every page after the first
    size_t content = PageHeaderSize - 10 + entry_size(0, true);
    size_t entries = 1;
    for (size_t i = 1; i < node.size(); ++i) {
        const size_t more = entry_size(i, false);
        if (OverLimits(content + more, entries + 1)) {
            cuts.push_back(i);
            content = PageHeaderSize - 10 + entry_size(i, true);
            entries = 1;
        } else {
            content += more;
            ++entries;
        }
    }
    // Fewer than four pages' worth: halving makes pages of even size,
    // which take later inserts without splitting at once.
    if (cuts.size() < 4)
        return false;
    // The last page would hold the remainder, often a handful of entries
    // that the next commit merges into a full neighbour again: the last
    // two pages share their entries evenly instead.
    const size_t last_begin = cuts[cuts.size() - 2];
    cuts.back() = last_begin + (node.size() - last_begin) / 2;
    cuts.push_back(node.size());
    size_t begin = 0;
    for (size_t end : cuts) {
        auto piece = std::make_unique<WorkNode>();
        piece->dirty = true;
        piece->node.level = node.level;
        const auto b = static_cast<ptrdiff_t>(begin);
        const auto e = static_cast<ptrdiff_t>(end);
        piece->node.keys.assign(std::make_move_iterator(node.keys.begin() + b),
                                std::make_move_iterator(node.keys.begin() + e));
        if (node.is_leaf()) {
            piece->node.data.assign(std::make_move_iterator(node.data.begin() + b),
                                    std::make_move_iterator(node.data.begin() + e));
        } else {
            piece->node.children.assign(node.children.begin() + b, node.children.begin() + e);
            piece->loaded.assign(std::make_move_iterator(work->loaded.begin() + b),
                                 std::make_move_iterator(work->loaded.begin() + e));
        }
        if (begin == 0)
            piece->old_home = work->old_home; // the first page keeps the node's home
        split_into(std::move(piece), parts);  // a safety net: each already fits
        begin = end;
    }
    return true;
}

void CommitBuilder::split_into(WorkPtr work, std::vector<WorkPtr>& parts) {
    NodeView& node = work->node;
    if (!NeedsSplit(node)) {
        parts.push_back(std::move(work));
        return;
    }
    if (node.size() < 2)
        QvdCorruption(CorruptSplitTooFewEntries);
    if (pack_large(work, parts))
        return;
    size_t total = 0;
    for (size_t i = 0; i < node.size(); ++i)
        total += node.keys[i].size() + (node.is_leaf() ? node.data[i].size() : 4) + 2;
    size_t mid = 0;
    for (size_t running = 0; mid < node.size() && running * 2 < total; ++mid)
        running += node.keys[mid].size() + (node.is_leaf() ? node.data[mid].size() : 4) + 2;
    mid = std::clamp<size_t>(mid, 1, node.size() - 1);

    auto right = std::make_unique<WorkNode>();
    right->dirty = true;
    right->node.level = node.level;
    const auto cut = static_cast<ptrdiff_t>(mid);
    right->node.keys.assign(std::make_move_iterator(node.keys.begin() + cut),
                            std::make_move_iterator(node.keys.end()));
    node.keys.resize(mid);
    if (node.is_leaf()) {
        right->node.data.assign(std::make_move_iterator(node.data.begin() + cut),
                                std::make_move_iterator(node.data.end()));
        node.data.resize(mid);
    } else {
        right->node.children.assign(node.children.begin() + cut, node.children.end());
        node.children.resize(mid);
        right->loaded.assign(std::make_move_iterator(work->loaded.begin() + cut),
                             std::make_move_iterator(work->loaded.end()));
        work->loaded.resize(mid);
    }
    work->dirty = true;
    split_into(std::move(work), parts);
    split_into(std::move(right), parts);
}

} // namespace morvex::qvd

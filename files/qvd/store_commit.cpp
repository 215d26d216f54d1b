// The two-phase commit. The staged changes are merged into a working copy of
// the tree (nodes split as they outgrow the limits), every page gets a slot
// in the zone of its size class, and the changed pages reach the disk first
// as copies in the pending-page chain, then at their homes.
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace morvex::qvd {

namespace {

// A node of the working tree. Its keys and data are views into the pages it
// was read from and the copies of the changes, which the builder keeps.
struct WorkNode {
    NodeView node;
    std::vector<std::unique_ptr<WorkNode>> loaded; // inner: the child's working copy, when taken
    std::shared_ptr<const PageNode> source;        // the page as read, while it is not dirty
    uint32_t old_home = 0;                         // 0: a new node
    bool dirty = false;
};
using WorkPtr = std::unique_ptr<WorkNode>;
using Changes = StagedChanges::Cursor;

// Whether the cursor is on a change below `limit` (null: no limit).
bool Below(const Changes& changes, const ByteView* limit) {
    return changes.valid() && (!limit || KeyLess(changes.change().key, *limit));
}

// One page of the tree after the merge, and where it goes.
struct PagePlan {
    WorkNode* node = nullptr; // null: a leaf that the merge did not touch
    WorkNode* parent = nullptr;
    size_t index_in_parent = 0;
    uint32_t old_home = 0;
    int size_class = 0;
    Bytes image; // dirty nodes: the encoded page
    size_t slot = 0;
    uint32_t new_home = 0;
};

struct AllReadersHold {
    explicit AllReadersHold(StoreImpl& s) : store(s) {}
    ~AllReadersHold() {
        if (held)
            store.unlock(0, LockMode::AllReaders);
    }
    StoreImpl& store;
    bool held = false;
};

// Copies of the changes' bytes for the length of one commit: a cursor over
// spilled changes hands out views that last only until it moves.
class ByteArena {
public:
    ByteView keep(ByteView bytes) {
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

private:
    static constexpr size_t MaxChunk = size_t{1} << 20;
    std::vector<std::unique_ptr<uint8_t[]>> m_chunks;
    size_t m_capacity = 0;
    size_t m_used = 0;
};

bool SameBytes(ByteView a, ByteView b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

class CommitBuilder {
public:
    explicit CommitBuilder(StoreImpl& store) : m_store(store) {}

    WorkPtr load(uint32_t home, int level) {
        if (!m_loaded_homes.insert(home).second)
            QvdCorruption(CorruptTreeShape); // one page referenced twice
        std::shared_ptr<const PageNode> node = m_store.load_node(home, level);
        auto work = std::make_unique<WorkNode>();
        FromPageNode(*node, work->node);
        work->old_home = home;
        work->loaded.resize(node->is_leaf() ? 0 : node->size());
        work->source = node;
        m_sources.push_back(std::move(node)); // its entries may move to other nodes
        return work;
    }

    // Applies the changes below `limit` (null: all that are left) to the
    // subtree, moving the cursor past them.
    std::vector<WorkPtr> apply(WorkPtr work, Changes& changes, const ByteView* limit) {
        return work->node.is_leaf() ? apply_leaf(std::move(work), changes, limit)
                                    : apply_inner(std::move(work), changes, limit);
    }

    // Splits in two, again and again, until every part is within the limits.
    std::vector<WorkPtr> split(WorkPtr work) {
        std::vector<WorkPtr> parts;
        split_into(std::move(work), parts);
        return parts;
    }

    // Loads every inner node so that each page's parent is at hand when pages move.
    void load_inner_levels(WorkNode& work) {
        if (work.node.is_leaf())
            return;
        for (size_t i = 0; i < work.node.size(); ++i) {
            if (!work.loaded[i] && work.node.level > 1)
                work.loaded[i] = load(work.node.children[i], work.node.level - 1);
            if (work.loaded[i])
                load_inner_levels(*work.loaded[i]);
        }
    }

private:
    std::vector<WorkPtr> apply_leaf(WorkPtr work, Changes& changes, const ByteView* limit) {
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
    std::vector<WorkPtr> apply_inner(WorkPtr work, Changes& changes, const ByteView* limit) {
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
            WorkPtr child =
                work->loaded[i] ? std::move(work->loaded[i]) : load(node.children[i], node.level - 1);
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

    static bool underfull(const NodeView& node) {
        size_t bytes = 0;
        for (size_t i = 0; i < node.size() && bytes < SplitContent / 4; ++i)
            bytes += 1 + node.keys[i].size() + (node.is_leaf() ? node.data[i].size() : 4);
        return bytes < SplitContent / 4;
    }

    // A changed child left with little content is merged with a neighbour (and
    // split again when the two are too much for one page), so that erasing
    // shrinks the tree instead of leaving it full of near-empty pages.
    void merge_underfull_children(WorkNode& parent) {
        NodeView& node = parent.node;
        size_t i = 0;
        while (i < node.size() && node.size() > 1) {
            WorkNode* child = parent.loaded[i].get();
            if (!child || !child->dirty || !underfull(child->node)) {
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
                to.insert(to.end(), std::make_move_iterator(from.begin()),
                          std::make_move_iterator(from.end()));
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

    static bool needs_split(const NodeView& node) {
        const size_t refs = node.is_leaf() ? 0 : 4;
        size_t upper = PageHeaderSize - 10;
        size_t lower = PageHeaderSize - 10;
        for (size_t i = 0; i < node.size(); ++i) {
            const size_t bytes = node.keys[i].size() + (node.is_leaf() ? node.data[i].size() : 0);
            upper += 5 + bytes + refs;
            lower += 1 + (bytes > 63 ? bytes - 63 : 0) + refs;
        }
        auto over = [&](size_t content) {
            return content > MaxNodeContent || (content > SplitContent && node.size() > SplitEntries);
        };
        if (!over(upper))
            return false;
        if (over(lower))
            return true;
        return over(NodeContent(node));
    }

    static bool over_limits(size_t content, size_t entries) {
        return content > MaxNodeContent || (content > SplitContent && entries > SplitEntries);
    }

    // A node of many pages' worth (a bulk load) is cut in one pass into pages
    // filled up to the limits, each entry's encoded size known from its
    // neighbour; halving it again and again would cost a pass per halving.
    bool pack_large(WorkPtr& work, std::vector<WorkPtr>& parts) {
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
            if (over_limits(content + more, entries + 1)) {
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

    void split_into(WorkPtr work, std::vector<WorkPtr>& parts) {
        NodeView& node = work->node;
        if (!needs_split(node)) {
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

    StoreImpl& m_store;
    std::unordered_set<uint32_t> m_loaded_homes;
    std::vector<std::shared_ptr<const PageNode>> m_sources;
    ByteArena m_arena;
};

// The slot layout of one zone.
struct ZonePlan {
    size_t old_count = 0;
    size_t new_count = 0;
};

} // namespace

size_t SpareSlots(size_t live, bool packed) {
    if (packed)
        return live == 0 ? 2 : std::max(live / 8, std::min<size_t>(8, live));
    return live == 0 ? 4 : std::max(live / 4, std::min<size_t>(32, live));
}

int32_t StoreImpl::commit() {
    if (const int32_t error = prepare_commit(false); error != 0 || !m_prepared)
        return error;
    return finish_commit();
}

int32_t StoreImpl::prepare_commit(bool in_transaction) {
    if (m_prepared)
        QvdCorruption(CorruptTreeShape); // a second first phase before the second phase of the last one
    if (m_write_error != 0)
        return m_write_error;
    if (m_staged.empty() && !m_issued_record && m_header_loaded && !m_new_file)
        return 0; // nothing to write: no need to stop the readers
    AllReadersHold hold(*this);
    if (!lock(0, LockMode::AllReaders, true))
        return 5;
    hold.held = true;
    // A chain named at offset 0 belongs to a committer that stopped after
    // announcing it: roll it forward (or back) before building on the file,
    // even when its change counter matches ours.
    uint8_t disk[FileHeaderSize];
    FileHeader on_disk;
    if (read_blocks(0, disk, FileHeaderSize) == FileHeaderSize &&
        FileHeader::Parse(ByteView(disk, FileHeaderSize), on_disk) &&
        on_disk.chain_start != on_disk.chain_end)
        m_header_loaded = false;
    if (!m_pending.empty())
        m_header_loaded = false;
    if (load_header() != 0)
        QvdCorruption(CorruptShortRead);
    if (!m_pending.empty())
        return 5; // the chain could not be repaired
    if (m_staged.empty() && !m_issued_record && !m_new_file)
        return 0;
    // The transaction record belongs to the multi-file commit that wrote it:
    // a later commit of this file alone drops it, so that a recovery never
    // asks the control file about a transaction long finished.
    const Bytes transaction_key{TransactionRecordKey};
    if (!in_transaction && !m_staged.contains(transaction_key) && tree_get(transaction_key))
        m_staged.erase(transaction_key);

    const FileHeader old_header = m_header;
    const uint64_t old_end = old_header.UsedEnd();
    if (m_staged.size() >= m_options.rebuild_changes) {
        const int32_t error = prepare_rebuild(old_header);
        hold.held = error != 0;
        return error;
    }

    // ---- merge the staged changes into a working tree ----
    CommitBuilder builder(*this);
    WorkPtr root;
    if (m_header.root != 0)
        root = builder.load(m_header.root, -1);
    if (!m_staged.empty()) {
        if (!root) {
            root = std::make_unique<WorkNode>();
            root->dirty = true;
        }
        Changes changes = m_staged.cursor();
        changes.first();
        std::vector<WorkPtr> parts = builder.apply(std::move(root), changes, nullptr);
        while (parts.size() > 1) {
            auto parent = std::make_unique<WorkNode>();
            parent->dirty = true;
            parent->node.level = static_cast<uint8_t>(parts.front()->node.level + 1);
            for (WorkPtr& part : parts) {
                parent->node.keys.push_back(part->node.keys.front());
                parent->node.children.push_back(part->old_home);
                parent->loaded.push_back(std::move(part));
            }
            parts = builder.split(std::move(parent));
        }
        root = parts.empty() ? nullptr : std::move(parts.front());
        while (root && !root->node.is_leaf() && root->node.size() == 1) {
            WorkPtr child = root->loaded[0] ? std::move(root->loaded[0])
                                            : builder.load(root->node.children[0], root->node.level - 1);
            root = std::move(child);
        }
    }
    if (root)
        builder.load_inner_levels(*root);

    // ---- size classes of every page ----
    std::vector<PagePlan> pages;
    auto old_class = [&](uint32_t home) {
        const int c = m_header.ClassOfUnit((home - FileHeaderSize) / UnitSize);
        if (c == 0)
            QvdCorruption(CorruptUnitInNoZone);
        return c;
    };
    auto collect = [&](auto& self, WorkNode& work, WorkNode* parent, size_t index) -> void {
        PagePlan plan;
        plan.node = &work;
        plan.parent = parent;
        plan.index_in_parent = index;
        plan.old_home = work.old_home;
        if (work.dirty) {
            plan.image = EncodePage(work.node);
            if (plan.image.size() > MaxPageSize)
                QvdCorruption(CorruptPageTooLarge);
            plan.size_class = static_cast<int>(plan.image.size() / UnitSize);
        } else {
            plan.size_class = old_class(work.old_home);
        }
        pages.push_back(std::move(plan));
        if (work.node.is_leaf())
            return;
        for (size_t i = 0; i < work.node.size(); ++i) {
            if (work.loaded[i]) {
                self(self, *work.loaded[i], &work, i);
            } else {
                PagePlan leaf;
                leaf.parent = &work;
                leaf.index_in_parent = i;
                leaf.old_home = work.node.children[i];
                leaf.size_class = old_class(leaf.old_home);
                pages.push_back(std::move(leaf));
            }
        }
    };
    if (root)
        collect(collect, *root, nullptr, 0);

    // ---- slots: keep what stays in its class, reuse free slots, grow with some slack ----
    std::array<ZonePlan, ZoneCount> zones{};
    std::array<std::vector<size_t>, ZoneCount> by_class; // page indices
    for (size_t i = 0; i < pages.size(); ++i)
        by_class[pages[i].size_class].push_back(i);
    const uint64_t file_units = static_cast<uint64_t>(std::max<int64_t>(m_io->size(), 0)) / UnitSize + 1;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        ZonePlan& zone = zones[c];
        const uint32_t start = m_header.zone_start[c];
        const uint32_t end = m_header.zone_end[c];
        zone.old_count = end > start ? (end - start) / c : 0;
        if (zone.old_count > file_units)
            QvdCorruption(CorruptUnitInNoZone);
        std::vector<bool> taken(zone.old_count, false);
        std::vector<size_t> needers;
        for (size_t p : by_class[c]) {
            PagePlan& plan = pages[p];
            bool kept = false;
            if (plan.old_home != 0) {
                const uint32_t unit = (plan.old_home - FileHeaderSize) / UnitSize;
                // A zone whose length is no whole number of slots (a damaged
                // header) keeps only its whole slots; a page in the tail moves.
                if (unit >= start && unit < end && (unit - start) % c == 0 &&
                    (unit - start) / c < zone.old_count) {
                    const size_t slot = (unit - start) / c;
                    if (taken[slot])
                        QvdCorruption(CorruptTreeShape); // two references to one page
                    taken[slot] = true;
                    plan.slot = slot;
                    kept = true;
                }
            }
            if (!kept)
                needers.push_back(p);
        }
        size_t next_free = 0;
        size_t filled = 0;
        for (; filled < needers.size(); ++filled) {
            while (next_free < zone.old_count && taken[next_free])
                ++next_free;
            if (next_free == zone.old_count)
                break;
            taken[next_free] = true;
            pages[needers[filled]].slot = next_free;
        }
        const size_t live = by_class[c].size();
        if (filled < needers.size()) {
            const size_t grow = needers.size() - filled;
            size_t slot = zone.old_count;
            for (; filled < needers.size(); ++filled)
                pages[needers[filled]].slot = slot++;
            // Slack: a zone that grows moves every zone above it, so small
            // zones double (up to 8 spare slots) and large ones add an eighth.
            const size_t grown = zone.old_count + grow;
            zone.new_count = grown + SpareSlots(grown);
        } else if (zone.old_count - live > std::max<size_t>(8, 2 * SpareSlots(live))) {
            // Too many free slots: move the topmost pages down into the lowest holes.
            std::vector<size_t> at_slot(zone.old_count, SIZE_MAX);
            for (size_t p : by_class[c])
                at_slot[pages[p].slot] = p;
            size_t hole = 0;
            for (size_t top = zone.old_count; top-- > live;) {
                if (at_slot[top] == SIZE_MAX)
                    continue;
                while (at_slot[hole] != SIZE_MAX)
                    ++hole;
                pages[at_slot[top]].slot = hole;
                at_slot[hole] = at_slot[top];
                at_slot[top] = SIZE_MAX;
            }
            zone.new_count = live;
        } else {
            zone.new_count = zone.old_count;
        }
    }

    // Every zone above the lowest one that changes size moves, so it is
    // rewritten anyway: give those zones their slack now, and the empty
    // classes among them two spare slots, so that a page entering a new class
    // later does not move everything above it again.
    int lowest_changed = 0;
    int highest_used = 0;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        if (!lowest_changed && zones[c].new_count != zones[c].old_count)
            lowest_changed = c;
        if (!by_class[c].empty())
            highest_used = c;
    }
    int lowest_used = 0;
    for (int c = 1; c <= MaxSizeClass && !lowest_used; ++c)
        lowest_used = by_class[c].empty() ? 0 : c;
    int first = lowest_changed ? lowest_changed : MaxSizeClass + 1;
    if (lowest_changed && lowest_changed <= lowest_used)
        first = 1; // every used zone moves: the classes below them may take spares too
    for (int c = first; c <= highest_used; ++c) {
        const size_t live = by_class[c].size();
        const size_t spare = SpareSlots(live);
        zones[c].new_count = std::max(zones[c].new_count, live + spare);
    }

    FileHeader new_header = m_header;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        new_header.zone_start[c] = c == 1 ? m_header.zone_start[1] : new_header.zone_end[c - 1];
        const uint64_t end = new_header.zone_start[c] + static_cast<uint64_t>(zones[c].new_count) * c;
        if (end > (UINT32_MAX - FileHeaderSize) / UnitSize)
            QvdCorruption(CorruptPageTooLarge); // the file would pass its 32-bit offsets
        new_header.zone_end[c] = static_cast<uint32_t>(end);
    }
    for (PagePlan& plan : pages)
        plan.new_home = static_cast<uint32_t>(
            UnitOffset(new_header.zone_start[plan.size_class] + plan.slot * plan.size_class));

    // ---- page images: which pages are written, with homes and child references ----
    std::vector<size_t> writes;
    std::vector<WorkNode*> refs_changed;
    for (const PagePlan& plan : pages) {
        if (plan.parent && plan.parent->node.children[plan.index_in_parent] != plan.new_home) {
            plan.parent->node.children[plan.index_in_parent] = plan.new_home;
            refs_changed.push_back(plan.parent);
        }
    }
    std::sort(refs_changed.begin(), refs_changed.end());
    for (size_t i = 0; i < pages.size(); ++i) {
        PagePlan& plan = pages[i];
        bool rewrite = plan.node && plan.node->dirty;
        rewrite = rewrite || plan.new_home != plan.old_home;
        rewrite =
            rewrite || (plan.node && std::binary_search(refs_changed.begin(), refs_changed.end(), plan.node));
        if (!rewrite)
            continue;
        if (plan.image.empty()) {
            int size_class = 0;
            plan.image = read_page(plan.old_home, size_class);
        }
        PatchPageHome(plan.image, plan.new_home);
        if (plan.node && !plan.node->node.is_leaf()) {
            for (size_t k = 0; k < plan.node->node.size(); ++k)
                PatchChild(plan.image, k, plan.node->node.children[k]);
        }
        writes.push_back(i);
    }

    new_header.root = root ? pages.front().new_home : 0;
    if (m_issued_record)
        new_header.last_record_number = std::max(new_header.last_record_number, *m_issued_record);
    const uint64_t new_end = new_header.UsedEnd();
    const uint32_t chain_start = static_cast<uint32_t>(std::max(new_end, old_end));
    new_header.chain_start = new_header.chain_end = chain_start;
    new_header.change_counter = m_header.change_counter + 1;

    // ---- phase 1: copies of replaced pages into the chain, new pages home ----
    PreparedCommit prepared;
    uint64_t chain = chain_start;
    for (size_t i : writes) {
        PagePlan& plan = pages[i];
        std::shared_ptr<const PageNode> node;
        if (plan.node && plan.node->dirty) {
            node = std::make_shared<PageNode>(ToPageNode(plan.node->node));
        } else if (plan.node) { // moved or with moved children: the page as read, patched
            auto patched = std::make_shared<PageNode>(*plan.node->source);
            patched->children = plan.node->node.children;
            node = std::move(patched);
        }
        write_ahead(prepared, chain, old_end, plan.new_home, std::move(plan.image), std::move(node));
    }
    if (const int32_t error =
            announce_commit(old_header, new_header, chain_start, chain, std::move(prepared));
        error != 0)
        return error;
    hold.held = false; // every reader slot stays ours until the second phase
    return 0;
}

void StoreImpl::write_ahead(PreparedCommit& prepared, uint64_t& chain, uint64_t old_end, uint32_t home,
                            Bytes image, std::shared_ptr<const PageNode> node) {
    PreparedCommit::Page page;
    page.home = home;
    page.node = std::move(node);
    if (home < old_end) { // replaces a page: a copy into the chain, home in phase 2
        // The copies lie end to end: they go out together, in writes of up to 1 MiB.
        if (prepared.chain_buffer.empty())
            prepared.chain_buffer_at = chain;
        prepared.chain_buffer.insert(prepared.chain_buffer.end(), image.begin(), image.end());
        if (prepared.chain_buffer.size() >= ChainWriteBytes)
            write_chain_buffer(prepared);
        page.in_chain = true;
        page.chain_offset = chain;
        page.length = static_cast<uint32_t>(image.size());
        chain += image.size();
        if (!m_rebuilding) // a rebuild reads its copies back instead of keeping them all
            page.image = std::move(image);
    } else {
        write_blocks(home, image.data(), image.size());
    }
    prepared.pages.push_back(std::move(page));
}

void StoreImpl::write_chain_buffer(PreparedCommit& prepared) {
    write_blocks(prepared.chain_buffer_at, prepared.chain_buffer.data(), prepared.chain_buffer.size());
    prepared.chain_buffer_at += prepared.chain_buffer.size();
    prepared.chain_buffer.clear();
}

int32_t StoreImpl::announce_commit(const FileHeader& old_header, const FileHeader& new_header,
                                   uint64_t chain_start, uint64_t chain, PreparedCommit prepared) {
    // The new header is the chain's last copy.
    const Bytes new_image = new_header.Serialize();
    if (prepared.chain_buffer.empty())
        prepared.chain_buffer_at = chain;
    prepared.chain_buffer.insert(prepared.chain_buffer.end(), new_image.begin(), new_image.end());
    write_chain_buffer(prepared);
    chain += new_image.size();
    if (chain > UINT32_MAX)
        QvdCorruption(CorruptPageTooLarge);
    if (m_write_error != 0)
        return m_write_error;
    flush_file();
    FileHeader announce = old_header;
    announce.chain_start = static_cast<uint32_t>(chain_start);
    announce.chain_end = static_cast<uint32_t>(chain);
    const Bytes announce_image = announce.Serialize();
    write_blocks(0, announce_image.data(), announce_image.size());
    flush_file();
    if (m_write_error != 0) {
        m_header_loaded = false;
        m_cache.clear();
        return m_write_error;
    }
    prepared.header_image = new_image;
    m_prepared = std::move(prepared);
    return 0;
}

int32_t StoreImpl::finish_commit() {
    if (!m_prepared)
        return 0;
    AllReadersHold hold(*this);
    hold.held = true;
    PreparedCommit prepared = std::move(*m_prepared);
    m_prepared.reset();

    // ---- phase 2: pages home, the new header, the chain reset ----
    Bytes copy;
    for (const PreparedCommit::Page& page : prepared.pages) {
        if (!page.in_chain)
            continue;
        if (page.image.empty()) {
            copy.resize(page.length);
            read_exactly(page.chain_offset, copy.data(), copy.size());
        }
        const Bytes& image = page.image.empty() ? copy : page.image;
        write_blocks(page.home, image.data(), image.size());
    }
    flush_file(); // the pages are home before a header without the chain can reach the disk
    write_blocks(0, prepared.header_image.data(), prepared.header_image.size());
    const FileHeader settled = reset_chain();
    if (m_write_error != 0) {
        m_header_loaded = false;
        m_cache.clear();
        return m_write_error;
    }
    // The copies beyond the used end are dead now. Their space stays for the
    // next commit's chain, so that the file keeps its size and a flush need
    // not write the file's metadata; only a large tail (a bulk commit's) is
    // cut, while we hold every slot and nobody reads.
    if (const int64_t size = m_io->size();
        size > 0 && static_cast<uint64_t>(size) > settled.UsedEnd() + DeadTailBytes)
        m_io->truncate(settled.UsedEnd());

    if (prepared.rebuilt)
        m_cache.clear(); // every page moved
    for (PreparedCommit::Page& page : prepared.pages) {
        m_cache.erase(page.home);
        if (page.node)
            m_cache.insert(page.home, std::move(page.node));
    }
    m_header = settled;
    m_header_loaded = true;
    m_new_file = false;
    m_pending.clear();
    m_staged.clear();
    m_issued_record.reset();
    return 0;
}

void StoreImpl::abandon_commit() {
    m_staged.clear();
    m_issued_record.reset();
    if (!m_prepared)
        return;
    AllReadersHold hold(*this);
    hold.held = true;
    m_prepared.reset();
    // The header at offset 0 still has the old zones: forgetting the chain
    // brings back the state before the commit.
    reset_chain();
    m_header_loaded = false;
    m_cache.clear();
    m_pending.clear();
}

} // namespace morvex::qvd

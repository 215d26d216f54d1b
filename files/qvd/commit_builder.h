// The working tree of a commit: the staged changes merged into copies of the
// nodes they touch, split where they outgrow a page and merged where they
// shrink. Untouched subtrees stay on disk and in the page cache.
#pragma once

#include "files/qvd/page_codec.h"
#include "files/qvd/staged_changes.h"

#include <memory>
#include <unordered_set>
#include <vector>

namespace morvex::qvd {

class StoreImpl;

// A node of the working tree. Its keys and data are views into the pages it
// was read from and the copies of the changes, which the builder keeps.
struct WorkNode {
    NodeView node;
    std::vector<std::unique_ptr<WorkNode>> loaded; // inner: the child's working copy, when taken
    std::shared_ptr<const PageNode> source;        // the page as read
    uint32_t old_home = 0;                         // 0: a new node
    bool dirty = false;
};
using WorkPtr = std::unique_ptr<WorkNode>;

// Copies of the changes' bytes for the length of one commit: a cursor over
// spilled changes hands out views that last only until it moves.
class ByteArena {
public:
    ByteView keep(ByteView bytes);

private:
    std::vector<std::unique_ptr<uint8_t[]>> m_chunks;
    size_t m_capacity = 0;
    size_t m_used = 0;
};

class CommitBuilder {
public:
    explicit CommitBuilder(StoreImpl& store) : m_store(store) {}

    // Merges every staged change into the tree whose root page is at
    // `root_home` (0: empty); the new root, null when the tree is empty.
    WorkPtr merge(StagedChanges& staged, uint32_t root_home);
    // Loads every inner node so that each page's parent is at hand when pages move.
    void load_inner_levels(WorkNode& work);
    // The pages the working tree was read from.
    const std::unordered_set<uint32_t>& loaded_homes() const { return m_loaded_homes; }

private:
    using Changes = StagedChanges::Cursor;

    WorkPtr load(uint32_t home, int level);
    // Applies the changes below `limit` (null: all that are left) to the
    // subtree, moving the cursor past them.
    std::vector<WorkPtr> apply(WorkPtr work, Changes& changes, const ByteView* limit);
    std::vector<WorkPtr> apply_leaf(WorkPtr work, Changes& changes, const ByteView* limit);
    std::vector<WorkPtr> apply_inner(WorkPtr work, Changes& changes, const ByteView* limit);
    void merge_underfull_children(WorkNode& parent);
    // Splits in two, again and again, until every part is within the limits.
    std::vector<WorkPtr> split(WorkPtr work);
    void split_into(WorkPtr work, std::vector<WorkPtr>& parts);
    bool pack_large(WorkPtr& work, std::vector<WorkPtr>& parts);

    StoreImpl& m_store;
    std::unordered_set<uint32_t> m_loaded_homes;
    std::vector<std::shared_ptr<const PageNode>> m_sources; // entries may move between nodes
    ByteArena m_arena;
};

} // namespace morvex::qvd

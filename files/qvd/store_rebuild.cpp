// The commit of many changes: the tree after the commit is written anew in
// one ordered pass over the old tree's entries merged with the staged
// changes. Its leaves are packed full and encoded, to learn every page's size
// class (so that all homes are known before anything is written); beyond the
// page cache's bound they are not kept but encoded again to be written, so
// that the memory used stays bounded whatever the size of the commit.
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_commit.h"
#include "files/qvd/store_impl.h"
#include "files/qvd/zone_layout.h"

#include <algorithm>

namespace morvex::qvd {

namespace {

bool OverLimits(size_t content, size_t entries) {
    return content > MaxNodeContent || (content > SplitContent && entries > SplitEntries);
}

// The entries of the tree after the commit, in key order.
class MergedEntries {
public:
    explicit MergedEntries(StoreImpl& store) : m_cursor(store), m_changes(store.staged().cursor()) {
        m_tree = store.header_state().current().root != 0 && m_cursor.first();
        m_changes.first();
    }

    // The next entry; false at the end. The views stay valid until the next call.
    bool next(ByteView& key, ByteView& data) {
        // The source of the last entry moves on only now, its views used.
        if (m_step_tree)
            m_tree = m_cursor.next();
        if (m_step_changes)
            m_changes.next();
        m_step_tree = m_step_changes = false;
        for (;;) {
            const bool staged = m_changes.valid();
            if (!m_tree && !staged)
                return false;
            const int order = !staged   ? -1
                              : !m_tree ? 1
                                        : CompareKeys(m_cursor.key(), m_changes.change().key);
            if (order < 0) {
                key = m_cursor.key();
                data = m_cursor.data();
                m_step_tree = true;
                return true;
            }
            if (order == 0)
                m_tree = m_cursor.next(); // replaced or erased
            const StagedChanges::Change& change = m_changes.change();
            if (change.data) {
                key = change.key;
                data = *change.data;
                m_step_changes = true;
                return true;
            }
            m_changes.next();
        }
    }

private:
    TreeCursor m_cursor;
    StagedChanges::Cursor m_changes;
    bool m_tree = false;
    bool m_step_tree = false;
    bool m_step_changes = false;
};

// Cuts the merged entries into full leaves, the same way on every pass.
class LeafPacker {
public:
    explicit LeafPacker(StoreImpl& store) : m_entries(store) {}

    // The next leaf; false when no entries are left.
    bool next(Node& leaf) {
        leaf = Node{};
        if (m_pending) {
            add(leaf, m_key, m_data, 0);
            m_pending = false;
        }
        ByteView key;
        ByteView data;
        while (m_entries.next(key, data)) {
            const size_t more = leaf.size() == 0
                                    ? EncodedEntrySize(ByteView(), ByteView(), key, data)
                                    : EncodedEntrySize(leaf.keys.back(), leaf.data.back(), key, data);
            if (leaf.size() > 0 && OverLimits(m_content + more, leaf.size() + 1)) {
                m_key.assign(key.begin(), key.end());
                m_data.assign(data.begin(), data.end());
                m_pending = true; // starts the next leaf
                return true;
            }
            add(leaf, key, data, more);
        }
        return leaf.size() > 0;
    }

private:
    void add(Node& leaf, ByteView key, ByteView data, size_t size) {
        if (leaf.size() == 0) {
            size = EncodedEntrySize(ByteView(), ByteView(), key, data);
            m_content = PageHeaderSize - 10;
        }
        m_content += size;
        leaf.keys.emplace_back(key.begin(), key.end());
        leaf.data.emplace_back(data.begin(), data.end());
    }

    MergedEntries m_entries;
    size_t m_content = 0;
    bool m_pending = false;
    Bytes m_key;
    Bytes m_data;
};

struct PageRef {
    Bytes first_key;
    int size_class = 0;
    uint32_t home = 0;
};

// An inner page: its node (children to be patched in), its image and where
// its children start in the level below.
struct InnerPage {
    Node node;
    Bytes image;
    size_t first_child = 0;
};

int SizeClassOf(const Bytes& image) {
    if (image.size() > MaxPageSize)
        QvdCorruption(CorruptPageTooLarge);
    return static_cast<int>(image.size() / UnitSize);
}

// The inner pages over `below`, packed like leaves.
std::vector<InnerPage> InnerLevel(const std::vector<PageRef>& below, uint8_t level) {
    std::vector<InnerPage> pages;
    size_t content = 0;
    for (size_t i = 0; i < below.size(); ++i) {
        const ByteView key = below[i].first_key;
        const bool first = pages.empty() || pages.back().node.size() == 0;
        const size_t more =
            4 + (first ? EncodedEntrySize(ByteView(), ByteView(), key, ByteView())
                       : EncodedEntrySize(pages.back().node.keys.back(), ByteView(), key, ByteView()));
        if (first || OverLimits(content + more, pages.back().node.size() + 1)) {
            pages.emplace_back();
            pages.back().node.level = level;
            pages.back().first_child = i;
            content = PageHeaderSize - 10 + 4 + EncodedEntrySize(ByteView(), ByteView(), key, ByteView());
        } else {
            content += more;
        }
        pages.back().node.keys.emplace_back(key.begin(), key.end());
        pages.back().node.children.push_back(0);
    }
    return pages;
}

} // namespace

int32_t CommitWriter::prepare_rebuild(const FileHeader& old_header) {
    const uint64_t old_end = old_header.UsedEnd();

    // ---- pass 1: the leaves' size classes, then the inner levels ----
    std::vector<std::vector<PageRef>> levels(1);
    std::vector<std::vector<InnerPage>> inner;
    // Leaf images within the page cache's bound are kept for pass 2.
    std::vector<Bytes> kept;
    size_t kept_bytes = 0;
    bool keep = true;
    {
        LeafPacker packer(m_store);
        Node leaf;
        while (packer.next(leaf)) {
            Bytes image = EncodePage(leaf);
            levels[0].push_back(PageRef{leaf.keys.front(), SizeClassOf(image), 0});
            kept_bytes += image.size();
            keep = keep && kept_bytes <= m_store.options().cache_bytes;
            if (keep)
                kept.push_back(std::move(image));
            else
                kept.clear();
        }
    }
    while (levels.back().size() > 1) {
        inner.push_back(InnerLevel(levels.back(), static_cast<uint8_t>(levels.size())));
        std::vector<PageRef> refs;
        for (InnerPage& page : inner.back()) {
            page.image = EncodePage(page.node);
            refs.push_back(PageRef{page.node.keys.front(), SizeClassOf(page.image), 0});
        }
        levels.push_back(std::move(refs));
    }

    // ---- homes: every page anew, each class in its zone with some slack ----
    std::array<size_t, ZoneCount> live{};
    for (const std::vector<PageRef>& level : levels)
        for (const PageRef& page : level)
            ++live[page.size_class];
    int highest_used = 0;
    for (int c = 1; c <= MaxSizeClass; ++c)
        highest_used = live[c] > 0 ? c : highest_used;
    FileHeader new_header = old_header;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        const size_t spare = c > highest_used ? 0 : SpareSlots(live[c], true);
        new_header.zone_start[c] = c == 1 ? old_header.zone_start[1] : new_header.zone_end[c - 1];
        const uint64_t end = new_header.zone_start[c] + static_cast<uint64_t>(live[c] + spare) * c;
        if (end > (UINT32_MAX - FileHeaderSize) / UnitSize)
            QvdCorruption(CorruptPageTooLarge); // the file would pass its 32-bit offsets
        new_header.zone_end[c] = static_cast<uint32_t>(end);
    }
    std::array<uint32_t, ZoneCount> next_slot{};
    for (std::vector<PageRef>& level : levels) {
        for (PageRef& page : level) {
            const int c = page.size_class;
            page.home =
                static_cast<uint32_t>(UnitOffset(new_header.zone_start[c] + uint64_t{next_slot[c]++} * c));
        }
    }
    new_header.root = levels.front().empty() ? 0 : levels.back().front().home;
    new_header.root_fingerprint = 0;
    if (const std::optional<uint32_t> issued = m_store.issued_record())
        new_header.last_record_number = std::max(new_header.last_record_number, *issued);
    const uint64_t chain_start = std::max(new_header.UsedEnd(), old_end);
    new_header.chain_start = new_header.chain_end = static_cast<uint32_t>(chain_start);
    new_header.change_counter = old_header.change_counter + 1;

    // ---- pass 2: the leaves again, written this time; then the inner pages ----
    m_rebuilding = true;
    PreparedCommit prepared;
    prepared.rebuilt = true;
    uint64_t chain = chain_start;
    {
        LeafPacker packer(m_store);
        Node leaf;
        for (size_t i = 0; i < levels.front().size(); ++i) {
            const PageRef& ref = levels.front()[i];
            Bytes image;
            if (keep) {
                image = std::move(kept[i]);
            } else {
                if (!packer.next(leaf))
                    QvdCorruption(CorruptTreeShape); // the second pass must cut the same leaves
                image = EncodePage(leaf);
                if (SizeClassOf(image) != ref.size_class || leaf.keys.front() != ref.first_key)
                    QvdCorruption(CorruptTreeShape);
            }
            PatchPageHome(image, ref.home);
            if (ref.home == new_header.root)
                new_header.root_fingerprint = PageFingerprint(image);
            write_ahead(prepared, chain, old_end, ref.home, std::move(image), nullptr);
        }
    }
    for (size_t l = 0; l < inner.size(); ++l) {
        const std::vector<PageRef>& children = levels[l];
        for (size_t p = 0; p < inner[l].size(); ++p) {
            InnerPage& page = inner[l][p];
            PatchPageHome(page.image, levels[l + 1][p].home);
            for (size_t k = 0; k < page.node.size(); ++k)
                PatchChild(page.image, k, children[page.first_child + k].home);
            if (levels[l + 1][p].home == new_header.root)
                new_header.root_fingerprint = PageFingerprint(page.image);
            write_ahead(prepared, chain, old_end, levels[l + 1][p].home, std::move(page.image), nullptr);
        }
    }
    m_rebuilding = false;
    return announce(old_header, new_header, chain_start, chain, std::move(prepared));
}

} // namespace morvex::qvd

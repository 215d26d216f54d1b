// The two-phase commit. The staged changes are merged into a working copy of
// the nodes they touch, every changed page gets a slot in the zone of its
// size class, and the changed pages reach the disk first as copies in the
// pending-page chain, then at their homes.
#include "files/qvd/store_commit.h"

#include "files/qvd/commit_builder.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"
#include "files/qvd/zone_layout.h"
#include "runtime/error_numbers.h"

#include <algorithm>

namespace morvex::qvd {

namespace {

struct AllReadersHold {
    explicit AllReadersHold(LockArea& l) : locks(l) {}
    ~AllReadersHold() {
        if (held)
            locks.unlock(0, LockMode::AllReaders);
    }
    LockArea& locks;
    bool held = false;
};

} // namespace

int32_t CommitWriter::commit() {
    if (const int32_t error = prepare(false); error != 0 || !m_prepared)
        return error;
    return finish();
}

int32_t CommitWriter::prepare(bool in_transaction) {
    if (m_prepared)
        QvdCorruption(CorruptTreeShape); // a second first phase before the second phase of the last one
    if (m_store.write_error() != 0)
        return m_store.write_error();
    HeaderState& header = m_store.header_state();
    if (m_store.staged().empty() && !m_store.issued_record() && header.loaded() && !header.new_file())
        return 0; // nothing to write: no need to stop the readers
    AllReadersHold hold(m_store.locks());
    if (!m_store.locks().lock(0, LockMode::AllReaders, true))
        return ErrAccessDenied;
    hold.held = true;
    // A chain named at offset 0 belongs to a committer that stopped after
    // announcing it: roll it forward (or back) before building on the file,
    // even when its change counter matches ours.
    uint8_t disk[FileHeaderSize];
    FileHeader on_disk;
    if (m_store.read_blocks(0, disk, FileHeaderSize) == FileHeaderSize &&
        FileHeader::Parse(ByteView(disk, FileHeaderSize), on_disk) &&
        on_disk.chain_start != on_disk.chain_end)
        header.invalidate();
    if (header.reads_through_chain())
        header.invalidate();
    if (header.load() != 0)
        QvdCorruption(CorruptShortRead);
    if (header.reads_through_chain())
        return ErrAccessDenied; // the chain could not be repaired
    if (m_store.staged().empty() && !m_store.issued_record() && !header.new_file())
        return 0;
    // The transaction record belongs to the multi-file commit that wrote it:
    // a later commit of this file alone drops it, so that a recovery never
    // asks the control file about a transaction long finished.
    const Bytes transaction_key{TransactionRecordKey};
    if (!in_transaction && !m_store.staged().contains(transaction_key) && m_store.tree_get(transaction_key))
        m_store.staged().erase(transaction_key);

    const FileHeader old_header = header.current();
    const uint64_t old_end = old_header.UsedEnd();
    if (m_store.staged().size() >= m_store.options().rebuild_changes) {
        const int32_t error = prepare_rebuild(old_header);
        hold.held = error != 0;
        return error;
    }

    // ---- merge the staged changes into a working tree, then find each page a slot ----
    CommitBuilder builder(m_store);
    WorkPtr root = builder.merge(m_store.staged(), old_header.root);
    std::vector<PagePlan> pages;
    FileHeader new_header = old_header;
    ZoneSlots slots_after;
    // The pages the merge touched go to free slots of their zones when the
    // map of this state allows; otherwise every zone is laid out anew over
    // the whole tree.
    const uint64_t file_units =
        static_cast<uint64_t>(std::max<int64_t>(m_store.io().size(), 0)) / UnitSize + 1;
    bool placed = false;
    if (root && m_zone_slots.counter == old_header.change_counter) {
        pages = PlanPages(old_header, *root, false);
        slots_after = m_zone_slots;
        placed = PlaceInFreeSlots(old_header, file_units, builder.loaded_homes(), pages, slots_after);
    }
    if (!placed) {
        pages.clear();
        if (root) {
            builder.load_inner_levels(*root);
            pages = PlanPages(old_header, *root, true);
        }
        LayOutZones(old_header, file_units, pages, new_header, slots_after);
    }

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
            plan.image = m_store.read_page(plan.old_home, size_class);
        }
        PatchPageHome(plan.image, plan.new_home);
        if (plan.node && !plan.node->node.is_leaf()) {
            for (size_t k = 0; k < plan.node->node.size(); ++k)
                PatchChild(plan.image, k, plan.node->node.children[k]);
        }
        writes.push_back(i);
    }

    new_header.root = root ? pages.front().new_home : 0;
    if (const std::optional<uint32_t> issued = m_store.issued_record())
        new_header.last_record_number = std::max(new_header.last_record_number, *issued);
    const uint64_t new_end = new_header.UsedEnd();
    const uint32_t chain_start = static_cast<uint32_t>(std::max(new_end, old_end));
    new_header.chain_start = new_header.chain_end = chain_start;
    new_header.change_counter = old_header.change_counter + 1;

    // ---- phase 1: copies of replaced pages into the chain, new pages home ----
    PreparedCommit prepared;
    prepared.zone_slots = std::move(slots_after);
    uint64_t chain = chain_start;
    bool fingerprinted = false;
    for (size_t i : writes) {
        PagePlan& plan = pages[i];
        std::shared_ptr<const PageNode> node;
        if (plan.node && plan.node->dirty) {
            node = std::make_shared<PageNode>(ToPageNode(plan.node->node));
        } else if (plan.node) { // moved or with moved children: the page as read, patched
            auto patched = std::make_shared<PageNode>(*plan.node->source);
            patched->children = plan.node->node.children;
            node = std::move(patched);
        } else { // an untouched leaf that moved: its decoded page moves with it
            node = m_store.cache().find(plan.old_home);
        }
        if (plan.new_home == new_header.root) {
            new_header.root_fingerprint = PageFingerprint(plan.image);
            fingerprinted = true;
        }
        write_ahead(prepared, chain, old_end, plan.new_home, std::move(plan.image), std::move(node));
    }
    // A root that is not written (a child that took an emptied root's
    // place, where it was) is fingerprinted as it lies.
    if (!fingerprinted && new_header.root != old_header.root) {
        int size_class = 0;
        new_header.root_fingerprint =
            new_header.root == 0 ? 0 : PageFingerprint(m_store.read_page(new_header.root, size_class));
    }
    if (const int32_t error = announce(old_header, new_header, chain_start, chain, std::move(prepared));
        error != 0)
        return error;
    hold.held = false; // every reader slot stays ours until the second phase
    return 0;
}

void CommitWriter::write_ahead(PreparedCommit& prepared, uint64_t& chain, uint64_t old_end, uint32_t home,
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
        m_store.write_blocks(home, image.data(), image.size());
    }
    prepared.pages.push_back(std::move(page));
}

void CommitWriter::write_chain_buffer(PreparedCommit& prepared) {
    m_store.write_blocks(prepared.chain_buffer_at, prepared.chain_buffer.data(),
                         prepared.chain_buffer.size());
    prepared.chain_buffer_at += prepared.chain_buffer.size();
    prepared.chain_buffer.clear();
}

int32_t CommitWriter::announce(const FileHeader& old_header, const FileHeader& new_header,
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
    if (m_store.write_error() != 0)
        return m_store.write_error();
    m_store.flush_file();
    FileHeader announce = old_header;
    announce.chain_start = static_cast<uint32_t>(chain_start);
    announce.chain_end = static_cast<uint32_t>(chain);
    const Bytes announce_image = announce.Serialize();
    m_store.write_blocks(0, announce_image.data(), announce_image.size());
    m_store.flush_file();
    if (m_store.write_error() != 0) {
        m_store.header_state().invalidate();
        m_store.cache().clear();
        return m_store.write_error();
    }
    prepared.header_image = new_image;
    m_prepared = std::move(prepared);
    return 0;
}

int32_t CommitWriter::finish() {
    if (!m_prepared)
        return 0;
    AllReadersHold hold(m_store.locks());
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
            m_store.read_exactly(page.chain_offset, copy.data(), copy.size());
        }
        const Bytes& image = page.image.empty() ? copy : page.image;
        m_store.write_blocks(page.home, image.data(), image.size());
    }
    m_store.flush_file(); // the pages are home before a header without the chain can reach the disk
    m_store.write_blocks(0, prepared.header_image.data(), prepared.header_image.size());
    const FileHeader settled = m_store.header_state().reset_chain();
    if (m_store.write_error() != 0) {
        m_store.header_state().invalidate();
        m_store.cache().clear();
        return m_store.write_error();
    }
    // The copies beyond the used end are dead now. Their space stays for the
    // next commit's chain, so that the file keeps its size and a flush need
    // not write the file's metadata; only a large tail (a bulk commit's) is
    // cut, while we hold every slot and nobody reads.
    if (const int64_t size = m_store.io().size();
        size > 0 && static_cast<uint64_t>(size) > settled.UsedEnd() + DeadTailBytes)
        m_store.io().truncate(settled.UsedEnd());

    if (prepared.rebuilt)
        m_store.cache().clear(); // every page moved
    for (PreparedCommit::Page& page : prepared.pages) {
        m_store.cache().erase(page.home);
        if (page.node)
            m_store.cache().insert(page.home, std::move(page.node));
    }
    m_store.header_state().settle(settled);
    m_zone_slots = std::move(prepared.zone_slots);
    if (prepared.rebuilt)
        m_zone_slots.counter.reset();
    else
        m_zone_slots.counter = settled.change_counter;
    m_store.staged().clear();
    m_store.issued_record().reset();
    return 0;
}

void CommitWriter::abandon() {
    m_store.staged().clear();
    m_store.issued_record().reset();
    if (!m_prepared)
        return;
    AllReadersHold hold(m_store.locks());
    hold.held = true;
    m_prepared.reset();
    // The header at offset 0 still has the old zones: forgetting the chain
    // brings back the state before the commit.
    m_store.header_state().reset_chain();
    m_store.header_state().forget_commit();
    m_store.cache().clear();
}

} // namespace morvex::qvd

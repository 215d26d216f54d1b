// The two-phase commit of one open QVD file: the staged changes become page
// images with homes in the zones, replaced pages go to the pending-page chain
// first and home afterwards. A commit of many changes writes the tree anew
// (store_rebuild.cpp); a commit of several files together stops between the
// phases (qvd_transaction.h).
#pragma once

#include "files/qvd/file_header.h"
#include "files/qvd/page_codec.h"
#include "files/qvd/zone_slots.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace morvex::qvd {

class StoreImpl;

// Chain copies are written in pieces of this size (one write for a small commit).
constexpr size_t ChainWriteBytes = size_t{1} << 20;
// The dead chain copies beyond the used end that a commit leaves in place
// for the next chain; a longer tail is cut.
constexpr uint64_t DeadTailBytes = uint64_t{1} << 20;

// A commit whose first phase is done: its chain is announced at offset 0 and
// every reader slot stays held until the second phase writes the pages home
// (or the commit is abandoned and the chain forgotten).
struct PreparedCommit {
    struct Page {
        uint32_t home = 0;
        bool in_chain = false; // replaces a page: its copy is in the chain, home is written in phase 2
        uint64_t chain_offset = 0;
        uint32_t length = 0;
        Bytes image;                          // chain copies: empty when read back from the chain
        std::shared_ptr<const PageNode> node; // changed nodes, for the cache
    };
    std::vector<Page> pages;
    Bytes header_image;
    bool rebuilt = false; // the whole tree was written anew
    ZoneSlots zone_slots; // the used slots after the commit (not kept after a rebuild)
    Bytes chain_buffer;   // copies not yet written, to go at chain_buffer_at
    uint64_t chain_buffer_at = 0;
};

class CommitWriter {
public:
    explicit CommitWriter(StoreImpl& store) : m_store(store) {}

    int32_t commit();
    // Phase 1; leaves the commit prepared (nothing to write: none) and every
    // reader slot held. Outside a transaction the transaction record is dropped.
    int32_t prepare(bool in_transaction);
    int32_t finish();
    // Forgets a prepared commit's chain (the file keeps its state before it).
    void abandon();
    bool prepared() const { return m_prepared.has_value(); }

private:
    // A commit of many changes (store_rebuild.cpp): the tree written anew in
    // one ordered pass, within a bounded amount of memory.
    int32_t prepare_rebuild(const FileHeader& old_header);
    // Phase 1's writes: a page replacing one below the old end goes to the
    // chain, a new one home; then the new header closes the chain and the
    // old header at offset 0 names it.
    void write_ahead(PreparedCommit& prepared, uint64_t& chain, uint64_t old_end, uint32_t home, Bytes image,
                     std::shared_ptr<const PageNode> node);
    int32_t announce(const FileHeader& old_header, const FileHeader& new_header, uint64_t chain_start,
                     uint64_t chain, PreparedCommit prepared);
    void write_chain_buffer(PreparedCommit& prepared);

    StoreImpl& m_store;
    ZoneSlots m_zone_slots; // valid while its counter is the cached header's
    std::optional<PreparedCommit> m_prepared;
    bool m_rebuilding = false; // chain copies are read back in phase 2, not kept
};

} // namespace morvex::qvd

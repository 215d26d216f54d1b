// Loading the header of an open QVD file, and the replay, roll-forward or
// roll-back of a pending-page chain.
#include "files/qvd/store_header.h"

#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"
#include "runtime/error_numbers.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace morvex::qvd {

FileHeader HeaderState::reset_chain() {
    uint8_t bytes[FileHeaderSize];
    m_store.read_exactly(0, bytes, FileHeaderSize);
    FileHeader h;
    if (!FileHeader::Parse(ByteView(bytes, FileHeaderSize), h))
        QvdCorruption(CorruptShortRead);
    h.chain_start = h.chain_end = static_cast<uint32_t>(h.UsedEnd());
    h.change_counter += 1;
    const Bytes image = h.Serialize();
    m_store.write_blocks(0, image.data(), image.size());
    m_store.flush_file();
    return h;
}

void HeaderState::settle(const FileHeader& settled) {
    m_header = settled;
    m_loaded = true;
    m_new_file = false;
    m_pending.clear();
}

void HeaderState::forget_commit() {
    m_loaded = false;
    m_pending.clear();
}

namespace {

struct ChainCopy {
    uint32_t home;
    uint32_t offset;
    uint32_t length;
};

} // namespace

void HeaderState::replay_chain(const FileHeader& disk) {
    std::vector<ChainCopy> copies;
    std::optional<FileHeader> header_copy;
    bool broken = disk.chain_end < disk.chain_start;
    uint64_t offset = disk.chain_start;
    while (!broken && offset < disk.chain_end) {
        uint8_t first[FileHeaderSize];
        if (m_store.read_blocks(offset, first, FileHeaderSize) < FileHeaderSize) {
            broken = true;
            break;
        }
        const uint32_t home = Load32(first);
        const size_t length = RoundToUnit(Load16(first + 4));
        if (length == 0 || length > MaxPageSize || offset + length > disk.chain_end) {
            broken = true;
            break;
        }
        if (home == 0) {
            FileHeader h;
            if (!FileHeader::Parse(ByteView(first, FileHeaderSize), h)) {
                broken = true;
                break;
            }
            header_copy = h;
        } else if (home < FileHeaderSize || (home - FileHeaderSize) % UnitSize != 0) {
            broken = true;
            break;
        }
        copies.push_back(ChainCopy{home, static_cast<uint32_t>(offset), static_cast<uint32_t>(length)});
        offset += length;
    }
    // The header copy of a commit's chain carries the change counter after
    // the one at offset 0, which still has the counter from before the
    // commit; the dead copies of an earlier chain, named again by a damaged
    // header, carry an older one and are not taken for a pending commit.
    if (!header_copy || offset != disk.chain_end || header_copy->change_counter != disk.change_counter + 1)
        broken = true;
    // Every copy must fit the slot that the new header gives its home.
    for (size_t i = 0; !broken && i < copies.size(); ++i) {
        const ChainCopy& c = copies[i];
        if (c.home == 0)
            continue;
        const int size_class = header_copy->ClassOfUnit((c.home - FileHeaderSize) / UnitSize);
        broken = size_class == 0 || static_cast<size_t>(size_class) * UnitSize != c.length;
    }

    m_chain_broken = broken;
    bool keep = !broken;
    if (keep) {
        m_header = *header_copy;
        m_pending.clear();
        for (const ChainCopy& c : copies) {
            if (c.home != 0)
                m_pending[c.home] = c.offset;
        }
        // The transaction check: the driver installs keep_pending_commit;
        // without it every intact chain is kept.
        if (m_store.options().keep_pending_commit) {
            const std::optional<Bytes> record = m_store.tree_get(Bytes{TransactionRecordKey});
            keep = m_store.options().keep_pending_commit(record ? &*record : nullptr);
        }
    }

    // Roll forward or back needs the writer byte; a writer that cannot get it
    // at once leaves the work to the holder and reads through the pending map
    // (waiting here, while holding a reader slot, could deadlock with a
    // committer that holds the writer byte and waits for all reader slots).
    LockArea& locks = m_store.locks();
    const bool may_repair =
        m_store.writer() && (locks.holds_all_readers() || locks.lock(0, LockMode::Writer, false));
    if (!keep) {
        m_store.cache().clear();
        m_pending.clear();
        m_header = disk;
        if (may_repair) {
            m_header = reset_chain();
            m_chain_broken = false; // the file no longer names it
            if (!locks.holds_all_readers())
                locks.unlock(0, LockMode::Writer);
        }
        return;
    }
    if (!may_repair)
        return; // a reader keeps using the pending map
    m_store.cache().clear();
    Bytes page;
    for (const ChainCopy& c : copies) {
        page.resize(c.length);
        m_store.read_exactly(c.offset, page.data(), UnitSize);
        if (c.length > UnitSize)
            m_store.read_exactly(c.offset + UnitSize, page.data() + UnitSize, c.length - UnitSize);
        if (c.home == 0) // the header copy, last in the chain: only once the pages are on disk
            m_store.flush_file();
        m_store.write_blocks(c.home, page.data(), c.length);
    }
    m_store.flush_file();             // the pages are home before the chain is forgotten
    if (m_store.write_error() == 0) { // else the writes were skipped: read on through the pending map
        m_pending.clear();
        m_header = reset_chain();
    }
    if (!locks.holds_all_readers())
        locks.unlock(0, LockMode::Writer);
}

bool HeaderState::read_first_block(uint8_t* block) {
    const uint8_t* mapped = m_store.io().mapped_header();
    if (!mapped)
        return m_store.read_blocks(0, block, CipherBlock) == CipherBlock;
    // Another process may be writing the header while it is looked at here,
    // and the system copies a write in without any atomicity, so the block
    // can mix bytes of two header images. Words are loaded in order with the
    // change counter's last (acquire: no later load moves before an earlier
    // one); unchanged() then decides soundly for any mix (see there).
    static_assert(CipherBlock <= MappedHeaderBytes && CipherBlock == 64);
    const auto* words = reinterpret_cast<const uint64_t*>(mapped);
    constexpr size_t Order[8] = {0, 1, 2, 4, 5, 6, 7, 3}; // word 3: the counter, offsets 24..27
    for (const size_t i : Order) {
        const uint64_t word = __atomic_load_n(words + i, __ATOMIC_ACQUIRE);
        std::memcpy(block + i * 8, &word, 8);
    }
    m_store.decrypt(0, block, CipherBlock);
    return true;
}

bool HeaderState::unchanged() {
    // The chain fields and the change counter all lie in the first 64-byte
    // block, so one small read (or a look at the mapped header) decides it.
    //
    // Equality, not "at most", is what makes a block mixed from two writes
    // safe. Every header write raises the counter or keeps it, a commit
    // raises it by less than 256, and a write's bytes land one by one, so a
    // counter read mid-write mixes the bytes of the value before and after it.
    // If the value before was already above ours, both are, within 256, and
    // their lowest bytes differ from ours: no mix equals ours. So an equal
    // counter means ours was current when it was read, and since the chain
    // fields were read before it, no chain was named then either.
    if (!m_loaded || m_new_file)
        return false;
    uint8_t block[CipherBlock];
    return read_first_block(block) && std::equal(HeaderMagic, HeaderMagic + 4, block + 14) &&
           Load32(block + 6) == Load32(block + 10) && Load32(block + 24) == m_header.change_counter;
}

int32_t HeaderState::load() {
    // The common case: nobody committed since the last access.
    if (unchanged())
        return 0;
    uint8_t bytes[FileHeaderSize];
    const size_t n = m_store.read_blocks(0, bytes, FileHeaderSize);
    if (n == 0) {
        if (!m_loaded || !m_new_file) {
            m_store.cache().clear();
            m_pending.clear();
            m_header = FileHeader{};
        }
        m_new_file = true;
        m_loaded = true;
        return 0;
    }
    FileHeader disk;
    if (n < FileHeaderSize || !FileHeader::Parse(ByteView(bytes, n), disk))
        return ErrInvalidDataFile;
    // Nobody committed since: every cached page stays valid. A chain named at
    // offset 0 with the counter unchanged is a commit whose writer stopped
    // after announcing it; its pages may be half home, so it is replayed.
    if (m_loaded && !m_new_file && disk.change_counter <= m_header.change_counter &&
        disk.chain_start == disk.chain_end)
        return 0;
    m_new_file = false;
    m_chain_broken = false;
    m_store.cache().clear();
    m_pending.clear();
    m_loaded = false;
    refuse_to_build_on(disk);
    m_header = disk;
    m_loaded = true;
    if (disk.chain_start != disk.chain_end) {
        replay_chain(disk);
        refuse_to_build_on(m_header);
    }
    return 0;
}

void HeaderState::refuse_to_build_on(const FileHeader& header) {
    // A writer lays pages out over the zones and repairs chains: it must do
    // neither over a header that contradicts itself or the file (a zone that
    // starts past its end once grew a file of 15 KB to 16 MB).
    if (!m_store.writer())
        return;
    const int64_t size = m_store.io().size();
    if (!HeaderProblems(header, size >= 0 ? std::optional<uint64_t>(size) : std::nullopt).empty()) {
        m_loaded = false;
        QvdCorruption(CorruptHeaderFields);
    }
}

} // namespace morvex::qvd

// Disk access of an open QVD file: block I/O in 64-byte multiples through the
// encryption hook, the lock area, and loading the header with the replay,
// roll-forward or roll-back of a pending-page chain.
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"
#include "platform/os_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace morvex::qvd {

StoreImpl::StoreImpl(std::shared_ptr<FileIo> io, const StoreOptions& options)
    : m_io(std::move(io)), m_options(options), m_cache(options.cache_bytes),
      m_staged(options.staging_bytes, options.spill_directory) {
    if (!options.encryption_owner.empty())
        m_cipher.emplace(options.encryption_owner);
}

StoreImpl::~StoreImpl() = default;

size_t StoreImpl::read_blocks(uint64_t offset, uint8_t* buffer, size_t length) {
    if (length % CipherBlock != 0)
        QvdCorruption(CorruptReadNotBlocks);
    const int64_t n = m_io->read_at(offset, buffer, length);
    if (n < 0)
        QvdCorruption(CorruptReadRefused);
    if (m_cipher)
        m_cipher->apply(offset, buffer, static_cast<size_t>(n) / CipherBlock * CipherBlock);
    return static_cast<size_t>(n);
}

void StoreImpl::read_exactly(uint64_t offset, uint8_t* buffer, size_t length) {
    if (read_blocks(offset, buffer, length) != length)
        QvdCorruption(CorruptShortRead);
}

void StoreImpl::write_blocks(uint64_t offset, const uint8_t* buffer, size_t length) {
    if (length % CipherBlock != 0)
        QvdCorruption(CorruptWriteNotBlocks);
    if (m_write_error != 0)
        return; // once a write failed, the rest of this open writes nothing
    Bytes transformed;
    if (m_cipher) {
        transformed.assign(buffer, buffer + length);
        m_cipher->apply(offset, transformed.data(), length);
        buffer = transformed.data();
    }
    const int64_t n = m_io->write_at(offset, buffer, length);
    if (n < 0)
        m_write_error = 300 + platform::last_os_error();
    else if (static_cast<size_t>(n) < length)
        m_write_error = 5;
}

void StoreImpl::flush_file() {
    if (m_write_error != 0)
        return;
    if (m_io->flush() != 0)
        m_write_error = 300 + platform::last_os_error();
}

// ---- sharing modes ----

bool TakeSharing(FileIo& io, const StoreOptions& options) {
    const bool reads = options.mode == OpenMode::ReadOnly || !options.write_only;
    const bool writes = options.mode == OpenMode::ReadWrite;
    const bool deny_read = options.deny_read || options.exclusive;
    const bool deny_write = options.deny_write || options.exclusive;
    // Every byte is taken shared (a read-only descriptor can take no other
    // lock), and only then are the others' bytes looked at: of two opens that
    // race, at least the later one sees the other's byte, so they never both
    // succeed against each other's denial (both may fail; the caller retries).
    bool ok = io.lock(SharingByte, 1, LockKind::Shared, LockWait::No) == 0;
    for (const auto& [wanted, byte] :
         {std::pair{reads, ReadAccessByte}, std::pair{writes, WriteAccessByte},
          std::pair{deny_read, DenyReadByte}, std::pair{deny_write, DenyWriteByte}}) {
        ok = ok && (!wanted || io.lock(byte, 1, LockKind::Shared, LockWait::No) == 0);
    }
    auto held_by_others = [&](uint64_t byte) { return io.test_lock(byte, 1) != 0; };
    ok = ok && !(writes && held_by_others(DenyWriteByte)) && !(reads && held_by_others(DenyReadByte)) &&
         !(deny_write && held_by_others(WriteAccessByte)) && !(deny_read && held_by_others(ReadAccessByte));
    if (!ok)
        ReleaseSharing(io);
    return ok;
}

void ReleaseSharing(FileIo& io) {
    io.unlock(DenyWriteByte, 4); // the access and denial bytes
    io.unlock(SharingByte, 1);
}

// ---- lock area ----

bool StoreImpl::lock(uint32_t position, LockMode mode, bool wait) {
    const LockWait w = wait ? LockWait::Yes : LockWait::No;
    if (position != 0) {
        if (mode != LockMode::Writer)
            QvdCorruption(CorruptPositionLockMode);
        return m_io->lock(PositionLocks + position, 1, LockKind::Exclusive, w) == 0;
    }
    switch (mode) {
    case LockMode::Writer:
        if (m_writer_holds > 0 || m_io->lock(WriterByte, 1, LockKind::Exclusive, w) == 0) {
            ++m_writer_holds;
            return true;
        }
        return false;
    case LockMode::Reader: {
        if (m_reader_slot || m_all_readers > 0) {
            if (!m_reader_slot)
                m_reader_slot = m_next_slot;
            return true;
        }
        // Shared locks: readers never exclude each other, only a commit's
        // exclusive hold of all slots does. A slot held exclusively by another
        // implementation sends us on to the next one.
        for (uint32_t tries = 0; tries < ReaderSlots; ++tries) {
            const uint32_t slot = m_next_slot;
            if (m_io->lock(LockArea + slot, 1, LockKind::Shared, LockWait::No) == 0) {
                m_reader_slot = slot;
                return true;
            }
            m_next_slot = (m_next_slot + 1) % ReaderSlots;
        }
        if (!wait || m_io->lock(LockArea + m_next_slot, 1, LockKind::Shared, LockWait::Yes) != 0)
            return false;
        m_reader_slot = m_next_slot;
        return true;
    }
    case LockMode::AllReaders:
        if (m_all_readers > 0 || m_io->lock(LockArea, ReaderSlots, LockKind::Exclusive, w) == 0) {
            ++m_all_readers;
            return true;
        }
        return false;
    }
    return false;
}

void StoreImpl::unlock(uint32_t position, LockMode mode) {
    if (position != 0) {
        if (mode != LockMode::Writer)
            QvdCorruption(CorruptPositionUnlockMode);
        m_io->unlock(PositionLocks + position, 1);
        return;
    }
    switch (mode) {
    case LockMode::Writer:
        if (m_writer_holds > 0 && --m_writer_holds == 0)
            m_io->unlock(WriterByte, 1);
        break;
    case LockMode::Reader:
        if (!m_reader_slot)
            break;
        if (m_all_readers == 0)
            m_io->unlock(LockArea + *m_reader_slot, 1);
        m_reader_slot.reset();
        break;
    case LockMode::AllReaders:
        if (m_all_readers > 0 && --m_all_readers == 0) {
            m_io->unlock(LockArea, ReaderSlots);
            if (m_reader_slot) // an access that began before the commit keeps its slot
                m_io->lock(LockArea + *m_reader_slot, 1, LockKind::Shared, LockWait::Yes);
        }
        break;
    }
}

// ---- header, chain and recovery ----

FileHeader StoreImpl::reset_chain() {
    uint8_t bytes[FileHeaderSize];
    read_exactly(0, bytes, FileHeaderSize);
    FileHeader h;
    if (!FileHeader::Parse(ByteView(bytes, FileHeaderSize), h))
        QvdCorruption(CorruptShortRead);
    h.chain_start = h.chain_end = static_cast<uint32_t>(h.UsedEnd());
    h.change_counter += 1;
    const Bytes image = h.Serialize();
    write_blocks(0, image.data(), image.size());
    flush_file();
    return h;
}

namespace {

struct ChainCopy {
    uint32_t home;
    uint32_t offset;
    uint32_t length;
};

} // namespace

void StoreImpl::replay_chain(const FileHeader& disk) {
    std::vector<ChainCopy> copies;
    std::optional<FileHeader> header_copy;
    bool broken = disk.chain_end < disk.chain_start;
    uint64_t offset = disk.chain_start;
    while (!broken && offset < disk.chain_end) {
        uint8_t first[FileHeaderSize];
        if (read_blocks(offset, first, FileHeaderSize) < FileHeaderSize) {
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
    if (!header_copy || offset != disk.chain_end)
        broken = true;
    // Every copy must fit the slot that the new header gives its home.
    for (size_t i = 0; !broken && i < copies.size(); ++i) {
        const ChainCopy& c = copies[i];
        if (c.home == 0)
            continue;
        const int size_class = header_copy->ClassOfUnit((c.home - FileHeaderSize) / UnitSize);
        broken = size_class == 0 || static_cast<size_t>(size_class) * UnitSize != c.length;
    }

    bool keep = !broken;
    if (keep) {
        m_header = *header_copy;
        m_pending.clear();
        for (const ChainCopy& c : copies) {
            if (c.home != 0)
                m_pending[c.home] = c.offset;
        }
        if (m_options.keep_pending_commit) {
            const std::optional<Bytes> record = tree_get(Bytes{0xFF});
            keep = m_options.keep_pending_commit(record ? &*record : nullptr);
        }
        // Hook for the transaction control file: the driver installs
        // keep_pending_commit; without it every intact chain is kept.
    }

    // Roll forward or back needs the writer byte; a writer that cannot get it
    // at once leaves the work to the holder and reads through the pending map
    // (waiting here, while holding a reader slot, could deadlock with a
    // committer that holds the writer byte and waits for all reader slots).
    const bool may_repair = writer() && (m_all_readers > 0 || lock(0, LockMode::Writer, false));
    if (!keep) {
        m_cache.clear();
        m_pending.clear();
        m_header = disk;
        if (may_repair) {
            m_header = reset_chain();
            if (m_all_readers == 0)
                unlock(0, LockMode::Writer);
        }
        return;
    }
    if (!may_repair)
        return; // a reader keeps using the pending map
    m_cache.clear();
    Bytes page;
    for (const ChainCopy& c : copies) {
        page.resize(c.length);
        read_exactly(c.offset, page.data(), UnitSize);
        if (c.length > UnitSize)
            read_exactly(c.offset + UnitSize, page.data() + UnitSize, c.length - UnitSize);
        if (c.home == 0) // the header copy, last in the chain: only once the pages are on disk
            flush_file();
        write_blocks(c.home, page.data(), c.length);
    }
    flush_file();             // the pages are home before the chain is forgotten
    if (m_write_error == 0) { // else the writes were skipped: read on through the pending map
        m_pending.clear();
        m_header = reset_chain();
    }
    if (m_all_readers == 0)
        unlock(0, LockMode::Writer);
}

bool StoreImpl::read_header_block(uint8_t* block) {
    const uint8_t* mapped = m_io->mapped_header();
    if (!mapped)
        return read_blocks(0, block, CipherBlock) == CipherBlock;
    // Another process may be writing the header while it is looked at here,
    // and the system copies a write in without any atomicity, so the block
    // can mix bytes of two header images. Words are loaded in order with the
    // change counter's last (acquire: no later load moves before an earlier
    // one); header_unchanged then decides soundly for any mix (see there).
    static_assert(CipherBlock <= MappedHeaderBytes && CipherBlock == 64);
    const auto* words = reinterpret_cast<const uint64_t*>(mapped);
    constexpr size_t Order[8] = {0, 1, 2, 4, 5, 6, 7, 3}; // word 3: the counter, offsets 24..27
    for (const size_t i : Order) {
        const uint64_t word = __atomic_load_n(words + i, __ATOMIC_ACQUIRE);
        std::memcpy(block + i * 8, &word, 8);
    }
    if (m_cipher)
        m_cipher->apply(0, block, CipherBlock);
    return true;
}

bool StoreImpl::header_unchanged() {
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
    if (!m_header_loaded || m_new_file)
        return false;
    uint8_t block[CipherBlock];
    return read_header_block(block) && std::equal(HeaderMagic, HeaderMagic + 4, block + 14) &&
           Load32(block + 6) == Load32(block + 10) && Load32(block + 24) == m_header.change_counter;
}

void StoreImpl::take_late_reader_slot() {
    m_unlocked_access = false;
    m_late_slot = lock(0, LockMode::Reader, true);
    if (!header_unchanged())
        throw RestartAccess{};
}

int32_t StoreImpl::load_header() {
    // The common case: nobody committed since the last access.
    if (header_unchanged())
        return 0;
    uint8_t bytes[FileHeaderSize];
    const size_t n = read_blocks(0, bytes, FileHeaderSize);
    if (n == 0) {
        if (!m_header_loaded || !m_new_file) {
            m_cache.clear();
            m_pending.clear();
            m_header = FileHeader{};
        }
        m_new_file = true;
        m_header_loaded = true;
        return 0;
    }
    FileHeader disk;
    if (n < FileHeaderSize || !FileHeader::Parse(ByteView(bytes, n), disk))
        return 36;
    // Nobody committed since: every cached page stays valid. A chain named at
    // offset 0 with the counter unchanged is a commit whose writer stopped
    // after announcing it; its pages may be half home, so it is replayed.
    if (m_header_loaded && !m_new_file && disk.change_counter <= m_header.change_counter &&
        disk.chain_start == disk.chain_end)
        return 0;
    m_new_file = false;
    m_cache.clear();
    m_pending.clear();
    m_header = disk;
    m_header_loaded = true;
    if (disk.chain_start != disk.chain_end)
        replay_chain(disk);
    return 0;
}

AccessScope::AccessScope(StoreImpl& store) : m_store(store) {
    if (store.m_access_depth == 0 && store.m_all_readers == 0 && !store.m_reader_slot &&
        !store.others_cannot_write()) {
        if (!store.m_no_unlocked_access && store.header_unchanged()) {
            store.m_unlocked_access = true;
            ++store.m_access_depth;
            return;
        }
        m_locked = store.lock(0, LockMode::Reader, true);
    }
    ++store.m_access_depth;
    if (store.m_access_depth > 1)
        return;
    try {
        if (store.load_header() != 0)
            QvdCorruption(CorruptShortRead);
    } catch (...) {
        --store.m_access_depth;
        if (m_locked)
            store.unlock(0, LockMode::Reader);
        throw;
    }
}

AccessScope::~AccessScope() {
    --m_store.m_access_depth;
    if (m_locked)
        m_store.unlock(0, LockMode::Reader);
    if (m_store.m_access_depth == 0) {
        m_store.m_unlocked_access = false;
        if (m_store.m_late_slot)
            m_store.unlock(0, LockMode::Reader);
        m_store.m_late_slot = false;
    }
}

} // namespace morvex::qvd

// The lock area of an open QVD file: sharing bytes, reader slots, the writer
// byte and position locks, and the access scope that holds a reader slot for
// one operation.
#include "files/qvd/store_locks.h"

#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"
#include "platform/os_error.h"
#include "runtime/error_numbers.h"

#include <cerrno>

namespace morvex::qvd {

namespace {

int32_t RefusedLockError() {
    const int error = platform::last_os_error();
    return error == 0 ? ErrAccessDenied : OsErrorNumber(error);
}

} // namespace

// ---- sharing modes ----

bool LockArea::take_sharing() {
    const bool reads = m_options.mode == OpenMode::ReadOnly || !m_options.write_only;
    const bool writes = m_options.mode == OpenMode::ReadWrite;
    const bool deny_read = m_options.deny_read || m_options.exclusive;
    const bool deny_write = m_options.deny_write || m_options.exclusive;
    // Every byte is taken shared (a read-only descriptor can take no other
    // lock), and only then are the others' bytes looked at: of two opens that
    // race, at least the later one sees the other's byte, so they never both
    // succeed against each other's denial (both may fail; the caller retries).
    bool ok = m_io.lock(SharingByte, 1, LockKind::Shared, LockWait::No) == 0;
    for (const auto& [wanted, byte] :
         {std::pair{reads, ReadAccessByte}, std::pair{writes, WriteAccessByte},
          std::pair{deny_read, DenyReadByte}, std::pair{deny_write, DenyWriteByte}}) {
        ok = ok && (!wanted || m_io.lock(byte, 1, LockKind::Shared, LockWait::No) == 0);
    }
    auto held_by_others = [&](uint64_t byte) { return m_io.test_lock(byte, 1) != 0; };
    ok = ok && !(writes && held_by_others(DenyWriteByte)) && !(reads && held_by_others(DenyReadByte)) &&
         !(deny_write && held_by_others(WriteAccessByte)) && !(deny_read && held_by_others(ReadAccessByte));
    m_sharing_held = true;
    // An open nobody else can have the file beside needs no counter.
    const bool alone = m_options.exclusive || (deny_read && deny_write);
    ok = ok && (alone || m_held.join(writes ? HoldAbility::MayHold : HoldAbility::None));
    if (!ok)
        release_sharing();
    return ok;
}

void LockArea::release_sharing() {
    if (!m_sharing_held)
        return;
    m_held.leave();
    m_io.unlock(DenyWriteByte, 4); // the access and denial bytes
    m_io.unlock(SharingByte, 1);
    m_sharing_held = false;
}

// ---- the lock area ----

bool LockArea::lock(uint32_t position, LockMode mode, bool wait) {
    const LockWait w = wait ? LockWait::Yes : LockWait::No;
    if (position != 0) {
        if (mode != LockMode::Writer)
            QvdCorruption(CorruptPositionLockMode);
        // The counter moves only once the lock is had: an open that reads
        // the counter unmoved since it asked the kernel knows that every
        // position lock raised before that was in the kernel's answer.
        m_held.before_hold();
        if (m_io.lock(PositionLocks + position, 1, LockKind::Exclusive, w) != 0)
            return false;
        m_held.after_hold();
        return true;
    }
    switch (mode) {
    case LockMode::Writer:
        if (m_writer_holds > 0 || m_io.lock(WriterByte, 1, LockKind::Exclusive, w) == 0) {
            ++m_writer_holds;
            return true;
        }
        return false;
    case LockMode::Reader: {
        if (m_reader_slot)
            return true;
        if (m_all_readers > 0) {
            // Covered by the hold of every slot; this one is taken on its own
            // when that hold ends (see unlock).
            m_reader_slot = m_next_slot;
            return true;
        }
        // Shared locks: readers never exclude each other, only a commit's
        // exclusive hold of all slots does. A slot held exclusively by another
        // implementation sends us on to the next one.
        for (uint32_t tries = 0; tries < ReaderSlots; ++tries) {
            const uint32_t slot = m_next_slot;
            if (m_io.lock(LockAreaOffset + slot, 1, LockKind::Shared, LockWait::No) == 0) {
                m_reader_slot = slot;
                return true;
            }
            m_next_slot = (m_next_slot + 1) % ReaderSlots;
        }
        if (!wait || m_io.lock(LockAreaOffset + m_next_slot, 1, LockKind::Shared, LockWait::Yes) != 0)
            return false;
        m_reader_slot = m_next_slot;
        return true;
    }
    case LockMode::AllReaders:
        if (m_all_readers > 0 || m_io.lock(LockAreaOffset, ReaderSlots, LockKind::Exclusive, w) == 0) {
            ++m_all_readers;
            return true;
        }
        return false;
    }
    return false;
}

void LockArea::unlock(uint32_t position, LockMode mode) {
    if (position != 0) {
        if (mode != LockMode::Writer)
            QvdCorruption(CorruptPositionUnlockMode);
        m_io.unlock(PositionLocks + position, 1);
        return;
    }
    switch (mode) {
    case LockMode::Writer:
        if (m_writer_holds > 0 && --m_writer_holds == 0)
            m_io.unlock(WriterByte, 1);
        break;
    case LockMode::Reader:
        if (!m_reader_slot)
            break;
        if (m_all_readers == 0)
            m_io.unlock(LockAreaOffset + *m_reader_slot, 1);
        m_reader_slot.reset();
        break;
    case LockMode::AllReaders:
        if (m_all_readers > 0 && --m_all_readers == 0) {
            m_io.unlock(LockAreaOffset, ReaderSlots);
            // An access that began before the commit keeps a slot of its own.
            // When the system refuses it, the access no longer holds one: it
            // goes on as one begun from the cache, which takes a slot (and
            // checks the counter) before it next reads the disk.
            if (m_reader_slot &&
                m_io.lock(LockAreaOffset + *m_reader_slot, 1, LockKind::Shared, LockWait::Yes) != 0) {
                m_reader_slot.reset();
                if (m_access_depth > 0)
                    m_access = AccessState::FromCache;
            }
        }
        break;
    }
}

void LockArea::release_all() {
    while (m_all_readers > 0)
        unlock(0, LockMode::AllReaders);
    while (m_writer_holds > 0)
        unlock(0, LockMode::Writer);
    if (m_reader_slot)
        unlock(0, LockMode::Reader);
    release_sharing();
}

// ---- the access scope ----

AccessScope::AccessScope(StoreImpl& store) : m_store(store) {
    LockArea& locks = store.locks();
    if (locks.m_access_depth == 0)
        ++locks.m_access_serial;
    if (locks.m_access_depth == 0 && locks.m_all_readers == 0 && !locks.m_reader_slot &&
        !locks.others_cannot_write()) {
        if (locks.m_access != AccessState::MustLock && store.header_state().unchanged()) {
            locks.m_access = AccessState::FromCache;
            ++locks.m_access_depth;
            return;
        }
        if (!locks.lock(0, LockMode::Reader, true))
            throw AccessRefused{RefusedLockError()};
        m_locked = true;
    }
    ++locks.m_access_depth;
    if (locks.m_access_depth > 1)
        return;
    try {
        if (store.header_state().load() != 0)
            QvdCorruption(CorruptShortRead);
    } catch (...) {
        --locks.m_access_depth;
        if (m_locked)
            locks.unlock(0, LockMode::Reader);
        throw;
    }
}

AccessScope::~AccessScope() {
    LockArea& locks = m_store.locks();
    --locks.m_access_depth;
    if (m_locked)
        locks.unlock(0, LockMode::Reader);
    if (locks.m_access_depth == 0) {
        if (locks.m_access == AccessState::LateSlot)
            locks.unlock(0, LockMode::Reader);
        if (locks.m_access != AccessState::MustLock)
            locks.m_access = AccessState::Slotted;
    }
}

void AccessScope::take_late_slot(StoreImpl& store) {
    LockArea& locks = store.locks();
    if (locks.m_access != AccessState::FromCache)
        return;
    if (!locks.lock(0, LockMode::Reader, true))
        throw AccessRefused{RefusedLockError()};
    locks.m_access = AccessState::LateSlot;
    if (!store.header_state().unchanged())
        throw RestartAccess{};
}

} // namespace morvex::qvd

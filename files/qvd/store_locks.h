// The lock area of one open QVD file and the scope of one access. Every lock
// is an open-file-description byte-range lock at offsets beyond any data:
// the reader slots, the writer byte and the position locks of the format, and
// the sharing bytes just below them through which OPEN's sharing modes hold
// against other opens.
#pragma once

#include "files/qvd/file_io.h"
#include "files/qvd/held_positions.h"
#include "files/qvd/qvd_store.h"

#include <cstdint>
#include <optional>

namespace morvex::qvd {

constexpr uint64_t LockAreaOffset = uint64_t{1} << 31;
constexpr uint32_t ReaderSlots = 1023;
constexpr uint64_t WriterByte = LockAreaOffset + ReaderSlots;
constexpr uint64_t PositionLocks = LockAreaOffset + 1024;
// Held shared by every open (an exclusive hold of it denies every open).
constexpr uint64_t SharingByte = LockAreaOffset - 1;
// Held shared by every open that reads, that writes, that denies reading to
// others, that denies writing to others (an exclusive open denies both).
constexpr uint64_t ReadAccessByte = LockAreaOffset - 3;
constexpr uint64_t WriteAccessByte = LockAreaOffset - 4;
constexpr uint64_t DenyReadByte = LockAreaOffset - 5;
constexpr uint64_t DenyWriteByte = LockAreaOffset - 6;

// How the access in progress is protected against another process's commit.
enum class AccessState : uint8_t {
    Slotted,   // it holds a reader slot (or all of them), or no access runs
    FromCache, // it answers from the cache without a slot, the counter unchanged
    LateSlot,  // it began from the cache and took a slot when it needed the disk
    MustLock,  // an operation run again after a restart: a slot from its start
};

class LockArea {
public:
    LockArea(FileIo& io, const StoreOptions& options)
        : m_io(io), m_options(options), m_held(io, PositionLocks) {}

    // The sharing bytes of the open's sharing mode: false (nothing kept) when
    // another open's sharing mode or access conflicts with this one's. An open
    // that others may share also joins the file's hold counter here.
    bool take_sharing();
    void release_sharing();
    // While this open denies writing to others, no other open can commit: its
    // accesses need no reader slot, as nothing can change the file under
    // them but its own commits.
    bool others_cannot_write() const {
        return m_sharing_held && (m_options.deny_write || m_options.exclusive);
    }

    // Position 0 with a mode, or a position p > 0 with mode Writer (another
    // mode is corruption 2328). False when the lock is not had: held
    // elsewhere (wait = false) or refused by the system.
    bool lock(uint32_t position, LockMode mode, bool wait);
    void unlock(uint32_t position, LockMode mode);
    // Whether another open holds position lock `position`; takes nothing.
    // Most answers come without a system call (held_positions.h).
    bool locked_elsewhere(uint32_t position) {
        return m_held.held_elsewhere(position, m_access_depth > 0 ? m_access_serial : 0);
    }
    // Gives back every lock this open holds (CLOSE).
    void release_all();

    bool holds_all_readers() const { return m_all_readers > 0; }
    bool holds_reader_slot() const { return m_reader_slot.has_value(); }

    AccessState access_state() const { return m_access; }
    // A restarted operation runs again holding a slot from its start; Slotted ends that.
    void set_access_state(AccessState state) { m_access = state; }

private:
    friend class AccessScope;

    FileIo& m_io;
    const StoreOptions& m_options;
    HeldPositions m_held;
    bool m_sharing_held = false;
    int m_all_readers = 0; // depth of held mode-2 locks
    int m_writer_holds = 0;
    uint32_t m_next_slot = 0; // rotation of mode 1
    std::optional<uint32_t> m_reader_slot;
    int m_access_depth = 0;       // nested accesses share one reader slot
    uint64_t m_access_serial = 0; // counts the outermost accesses begun
    AccessState m_access = AccessState::Slotted;
};

class StoreImpl;

// Thrown when an access that began without a reader slot finds, on taking
// one, that another process committed meanwhile: the operation runs again.
struct RestartAccess {};
// Thrown when the system refuses a reader slot that an access waits for:
// the operation fails with `error` rather than read unprotected.
struct AccessRefused {
    int32_t error;
};

// Holds a reader slot (unless this store already holds all of them, or no
// other open can write) and brings the cached header up to date for the
// length of one operation.
//
// When the cached header is current and the change counter on disk has not
// moved, the access starts without a reader slot: whatever it answers from the
// cache is the state before any commit still in progress, since a committer
// raises the counter only after its pages are home. The first read of a page
// from the disk takes the slot (take_late_slot) and checks the counter again;
// if it moved, the pages used so far may be stale and the operation restarts
// (RestartAccess).
class AccessScope {
public:
    explicit AccessScope(StoreImpl& store);
    ~AccessScope();
    AccessScope(const AccessScope&) = delete;
    AccessScope& operator=(const AccessScope&) = delete;

    // Called before the disk is read: takes the reader slot an access begun
    // from the cache needs.
    static void take_late_slot(StoreImpl& store);

private:
    StoreImpl& m_store;
    bool m_locked = false;
};

} // namespace morvex::qvd

// Record holds, watches and the file lock, all kept in the lock area's
// position locks (open-file-description byte-range locks, so they exclude
// other processes and other opens in this process alike, and vanish with the
// process that took them):
// - a held record locks position p = its record number (record numbers are
//   unique across the tables of one disk file and stay below 0xFE000000);
// - a locked file (a declared file, i.e. one table) locks position
//   0xFF000000 + the table number, above every record number.
// A station that only reads or writes asks whether another open holds a
// position, without taking it (mostly answered from the file's hold counter,
// files/qvd/held_positions.h). Taking a position is still tried for a
// short grace, in case a station of an older kind tests by taking.
// The locks are exclusive byte-range locks, which a read-only descriptor
// cannot take: a read-only open sees other stations' holds but holds nothing
// itself (nothing can be written through it, so there is no change to
// protect), and it cannot LOCK the file (5).
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_entries.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace morvex::qvd {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint32_t FileLockPositions = 0xFF000000u;
// How long another station's momentary test of a position may keep it.
constexpr int32_t TestGraceMs = 10;
// The longest wait a HOLD or LOCK with seconds can ask for (one day).
constexpr int32_t MaxWaitSeconds = 86400;

uint32_t file_lock_position(const QvdFileState& state) {
    return FileLockPositions + (state.table & 0x00FFFFFFu);
}

// Takes the position lock (position 0: the writer byte), trying again until
// it is had or `wait_ms` (at least the grace) has passed.
bool take_position(Store& store, uint32_t position, int32_t wait_ms) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + milliseconds(std::max(wait_ms, TestGraceMs));
    for (;;) {
        if (store.Lock(position, LockMode::Writer, false))
            return true;
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return false;
        // Short steps through the grace, longer ones in a long wait.
        const milliseconds step = now - start < milliseconds(TestGraceMs) ? milliseconds(1) : milliseconds(5);
        std::this_thread::sleep_for(std::min<Clock::duration>(step, deadline - now));
    }
}

// True when another station (process or open) holds the position.
bool held_elsewhere(Store& store, uint32_t position) {
    return store.IsLockedElsewhere(position);
}

void release_hold(QvdFileState& state) {
    ConcurrencyState& c = state.concurrency;
    if (c.held_record != 0)
        state.store->Unlock(c.held_record, LockMode::Writer);
    c.held_record = 0;
}

int32_t wait_ms(int32_t seconds) {
    return std::clamp(seconds, 0, MaxWaitSeconds) * 1000;
}

} // namespace

// The read that reaches a record ends the previous watch, and the previous
// hold unless it holds the same record again.
bool AdmitRecordRead(QvdFileState& state, uint32_t record, std::optional<ByteView>& image, Bytes& reread) {
    ConcurrencyState& c = state.concurrency;
    const bool hold = c.hold_next;
    const int32_t hold_wait_ms = c.hold_wait_ms;
    const bool watch = c.watch_next;
    c.hold_next = c.watch_next = false;
    c.hold_wait_ms = 0;
    c.watched_record = 0;
    c.watched_image.clear();
    if (c.held_record != record || !hold)
        release_hold(state);
    Store& store = *state.store;
    if (hold && state.writable && c.held_record != record) {
        if (!take_position(store, record, hold_wait_ms)) {
            SetError(ErrRecordAlreadyHeld);
            return false;
        }
        c.held_record = record;
        // What was read before the hold may have changed while it was awaited.
        std::optional<Bytes> now = store.Get(RecordEntryKey(state.table, record));
        if (!now) {
            image.reset();
            release_hold(state);
            return true;
        }
        reread = std::move(*now);
        image = ByteView(reread);
    } else if (!state.denies_writers && held_elsewhere(store, record)) {
        // An open that denies writing to others (deny-all or deny-write)
        // needs no test: only an open that writes holds records, and no other
        // such open of the file can exist while this one does.
        SetError(ErrRecordAlreadyHeld);
        return false;
    }
    if (watch) {
        c.watched_record = record;
        c.watched_image.assign(image->begin(), image->end());
    }
    return true;
}

bool AdmitFileChange(QvdFileState& state) {
    ConcurrencyState& c = state.concurrency;
    // A LOCK needs the writer byte, which a transaction keeps: once the file
    // was found unlocked inside one, nobody can lock it before its end.
    if (c.file_locked || (c.in_transaction && c.file_free_in_transaction))
        return true;
    if (!held_elsewhere(*state.store, file_lock_position(state))) {
        c.file_free_in_transaction = c.in_transaction;
        return true;
    }
    SetError(ErrFileAlreadyLocked);
    return false;
}

bool AdmitRecordChange(QvdFileState& state, uint32_t record, const Bytes& stored_image, bool is_put) {
    ConcurrencyState& c = state.concurrency;
    const bool watched = c.watched_record == record;
    const Bytes watched_image = std::move(c.watched_image);
    c.watched_record = 0;
    c.watched_image.clear();
    if (c.held_record != record && held_elsewhere(*state.store, record)) {
        SetError(ErrRecordAlreadyHeld);
        return false;
    }
    if (is_put && watched && watched_image != stored_image) {
        SetError(ErrRecordChangedByAnotherStation);
        return false;
    }
    return true;
}

void RecordDeleted(QvdFileState& state, uint32_t record) {
    if (state.concurrency.held_record == record)
        release_hold(state);
}

// HOLD: the next read holds its record or fails at once with 43.
int32_t QvdFileDriver::Hold(DriverCall& call) {
    return HoldFor(call, 0);
}

// HOLD with seconds: the next read waits up to that long for the hold.
int32_t QvdFileDriver::HoldFor(DriverCall& call, int32_t seconds) {
    if (QvdFileState* state = OpenState(call)) {
        state->concurrency.hold_next = true;
        state->concurrency.hold_wait_ms = wait_ms(seconds);
    }
    return 0;
}

int32_t QvdFileDriver::Watch(DriverCall& call) {
    if (QvdFileState* state = OpenState(call))
        state->concurrency.watch_next = true;
    return 0;
}

// RELEASE: the held record is free again; a HOLD not yet used is dropped.
int32_t QvdFileDriver::Release(DriverCall& call) {
    if (QvdFileState* state = OpenState(call)) {
        release_hold(*state);
        state->concurrency.hold_next = false;
    }
    return 0;
}

bool TakeWriterByte(Store& store, int32_t seconds) {
    if (seconds < 0)
        return store.Lock(0, LockMode::Writer, true);
    return take_position(store, 0, wait_ms(seconds));
}

int32_t QvdFileDriver::Lock(DriverCall& call, int32_t seconds) {
    return LockFor(call, seconds);
}

// LOCK: the table's file lock, waited for up to `seconds` (LOCK without
// seconds tries once); 32 when another station keeps it. Changes another
// station began before the lock was had are waited for (they hold the writer
// byte from their check to their commit), so none lands after LOCK returns.
int32_t QvdFileDriver::LockFor(DriverCall& call, int32_t seconds) {
    QvdFileState* state = OpenState(call);
    if (!state || state->concurrency.file_locked)
        return 0;
    if (!state->writable) {
        SetError(ErrAccessDenied);
        return 0;
    }
    Store& store = *state->store;
    const Clock::time_point start = Clock::now();
    const uint32_t position = file_lock_position(*state);
    if (!take_position(store, position, wait_ms(seconds))) {
        SetError(ErrFileAlreadyLocked);
        return 0;
    }
    // The writer byte, within what is left of the wait (a station inside a
    // transaction keeps it until its COMMIT or ROLLBACK).
    const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    const int32_t left = std::max<int32_t>(0, wait_ms(seconds) - static_cast<int32_t>(waited.count()));
    if (!take_position(store, 0, left)) {
        store.Unlock(position, LockMode::Writer);
        SetError(ErrFileAlreadyLocked);
        return 0;
    }
    store.Unlock(0, LockMode::Writer);
    state->concurrency.file_locked = true;
    return 0;
}

int32_t QvdFileDriver::Unlock(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (state && state->concurrency.file_locked) {
        state->store->Unlock(file_lock_position(*state), LockMode::Writer);
        state->concurrency.file_locked = false;
    }
    return 0;
}

} // namespace morvex::qvd

// What the QVD driver keeps per open instance of a declared file: the store
// and table, the key shapes derived from the declaration once at OPEN, the
// reading order and position, the current record, and the record holds,
// watches and file lock.
#pragma once

#include "files/file_declaration.h"
#include "files/qvd/key_encoding.h"
#include "files/qvd/qvd_store.h"
#include "files/qvd/record_image.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvex::qvd {

// One declared key as the driver stores it: entries under the key's number,
// the value bytes and, for a key that allows duplicates, the record number.
struct KeyIndex {
    const KeyDeclaration* declaration = nullptr;
    uint8_t number = 0; // 1-based declaration position, the entry type byte
    KeyShape shape;
    bool unique = true; // neither DUP nor INDEX
    bool optional = false;
};

// The index of the file's key `number` (1-based, in declaration order).
KeyIndex KeyIndexOf(const FileDeclaration& file, uint8_t number);

// Where the next NEXT or PREVIOUS reads, in the current order (record order
// or one key). Positions are entry keys, never page addresses, so changes by
// this or another process never invalidate them.
struct Cursor {
    enum class Kind : uint8_t {
        Start,       // after SET without a value: NEXT reads the first entry, PREVIOUS the last
        Inclusive,   // at a value: NEXT reads the first entry >= low, PREVIOUS the last <= high
        OnEntry,     // at the entry last read: NEXT and PREVIOUS read its neighbours
        PastEnd,     // NEXT ran off the end: NEXT fails again, PREVIOUS reads the last
        BeforeStart, // PREVIOUS ran off the start: PREVIOUS fails again, NEXT reads the first
    };
    Kind kind = Kind::Start;
    uint8_t order = 0; // 0 record order, else the key's number
    Bytes low;         // full entry keys (table prefix included)
    Bytes high;
};

// Record holds, watches and the file lock of one open (qvd_driver_locks.cpp).
// HOLD and WATCH arm the next read; the read that reaches a record turns them
// into a held or watched record.
struct ConcurrencyState {
    bool hold_next = false;      // HOLD: the next read holds its record
    int32_t hold_wait_ms = 0;    // HOLD with seconds: how long that read waits for the hold
    bool watch_next = false;     // WATCH: the next read watches its record
    uint32_t held_record = 0;    // 0: none; its position lock is ours
    uint32_t watched_record = 0; // 0: none
    Bytes watched_image;         // the stored image when it was read, to detect a change elsewhere (89)
    bool file_locked = false;    // LOCK: the table's file-lock position is ours
    bool in_transaction = false;
    bool file_free_in_transaction = false; // no other station had the file locked since LOGOUT
};

struct QvdFileState : DriverInstance {
    std::unique_ptr<Store> store;
    std::string path;
    uint32_t table = 0;
    bool writable = false;
    bool exclusive = false;      // opened deny-all
    bool denies_writers = false; // deny-all or deny-write: no other open can write, nor hold
    int32_t access_mode = 0;

    RecordImage image;
    std::vector<KeyIndex> keys; // declaration order; keys[n - 1] has number n

    Cursor cursor;
    uint32_t current_record = 0;  // 0: none
    Bytes current_buffer;         // the current record as last read or written (buffer form)
    bool skip_memos_once = false; // NOMEMO: the next read leaves the memo buffers alone

    int32_t recover_seconds = 0; // SEND "Recover=n": lock recovery wait
    bool quick_scan = false;     // SEND "QUICKSCAN=on|off": a hint for sequential reading
    // SEND "CreateMissing=on|off": CREATE leaves a table that exists alone
    // instead of emptying it.
    bool create_keeps_existing = false;
    ConcurrencyState concurrency;

    QvdFileState() = default;
    // An instance that goes away inside a transaction leaves it (its staged
    // changes go with its store).
    ~QvdFileState() override;
    QvdFileState(const QvdFileState&) = delete;
    QvdFileState& operator=(const QvdFileState&) = delete;

    bool open() const { return store != nullptr; }
    const KeyIndex* key_index(const KeyDeclaration& declaration) const;
};

} // namespace morvex::qvd

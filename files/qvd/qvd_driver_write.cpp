// Changing records: ADD, PUT and DELETE keep the record, every key entry and
// the memo segments in step and commit them together, under the writer byte,
// so that a statement's duplicate checks and its commit see the same file.
// A file locked by another station refuses them (32), a record held by
// another station refuses PUT and DELETE (43), and a watched record that
// another station changed since it was read refuses PUT (89).
// DUPLICATE answers whether the record buffer would collide in a unique key.
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_memos.h"
#include "files/qvd/qvd_write_lock.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

namespace morvex::qvd {

namespace {

Bytes record_number_data(uint32_t record) {
    Bytes data;
    PutBigEndian32(data, record);
    return data;
}

// The record that holds `entry` of a unique key, 0 when none does.
uint32_t holder_of(Store& store, const Bytes& entry) {
    const std::optional<Bytes> data = store.Get(entry);
    return data && data->size() == 4 ? ReadBigEndian32(data->data()) : 0;
}

// The key entries the buffer gives `record`, one per key (nullopt where an
// OPT key leaves the value out); error 88 (with the key's label) for a value
// too long to be stored, 40 for a value that a unique key holds for another record.
int32_t new_entries(QvdFileState& state, const uint8_t* buffer, uint32_t record,
                    std::vector<std::optional<Bytes>>& entries) {
    entries.clear();
    for (const KeyIndex& key : state.keys) {
        std::optional<Bytes> entry = KeyEntryKey(state.table, key, buffer, record);
        if (entry && entry->size() > MaxKeyLength) {
            SetError(ErrInvalidKeyLength, key.declaration->label);
            return ErrInvalidKeyLength;
        }
        if (entry && key.unique) {
            const uint32_t holder = holder_of(*state.store, *entry);
            if (holder != 0 && holder != record) {
                SetError(ErrCreatesDuplicateKey, key.declaration->label);
                return ErrCreatesDuplicateKey;
            }
        }
        entries.push_back(std::move(entry));
    }
    return 0;
}

// A statement's changes reach the disk at once, or with the transaction's COMMIT.
int32_t commit(QvdFileState& state) {
    if (state.concurrency.in_transaction)
        return 0;
    if (int32_t error = state.store->Commit(); error != 0) {
        state.store->Rollback();
        SetError(error);
        return error;
    }
    return 0;
}

QvdFileState* writable_state(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (state && !state->writable) {
        SetError(ErrAccessDenied);
        return nullptr;
    }
    return state;
}

// The state of a writable open with a current record, for PUT and DELETE;
// null with 33 when no record is current.
QvdFileState* current_record_state(DriverCall& call) {
    QvdFileState* state = writable_state(call);
    if (state && state->current_record == 0) {
        SetError(ErrRecordNotAvailable);
        return nullptr;
    }
    return state;
}

// The current record's stored image; none with 33 when it was deleted since
// it was read.
std::optional<Bytes> stored_current_image(QvdFileState& state) {
    std::optional<Bytes> image = state.store->Get(RecordEntryKey(state.table, state.current_record));
    if (!image)
        SetError(ErrRecordNotAvailable);
    return image;
}

} // namespace

int32_t QvdFileDriver::Add(DriverCall& call) {
    QvdFileState* state = writable_state(call);
    if (!state)
        return 0;
    // The buffer is a new record now: even a failed ADD leaves no current
    // record, so that DUPLICATE afterwards checks against every record.
    state->current_record = 0;
    state->current_buffer.clear();
    Store& store = *state->store;
    WriteLock lock(store, state->concurrency.in_transaction);
    const size_t savepoint = store.Savepoint();
    if (!lock.held() || !AdmitFileChange(*state))
        return 0;
    const uint8_t* buffer = call.record();
    // Unique keys do not carry the record number, so they are checked before
    // a number is issued; the entries of keys with duplicates get it after.
    std::vector<std::optional<Bytes>> entries;
    if (new_entries(*state, buffer, UINT32_MAX, entries) != 0)
        return 0;
    const uint32_t record = store.IssueRecordNumber();
    if (record == 0) { // numbers exhausted, or a damaged file met: the store reports it
        store.RollbackTo(savepoint);
        SetError(ErrInvalidDataFile);
        return 0;
    }
    for (size_t k = 0; k < state->keys.size(); ++k) {
        if (entries[k] && !state->keys[k].unique)
            entries[k] = KeyEntryKey(state->table, state->keys[k], buffer, record);
    }
    store.Put(RecordEntryKey(state->table, record), state->image.FromBuffer(buffer));
    for (const std::optional<Bytes>& entry : entries) {
        if (entry)
            store.Put(*entry, record_number_data(record));
    }
    if (int32_t error = StageMemos(call, *state, record); error != 0) {
        store.RollbackTo(savepoint); // a transaction keeps its earlier statements
        SetError(error);
        return 0;
    }
    if (commit(*state) != 0)
        return 0;
    state->current_record = record;
    state->current_buffer.assign(buffer, buffer + call.file.record_length);
    return 0;
}

int32_t QvdFileDriver::Put(DriverCall& call) {
    QvdFileState* state = current_record_state(call);
    if (!state)
        return 0;
    Store& store = *state->store;
    WriteLock lock(store, state->concurrency.in_transaction);
    const size_t savepoint = store.Savepoint();
    if (!lock.held())
        return 0;
    const uint32_t record = state->current_record;
    const std::optional<Bytes> old_image = stored_current_image(*state);
    if (!old_image)
        return 0;
    if (!AdmitFileChange(*state) || !AdmitRecordChange(*state, record, *old_image, true))
        return 0;
    std::vector<uint8_t> old_buffer(call.file.record_length);
    state->image.ToBuffer(*old_image, old_buffer.data());
    const uint8_t* buffer = call.record();
    std::vector<std::optional<Bytes>> entries;
    if (new_entries(*state, buffer, record, entries) != 0)
        return 0;
    Cursor& cursor = state->cursor;
    for (size_t k = 0; k < state->keys.size(); ++k) {
        const KeyIndex& key = state->keys[k];
        const std::optional<Bytes> old_entry = KeyEntryKey(state->table, key, old_buffer.data(), record);
        if (old_entry == entries[k])
            continue;
        if (old_entry)
            store.Erase(*old_entry);
        if (entries[k])
            store.Put(*entries[k], record_number_data(record));
        // Reading in this key goes on from the record's new place.
        if (cursor.order == key.number && cursor.kind == Cursor::Kind::OnEntry && old_entry &&
            cursor.low == *old_entry) {
            Bytes moved = KeyValueKey(state->table, key, buffer);
            if (!key.unique)
                PutBigEndian32(moved, record);
            cursor.low = cursor.high = std::move(moved);
        }
    }
    store.Put(RecordEntryKey(state->table, record), state->image.FromBuffer(buffer));
    if (int32_t error = StageMemos(call, *state, record); error != 0) {
        store.RollbackTo(savepoint); // a transaction keeps its earlier statements
        SetError(error);
        return 0;
    }
    if (commit(*state) != 0)
        return 0;
    state->current_buffer.assign(buffer, buffer + call.file.record_length);
    return 0;
}

int32_t QvdFileDriver::Delete(DriverCall& call) {
    QvdFileState* state = current_record_state(call);
    if (!state)
        return 0;
    Store& store = *state->store;
    WriteLock lock(store, state->concurrency.in_transaction);
    if (!lock.held())
        return 0;
    const uint32_t record = state->current_record;
    const std::optional<Bytes> image = stored_current_image(*state);
    if (!image)
        return 0;
    if (!AdmitFileChange(*state) || !AdmitRecordChange(*state, record, *image, false))
        return 0;
    // The key entries come from the stored image, not the buffer the program
    // may have changed since the read.
    std::vector<uint8_t> stored(call.file.record_length);
    state->image.ToBuffer(*image, stored.data());
    for (const KeyIndex& key : state->keys) {
        if (std::optional<Bytes> entry = KeyEntryKey(state->table, key, stored.data(), record))
            store.Erase(*entry);
    }
    store.Erase(RecordEntryKey(state->table, record));
    if (!call.file.memos.empty())
        StageMemoRemoval(*state, record);
    if (commit(*state) != 0)
        return 0;
    RecordDeleted(*state, record);
    state->current_record = 0;
    state->current_buffer.clear();
    return 0;
}

// 1 when writing the record buffer would post error 40 in this key: the key
// is unique, the value is not left out by OPT, and another record than the
// current one holds it.
int32_t QvdFileDriver::DuplicateKey(DriverCall& call, KeyDeclaration& key) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const KeyIndex* index = state->key_index(key);
    if (!index) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    if (!index->unique)
        return 0;
    const std::optional<Bytes> entry = KeyEntryKey(state->table, *index, call.record(), 0);
    if (!entry)
        return 0;
    const uint32_t holder = holder_of(*state->store, *entry);
    return holder != 0 && holder != state->current_record ? 1 : 0;
}

} // namespace morvex::qvd

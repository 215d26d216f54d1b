// Reading: the order and position statements (SET, RESET, POSITION), the
// sequential reads (NEXT, PREVIOUS), direct reads (GET, REGET) and RECORDS.
// Only SET, RESET, NEXT and PREVIOUS move the reading position; GET and REGET
// change the current record alone.
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_memos.h"
#include "files/qvd/qvd_position.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

namespace morvex::qvd {

namespace {

Bytes order_prefix(const QvdFileState& state, uint8_t order) {
    return TableKeyPrefix(state.table, order == 0 ? static_cast<uint8_t>(EntryRecord) : order);
}

// TableKeyPrefix written in place (5 bytes), for the reads that run per record.
void write_table_prefix(uint8_t* out, uint32_t table, uint8_t entry_type) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(table >> (8 * i));
    out[4] = entry_type;
}

// The record number an entry of the order stands for.
uint32_t record_of(uint8_t order, const EntryView& entry) {
    if (order == 0)
        return TrailingRecordNumber(entry.key);
    return entry.data.size() == 4 ? ReadBigEndian32(entry.data.data()) : 0;
}

// Seeks an entry of the order and reads, in the same access, the record it
// stands for: a record entry is its own record; a key entry's data names one.
std::optional<FollowedEntry> seek_record(const QvdFileState& state, uint8_t order, ByteView key,
                                         SeekMode mode, ByteView prefix, bool exact) {
    if (order == 0)
        return state.store->SeekFollow(key, mode, prefix, exact, nullptr);
    const uint32_t table = state.table;
    return state.store->SeekFollow(
        key, mode, prefix, exact, [table](const EntryView& found, Bytes& record_key) {
            if (found.data.size() != 4)
                return false;
            record_key.resize(9);
            write_table_prefix(record_key.data(), table, EntryRecord);
            std::copy(found.data.begin(), found.data.end(), record_key.begin() + 5);
            return true;
        });
}

// The stored image of the record a found entry of the order stands for.
std::optional<ByteView> record_image(uint8_t order, const FollowedEntry& found) {
    return order == 0 ? std::optional<ByteView>(found.entry.data) : found.followed;
}

// The anchors of SET(key, value): the first entry at or after the value for
// NEXT, the last at or before it for PREVIOUS (for a key with duplicates the
// value followed by the highest record number).
void anchor_at_value(Cursor& cursor, const KeyIndex& key, Bytes value_key) {
    cursor.kind = Cursor::Kind::Inclusive;
    cursor.order = key.number;
    cursor.high = value_key;
    if (!key.unique)
        PutBigEndian32(cursor.high, 0xFFFFFFFFu);
    cursor.low = std::move(value_key);
}

// Reads the stored record into a scratch buffer (buffer form); false when missing.
bool stored_record(QvdFileState& state, uint32_t record, uint32_t record_length,
                   std::vector<uint8_t>& buffer) {
    const std::optional<Bytes> image = state.store->Get(RecordEntryKey(state.table, record));
    if (!image)
        return false;
    buffer.resize(record_length);
    state.image.ToBuffer(*image, buffer.data());
    return true;
}

} // namespace

bool LoadRecord(DriverCall& call, QvdFileState& state, uint32_t record) {
    const Bytes key = RecordEntryKey(state.table, record);
    const std::optional<FollowedEntry> found =
        state.store->SeekFollow(key, SeekMode::AtOrAfter, key, true, nullptr);
    return LoadRecordImage(call, state, record,
                           found ? std::optional<ByteView>(found->entry.data) : std::nullopt);
}

bool LoadRecordImage(DriverCall& call, QvdFileState& state, uint32_t record, std::optional<ByteView> image) {
    const bool skip_memos = state.skip_memos_once;
    state.skip_memos_once = false;
    if (!image)
        return false;
    Bytes reread;
    if (!AdmitRecordRead(state, record, image, reread))
        return true; // held by another station: error 43, nothing read
    if (!image)
        return false; // deleted while its hold was awaited
    state.image.ToBuffer(*image, call.record());
    if (!skip_memos)
        ReadMemos(call, state, record);
    state.current_record = record;
    state.current_buffer.assign(call.record(), call.record() + call.file.record_length);
    return true;
}

int32_t QvdFileDriver::SetFile(DriverCall& call) {
    if (QvdFileState* state = OpenState(call))
        state->cursor = Cursor{Cursor::Kind::Start, 0, {}, {}};
    return 0;
}

int32_t QvdFileDriver::SetKey(DriverCall& call, KeyDeclaration& key) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const KeyIndex* index = state->key_index(key);
    if (!index) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    state->cursor = Cursor{Cursor::Kind::Start, index->number, {}, {}};
    return 0;
}

// The order is `key`'s; the start is the value that `key`'s components hold
// in the record buffer (`start` names the same components in every
// declaration this driver meets; it only has to belong to the file).
int32_t QvdFileDriver::SetKeyKey(DriverCall& call, KeyDeclaration& key, KeyDeclaration& start) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const KeyIndex* index = state->key_index(key);
    if (!index || !state->key_index(start)) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    anchor_at_value(state->cursor, *index, KeyValueKey(state->table, *index, call.record()));
    return 0;
}

// SET(file, pointer), SET(key, pointer): the next read in the order starts at
// that record (in a key, at the record's entry there).
int32_t QvdFileDriver::SetByPointer(DriverCall& call, KeyDeclaration* key, int32_t pointer) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const uint32_t record = static_cast<uint32_t>(pointer);
    if (!key) {
        state->cursor.kind = Cursor::Kind::Inclusive;
        state->cursor.order = 0;
        state->cursor.low = state->cursor.high = RecordEntryKey(state->table, record);
        return 0;
    }
    const KeyIndex* index = state->key_index(*key);
    if (!index) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    std::vector<uint8_t> buffer;
    if (!stored_record(*state, record, call.file.record_length, buffer)) {
        SetError(ErrRecordNotFound);
        return 0;
    }
    Bytes entry = KeyValueKey(state->table, *index, buffer.data());
    if (!index->unique)
        PutBigEndian32(entry, record);
    state->cursor.kind = Cursor::Kind::Inclusive;
    state->cursor.order = index->number;
    state->cursor.low = state->cursor.high = std::move(entry);
    return 0;
}

// SET(key, key, pointer): at the buffer's value of the key and, among
// duplicates, at that record; a unique key has one record per value.
int32_t QvdFileDriver::SetByValueAndPointer(DriverCall& call, KeyDeclaration& key, int32_t pointer) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const KeyIndex* index = state->key_index(key);
    if (!index) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    Bytes entry = KeyValueKey(state->table, *index, call.record());
    if (!index->unique)
        PutBigEndian32(entry, static_cast<uint32_t>(pointer));
    state->cursor.kind = Cursor::Kind::Inclusive;
    state->cursor.order = index->number;
    state->cursor.low = state->cursor.high = std::move(entry);
    return 0;
}

int32_t QvdFileDriver::Next(DriverCall& call) {
    return Step(call, true);
}
int32_t QvdFileDriver::Previous(DriverCall& call) {
    return Step(call, false);
}

int32_t QvdFileDriver::Step(DriverCall& call, bool forward) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    Cursor& cursor = state->cursor;
    // The order's 5-byte entry prefix, kept on the stack: NEXT runs per record.
    uint8_t prefix_bytes[5];
    write_table_prefix(prefix_bytes, state->table,
                       cursor.order == 0 ? static_cast<uint8_t>(EntryRecord) : cursor.order);
    const ByteView prefix(prefix_bytes, sizeof prefix_bytes);
    // Entries an interrupted change may have left without their record are
    // passed over, so a sequence never ends early on one.
    for (;;) {
        const uint8_t order = cursor.order;
        std::optional<FollowedEntry> found;
        auto seek = [&](ByteView key, SeekMode mode) {
            return seek_record(*state, order, key, mode, prefix, false);
        };
        auto first = [&] { return seek(prefix, SeekMode::AtOrAfter); };
        auto last = [&] {
            return seek(KeyPrefixSuccessor(Bytes(prefix.begin(), prefix.end())), SeekMode::Before);
        };
        switch (cursor.kind) {
        case Cursor::Kind::Start:
            found = forward ? first() : last();
            break;
        case Cursor::Kind::Inclusive:
            found = forward ? seek(cursor.low, SeekMode::AtOrAfter) : seek(cursor.high, SeekMode::AtOrBefore);
            break;
        case Cursor::Kind::OnEntry:
            found = seek(cursor.low, forward ? SeekMode::After : SeekMode::Before);
            break;
        case Cursor::Kind::PastEnd:
            if (!forward)
                found = last();
            break;
        case Cursor::Kind::BeforeStart:
            if (forward)
                found = first();
            break;
        }
        if (!found) {
            cursor.kind = forward ? Cursor::Kind::PastEnd : Cursor::Kind::BeforeStart;
            SetError(ErrRecordNotAvailable);
            return 0;
        }
        cursor.kind = Cursor::Kind::OnEntry;
        cursor.low.assign(found->entry.key.begin(), found->entry.key.end());
        cursor.high.assign(found->entry.key.begin(), found->entry.key.end());
        if (LoadRecordImage(call, *state, record_of(order, found->entry), record_image(order, *found)))
            return 0;
    }
}

int32_t QvdFileDriver::GetByKey(DriverCall& call, KeyDeclaration& key) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const KeyIndex* index = state->key_index(key);
    if (!index) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    // A unique key has the value's entry itself; among duplicates the first.
    const Bytes value = KeyValueKey(state->table, *index, call.record());
    const std::optional<FollowedEntry> found =
        seek_record(*state, index->number, value, SeekMode::AtOrAfter, value, index->unique);
    if (!found || !LoadRecordImage(call, *state, record_of(index->number, found->entry), found->followed))
        SetError(ErrRecordNotFound);
    return 0;
}

int32_t QvdFileDriver::GetByPointer(DriverCall& call, int32_t pointer) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    if (pointer == 0) {
        // GET(file, 0) clears the current record (before a DUPLICATE check for an ADD).
        state->current_record = 0;
        state->current_buffer.clear();
    }
    if (pointer <= 0 || !LoadRecord(call, *state, static_cast<uint32_t>(pointer)))
        SetError(ErrRecordNotFound);
    return 0;
}

int32_t QvdFileDriver::Position(DriverCall& call, KeyDeclaration* key, std::string& position) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    PositionText text;
    text.record = state->current_record;
    if (key) {
        const KeyIndex* index = state->key_index(*key);
        if (!index) {
            SetError(ErrInvalidNumberOfParameters);
            return 0;
        }
        text.order = index->number;
        // Without a current record the position is the start of the order.
        if (state->current_record != 0)
            text.value = KeyBytes(index->shape, state->current_buffer.data());
    }
    position = FormatPosition(text);
    return 0;
}

// RESET(file|key, position): the next NEXT reads the record at the position
// (or the one after it when it is gone), the next PREVIOUS the one at or
// before it. A position taken in another order is followed through its record.
int32_t QvdFileDriver::Reset(DriverCall& call, KeyDeclaration* key, std::string_view text) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const std::optional<PositionText> position = ParsePosition(text);
    const KeyIndex* index = key ? state->key_index(*key) : nullptr;
    if (key && !index) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    if (!position) {
        SetError(ErrRecordNotFound);
        return 0;
    }
    const uint8_t order = index ? index->number : 0;
    Cursor& cursor = state->cursor;
    if (position->record == 0 && position->value.empty()) {
        cursor = Cursor{Cursor::Kind::Start, order, {}, {}};
        return 0;
    }
    if (!index) {
        cursor.kind = Cursor::Kind::Inclusive;
        cursor.order = 0;
        cursor.low = cursor.high = RecordEntryKey(state->table, position->record);
        return 0;
    }
    Bytes entry = TableKeyPrefix(state->table, order);
    if (position->order == order) {
        entry.insert(entry.end(), position->value.begin(), position->value.end());
    } else {
        std::vector<uint8_t> buffer;
        if (!stored_record(*state, position->record, call.file.record_length, buffer)) {
            SetError(ErrRecordNotFound);
            return 0;
        }
        AppendKeyBytes(index->shape, buffer.data(), entry);
    }
    if (!index->unique)
        PutBigEndian32(entry, position->record);
    cursor.kind = Cursor::Kind::Inclusive;
    cursor.order = order;
    cursor.low = cursor.high = std::move(entry);
    return 0;
}

// REGET(file, position) reads the record by its number; REGET(key, position)
// looks the position's value up in the key, so that a unique key finds the
// record that holds the value now.
int32_t QvdFileDriver::Reget(DriverCall& call, KeyDeclaration* key, std::string_view text) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const KeyIndex* index = key ? state->key_index(*key) : nullptr;
    if (key && !index) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    const std::optional<PositionText> position = ParsePosition(text);
    if (!position || position->record == 0) {
        SetError(ErrRecordNotFound);
        return 0;
    }
    uint32_t record = position->record;
    if (index && position->order == index->number) {
        Bytes entry = TableKeyPrefix(state->table, index->number);
        entry.insert(entry.end(), position->value.begin(), position->value.end());
        if (!index->unique)
            PutBigEndian32(entry, record);
        const std::optional<Bytes> data = state->store->Get(entry);
        record = data && data->size() == 4 ? ReadBigEndian32(data->data()) : 0;
    }
    if (record == 0 || !LoadRecord(call, *state, record))
        SetError(ErrRecordNotFound);
    return 0;
}

int32_t QvdFileDriver::Records(DriverCall& call, KeyDeclaration* key) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    uint8_t order = 0;
    if (key) {
        const KeyIndex* index = state->key_index(*key);
        if (!index) {
            SetError(ErrInvalidNumberOfParameters);
            return 0;
        }
        order = index->number;
    }
    const uint64_t count = state->store->Count(order_prefix(*state, order));
    return static_cast<int32_t>(std::min<uint64_t>(count, INT32_MAX));
}

int32_t QvdFileDriver::GetProperty(DriverCall& call, int32_t property, int32_t, std::optional<std::string>&) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    const ConcurrencyState& c = state->concurrency;
    switch (property) {
    case FilePropertyOrder:
        return state->cursor.order;
    case FilePropertyRecord:
        return static_cast<int32_t>(state->current_record);
    case FilePropertyHeld:
        return state->current_record != 0 && c.held_record == state->current_record ? 1 : 0;
    case FilePropertyWatched:
        return state->current_record != 0 && c.watched_record == state->current_record ? 1 : 0;
    case FilePropertyChangeCounter:
        return static_cast<int32_t>(state->store->ChangeCounter());
    default:
        return Unsupported();
    }
}

} // namespace morvex::qvd

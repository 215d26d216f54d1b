// Opening and closing QVD files, creating and emptying tables, rebuilding the
// key entries, SEND and the operation dispatch of the driver.
#include "files/access_mode.h"
#include "files/file_statements.h"
#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_transaction.h"
#include "files/qvd/qvd_write_lock.h"
#include "runtime/ascii_case.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace morvex {

// A statement whose store operation failed (a damaged file met where
// damage is turned into a return, memory or a lock refused) reports that
// failure, whatever the statement made of the empty answer ("not found", "end
// of file"). Outside a transaction the statement is over: whatever it staged
// is dropped. Inside one the transaction has failed: its COMMIT rolls every
// file back, so that nothing of it reaches the files.
int32_t QvdDriver(int operation, FileDeclaration& file, DriverArguments args) {
    const int32_t earlier = qvd::TakeReturnedCorruption();
    const int32_t result = DriverEntryOf<qvd::QvdFileDriver>(operation, file, args);
    const int32_t corruption = qvd::TakeReturnedCorruption();
    auto* state = static_cast<qvd::QvdFileState*>(file.current().driver_data.get());
    qvd::Store* store = state ? state->store.get() : nullptr;
    const int32_t failure = store ? store->TakeFailure() : 0;
    if (corruption != 0)
        SetError(ErrInvalidDataFile, qvd::CorruptionText(corruption));
    else if (failure != 0)
        SetError(failure, failure == ErrInvalidDataFile ? qvd::CorruptionText(store->LastCorruption()) : "");
    if ((corruption != 0 || failure != 0) && store) {
        if (state->concurrency.in_transaction)
            qvd::FailTransaction(*state, ErrorCode(), ErrorExtraText());
        else
            store->Rollback();
    }
    if (corruption == 0 && earlier != 0)
        qvd::NoteReturnedCorruption(earlier);
    return result;
}

namespace qvd {

KeyIndex KeyIndexOf(const FileDeclaration& file, uint8_t number) {
    const KeyDeclaration& declaration = *file.keys[number - 1];
    KeyIndex key;
    key.declaration = &declaration;
    key.number = number;
    key.unique = !declaration.allows_duplicates();
    key.optional = declaration.has(KeyOpt);
    key.shape.nocase = declaration.has(KeyNoCase);
    for (int32_t n = 1; n <= declaration.component_count(); ++n)
        key.shape.parts.push_back(
            {file.record.field(declaration.field_number(n)), declaration.descending(n)});
    return key;
}

namespace {

// Key numbers are entry types: they must stay below the reserved types.
constexpr size_t MaxKeys = EntryTableName - 1;
constexpr size_t RecordKeyBytes = 9;

QvdFileState& state_of(DriverCall& call) {
    auto& data = call.instance.driver_data;
    if (!data)
        data = std::make_unique<QvdFileState>();
    return static_cast<QvdFileState&>(*data);
}

bool has_extension(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

SplitName disk_location(const FileDeclaration& file) {
    SplitName name = SplitFileName(file.disk_name());
    if (!has_extension(name.path))
        name.path += ".QVD";
    if (name.table.empty())
        name.table = DefaultTableName;
    return name;
}

// The key shapes and record image of the declaration; 47 when the
// declaration cannot be stored (see FileDeclaration::validate).
int32_t prepare_layout(const FileDeclaration& file, QvdFileState& state) {
    if (int32_t error = file.validate(); error != 0)
        return error;
    if (file.keys.size() > MaxKeys || file.record_length + RecordKeyBytes > MaxEntryLength)
        return ErrInvalidRecordDeclaration;
    state.keys.clear();
    for (size_t i = 0; i < file.keys.size(); ++i)
        state.keys.push_back(KeyIndexOf(file, static_cast<uint8_t>(i + 1)));
    state.image =
        RecordImage(file.record, file.record_length, file.options.oem ? TextPage::Oem : TextPage::Windows);
    return 0;
}

StoreOptions store_options(const FileDeclaration& file, const std::string& path, OpenMode mode,
                           bool exclusive, bool create) {
    StoreOptions options;
    options.mode = mode;
    options.exclusive = exclusive;
    options.create_if_missing = create;
    if (file.options.encrypt)
        options.encryption_owner = file.options.owner;
    // A pending commit of a multi-file transaction is kept only once the
    // control file has closed the transaction.
    options.keep_pending_commit = [path](const Bytes* record) { return KeepPendingCommit(record, path); };
    // A transaction larger than memory is staged beside its data file.
    const size_t slash = path.find_last_of("/\\");
    options.spill_directory = slash == std::string::npos ? "." : path.substr(0, slash);
    return options;
}

// Stages the removal of every entry whose key starts with `prefix`.
void erase_all(Store& store, const Bytes& prefix) {
    Bytes from = prefix;
    while (std::optional<Entry> entry = store.Seek(from, SeekMode::AtOrAfter, prefix)) {
        store.Erase(entry->key);
        from = std::move(entry->key);
    }
}

// Set while BUILD opens a closed file, whose keys may be the ones that changed.
thread_local bool t_opening_to_build = false;

// 0, or 47 when the file's records were made for another record length, 46
// when its key entries were made for other keys. A table without the entry
// (or with content of another kind) is taken as it is.
int32_t check_declaration(Store& store, uint32_t table, const FileDeclaration& file,
                          const QvdFileState& state) {
    const std::optional<Bytes> stored = store.Get(DeclarationEntryKey(table));
    if (!stored || stored->size() != DeclarationEntryBytes || std::memcmp(stored->data(), "QKD1", 4) != 0)
        return 0;
    const Bytes expected = DeclarationEntryData(file, state.keys);
    if (!std::equal(stored->begin() + 4, stored->begin() + 8, expected.begin() + 4))
        return ErrInvalidRecordDeclaration;
    if (!std::equal(stored->begin() + 8, stored->begin() + 18, expected.begin() + 8))
        return ErrKeyFileMustBeRebuilt;
    return 0;
}

// The per-order state entries (content reserved), one for the records and
// one for each key.
void stage_order_states(Store& store, uint32_t table, const QvdFileState& state) {
    const Bytes zeros(8, 0);
    Bytes key = TableKeyPrefix(table, EntryIndexState);
    key.push_back(EntryRecord);
    store.Put(key, zeros);
    for (const KeyIndex& index : state.keys) {
        key.back() = index.number;
        store.Put(key, zeros);
    }
}

// Stages every key entry of every record of the table; 40 (with the key's
// label) when a unique key meets a value twice.
int32_t stage_key_entries(Store& store, uint32_t table, QvdFileState& state, uint32_t record_length) {
    const Bytes records = TableKeyPrefix(table, EntryRecord);
    std::vector<uint8_t> buffer(record_length);
    Bytes from = records;
    while (std::optional<Entry> entry = store.Seek(from, SeekMode::After, records)) {
        const uint32_t record = TrailingRecordNumber(entry->key);
        state.image.ToBuffer(entry->data, buffer.data());
        for (const KeyIndex& key : state.keys) {
            std::optional<Bytes> key_entry = KeyEntryKey(table, key, buffer.data(), record);
            if (!key_entry)
                continue;
            if (key_entry->size() > MaxKeyLength) {
                SetError(ErrInvalidKeyLength, key.declaration->label);
                return ErrInvalidKeyLength;
            }
            if (key.unique && store.Get(*key_entry)) {
                SetError(ErrCreatesDuplicateKey, key.declaration->label);
                return ErrCreatesDuplicateKey;
            }
            Bytes data;
            PutBigEndian32(data, record);
            store.Put(*key_entry, data);
        }
        from = std::move(entry->key);
    }
    return 0;
}

int32_t commit_or_fail(Store& store) {
    if (int32_t error = store.Commit(); error != 0) {
        store.Rollback();
        SetError(error);
        return error;
    }
    return 0;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\0'))
        text.remove_suffix(1);
    return text;
}

} // namespace

QvdFileState* OpenState(DriverCall& call) {
    QvdFileState& state = state_of(call);
    if (!state.open()) {
        SetError(ErrFileNotOpen);
        return nullptr;
    }
    return &state;
}

const KeyIndex* QvdFileState::key_index(const KeyDeclaration& declaration) const {
    for (const KeyIndex& key : keys) {
        if (key.declaration == &declaration)
            return &key;
    }
    return nullptr;
}

int32_t QvdFileDriver::Open(DriverCall& call, int32_t access_mode) {
    QvdFileState& state = state_of(call);
    if (state.open()) {
        SetError(ErrFileAlreadyOpen);
        return 0;
    }
    const int32_t access = access_mode & AccessMask;
    const int32_t sharing = access_mode & ShareMask;
    if (access > AccessReadWrite || sharing > ShareDenyNone ||
        (access_mode & ~(AccessMask | ShareMask)) != 0) {
        SetError(ErrAccessDenied);
        return 0;
    }
    if (int32_t error = prepare_layout(call.file, state); error != 0) {
        SetError(error);
        return 0;
    }
    const SplitName name = disk_location(call.file);
    const bool writable = access != AccessReadOnly;
    // Deny-all (and a sharing nibble of 0) opens the file exclusively;
    // deny-write and deny-read refuse others that would write or read, and are
    // refused while others do; deny-none shares it.
    const bool exclusive = sharing <= ShareDenyAll;
    StoreOptions options = store_options(
        call.file, name.path, writable ? OpenMode::ReadWrite : OpenMode::ReadOnly, exclusive, false);
    options.deny_write = sharing == ShareDenyWrite;
    options.deny_read = sharing == ShareDenyRead;
    options.write_only = access == AccessWriteOnly;
    OpenFailure failure;
    std::unique_ptr<Store> store = Store::Open(name.path, options, failure);
    if (!store) {
        SetError(failure.error, failure.reason);
        return 0;
    }
    const std::optional<uint32_t> table = store->FindTable(name.table);
    if (!table) {
        store->Close();
        SetError(ErrFileNotFound);
        return 0;
    }
    if (const int32_t mismatch = check_declaration(*store, *table, call.file, state);
        mismatch != 0 && !(mismatch == ErrKeyFileMustBeRebuilt && t_opening_to_build)) {
        store->Close();
        SetError(mismatch);
        return 0;
    }
    state.store = std::move(store);
    FileOpened();
    state.path = name.path;
    state.table = *table;
    state.writable = writable;
    state.exclusive = exclusive;
    state.denies_writers = exclusive || options.deny_write;
    state.access_mode = access_mode;
    state.cursor = Cursor{};
    state.current_record = 0;
    state.current_buffer.clear();
    state.skip_memos_once = false;
    state.concurrency = ConcurrencyState{};
    return 0;
}

int32_t QvdFileDriver::Close(DriverCall& call) {
    QvdFileState& state = state_of(call);
    if (!state.open())
        return 0;
    LeaveTransaction(state);
    state.store->Rollback();
    state.store->Close();
    state.store.reset();
    FileClosed();
    state.cursor = Cursor{};
    state.current_record = 0;
    state.current_buffer.clear();
    state.concurrency = ConcurrencyState{};
    return 0;
}

int32_t QvdFileDriver::Create(DriverCall& call) {
    QvdFileState& state = state_of(call);
    if (state.open() && !state.writable) {
        SetError(ErrAccessDenied);
        return 0;
    }
    QvdFileState scratch;
    QvdFileState& layout = state.open() ? state : scratch;
    if (int32_t error = prepare_layout(call.file, layout); error != 0) {
        SetError(error);
        return 0;
    }
    const SplitName name = disk_location(call.file);
    std::unique_ptr<Store> created;
    Store* store = state.open() ? state.store.get() : nullptr;
    if (!store) {
        OpenFailure failure;
        created = Store::Open(name.path,
                              store_options(call.file, name.path, OpenMode::ReadWrite, false, true), failure);
        if (!created) {
            SetError(failure.error, failure.reason);
            return 0;
        }
        store = created.get();
    }
    {
        WriteLock lock(*store);
        if (!lock.held())
            return 0;
        const std::optional<uint32_t> existing = store->FindTable(name.table);
        // "CreateMissing=on": a table another open made meanwhile is kept
        // with its records (decided under the writer byte, so two openers
        // that both found the file missing cannot empty each other's adds).
        const bool keep = existing && state.create_keeps_existing;
        if (!keep) {
            const uint32_t table = existing ? *existing : store->CreateTable(name.table);
            if (existing) {
                Bytes prefix = TableKeyPrefix(table, EntryRecord);
                prefix.pop_back();
                erase_all(*store, prefix);
            }
            stage_order_states(*store, table, layout);
            store->Put(DeclarationEntryKey(table), DeclarationEntryData(call.file, layout.keys));
            commit_or_fail(*store);
        }
    }
    if (created)
        created->Close();
    if (state.open()) {
        state.cursor = Cursor{};
        state.current_record = 0;
    }
    return 0;
}

int32_t QvdFileDriver::Empty(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    if (!state->writable) {
        SetError(ErrAccessDenied);
        return 0;
    }
    if (!state->exclusive) {
        SetError(ErrExclusiveAccessRequired);
        return 0;
    }
    WriteLock lock(*state->store);
    if (!lock.held())
        return 0;
    Bytes prefix = TableKeyPrefix(state->table, EntryRecord);
    prefix.pop_back();
    erase_all(*state->store, prefix);
    stage_order_states(*state->store, state->table, *state);
    state->store->Put(DeclarationEntryKey(state->table), DeclarationEntryData(call.file, state->keys));
    commit_or_fail(*state->store);
    state->cursor = Cursor{};
    state->current_record = 0;
    return 0;
}

int32_t QvdFileDriver::Build(DriverCall& call) {
    // A closed file (such as one OPEN refused with 46) is opened for the
    // build alone, denying all others.
    if (!state_of(call).open()) {
        t_opening_to_build = true;
        Open(call, AccessReadWrite | ShareDenyAll);
        t_opening_to_build = false;
        if (ErrorCode() != 0)
            return 0;
        Build(call);
        const int32_t error = ErrorCode();
        Close(call);
        if (error != 0)
            SetError(error);
        return 0;
    }
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    if (!state->writable) {
        SetError(ErrAccessDenied);
        return 0;
    }
    Store& store = *state->store;
    WriteLock lock(store);
    if (!lock.held())
        return 0;
    for (const KeyIndex& key : state->keys)
        erase_all(store, TableKeyPrefix(state->table, key.number));
    if (stage_key_entries(store, state->table, *state, call.file.record_length) != 0) {
        store.Rollback();
        return 0;
    }
    store.Put(DeclarationEntryKey(state->table), DeclarationEntryData(call.file, state->keys));
    commit_or_fail(store);
    return 0;
}

int32_t QvdFileDriver::Flush(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    if (int32_t error = state->store->Flush(); error != 0)
        SetError(error);
    return 0;
}

int32_t QvdFileDriver::NoMemo(DriverCall& call) {
    state_of(call).skip_memos_once = true;
    return 0;
}

// Driver strings: "NAME" asks for the current value, "NAME=VALUE" sets it and
// answers the value now in force. Names are blind to case; an unknown name
// answers an empty text and changes nothing.
int32_t QvdFileDriver::Send(DriverCall& call, std::string_view text, std::string& reply) {
    QvdFileState& state = state_of(call);
    const size_t equals = text.find('=');
    const std::string name = AsciiLower(trim(text.substr(0, equals)));
    const std::optional<std::string_view> value =
        equals == std::string_view::npos ? std::nullopt : std::optional(trim(text.substr(equals + 1)));
    if (name == "recover") {
        if (value) {
            int32_t seconds = 0;
            const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), seconds);
            if (error == std::errc() && end == value->data() + value->size() && seconds >= 0)
                state.recover_seconds = seconds;
        }
        reply = std::to_string(state.recover_seconds);
    } else if (name == "createmissing") {
        if (value) {
            const std::string setting = AsciiLower(*value);
            if (setting == "on" || setting == "1")
                state.create_keeps_existing = true;
            else if (setting == "off" || setting == "0")
                state.create_keeps_existing = false;
        }
        reply = state.create_keeps_existing ? "on" : "off";
    } else if (name == "quickscan") {
        if (value) {
            const std::string setting = AsciiLower(*value);
            if (setting == "on" || setting == "1")
                state.quick_scan = true;
            else if (setting == "off" || setting == "0")
                state.quick_scan = false;
        }
        reply = state.quick_scan ? "on" : "off";
    }
    return 0;
}

int32_t QvdFileDriver::Other(DriverCall& call) {
    using Op = DriverOperation;
    switch (static_cast<Op>(call.operation)) {
    case Op::Empty:
        return Empty(call);
    case Op::SetFilePtr:
        return SetByPointer(call, nullptr, call.args.number(0));
    case Op::HoldFileSec:
        return HoldFor(call, call.args.number(0));
    case Op::Release:
        return Release(call);
    case Op::LockFile:
        return LockFor(call, 0);
    case Op::SetKeyKeyPtr:
        if (KeyDeclaration* key = call.args.key(0))
            return SetByValueAndPointer(call, *key, call.args.number(2));
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    case Op::SetKeyPtr:
    case Op::GetKeyPtr:
        if (KeyDeclaration* key = call.args.key(0)) {
            if (static_cast<Op>(call.operation) == Op::GetKeyPtr)
                return GetByPointer(call, call.args.number(1));
            return SetByPointer(call, key, call.args.number(1));
        }
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    case Op::ReadPage:
        return ReadPage(call);
    case Op::ChangeCounter:
        if (QvdFileState* state = OpenState(call))
            return static_cast<int32_t>(state->store->ChangeCounter());
        return 0;
    default:
        return Unsupported();
    }
}

} // namespace qvd
} // namespace morvex

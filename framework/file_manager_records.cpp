// FileManager: reading in order and by key, inserting with automatic
// numbering, updating, priming a new record and giving an automatic number
// back.
#include "files/file_statements.h"
#include "framework/file_manager.h"
#include "framework/file_manager_errors.h"
#include "framework/record_fields.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/field_compare.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace morvex {

namespace {

// How many adds in a row may lose their number to another station before
// the user is asked whether to go on.
constexpr int AutoIncAttempts = 3;

} // namespace

int FileManager::TryFetch(KeyDeclaration& key) {
    if (UseFile(2) != Level::Benign)
        return Level::Fatal;
    GET(*FILE, key);
    return ErrorCode() != 0 ? Level::Notify : Level::Benign;
}

int FileManager::Fetch(KeyDeclaration& key) {
    const int level = TryFetch(key);
    if (level != Level::Benign)
        ClearRecord(*BUFFER.fields, record());
    return level;
}

int FileManager::Next() {
    return next_or_previous(true, true);
}
int FileManager::TryNext() {
    return next_or_previous(true, false);
}
int FileManager::Previous() {
    return next_or_previous(false, true);
}
int FileManager::TryPrevious() {
    return next_or_previous(false, false);
}

int FileManager::next_or_previous(bool forward, bool throwing) {
    if (UseFile(2) != Level::Benign)
        return Level::Fatal;
    for (;;) {
        info().ATEOF = 0;
        if (forward)
            NEXT(*FILE);
        else
            PREVIOUS(*FILE);
        switch (ErrorCode()) {
        case 0:
            return Level::Benign;
        case ErrRecordNotAvailable:
            info().ATEOF = 1;
            return Level::Notify;
        case ErrRecordAlreadyHeld:
            // The driver has stepped past the held record: reading on skips it.
            if (SKIPHELDRECORDS)
                continue;
            SetError(RecordNotRead);
            return throwing ? ThrowSaved() : Level::Notify;
        default:
            SetError(RecordRetrievalError);
            return throwing ? ThrowSaved() : Level::Fatal;
        }
    }
}

int FileManager::Insert() {
    return insert(true);
}
int FileManager::TryInsert() {
    return insert(false);
}

int FileManager::insert(bool throwing) {
    if (UseFile(2) != Level::Benign)
        return Level::Fatal;
    int32_t failing = 0;
    if (ValidateRecord(failing) != Level::Benign)
        return Level::Notify;
    GetInfo();
    if (HASAUTOINC) {
        if (info().AUTOINCDONE) {
            if (!reget_auto_inc_record())
                return throwing ? ThrowSaved() : Level::Notify;
            PUT(*FILE);
        } else {
            int32_t add_error = 0;
            const int level = prime_auto_inc(throwing, add_error);
            if (add_error == 0 && level != Level::Benign)
                return Level::Notify;
        }
    } else {
        ADD(*FILE);
    }
    const KeptError error{};
    if (error.code == 0) {
        info().AUTOINCDONE = 0;
        info().AUTOINCPOS.clear();
        return Level::Benign;
    }
    if (error.code == ErrCreatesDuplicateKey) {
        SetError(DuplicateKeyError);
        if (!throwing)
            return Level::Notify;
        for (const FileKeyRecord& k : *KEYS) {
            if (DUPLICATE(*k.KEY)) {
                ThrowMessage(DuplicateKeyError, k.DESCRIPTION);
                return Level::Notify;
            }
        }
        // No key owns up to it (another station's change came between):
        // the driver's detail names the key.
        error.put_back();
        ThrowMessage(DuplicateKeyError, error.extra);
        return Level::Notify;
    }
    SetError(RecordInsertError);
    return throwing ? ThrowSaved() : Level::Notify;
}

int FileManager::PrimeAutoInc() {
    int32_t add_error = 0;
    const int level = prime_auto_inc(true, add_error);
    if (add_error != 0) {
        SetError(RecordInsertError);
        return ThrowSaved();
    }
    return level;
}

int FileManager::TryPrimeAutoInc() {
    int32_t add_error = 0;
    const int level = prime_auto_inc(false, add_error);
    if (add_error != 0)
        SetError(RecordInsertError);
    return level;
}

int FileManager::prime_auto_inc(bool throwing, int32_t& add_error) {
    add_error = 0;
    if (UseFile(2) != Level::Benign)
        return Level::Fatal;
    if (!HASAUTOINC || info().AUTOINCDONE)
        return Level::Benign;
    for (int failures = 0;;) {
        for (FileKeyRecord& k : *KEYS) {
            if (k.AUTOINC == 0)
                continue;
            int64_t value = 0;
            if (!next_number(k, value))
                return throwing ? ThrowSaved() : Level::Notify;
            SetFieldNumber(FILE->record.field((*k.FIELDS)[k.AUTOINC - 1].FIELD), record(), value);
        }
        ADD(*FILE);
        if (ErrorCode() == 0) {
            info().AUTOINCDONE = 1;
            info().AUTOINCPOS = POSITION(*FILE);
            return Level::Benign;
        }
        const KeptError error{};
        // Only a number another station took is tried again; anything else
        // (a duplicate of another key, a full disk) would fail every time.
        bool number_taken = false;
        if (error.code == ErrCreatesDuplicateKey)
            for (const FileKeyRecord& k : *KEYS)
                number_taken = number_taken || (k.AUTOINC != 0 && DUPLICATE(*k.KEY) != 0);
        error.put_back();
        if (!number_taken) {
            add_error = error.code;
            return Level::Notify;
        }
        if (++failures < AutoIncAttempts)
            continue;
        SetError(AutoIncrementError);
        if (!throwing || ThrowSaved() != Level::Benign)
            return Level::Notify;
        failures = 0;
    }
}

bool FileManager::next_number(FileKeyRecord& k, int64_t& value) {
    KeyDeclaration& key = *k.KEY;
    const KeyComponentRecord& numbered = (*k.FIELDS)[k.AUTOINC - 1];
    const FieldDescription& field = FILE->record.field(numbered.FIELD);
    uint16_t saved = SaveBuffer();
    const std::vector<uint8_t> prefix_record(record(), record() + FILE->record_length);
    CallDriver(DriverOperation::NoMemo, *FILE);
    if (k.FIELDS->size() == 1) {
        // The last record in value order holds the highest number.
        SET(key);
        if (numbered.ASCEND)
            PREVIOUS(*FILE);
        else
            NEXT(*FILE);
    } else {
        // Positioned just past the prefix's last number, the record before
        // it is the prefix's highest (for a descending number, the first
        // record at the prefix's start).
        SetKeyComponents(key, k.AUTOINC, GetComponents(key), numbered.ASCEND != 0);
        SET(key, key);
        if (numbered.ASCEND)
            PREVIOUS(*FILE);
        else
            NEXT(*FILE);
    }
    const int32_t error = ErrorCode();
    if (error != 0 && error != ErrRecordNotAvailable) {
        SetError(RecordRetrievalError);
        RestoreBuffer(saved, true);
        return false;
    }
    value = 1;
    if (error == 0) {
        bool same_prefix = true;
        for (int32_t n = 1; same_prefix && n < k.AUTOINC; ++n) {
            const FieldDescription& part = FILE->record.field((*k.FIELDS)[n - 1].FIELD);
            same_prefix = CompareField(part, record(), prefix_record.data()) == 0;
        }
        if (same_prefix)
            value = FieldNumber(field, record()) + 1;
    }
    RestoreBuffer(saved, true);
    return true;
}

bool FileManager::reget_auto_inc_record() {
    // Other reads may have made another record current since the number was
    // taken: the one added is made current again, the caller's buffer kept.
    uint16_t saved = SaveBuffer();
    REGET(*FILE, info().AUTOINCPOS);
    const KeptError error{};
    RestoreBuffer(saved, true);
    if (error.code != 0) {
        error.put_back();
        SetError(RecordInsertError);
        return false;
    }
    return true;
}

int FileManager::PrimeRecord(bool keep_buffer) {
    if (ALIASEDFILE)
        return prime_record_on_alias(keep_buffer);
    GetInfo();
    if (!keep_buffer)
        ClearRecord(*BUFFER.fields, record());
    PrimeFields();
    if (HASAUTOINC) {
        info().AUTOINCDONE = 0;
        info().AUTOINCPOS.clear();
        return PrimeAutoInc();
    }
    return Level::Benign;
}

int FileManager::CancelAutoInc(FormRelation* relation) {
    if (UseFile(2) != Level::Benign)
        return Level::Benign;
    if (!HASAUTOINC || !info().AUTOINCDONE)
        return Level::Benign;
    if (!reget_auto_inc_record())
        return Level::Notify;
    int level = Level::Benign;
    if (relation) {
        level = relation->Delete(false);
    } else {
        DELETE(*FILE);
        if (ErrorCode() != 0) {
            SetError(RecordNotDeleted);
            level = Level::Notify;
        }
    }
    GetInfo();
    if (level == Level::Benign) {
        info().AUTOINCDONE = 0;
        info().AUTOINCPOS.clear();
    }
    return level;
}

int FileManager::Update() {
    return update(true);
}
int FileManager::TryUpdate() {
    return update(false);
}

int FileManager::update(bool throwing) {
    if (UseFile(2) != Level::Benign)
        return Level::Fatal;
    int32_t failing = 0;
    if (ValidateRecord(failing) != Level::Benign)
        return Level::User;
    const std::string position = Position();
    PUT(*FILE);
    switch (ErrorCode()) {
    case 0:
        return Level::Benign;
    case ErrRecordChangedByAnotherStation:
        SetError(RecordChangedElsewhere);
        if (throwing)
            ThrowSaved();
        // The buffer shows the other station's version, watched again.
        WATCH(*FILE);
        TryReget(position);
        return Level::Notify;
    default:
        SetError(RecordNotUpdated);
        return throwing ? ThrowSaved() : Level::Notify;
    }
}

} // namespace morvex

// FileManager: set-up, the registry, opening and closing, errors, keys and
// validation. Reading and writing are in file_manager_records.cpp, buffer
// snapshots and saved states in file_manager_state.cpp, usage tracking in
// file_usage.cpp.
#include "framework/file_manager.h"

#include "files/access_mode.h"
#include "files/file_statements.h"
#include "framework/file_manager_errors.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/threads.h"

#include <algorithm>

namespace morvex {

namespace {

struct RegistryRecord {
    intptr_t FILELABEL = 0;
    FileManager* FILEMANAGER = nullptr;
};

// Ordered by FILELABEL.
std::vector<RegistryRecord>& registry() {
    static std::vector<RegistryRecord> records;
    return records;
}

intptr_t identity(const FileDeclaration& file) {
    return reinterpret_cast<intptr_t>(&file);
}

std::vector<RegistryRecord>::iterator registry_slot(intptr_t label) {
    return std::lower_bound(registry().begin(), registry().end(), label,
                            [](const RegistryRecord& r, intptr_t l) { return r.FILELABEL < l; });
}

} // namespace

FileManager* FileManagerFor(const FileDeclaration& file) {
    const auto at = registry_slot(identity(file));
    return at != registry().end() && at->FILELABEL == identity(file) ? at->FILEMANAGER : nullptr;
}

FileManager::~FileManager() = default;

void FileManager::Init(FileDeclaration& file, ErrorReporter& errors) {
    ERRORS = &errors;
    FILE = &file;
    INFO = std::make_unique<std::deque<FileInfoRecord>>();
    KEYS = std::make_unique<std::vector<FileKeyRecord>>();
    BUFFERS = std::make_unique<std::vector<SavedBufferRecord>>();
    SAVED = std::make_unique<std::vector<SavedFileRecord>>();
    SKIPHELDRECORDS = 0;
    OPENMODE = AccessReadWrite | ShareDenyNone;
    CREATE = 1;
    LOCKRECOVER = 10;
    PRIMARYKEY = 0;
    LAZYOPEN = 1;
    FILENAMEVALUE = file.label;
    BUFFER = FileBuffer{nullptr, &file.record, file.record_length};
    m_info = nullptr;
    const intptr_t label = identity(file);
    const auto at = registry_slot(label);
    if (at != registry().end() && at->FILELABEL == label)
        at->FILEMANAGER = this;
    else
        registry().insert(at, RegistryRecord{label, this});
}

void FileManager::Kill() {
    if (FILE) {
        const auto at = registry_slot(identity(*FILE));
        if (at != registry().end() && at->FILELABEL == identity(*FILE) && at->FILEMANAGER == this)
            registry().erase(at);
    }
    INFO.reset();
    m_info = nullptr;
    KEYS.reset();
    BUFFERS.reset();
    SAVED.reset();
}

void FileManager::AddKey(KeyDeclaration& key, std::string_view description, uint8_t automatic) {
    if (!KEYS)
        return;
    FileKeyRecord k;
    k.KEY = &key;
    k.DESCRIPTION = std::string(description.substr(0, DescriptionLimit));
    k.FIELDS = std::make_unique<std::vector<KeyComponentRecord>>();
    k.AUTOINC = automatic <= key.component_count() ? automatic : 0;
    k.DUPS = key.allows_duplicates() ? 1 : 0;
    k.NOCASE = key.has(KeyNoCase) ? 1 : 0;
    if (k.AUTOINC != 0)
        HASAUTOINC = 1;
    for (int32_t n = 1; n <= key.component_count(); ++n) {
        KeyComponentRecord c;
        c.FIELD = key.field_number(n);
        c.ASCEND = key.descending(n) ? 0 : 1;
        const FieldDescription& field = FILE->record.field(c.FIELD);
        c.FIELDNAME = k.NOCASE && IsTextType(field.type) ? "UPPER(" + field.label + ")" : field.label;
        k.FIELDS->push_back(std::move(c));
    }
    KEYS->push_back(std::move(k));
    if (key.has(KeyPrimary))
        PRIMARYKEY = static_cast<uint8_t>(KEYS->size());
}

void FileManager::GetInfo() {
    const int32_t id = FILE && FILE->threaded() ? THREAD() : 1;
    if (!m_info || m_info->ID != id) {
        m_info = nullptr;
        for (FileInfoRecord& r : *INFO)
            if (r.ID == id)
                m_info = &r;
        if (!m_info) {
            INFO->push_back(FileInfoRecord{});
            m_info = &INFO->back();
            m_info->ID = id;
        }
    }
    ERRORS->SetFile(GetName());
}

std::string FileManager::GetName() const {
    return FILENAME && !FILENAME->empty() ? *FILENAME : FILENAMEVALUE;
}

uint8_t* FileManager::record() {
    // A THREAD file has a record buffer per thread; BUFFER names the first
    // thread's.
    if (BUFFER.address && !FILE->threaded())
        return BUFFER.address;
    return FILE->buffer();
}

void FileManager::RegisterBuffer() {
    // Views and filters name the record's fields by their labels: each field
    // the evaluator can read is bound to this thread's record buffer.
    if (!BUFFER.fields)
        BUFFER.fields = &FILE->record;
    if (BUFFER.size == 0)
        BUFFER.size = FILE->record_length;
    uint8_t* base = record();
    for (const FieldDescription& field : BUFFER.fields->fields()) {
        if (field.offset + field.total_size() > BUFFER.size || !IsBindableType(field.type))
            continue;
        BIND(field.label, BoundVariable{field.type, base + field.offset, field.size, 0, field.dimension});
    }
}

int FileManager::Open() {
    GetInfo();
    note_open();
    RegisterBuffer();
    if (!LAZYOPEN && info().OPENED == 0) {
        if (const int level = OpenFile(true))
            return level;
    }
    ++info().OPENED;
    return Level::Benign;
}

int FileManager::TryOpen() {
    GetInfo();
    note_open();
    RegisterBuffer();
    if (!LAZYOPEN && info().OPENED == 0) {
        if (const int level = OpenFile(false))
            return level;
    }
    ++info().OPENED;
    return Level::Benign;
}

int FileManager::Close() {
    GetInfo();
    note_close();
    if (info().OPENED > 0) {
        if (--info().OPENED == 0) {
            if (info().USED)
                CLOSE(*FILE);
            info().USED = 0;
            info().AUTOINCDONE = 0;
        }
    }
    return Level::Benign;
}

int FileManager::UseFile(int mode) {
    GetInfo();
    if (mode != 4)
        note_use(mode);
    if (LAZYOPEN && !info().USED) {
        if (info().OPENED == 0)
            return Throw(FileUsageError);
        uint16_t saved = SaveBuffer();
        const int level = OpenFile(true);
        RestoreBuffer(saved, true);
        return level;
    }
    return Level::Benign;
}

int FileManager::OpenFile(bool throwing) {
    GetInfo();
    if (FILENAME && !FILENAME->empty())
        FILE->options.name = *FILENAME;
    for (int attempt = 0; attempt < 2; ++attempt) {
        OPEN(*FILE, OPENMODE);
        if (ErrorCode() == ErrAccessDenied) {
            SEND(*FILE, "Recover=" + std::to_string(LOCKRECOVER));
            OPEN(*FILE, OPENMODE);
        }
        switch (ErrorCode()) {
        case 0:
        case ErrFileAlreadyOpen:
            info().USED = 1;
            info().ATEOF = 0;
            info().AUTOINCDONE = 0;
            return Level::Benign;
        case ErrAccessDenied:
            if ((OPENMODE & 0x3) == 0)
                break;
            OPENMODE &= ~AccessMask;
            if (throwing)
                Throw(AccessDeniedTryingReadOnly);
            else
                SetError(AccessDeniedTryingReadOnly);
            continue;
        case ErrFileNotFound: {
            if (!CREATE)
                break;
            // Another program may create the file between the open and the
            // create: what it has added by then must not be emptied.
            SEND(*FILE, "CreateMissing=on");
            morvex::CREATE(*FILE);
            const KeptError created{};
            SEND(*FILE, "CreateMissing=off");
            created.put_back();
            if (ErrorCode() == 0)
                continue;
            SetError(FileCreationError);
            return throwing ? ThrowSaved() : Level::Notify;
        }
        case ErrKeyFileMustBeRebuilt:
            SetError(InvalidKey);
            if (!throwing)
                return Level::Notify;
            ThrowSaved();
            BUILD(*FILE);
            if (ErrorCode() == 0)
                continue;
            return Throw(KeyWasNotBuilt);
        default:
            break;
        }
        break;
    }
    SetError(FileAccessError);
    return throwing ? ThrowSaved() : Level::Notify;
}

void FileManager::SetError(uint16_t id) {
    GetInfo();
    ERRORS->SetErrors();
    info().LASTERROR = static_cast<uint8_t>(id);
}

int FileManager::Throw(uint16_t id) {
    SetError(id);
    return ThrowSaved();
}

int FileManager::ThrowSaved() {
    GetInfo();
    return ERRORS->TakeError(info().LASTERROR);
}

int FileManager::ThrowMessage(uint16_t id, std::string_view text) {
    GetInfo();
    info().LASTERROR = static_cast<uint8_t>(id);
    return ERRORS->ThrowMessage(id, text);
}

uint8_t FileManager::GetEOF() {
    GetInfo();
    return info().ATEOF;
}

const FileKeyRecord* FileManager::key_record(const KeyDeclaration& key) const {
    if (!KEYS)
        return nullptr;
    for (const FileKeyRecord& k : *KEYS)
        if (k.KEY == &key)
            return &k;
    return nullptr;
}

KeyDeclaration* FileManager::primary_key() const {
    return PRIMARYKEY != 0 && KEYS && PRIMARYKEY <= KEYS->size() ? (*KEYS)[PRIMARYKEY - 1].KEY : nullptr;
}

int32_t FileManager::GetComponents(const KeyDeclaration& key) const {
    const FileKeyRecord* k = key_record(key);
    return k ? static_cast<int32_t>(k->FIELDS->size()) : 0;
}

std::string FileManager::GetComponentName(const KeyDeclaration& key, int32_t n) const {
    const FileKeyRecord* k = key_record(key);
    if (!k || n < 1 || n > static_cast<int32_t>(k->FIELDS->size()))
        return {};
    return (*k->FIELDS)[n - 1].FIELDNAME;
}

BoundVariable FileManager::GetComponentField(const KeyDeclaration& key, int32_t n) {
    const FileKeyRecord* k = key_record(key);
    if (!k || n < 1 || n > static_cast<int32_t>(k->FIELDS->size()))
        return {};
    const FieldDescription& field = FILE->record.field((*k->FIELDS)[n - 1].FIELD);
    return BoundVariable{field.type, record() + field.offset, field.size, 0, field.dimension};
}

std::string FileManager::GetOrder(const KeyDeclaration& key, int32_t first) const {
    const FileKeyRecord* k = key_record(key);
    std::string order;
    if (!k)
        return order;
    for (int32_t n = std::max(first, 1); n <= static_cast<int32_t>(k->FIELDS->size()); ++n) {
        const KeyComponentRecord& c = (*k->FIELDS)[n - 1];
        if (!order.empty())
            order += ',';
        if (!c.ASCEND)
            order += '-';
        order += c.FIELDNAME;
    }
    return order;
}

int FileManager::ValidateField(int32_t) {
    return Level::Benign;
}

int FileManager::ValidateFields(int32_t first, int32_t last, int32_t& failing) {
    if (ALIASEDFILE)
        return validate_on_alias(first, last, failing);
    for (int32_t n = first; n <= last; ++n) {
        if (const int level = ValidateField(n)) {
            failing = n;
            return level;
        }
    }
    return Level::Benign;
}

int FileManager::ValidateRecord(int32_t& failing) {
    return ValidateFields(1, FILE->record.field_count(), failing);
}

// The aliased file's manager checks this file's record: its own record is
// kept aside meanwhile.
int FileManager::validate_on_alias(int32_t first, int32_t last, int32_t& failing) {
    FileManager& alias = *ALIASEDFILE;
    alias.GetInfo();
    uint16_t saved = alias.SaveBuffer();
    std::copy_n(record(), std::min(BUFFER.size, alias.BUFFER.size), alias.record());
    int level = Level::Benign;
    for (int32_t n = first; n <= last && level == Level::Benign; ++n) {
        level = alias.ValidateField(n);
        if (level)
            failing = n;
    }
    alias.RestoreBuffer(saved, true);
    return level;
}

int FileManager::prime_record_on_alias(bool keep_buffer) {
    FileManager& alias = *ALIASEDFILE;
    alias.GetInfo();
    uint16_t saved = alias.SaveBuffer();
    const uint32_t size = std::min(BUFFER.size, alias.BUFFER.size);
    std::copy_n(record(), size, alias.record());
    alias.Open();
    uint16_t state = alias.SaveFile();
    const int level = alias.PrimeRecord(keep_buffer);
    std::copy_n(alias.record(), size, record());
    alias.RestoreFile(state, true);
    alias.Close();
    alias.RestoreBuffer(saved, true);
    GetInfo();
    return level;
}

} // namespace morvex

// FileManager: one per data file. It wraps the driver calls every procedure
// needs: opening with a use count (and, by default, opening physically only
// at first use), reading in order and by key, inserting with automatic
// numbering, updating with detection of another station's change, record
// buffer snapshots and saved file states, and the turning of every driver
// error into an error reporter message that names the file.
//
// Operations come in two forms: a Try form that only records the error and
// returns a level, and a plain form that also shows the message. Levels are
// framework/error_reporter.h's: 0 success, 5 failure reported, 3 fatal.
//
// The manager also keeps, per thread and procedure, which files a procedure
// uses (file_usage.cpp), so that a called procedure that only reads a file
// leaves its caller's record and position as they were; and a program-wide
// registry from each file to its manager.
#pragma once

#include "files/file_declaration.h"
#include "framework/error_reporter.h"
#include "framework/form_files.h"
#include "runtime/evaluator.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

// The record a manager works on: its address, its fields and its size.
struct FileBuffer {
    uint8_t* address = nullptr;
    const RecordDescription* fields = nullptr;
    uint32_t size = 0;
};

// Per-thread state (one record for a file that is not THREAD).
struct FileInfoRecord {
    int32_t ID = 0;          // the thread number of a THREAD file, else 1
    uint8_t USED = 0;        // physically open
    uint16_t OPENED = 0;     // logical open count
    uint8_t ATEOF = 0;       // the last Next or Previous ran off the end
    uint8_t AUTOINCDONE = 0; // a record was added under a new number and awaits its final write
    uint8_t LASTERROR = 0;   // the error id of the last SetError
    // The position of the record PrimeAutoInc added: the final write and
    // CancelAutoInc make that record current again before they touch it.
    std::string AUTOINCPOS;
};

struct KeyComponentRecord {
    int32_t FIELD = 0;     // the component's field number in the record
    std::string FIELDNAME; // the label, or UPPER(label) for a text field of a NOCASE key
    uint8_t ASCEND = 1;
};

struct FileKeyRecord {
    KeyDeclaration* KEY = nullptr;
    std::string DESCRIPTION; // for the duplicate key message, at most 80 characters
    std::unique_ptr<std::vector<KeyComponentRecord>> FIELDS;
    uint8_t AUTOINC = 0; // the automatically numbered component, 0 none
    uint8_t DUPS = 0;
    uint8_t NOCASE = 0;
};

struct SavedBufferRecord {
    int32_t ID = 0;
    std::vector<uint8_t> BUFFER;
};

struct SavedFileRecord {
    uint16_t BUFFER = 0;
    uint16_t ID = 0;
    uint8_t WHELD = 0;
    uint8_t WWATCH = 0;
    uint8_t AUTOINCDONE = 0;
    std::string POS;
    uint8_t KEY = 0;
    // The record that was current (0 none): put back only if the same record
    // is found again at the position.
    uint32_t RECORD = 0;
};

class FileManager : public FormFile {
public:
    static constexpr std::size_t DescriptionLimit = 80;

    FileManager() = default;
    ~FileManager() override;
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

    // The method table, in slot order.
    virtual void RegisterBuffer();
    virtual int CancelAutoInc(FormRelation* relation = nullptr);
    virtual int Close();
    bool EqualBuffer(uint16_t id) override;
    virtual int Fetch(KeyDeclaration& key);
    int Insert() override;
    virtual int Next();
    virtual int Open();
    virtual int Previous();
    virtual int PrimeAutoInc();
    virtual void PrimeFields() {}
    int PrimeRecord(bool keep_buffer = false) override;
    virtual int Throw(uint16_t id);
    virtual int ThrowSaved();
    virtual int ThrowMessage(uint16_t id, std::string_view text);
    virtual int TryFetch(KeyDeclaration& key);
    virtual int TryInsert();
    virtual int TryNext();
    virtual int TryOpen();
    virtual int TryPrevious();
    virtual int TryPrimeAutoInc();
    virtual int TryUpdate();
    virtual int Update();
    virtual int ValidateField(int32_t field);
    virtual int ValidateFields(int32_t first, int32_t last, int32_t& failing);
    virtual int ValidateRecord(int32_t& failing);

    void Init(FileDeclaration& file, ErrorReporter& errors);
    void Kill();
    // `automatic`: the number of the key's component that is numbered
    // automatically, 0 for none.
    void AddKey(KeyDeclaration& key, std::string_view description, uint8_t automatic = 0);
    int UseFile(int mode) override;
    int OpenFile(bool throwing);
    void SetError(uint16_t id);
    void GetInfo();
    uint16_t SaveBuffer() override;
    void RestoreBuffer(uint16_t& id, bool restore) override;
    uint16_t SaveFile();
    void RestoreFile(uint16_t& id, bool restore);
    std::string Position() override;
    int TryReget(std::string_view position) override;
    std::string GetName() const;
    uint8_t GetEOF();
    int32_t GetComponents(const KeyDeclaration& key) const;
    std::string GetComponentName(const KeyDeclaration& key, int32_t n) const;
    // The component's field in the current record buffer (type End when there
    // is no such component).
    BoundVariable GetComponentField(const KeyDeclaration& key, int32_t n);
    std::string GetOrder(const KeyDeclaration& key, int32_t first = 1) const;
    void SetKeyComponents(const KeyDeclaration& key, int32_t first, int32_t last, bool high);

    // The record buffer of the calling thread.
    uint8_t* record();
    // The INFO record GetInfo made current.
    FileInfoRecord& info() { return *m_info; }

    FileManager* ALIASEDFILE = nullptr;
    FileBuffer BUFFER;
    std::unique_ptr<std::vector<SavedBufferRecord>> BUFFERS;
    uint8_t CREATE = 1;
    ErrorReporter* ERRORS = nullptr;
    FileDeclaration* FILE = nullptr;
    std::string* FILENAME = nullptr; // a variable holding the name at run time, or null
    std::string FILENAMEVALUE;
    uint8_t HASAUTOINC = 0;
    std::unique_ptr<std::deque<FileInfoRecord>> INFO;
    std::unique_ptr<std::vector<FileKeyRecord>> KEYS;
    uint8_t LAZYOPEN = 1;
    int16_t LOCKRECOVER = 10;
    uint8_t OPENMODE = 0x42;
    uint8_t PRIMARYKEY = 0;
    std::unique_ptr<std::vector<SavedFileRecord>> SAVED;
    uint8_t SKIPHELDRECORDS = 0;

private:
    int next_or_previous(bool forward, bool throwing);
    int insert(bool throwing);
    int update(bool throwing);
    // Adds the record under the next automatic number. A failure that is not
    // the number being taken elsewhere (a duplicate of another key, a full
    // disk) leaves the driver's error in `add_error` and adds nothing.
    int prime_auto_inc(bool throwing, int32_t& add_error);
    // The next value of key `k`'s numbered component; false (with the error
    // recorded) when the search failed.
    bool next_number(FileKeyRecord& k, int64_t& value);
    // Makes the record PrimeAutoInc added current again, the buffer kept.
    bool reget_auto_inc_record();
    int prime_record_on_alias(bool keep_buffer);
    int validate_on_alias(int32_t first, int32_t last, int32_t& failing);
    const FileKeyRecord* key_record(const KeyDeclaration& key) const;
    KeyDeclaration* primary_key() const;

    // File usage tracking (file_usage.cpp).
    void note_use(int mode);
    void note_open();
    void note_close();

    FileInfoRecord* m_info = nullptr;
};

// The manager registered for a file, or null.
FileManager* FileManagerFor(const FileDeclaration& file);

// One row of the program-wide file usage queue.
struct FileUsageRecord {
    int32_t THREAD = 0;
    std::string PROC;
    intptr_t ID = 0;
    uint8_t USTAT = 0;
    uint16_t HOLD = 0;
    uint16_t SCOPELEVEL = 0;
    uint16_t NESTEDOPEN = 0;
};

// The usage rows, for inspection.
const std::vector<FileUsageRecord>& FileUsage();

} // namespace morvex

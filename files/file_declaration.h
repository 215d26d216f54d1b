// The static declarations of a data file, its keys and memos, as the program
// supplies them and the runtime and drivers read them.
//
// A FileDeclaration is made once (usually a static object) from a FileSpec,
// an aggregate written with designated initializers:
//
//     FileDeclaration Customer({
//         .label = "CUSTOMER", .driver = QvdDriver, .record_buffer = &CUS,
//         .record = RecordDescription(68, {...}),
//         .keys = {{.label = "CUS:BYNAME", .attributes = KeyOpt | KeyNoCase, .components = {2}}},
//     });
//
// Declarations never move once made: every key points back to its file. The
// instance data and record buffer of a THREAD file exist once per runtime
// thread and are looked up by thread number; other files have one of each.
#pragma once

#include "files/driver_arguments.h"
#include "runtime/record_description.h"
#include "runtime/threads.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

struct FileDeclaration;

// A driver's operation function: operation number, the file the statement
// names (a key statement's owning file) and the further arguments.
using DriverEntry = int32_t (*)(int operation, FileDeclaration& file, DriverArguments args);

// Bits of a file declaration's attribute byte.
enum FileAttribute : uint8_t {
    FileThread = 0x10, // one instance and record buffer per thread
};

// Bits of a key declaration's attribute word.
enum KeyAttribute : uint32_t {
    KeyDup = 0x1,      // duplicate values allowed
    KeyOpt = 0x2,      // records whose key components are all empty are left out
    KeyNoCase = 0x4,   // text components compare without case
    KeyPrimary = 0x10, // the file's primary key
    KeyIndex = 0x4000, // an index (built on demand) rather than a key
};

// Bits of a memo declaration's attribute byte.
enum MemoAttribute : uint8_t {
    MemoBinary = 1 << 2, // content is bytes, not text
    MemoBlob = 1 << 4,   // a BLOB (any length) rather than a MEMO of a fixed size
};

struct KeyDeclaration {
    std::string external_name{}; // the key's own file; empty when it lives in the data file
    std::string label{};         // "CUS:BYNAME"
    int32_t reserved = 0;        // 0 in every declaration of this program
    uint32_t attributes = 0;     // KeyAttribute bits
    // 1-based field numbers in key order; a negative number sorts that field descending.
    std::vector<int32_t> components{};
    FileDeclaration* file = nullptr; // the owning file, set when the file is made

    int32_t component_count() const { return static_cast<int32_t>(components.size()); }
    bool has(KeyAttribute bit) const { return (attributes & bit) != 0; }
    bool allows_duplicates() const { return (attributes & (KeyDup | KeyIndex)) != 0; }
    // Field number of component n (1-based), always positive; 0 when n is out of range.
    int32_t field_number(int32_t n) const;
    bool descending(int32_t n) const;
};

struct MemoDeclaration {
    std::string label{};
    uint32_t size = 0;      // MEMO: its size in bytes; BLOB: 0
    uint8_t attributes = 0; // MemoAttribute bits
};

// Options that the driver reads besides the declaration proper.
struct DriverOptions {
    // The disk name (NAME); empty means the label. Set at run time, e.g. by
    // the file manager, before the file is opened.
    std::string name{};
    bool oem = false;     // text is stored in the OEM code page
    bool encrypt = false; // ENCRYPT, keyed by the owner text
    std::string owner{};
};

// State a driver keeps per open instance of a file. Drivers derive from it.
class DriverInstance {
public:
    virtual ~DriverInstance() = default;
};

// One instance of a file: the static one, or one thread's own.
struct FileInstance {
    std::unique_ptr<DriverInstance> driver_data; // the driver's, made on its first use
    uint8_t* record = nullptr;                   // the record buffer of this instance
    std::vector<uint8_t> own_record;             // backs `record` when no buffer was declared
    std::vector<std::vector<uint8_t>> memos;     // one buffer per memo declaration
};

// What the program writes to declare a file.
struct FileSpec {
    std::string label{};
    DriverEntry driver = nullptr;
    uint8_t attributes = 0;        // FileAttribute bits
    void* record_buffer = nullptr; // the program's static record; null: the declaration makes one
    RecordDescription record{};    // its size is the record length
    std::vector<KeyDeclaration> keys{};
    std::vector<MemoDeclaration> memos{};
    DriverOptions options{};
};

struct FileDeclaration {
    explicit FileDeclaration(FileSpec given);
    FileDeclaration(const FileDeclaration&) = delete;
    FileDeclaration& operator=(const FileDeclaration&) = delete;

    DriverEntry driver = nullptr;
    std::string label;
    uint8_t attributes = 0;
    uint32_t record_length = 0;
    RecordDescription record;
    std::vector<std::unique_ptr<KeyDeclaration>> keys; // declaration order
    std::vector<MemoDeclaration> memos;
    DriverOptions options;

    uint8_t key_count() const { return static_cast<uint8_t>(keys.size()); }
    uint8_t memo_count() const { return static_cast<uint8_t>(memos.size()); }
    bool threaded() const { return (attributes & FileThread) != 0; }

    // Key n (1-based, declaration order), or null.
    KeyDeclaration* key(int32_t n) const;
    // The key with this label (without case), or null.
    KeyDeclaration* find_key(std::string_view label) const;
    // The 1-based number of the field with this label (without case), or 0.
    int32_t find_field(std::string_view label) const;
    // The name the driver opens: the NAME when set, else the label.
    const std::string& disk_name() const { return options.name.empty() ? label : options.name; }

    // The instance of the calling thread (a THREAD file), else the static one.
    FileInstance& current();
    // The instance of thread slot `slot`; slots outside the table and every
    // slot of a file without THREAD give the static instance.
    FileInstance& instance_for(int slot);
    // The current instance's record buffer.
    uint8_t* buffer() { return current().record; }

    // Sets every field of the current record to its empty value: numbers 0,
    // STRING blanks, CSTRING and PSTRING empty.
    void clear_record();

    // The declaration holds together: fields inside the record, key components
    // naming existing fields, at most 255 keys and memos. 47 (Invalid Record
    // Declaration) or 0.
    int32_t validate() const;

private:
    void prepare(FileInstance& instance, uint8_t* declared_buffer);

    FileInstance m_static;
    std::array<std::unique_ptr<FileInstance>, MaxThreadSlots> m_threads;
};

// Sets every field of `record` to its empty value (see clear_record).
void ClearRecord(const RecordDescription& description, uint8_t* record);

} // namespace morvex

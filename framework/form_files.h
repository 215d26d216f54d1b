// What an update form asks of its files: the file manager's record buffer
// snapshots, inserts and positions, and the relation manager's updates and
// deletes that keep related files in step. FileManager and RelationManager
// derive from these; the window controller's form logic sees only these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

class FormFile {
public:
    virtual ~FormFile() = default;
    // Makes the file ready for use in `mode` (2: read and write); a level.
    virtual int UseFile(int mode) = 0;
    // A snapshot of the record buffer; its id.
    virtual uint16_t SaveBuffer() = 0;
    // Frees the snapshot `id`, copying it back first when `restore` is set;
    // `id` is 0 afterwards.
    virtual void RestoreBuffer(uint16_t& id, bool restore) = 0;
    // Whether the record buffer equals snapshot `id`.
    virtual bool EqualBuffer(uint16_t id) = 0;
    virtual int Insert() = 0;
    // Prepares a new record (the buffer cleared unless `keep_buffer`).
    virtual int PrimeRecord(bool keep_buffer) = 0;
    // The current record's position, as text.
    virtual std::string Position() = 0;
    // Re-reads the record at a position given by Position.
    virtual int TryReget(std::string_view position) = 0;
};

class FormRelation {
public:
    virtual ~FormRelation() = default;
    // The relation's own file manager.
    virtual FormFile& file() = 0;
    virtual int Update(bool history) = 0;
    virtual int Delete(bool ask) = 0;
    // Gives back an automatic number taken for a record that is not kept.
    virtual int CancelAutoInc() = 0;
};

} // namespace morvex

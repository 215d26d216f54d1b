// Which procedure uses which file, per thread: one program-wide queue of
// rows (thread, procedure, file). When a procedure first uses a file that a
// procedure below it on the same thread uses, the file's state (record,
// order, position, hold, watch) is saved; when the procedure closes the file
// the state comes back, unless it used the file to keep its changes (mode 3).
// So a called procedure that only reads a file leaves its caller's record and
// position as they were.
//
// The rows of each thread are its own; all threads run under the runtime
// lock, so the queue needs no lock of its own.
#include "framework/file_manager.h"
#include "runtime/threads.h"

#include <algorithm>

namespace morvex {

namespace {

std::vector<FileUsageRecord>& usage() {
    static std::vector<FileUsageRecord> rows;
    return rows;
}

// The row with the highest scope level for this thread and file.
std::vector<FileUsageRecord>::iterator innermost(int32_t thread, intptr_t file) {
    auto found = usage().end();
    for (auto row = usage().begin(); row != usage().end(); ++row)
        if (row->THREAD == thread && row->ID == file &&
            (found == usage().end() || row->SCOPELEVEL > found->SCOPELEVEL))
            found = row;
    return found;
}

} // namespace

const std::vector<FileUsageRecord>& FileUsage() {
    return usage();
}

void FileManager::note_use(int mode) {
    const int32_t thread = THREAD();
    const intptr_t file = reinterpret_cast<intptr_t>(FILE);
    const std::string procedure = ERRORS->GetProcedureName();
    const auto row = innermost(thread, file);
    if (row == usage().end()) {
        usage().push_back(FileUsageRecord{thread, procedure, file, static_cast<uint8_t>(mode), 0, 1, 0});
        return;
    }
    if (row->PROC == procedure) {
        row->USTAT = std::max(row->USTAT, static_cast<uint8_t>(mode));
        return;
    }
    const uint16_t level = static_cast<uint16_t>(row->SCOPELEVEL + 1);
    // The row goes in before the state is saved: saving reads through the
    // driver only, but a nested use must find this procedure's row.
    usage().push_back(FileUsageRecord{thread, procedure, file, static_cast<uint8_t>(mode), 0, level, 0});
    if (mode != 3) {
        const uint16_t hold = SaveFile();
        innermost(thread, file)->HOLD = hold;
    }
}

void FileManager::note_open() {
    const auto row = innermost(THREAD(), reinterpret_cast<intptr_t>(FILE));
    if (row != usage().end() && row->PROC == ERRORS->GetProcedureName())
        ++row->NESTEDOPEN;
}

void FileManager::note_close() {
    const int32_t thread = THREAD();
    const intptr_t file = reinterpret_cast<intptr_t>(FILE);
    auto row = innermost(thread, file);
    if (row == usage().end() || row->PROC != ERRORS->GetProcedureName())
        return;
    if (row->NESTEDOPEN > 0) {
        --row->NESTEDOPEN;
        return;
    }
    uint16_t hold = row->HOLD;
    const bool restore = row->USTAT < 3;
    const uint16_t level = row->SCOPELEVEL;
    if (hold != 0)
        RestoreFile(hold, restore);
    // RestoreFile's own use may have moved rows: the row is found again.
    const auto done = std::find_if(usage().begin(), usage().end(), [&](const FileUsageRecord& r) {
        return r.THREAD == thread && r.ID == file && r.SCOPELEVEL == level;
    });
    if (done != usage().end())
        usage().erase(done);
    GetInfo();
}

} // namespace morvex

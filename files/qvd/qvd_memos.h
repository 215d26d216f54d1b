// Memo and blob contents as segments of a record: up to 256 content bytes per
// segment, numbered from 0; a blob's first segment starts with the content's
// total length (4 bytes, little-endian) and carries 252 content bytes. Text
// memos of an OEM file are stored in the OEM code page.
#pragma once

#include "files/driver.h"
#include "files/qvd/qvd_file_state.h"

#include <cstdint>

namespace morvex::qvd {

// Fills the instance's memo buffers from the record's segments (a memo with
// no segments reads as empty: zeros for a MEMO, no bytes for a BLOB).
void ReadMemos(DriverCall& call, QvdFileState& state, uint32_t record);
// Stages the record's segments from the memo buffers, replacing what the
// record had; 0, or 90 when a content needs more segments than can be numbered.
int32_t StageMemos(DriverCall& call, QvdFileState& state, uint32_t record);
void StageMemoRemoval(QvdFileState& state, uint32_t record);

} // namespace morvex::qvd

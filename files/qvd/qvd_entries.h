// The entry keys of a table as the QVD driver writes them: data records
// (0xF3 and the record number, big-endian), key entries (the key's number,
// the value bytes and, for a key with duplicates, the record number) and
// memo or blob segments (0xFC, record number, memo index, segment number).
#pragma once

#include "files/qvd/qvd_file_state.h"
#include "files/qvd/qvd_store.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace morvex::qvd {

// Entry types that follow the table number in a key (the table directory's
// 0xF0 is the container's).
enum EntryType : uint8_t {
    EntryRecord = 0xF3,
    EntryMemo = 0xFC,
    EntryIndexState = 0xF6,
    EntrySequence = 0xFA,
    EntryDeclaration = 0xFB,
};

void PutBigEndian32(Bytes& out, uint32_t value);
uint32_t ReadBigEndian32(const uint8_t* bytes);

Bytes RecordEntryKey(uint32_t table, uint32_t record);
// The record number at the end of a record or key entry's key (its last 4 bytes).
uint32_t TrailingRecordNumber(ByteView key);

// The key's value bytes for the record buffer, with the entry prefix.
Bytes KeyValueKey(uint32_t table, const KeyIndex& key, const uint8_t* buffer);
// The entry the record has in the key, or nullopt when an OPT key leaves a
// blank value out.
std::optional<Bytes> KeyEntryKey(uint32_t table, const KeyIndex& key, const uint8_t* buffer, uint32_t record);

// The declaration entry (0xFB, key byte 1, 1153 bytes): what the stored
// records and key entries were made for — "QKD1", the record length (4
// bytes), the number of keys (2 bytes) and a 64-bit FNV-1a hash of every
// key's shape (its entry number, uniqueness, OPT and NOCASE, and each
// component's type, offset, size, dimension and direction), zeros after.
constexpr size_t DeclarationEntryBytes = 1153;
Bytes DeclarationEntryKey(uint32_t table);
Bytes DeclarationEntryData(const FileDeclaration& file, const std::vector<KeyIndex>& keys);

Bytes MemoSegmentKey(uint32_t table, uint32_t record, uint8_t memo, uint16_t segment);
// The prefix of every segment of one record (all its memos).
Bytes RecordMemoPrefix(uint32_t table, uint32_t record);

} // namespace morvex::qvd

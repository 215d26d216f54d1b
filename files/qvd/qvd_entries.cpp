#include "files/qvd/qvd_entries.h"

namespace morvex::qvd {

void PutBigEndian32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t ReadBigEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

Bytes RecordEntryKey(uint32_t table, uint32_t record) {
    Bytes key = TableKeyPrefix(table, EntryRecord);
    PutBigEndian32(key, record);
    return key;
}

uint32_t TrailingRecordNumber(ByteView key) {
    return key.size() < 4 ? 0 : ReadBigEndian32(key.data() + key.size() - 4);
}

Bytes KeyValueKey(uint32_t table, const KeyIndex& key, const uint8_t* buffer) {
    Bytes bytes = TableKeyPrefix(table, key.number);
    AppendKeyBytes(key.shape, buffer, bytes);
    return bytes;
}

std::optional<Bytes> KeyEntryKey(uint32_t table, const KeyIndex& key, const uint8_t* buffer,
                                 uint32_t record) {
    if (key.optional && KeyValueIsBlank(key.shape, buffer))
        return std::nullopt;
    Bytes bytes = KeyValueKey(table, key, buffer);
    if (!key.unique)
        PutBigEndian32(bytes, record);
    return bytes;
}

Bytes MemoSegmentKey(uint32_t table, uint32_t record, uint8_t memo, uint16_t segment) {
    Bytes key = RecordMemoPrefix(table, record);
    key.push_back(memo);
    key.push_back(static_cast<uint8_t>(segment >> 8));
    key.push_back(static_cast<uint8_t>(segment));
    return key;
}

Bytes RecordMemoPrefix(uint32_t table, uint32_t record) {
    Bytes key = TableKeyPrefix(table, EntryMemo);
    PutBigEndian32(key, record);
    return key;
}

} // namespace morvex::qvd

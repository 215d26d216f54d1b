#include "files/qvd/qvd_entries.h"

#include "files/qvd/page_codec.h"

#include <cstring>

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

Bytes DeclarationEntryKey(uint32_t table) {
    Bytes key = TableKeyPrefix(table, EntryDeclaration);
    key.push_back(1);
    return key;
}

namespace {

uint64_t KeyShapesHash(const std::vector<KeyIndex>& keys) {
    uint64_t hash = 14695981039346656037ull;
    auto add = [&](uint64_t value) {
        for (int i = 0; i < 8; ++i) {
            hash ^= (value >> (8 * i)) & 0xFF;
            hash *= 1099511628211ull;
        }
    };
    for (const KeyIndex& key : keys) {
        add(key.number);
        add((key.unique ? 1 : 0) | (key.optional ? 2 : 0) | (key.shape.nocase ? 4 : 0));
        for (const KeyPart& part : key.shape.parts) {
            add(static_cast<uint64_t>(part.field.type));
            add(part.field.offset);
            add(part.field.size);
            add(part.field.dimension);
            add(part.descending ? 1 : 0);
        }
    }
    return hash;
}

} // namespace

Bytes DeclarationEntryData(const FileDeclaration& file, const std::vector<KeyIndex>& keys) {
    Bytes data(DeclarationEntryBytes, 0);
    std::memcpy(data.data(), "QKD1", 4);
    Store32(data.data() + 4, file.record_length);
    Store16(data.data() + 8, static_cast<uint16_t>(keys.size()));
    const uint64_t hash = KeyShapesHash(keys);
    Store32(data.data() + 10, static_cast<uint32_t>(hash));
    Store32(data.data() + 14, static_cast<uint32_t>(hash >> 32));
    return data;
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

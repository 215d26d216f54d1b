#include "files/qvd/file_header.h"

#include "files/qvd/page_codec.h"

#include <algorithm>

namespace morvex::qvd {

bool FileHeader::Parse(ByteView bytes, FileHeader& h) {
    if (bytes.size() < FileHeaderSize || !std::equal(HeaderMagic, HeaderMagic + 4, bytes.begin() + 14))
        return false;
    const uint8_t* p = bytes.data();
    h.chain_start = Load32(p + 6);
    h.chain_end = Load32(p + 10);
    h.reserved18 = Load16(p + 18);
    h.last_record_number = (static_cast<uint32_t>(p[20]) << 24) | (static_cast<uint32_t>(p[21]) << 16) |
                           (static_cast<uint32_t>(p[22]) << 8) | p[23];
    h.change_counter = Load32(p + 24);
    h.root = Load32(p + 28);
    for (int c = 0; c < ZoneCount; ++c) {
        h.zone_start[c] = Load32(p + 32 + 4 * c);
        h.zone_end[c] = Load32(p + 272 + 4 * c);
    }
    return true;
}

Bytes FileHeader::Serialize() const {
    Bytes out(FileHeaderSize, 0);
    uint8_t* p = out.data();
    Store32(p, 0);
    Store16(p + 4, static_cast<uint16_t>(FileHeaderSize));
    Store32(p + 6, chain_start);
    Store32(p + 10, chain_end);
    std::copy(HeaderMagic, HeaderMagic + 4, p + 14);
    Store16(p + 18, reserved18);
    for (int i = 0; i < 4; ++i)
        p[20 + i] = static_cast<uint8_t>(last_record_number >> (24 - 8 * i));
    Store32(p + 24, change_counter);
    Store32(p + 28, root);
    for (int c = 0; c < ZoneCount; ++c) {
        Store32(p + 32 + 4 * c, zone_start[c]);
        Store32(p + 272 + 4 * c, zone_end[c]);
    }
    return out;
}

uint64_t FileHeader::UsedEnd() const {
    for (int c = MaxSizeClass; c >= 1; --c) {
        if (zone_start[c] != zone_end[c])
            return UnitOffset(zone_end[c]);
    }
    return FileHeaderSize;
}

int FileHeader::ClassOfUnit(uint32_t unit) const {
    for (int c = 1; c <= MaxSizeClass; ++c) {
        if (zone_start[c] <= unit && unit < zone_end[c])
            return c;
    }
    return 0;
}

} // namespace morvex::qvd

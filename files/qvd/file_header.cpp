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
    h.root_fingerprint = Load32(p + 32);
    for (int c = 0; c < ZoneCount; ++c) {
        h.zone_start[c] = c == 0 ? 0 : Load32(p + 32 + 4 * c);
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
    Store32(p + 32, root_fingerprint);
    for (int c = 1; c < ZoneCount; ++c)
        Store32(p + 32 + 4 * c, zone_start[c]);
    for (int c = 0; c < ZoneCount; ++c)
        Store32(p + 272 + 4 * c, zone_end[c]);
    return out;
}

uint32_t PageFingerprint(ByteView page) {
    uint32_t hash = 2166136261u;
    for (const uint8_t byte : page) {
        hash ^= byte;
        hash *= 16777619u;
    }
    return hash == 0 ? 1 : hash;
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

std::vector<std::string> HeaderProblems(const FileHeader& h, std::optional<uint64_t> file_size) {
    std::vector<std::string> problems;
    uint32_t previous_end = 0;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        const std::string zone = "zone " + std::to_string(c) + ": ";
        const uint32_t start = h.zone_start[c];
        const uint32_t end = h.zone_end[c];
        if (start > end) {
            problems.push_back(zone + "starts after its end");
            continue;
        }
        if ((end - start) % c != 0)
            problems.push_back(zone + "not a whole number of pages");
        if (UnitOffset(end) > UINT32_MAX)
            problems.push_back(zone + "lies beyond the file's 32-bit offsets");
        if (start == end)
            continue;
        if (start < previous_end)
            problems.push_back(zone + "overlaps the zone of a lower class");
        previous_end = std::max(previous_end, end);
    }
    if (h.root != 0) {
        const bool page_address = h.root >= FileHeaderSize && (h.root - FileHeaderSize) % UnitSize == 0;
        const uint32_t unit = page_address ? (h.root - FileHeaderSize) / UnitSize : 0;
        const int c = page_address ? h.ClassOfUnit(unit) : 0;
        if (c == 0 || (unit - h.zone_start[c]) % c != 0)
            problems.push_back("the root " + std::to_string(h.root) + " is no page of a zone");
    }
    if (h.chain_end < h.chain_start || h.chain_start < FileHeaderSize)
        problems.push_back("the pending chain runs from " + std::to_string(h.chain_start) + " to " +
                           std::to_string(h.chain_end));
    if (file_size && h.UsedEnd() > *file_size)
        problems.push_back("the file ends at " + std::to_string(*file_size) + ", before its used end " +
                           std::to_string(h.UsedEnd()));
    return problems;
}

} // namespace morvex::qvd

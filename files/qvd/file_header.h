// The 512-byte header at offset 0 of a QVD file: the pending-page chain, the
// last record number, the change counter, the tree's root and the 60 zones.
#pragma once

#include "files/qvd/qvd_store.h"

#include <array>
#include <cstdint>

namespace morvex::qvd {

constexpr uint8_t HeaderMagic[4] = {'q', 'U', 'o', 'R'};
constexpr int ZoneCount = 60;

struct FileHeader {
    uint32_t chain_start = 512;
    uint32_t chain_end = 512;
    uint16_t reserved18 = 0;         // kept as found
    uint32_t last_record_number = 0; // big-endian on disk
    uint32_t change_counter = 0;
    // Offset 28 (left to each implementation): the root page's home offset, 0 for an empty tree.
    uint32_t root = 0;
    std::array<uint32_t, ZoneCount> zone_start{};
    std::array<uint32_t, ZoneCount> zone_end{};

    // False when fewer than 512 bytes or the magic is missing.
    static bool Parse(ByteView bytes, FileHeader& header);
    Bytes Serialize() const;

    // The offset just after the highest non-empty zone (512 when all are empty).
    uint64_t UsedEnd() const;
    // The class whose zone holds `unit`, 0 when none does.
    int ClassOfUnit(uint32_t unit) const;
};

constexpr uint64_t UnitOffset(uint64_t unit) {
    return 512 + 256 * unit;
}

} // namespace morvex::qvd

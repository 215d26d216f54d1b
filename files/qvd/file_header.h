// The 512-byte header at offset 0 of a QVD file: the pending-page chain, the
// last record number, the change counter, the tree's root and the 60 zones.
#pragma once

#include "files/qvd/qvd_store.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    // Offset 32, the unused zone start of class 0: a fingerprint of the root
    // page as last written (PageFingerprint), so that the check knows a root
    // offset that names another page, even an older root's sound one. 0:
    // none kept (an empty tree, or a file last written by an older writer).
    uint32_t root_fingerprint = 0;
    std::array<uint32_t, ZoneCount> zone_start{}; // entry 0 unused: its bytes are root_fingerprint
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

// The fingerprint of a page image (FNV-1a of its bytes, never 0).
uint32_t PageFingerprint(ByteView page);

// What is inconsistent in a header: zones that start after their end, are
// not a whole number of pages, overlap or lie beyond 32-bit offsets; a root
// that is no page of a zone; a chain that ends before it starts; a used end
// beyond the file's size (when `file_size` is given). Empty when sound.
std::vector<std::string> HeaderProblems(const FileHeader& header, std::optional<uint64_t> file_size);

} // namespace morvex::qvd

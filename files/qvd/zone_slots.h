// The map of used slots in the zones of a QVD file.
#pragma once

#include "files/qvd/file_header.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace morvex::qvd {

// The whole slots of the zone of `size_class` (a damaged header may leave a
// tail that is none).
size_t SlotCount(const FileHeader& header, int size_class);

// Which slots of every zone hold a page, as of one change counter. A commit
// that needs no zone to change size takes its slots from here instead of
// walking the whole tree; the first commit after another process's (whose
// counter differs) walks it and builds the map anew.
class ZoneSlots {
public:
    ZoneSlots() = default;
    // Every zone of `header`, every slot free.
    explicit ZoneSlots(const FileHeader& header);

    size_t count(int size_class) const { return m_count[size_class]; }
    size_t live(int size_class) const { return m_live[size_class]; }
    bool used(int size_class, size_t slot) const;
    void take(int size_class, size_t slot);
    void release(int size_class, size_t slot);
    // Takes the lowest free slot; nullopt when the zone is full.
    std::optional<size_t> take_free(int size_class);

    // The header's change counter the map belongs to.
    std::optional<uint32_t> counter;

private:
    std::array<std::vector<uint64_t>, ZoneCount> m_bits{};
    std::array<size_t, ZoneCount> m_count{};
    std::array<size_t, ZoneCount> m_live{};
    std::array<size_t, ZoneCount> m_first_free_word{};
};

} // namespace morvex::qvd

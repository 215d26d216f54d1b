// Slots for the pages of a commit: the quick placement in free slots and the
// layout of every zone anew.
#include "files/qvd/zone_layout.h"

#include "files/qvd/qvd_corruption.h"

#include <algorithm>

namespace morvex::qvd {

namespace {

// The slot count of each zone.
struct ZonePlan {
    size_t old_count = 0;
    size_t new_count = 0;
};

int ClassOfHome(const FileHeader& header, uint32_t home) {
    const int c = header.ClassOfUnit((home - FileHeaderSize) / UnitSize);
    if (c == 0)
        QvdCorruption(CorruptUnitInNoZone);
    return c;
}

// The slot of zone `c` that starts at `home`; nullopt when the home is no
// whole slot of that zone (a page in a damaged zone's tail moves).
std::optional<size_t> SlotOf(const FileHeader& header, int c, uint32_t home) {
    if (home < FileHeaderSize)
        return std::nullopt;
    const uint32_t unit = (home - FileHeaderSize) / UnitSize;
    const uint32_t start = header.zone_start[c];
    if (unit < start || (unit - start) % c != 0 || (unit - start) / c >= SlotCount(header, c))
        return std::nullopt;
    return (unit - start) / c;
}

uint32_t HomeOf(const FileHeader& header, int c, size_t slot) {
    return static_cast<uint32_t>(UnitOffset(header.zone_start[c] + slot * c));
}

// The room a zone that runs out of slots takes besides its quarter. Growing
// moves every zone above it, a cost in proportion to their bytes: taking a
// sixteenth of those bytes as free slots bounds the moves to 16 bytes for
// every byte of page that later fills the room, however large the file. A
// bulk load's full pages splitting into a small class would otherwise move
// the whole file every few commits. The zones above are counted within the
// file's length, so that a damaged header claiming vast zones does not make
// a zone take vast room.
size_t MoveSlack(const FileHeader& header, uint64_t file_units, int c) {
    const uint64_t used_units =
        std::min<uint64_t>((header.UsedEnd() - FileHeaderSize) / UnitSize, file_units);
    const uint64_t above = used_units > header.zone_end[c] ? used_units - header.zone_end[c] : 0;
    return static_cast<size_t>(above / 16 / static_cast<uint64_t>(c));
}

// Too many free slots: the zone shrinks, moving its topmost pages down.
bool TooManyFree(const FileHeader& header, uint64_t file_units, int c, size_t count, size_t live) {
    return count - live > std::max({size_t{8}, 2 * SpareSlots(live), 2 * MoveSlack(header, file_units, c)});
}

} // namespace

size_t SpareSlots(size_t live, bool packed) {
    if (packed)
        return live == 0 ? 2 : std::max(live / 8, std::min<size_t>(8, live));
    return live == 0 ? 4 : std::max(live / 4, std::min<size_t>(32, live));
}

// ---- planning ----

std::vector<PagePlan> PlanPages(const FileHeader& header, WorkNode& root, bool untouched) {
    std::vector<PagePlan> pages;
    auto collect = [&](auto& self, WorkNode& work, WorkNode* parent, size_t index) -> void {
        PagePlan plan;
        plan.node = &work;
        plan.parent = parent;
        plan.index_in_parent = index;
        plan.old_home = work.old_home;
        if (work.dirty) {
            plan.image = EncodePage(work.node);
            if (plan.image.size() > MaxPageSize)
                QvdCorruption(CorruptPageTooLarge);
            plan.size_class = static_cast<int>(plan.image.size() / UnitSize);
        } else {
            plan.size_class = ClassOfHome(header, work.old_home);
        }
        pages.push_back(std::move(plan));
        if (work.node.is_leaf())
            return;
        for (size_t i = 0; i < work.node.size(); ++i) {
            if (work.loaded[i]) {
                self(self, *work.loaded[i], &work, i);
            } else if (untouched) {
                PagePlan leaf;
                leaf.parent = &work;
                leaf.index_in_parent = i;
                leaf.old_home = work.node.children[i];
                leaf.size_class = ClassOfHome(header, leaf.old_home);
                pages.push_back(std::move(leaf));
            }
        }
    };
    collect(collect, root, nullptr, 0);
    return pages;
}

bool PlaceInFreeSlots(const FileHeader& header, uint64_t file_units,
                      const std::unordered_set<uint32_t>& loaded_homes, std::vector<PagePlan>& pages,
                      ZoneSlots& slots) {
    // Pages that stay where they are.
    std::unordered_set<uint32_t> kept;
    for (PagePlan& plan : pages) {
        if (plan.old_home == 0 || !loaded_homes.contains(plan.old_home))
            continue;
        const int c = ClassOfHome(header, plan.old_home);
        if (c != plan.size_class)
            continue;
        const std::optional<size_t> slot = SlotOf(header, c, plan.old_home);
        if (!slot || !slots.used(c, *slot))
            return false; // the map does not match the tree: let the full layout decide
        plan.slot = *slot;
        kept.insert(plan.old_home);
    }
    // Loaded pages that left the tree or their class give up their slots.
    for (uint32_t home : loaded_homes) {
        if (kept.contains(home))
            continue;
        const int c = ClassOfHome(header, home);
        const std::optional<size_t> slot = SlotOf(header, c, home);
        if (!slot || !slots.used(c, *slot))
            return false;
        slots.release(c, *slot);
    }
    std::array<bool, ZoneCount> touched{};
    for (PagePlan& plan : pages) {
        touched[plan.size_class] = true;
        if (plan.old_home == 0 || !kept.contains(plan.old_home)) {
            const std::optional<size_t> slot = slots.take_free(plan.size_class);
            if (!slot)
                return false; // the zone must grow
            plan.slot = *slot;
        }
        plan.new_home = HomeOf(header, plan.size_class, plan.slot);
    }
    for (uint32_t home : loaded_homes)
        touched[ClassOfHome(header, home)] = true;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        if (touched[c] && TooManyFree(header, file_units, c, slots.count(c), slots.live(c)))
            return false; // the zone should shrink
    }
    return true;
}

void LayOutZones(const FileHeader& header, uint64_t file_units, std::vector<PagePlan>& pages,
                 FileHeader& new_header, ZoneSlots& slots) {
    // Keep what stays in its class, reuse free slots, grow with some slack.
    std::array<ZonePlan, ZoneCount> zones{};
    std::array<std::vector<size_t>, ZoneCount> by_class; // page indices
    for (size_t i = 0; i < pages.size(); ++i)
        by_class[pages[i].size_class].push_back(i);
    for (int c = 1; c <= MaxSizeClass; ++c) {
        ZonePlan& zone = zones[c];
        zone.old_count = SlotCount(header, c);
        if (zone.old_count > file_units)
            QvdCorruption(CorruptUnitInNoZone);
        std::vector<bool> taken(zone.old_count, false);
        std::vector<size_t> needers;
        for (size_t p : by_class[c]) {
            PagePlan& plan = pages[p];
            bool kept = false;
            if (const std::optional<size_t> slot =
                    plan.old_home ? SlotOf(header, c, plan.old_home) : std::nullopt) {
                if (taken[*slot])
                    QvdCorruption(CorruptTreeShape); // two references to one page
                taken[*slot] = true;
                plan.slot = *slot;
                kept = true;
            }
            if (!kept)
                needers.push_back(p);
        }
        size_t next_free = 0;
        size_t filled = 0;
        for (; filled < needers.size(); ++filled) {
            while (next_free < zone.old_count && taken[next_free])
                ++next_free;
            if (next_free == zone.old_count)
                break;
            taken[next_free] = true;
            pages[needers[filled]].slot = next_free;
        }
        const size_t live = by_class[c].size();
        if (filled < needers.size()) {
            const size_t grow = needers.size() - filled;
            size_t slot = zone.old_count;
            for (; filled < needers.size(); ++filled)
                pages[needers[filled]].slot = slot++;
            const size_t grown = zone.old_count + grow;
            zone.new_count = grown + std::max(SpareSlots(grown), MoveSlack(header, file_units, c));
        } else if (TooManyFree(header, file_units, c, zone.old_count, live)) {
            // Too many free slots: move the topmost pages down into the lowest holes.
            std::vector<size_t> at_slot(zone.old_count, SIZE_MAX);
            for (size_t p : by_class[c])
                at_slot[pages[p].slot] = p;
            size_t hole = 0;
            for (size_t top = zone.old_count; top-- > live;) {
                if (at_slot[top] == SIZE_MAX)
                    continue;
                while (at_slot[hole] != SIZE_MAX)
                    ++hole;
                pages[at_slot[top]].slot = hole;
                at_slot[hole] = at_slot[top];
                at_slot[top] = SIZE_MAX;
            }
            zone.new_count = live;
        } else {
            zone.new_count = zone.old_count;
        }
    }

    // Every zone above the lowest one that changes size moves, so it is
    // rewritten anyway: give those zones their slack now, and the empty
    // classes among them two spare slots, so that a page entering a new class
    // later does not move everything above it again.
    int lowest_changed = 0;
    int highest_used = 0;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        if (!lowest_changed && zones[c].new_count != zones[c].old_count)
            lowest_changed = c;
        if (!by_class[c].empty())
            highest_used = c;
    }
    int lowest_used = 0;
    for (int c = 1; c <= MaxSizeClass && !lowest_used; ++c)
        lowest_used = by_class[c].empty() ? 0 : c;
    int first = lowest_changed ? lowest_changed : MaxSizeClass + 1;
    if (lowest_changed && lowest_changed <= lowest_used)
        first = 1; // every used zone moves: the classes below them may take spares too
    for (int c = first; c <= highest_used; ++c) {
        const size_t live = by_class[c].size();
        const size_t spare = SpareSlots(live);
        zones[c].new_count = std::max(zones[c].new_count, live + spare);
    }

    new_header = header;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        new_header.zone_start[c] = c == 1 ? header.zone_start[1] : new_header.zone_end[c - 1];
        const uint64_t end = new_header.zone_start[c] + static_cast<uint64_t>(zones[c].new_count) * c;
        if (end > (UINT32_MAX - FileHeaderSize) / UnitSize)
            QvdCorruption(CorruptPageTooLarge); // the file would pass its 32-bit offsets
        new_header.zone_end[c] = static_cast<uint32_t>(end);
    }
    slots = ZoneSlots(new_header);
    for (PagePlan& plan : pages) {
        plan.new_home = HomeOf(new_header, plan.size_class, plan.slot);
        slots.take(plan.size_class, plan.slot);
    }
}

} // namespace morvex::qvd

// Where the pages of a commit go. Every page lives in a slot of the zone of
// its size class; a page that keeps its class keeps its slot, a new page or
// one that changed class takes a free slot. When a zone has no free slot left,
// or too many, the zones are laid out anew and every zone above it moves.
#pragma once

#include "files/qvd/commit_builder.h"
#include "files/qvd/file_header.h"
#include "files/qvd/zone_slots.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace morvex::qvd {

// The free slots a zone of `live` pages gets when it is laid out anew (its
// size changes, or a zone below it grew and it moves anyway): a zone that
// runs out of free slots moves every zone above it, the costliest part of a
// commit, so zones keep room in proportion to their pages. Empty classes
// below the highest used one get a few slots for the pages that enter them.
// A tree written anew (`packed`) keeps less, so that a bulk load stays small.
size_t SpareSlots(size_t live, bool packed = false);

// One page of the tree after the merge, and where it goes.
struct PagePlan {
    WorkNode* node = nullptr; // null: a page that the merge did not touch
    WorkNode* parent = nullptr;
    size_t index_in_parent = 0;
    uint32_t old_home = 0;
    int size_class = 0;
    Bytes image; // dirty nodes: the encoded page
    size_t slot = 0;
    uint32_t new_home = 0;
};

// The pages of the working tree, parents before children, each dirty one
// encoded; with `untouched`, also a plan for every child the merge did not
// load (the whole tree, once its inner levels are loaded).
std::vector<PagePlan> PlanPages(const FileHeader& header, WorkNode& root, bool untouched);

// Places the working tree's pages in free slots of their zones, leaving the
// zones as they are, and frees the slots of the loaded pages that left the
// tree. False when a zone would have to grow or shrink: lay them all out.
bool PlaceInFreeSlots(const FileHeader& header, uint64_t file_units,
                      const std::unordered_set<uint32_t>& loaded_homes, std::vector<PagePlan>& pages,
                      ZoneSlots& slots);

// Lays out every zone anew for the whole tree's pages (`pages` from
// PlanPages with `untouched`); the new zones go into `new_header` and the
// slots taken into `slots`. `file_units`: the file's length in units (plus
// one), which no zone of a sound header passes.
void LayOutZones(const FileHeader& header, uint64_t file_units, std::vector<PagePlan>& pages,
                 FileHeader& new_header, ZoneSlots& slots);

} // namespace morvex::qvd

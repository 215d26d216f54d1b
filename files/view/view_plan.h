// How a view reads its primary file: by walking one of its keys (when the
// order's leading items follow the key's leading components), within a key
// range taken from the filter's bounds, or by sorting what such a walk (or
// the record order) yields. docs/views.md gives the rules.
#pragma once

#include "files/file_declaration.h"
#include "files/view/view_order.h"

#include <cstdint>
#include <string>
#include <vector>

namespace morvex {

// A range of one key in key order: the first `fixed` components hold one
// value each and component fixed + 1 may have a first and a last value (in
// key order, so for a descending component the first is the higher value).
// `first` and `last` are record images holding those component values.
struct KeyRange {
    int32_t fixed = 0;
    bool has_first = false;
    bool has_last = false;
    std::vector<uint8_t> first;
    std::vector<uint8_t> last;
    std::vector<std::string> described; // "CUS:STARTDATE = 73274", for the plan's text

    bool empty() const { return fixed == 0 && !has_first && !has_last; }
};

struct ViewPlan {
    enum class Kind : uint8_t { RecordOrder, KeyWalk, Sort };
    Kind kind = Kind::RecordOrder;
    // KeyWalk: the key walked. Sort: the key whose range is read and sorted
    // (null: every record in record order).
    KeyDeclaration* key = nullptr;
    bool reverse = false; // the view's forward direction is the key's backward one
    KeyRange range;

    std::string text(const std::vector<OrderItem>& order, size_t sort_memory) const;
};

ViewPlan PlanView(FileDeclaration& file, const std::vector<OrderItem>& order,
                  const std::vector<FieldBound>& bounds);

// Key components the planner can seek on: integers, reals and texts.
bool IsSeekableField(const FieldDescription& field);

// Compares component n (1-based) of `key` in two record images, as the key
// orders them but without the component's direction: case-blind for text of
// a NOCASE key.
int CompareComponent(const KeyDeclaration& key, int32_t n, const uint8_t* a, const uint8_t* b);

// Writes into `record` the lowest (or highest) value component n can hold in
// the key's comparison, ignoring the component's direction.
void StoreExtreme(const KeyDeclaration& key, int32_t n, uint8_t* record, bool highest);

// Where a record lies against a key range in key order: -1 before it, 0
// inside, 1 after it.
int Classify(const KeyDeclaration& key, const KeyRange& range, const uint8_t* record);

// Fills `anchor` (a copy of a record image) for a seek: components after the
// first `kept` get the key order's lowest values (or highest).
void FillAfter(const KeyDeclaration& key, int32_t kept, uint8_t* anchor, bool highest);

} // namespace morvex

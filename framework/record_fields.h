// Reading and setting single fields of a record by their description: the
// numbers automatic numbering counts with, and the lowest and highest values
// that position a key at the start or end of a prefix.
#pragma once

#include "runtime/record_description.h"

#include <cstdint>

namespace morvex {

// The field's value as an integer (reals truncated); 0 for types that hold
// no number.
int64_t FieldNumber(const FieldDescription& field, const uint8_t* record);
// Stores `value` in the field, clamped to the type's range; false for types
// that hold no number.
bool SetFieldNumber(const FieldDescription& field, uint8_t* record, int64_t value);
// Sets the field to the lowest or highest value its type can hold.
void SetFieldExtreme(const FieldDescription& field, uint8_t* record, bool highest);

} // namespace morvex

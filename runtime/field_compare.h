// Comparison of one field's value in two records by the field's type: the
// ordering that keys of queues (and of files) use.
#pragma once

#include "runtime/record_description.h"

#include <cstdint>

namespace morvex {

// Compares the field in two records (pointers to the records' first bytes);
// negative, 0 or positive. Dimensioned fields compare element by element.
int CompareField(const FieldDescription& field, const uint8_t* a, const uint8_t* b);

} // namespace morvex

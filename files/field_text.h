// A field's value as text and back, as records travel in CSV files: numbers
// in decimal, DATE and TIME as their standard date and time numbers, text
// fields without their padding blanks. Texts are in the program's character
// set (Windows-1252).
#pragma once

#include "runtime/record_description.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

// Whether FieldText and SetFieldText handle the field's type.
bool FieldHasText(const FieldDescription& field);

std::string FieldText(const FieldDescription& field, const uint8_t* record);

// Stores `text` into the field. Empty on success, else what is wrong with the
// text ("'12x' is not a whole number", "27 characters do not fit STRING(20)").
// An empty text stores 0 into a number field. The field is left unchanged on
// failure.
std::string SetFieldText(const FieldDescription& field, std::string_view text, uint8_t* record);

} // namespace morvex

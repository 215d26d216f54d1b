// A variable's or record field's value shown through a picture, and text
// read back into it: what controls bound to program variables, list box
// cells and entries do with the storage they are given. Numbers are read
// with FORMAT's and DEFORMAT's rules; text fields are blank-padded
// (STRING), zero-terminated (CSTRING) or length-prefixed (PSTRING).
#pragma once

#include "runtime/evaluator.h"
#include "runtime/picture.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

// The value as FORMAT shows it through `picture`; without a picture, text
// fields give their text (STRING without its trailing blanks) and numbers
// their plain decimal text. An unsupported type gives the empty text.
std::string FormatValue(const BoundVariable& variable, const CompiledPicture* picture);
// The value as a number DEFORMAT's rules read (text fields: their text read
// as a number); the value text of numbers and dates.
std::string ValueText(const BoundVariable& variable);

// Stores a value text (a number, or text, as DEFORMAT gives it) into the
// variable: numbers are read as the runtime reads text as a number and
// rounded to the field (half away from zero); text is cut or padded to the
// field's size. False (and the variable unchanged) for an unsupported type.
bool StoreValue(const BoundVariable& variable, std::string_view value_text);

// Whether the variable holds a number rather than text.
bool IsNumericVariable(const BoundVariable& variable);

// A field of a record as a bound variable.
BoundVariable FieldVariable(const FieldDescription& field, const uint8_t* record);

} // namespace morvex

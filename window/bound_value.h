// The value of the program variable bound to a control, read and written as
// a number or as text: what sheets, texts and the other controls with a
// variable show and take. Numeric types are read as whole numbers; a STRING
// is blank-padded (its trailing blanks are not part of the text), a CSTRING
// ends at its NUL, a PSTRING carries its length in its first byte. Texts are
// cut to the variable's size.
#pragma once

#include "runtime/evaluator.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

int64_t BoundNumber(const BoundVariable& variable);
void SetBoundNumber(const BoundVariable& variable, int64_t value);
std::string BoundText(const BoundVariable& variable);
void SetBoundText(const BoundVariable& variable, std::string_view text);
// How many bytes of text the variable holds (0 for numeric types).
std::size_t BoundTextCapacity(const BoundVariable& variable);

} // namespace morvex

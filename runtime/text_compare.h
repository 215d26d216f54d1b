// Ordering of text values. Every comparison of program text in the runtime
// (queue keys, the evaluator's operators) goes through here, so that the
// collation tables apply everywhere once the locale installs them.
#pragma once

#include <string_view>

namespace morvex {

// Compares two program string values over the length of the longer one, the
// shorter read as if padded with blanks: "XYZ" equals "XYZ  ".
// Negative, 0 or positive.
int CompareStringValues(std::string_view a, std::string_view b);

// True while text orders by its bytes (no collation weights or digraphs in
// force): sort keys may then use a text's bytes as an order-preserving prefix.
bool TextOrderIsBytewise();

} // namespace morvex

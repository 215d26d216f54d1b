// Ordering of text values by the collation tables: weights per character,
// digraphs that sort as two characters, and case-blind variants. Every
// comparison of program text in the runtime (queue keys, the evaluator's
// operators, file keys) goes through here.
#pragma once

#include <cstddef>
#include <string_view>

namespace morvex {

// Which collation table applies: text in the Windows character set, or text
// held in the OEM character set.
enum class TextCharset { Windows, Oem };

// Compares two texts: at the first pair of characters (after digraph
// expansion) that differ, the difference of their weights. A text that ends
// first compares by its terminating zero. Negative, 0 or positive.
int CompareText(std::string_view a, std::string_view b, TextCharset charset = TextCharset::Windows);

// As CompareText over at most `count` characters, with lower-case letters
// read as their upper-case partners.
int CompareTextNoCase(std::string_view a, std::string_view b, std::size_t count,
                      TextCharset charset = TextCharset::Windows);

// Compares two program string values over the length of the longer one, the
// shorter read as if padded with blanks: "XYZ" equals "XYZ  ".
int CompareStringValues(std::string_view a, std::string_view b, TextCharset charset = TextCharset::Windows);
// The same, blind to case.
int CompareStringValuesNoCase(std::string_view a, std::string_view b,
                              TextCharset charset = TextCharset::Windows);

// True while text orders by its bytes (no collation weights or digraphs in
// force): sort keys may then use a text's bytes as an order-preserving prefix.
bool TextOrderIsBytewise();

} // namespace morvex

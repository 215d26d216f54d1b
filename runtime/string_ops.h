// The string operations whose behaviour is particular to this runtime: case
// conversion by the character tables, CLIP, SUB, INSTRING and LEN, on plain
// texts and on the string stack.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

// Characters of the lower-case (UPPER) or upper-case (LOWER) class replaced
// by their case partners; everything else unchanged.
std::string UPPER(std::string_view text);
std::string LOWER(std::string_view text);
// The text without trailing spaces.
std::string_view CLIP(std::string_view text);
// Part of a text: start 0 or 1 is the first character, a negative start
// counts from the end, a start beyond the text gives the end; the length is
// cut to what remains.
std::string_view SUB(std::string_view text, int32_t start, int32_t length);
// The 1-based position of `sought` in `text`, trying the positions start,
// start + step, ...; for a step other than 1 the number of the step at which
// it matched. 0 when not found, for an empty sought text or a start of 0. A
// step of 0 means the sought text's length; a negative step searches
// backwards from start and gives the position.
int32_t INSTRING(std::string_view sought, std::string_view text, int32_t step, int32_t start);
int32_t LEN(std::string_view text);

// The same on the string stack. Each takes its text arguments off the stack
// and pushes its text result; INSTRING takes the text (top) and then the
// sought text.
void StackUPPER();
void StackLOWER();
void StackCLIP();
void StackSUB(int32_t start, int32_t length);
int32_t StackINSTRING(int32_t step, int32_t start);
int32_t StackLEN();
// Compares the entry below the top with the top and takes both off.
int StackCompare();
int StackCompareNoCase(std::size_t count);

} // namespace morvex

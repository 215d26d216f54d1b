// The process-wide runtime error state: the number and text of the last failed
// runtime operation, read by the program right after the operation.
//
// Callers run under the runtime lock, so the state read after an operation
// belongs to that operation. Texts are fixed-length and blank-padded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvex {

constexpr std::size_t ErrorTextSize = 80;      // at most 79 characters are used
constexpr std::size_t ErrorExtraTextSize = 81; // the file engine's detail text

// Sets the error state. Number 0 stands for the last operating-system error
// and becomes 300 + that error. The extra text, if given, goes into the
// second text (the file engine's detail), cut to its size.
void SetError(int32_t number, std::string_view extra = {});

// Appends text after the last non-blank character of the error text, up to
// 79 characters in all.
void AppendErrorText(std::string_view text);

// Number 0, both texts blank.
void ClearError();

int32_t ErrorCode();
// The error text without its trailing blanks.
std::string_view ErrorText();
// The operating-system error saved by the last SetError (Windows numbering).
int32_t OsErrorCode();
// The second text without its trailing blanks.
std::string_view ErrorExtraText();

} // namespace morvex

// Decoding resource content back into the source model, and printing the
// model in the text format. DumpResource(content) compiled again gives the
// same content for every block the compiler wrote.
#pragma once

#include "window/definition_source.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace morvex::wdf {

struct DecodeResult {
    ProcedureSource procedure;
    std::string error; // empty when the content decoded
    bool ok() const { return error.empty(); }
};

// Reads resource content (procedure name, NUL, block from offset 2). Damaged
// content gives an error, never a read outside the bytes.
DecodeResult DecodeResource(std::span<const uint8_t> content);

// The text of a procedure's definitions.
std::string PrintProcedure(const ProcedureSource& procedure);

} // namespace morvex::wdf

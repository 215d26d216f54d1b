// Encoding of a procedure's window definitions into the resource content the
// engine loads: the procedure name, its NUL, then the block from offset 2.
// The layout is canonical (each record followed by the items it refers to,
// in field order), so decoding and encoding again gives the same bytes.
#pragma once

#include "window/definition_source.h"

#include <cstdint>
#include <vector>

namespace morvex::wdf {

std::vector<uint8_t> EncodeProcedure(const ProcedureSource& procedure);

} // namespace morvex::wdf

// The window definition compiler: reads the text format of docs/
// window-definitions.md into procedures (definition_source.h), which
// EncodeProcedure turns into resource content. Errors name the file and line.
#pragma once

#include "window/definition_source.h"

#include <string>
#include <string_view>
#include <vector>

namespace morvex::wdf {

struct CompileResult {
    std::vector<ProcedureSource> procedures;
    std::string error; // "file:line: message"; empty when the text compiled
    bool ok() const { return error.empty(); }
};

// Parses the text of one source file. `file` is used in messages only.
CompileResult ParseWindowDefinitions(std::string_view text, std::string_view file);

} // namespace morvex::wdf

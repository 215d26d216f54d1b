// Fuzzes the window definition compiler with arbitrary text. Text that
// compiles must encode into content that decodes, prints and compiles to the
// same bytes again.
#include "window/definition_compiler.h"
#include "window/definition_dumper.h"
#include "window/definition_encoder.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace morvex;

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const wdf::CompileResult result = wdf::ParseWindowDefinitions(text, "fuzz.wnd");
    if (!result.ok()) {
        check(result.error.starts_with("fuzz.wnd:"));
        return 0;
    }
    for (const wdf::ProcedureSource& procedure : result.procedures) {
        const std::vector<uint8_t> bytes = wdf::EncodeProcedure(procedure);
        const wdf::DecodeResult decoded = wdf::DecodeResource(bytes);
        check(decoded.ok());
        const wdf::CompileResult again =
            wdf::ParseWindowDefinitions(wdf::PrintProcedure(decoded.procedure), "dump");
        check(again.ok() && again.procedures.size() == 1);
        check(wdf::EncodeProcedure(again.procedures[0]) == bytes);
    }
    return 0;
}

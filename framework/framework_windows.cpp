#include "framework/framework_windows.h"

#include "platform/resources.h"
#include "runtime/fatal_error.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/definition_source.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace morvex {

extern const std::string_view FrameworkWindowsSource;

void RegisterFrameworkWindows() {
    static std::once_flag once;
    std::call_once(once, [] {
        const wdf::CompileResult compiled =
            wdf::ParseWindowDefinitions(FrameworkWindowsSource, "framework/windows");
        // The text is part of the program: a fault in it is a fault of the build.
        if (!compiled.ok())
            FatalError(0, "the framework's window definitions do not compile: " + compiled.error);
        static std::vector<std::vector<uint8_t>> blocks;
        blocks.reserve(compiled.procedures.size());
        for (const wdf::ProcedureSource& procedure : compiled.procedures) {
            blocks.push_back(wdf::EncodeProcedure(procedure));
            platform::register_resource(FrameworkModule, "DABDUMP", wdf::ResourceNameOf(procedure.name),
                                        blocks.back());
        }
    });
}

} // namespace morvex

// Fuzzes window definition blocks: arbitrary bytes after a fixed procedure
// name are registered as a resource, the first window is looked up by its own
// label, and every window, control, toolbar and menu record is read. Reads
// must stay inside the block and chains must end, however the offsets point.
// Content the dumper accepts must print as text that compiles, and that text
// must come back unchanged through encode, decode and print.
#include "platform/resources.h"
#include "window/definition_compiler.h"
#include "window/definition_dumper.h"
#include "window/definition_encoder.h"
#include "window/definition_loader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace morvex;

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

constexpr char Procedure[] = "fz$fuzz";

void read_everything(DefinitionLoader& loader) {
    DefinitionServices services;
    services.metrics = [](const FontDefinition* font) {
        return UnitMetrics{font ? font->point_size : 6, 13, 96};
    };
    services.load_icon = [](const ImageReference& image, int32_t) {
        return static_cast<uintptr_t>(image.id);
    };
    services.load_cursor = [](const ImageReference& image) { return static_cast<uintptr_t>(image.id); };
    for (uint32_t offset : loader.WindowOffsets()) {
        const WindowDefinition w = loader.ReadWindow(offset, services);
        const UnitMetrics metrics = loader.MetricsOf(w, services);
        for (const ControlDefinition& c : loader.ReadControls(w, metrics)) {
            loader.LoadIcon(c.icon, 0, services);
            loader.LoadCursor(c.cursor, services);
        }
        loader.ReadToolbar(w, metrics);
    }
}

void check_dump(const std::vector<uint8_t>& content) {
    const wdf::DecodeResult decoded = wdf::DecodeResource(content);
    if (!decoded.ok())
        return;
    const std::string text = wdf::PrintProcedure(decoded.procedure);
    const wdf::CompileResult compiled = wdf::ParseWindowDefinitions(text, "dump");
    check(compiled.ok() && compiled.procedures.size() == 1);
    const wdf::DecodeResult again = wdf::DecodeResource(wdf::EncodeProcedure(compiled.procedures[0]));
    check(again.ok());
    check(wdf::PrintProcedure(again.procedure) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static std::vector<uint8_t> content;
    content.assign(Procedure, Procedure + sizeof Procedure);
    content.insert(content.end(), data, data + size);
    platform::register_resource("fuzz", "DABDUMP", "FUZZ_RSC", content);

    // The block as the loader builds it, to learn the first window's label.
    std::vector<uint8_t> block(wdf::BlockHeadSize, 0);
    block.insert(block.end(), data, data + size);
    const wdf::ByteView view(block);
    const uint32_t first = view.u32(wdf::FirstWindowOffset);
    const std::string label(view.text(view.u32(first + wdf::win::Label)));

    DefinitionLoader loader;
    const uint32_t found = loader.TryFindWindowDefinition(Procedure, label);
    if (first != 0 && first < block.size())
        check(found == first);
    if (found)
        read_everything(loader);
    loader.ReleaseDefinitionBlock();

    check_dump(content);
    return 0;
}

// Finding and reading a calendar-sized window definition (40 controls) among
// the program's eleven "DABDUMP" resources, as opening a window does.
#include "platform/resources.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/definition_loader.h"

#include <benchmark/benchmark.h>
#include <deque>
#include <string>
#include <vector>

namespace {

using namespace morvex;

constexpr const char* Procedures[] = {
    "tavemon$taven001", "tavemon$taven002", "tavemon$taven003", "tavemon$taven004",
    "tavemon$taven005", "tavemon$taven006", "tavemon$taven007", "tavemon$taven008",
    "tavemon$fwEIP",    "tavemon$fwPOPUP",  "tavemon$fwQUERY",
};

// A calendar window: the grid, four key buttons, three spin boxes, three
// buttons with icons, a group, and prompts and entries up to 40 controls.
std::string calendar_source(const char* procedure) {
    std::string text =
        std::string("procedure \"") + procedure +
        "\"\nwindow \"P1$WINDOW\"\n"
        "    at 10 20 160 130\n    caption \"Calendar\"\n    font \"MS Sans Serif\" 8\n"
        "    list at 4 20 152 80 var QUEUE 0 format "
        "\"20C~M~@s2@20C~T~@s2@20C~W~@s2@20C~T~@s2@20C~F~@s2@20C~S~@s2@20C~S~@s2@\" from QUEUE 0\n";
    for (const char* key : {"Up", "Down", "Left", "Right"})
        text += std::string("    button at 0 0 0 0 text \"") + key + "\"\n";
    text +=
        "    spin at 4 4 30 10 var LONG 4 picture \"n-14\" low 1 high 31 step 1\n"
        "    spin at 36 4 70 10 var STRING 20 picture \"s20\" choices \"January\" \"February\" \"March\"\n"
        "    spin at 108 4 48 10 var STRING 5 picture \"s5\"\n"
        "    button at 4 106 48 16 text \"Today\" icon \"~MARK2.ICO\"\n"
        "    button at 56 106 48 16 text \"Close\" icon \"~EXIT.ICO\"\n"
        "    button at 108 106 48 16 text \"Select\" icon \"~MARK.ICO\"\n";
    for (int i = 0; i < 14; ++i)
        text += "    prompt at 4 " + std::to_string(130 + 10 * i) + " 40 8 text \"Prompt " +
                std::to_string(i) + "\"\n    entry at 50 " + std::to_string(130 + 10 * i) +
                " 60 8 var LONG 4 picture \"D18\"\n";
    return text + "    group at 2 2 156 126 text \"Calendar\"\nend\n";
}

void register_resources() {
    static std::deque<std::vector<uint8_t>> keep;
    if (!keep.empty())
        return;
    for (const char* procedure : Procedures) {
        const wdf::CompileResult result = wdf::ParseWindowDefinitions(calendar_source(procedure), "bench");
        keep.push_back(wdf::EncodeProcedure(result.procedures.at(0)));
        platform::register_resource("tavemon", "DABDUMP", wdf::ResourceNameOf(procedure), keep.back());
    }
}

void open_window(DefinitionLoader& loader, const DefinitionServices& services, benchmark::State& state) {
    const uint32_t offset = loader.FindWindowDefinition("tavemon$taven007", "P1$WINDOW");
    const WindowDefinition window = loader.ReadWindow(offset, services);
    const std::vector<ControlDefinition> controls =
        loader.ReadControls(window, loader.MetricsOf(window, services));
    if (controls.size() != 40)
        state.SkipWithError("the calendar window should have 40 controls");
    benchmark::DoNotOptimize(controls.data());
    loader.ReleaseDefinitionBlock();
}

void BM_FindAndReadCalendarWindow(benchmark::State& state) {
    register_resources();
    DefinitionServices services;
    services.metrics = [](const FontDefinition*) { return UnitMetrics{6, 13, 96}; };
    DefinitionLoader loader;
    for (auto _ : state)
        open_window(loader, services, state);
}
BENCHMARK(BM_FindAndReadCalendarWindow);

// The first look-up of a program: no module remembered yet.
void BM_FindAndReadCalendarWindowFreshLoader(benchmark::State& state) {
    register_resources();
    DefinitionServices services;
    services.metrics = [](const FontDefinition*) { return UnitMetrics{6, 13, 96}; };
    for (auto _ : state) {
        DefinitionLoader loader;
        open_window(loader, services, state);
    }
}
BENCHMARK(BM_FindAndReadCalendarWindowFreshLoader);

void BM_FindCalendarWindowOnly(benchmark::State& state) {
    register_resources();
    DefinitionLoader loader;
    for (auto _ : state) {
        benchmark::DoNotOptimize(loader.FindWindowDefinition("tavemon$taven007", "P1$WINDOW"));
        loader.ReleaseDefinitionBlock();
    }
}
BENCHMARK(BM_FindCalendarWindowOnly);

} // namespace

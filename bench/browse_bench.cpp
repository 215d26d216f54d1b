// The browse of `morvex browse` over generated Customer files of 1,000 and
// 1,000,000 records, headless, in this process: the window opened to its
// first page drawn, a page down, the last page, a locator jump to a name,
// and a query by start date that matches 1% of the records. Each step ends
// with the list drawn.
#include "bench/customer_bench_data.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "framework/error_reporter.h"
#include "platform/backend_choice.h"
#include "platform/resources.h"
#include "platform/windows.h"
#include "runtime/threads.h"
#include "tools/browse_window.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/events.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace morvex::bench {
namespace {

struct BenchDir {
    std::filesystem::path path;
    BenchDir()
        : path(std::filesystem::temp_directory_path() / ("browse_bench_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path);
    }
    ~BenchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// One Customer file of `count` records, made once.
struct DataSet {
    tavemon::CustomerRecord buffer{};
    std::unique_ptr<FileDeclaration> file;
    tools::BrowseWindowSource source;
    std::vector<uint8_t> block;
};

DataSet* data_set(benchmark::State& state, int64_t count) {
    static BenchDir dir;
    static std::map<int64_t, std::unique_ptr<DataSet>> sets;
    auto& slot = sets[count];
    if (slot)
        return slot.get();
    auto d = std::make_unique<DataSet>();
    d->file = std::make_unique<FileDeclaration>(tavemon::CustomerSpec(QvdDriver, &d->buffer));
    d->file->options.name = (dir.path / ("Customer" + std::to_string(count) + ".QVD")).string();
    CREATE(*d->file);
    OPEN(*d->file, AccessReadWrite | ShareDenyAll);
    LOGOUT(*d->file);
    for (int64_t i = 0; i < count; ++i) {
        d->buffer = generated_customer(i);
        ADD(*d->file);
    }
    COMMIT(*d->file);
    if (failed(state, "building the QVD file"))
        return nullptr;
    CLOSE(*d->file);
    d->source = tools::MakeBrowseWindow(*d->file, *d->file->find_key("CUS:BYNAME"), d->file->options.name);
    const wdf::CompileResult compiled = wdf::ParseWindowDefinitions(d->source.text, "browse");
    d->block = wdf::EncodeProcedure(compiled.procedures.front());
    platform::register_resource("browse", "DABDUMP", wdf::ResourceNameOf(compiled.procedures.front().name),
                                d->block);
    slot = std::move(d);
    return slot.get();
}

void start_engine() {
    static const bool started = [] {
        platform::install_backend("headless");
        InitializeThreads();
        InitializeWindowEngine();
        static ErrorReporter errors;
        errors.Init();
        GlobalErrors = &errors;
        return true;
    }();
    (void)started;
}

// A browse window opened to its first page, for the steps that follow.
struct OpenBrowse {
    tools::FileBrowser browser;
    explicit OpenBrowse(DataSet& d) : browser(*d.file, *d.file->find_key("CUS:BYNAME"), d.source) {
        browser.Init();
        browser.Open();
        draw();
    }
    ~OpenBrowse() { browser.Kill(); }
    void draw() { platform::update_window(browser.browse_window().handle()); }
    BrowseManager& browse() { return browser.browse(); }
};

void Browse_OpenToFirstPage(benchmark::State& state) {
    start_engine();
    DataSet* d = data_set(state, state.range(0));
    if (!d)
        return;
    for (auto _ : state) {
        OpenBrowse open(*d);
        benchmark::DoNotOptimize(open.browse().rows());
    }
}
BENCHMARK(Browse_OpenToFirstPage)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void Browse_PageDown(benchmark::State& state) {
    start_engine();
    DataSet* d = data_set(state, state.range(0));
    if (!d)
        return;
    OpenBrowse open(*d);
    int pages = 0;
    for (auto _ : state) {
        if (++pages == 40) { // well before the end of the smaller file
            state.PauseTiming();
            open.browse().TakeScroll(Event::ScrollTop);
            pages = 0;
            state.ResumeTiming();
        }
        open.browse().TakeScroll(Event::PageDown);
        open.draw();
    }
}
BENCHMARK(Browse_PageDown)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void Browse_ScrollBottom(benchmark::State& state) {
    start_engine();
    DataSet* d = data_set(state, state.range(0));
    if (!d)
        return;
    OpenBrowse open(*d);
    for (auto _ : state) {
        open.browse().TakeScroll(Event::ScrollBottom);
        open.draw();
    }
}
BENCHMARK(Browse_ScrollBottom)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void Browse_LocatorJump(benchmark::State& state) {
    start_engine();
    DataSet* d = data_set(state, state.range(0));
    if (!d)
        return;
    OpenBrowse open(*d);
    BrowseManager& browse = open.browse();
    uint32_t n = 0;
    for (auto _ : state) {
        // A name of the file, by its first nine characters.
        const tavemon::CustomerRecord target = generated_customer(mix_bits(n++) % state.range(0));
        SetVariableText(browse.current_sort()->FREEELEMENT, clipped(target.NAME.view()).substr(0, 9));
        browse.Reset(browse.GetFreeElementPosition());
        browse.ResetQueue(2);
        open.draw();
    }
}
BENCHMARK(Browse_LocatorJump)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Start dates run over 3,650 days: 36 of them hold 1% of the records.
void Browse_QueryOnePercent(benchmark::State& state) {
    start_engine();
    DataSet* d = data_set(state, state.range(0));
    if (!d)
        return;
    OpenBrowse open(*d);
    BrowseManager& browse = open.browse();
    uint32_t n = 0;
    for (auto _ : state) {
        const int32_t low = 73053 + static_cast<int32_t>(mix_bits(n++) % 3600);
        browse.SetFilter("(CUS:STARTDATE >= " + std::to_string(low) + ") AND (CUS:STARTDATE < " +
                             std::to_string(low + 36) + ")",
                         "9 - QBE");
        browse.ResetSort(true);
        open.draw();
    }
}
BENCHMARK(Browse_QueryOnePercent)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace morvex::bench

// INSTRING on a 1 MB text against std::string_view::find and
// std::boyer_moore_horspool_searcher, for a word near the end.
#include "runtime/string_ops.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t TextSize = 1 << 20;

// Random lower-case words; the sought word is placed once near the end.
struct Haystack {
    std::string text;
    std::string sought;
};

const Haystack& haystack(std::size_t sought_length) {
    static std::vector<std::unique_ptr<Haystack>> cache(64);
    std::unique_ptr<Haystack>& entry = cache[sought_length];
    if (!entry) {
        entry = std::make_unique<Haystack>();
        std::mt19937 random(1234);
        entry->text.resize(TextSize);
        for (char& c : entry->text)
            c = random() % 6 == 0 ? ' ' : static_cast<char>('a' + random() % 26);
        entry->sought.resize(sought_length);
        for (char& c : entry->sought)
            c = static_cast<char>('a' + random() % 26);
        entry->text.replace(TextSize - 1000, sought_length, entry->sought);
    }
    return *entry;
}

void report(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(TextSize));
}

void instring(benchmark::State& state) {
    const Haystack& h = haystack(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        int32_t position = morvex::INSTRING(h.sought, h.text, 1, 1);
        benchmark::DoNotOptimize(position);
    }
    report(state);
}

void string_view_find(benchmark::State& state) {
    const Haystack& h = haystack(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::size_t position = std::string_view(h.text).find(h.sought);
        benchmark::DoNotOptimize(position);
    }
    report(state);
}

void horspool_searcher(benchmark::State& state) {
    const Haystack& h = haystack(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        // Building the searcher is part of the work, as INSTRING builds its table per call.
        const std::boyer_moore_horspool_searcher searcher(h.sought.begin(), h.sought.end());
        auto position = std::search(h.text.begin(), h.text.end(), searcher);
        benchmark::DoNotOptimize(position);
    }
    report(state);
}

} // namespace

BENCHMARK(instring)->Name("instring/morvex")->Arg(6)->Arg(16)->Arg(40)->Unit(benchmark::kMicrosecond);
BENCHMARK(string_view_find)
    ->Name("instring/string_view_find")
    ->Arg(6)
    ->Arg(16)
    ->Arg(40)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(horspool_searcher)
    ->Name("instring/boyer_moore_horspool")
    ->Arg(6)
    ->Arg(16)
    ->Arg(40)
    ->Unit(benchmark::kMicrosecond);

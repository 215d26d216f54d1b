// The QVD container at the scale of a large table: one commit of a million
// records (9-byte record keys, 68-byte record images), point reads by key, a
// full ordered scan through Seek, and the resulting file size.
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_store.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

using namespace morvex::qvd;

namespace {

constexpr uint32_t RecordCount = 1000000;
constexpr uint32_t Table = 1;

Bytes RecordKey(uint32_t record) {
    Bytes key = TableKeyPrefix(Table, EntryRecord);
    for (int shift = 24; shift >= 0; shift -= 8)
        key.push_back(static_cast<uint8_t>(record >> shift));
    return key;
}

// A record image as a program would write it: a blank-padded name, a code
// and a few binary numbers.
Bytes RecordImage(uint32_t record) {
    char name[41];
    std::snprintf(name, sizeof name, "%-40s", ("Customer " + std::to_string(record)).c_str());
    Bytes image(name, name + 40);
    char code[16];
    std::snprintf(code, sizeof code, "%-12s", ("C" + std::to_string(record % 977)).c_str());
    image.insert(image.end(), code, code + 12);
    for (int i = 0; i < 4; ++i) {
        const uint32_t value = record * (i + 1);
        for (int b = 0; b < 4; ++b)
            image.push_back(static_cast<uint8_t>(value >> (8 * b)));
    }
    return image; // 68 bytes
}

std::string BenchFile() {
    static const std::string path = [] {
        const auto dir = std::filesystem::temp_directory_path() / "morvex_qvd_bench";
        std::filesystem::create_directories(dir);
        return (dir / "million.qvd").string();
    }();
    return path;
}

std::unique_ptr<Store> OpenBench(bool create) {
    StoreOptions options;
    options.create_if_missing = create;
    options.cache_bytes = 256 << 20;
    int32_t error = 0;
    return Store::Open(BenchFile(), options, error);
}

void EnsureFile() {
    static bool built = [] {
        std::filesystem::remove(BenchFile());
        auto store = OpenBench(true);
        for (uint32_t r = 1; r <= RecordCount; ++r)
            store->Put(RecordKey(r), RecordImage(r));
        return store->Commit() == 0;
    }();
    if (!built)
        std::abort();
}

void BM_MillionPutsInOneCommit(benchmark::State& state) {
    for (auto _ : state) {
        std::filesystem::remove(BenchFile());
        auto store = OpenBench(true);
        for (uint32_t r = 1; r <= RecordCount; ++r)
            store->Put(RecordKey(r), RecordImage(r));
        if (store->Commit() != 0)
            state.SkipWithError("commit failed");
    }
    const auto size = std::filesystem::file_size(BenchFile());
    state.counters["file_MB"] = static_cast<double>(size) / (1 << 20);
    state.counters["bytes_per_record"] = static_cast<double>(size) / RecordCount;
    state.SetItemsProcessed(state.iterations() * RecordCount);
}
BENCHMARK(BM_MillionPutsInOneCommit)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PointGet(benchmark::State& state) {
    EnsureFile();
    auto store = OpenBench(false);
    std::mt19937 rng(1);
    for (auto _ : state) {
        auto data = store->Get(RecordKey(1 + rng() % RecordCount));
        benchmark::DoNotOptimize(data);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PointGet);

void BM_OrderedScanBySeek(benchmark::State& state) {
    EnsureFile();
    auto store = OpenBench(false);
    const Bytes prefix = TableKeyPrefix(Table, EntryRecord);
    for (auto _ : state) {
        uint64_t seen = 0;
        for (auto e = store->Seek(prefix, SeekMode::AtOrAfter, prefix); e;
             e = store->Seek(e->key, SeekMode::After, prefix))
            ++seen;
        if (seen != RecordCount)
            state.SkipWithError("scan missed records");
    }
    state.SetItemsProcessed(state.iterations() * RecordCount);
}
BENCHMARK(BM_OrderedScanBySeek)->Unit(benchmark::kMillisecond)->Iterations(1);

// What a driver that commits every added record pays on a large file.
void BM_SingleRecordCommitOnMillionFile(benchmark::State& state) {
    EnsureFile();
    auto store = OpenBench(false);
    uint32_t record = RecordCount + 1;
    for (auto _ : state) {
        store->Put(RecordKey(record), RecordImage(record));
        ++record;
        if (store->Commit() != 0)
            state.SkipWithError("commit failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SingleRecordCommitOnMillionFile)->Unit(benchmark::kMicrosecond)->Iterations(300);

} // namespace

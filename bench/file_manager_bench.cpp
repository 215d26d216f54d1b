// The file manager against the driver it wraps, on the program's Customer
// layout: reading a million records in key order, and numbering and adding
// 10,000 customers in one transaction against adds with the ids given.
#include "files/access_mode.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/record_layout.h"
#include "files/transaction.h"
#include "framework/file_manager.h"
#include "runtime/error_state.h"
#include "tests/support/customer_file.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace morvex {
namespace {

std::string directory() {
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "morvex_fm_bench_XXXXXX").string();
        return std::string(mkdtemp(pattern.data()));
    }();
    return path;
}

std::unique_ptr<FileDeclaration> declare(const std::string& name) {
    return testing::DeclareQvdFile(testing::CustomerLayout, directory() + "/" + name);
}

void fill(FileDeclaration& file, int32_t i, bool with_id) {
    uint8_t* r = file.buffer();
    std::memset(r, ' ', 68);
    const int32_t id = with_id ? i + 1 : 0;
    std::memcpy(r, &id, 4);
    char text[21];
    std::snprintf(text, sizeof text, "N%08X", (static_cast<uint32_t>(i) * 2654435761u));
    std::memcpy(r + 4, text, std::strlen(text));
    std::snprintf(text, sizeof text, "Suburb %d", i % 97);
    std::memcpy(r + 24, text, std::strlen(text));
    std::snprintf(text, sizeof text, "%09d", i);
    std::memcpy(r + 44, text, std::strlen(text));
    const int32_t date = 73000 + i % 3650;
    std::memcpy(r + 64, &date, 4);
}

// A million customers, made once.
FileDeclaration& million() {
    static std::unique_ptr<FileDeclaration> file = [] {
        auto f = declare("Million");
        CREATE(*f);
        OPEN(*f, AccessReadWrite | ShareDenyAll);
        FileDeclaration* files[] = {f.get()};
        LOGOUT(-1, files);
        for (int32_t i = 0; i < 1'000'000; ++i) {
            fill(*f, i, true);
            ADD(*f);
        }
        COMMIT();
        CLOSE(*f);
        return f;
    }();
    return *file;
}

void BM_ReadInKeyOrderThroughTheDriver(benchmark::State& state) {
    FileDeclaration& file = million();
    OPEN(file, AccessReadWrite | ShareDenyNone);
    int64_t read = 0;
    for (auto _ : state) {
        SET(*file.key(1));
        for (NEXT(file); ErrorCode() == 0; NEXT(file))
            ++read;
    }
    CLOSE(file);
    state.counters["records"] = benchmark::Counter(static_cast<double>(read), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadInKeyOrderThroughTheDriver)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadInKeyOrderThroughTheFileManager(benchmark::State& state) {
    FileDeclaration& file = million();
    ErrorReporter errors;
    errors.Init();
    FileManager fm;
    fm.Init(file, errors);
    for (int32_t k = 1; k <= 5; ++k)
        fm.AddKey(*file.key(k), file.key(k)->label, k == 5 ? 1 : 0);
    fm.Open();
    fm.UseFile(2);
    int64_t read = 0;
    for (auto _ : state) {
        SET(*file.key(1));
        while (fm.Next() == Level::Benign)
            ++read;
    }
    fm.Close();
    fm.Kill();
    state.counters["records"] = benchmark::Counter(static_cast<double>(read), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadInKeyOrderThroughTheFileManager)->Unit(benchmark::kMillisecond)->Iterations(3);

constexpr int32_t Batch = 10'000;

void BM_AddWithIdsGivenThroughTheDriver(benchmark::State& state) {
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto file = declare("Given" + std::to_string(run++));
        CREATE(*file);
        OPEN(*file, AccessReadWrite | ShareDenyNone);
        state.ResumeTiming();
        FileDeclaration* files[] = {file.get()};
        LOGOUT(-1, files);
        for (int32_t i = 0; i < Batch; ++i) {
            fill(*file, i, true);
            ADD(*file);
        }
        COMMIT();
        state.PauseTiming();
        CLOSE(*file);
        state.ResumeTiming();
    }
    state.counters["inserts"] = benchmark::Counter(
        static_cast<double>(Batch) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AddWithIdsGivenThroughTheDriver)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PrimeAutoIncAndInsertThroughTheFileManager(benchmark::State& state) {
    ErrorReporter errors;
    errors.Init();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto file = declare("Numbered" + std::to_string(run++));
        FileManager fm;
        fm.Init(*file, errors);
        for (int32_t k = 1; k <= 5; ++k)
            fm.AddKey(*file->key(k), file->key(k)->label, k == 5 ? 1 : 0);
        fm.Open();
        fm.UseFile(2); // creates the file
        state.ResumeTiming();
        FileDeclaration* files[] = {file.get()};
        LOGOUT(-1, files);
        for (int32_t i = 0; i < Batch; ++i) {
            fill(*file, i, false);
            if (fm.PrimeAutoInc() != Level::Benign || fm.Insert() != Level::Benign) {
                state.SkipWithError("insert failed");
                break;
            }
        }
        COMMIT();
        state.PauseTiming();
        fm.Close();
        fm.Kill();
        state.ResumeTiming();
    }
    state.counters["inserts"] = benchmark::Counter(
        static_cast<double>(Batch) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrimeAutoIncAndInsertThroughTheFileManager)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace morvex

// The QVD driver beside SQLite on the program's Customer file: the same
// generated records (68 bytes, five keys) in a QVD file through the file
// statements, and in an SQLite table (rowid = CUS:CUSID, four indexes, NOCASE
// where the key is NOCASE).
//
//   *_BulkInsert    every record added in one transaction (QVD: LOGOUT ...
//                   COMMIT when the driver supports it); counters: file size,
//                   and for QVD the peak resident memory during the import
//   *_LookupByName  a point lookup by CUS:ByName
//   *_ScanByStartDateName  a full ordered scan by CUS:ByStartDateName (QVD:
//                   opened sharing, and denying others writing, which spares
//                   the test of every record for a hold by another open)
//
// MORVEX_BENCH_RECORDS sets the number of records (default 1,000,000).
// Goals: insert and lookup at least SQLite's rate, the scan twice it, a file
// no larger, and an import of 1M records under 200 MB resident.
#include "bench/customer_bench_data.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sqlite3.h>
#include <string>

namespace {

using namespace morvex;
using namespace morvex::bench;
using tavemon::CustomerRecord;

int64_t record_count() {
    static const int64_t count = [] {
        const char* text = std::getenv("MORVEX_BENCH_RECORDS");
        const long long value = text ? std::atoll(text) : 0;
        return value > 0 ? value : 1'000'000LL;
    }();
    return count;
}

// A directory of its own, removed at exit (after the files in it are closed:
// everything that uses it is made after it, so it is destroyed before it).
struct BenchDir {
    std::filesystem::path path;
    BenchDir()
        : path(std::filesystem::temp_directory_path() / ("qvd_sqlite_bench_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path);
    }
    ~BenchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const std::filesystem::path& bench_dir() {
    static const BenchDir dir;
    return dir.path;
}

// Peak resident memory since the last reset, in MB (VmHWM); reset by
// writing 5 to clear_refs.
void reset_peak_rss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double status_mb(std::string_view field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field))
            return std::atof(line.c_str() + field.size()) / 1024.0;
    }
    return 0;
}
double peak_rss_mb() {
    return status_mb("VmHWM:");
}
double rss_mb() {
    return status_mb("VmRSS:");
}

// ---- QVD ----

struct QvdSide {
    CustomerRecord buffer{};
    std::unique_ptr<FileDeclaration> file;
    bool built = false;

    QvdSide() {
        file = std::make_unique<FileDeclaration>(tavemon::CustomerSpec(QvdDriver, &buffer));
        file->options.name = (bench_dir() / "Customer.QVD").string();
    }
    std::string path() const { return file->options.name; }
};

QvdSide& qvd() {
    static QvdSide side;
    return side;
}

void build_qvd(benchmark::State& state) {
    QvdSide& side = qvd();
    std::filesystem::remove(side.path());
    FileDeclaration& file = *side.file;
    CREATE(file);
    if (failed(state, "CREATE"))
        return;
    OPEN(file, AccessReadWrite | ShareDenyAll);
    if (failed(state, "OPEN"))
        return;
    LOGOUT(file);
    const bool transaction = ErrorCode() == 0;
    for (int64_t i = 0; i < record_count(); ++i) {
        side.buffer = generated_customer(i);
        ADD(file);
        if (failed(state, "ADD"))
            return;
    }
    if (transaction) {
        COMMIT(file);
        if (failed(state, "COMMIT"))
            return;
    }
    CLOSE(file);
    side.built = true;
}

bool qvd_ready(benchmark::State& state, int32_t sharing = ShareDenyNone) {
    QvdSide& side = qvd();
    if (!side.built)
        build_qvd(state);
    if (!side.built)
        return false;
    OPEN(*side.file, AccessReadOnly | sharing);
    return !failed(state, "OPEN");
}

void Qvd_BulkInsert(benchmark::State& state) {
    double before = 0;
    for (auto _ : state) {
        reset_peak_rss();
        before = rss_mb();
        build_qvd(state);
    }
    state.SetItemsProcessed(state.iterations() * record_count());
    state.counters["rss_before_MB"] = before;
    state.counters["peak_rss_MB"] = peak_rss_mb();
    if (qvd().built)
        state.counters["file_MB"] = std::filesystem::file_size(qvd().path()) / 1e6;
}

void Qvd_LookupByName(benchmark::State& state) {
    if (!qvd_ready(state))
        return;
    QvdSide& side = qvd();
    KeyDeclaration& by_name = *side.file->key(1);
    uint32_t n = 0;
    for (auto _ : state) {
        const int64_t i = mix_bits(n++) % record_count();
        side.buffer.NAME = generated_customer(i).NAME;
        GET(*side.file, by_name);
        if (ErrorCode() != 0 || side.buffer.CUSID != i + 1) {
            state.SkipWithError("lookup by name did not find the record");
            break;
        }
    }
    CLOSE(*side.file);
    state.SetItemsProcessed(state.iterations());
}

// Shared (deny none), every record read tests whether another open holds
// it; an open that denies writing to others needs no such test.
void Qvd_ScanByStartDateName(benchmark::State& state, int32_t sharing) {
    if (!qvd_ready(state, sharing))
        return;
    QvdSide& side = qvd();
    KeyDeclaration& by_date = *side.file->key(2);
    int64_t rows = 0;
    for (auto _ : state) {
        SET(by_date);
        int64_t seen = 0;
        int32_t last_date = 0;
        for (;;) {
            NEXT(*side.file);
            if (ErrorCode() != 0)
                break;
            if (side.buffer.STARTDATE < last_date) {
                state.SkipWithError("scan out of order");
                break;
            }
            last_date = side.buffer.STARTDATE;
            ++seen;
        }
        if (ErrorCode() != ErrRecordNotAvailable || seen != record_count()) {
            state.SkipWithError("the scan did not read every record");
            break;
        }
        rows += seen;
    }
    CLOSE(*side.file);
    state.SetItemsProcessed(rows);
}

// ---- SQLite ----

struct SqliteSide {
    sqlite3* db = nullptr;
    bool built = false;
    std::string path = (bench_dir() / "customer.sqlite").string();
    ~SqliteSide() { sqlite3_close(db); }
};

SqliteSide& sqlite() {
    static SqliteSide side;
    return side;
}

void build_sqlite(benchmark::State& state) {
    SqliteSide& side = sqlite();
    sqlite3_close(side.db);
    side.db = nullptr;
    std::filesystem::remove(side.path);
    if (sqlite3_open(side.path.c_str(), &side.db) != SQLITE_OK) {
        state.SkipWithError("cannot open the SQLite database");
        return;
    }
    if (!exec(state, side.db, CustomerTableSql) || !exec(state, side.db, "BEGIN;"))
        return;
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(side.db, "INSERT INTO customer VALUES(?1, ?2, ?3, ?4, ?5)", -1, &insert, nullptr);
    for (int64_t i = 0; i < record_count(); ++i) {
        bind_customer(insert, generated_customer(i));
        if (sqlite3_step(insert) != SQLITE_DONE) {
            state.SkipWithError(sqlite3_errmsg(side.db));
            sqlite3_finalize(insert);
            return;
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (exec(state, side.db, "COMMIT;"))
        side.built = true;
}

void Sqlite_BulkInsert(benchmark::State& state) {
    double before = 0;
    for (auto _ : state) {
        reset_peak_rss();
        before = rss_mb();
        build_sqlite(state);
    }
    state.SetItemsProcessed(state.iterations() * record_count());
    state.counters["rss_before_MB"] = before;
    state.counters["peak_rss_MB"] = peak_rss_mb();
    if (sqlite().built)
        state.counters["file_MB"] = std::filesystem::file_size(sqlite().path) / 1e6;
}

void Sqlite_LookupByName(benchmark::State& state) {
    SqliteSide& side = sqlite();
    if (!side.built)
        build_sqlite(state);
    if (!side.built)
        return;
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(side.db, "SELECT cusid, name, suburb, phone, startdate FROM customer WHERE name = ?1",
                       -1, &select, nullptr);
    uint32_t n = 0;
    for (auto _ : state) {
        const int64_t i = mix_bits(n++) % record_count();
        const std::string name = clipped(generated_customer(i).NAME.view());
        sqlite3_bind_text(select, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(select) != SQLITE_ROW || sqlite3_column_int(select, 0) != i + 1) {
            state.SkipWithError("lookup by name did not find the row");
            break;
        }
        benchmark::DoNotOptimize(sqlite3_column_text(select, 2));
        sqlite3_reset(select);
    }
    sqlite3_finalize(select);
    state.SetItemsProcessed(state.iterations());
}

void Sqlite_ScanByStartDateName(benchmark::State& state) {
    SqliteSide& side = sqlite();
    if (!side.built)
        build_sqlite(state);
    if (!side.built)
        return;
    sqlite3_stmt* scan = nullptr;
    sqlite3_prepare_v2(side.db,
                       "SELECT cusid, name, suburb, phone, startdate FROM customer ORDER BY startdate, name",
                       -1, &scan, nullptr);
    int64_t rows = 0;
    for (auto _ : state) {
        int64_t seen = 0;
        while (sqlite3_step(scan) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(scan, 1));
            ++seen;
        }
        sqlite3_reset(scan);
        if (seen != record_count()) {
            state.SkipWithError("the scan did not read every row");
            break;
        }
        rows += seen;
    }
    sqlite3_finalize(scan);
    state.SetItemsProcessed(rows);
}

// The QVD import runs first, so that its peak memory is its own. Inserts wait
// on the disk (fsync), which CPU time does not show: their rate is by the clock.
BENCHMARK(Qvd_BulkInsert)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Sqlite_BulkInsert)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Qvd_LookupByName)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sqlite_LookupByName)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Qvd_ScanByStartDateName, shared, ShareDenyNone)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Qvd_ScanByStartDateName, deny_write, ShareDenyWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(Sqlite_ScanByStartDateName)->Unit(benchmark::kMillisecond);

} // namespace

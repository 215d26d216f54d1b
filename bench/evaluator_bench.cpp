// Evaluator benchmarks: compiling a filter; the filter evaluated over a
// million records bound in turn, beside SQLite counting the same rows with
// the same WHERE over an in-memory table; and an arithmetic expression
// beside muParser as a reference point.
#include "runtime/evaluator.h"
#include "runtime/fixed_text.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <muParser.h>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

using namespace morvex;

constexpr int RecordCount = 1'000'000;
// Argument 0: the date test first, so the name test is mostly skipped;
// argument 1: the name test first, so every row upper-cases its name.
constexpr const char* Filters[] = {"CUS:STARTDATE = 73284 AND UPPER(CUS:NAME) >= 'M'",
                                   "UPPER(CUS:NAME) >= 'M' AND CUS:STARTDATE = 73284"};
constexpr const char* SqlFilters[] = {
    "SELECT COUNT(*) FROM cus WHERE startdate = 73284 AND upper(name) >= 'M'",
    "SELECT COUNT(*) FROM cus WHERE upper(name) >= 'M' AND startdate = 73284"};

struct CustomerRecord {
    int32_t start_date;
    FixedText<20> name;
};

// Deterministic customers: start dates over 400 days around 20 August 2001
// and names drawn from a small syllable table, half of them lower case.
const std::vector<CustomerRecord>& customers() {
    static const std::vector<CustomerRecord> records = [] {
        static const char* const syllables[] = {"al", "Be", "ca", "Do", "el", "Fa", "gi", "Ho", "in", "Ja",
                                                "ko", "Lu", "ma", "Ne", "ol", "Pa", "qu", "Ro", "sa", "Ti"};
        std::vector<CustomerRecord> made(RecordCount);
        uint32_t state = 12345;
        for (int i = 0; i < RecordCount; ++i) {
            state = state * 1103515245u + 12345u;
            made[static_cast<std::size_t>(i)].start_date = 73084 + static_cast<int32_t>((state >> 8) % 400);
            std::string name;
            for (int k = 0; k < 3; ++k) {
                state = state * 1103515245u + 12345u;
                name += syllables[(state >> 10) % 20];
            }
            made[static_cast<std::size_t>(i)].name.assign(name);
        }
        return made;
    }();
    return records;
}

int64_t expected_count() {
    int64_t count = 0;
    for (const CustomerRecord& record : customers()) {
        std::string upper(record.name.view());
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (record.start_date == 73284 && upper >= "M")
            ++count;
    }
    return count;
}

void BM_CompileFilter(benchmark::State& state) {
    CustomerRecord buffer{};
    BIND("CUS:STARTDATE", buffer.start_date);
    BIND("CUS:NAME", buffer.name);
    for (auto _ : state)
        benchmark::DoNotOptimize(Expression::Compile(Filters[0]));
    ClearScope();
}
BENCHMARK(BM_CompileFilter);

void BM_FilterEvaluator(benchmark::State& state) {
    const std::vector<CustomerRecord>& records = customers();
    const int64_t expected = expected_count();
    CustomerRecord buffer{};
    BIND("CUS:STARTDATE", buffer.start_date);
    BIND("CUS:NAME", buffer.name);
    std::unique_ptr<Expression> filter = Expression::Compile(Filters[state.range(0)]);
    if (!filter) {
        state.SkipWithError("the filter does not compile");
        return;
    }
    int64_t count = 0;
    for (auto _ : state) {
        count = 0;
        for (const CustomerRecord& record : records) {
            std::memcpy(&buffer, &record, sizeof buffer); // the record read into its buffer
            count += filter->as_truth() ? 1 : 0;
        }
        benchmark::DoNotOptimize(count);
    }
    if (count != expected)
        state.SkipWithError("the evaluator counted other rows");
    state.counters["rows"] = static_cast<double>(count);
    state.SetItemsProcessed(state.iterations() * RecordCount);
    ClearScope();
}
BENCHMARK(BM_FilterEvaluator)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FilterSqlite(benchmark::State& state) {
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
        state.SkipWithError("sqlite3_open failed");
        return;
    }
    sqlite3_exec(db, "CREATE TABLE cus(startdate INTEGER, name TEXT); BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO cus VALUES (?, ?)", -1, &insert, nullptr);
    for (const CustomerRecord& record : customers()) {
        sqlite3_bind_int(insert, 1, record.start_date);
        sqlite3_bind_text(insert, 2, record.name.bytes, static_cast<int>(record.name.size()), SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, SqlFilters[state.range(0)], -1, &query, nullptr);
    int64_t count = 0;
    for (auto _ : state) {
        sqlite3_reset(query);
        if (sqlite3_step(query) == SQLITE_ROW)
            count = sqlite3_column_int64(query, 0);
        benchmark::DoNotOptimize(count);
    }
    if (count != expected_count())
        state.SkipWithError("SQLite counted other rows");
    state.counters["rows"] = static_cast<double>(count);
    state.SetItemsProcessed(state.iterations() * RecordCount);
    sqlite3_finalize(query);
    sqlite3_close(db);
}
BENCHMARK(BM_FilterSqlite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// (a^2/sin(2*pi/b))-a/2 with pi written out, which both can compute.
constexpr int ArithmeticSteps = 100'000;

void BM_ArithmeticEvaluator(benchmark::State& state) {
    double a = 0, b = 1;
    BIND("a", a);
    BIND("b", b);
    std::unique_ptr<Expression> expression = Expression::Compile("(a^2/SIN(2*3.14159265358979/b))-a/2");
    if (!expression) {
        state.SkipWithError("does not compile");
        return;
    }
    double sum = 0;
    for (auto _ : state) {
        sum = 0;
        for (int i = 0; i < ArithmeticSteps; ++i) {
            a = i * 0.001;
            b = 3 + i % 100;
            sum += expression->as_real();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["sum"] = sum;
    state.SetItemsProcessed(state.iterations() * ArithmeticSteps);
    ClearScope();
}
BENCHMARK(BM_ArithmeticEvaluator)->Unit(benchmark::kMillisecond);

void BM_ArithmeticMuParser(benchmark::State& state) {
    double a = 0, b = 1;
    mu::Parser parser;
    parser.DefineVar("a", &a);
    parser.DefineVar("b", &b);
    parser.SetExpr("(a^2/sin(2*3.14159265358979/b))-a/2");
    double sum = 0;
    for (auto _ : state) {
        sum = 0;
        for (int i = 0; i < ArithmeticSteps; ++i) {
            a = i * 0.001;
            b = 3 + i % 100;
            sum += parser.Eval();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["sum"] = sum;
    state.SetItemsProcessed(state.iterations() * ArithmeticSteps);
}
BENCHMARK(BM_ArithmeticMuParser)->Unit(benchmark::kMillisecond);

} // namespace

// The generated Customer records and the SQLite table the QVD benchmarks
// compare against: record i is the same in every benchmark, so the QVD file
// and the SQLite database hold the same data.
#pragma once

#include "app/dictionary.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace morvex::bench {

// A bijective 32-bit mix, for spreading record numbers and picking records.
uint32_t mix_bits(uint32_t x);

// Record i (0-based): CUSID i + 1, a unique name (its hex part is a
// bijection of i), dates in 2001-2010.
tavemon::CustomerRecord generated_customer(int64_t i);

// Text without its trailing blanks, as SQLite stores the fields.
std::string clipped(std::string_view text);

// The Customer table: rowid = CUSID, an index for each other key, NOCASE
// where the key compares without case.
extern const char* const CustomerTableSql;
// Parameters ?1..?5 of "INSERT INTO customer VALUES(?1, ?2, ?3, ?4, ?5)".
void bind_customer(sqlite3_stmt* insert, const tavemon::CustomerRecord& record);

// True, with the benchmark skipped and the driver's error named, when the
// last file statement (`what`) failed.
bool failed(benchmark::State& state, const char* what);

// Runs `sql`; false, with the benchmark skipped and SQLite's message, when it fails.
bool exec(benchmark::State& state, sqlite3* db, const char* sql);

} // namespace morvex::bench

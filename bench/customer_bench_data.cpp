#include "bench/customer_bench_data.h"

#include "runtime/error_state.h"

#include <cstdio>

namespace morvex::bench {

namespace {

constexpr const char* Words[] = {"Ash",  "Birch",   "Cedar", "Dune",  "Elm",  "Fern",   "Gorse", "Heath",
                                 "Iris", "Juniper", "Kelp",  "Larch", "Moss", "Nettle", "Oak",   "Pine"};

void bind_text(sqlite3_stmt* statement, int index, std::string_view field) {
    const std::string text = clipped(field);
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

} // namespace

uint32_t mix_bits(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

tavemon::CustomerRecord generated_customer(int64_t i) {
    const uint32_t h = mix_bits(static_cast<uint32_t>(i));
    tavemon::CustomerRecord record{};
    record.CUSID = static_cast<int32_t>(i + 1);
    char text[32];
    std::snprintf(text, sizeof text, "%s %08X", Words[h % 16], static_cast<uint32_t>(i) * 2654435761U);
    record.NAME.assign(text);
    std::snprintf(text, sizeof text, "Suburb %03u", (h >> 4) % 200);
    record.SUBURB.assign(text);
    std::snprintf(text, sizeof text, "555 %07u", (h >> 12) % 10'000'000);
    record.PHONE.assign(text);
    record.STARTDATE = 73053 + static_cast<int32_t>((h >> 8) % 3650);
    return record;
}

std::string clipped(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text);
}

const char* const CustomerTableSql =
    "CREATE TABLE customer(cusid INTEGER PRIMARY KEY, name TEXT NOT NULL COLLATE NOCASE,"
    " suburb TEXT COLLATE NOCASE, phone TEXT COLLATE NOCASE, startdate INTEGER);"
    "CREATE UNIQUE INDEX by_name ON customer(name);"
    "CREATE INDEX by_startdate_name ON customer(startdate, name);"
    "CREATE INDEX by_phone ON customer(phone);"
    "CREATE INDEX by_suburb ON customer(suburb);";

void bind_customer(sqlite3_stmt* insert, const tavemon::CustomerRecord& record) {
    sqlite3_bind_int(insert, 1, record.CUSID);
    bind_text(insert, 2, record.NAME.view());
    bind_text(insert, 3, record.SUBURB.view());
    bind_text(insert, 4, record.PHONE.view());
    sqlite3_bind_int(insert, 5, record.STARTDATE);
}

bool failed(benchmark::State& state, const char* what) {
    if (ErrorCode() == 0)
        return false;
    state.SkipWithError(
        (std::string(what) + ": " + std::to_string(ErrorCode()) + " " + std::string(ErrorText())).c_str());
    return true;
}

bool exec(benchmark::State& state, sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    state.SkipWithError(message ? message : "sqlite3_exec failed");
    sqlite3_free(message);
    return false;
}

} // namespace morvex::bench

// Cascading deletes through the dictionary's Customer relation manager: each
// deletes one customer and its ten goods records in one transaction, both
// files flushed, against the same deletes as SQLite transactions in
// rollback-journal mode (synchronous FULL): with ON DELETE CASCADE in one
// database file, and over two database files as the QVD files are two.
#include "app/dictionary.h"
#include "app/dictionary_managers.h"
#include "files/file_statements.h"
#include "files/transaction.h"
#include "framework/error_reporter.h"
#include "platform/message_box.h"
#include "runtime/error_state.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

// Every flush of this binary, counted, so that each benchmark can show how
// many a delete costs (SQLite flushes through the same two calls).
namespace {
long g_flushes = 0;
} // namespace

extern "C" int fsync(int fd) {
    ++g_flushes;
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd) {
    ++g_flushes;
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}

namespace tavemon {
namespace {

using morvex::ErrorCode;
using morvex::FileDeclaration;

constexpr int32_t Pool = 100; // customers made at a time, outside the timing
constexpr int GoodsEach = 10;

std::string directory() {
    static const std::string path = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "morvex_relation_bench_XXXXXX").string();
        return std::string(mkdtemp(pattern.data()));
    }();
    return path;
}

// The dictionary, opened once in the benchmark's directory.
struct OpenDictionary {
    morvex::ErrorReporter errors;
    bool ok = false;
    OpenDictionary() {
        morvex::platform::set_message_box_presenter(
            [](const morvex::platform::MessageBoxRequest&) { return morvex::platform::ButtonNo; });
        std::filesystem::current_path(directory());
        errors.Init();
        DictionaryInit(errors);
        ok = RelateCustomer->Open() == 0 && AccessCustomer->UseFile(2) == 0;
    }
};

// Customers first .. first + Pool - 1, each with its goods, in one transaction.
bool AddFamilies(int32_t first) {
    FileDeclaration* files[] = {&Customer, &Goods};
    morvex::LOGOUT(2, files);
    for (int32_t id = first; id < first + Pool && ErrorCode() == 0; ++id) {
        CUS = {};
        CUS.CUSID = id;
        CUS.NAME = ("Customer " + std::to_string(id)).c_str();
        morvex::ADD(Customer);
        for (int g = 0; g < GoodsEach && ErrorCode() == 0; ++g) {
            GOD.CUSID = id;
            GOD.GOODS = ("Goods " + std::to_string(g)).c_str();
            morvex::ADD(Goods);
        }
    }
    if (ErrorCode() != 0)
        return false;
    morvex::COMMIT();
    return ErrorCode() == 0;
}

void RelationCascadingDelete(benchmark::State& state) {
    static OpenDictionary dictionary;
    if (!dictionary.ok) {
        state.SkipWithError("the dictionary's files did not open");
        return;
    }
    // Both outlive a run: the next run goes on with the customers left.
    static int32_t next_id = 1;
    static int32_t left = 0;
    long untimed_flushes = 0;
    const long flushes_before = g_flushes;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            const long before = g_flushes;
            const bool added = AddFamilies(next_id);
            untimed_flushes += g_flushes - before;
            state.ResumeTiming();
            if (!added) {
                state.SkipWithError(("adding customers failed: " + std::to_string(ErrorCode()) + " " +
                                     std::string(morvex::ErrorText()))
                                        .c_str());
                return;
            }
            left = Pool;
        }
        CUS.CUSID = next_id++;
        --left;
        if (AccessCustomer->TryFetch(CUS_ByID()) != 0 || RelateCustomer->Delete(false) != 0) {
            state.SkipWithError("the cascading delete failed");
            return;
        }
    }
    state.counters["flushes"] =
        benchmark::Counter(static_cast<double>(g_flushes - flushes_before - untimed_flushes),
                           benchmark::Counter::kAvgIterations);
}
BENCHMARK(RelationCascadingDelete)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

bool Exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The same deletes in SQLite. Argument 0: both tables in one database file,
// the goods deleted by ON DELETE CASCADE. Argument 1: the goods in a second
// database file attached beside it, deleted by their own statement in the
// same transaction (foreign keys do not reach across files), so that, as
// with the two QVD files, one transaction commits two files.
void SqliteCascadingDelete(benchmark::State& state) {
    const bool two_files = state.range(0) == 1;
    sqlite3* db = nullptr;
    const std::string path = directory() + "/cascade.sqlite";
    const std::string goods_path = directory() + "/cascade_goods.sqlite";
    std::filesystem::remove(path);
    std::filesystem::remove(goods_path);
    const std::string goods_table = two_files ? "g.goods" : "goods";
    const std::string setup =
        "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;" +
        (two_files
             ? "ATTACH '" + goods_path + "' AS g; PRAGMA g.journal_mode=DELETE; PRAGMA g.synchronous=FULL;"
             : std::string()) +
        "CREATE TABLE customer(id INTEGER PRIMARY KEY, name TEXT, suburb TEXT, phone TEXT, startdate "
        "INTEGER);" +
        "CREATE TABLE " + goods_table +
        (two_files ? "(cusid INTEGER, goods TEXT); CREATE INDEX g.goods_by_id ON goods(cusid);"
                   : "(cusid INTEGER REFERENCES customer(id) ON DELETE CASCADE, goods TEXT);"
                     "CREATE INDEX goods_by_id ON goods(cusid);");
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK || !Exec(db, setup)) {
        state.SkipWithError("SQLite set-up failed");
        sqlite3_close(db);
        return;
    }
    sqlite3_stmt* remove = nullptr;
    sqlite3_stmt* remove_goods = nullptr;
    sqlite3_prepare_v2(db, "DELETE FROM customer WHERE id = ?", -1, &remove, nullptr);
    sqlite3_prepare_v2(db, ("DELETE FROM " + goods_table + " WHERE cusid = ?").c_str(), -1, &remove_goods,
                       nullptr);
    int32_t next_id = 1;
    int32_t left = 0;
    long untimed_flushes = 0;
    const long flushes_before = g_flushes;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            const long before = g_flushes;
            std::string sql = "BEGIN;";
            for (int32_t id = next_id; id < next_id + Pool; ++id) {
                sql += "INSERT INTO customer(id, name) VALUES(" + std::to_string(id) + ", 'Customer " +
                       std::to_string(id) + "');";
                for (int g = 0; g < GoodsEach; ++g)
                    sql += "INSERT INTO " + goods_table + " VALUES(" + std::to_string(id) + ", 'Goods " +
                           std::to_string(g) + "');";
            }
            const bool added = Exec(db, sql + "COMMIT;");
            untimed_flushes += g_flushes - before;
            state.ResumeTiming();
            if (!added) {
                state.SkipWithError("SQLite inserts failed");
                break;
            }
            left = Pool;
        }
        Exec(db, "BEGIN");
        const int32_t id = next_id++;
        bool deleted = true;
        if (two_files) {
            sqlite3_bind_int(remove_goods, 1, id);
            deleted = sqlite3_step(remove_goods) == SQLITE_DONE && sqlite3_changes(db) == GoodsEach;
            sqlite3_reset(remove_goods);
        }
        sqlite3_bind_int(remove, 1, id);
        deleted = deleted && sqlite3_step(remove) == SQLITE_DONE && sqlite3_changes(db) == 1;
        sqlite3_reset(remove);
        --left;
        if (!deleted || !Exec(db, "COMMIT")) {
            state.SkipWithError("SQLite delete failed");
            break;
        }
    }
    state.counters["flushes"] =
        benchmark::Counter(static_cast<double>(g_flushes - flushes_before - untimed_flushes),
                           benchmark::Counter::kAvgIterations);
    sqlite3_finalize(remove);
    sqlite3_finalize(remove_goods);
    sqlite3_close(db);
}
BENCHMARK(SqliteCascadingDelete)
    ->ArgName("two_files")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(2.0);

} // namespace
} // namespace tavemon

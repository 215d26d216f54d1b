// Single-record commits on a disk file, QVD beside SQLite, with the program's
// Customer file (68-byte records, five keys) pre-filled with generated records:
//
//   Qvd_AddCommit / Qvd_PutCommit     one ADD, or one GET by CUS:ByID and PUT
//                                     of new phone and suburb, per commit
//   Sqlite_InsertCommit / _UpdateCommit  one INSERT, or one UPDATE of phone
//                                     and suburb, per transaction; in
//                                     rollback-journal mode (journal_mode=DELETE)
//                                     and in WAL mode, both synchronous=FULL
//   Paired_Commits/insert, /update    QVD, SQLite rollback and SQLite WAL
//                                     commit in turn, one each per iteration,
//                                     so that their times and the ratios
//                                     between them come from the same disk
//   *WithReaders/readers:K            the same inserts while K threads, each
//                                     with its own open of the file, read
//                                     random records by name
//
// Every commit waits on the disk, so times are by the clock (UseRealTime).
// The I/O counters come from the system calls themselves: this program
// defines fdatasync, fsync, pwrite, pread and ftruncate, counts each call and
// passes it to the kernel, so both engines are counted the same way
// (syncs/commit, sync_us/commit: the time spent waiting in them, writes, KB
// written, reads and truncations per commit).
//
// The files live in $MORVEX_BENCH_DIR, else the temporary directory; a
// directory in memory (tmpfs) is refused, since its flushes cost nothing.
// MORVEX_COMMIT_BENCH_RECORDS sets the pre-filled records (default 10,000),
// MORVEX_COMMIT_BENCH_SECONDS the least time per benchmark (default 1).
#include "bench/customer_bench_data.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_entries.h"
#include "files/qvd/qvd_store.h"
#include "runtime/error_state.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <linux/magic.h>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct SyscallCounts {
    std::atomic<uint64_t> syncs{0};
    std::atomic<uint64_t> sync_ns{0}; // time spent waiting in them
    std::atomic<uint64_t> writes{0};
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> reads{0};
    std::atomic<uint64_t> truncates{0};
};

SyscallCounts g_calls;

void count_write(ssize_t result) {
    g_calls.writes.fetch_add(1, std::memory_order_relaxed);
    if (result > 0)
        g_calls.written.fetch_add(static_cast<uint64_t>(result), std::memory_order_relaxed);
}

int timed_sync(long call, int fd) {
    const auto start = std::chrono::steady_clock::now();
    const int result = static_cast<int>(::syscall(call, fd));
    const auto waited = std::chrono::steady_clock::now() - start;
    g_calls.syncs.fetch_add(1, std::memory_order_relaxed);
    g_calls.sync_ns.fetch_add(static_cast<uint64_t>(std::chrono::nanoseconds(waited).count()),
                              std::memory_order_relaxed);
    return result;
}

} // namespace

// The counted system calls. The C library's wrappers are bypassed, so these
// go straight to the kernel as the library would send them.
extern "C" {

int fdatasync(int fd) {
    return timed_sync(SYS_fdatasync, fd);
}

int fsync(int fd) {
    return timed_sync(SYS_fsync, fd);
}

ssize_t pwrite(int fd, const void* buffer, size_t length, off_t offset) {
    const ssize_t result = ::syscall(SYS_pwrite64, fd, buffer, length, offset);
    count_write(result);
    return result;
}

ssize_t pwrite64(int fd, const void* buffer, size_t length, off64_t offset) {
    const ssize_t result = ::syscall(SYS_pwrite64, fd, buffer, length, offset);
    count_write(result);
    return result;
}

ssize_t pread(int fd, void* buffer, size_t length, off_t offset) {
    g_calls.reads.fetch_add(1, std::memory_order_relaxed);
    return ::syscall(SYS_pread64, fd, buffer, length, offset);
}

ssize_t pread64(int fd, void* buffer, size_t length, off64_t offset) {
    g_calls.reads.fetch_add(1, std::memory_order_relaxed);
    return ::syscall(SYS_pread64, fd, buffer, length, offset);
}

int ftruncate(int fd, off_t length) noexcept {
    g_calls.truncates.fetch_add(1, std::memory_order_relaxed);
    return static_cast<int>(::syscall(SYS_ftruncate, fd, length));
}

} // extern "C"

namespace {

using namespace morvex;
using namespace morvex::bench;
using tavemon::CustomerRecord;

int64_t env_number(const char* name, int64_t fallback) {
    const char* text = std::getenv(name);
    const long long value = text ? std::atoll(text) : 0;
    return value > 0 ? value : fallback;
}

int64_t record_count() {
    static const int64_t count = env_number("MORVEX_COMMIT_BENCH_RECORDS", 10'000);
    return count;
}

double min_seconds() {
    return static_cast<double>(env_number("MORVEX_COMMIT_BENCH_SECONDS", 1));
}

// A directory of its own, removed at exit after every file in it is closed.
struct ScratchDir {
    std::filesystem::path path;
    bool in_memory = false;
    ScratchDir() {
        const char* chosen = std::getenv("MORVEX_BENCH_DIR");
        const std::filesystem::path root =
            chosen ? std::filesystem::path(chosen) : std::filesystem::temp_directory_path();
        path = root / ("qvd_commit_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        struct statfs fs {};
        in_memory =
            ::statfs(path.c_str(), &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const ScratchDir& scratch() {
    static const ScratchDir dir;
    return dir;
}

bool on_disk(benchmark::State& state) {
    if (!scratch().in_memory)
        return true;
    state.SkipWithError("the scratch directory is in memory; set MORVEX_BENCH_DIR to a directory on disk");
    return false;
}

// The system calls of the timed loop, per commit.
class CallCounter {
public:
    CallCounter() { m_start = snapshot(); }
    void report(benchmark::State& state) const {
        const Snapshot end = snapshot();
        const double commits = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
        state.counters["syncs/commit"] = static_cast<double>(end.syncs - m_start.syncs) / commits;
        state.counters["sync_us/commit"] = static_cast<double>(end.sync_ns - m_start.sync_ns) / 1e3 / commits;
        state.counters["writes/commit"] = static_cast<double>(end.writes - m_start.writes) / commits;
        state.counters["KB_written/commit"] =
            static_cast<double>(end.written - m_start.written) / 1024.0 / commits;
        state.counters["reads/commit"] = static_cast<double>(end.reads - m_start.reads) / commits;
        state.counters["truncates/commit"] = static_cast<double>(end.truncates - m_start.truncates) / commits;
    }

private:
    struct Snapshot {
        uint64_t syncs, sync_ns, writes, written, reads, truncates;
    };
    static Snapshot snapshot() {
        return {g_calls.syncs.load(),   g_calls.sync_ns.load(), g_calls.writes.load(),
                g_calls.written.load(), g_calls.reads.load(),   g_calls.truncates.load()};
    }
    Snapshot m_start;
};

// The n-th update, the same in both engines: the record it changes and the
// phone and suburb it gives it.
std::string updated_phone(uint32_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "555 %07u", mix_bits(n ^ 0x5bd1e995U) % 10'000'000);
    return text;
}
std::string updated_suburb(uint32_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "Suburb %03u", (n * 7) % 200);
    return text;
}
int32_t updated_id(uint32_t n) {
    return static_cast<int32_t>(mix_bits(n) % record_count()) + 1;
}

// ---- readers beside the committing thread ----

struct ReaderTally {
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> reads{0};
    std::atomic<uint64_t> busy{0};     // SQLite: reads refused as busy and tried again
    std::atomic<uint64_t> failures{0}; // a read that found nothing, or an open that failed
};

// Starts `count` readers, runs the timed commits, stops the readers and gives
// reads/s and commits/s by the clock of the timed loop.
template <typename Reader, typename Commit>
void run_with_readers(benchmark::State& state, int count, Reader reader, Commit commit) {
    ReaderTally tally;
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back([&, t] { reader(static_cast<uint32_t>(t) * 0x9e3779b9U, tally); });
    // Counted from the first commit on, when the readers are under way.
    auto start = std::chrono::steady_clock::now();
    uint64_t reads_before = 0;
    bool first = true;
    for (auto _ : state) {
        if (first) {
            start = std::chrono::steady_clock::now();
            reads_before = tally.reads.load();
            first = false;
        }
        if (!commit())
            break;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const uint64_t reads = tally.reads.load() - reads_before;
    tally.stop = true;
    for (std::thread& thread : threads)
        thread.join();
    if (tally.failures.load() != 0)
        state.SkipWithError("a reader failed to open the file or to find a record");
    state.counters["commits/s"] = static_cast<double>(state.iterations()) / seconds;
    state.counters["reads/s"] = static_cast<double>(reads) / seconds;
    state.counters["busy_retries/s"] = static_cast<double>(tally.busy.load()) / seconds;
    state.SetItemsProcessed(state.iterations());
}

// ---- QVD ----

struct QvdSide {
    CustomerRecord buffer{};
    std::unique_ptr<FileDeclaration> file;
    std::string path;

    QvdSide() {
        file = std::make_unique<FileDeclaration>(tavemon::CustomerSpec(QvdDriver, &buffer));
        file->options.name = (scratch().path / "Customer.QVD").string();
        path = file->options.name;
    }
};

QvdSide& qvd() {
    static QvdSide side;
    return side;
}

// A fresh file with the pre-filled records (one transaction), then opened
// for the benchmark to write while others may read.
bool open_prefilled_qvd(benchmark::State& state) {
    QvdSide& side = qvd();
    FileDeclaration& file = *side.file;
    std::filesystem::remove(side.path);
    CREATE(file);
    if (failed(state, "CREATE"))
        return false;
    OPEN(file, AccessReadWrite | ShareDenyAll);
    if (failed(state, "OPEN"))
        return false;
    LOGOUT(file);
    const bool transaction = ErrorCode() == 0;
    for (int64_t i = 0; i < record_count(); ++i) {
        side.buffer = generated_customer(i);
        ADD(file);
        if (failed(state, "ADD"))
            return false;
    }
    if (transaction) {
        COMMIT(file);
        if (failed(state, "COMMIT"))
            return false;
    }
    CLOSE(file);
    OPEN(file, AccessReadWrite | ShareDenyNone);
    return !failed(state, "OPEN");
}

bool qvd_add(int64_t i) {
    qvd().buffer = generated_customer(i);
    ADD(*qvd().file);
    return ErrorCode() == 0;
}

void Qvd_AddCommit(benchmark::State& state) {
    if (!on_disk(state) || !open_prefilled_qvd(state))
        return;
    int64_t next = record_count();
    const CallCounter calls;
    for (auto _ : state) {
        if (!qvd_add(next++)) {
            failed(state, "ADD");
            break;
        }
    }
    calls.report(state);
    CLOSE(*qvd().file);
    state.SetItemsProcessed(state.iterations());
}

// The n-th update: GET by CUS:ByID, new phone and suburb, PUT.
bool qvd_put(benchmark::State& state, uint32_t n) {
    QvdSide& side = qvd();
    side.buffer.CUSID = updated_id(n);
    GET(*side.file, *side.file->key(5));
    if (failed(state, "GET"))
        return false;
    side.buffer.PHONE.assign(updated_phone(n));
    side.buffer.SUBURB.assign(updated_suburb(n));
    PUT(*side.file);
    return !failed(state, "PUT");
}

void Qvd_PutCommit(benchmark::State& state) {
    if (!on_disk(state) || !open_prefilled_qvd(state))
        return;
    uint32_t n = 0;
    const CallCounter calls;
    for (auto _ : state) {
        if (!qvd_put(state, n++))
            break;
    }
    calls.report(state);
    CLOSE(*qvd().file);
    state.SetItemsProcessed(state.iterations());
}

// CUS:ByName as the driver stores it (the driver derives the same from the
// declaration when it opens the file).
// A reader with its own Store: the CUS:ByName entry of a random record, then
// the record it names, as a GET by that key reads them.
void qvd_reader(const std::string& path, const qvd::KeyIndex& by_name, uint32_t seed, ReaderTally& tally) {
    qvd::StoreOptions options;
    options.mode = qvd::OpenMode::ReadOnly;
    int32_t error = 0;
    std::unique_ptr<qvd::Store> store = qvd::Store::Open(path, options, error);
    const std::optional<uint32_t> table = store ? store->FindTable(qvd::DefaultTableName) : std::nullopt;
    if (!table) {
        tally.failures++;
        return;
    }
    for (uint32_t n = seed; !tally.stop.load(std::memory_order_relaxed); ++n) {
        const int64_t i = mix_bits(n) % record_count();
        const CustomerRecord wanted = generated_customer(i);
        const qvd::Bytes key = qvd::KeyValueKey(*table, by_name, reinterpret_cast<const uint8_t*>(&wanted));
        const std::optional<qvd::Bytes> holder = store->Get(key);
        const std::optional<qvd::Bytes> image =
            holder && holder->size() == 4
                ? store->Get(qvd::RecordEntryKey(*table, qvd::ReadBigEndian32(holder->data())))
                : std::nullopt;
        if (!image) {
            tally.failures++;
            return;
        }
        tally.reads.fetch_add(1, std::memory_order_relaxed);
    }
}

void Qvd_AddWithReaders(benchmark::State& state) {
    if (!on_disk(state) || !open_prefilled_qvd(state))
        return;
    const qvd::KeyIndex by_name = qvd::KeyIndexOf(*qvd().file, 1);
    const std::string path = qvd().path;
    int64_t next = record_count();
    run_with_readers(
        state, static_cast<int>(state.range(0)),
        [&](uint32_t seed, ReaderTally& tally) { qvd_reader(path, by_name, seed, tally); },
        [&] {
            if (qvd_add(next++))
                return true;
            failed(state, "ADD");
            return false;
        });
    CLOSE(*qvd().file);
}

// ---- SQLite ----

enum class Journal { Rollback, Wal };

constexpr int BusyTimeoutMs = 10'000;

struct Database {
    sqlite3* db = nullptr;
    Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database() { sqlite3_close(db); }
};

struct Statement {
    sqlite3_stmt* statement = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement, nullptr); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement); }
};

std::string sqlite_path(Journal journal) {
    return (scratch().path / (journal == Journal::Wal ? "customer_wal.sqlite" : "customer_rollback.sqlite"))
        .string();
}

const char* journal_pragmas(Journal journal) {
    return journal == Journal::Wal ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                                   : "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;";
}

// A fresh database with the pre-filled rows (one transaction), left open on
// `side` for the benchmark to write.
bool open_prefilled_sqlite(benchmark::State& state, Journal journal, Database& side) {
    const std::string path = sqlite_path(journal);
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(path + suffix);
    if (sqlite3_open(path.c_str(), &side.db) != SQLITE_OK) {
        state.SkipWithError("cannot open the SQLite database");
        return false;
    }
    sqlite3_busy_timeout(side.db, BusyTimeoutMs);
    if (!exec(state, side.db, journal_pragmas(journal)) || !exec(state, side.db, CustomerTableSql) ||
        !exec(state, side.db, "BEGIN;"))
        return false;
    {
        Statement insert(side.db, "INSERT INTO customer VALUES(?1, ?2, ?3, ?4, ?5)");
        for (int64_t i = 0; i < record_count(); ++i) {
            bind_customer(insert.statement, generated_customer(i));
            if (sqlite3_step(insert.statement) != SQLITE_DONE) {
                state.SkipWithError(sqlite3_errmsg(side.db));
                return false;
            }
            sqlite3_reset(insert.statement);
        }
    }
    return exec(state, side.db, "COMMIT;") &&
           (journal == Journal::Rollback || exec(state, side.db, "PRAGMA wal_checkpoint(TRUNCATE);"));
}

bool step_done(benchmark::State& state, sqlite3* db, sqlite3_stmt* statement) {
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result == SQLITE_DONE)
        return true;
    state.SkipWithError(sqlite3_errmsg(db));
    return false;
}

constexpr const char* InsertSql = "INSERT INTO customer VALUES(?1, ?2, ?3, ?4, ?5)";
constexpr const char* UpdateSql = "UPDATE customer SET phone = ?2, suburb = ?3 WHERE cusid = ?1";

bool sqlite_insert(benchmark::State& state, sqlite3* db, sqlite3_stmt* insert, int64_t i) {
    bind_customer(insert, generated_customer(i));
    return step_done(state, db, insert);
}

// The n-th update, the same change as qvd_put's.
bool sqlite_update(benchmark::State& state, sqlite3* db, sqlite3_stmt* update, uint32_t n) {
    const std::string phone = updated_phone(n);
    const std::string suburb = updated_suburb(n);
    sqlite3_bind_int(update, 1, updated_id(n));
    sqlite3_bind_text(update, 2, phone.data(), static_cast<int>(phone.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(update, 3, suburb.data(), static_cast<int>(suburb.size()), SQLITE_TRANSIENT);
    if (!step_done(state, db, update))
        return false;
    if (sqlite3_changes(db) == 1)
        return true;
    state.SkipWithError("the update changed no row");
    return false;
}

void Sqlite_InsertCommit(benchmark::State& state, Journal journal) {
    Database side;
    if (!on_disk(state) || !open_prefilled_sqlite(state, journal, side))
        return;
    Statement insert(side.db, InsertSql);
    int64_t next = record_count();
    const CallCounter calls;
    for (auto _ : state) {
        if (!sqlite_insert(state, side.db, insert.statement, next++))
            break;
    }
    calls.report(state);
    state.SetItemsProcessed(state.iterations());
}

void Sqlite_UpdateCommit(benchmark::State& state, Journal journal) {
    Database side;
    if (!on_disk(state) || !open_prefilled_sqlite(state, journal, side))
        return;
    Statement update(side.db, UpdateSql);
    uint32_t n = 0;
    const CallCounter calls;
    for (auto _ : state) {
        if (!sqlite_update(state, side.db, update.statement, n++))
            break;
    }
    calls.report(state);
    state.SetItemsProcessed(state.iterations());
}

// A reader with its own connection: a random row by name. A read refused as
// busy (the writer holds the database in rollback mode) is tried again.
void sqlite_reader(const std::string& path, uint32_t seed, ReaderTally& tally) {
    Database reader;
    if (sqlite3_open_v2(path.c_str(), &reader.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        tally.failures++;
        return;
    }
    sqlite3_busy_timeout(reader.db, BusyTimeoutMs);
    Statement select(reader.db, "SELECT cusid, name, suburb, phone, startdate FROM customer WHERE name = ?1");
    for (uint32_t n = seed; !tally.stop.load(std::memory_order_relaxed); ++n) {
        const int64_t i = mix_bits(n) % record_count();
        const std::string name = clipped(generated_customer(i).NAME.view());
        sqlite3_bind_text(select.statement, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        int result = sqlite3_step(select.statement);
        while (result == SQLITE_BUSY && !tally.stop.load(std::memory_order_relaxed)) {
            tally.busy++;
            sqlite3_reset(select.statement);
            result = sqlite3_step(select.statement);
        }
        const bool found = result == SQLITE_ROW && sqlite3_column_int(select.statement, 0) == i + 1;
        if (found)
            benchmark::DoNotOptimize(sqlite3_column_text(select.statement, 2));
        sqlite3_reset(select.statement);
        if (!found && result != SQLITE_BUSY) {
            tally.failures++;
            return;
        }
        if (found)
            tally.reads.fetch_add(1, std::memory_order_relaxed);
    }
}

void Sqlite_InsertWithReaders(benchmark::State& state, Journal journal) {
    Database side;
    if (!on_disk(state) || !open_prefilled_sqlite(state, journal, side))
        return;
    Statement insert(side.db, InsertSql);
    const std::string path = sqlite_path(journal);
    int64_t next = record_count();
    run_with_readers(
        state, static_cast<int>(state.range(0)),
        [&](uint32_t seed, ReaderTally& tally) { sqlite_reader(path, seed, tally); },
        [&] { return sqlite_insert(state, side.db, insert.statement, next++); });
}

// ---- the three engines in turn ----

enum class Change { Insert, Update };

// One commit of each engine per iteration, in rotating order, so that all
// three meet the same disk: the flushes of other programs on the machine can
// make one flush cost anything from 0.1 to 4 ms from one second to the next,
// which runs minutes apart cannot compare. Counters: each engine's time and
// syncs per commit, and the QVD time over each SQLite mode's.
void Paired_Commits(benchmark::State& state, Change change) {
    Database rollback;
    Database wal;
    if (!on_disk(state) || !open_prefilled_qvd(state) ||
        !open_prefilled_sqlite(state, Journal::Rollback, rollback) ||
        !open_prefilled_sqlite(state, Journal::Wal, wal))
        return;
    const char* sql = change == Change::Insert ? InsertSql : UpdateSql;
    Statement rollback_statement(rollback.db, sql);
    Statement wal_statement(wal.db, sql);
    auto commit = [&](uint32_t engine, uint32_t n) {
        const int64_t new_record = record_count() + n;
        if (engine == 0 && change == Change::Insert)
            return qvd_add(new_record) || !failed(state, "ADD");
        if (engine == 0)
            return qvd_put(state, n);
        Database& db = engine == 1 ? rollback : wal;
        sqlite3_stmt* statement = engine == 1 ? rollback_statement.statement : wal_statement.statement;
        return change == Change::Insert ? sqlite_insert(state, db.db, statement, new_record)
                                        : sqlite_update(state, db.db, statement, n);
    };
    struct Tally {
        std::chrono::steady_clock::duration time{};
        uint64_t syncs = 0;
    };
    Tally tallies[3]; // QVD, SQLite rollback, SQLite WAL
    uint32_t n = 0;
    bool ok = true;
    for (auto _ : state) {
        for (uint32_t k = 0; k < 3 && ok; ++k) {
            const uint32_t engine = (n + k) % 3;
            const uint64_t syncs = g_calls.syncs.load();
            const auto start = std::chrono::steady_clock::now();
            ok = commit(engine, n);
            tallies[engine].time += std::chrono::steady_clock::now() - start;
            tallies[engine].syncs += g_calls.syncs.load() - syncs;
        }
        if (!ok)
            break;
        ++n;
    }
    CLOSE(*qvd().file);
    const double commits = std::max<double>(n, 1);
    auto us = [&](int engine) {
        return std::chrono::duration<double, std::micro>(tallies[engine].time).count() / commits;
    };
    state.counters["qvd_us"] = us(0);
    state.counters["rollback_us"] = us(1);
    state.counters["wal_us"] = us(2);
    state.counters["qvd/rollback"] = us(0) / us(1);
    state.counters["qvd/wal"] = us(0) / us(2);
    state.counters["qvd_syncs"] = static_cast<double>(tallies[0].syncs) / commits;
    state.counters["rollback_syncs"] = static_cast<double>(tallies[1].syncs) / commits;
    state.counters["wal_syncs"] = static_cast<double>(tallies[2].syncs) / commits;
}

// Each benchmark starts from a freshly pre-filled file (untimed).
BENCHMARK(Qvd_AddCommit)->UseRealTime()->MinTime(min_seconds())->Unit(benchmark::kMicrosecond);
BENCHMARK(Qvd_PutCommit)->UseRealTime()->MinTime(min_seconds())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sqlite_InsertCommit, rollback, Journal::Rollback)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sqlite_UpdateCommit, rollback, Journal::Rollback)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sqlite_InsertCommit, wal, Journal::Wal)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sqlite_UpdateCommit, wal, Journal::Wal)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Paired_Commits, insert, Change::Insert)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Paired_Commits, update, Change::Update)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(Qvd_AddWithReaders)
    ->ArgName("readers")
    ->Arg(2)
    ->Arg(4)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sqlite_InsertWithReaders, rollback, Journal::Rollback)
    ->ArgName("readers")
    ->Arg(2)
    ->Arg(4)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Sqlite_InsertWithReaders, wal, Journal::Wal)
    ->ArgName("readers")
    ->Arg(2)
    ->Arg(4)
    ->UseRealTime()
    ->MinTime(min_seconds())
    ->Unit(benchmark::kMicrosecond);

} // namespace

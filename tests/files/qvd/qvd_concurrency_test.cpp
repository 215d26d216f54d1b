// Several real processes on one QVD file at once, for a bounded time:
// - through the driver, writers that insert, update and delete items and keep
//   a control record (running total, count, number of transactions) in step
//   in the same single-file transaction, some holding the control record and
//   some watching it (retrying on 89), while readers scan; afterwards the
//   control record must match the items and every writer's own log of what it
//   committed, and the container must check clean; the same with writers
//   killed at random moments (inside transactions and commits) meanwhile;
// - through the container, a writer that had read the file before another
//   process died half way through a commit, and then writes;
// - through the driver, one process moving a record's key value while another
//   reads by that key: every record read stands where its key entry does;
// - through the container, a writer that puts and erases a batch of entries
//   interleaved with existing ones (one commit each, many pages rewritten and
//   moved), while readers must see either the whole batch or none of it.
//
// MORVEX_CONCURRENCY_PROCESSES (2 to 8, default 4) and
// MORVEX_CONCURRENCY_SECONDS (default 3) make a longer soak run.
#include "files/driver.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_store.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tests/files/qvd/worker_processes.h"
#include "tests/support/child_process.h"
#include "tests/support/crash_file_io.h"
#include "tests/support/temp_directory.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <random>
#include <signal.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace morvex::qvd {
namespace {

namespace fs = std::filesystem;

int env_number(const char* name, int fallback, int low, int high) {
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    return std::clamp(std::atoi(text), low, high);
}

int process_count() {
    return env_number("MORVEX_CONCURRENCY_PROCESSES", 4, 2, 8);
}

int run_seconds() {
    return env_number("MORVEX_CONCURRENCY_SECONDS", 3, 1, 24 * 3600);
}

// ---------------------------------------------------------------------------
// Driver level: a ledger of items and one control record.

// Record 0 is the control record: AMOUNT the sum of the items' amounts, COUNT
// the number of items, SEQ the number of committed transactions. Items have
// ids 1..ItemIds; SEQ counts their updates. CHECK and TEXT repeat the other
// fields, so a torn or mixed-up record shows.
constexpr int32_t ControlId = 0;
constexpr int32_t ItemIds = 48;
constexpr int32_t InitialItems = 20;

struct Row {
    int32_t id = 0;
    int32_t amount = 0;
    int32_t count = 0;
    int32_t seq = 0;
};

int32_t row_check(const Row& row) {
    uint32_t h = 2166136261u;
    for (int32_t v : {row.id, row.amount, row.count, row.seq})
        h = (h ^ static_cast<uint32_t>(v)) * 16777619u;
    return static_cast<int32_t>(h);
}

std::string row_text(const Row& row) {
    char text[21];
    std::snprintf(text, sizeof text, "L%d:%d:%d", row.id, row.amount, row.seq);
    std::string padded(text);
    padded.resize(20, ' ');
    return padded;
}

class Ledger {
public:
    explicit Ledger(const std::string& name)
        : file(FileSpec{
              .label = "LEDGER",
              .driver = QvdDriver,
              .record = RecordDescription(40,
                                          {
                                              FieldDescription::Of(FieldType::Long, "LED:ID", 0),
                                              FieldDescription::Of(FieldType::Long, "LED:AMOUNT", 4),
                                              FieldDescription::Of(FieldType::Long, "LED:COUNT", 8),
                                              FieldDescription::Of(FieldType::Long, "LED:SEQ", 12),
                                              FieldDescription::Of(FieldType::Long, "LED:CHECK", 16),
                                              FieldDescription::Sized(FieldType::String, "LED:TEXT", 20, 20),
                                          }),
              .keys = {{.label = "LED:BYID", .attributes = KeyPrimary, .components = {1}},
                       {.label = "LED:BYAMOUNT", .attributes = KeyDup, .components = {2}}},
              .options = {.name = name}}) {}

    KeyDeclaration& by_id() { return *file.key(1); }
    KeyDeclaration& by_amount() { return *file.key(2); }

    void store(const Row& row) {
        uint8_t* b = file.buffer();
        const int32_t check = row_check(row);
        std::memcpy(b, &row.id, 4);
        std::memcpy(b + 4, &row.amount, 4);
        std::memcpy(b + 8, &row.count, 4);
        std::memcpy(b + 12, &row.seq, 4);
        std::memcpy(b + 16, &check, 4);
        std::memcpy(b + 20, row_text(row).data(), 20);
    }
    Row row() {
        Row row;
        const uint8_t* b = file.buffer();
        std::memcpy(&row.id, b, 4);
        std::memcpy(&row.amount, b + 4, 4);
        std::memcpy(&row.count, b + 8, 4);
        std::memcpy(&row.seq, b + 12, 4);
        return row;
    }
    // The record in the buffer is whole and plausible.
    bool well_formed() {
        const Row r = row();
        int32_t check;
        std::memcpy(&check, file.buffer() + 16, 4);
        if (check != row_check(r) || std::memcmp(file.buffer() + 20, row_text(r).data(), 20) != 0)
            return false;
        if (r.id == ControlId)
            return r.count >= 0 && r.count <= ItemIds && r.amount >= 0 && r.seq >= 0;
        return r.id > 0 && r.id <= ItemIds && r.amount > 0 && r.amount <= 1000 && r.seq >= 0;
    }
    // Reads the record with this id (holding it when `hold_seconds` >= 0,
    // watching it when `watch`); the error code.
    int32_t get(int32_t id, int hold_seconds = -1, bool watch = false) {
        file.clear_record();
        std::memcpy(file.buffer(), &id, 4);
        if (hold_seconds >= 0)
            CallDriver(DriverOperation::HoldFileSec, file, hold_seconds);
        if (watch)
            WATCH(file);
        GET(file, by_id());
        return ErrorCode();
    }
    void release() { CallDriver(DriverOperation::Release, file); }

    FileDeclaration file;
};

enum LedgerTally {
    Transactions, // committed
    TotalDelta,   // sum of the amounts the committed transactions added
    CountDelta,   // items the committed transactions added, less those they deleted
    Adds,
    Updates,
    Deletes,
    WatchConflicts, // PUT of the watched control record answered 89
    HeldElsewhere,  // a read or change answered 43
    Duplicates,     // ADD of an id that exists
    Vanished,       // the item to change was gone
    Stale,          // the item changed between the read before LOGOUT and the transaction
    LogoutRefused,
    RecordsRead, // by scans
    Scans,
};

enum class Change { Add, Update, Delete };

// One reading pass over the ledger in one order (record order, by id, by
// amount), checking every record it reads and, by id, that ids ascend
// strictly; records held elsewhere are stepped over. (Amounts change under
// a scan by amount; that order is the key-read tests' subject below.)
void scan(Ledger& l, int order, Report& report) {
    if (order == 0)
        SET(l.file);
    else
        SET(order == 1 ? l.by_id() : l.by_amount());
    int64_t previous = -1;
    for (int n = 0; n <= ItemIds + 1; ++n) {
        NEXT(l.file);
        const int32_t error = ErrorCode();
        if (error == ErrRecordNotAvailable) {
            ++report.tally[Scans];
            return;
        }
        if (error == ErrRecordAlreadyHeld) {
            ++report.tally[HeldElsewhere];
            continue;
        }
        if (error != 0)
            return fail(report, "scan in order %d: NEXT answered %d", order, error);
        if (!l.well_formed())
            return fail(report, "scan in order %d read a malformed record (id %d)", order, l.row().id);
        ++report.tally[RecordsRead];
        if (order == 1 && l.row().id <= previous)
            return fail(report, "scan by id went from %lld back to %d", static_cast<long long>(previous),
                        l.row().id);
        previous = l.row().id;
    }
    fail(report, "scan in order %d read more than %d records", order, ItemIds + 1);
}

void roll_back(Ledger& l) {
    ROLLBACK(l.file);
    l.release();
}

void committed(Ledger& l, Change change, int32_t delta, int32_t count_delta, Report& report) {
    COMMIT(l.file);
    const int32_t error = ErrorCode();
    l.release();
    if (error != 0)
        return fail(report, "COMMIT answered %d", error);
    ++report.tally[Transactions];
    report.tally[TotalDelta] += delta;
    report.tally[CountDelta] += count_delta;
    if (g_commit_log_fd >= 0)
        send_log(CommitLog{delta, count_delta, 0, {}});
    ++report.tally[change == Change::Add ? Adds : change == Change::Update ? Updates : Deletes];
}

// LOGOUT, then the item's change, then the control record read with a hold
// (waiting up to 2 seconds) and PUT, then COMMIT.
void change_holding_control(Ledger& l, Change change, int32_t id, int32_t amount, Report& report) {
    LOGOUT(l.file);
    if (ErrorCode() == ErrAccessDenied) {
        ++report.tally[LogoutRefused];
        return;
    }
    if (ErrorCode() != 0)
        return fail(report, "LOGOUT answered %d", ErrorCode());
    int32_t delta = amount;
    int32_t count_delta = 1;
    if (change == Change::Add) {
        l.store(Row{id, amount, 0, 0});
        ADD(l.file);
        if (ErrorCode() == ErrCreatesDuplicateKey) {
            ++report.tally[Duplicates];
            return roll_back(l);
        }
        if (ErrorCode() != 0)
            return fail(report, "ADD of item %d answered %d", id, ErrorCode());
    } else {
        const int32_t error = l.get(id, 2);
        if (error == ErrRecordNotFound || error == ErrRecordAlreadyHeld) {
            ++report.tally[error == ErrRecordNotFound ? Vanished : HeldElsewhere];
            return roll_back(l);
        }
        if (error != 0)
            return fail(report, "held GET of item %d answered %d", id, error);
        if (!l.well_formed())
            return fail(report, "item %d read malformed in a transaction", id);
        Row item = l.row();
        if (change == Change::Update) {
            delta = amount - item.amount;
            count_delta = 0;
            item.amount = amount;
            ++item.seq;
            l.store(item);
            PUT(l.file);
        } else {
            delta = -item.amount;
            count_delta = -1;
            DELETE(l.file);
        }
        if (ErrorCode() != 0)
            return fail(report, "%s of held item %d answered %d", change == Change::Update ? "PUT" : "DELETE",
                        id, ErrorCode());
    }
    const int32_t error = l.get(ControlId, 2);
    if (error == ErrRecordAlreadyHeld) {
        ++report.tally[HeldElsewhere];
        return roll_back(l);
    }
    if (error != 0)
        return fail(report, "held GET of the control record answered %d", error);
    if (!l.well_formed())
        return fail(report, "control record read malformed in a transaction");
    Row control = l.row();
    control.amount += delta;
    control.count += count_delta;
    ++control.seq;
    l.store(control);
    PUT(l.file);
    if (ErrorCode() != 0)
        return fail(report, "PUT of the held control record answered %d", ErrorCode());
    committed(l, change, delta, count_delta, report);
}

// The item (if it exists) read plainly and the control record read with
// WATCH before LOGOUT; inside the transaction the control record's PUT
// comes first and fails with 89 when another process committed in between.
// `again` is set when the change should be tried again: the control record
// was changed or held elsewhere, or the item changed before the LOGOUT.
void change_watching_control(Ledger& l, Change change, int32_t id, int32_t amount, Report& report,
                             bool& again) {
    again = false;
    Row item;
    if (change != Change::Add) {
        const int32_t error = l.get(id);
        if (error == ErrRecordNotFound || error == ErrRecordAlreadyHeld) {
            ++report.tally[error == ErrRecordNotFound ? Vanished : HeldElsewhere];
            return;
        }
        if (error != 0)
            return fail(report, "GET of item %d answered %d", id, error);
        if (!l.well_formed())
            return fail(report, "item %d read malformed", id);
        item = l.row();
    }
    const int32_t error = l.get(ControlId, -1, true);
    if (error == ErrRecordAlreadyHeld) {
        ++report.tally[HeldElsewhere];
        again = true;
        return;
    }
    if (error != 0)
        return fail(report, "watched GET of the control record answered %d", error);
    if (!l.well_formed())
        return fail(report, "control record read malformed");
    Row control = l.row();
    const int32_t delta = change == Change::Add      ? amount
                          : change == Change::Update ? amount - item.amount
                                                     : -item.amount;
    const int32_t count_delta = change == Change::Add ? 1 : change == Change::Update ? 0 : -1;

    LOGOUT(l.file);
    if (ErrorCode() == ErrAccessDenied) {
        ++report.tally[LogoutRefused];
        return;
    }
    if (ErrorCode() != 0)
        return fail(report, "LOGOUT answered %d", ErrorCode());
    control.amount += delta;
    control.count += count_delta;
    ++control.seq;
    l.store(control);
    PUT(l.file);
    if (ErrorCode() == ErrRecordChangedByAnotherStation || ErrorCode() == ErrRecordAlreadyHeld) {
        ++report.tally[ErrorCode() == ErrRecordChangedByAnotherStation ? WatchConflicts : HeldElsewhere];
        again = true;
        return roll_back(l);
    }
    if (ErrorCode() != 0)
        return fail(report, "PUT of the watched control record answered %d", ErrorCode());

    if (change == Change::Add) {
        l.store(Row{id, amount, 0, 0});
        ADD(l.file);
        if (ErrorCode() == ErrCreatesDuplicateKey) {
            ++report.tally[Duplicates];
            return roll_back(l);
        }
        if (ErrorCode() != 0)
            return fail(report, "ADD of item %d answered %d", id, ErrorCode());
        return committed(l, change, delta, count_delta, report);
    }
    const int32_t reread = l.get(id);
    if (reread == 35 || reread == 43) {
        ++report.tally[reread == 35 ? Vanished : HeldElsewhere];
        return roll_back(l);
    }
    if (reread != 0)
        return fail(report, "GET of item %d in a transaction answered %d", id, reread);
    Row now = l.row();
    if (now.amount != item.amount || now.seq != item.seq) {
        ++report.tally[Stale];
        again = true;
        return roll_back(l);
    }
    if (change == Change::Update) {
        now.amount = amount;
        ++now.seq;
        l.store(now);
        PUT(l.file);
    } else {
        DELETE(l.file);
    }
    if (ErrorCode() != 0)
        return fail(report, "%s of item %d in a transaction answered %d",
                    change == Change::Update ? "PUT" : "DELETE", id, ErrorCode());
    committed(l, change, delta, count_delta, report);
}

Report run_ledger_writer(const std::string& name, unsigned seed, Clock::time_point until) {
    Report report{};
    Ledger l(name);
    OPEN(l.file, AccessReadWrite | ShareDenyNone);
    if (ErrorCode() != 0) {
        fail(report, "OPEN answered %d", ErrorCode());
        return report;
    }
    std::mt19937 rng(seed);
    for (unsigned round = 0; Clock::now() < until && !failed(report); ++round) {
        const int pick = static_cast<int>(rng() % 100);
        const Change change = pick < 36 ? Change::Add : pick < 70 ? Change::Update : Change::Delete;
        const int32_t id = static_cast<int32_t>(1 + rng() % ItemIds);
        const int32_t amount = static_cast<int32_t>(1 + rng() % 1000);
        if (rng() % 2) {
            change_holding_control(l, change, id, amount, report);
        } else {
            // A few tries, each reading the item and the control record afresh.
            bool again = true;
            for (int attempt = 0; again && attempt < 5 && !failed(report); ++attempt)
                change_watching_control(l, change, id, amount, report, again);
        }
        if (round % 16 == 15 && !failed(report))
            scan(l, static_cast<int>(round / 16 % 3), report);
    }
    CLOSE(l.file);
    return report;
}

Report run_ledger_reader(const std::string& name, Clock::time_point until) {
    Report report{};
    Ledger l(name);
    OPEN(l.file, AccessReadOnly | ShareDenyNone);
    if (ErrorCode() != 0) {
        fail(report, "OPEN answered %d", ErrorCode());
        return report;
    }
    for (int round = 0; Clock::now() < until && !failed(report); ++round) {
        scan(l, round % 3, report);
        const int32_t error = l.get(ControlId);
        if (error == ErrRecordAlreadyHeld)
            ++report.tally[HeldElsewhere];
        else if (error != 0)
            fail(report, "GET of the control record answered %d", error);
        else if (!l.well_formed())
            fail(report, "control record read malformed");
        const int32_t records = RECORDS(l.file);
        if (records < 1 || records > ItemIds + 1)
            fail(report, "RECORDS answered %d", records);
    }
    CLOSE(l.file);
    return report;
}

class QvdConcurrencyTest : public ::testing::Test {
protected:
    static std::string describe(const std::vector<Report>& reports) {
        std::string text;
        for (size_t i = 0; i < reports.size(); ++i)
            if (failed(reports[i]))
                text += "worker " + std::to_string(i) + ": " + reports[i].failure + "\n";
        return text;
    }

    static void expect_clean_check(const std::string& path) {
        int32_t error = 0;
        StoreOptions options;
        options.mode = OpenMode::ReadOnly;
        std::unique_ptr<Store> store = Store::Open(path, options, error);
        ASSERT_TRUE(store) << "error " << error;
        const std::optional<std::string> problem = store->Check();
        EXPECT_FALSE(problem) << *problem;
    }

    testing::TempDirectory m_dir{"qvd_concurrency"};
};

// A ledger of InitialItems items and its control record; the items' total.
int64_t create_ledger(const std::string& name) {
    int64_t total = 0;
    Ledger setup(name);
    CREATE(setup.file);
    OPEN(setup.file, AccessReadWrite | ShareDenyNone);
    for (int32_t id = 1; id <= InitialItems && ErrorCode() == 0; ++id) {
        const int32_t amount = id * 37 % 1000 + 1;
        total += amount;
        setup.store(Row{id, amount, 0, 0});
        ADD(setup.file);
    }
    setup.store(Row{ControlId, static_cast<int32_t>(total), InitialItems, 0});
    ADD(setup.file);
    EXPECT_EQ(ErrorCode(), 0);
    CLOSE(setup.file);
    return total;
}

// What the ledger holds once every process is gone.
struct LedgerContents {
    std::optional<Row> control;
    int64_t items_total = 0;
    int64_t items = 0;
    int32_t records = 0;
    std::string problem; // a record read malformed, or an error
};

LedgerContents read_ledger(const std::string& name) {
    LedgerContents contents;
    Ledger l(name);
    OPEN(l.file, AccessReadOnly | ShareDenyNone);
    if (ErrorCode() != 0) {
        contents.problem = "OPEN answered " + std::to_string(ErrorCode());
        return contents;
    }
    SET(l.by_id());
    for (NEXT(l.file); ErrorCode() == 0 && contents.problem.empty(); NEXT(l.file)) {
        const Row row = l.row();
        if (!l.well_formed())
            contents.problem = "record " + std::to_string(row.id) + " is malformed";
        if (row.id == ControlId) {
            contents.control = row;
        } else {
            contents.items_total += row.amount;
            ++contents.items;
        }
    }
    if (contents.problem.empty() && ErrorCode() != ErrRecordNotAvailable)
        contents.problem = "NEXT answered " + std::to_string(ErrorCode());
    if (!contents.control)
        contents.problem += " (no control record)";
    contents.records = RECORDS(l.file);
    CLOSE(l.file);
    return contents;
}

// Writers and readers of the ledger; the readers are the last `readers`.
void start_ledger_workers(Workers& workers, const std::string& name, int writers, int readers,
                          Clock::time_point until) {
    for (int i = 0; i < writers + readers; ++i) {
        const bool reader = i >= writers;
        const unsigned seed = 7919u * static_cast<unsigned>(i + 1);
        ASSERT_TRUE(workers.start([&name, reader, seed, until] {
            return reader ? run_ledger_reader(name, until) : run_ledger_writer(name, seed, until);
        }));
    }
}

std::string tally_line(int processes, const Report& sum) {
    char line[400];
    std::snprintf(
        line, sizeof line,
        "%d processes: %lld transactions (%lld adds, %lld updates, %lld deletes), %lld watch conflicts, "
        "%lld held, %lld duplicates, %lld vanished, %lld stale, %lld scans",
        processes, static_cast<long long>(sum.tally[Transactions]), static_cast<long long>(sum.tally[Adds]),
        static_cast<long long>(sum.tally[Updates]), static_cast<long long>(sum.tally[Deletes]),
        static_cast<long long>(sum.tally[WatchConflicts]), static_cast<long long>(sum.tally[HeldElsewhere]),
        static_cast<long long>(sum.tally[Duplicates]), static_cast<long long>(sum.tally[Vanished]),
        static_cast<long long>(sum.tally[Stale]), static_cast<long long>(sum.tally[Scans]));
    return line;
}

// The tallies of all reports, expecting every writer to have committed and
// every reader to have finished a scan.
Report sum_of(const std::vector<Report>& reports, int writers) {
    Report sum{};
    for (size_t i = 0; i < reports.size(); ++i) {
        for (size_t t = 0; t < sum.tally.size(); ++t)
            sum.tally[t] += reports[i].tally[t];
        if (static_cast<int>(i) < writers)
            EXPECT_GT(reports[i].tally[Transactions], 0) << "writer " << i << " never committed";
        else
            EXPECT_GT(reports[i].tally[Scans], 0) << "reader " << i << " never finished a scan";
    }
    return sum;
}

TEST_F(QvdConcurrencyTest, WritersKeepTheControlRecordInStepWithTheItemsAndLoseNoCommit) {
    const std::string name = m_dir.file("ledger.qvd");
    const int64_t initial_total = create_ledger(name);
    ASSERT_FALSE(HasFailure());

    const int processes = process_count();
    const int readers = processes >= 6 ? 2 : 1;
    const int writers = processes - readers;
    const Clock::time_point until = Clock::now() + std::chrono::seconds(run_seconds());
    Workers workers;
    start_ledger_workers(workers, name, writers, readers, until);
    const std::vector<Report> reports = workers.collect(until + HangMargin);
    ASSERT_EQ(describe(reports), "");
    const Report sum = sum_of(reports, writers);
    std::printf("%s\n", tally_line(processes, sum).c_str());

    const LedgerContents ledger = read_ledger(name);
    ASSERT_EQ(ledger.problem, "");
    EXPECT_EQ(ledger.control->amount, ledger.items_total);
    EXPECT_EQ(ledger.control->count, ledger.items);
    EXPECT_EQ(ledger.records, ledger.items + 1);
    // Every committed transaction, and only those, is in the file.
    EXPECT_EQ(ledger.control->seq, sum.tally[Transactions]);
    EXPECT_EQ(ledger.control->amount, initial_total + sum.tally[TotalDelta]);
    EXPECT_EQ(ledger.control->count, InitialItems + sum.tally[CountDelta]);
    expect_clean_check(name);
}

// One writer after another is killed at a random moment, inside or outside
// its transaction or its commit, while the other writers and a reader go
// on: what a killed writer left half done must vanish or be completed by
// the next process, and the others must neither fail nor hang.
TEST_F(QvdConcurrencyTest, WritersKilledAtRandomLeaveNoHalfTransactionAndTheOthersCarryOn) {
    const std::string name = m_dir.file("ledger.qvd");
    create_ledger(name);
    ASSERT_FALSE(HasFailure());

    const int processes = process_count();
    const int writers = std::max(1, processes - 2);
    const Clock::time_point until = Clock::now() + std::chrono::seconds(run_seconds());
    Workers workers;
    start_ledger_workers(workers, name, writers, 1, until);

    int log[2];
    ASSERT_EQ(pipe(log), 0);
    std::vector<CommitLog> logged;
    // Takes what the killed writers logged, for up to `ms` milliseconds.
    auto drain = [&](int ms) {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            pollfd p{log[0], POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(std::max<int64_t>(left, 0))) != 1)
                return;
            CommitLog entry;
            if (read(log[0], &entry, sizeof entry) == static_cast<ssize_t>(sizeof entry))
                logged.push_back(entry);
        }
    };
    std::mt19937 rng(4099);
    int64_t kills = 0;
    for (unsigned victim = 1; Clock::now() < until; ++victim) {
        testing::ChildProcess writer([&] {
            close(log[0]);
            g_commit_log_fd = log[1];
            SetFatalErrorHook(report_fatal_error);
            ClearError();
            const Report report = run_ledger_writer(name, 15485863u * victim, until);
            if (failed(report)) {
                CommitLog entry{0, 0, 1, {}};
                std::memcpy(entry.failure, report.failure, sizeof entry.failure - 1);
                send_log(entry);
            }
            return failed(report) ? 1 : 0;
        });
        ASSERT_TRUE(writer.started());
        drain(static_cast<int>(20 + rng() % 230));
        if (!writer.ended()) {
            writer.kill();
            ++kills;
        }
    }
    drain(0);
    close(log[0]);
    close(log[1]);
    const std::vector<Report> reports = workers.collect(until + HangMargin);
    ASSERT_EQ(describe(reports), "");
    for (const CommitLog& entry : logged)
        ASSERT_EQ(entry.failed, 0) << "a killed writer failed first: " << entry.failure;
    const Report sum = sum_of(reports, writers);
    std::printf("%s; %lld writers killed, having logged %zu commits\n", tally_line(writers + 1, sum).c_str(),
                static_cast<long long>(kills), logged.size());

    const LedgerContents ledger = read_ledger(name);
    ASSERT_EQ(ledger.problem, "");
    EXPECT_EQ(ledger.control->amount, ledger.items_total);
    EXPECT_EQ(ledger.control->count, ledger.items);
    EXPECT_EQ(ledger.records, ledger.items + 1);
    // Each killed writer may have committed one transaction it did not live
    // to log; nothing logged may be missing.
    const int64_t committed = sum.tally[Transactions] + static_cast<int64_t>(logged.size());
    EXPECT_GE(ledger.control->seq, committed);
    EXPECT_LE(ledger.control->seq, committed + kills);
    expect_clean_check(name);
}

// ---------------------------------------------------------------------------
// Driver level: a read through a key answers a record that holds the key's
// value. One process keeps moving record 1's CODE between 1 and 3 (record 2
// keeps CODE 2); another reads by CODE and must never be handed record 1
// with a CODE other than the one its key entry stood for.

class Codes {
public:
    explicit Codes(const std::string& name)
        : file(
              FileSpec{.label = "CODES",
                       .driver = QvdDriver,
                       .record = RecordDescription(8, {FieldDescription::Of(FieldType::Long, "COD:ID", 0),
                                                       FieldDescription::Of(FieldType::Long, "COD:CODE", 4)}),
                       .keys = {{.label = "COD:BYID", .attributes = KeyPrimary, .components = {1}},
                                {.label = "COD:BYCODE", .components = {2}}},
                       .options = {.name = name}}) {}

    KeyDeclaration& by_id() { return *file.key(1); }
    KeyDeclaration& by_code() { return *file.key(2); }
    void set(int32_t id, int32_t code) {
        std::memcpy(file.buffer(), &id, 4);
        std::memcpy(file.buffer() + 4, &code, 4);
    }
    int32_t id() { return field(0); }
    int32_t code() { return field(4); }

    FileDeclaration file;

private:
    int32_t field(size_t offset) {
        int32_t value;
        std::memcpy(&value, file.buffer() + offset, 4);
        return value;
    }
};

// A short window for the key-read tests: the fault they guard against shows
// within a fraction of a second when present.
constexpr std::chrono::seconds KeyReadSeconds{1};

Report run_code_mover(const std::string& name, Clock::time_point until) {
    Report report{};
    Codes c(name);
    OPEN(c.file, AccessReadWrite | ShareDenyNone);
    c.set(1, 0);
    GET(c.file, c.by_id());
    if (ErrorCode() != 0) {
        fail(report, "GET of record 1 answered %d", ErrorCode());
        return report;
    }
    while (Clock::now() < until && !failed(report)) {
        c.set(1, c.code() == 1 ? 3 : 1);
        PUT(c.file);
        if (ErrorCode() != 0)
            fail(report, "PUT answered %d", ErrorCode());
        ++report.tally[0];
    }
    return report;
}

class QvdKeyReadTest : public QvdConcurrencyTest {
protected:
    void SetUp() override {
        QvdConcurrencyTest::SetUp();
        m_name = m_dir.file("codes.qvd");
        Codes setup(m_name);
        CREATE(setup.file);
        OPEN(setup.file, AccessReadWrite | ShareDenyNone);
        setup.set(1, 1);
        ADD(setup.file);
        setup.set(2, 2);
        ADD(setup.file);
        ASSERT_EQ(ErrorCode(), 0);
        CLOSE(setup.file);
        m_until = Clock::now() + KeyReadSeconds;
        const std::string name = m_name;
        const Clock::time_point until = m_until;
        ASSERT_TRUE(m_mover.start([name, until] { return run_code_mover(name, until); }));
    }

    // The mover's report, after it ends.
    void expect_mover_moved() {
        const std::vector<Report> reports = m_mover.collect(m_until + HangMargin);
        ASSERT_EQ(describe(reports), "");
        EXPECT_GT(reports[0].tally[0], 0);
    }

    std::string m_name;
    Clock::time_point m_until;
    Workers m_mover;
};

TEST_F(QvdKeyReadTest, GetByKeyAnswersOnlyARecordHoldingTheValueAskedFor) {
    Codes c(m_name);
    OPEN(c.file, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    int64_t found = 0;
    std::string wrong;
    while (Clock::now() < m_until && wrong.empty()) {
        for (const int32_t code : {1, 3}) {
            c.set(0, code);
            GET(c.file, c.by_code());
            if (ErrorCode() == 0 && c.code() != code)
                wrong = "GET by CODE " + std::to_string(code) + " answered record " + std::to_string(c.id()) +
                        " with CODE " + std::to_string(c.code());
            else if (ErrorCode() != 0 && ErrorCode() != ErrRecordNotFound)
                wrong = "GET by CODE answered " + std::to_string(ErrorCode());
            found += ErrorCode() == 0;
        }
    }
    EXPECT_EQ(wrong, "");
    EXPECT_GT(found, 0);
    expect_mover_moved();
}

TEST_F(QvdKeyReadTest, NextInKeyOrderNeverReadsARecordOutOfThatOrder) {
    Codes c(m_name);
    OPEN(c.file, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0);
    std::string wrong;
    while (Clock::now() < m_until && wrong.empty()) {
        SET(c.by_code());
        std::vector<int32_t> codes;
        for (NEXT(c.file); ErrorCode() == 0 && codes.size() < 3; NEXT(c.file))
            codes.push_back(c.code());
        // Record 1 may be read twice (moved ahead of the position) or not at
        // all (moved behind it), but every record read stands where its
        // entry does, so the codes ascend.
        if (ErrorCode() != ErrRecordNotAvailable || codes.empty() ||
            !std::is_sorted(codes.begin(), codes.end()) ||
            std::adjacent_find(codes.begin(), codes.end()) != codes.end()) {
            wrong = "NEXT by CODE read";
            for (int32_t code : codes)
                wrong += " " + std::to_string(code);
            wrong += " and answered " + std::to_string(ErrorCode());
        }
    }
    EXPECT_EQ(wrong, "");
    expect_mover_moved();
}

// ---------------------------------------------------------------------------
// Container level: whole batches or nothing.

constexpr uint32_t BaseEntries = 2000; // keys 'A' + even numbers, never changed
constexpr uint32_t OtherEntries = 200; // keys 'B' + number, never changed

Bytes numbered_key(uint8_t letter, uint32_t n) {
    return Bytes{letter, static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                 static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

uint32_t key_number(const Bytes& key) {
    return key.size() == 5
               ? (uint32_t{key[1]} << 24 | uint32_t{key[2]} << 16 | uint32_t{key[3]} << 8 | key[4])
               : ~0u;
}

// The batch's entries (odd numbers) alternate between a short and a long
// form from one batch to the next, so their pages change size class and the
// zones above them move; the base entries are of middling length.
size_t data_length(uint32_t n, bool long_form) {
    if (n % 2 == 0)
        return 60 + n % 90;
    return long_form ? 300 + n % 200 : 10 + n % 40;
}

uint8_t data_byte(uint32_t n, size_t i) {
    uint32_t h = (n * 2654435761u) ^ static_cast<uint32_t>(i * 40503u);
    h ^= h >> 13;
    return static_cast<uint8_t>(h * 0x5bd1e995u >> 24);
}

Bytes entry_data(uint32_t n, bool long_form) {
    Bytes data(data_length(n, long_form));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = data_byte(n, i);
    return data;
}

bool data_fits(uint32_t n, const Bytes& data) {
    if (data.size() != data_length(n, false) && data.size() != data_length(n, true))
        return false;
    for (size_t i = 0; i < data.size(); ++i)
        if (data[i] != data_byte(n, i))
            return false;
    return true;
}

const Bytes PrefixA{'A'};
const Bytes PrefixB{'B'};

enum StoreTally { Commits, SawBefore, SawAfter, Walks, Probes };

Report run_batch_writer(const std::string& path, Clock::time_point until) {
    Report report{};
    CorruptionAsReturn as_return;
    int32_t error = 0;
    std::unique_ptr<Store> store = Store::Open(path, StoreOptions{}, error);
    if (!store) {
        fail(report, "open answered %d", error);
        return report;
    }
    for (unsigned batch = 0; Clock::now() < until && !failed(report); ++batch) {
        for (const bool put : {true, false}) {
            if (!store->Lock(0, LockMode::Writer, true)) {
                fail(report, "writer byte refused");
                break;
            }
            for (uint32_t n = 1; n < 2 * BaseEntries; n += 2) {
                if (put)
                    store->Put(numbered_key('A', n), entry_data(n, batch % 2 == 1));
                else if (!store->Erase(numbered_key('A', n)))
                    fail(report, "batch entry %u was missing when erased", n);
            }
            const int32_t result = store->Commit();
            store->Unlock(0, LockMode::Writer);
            if (result != 0 || store->LastCorruption() != 0) {
                fail(report, "commit answered %d (corruption %d)", result, store->LastCorruption());
                break;
            }
            ++report.tally[Commits];
            const uint64_t count = store->Count(PrefixA);
            if (count != (put ? 2 : 1) * BaseEntries)
                fail(report, "the writer counts %llu entries after its commit",
                     static_cast<unsigned long long>(count));
        }
    }
    return report;
}

// Every entry of the batch's prefix in order, which must be well formed and
// include every base entry (the batch's own come and go between the Seeks).
void walk(Store& store, Report& report) {
    uint32_t evens = 0;
    uint32_t previous = 0;
    bool first = true;
    for (std::optional<Entry> e = store.Seek(PrefixA, SeekMode::AtOrAfter, PrefixA); e;
         e = store.Seek(e->key, SeekMode::After, PrefixA)) {
        const uint32_t n = key_number(e->key);
        if (n >= 2 * BaseEntries || (!first && n <= previous) || !data_fits(n, e->data))
            return fail(report, "walk read entry %u after %u (%zu data bytes)", n, previous, e->data.size());
        evens += n % 2 == 0;
        previous = n;
        first = false;
    }
    if (store.LastCorruption() != 0)
        return fail(report, "walk met corruption %d", store.LastCorruption());
    if (evens != BaseEntries)
        fail(report, "walk saw %u of the %u base entries", evens, BaseEntries);
    ++report.tally[Walks];
}

Report run_batch_reader(const std::string& path, size_t cache_bytes, unsigned seed, Clock::time_point until) {
    Report report{};
    CorruptionAsReturn as_return;
    int32_t error = 0;
    StoreOptions options;
    options.mode = OpenMode::ReadOnly;
    options.cache_bytes = cache_bytes;
    std::unique_ptr<Store> store = Store::Open(path, options, error);
    if (!store) {
        fail(report, "open answered %d", error);
        return report;
    }
    std::mt19937 rng(seed);
    for (unsigned round = 0; Clock::now() < until && !failed(report); ++round) {
        const uint64_t count = store->Count(PrefixA);
        if (store->LastCorruption() != 0) {
            fail(report, "Count met corruption %d", store->LastCorruption());
            break;
        }
        if (count == BaseEntries)
            ++report.tally[SawBefore];
        else if (count == 2 * BaseEntries)
            ++report.tally[SawAfter];
        else
            fail(report, "Count saw %llu entries, neither %u nor %u", static_cast<unsigned long long>(count),
                 BaseEntries, 2 * BaseEntries);
        const uint64_t others = store->Count(PrefixB);
        if (others != OtherEntries)
            fail(report, "Count of the untouched prefix saw %llu", static_cast<unsigned long long>(others));
        // One Seek for a batch entry finds it or the base entry just after it.
        const uint32_t n = 2 * static_cast<uint32_t>(rng() % (BaseEntries - 1)) + 1;
        const std::optional<Entry> e = store->Seek(numbered_key('A', n), SeekMode::AtOrAfter, PrefixA);
        const uint32_t found = e ? key_number(e->key) : 0;
        if (!e || (found != n && found != n + 1) || !data_fits(found, e->data))
            fail(report, "Seek from entry %u found %u", n, found);
        ++report.tally[Probes];
        if (round % 16 == 0)
            walk(*store, report);
    }
    return report;
}

TEST_F(QvdConcurrencyTest, ReadersSeeAWholeBatchCommitOrNoneOfIt) {
    const std::string path = m_dir.file("batches.qvd");
    {
        int32_t error = 0;
        StoreOptions options;
        options.create_if_missing = true;
        std::unique_ptr<Store> store = Store::Open(path, options, error);
        ASSERT_TRUE(store) << error;
        for (uint32_t n = 0; n < 2 * BaseEntries; n += 2)
            store->Put(numbered_key('A', n), entry_data(n, false));
        for (uint32_t n = 0; n < OtherEntries; ++n)
            store->Put(numbered_key('B', n), entry_data(n, false));
        ASSERT_EQ(store->Commit(), 0);
    }

    const int processes = process_count();
    const Clock::time_point until = Clock::now() + std::chrono::seconds(run_seconds());
    Workers workers;
    ASSERT_TRUE(workers.start([&] { return run_batch_writer(path, until); }));
    for (int i = 1; i < processes; ++i) {
        // Half the readers keep a page cache too small for the tree, so they
        // read pages from the disk in the middle of their operations.
        const size_t cache = i % 2 ? size_t{32} << 20 : size_t{64} << 10;
        const unsigned seed = 104729u * static_cast<unsigned>(i);
        ASSERT_TRUE(workers.start([&, cache, seed] { return run_batch_reader(path, cache, seed, until); }));
    }
    const std::vector<Report> reports = workers.collect(until + HangMargin);
    ASSERT_EQ(describe(reports), "");

    EXPECT_GE(reports[0].tally[Commits], 2) << "the writer did not get through a batch and its removal";
    int64_t before = 0, after = 0, walks = 0;
    for (int i = 1; i < processes; ++i) {
        before += reports[i].tally[SawBefore];
        after += reports[i].tally[SawAfter];
        walks += reports[i].tally[Walks];
        EXPECT_GT(reports[i].tally[Walks], 0) << "reader " << i << " never finished a walk";
    }
    std::printf("%lld commits; readers counted %lld times without the batch, %lld with it; %lld walks\n",
                static_cast<long long>(reports[0].tally[Commits]), static_cast<long long>(before),
                static_cast<long long>(after), static_cast<long long>(walks));

    int32_t error = 0;
    std::unique_ptr<Store> store = Store::Open(path, StoreOptions{}, error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->Count(PrefixA), BaseEntries);
    EXPECT_EQ(store->Count(PrefixB), OtherEntries);
    store.reset();
    expect_clean_check(path);
}

// A committer that dies after naming its chain at offset 0 leaves a commit
// that the next writer completes. A store that had read the file before
// that commit must not go on answering from the state before it once it
// holds the writer byte: what it then writes is merged into the completed
// commit, so anything it derived from the old state overwrites the dead
// committer's work. The committer dies at every disk change of its commit in turn.
TEST_F(QvdConcurrencyTest, AWriterDoesNotBuildOnTheStateBeforeADeadCommittersAnnouncedCommit) {
    const Bytes first{'K', '1'}, second{'K', '2'}, derived{'K', '3'};
    const Bytes old_value{'o', 'l', 'd'}, new_value{'n', 'e', 'w'};
    auto make_file = [&](const std::string& path) {
        int32_t error = 0;
        StoreOptions options;
        options.create_if_missing = true;
        std::unique_ptr<Store> store = Store::Open(path, options, error);
        store->Put(first, old_value);
        store->Put(second, old_value);
        return store->Commit();
    };
    // The dead committer, in a process that dies at the k-th disk change of
    // its commit (the changes up to it reach the file, none after): the file
    // is written over in place, as that process would have left it. The
    // changes the commit makes when it lives.
    auto commit_dying_at = [&](const std::string& path, std::optional<size_t> k) {
        std::ifstream in(path, std::ios::binary);
        auto io = std::make_shared<CrashFileIo>(Bytes(std::istreambuf_iterator<char>(in), {}));
        size_t opened = 0;
        {
            CorruptionAsReturn as_return; // what it reads once dead does not matter
            int32_t error = 0;
            std::unique_ptr<Store> store = Store::OpenIo(io, StoreOptions{}, error);
            EXPECT_TRUE(store) << error;
            if (!store)
                return size_t{0};
            store->Put(first, new_value);
            store->Put(second, new_value);
            opened = io->changes();
            if (k)
                io->crash_at_change(opened + *k);
            store->Commit();
        }
        const Bytes left = io->survivor({UnflushedFate::Kept}).bytes;
        std::fstream(path, std::ios::binary | std::ios::in | std::ios::out)
            .write(reinterpret_cast<const char*>(left.data()), static_cast<std::streamsize>(left.size()));
        if (std::filesystem::file_size(path) > left.size())
            std::filesystem::resize_file(path, left.size());
        return io->changes() - opened;
    };
    ASSERT_EQ(make_file(m_dir.file("whole.qvd")), 0);
    const size_t calls = commit_dying_at(m_dir.file("whole.qvd"), std::nullopt);
    ASSERT_GT(calls, 0u);
    for (size_t k = 1; k <= calls; ++k) {
        const std::string path = m_dir.file("cut") + std::to_string(k) + ".qvd";
        ASSERT_EQ(make_file(path), 0);
        int32_t error = 0;
        std::unique_ptr<Store> survivor = Store::Open(path, StoreOptions{}, error);
        ASSERT_TRUE(survivor) << error;
        ASSERT_EQ(survivor->Get(first), old_value);
        commit_dying_at(path, k);

        // The survivor writes, under the writer byte, what it reads of the first entry.
        ASSERT_TRUE(survivor->Lock(0, LockMode::Writer, true));
        const std::optional<Bytes> seen = survivor->Get(first);
        ASSERT_TRUE(seen);
        survivor->Put(derived, *seen);
        ASSERT_EQ(survivor->Commit(), 0);
        survivor->Unlock(0, LockMode::Writer);
        survivor.reset();

        std::unique_ptr<Store> after = Store::Open(path, StoreOptions{}, error);
        ASSERT_TRUE(after) << error;
        const std::optional<Bytes> now = after->Get(first);
        EXPECT_EQ(after->Get(second), now) << "died at change " << k << " of " << calls;
        EXPECT_EQ(after->Get(derived), now) << "died at change " << k << " of " << calls
                                            << ": the survivor built on a state the file no longer has";
        EXPECT_FALSE(after->Check()) << "died at change " << k;
    }
}

} // namespace
} // namespace morvex::qvd

// Commit and recovery of the QVD container under simulated power loss, real
// SIGKILLs and failing I/O. A commit interrupted at any of its disk calls, with
// the unflushed writes dropped, kept or kept sector by sector, must reopen
// (as a writer, which repairs, and as a reader, which does not) to exactly the
// state before or exactly the state after, pass Check and take new commits.
// MORVEX_SOAK_ROUNDS raises the number of sector seeds, random commits and kills.
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/qvd_store.h"
#include "files/qvd/qvd_transaction.h"
#include "platform/os_error.h"
#include "runtime/error_numbers.h"
#include "tests/support/child_process.h"
#include "tests/support/crash_file_io.h"
#include "tests/support/temp_directory.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <signal.h>
#include <unistd.h>

namespace morvex::qvd {
namespace {

using Model = std::map<Bytes, Bytes>;
using Changes = std::map<Bytes, std::optional<Bytes>>; // nullopt: erase

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Key(std::string_view prefix, int n) {
    Bytes key = B(prefix);
    for (int shift : {24, 16, 8, 0})
        key.push_back(static_cast<uint8_t>(n >> shift));
    return key;
}

// Data that does not compress away, so that pages fill as their entries say.
Bytes Data(int seed, size_t length) {
    Bytes data(length);
    uint32_t x = static_cast<uint32_t>(seed) * 2654435761u + 1;
    for (uint8_t& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return data;
}

size_t SoakRounds() {
    const char* text = std::getenv("MORVEX_SOAK_ROUNDS");
    return text ? static_cast<size_t>(std::max(0, std::atoi(text))) : 0;
}

Model Contents(Store& store) {
    Model model;
    std::optional<Entry> e = store.Seek(Bytes{}, SeekMode::AtOrAfter, Bytes{});
    while (e) {
        model[e->key] = e->data;
        e = store.Seek(e->key, SeekMode::After, Bytes{});
    }
    return model;
}

// The commits of the tests below merge into the tree unless a test makes
// them rebuild it (RebuildFrom).
size_t g_rebuild_changes = StoreOptions().rebuild_changes;

struct RebuildFrom {
    explicit RebuildFrom(size_t changes) { g_rebuild_changes = changes; }
    ~RebuildFrom() { g_rebuild_changes = StoreOptions().rebuild_changes; }
};

std::unique_ptr<Store> OpenOn(std::shared_ptr<FileIo> io, OpenMode mode, int32_t& error) {
    StoreOptions options;
    options.mode = mode;
    options.create_if_missing = true;
    options.cache_bytes = 1 << 20;
    options.rebuild_changes = g_rebuild_changes;
    return Store::OpenIo(std::move(io), options, error);
}

void Apply(Store& store, const Changes& changes) {
    for (const auto& [key, data] : changes) {
        if (data)
            store.Put(key, *data);
        else
            store.Erase(key);
    }
}

Model Applied(Model model, const Changes& changes) {
    for (const auto& [key, data] : changes) {
        if (data)
            model[key] = *data;
        else
            model.erase(key);
    }
    return model;
}

bool NamesChain(const Bytes& image) {
    return image.size() >= 14 && !std::equal(image.begin() + 6, image.begin() + 10, image.begin() + 10);
}

// A file holding `before`, as a settled disk image.
Bytes ImageHolding(const Model& before) {
    auto io = std::make_shared<CrashFileIo>();
    int32_t error = 0;
    auto store = OpenOn(io, OpenMode::ReadWrite, error);
    EXPECT_TRUE(store) << error;
    for (const auto& [key, data] : before)
        store->Put(key, data);
    EXPECT_EQ(store->Commit(), 0);
    store.reset();
    return io->image();
}

struct CommitCase {
    std::string name;
    Model before;
    Changes changes;
};

Model ExistingContent() {
    Model model;
    for (int i = 0; i < 400; ++i)
        model[Key("rec", i)] = Data(i, 24 + i % 40);
    return model;
}

CommitCase SingleRecordCommit() {
    CommitCase c{"single record", ExistingContent(), {}};
    c.changes[Key("rec", 177)] = Data(9999, 50);
    return c;
}

// Enough to split leaves and inner nodes, change the size class of many
// pages (so zones grow and move) and merge others.
CommitCase MultiPageCommit() {
    CommitCase c{"multi page", ExistingContent(), {}};
    for (int i = 0; i < 400; i += 3)
        c.changes[Key("rec", i)] = Data(i + 5000, 150 + i % 90);
    for (int i = 0; i < 400; i += 10)
        if (i % 3 != 0)
            c.changes[Key("rec", i)] = std::nullopt;
    for (int i = 0; i < 150; ++i)
        c.changes[Key("new", i)] = Data(i + 7000, 60);
    return c;
}

struct Tally {
    size_t crash_points = 0;
    size_t survivors = 0;
    size_t rolled_forward = 0;   // a chain was named and the writer's open replayed it
    size_t settled_after = 0;    // the new state with no chain left to replay
    size_t old_state = 0;        // the state before (the chain never named)
    size_t rolled_back = 0;      // a named chain refused or broken, and the old state restored
    size_t recovery_crashes = 0; // survivors of a power loss during a roll-forward
    size_t header_torn = 0;      // the header sector itself came back as garbage
};

std::vector<CrashPolicy> Policies() {
    std::vector<CrashPolicy> policies{{UnflushedFate::Dropped, 0}, {UnflushedFate::Kept, 0}};
    const size_t seeds = std::max<size_t>(3, SoakRounds());
    for (size_t s = 1; s <= seeds; ++s) {
        policies.push_back({UnflushedFate::Sectors, s});
        policies.push_back({UnflushedFate::SectorsTorn, 100 + s});
    }
    return policies;
}

// Reopens a survivor as a reader and as a writer and checks that each sees
// exactly the old or the new state, consistently, and that the file goes on.
void VerifySurvivor(const SurvivorImage& survivor, const Model& before, const Model& after,
                    const std::string& label, Tally& tally) {
    CorruptionAsReturn as_return;
    ++tally.survivors;
    const bool chain = NamesChain(survivor.bytes);
    const bool magic = survivor.bytes.size() >= 18 &&
                       std::equal(survivor.bytes.begin() + 14, survivor.bytes.begin() + 18, "qUoR");
    const bool header_torn = !magic && std::find(survivor.torn_sectors.begin(), survivor.torn_sectors.end(),
                                                 0) != survivor.torn_sectors.end();
    if (header_torn) {
        // The one header has no second copy: a torn header sector loses the
        // file, but it must be refused as invalid, not read as something else.
        ++tally.header_torn;
        int32_t error = 0;
        auto store = OpenOn(std::make_shared<CrashFileIo>(survivor.bytes), OpenMode::ReadOnly, error);
        EXPECT_FALSE(store) << label;
        EXPECT_EQ(error, ErrInvalidDataFile) << label;
        return;
    }

    Model seen_by_reader;
    {
        auto io = std::make_shared<CrashFileIo>(survivor.bytes);
        int32_t error = 0;
        auto reader = OpenOn(io, OpenMode::ReadOnly, error);
        ASSERT_TRUE(reader) << label << ": reader open error " << error;
        seen_by_reader = Contents(*reader);
        ASSERT_TRUE(seen_by_reader == before || seen_by_reader == after)
            << label << ": reader sees a mixed state";
        EXPECT_EQ(reader->Check(), std::nullopt) << label << " (reader)";
        EXPECT_EQ(io->changes(), 0u) << label << ": a reader writes nothing";
    }

    auto io = std::make_shared<CrashFileIo>(survivor.bytes);
    int32_t error = 0;
    auto writer = OpenOn(io, OpenMode::ReadWrite, error);
    ASSERT_TRUE(writer) << label << ": writer open error " << error;
    const Model seen = Contents(*writer);
    ASSERT_TRUE(seen == before || seen == after) << label << ": writer sees a mixed state";
    EXPECT_EQ(seen, seen_by_reader) << label << ": reader and writer disagree";
    EXPECT_EQ(writer->Check(), std::nullopt) << label << " (writer)";
    const StoreInfo info = writer->Info();
    EXPECT_EQ(info.chain_start, info.chain_end) << label << ": the writer's open settles the chain";
    if (seen == after)
        ++(chain ? tally.rolled_forward : tally.settled_after);
    else
        ++tally.old_state;
    EXPECT_FALSE(chain && seen == before && seen != after) << label << ": an intact named chain was dropped";

    // The repaired file takes further commits.
    writer->Put(B("later"), B("commit"));
    ASSERT_EQ(writer->Commit(), 0) << label;
    EXPECT_EQ(writer->Check(), std::nullopt) << label << " (after a further commit)";
    writer.reset();
    auto again = OpenOn(std::make_shared<CrashFileIo>(io->image()), OpenMode::ReadOnly, error);
    ASSERT_TRUE(again) << label;
    Model expected = seen;
    expected[B("later")] = B("commit");
    EXPECT_EQ(Contents(*again), expected) << label;
}

// A named chain that is refused (the transaction check) or broken (its
// copies cut off) is rolled back to exactly the old state.
void VerifyRollBack(const Bytes& announced, const Model& before, const std::string& label, Tally& tally) {
    CorruptionAsReturn as_return;
    ASSERT_TRUE(NamesChain(announced)) << label;
    const uint32_t chain_start =
        announced[6] | announced[7] << 8 | announced[8] << 16 | uint32_t(announced[9]) << 24;
    Bytes cut = announced;
    cut.resize(chain_start + 256);
    for (const bool refused : {true, false}) {
        StoreOptions options;
        options.create_if_missing = true;
        if (refused)
            options.keep_pending_commit = [](const Bytes*) { return false; };
        int32_t error = 0;
        auto store = Store::OpenIo(std::make_shared<CrashFileIo>(refused ? announced : cut), options, error);
        ASSERT_TRUE(store) << label << ": error " << error;
        EXPECT_EQ(Contents(*store), before) << label << (refused ? ": refused chain" : ": broken chain");
        EXPECT_EQ(store->Check(), std::nullopt) << label;
        const StoreInfo info = store->Info();
        EXPECT_EQ(info.chain_start, info.chain_end) << label;
        ++tally.rolled_back;
    }
}

// A power loss in the middle of a writer's roll-forward: the next open
// finishes it. Every call of the recovery is cut in turn.
void VerifyCrashDuringRecovery(const Bytes& announced, const Model& after, const std::string& label,
                               Tally& tally) {
    CorruptionAsReturn as_return;
    size_t calls = 0;
    {
        auto io = std::make_shared<CrashFileIo>(announced);
        int32_t error = 0;
        auto store = OpenOn(io, OpenMode::ReadWrite, error);
        ASSERT_TRUE(store) << label << ": error " << error;
        calls = io->changes();
    }
    ASSERT_GT(calls, 0u) << label << ": a writer's open rolls the chain forward";
    for (size_t k = 1; k <= calls; ++k) {
        auto io = std::make_shared<CrashFileIo>(announced);
        io->crash_at_change(k);
        {
            int32_t error = 0;
            OpenOn(io, OpenMode::ReadWrite, error);
        }
        for (const CrashPolicy& policy :
             {CrashPolicy{UnflushedFate::Dropped, 0}, CrashPolicy{UnflushedFate::Kept, 0},
              CrashPolicy{UnflushedFate::Sectors, k}, CrashPolicy{UnflushedFate::SectorsTorn, k}}) {
            const SurvivorImage survivor = io->survivor(policy);
            const std::string where = label + ", recovery stopped at call " + std::to_string(k) +
                                      ", unflushed " + PolicyName(policy);
            int32_t error = 0;
            auto store = OpenOn(std::make_shared<CrashFileIo>(survivor.bytes), OpenMode::ReadWrite, error);
            if (!store && std::count(survivor.torn_sectors.begin(), survivor.torn_sectors.end(), 0) > 0) {
                EXPECT_EQ(error, ErrInvalidDataFile) << where;
                ++tally.header_torn;
                continue;
            }
            ASSERT_TRUE(store) << where << ": error " << error;
            EXPECT_EQ(Contents(*store), after) << where;
            EXPECT_EQ(store->Check(), std::nullopt) << where;
            ++tally.recovery_crashes;
        }
    }
}

std::string Describe(const std::vector<CrashFileIo::Call>& log) {
    std::string text;
    for (const CrashFileIo::Call& c : log) {
        if (c.call == IoCall::Write)
            text += "  write " + std::to_string(c.length) + " at " + std::to_string(c.offset) + "\n";
        else if (c.call == IoCall::Flush)
            text += "  flush\n";
        else
            text += "  truncate to " + std::to_string(c.offset) + "\n";
    }
    return text;
}

Tally CrashEveryCallOfTheCommit(const CommitCase& c) {
    Tally tally;
    const Model after = Applied(c.before, c.changes);
    if (after == c.before)
        return tally; // nothing to commit
    const Bytes base = ImageHolding(c.before);

    size_t total = 0;
    {
        auto io = std::make_shared<CrashFileIo>(base);
        int32_t error = 0;
        auto store = OpenOn(io, OpenMode::ReadWrite, error);
        EXPECT_EQ(io->changes(), 0u) << "opening a settled file writes nothing";
        Apply(*store, c.changes);
        EXPECT_EQ(store->Commit(), 0);
        total = io->changes();
        EXPECT_EQ(Contents(*store), after);
    }
    EXPECT_GT(total, 4u);
    const std::vector<CrashPolicy> policies = Policies();
    std::set<Bytes> announced_images;
    for (size_t k = 1; k <= total; ++k) {
        auto io = std::make_shared<CrashFileIo>(base);
        {
            CorruptionAsReturn as_return; // reads after the power loss fail too
            int32_t error = 0;
            auto store = OpenOn(io, OpenMode::ReadWrite, error);
            EXPECT_TRUE(store);
            if (!store)
                return tally;
            io->crash_at_change(k);
            Apply(*store, c.changes);
            const int32_t result = store->Commit();
            // Only the last call, the truncation of the dead chain, may fail unseen.
            if (io->crash_call() != IoCall::Truncate) {
                EXPECT_NE(result, 0) << c.name << ": power lost at call " << k;
            }
        }
        EXPECT_TRUE(io->crashed());
        ++tally.crash_points;
        const std::vector<CrashFileIo::Call>& log = io->log();
        const size_t flushes = static_cast<size_t>(std::count_if(
            log.begin(), log.end(), [](const auto& call) { return call.call == IoCall::Flush; }));
        if (flushes == 2 && log.size() >= 2 && log[log.size() - 2].call == IoCall::Flush) {
            // Stopped right after naming the chain, before any page went home:
            // the one moment at which the old state can still be restored.
            VerifyRollBack(io->survivor({UnflushedFate::Dropped, 0}).bytes, c.before,
                           c.name + ", power lost at call " + std::to_string(k), tally);
        }
        // Many crash points leave the same announced file: each distinct one is
        // also cut at every call of its roll-forward.
        const SurvivorImage dropped = io->survivor({UnflushedFate::Dropped, 0});
        if (NamesChain(dropped.bytes) && announced_images.insert(dropped.bytes).second)
            VerifyCrashDuringRecovery(dropped.bytes, after,
                                      c.name + ", power lost at call " + std::to_string(k), tally);
        for (const CrashPolicy& policy : policies) {
            const std::string label = c.name + ", power lost at call " + std::to_string(k) + " of " +
                                      std::to_string(total) + ", unflushed " + PolicyName(policy);
            VerifySurvivor(io->survivor(policy), c.before, after, label, tally);
            if (::testing::Test::HasFatalFailure()) {
                std::printf("calls of the commit up to the power loss:\n%s", Describe(io->log()).c_str());
                return tally;
            }
        }
    }
    return tally;
}

void PrintTally(const std::string& name, const Tally& t) {
    std::printf(
        "%s: %zu crash points, %zu survivors: %zu rolled forward, %zu new state settled, "
        "%zu old state, %zu torn headers; %zu named chains rolled back; %zu survivors of a power loss "
        "during the roll-forward\n",
        name.c_str(), t.crash_points, t.survivors, t.rolled_forward, t.settled_after, t.old_state,
        t.header_torn, t.rolled_back, t.recovery_crashes);
}

TEST(CrashRecoveryTest, APowerLossAtAnyCallOfASingleRecordCommitLeavesTheOldOrTheNewState) {
    const Tally t = CrashEveryCallOfTheCommit(SingleRecordCommit());
    PrintTally("single record", t);
    EXPECT_GT(t.rolled_forward, 0u);
    EXPECT_GT(t.old_state, 0u);
    EXPECT_GT(t.rolled_back, 0u);
    EXPECT_GT(t.recovery_crashes, 0u);
}

TEST(CrashRecoveryTest, APowerLossAtAnyCallOfAMultiPageCommitLeavesTheOldOrTheNewState) {
    const Tally t = CrashEveryCallOfTheCommit(MultiPageCommit());
    PrintTally("multi page", t);
    EXPECT_GT(t.rolled_forward, 0u);
    EXPECT_GT(t.old_state, 0u);
    EXPECT_GT(t.rolled_back, 0u);
    EXPECT_GT(t.recovery_crashes, 0u);
}

TEST(CrashRecoveryTest, APowerLossAtAnyCallOfARebuildingCommitLeavesTheOldOrTheNewState) {
    const RebuildFrom every_commit(1);
    const Tally t = CrashEveryCallOfTheCommit(MultiPageCommit());
    PrintTally("rebuilding", t);
    EXPECT_GT(t.rolled_forward, 0u);
    EXPECT_GT(t.old_state, 0u);
    EXPECT_GT(t.rolled_back, 0u);
    EXPECT_GT(t.recovery_crashes, 0u);
}

// Random contents and random changes (entries of every size, so that many
// size classes and zones take part): one round in the default run, more with
// MORVEX_SOAK_ROUNDS.
TEST(CrashRecoveryTest, RandomCommitsLeaveTheOldOrTheNewStateAtAnyPowerLoss) {
    const size_t rounds = std::max<size_t>(1, SoakRounds());
    Tally total;
    for (size_t round = 0; round < rounds; ++round) {
        std::mt19937 random(static_cast<uint32_t>(round * 7919 + 17));
        auto length = [&] {
            const uint32_t r = random() % 100;
            return r < 70 ? random() % 60 : r < 95 ? random() % 600 : random() % 4000;
        };
        CommitCase c{"random round " + std::to_string(round), {}, {}};
        const int existing = static_cast<int>(random() % 500);
        for (int i = 0; i < existing; ++i)
            c.before[Key("r", static_cast<int>(random() % 2000))] =
                Data(static_cast<int>(random()), length());
        const int changes = 1 + static_cast<int>(random() % 300);
        for (int i = 0; i < changes; ++i) {
            const Bytes key = Key("r", static_cast<int>(random() % 2000));
            if (random() % 4 == 0)
                c.changes[key] = std::nullopt;
            else
                c.changes[key] = Data(static_cast<int>(random()), length());
        }
        const Tally t = CrashEveryCallOfTheCommit(c);
        if (HasFatalFailure())
            return;
        total.crash_points += t.crash_points;
        total.survivors += t.survivors;
        total.rolled_forward += t.rolled_forward;
        total.settled_after += t.settled_after;
        total.old_state += t.old_state;
        total.header_torn += t.header_torn;
        total.rolled_back += t.rolled_back;
        total.recovery_crashes += t.recovery_crashes;
    }
    PrintTally("random commits", total);
    EXPECT_GT(total.crash_points, 0u);
}

// ---- two files in one transaction ----

Model WithoutTransactionRecord(Model model) {
    model.erase(Bytes{TransactionRecordKey});
    return model;
}

struct TransactionTally {
    size_t crash_points = 0;
    size_t before = 0;
    size_t after = 0;
    size_t rolled_back = 0;    // a file announced its commit, the control file still listed it
    size_t rolled_forward = 0; // a file announced its commit, the transaction was closed
};

// What a recovery of one survivor sees, as a reader and as a writer; both
// must agree. `announced`: the survivor named a chain.
Model RecoveredContents(const Bytes& survivor, const ControlOpener& control, const std::string& label,
                        bool& announced) {
    CorruptionAsReturn as_return;
    announced = NamesChain(survivor);
    Model seen[2];
    for (const OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite}) {
        StoreOptions options;
        options.mode = mode;
        options.create_if_missing = true;
        options.keep_pending_commit = [&](const Bytes* record) {
            return KeepPendingCommit(record, "data/a.QVD", control);
        };
        auto io = std::make_shared<CrashFileIo>(survivor);
        int32_t error = 0;
        auto store = Store::OpenIo(io, options, error);
        EXPECT_TRUE(store) << label << ": open error " << error;
        if (!store)
            return {};
        seen[mode == OpenMode::ReadWrite] = WithoutTransactionRecord(Contents(*store));
        EXPECT_EQ(store->Check(), std::nullopt) << label;
        if (mode == OpenMode::ReadWrite) {
            EXPECT_EQ(store->Info().chain_start, store->Info().chain_end) << label << ": the writer settles";
        }
    }
    EXPECT_EQ(seen[0], seen[1]) << label << ": reader and writer disagree";
    return seen[1];
}

// `listed_ahead`: the transaction takes the number an earlier one listed
// for it, as a control file kept open between transactions does.
TransactionTally CrashEveryCallOfATwoFileTransaction(const CommitCase& a, const CommitCase& b,
                                                     bool listed_ahead) {
    TransactionTally tally;
    const Model after_a = Applied(a.before, a.changes);
    const Model after_b = Applied(b.before, b.changes);
    const Bytes base_a = ImageHolding(a.before);
    const Bytes base_b = ImageHolding(b.before);

    // One run through: the number of disk-changing calls of the whole transaction.
    auto run = [&](std::optional<size_t> crash_at, std::shared_ptr<CrashFileIo> ios[3]) {
        auto power = std::make_shared<SharedPower>();
        ios[0] = std::make_shared<CrashFileIo>(base_a, power);
        ios[1] = std::make_shared<CrashFileIo>(base_b, power);
        ios[2] = std::make_shared<CrashFileIo>(Bytes{}, power);
        CorruptionAsReturn as_return;
        int32_t error = 0;
        auto store_a = OpenOn(ios[0], OpenMode::ReadWrite, error);
        auto store_b = OpenOn(ios[1], OpenMode::ReadWrite, error);
        auto control = OpenOn(ios[2], OpenMode::ReadWrite, error);
        Apply(*store_a, a.changes);
        Apply(*store_b, b.changes);
        ControlFile control_file{control.get(), listed_ahead};
        if (listed_ahead) {
            EXPECT_EQ(CommitTogether(control_file, {}), 0); // lists the number of the next
        }
        const size_t before = power->changes;
        if (crash_at)
            power->crash_at = before + *crash_at;
        const TransactionPart parts[] = {{store_a.get(), std::string(DefaultControlName)},
                                         {store_b.get(), "data/quorvane.tcf"}};
        const int32_t result = CommitTogether(control_file, parts);
        return std::make_pair(result, power->changes - before);
    };
    std::shared_ptr<CrashFileIo> ios[3];
    const auto [result, total] = run(std::nullopt, ios);
    EXPECT_EQ(result, 0);
    EXPECT_GT(total, 10u);

    for (size_t k = 1; k <= total; ++k) {
        run(k, ios);
        ++tally.crash_points;
        std::vector<CrashPolicy> policies = Policies();
        for (const CrashPolicy& policy : policies) {
            if (policy.fate == UnflushedFate::SectorsTorn)
                continue; // a torn header loses its file; the single-file tests cover it
            const std::string label = "two-file transaction, power lost at call " + std::to_string(k) +
                                      " of " + std::to_string(total) + ", unflushed " + PolicyName(policy);
            const Bytes control_image = ios[2]->survivor(policy).bytes;
            const ControlOpener control = [&](const std::string& path,
                                              int32_t& error) -> std::unique_ptr<Store> {
                EXPECT_EQ(path, "data/quorvane.tcf") << label;
                if (control_image.empty()) {
                    error = ErrFileNotFound; // the control file was never written
                    return nullptr;
                }
                StoreOptions options;
                options.mode = OpenMode::ReadOnly;
                return Store::OpenIo(std::make_shared<CrashFileIo>(control_image), options, error);
            };
            bool announced_a = false;
            bool announced_b = false;
            const Model seen_a =
                RecoveredContents(ios[0]->survivor(policy).bytes, control, label, announced_a);
            const Model seen_b =
                RecoveredContents(ios[1]->survivor(policy).bytes, control, label, announced_b);
            if (::testing::Test::HasFatalFailure())
                return tally;
            const bool a_after = seen_a == after_a;
            const bool b_after = seen_b == after_b;
            EXPECT_TRUE(a_after || seen_a == a.before) << label << ": first file in a mixed state";
            EXPECT_TRUE(b_after || seen_b == b.before) << label << ": second file in a mixed state";
            EXPECT_EQ(a_after, b_after) << label << ": one file before the transaction, the other after";
            if (::testing::Test::HasFailure())
                return tally;
            ++(a_after ? tally.after : tally.before);
            if (announced_a || announced_b)
                ++(a_after ? tally.rolled_forward : tally.rolled_back);
        }
    }
    return tally;
}

class TwoFileCrashTest : public ::testing::TestWithParam<bool> {};

TEST_P(TwoFileCrashTest, APowerLossAtAnyCallLeavesBothFilesBeforeOrBothAfter) {
    CommitCase b{"second file", {}, {}};
    for (int i = 0; i < 60; ++i)
        b.before[Key("b", i)] = Data(i, 30);
    b.changes[Key("b", 7)] = Data(777, 45);
    b.changes[Key("b", 8)] = std::nullopt;
    const TransactionTally t = CrashEveryCallOfATwoFileTransaction(MultiPageCommit(), b, GetParam());
    std::printf("two-file transaction: %zu crash points; %zu survivors before, %zu after; "
                "%zu announced commits rolled back, %zu rolled forward\n",
                t.crash_points, t.before, t.after, t.rolled_back, t.rolled_forward);
    EXPECT_GT(t.before, 0u);
    EXPECT_GT(t.after, 0u);
    EXPECT_GT(t.rolled_back, 0u);
    EXPECT_GT(t.rolled_forward, 0u);
}

INSTANTIATE_TEST_SUITE_P(Numbers, TwoFileCrashTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "ListedAhead" : "ListedByTheTransaction";
                         });

// ---- I/O faults ----

struct FaultCase {
    IoCall call;
    int error;
    bool short_write;
    const char* name;
};

// Whether the k-th write was one of the header at offset 0.
bool HeaderWasCutShort(const CrashFileIo& io, size_t k) {
    size_t writes = 0;
    for (const CrashFileIo::Call& c : io.log())
        if (c.call == IoCall::Write && ++writes == k)
            return c.offset == 0;
    return false;
}

class IoFaultTest : public ::testing::TestWithParam<FaultCase> {};

// Each call of the kind fails in turn during an open and a multi-page commit:
// the open or the commit reports the documented error, later commits of that
// open fail the same way, and the file reopens clean with the old or new state.
TEST_P(IoFaultTest, EveryFailingCallGivesItsErrorAndLeavesTheFileUsable) {
    const FaultCase fault = GetParam();
    const CommitCase c = MultiPageCommit();
    const Model after = Applied(c.before, c.changes);
    const Bytes base = ImageHolding(c.before);
    size_t count = 0;
    {
        auto io = std::make_shared<CrashFileIo>(base);
        int32_t error = 0;
        auto store = OpenOn(io, OpenMode::ReadWrite, error);
        Apply(*store, c.changes);
        ASSERT_EQ(store->Commit(), 0);
        count = io->calls(fault.call);
    }
    ASSERT_GT(count, 0u);
    int expected = 0;
    switch (fault.call) {
    case IoCall::Write:
    case IoCall::Flush:
        expected = fault.short_write ? 5 : 300 + platform::os_error_from_errno(fault.error);
        break;
    case IoCall::Lock:
        expected = 5;
        break;
    default:
        expected = ErrInvalidDataFile; // a refused read is a corruption (2277), returned in this scope
        break;
    }
    size_t failed_opens = 0;
    size_t failed_commits = 0;
    size_t absorbed = 0;
    size_t failed_staging = 0;
    size_t header_cut_short = 0;
    for (size_t k = 1; k <= count; ++k) {
        const std::string label =
            std::string(fault.name) + " " + std::to_string(k) + " of " + std::to_string(count);
        CorruptionAsReturn as_return;
        auto io = std::make_shared<CrashFileIo>(base);
        io->fail_call(fault.call, k, fault.error, fault.short_write);
        {
            int32_t error = 0;
            auto store = OpenOn(io, OpenMode::ReadWrite, error);
            if (!store) {
                ++failed_opens;
                EXPECT_TRUE(io->fault_fired()) << label;
                EXPECT_EQ(error, fault.call == IoCall::Read ? ErrInvalidDataFile : ErrAccessDenied)
                    << label << ": open";
                continue;
            }
            Apply(*store, c.changes);
            if (store->LastCorruption() != 0) {
                // A read refused while staging (an erase looks the key up): the
                // change is not staged; production ends the program here.
                EXPECT_EQ(fault.call, IoCall::Read) << label;
                EXPECT_EQ(store->LastCorruption(), 2277) << label;
                ++failed_staging;
                store->Rollback();
            }
            const int32_t result = store->Commit();
            ASSERT_TRUE(io->fault_fired()) << label;
            if (result == 0 && store->LastCorruption() != 0) {
                // nothing was staged that the failed read did not cancel
            } else if (result == 0) {
                // Only a reader slot that is busy sends the lock on to the next one.
                EXPECT_EQ(fault.call, IoCall::Lock) << label << ": a failed call went unreported";
                ++absorbed;
            } else {
                ++failed_commits;
                EXPECT_EQ(result, expected) << label;
                if (fault.call == IoCall::Read) {
                    EXPECT_EQ(store->LastCorruption(), 2277) << label;
                }
                const Model seen = Contents(*store);
                EXPECT_TRUE(seen == c.before || seen == after ||
                            (fault.short_write && HeaderWasCutShort(*io, k)))
                    << label << ": the failed open reads a mixed state";
                if (fault.call == IoCall::Write || fault.call == IoCall::Flush) {
                    store->Put(B("x"), B("y"));
                    EXPECT_EQ(store->Commit(), expected) << label << ": later writes of the open are skipped";
                }
            }
        }
        auto reopened_io = std::make_shared<CrashFileIo>(io->image());
        int32_t error = 0;
        auto reopened = OpenOn(reopened_io, OpenMode::ReadWrite, error);
        ASSERT_TRUE(reopened) << label << ": reopen error " << error;
        const Model seen = Contents(*reopened);
        if (seen != c.before && seen != after && fault.short_write && HeaderWasCutShort(*io, k)) {
            // The header is rewritten in place: the new header's first half
            // over the announcing one cannot be told from a whole header. A
            // known limit of the one-header layout (a 512-byte write inside
            // one file-system block is not cut short by the usual file
            // systems); counted, and reported by these tests' author.
            ++header_cut_short;
            continue;
        }
        ASSERT_TRUE(seen == c.before || seen == after) << label << ": mixed state";
        EXPECT_EQ(reopened->Check(), std::nullopt) << label;
        reopened->Put(B("later"), B("commit"));
        EXPECT_EQ(reopened->Commit(), 0) << label;
        EXPECT_EQ(reopened->Check(), std::nullopt) << label;
    }
    std::printf("%s: %zu calls failed in turn: %zu opens failed, %zu stagings failed, %zu commits failed, "
                "%zu absorbed, %zu header writes cut short\n",
                fault.name, count, failed_opens, failed_staging, failed_commits, absorbed, header_cut_short);
    EXPECT_GT(failed_opens + failed_commits, 0u);
}

INSTANTIATE_TEST_SUITE_P(Calls, IoFaultTest,
                         ::testing::Values(FaultCase{IoCall::Write, ENOSPC, false, "write"},
                                           FaultCase{IoCall::Write, 0, true, "short write"},
                                           FaultCase{IoCall::Flush, EIO, false, "flush"},
                                           FaultCase{IoCall::Lock, ENOLCK, false, "lock"},
                                           FaultCase{IoCall::Read, EIO, false, "read"}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

// ---- real processes killed in the middle of their commits ----

// A child commits without end: each commit raises a counter and appends the
// record of that number, so any consistent state has counter == records. The
// parent kills it at a random moment, reopens and checks.
TEST(CrashRecoveryTest, AProcessKilledInMidCommitLeavesAConsistentPrefix) {
    const testing::TempDirectory dir("crash_recovery_test");
    const std::string path = dir.file("killed.qvd");
    StoreOptions options;
    options.create_if_missing = true;
    {
        int32_t error = 0;
        auto store = Store::Open(path, options, error);
        ASSERT_TRUE(store) << error;
        for (int i = 0; i < 300; ++i) // bulk, so that commits touch several pages
            store->Put(Key("bulk", i), Data(i, 40));
        store->Put(B("counter"), Key("", 0));
        ASSERT_EQ(store->Commit(), 0);
    }
    const size_t rounds = std::max<size_t>(4, SoakRounds());
    std::mt19937 random(12345);
    size_t named_chains = 0;
    uint32_t counter = 0;
    for (size_t round = 0; round < rounds; ++round) {
        testing::ChildProcess child([&] {
            int32_t error = 0;
            auto store = Store::Open(path, options, error);
            if (!store)
                return 2;
            for (;;) {
                store->Lock(0, LockMode::Writer, true);
                const Bytes value = store->Get(B("counter")).value_or(Key("", 0));
                const uint32_t n = (uint32_t(value[0]) << 24 | uint32_t(value[1]) << 16 |
                                    uint32_t(value[2]) << 8 | value[3]) +
                                   1;
                store->Put(B("counter"), Key("", static_cast<int>(n)));
                store->Put(Key("rec", static_cast<int>(n)), Data(static_cast<int>(n), 100 + n % 300));
                if (n % 7 == 0) // now and then a change all over the tree
                    for (int i = static_cast<int>(n % 5); i < 300; i += 5)
                        store->Put(Key("bulk", i), Data(i + static_cast<int>(n), 40 + n % 30));
                if (store->Commit() != 0)
                    return 3;
                store->Unlock(0, LockMode::Writer);
            }
        });
        ASSERT_TRUE(child.started());
        usleep(20000 + random() % 150000);
        child.kill();
        ASSERT_EQ(child.signal(), SIGKILL)
            << "the child stopped on its own, exit status " << child.exit_code();

        {
            std::FILE* f = std::fopen(path.c_str(), "rb");
            ASSERT_TRUE(f);
            Bytes header(512);
            header.resize(std::fread(header.data(), 1, header.size(), f));
            std::fclose(f);
            named_chains += NamesChain(header);
        }
        int32_t error = 0;
        auto store = Store::Open(path, options, error);
        ASSERT_TRUE(store) << "round " << round << ": error " << error;
        {
            CorruptionAsReturn as_return;
            ASSERT_EQ(store->Check(), std::nullopt) << "round " << round;
        }
        const Bytes value = *store->Get(B("counter"));
        const uint32_t n =
            uint32_t(value[0]) << 24 | uint32_t(value[1]) << 16 | uint32_t(value[2]) << 8 | value[3];
        EXPECT_GE(n, counter) << "round " << round << ": committed records were lost";
        counter = n;
        ASSERT_EQ(store->Count(B("rec")), n) << "round " << round;
        for (uint32_t i = 1; i <= n; ++i) {
            ASSERT_EQ(store->Get(Key("rec", static_cast<int>(i))), Data(static_cast<int>(i), 100 + i % 300))
                << "round " << round << ", record " << i;
        }
        EXPECT_EQ(store->Count(B("bulk")), 300u);
    }
    std::printf("%zu kills, %u commits in all, %zu kills left a named chain\n", rounds, counter,
                named_chains);
    EXPECT_GT(counter, 0u) << "the children never committed";
}

} // namespace
} // namespace morvex::qvd

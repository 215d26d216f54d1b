// The staged changes against a plain ordered map: random puts, erasures,
// re-puts and savepoints, with point lookups, seeks in every direction and
// full ordered walks checked after each step, kept in memory and written out
// as runs at every savepoint (where the newest change of a key must win).
#include "files/qvd/page_codec.h"
#include "files/qvd/staged_changes.h"

#include <gtest/gtest.h>
#include <map>
#include <random>

namespace morvex::qvd {
namespace {

struct Less {
    bool operator()(const Bytes& a, const Bytes& b) const { return KeyLess(a, b); }
};
using Model = std::map<Bytes, std::optional<Bytes>, Less>;

std::optional<Bytes> Copy(const std::optional<ByteView>& data) {
    return data ? std::optional<Bytes>(Bytes(data->begin(), data->end())) : std::nullopt;
}

Bytes KeyOf(const StagedChanges::Cursor& cursor) {
    return Bytes(cursor.change().key.begin(), cursor.change().key.end());
}

void ExpectSame(StagedChanges& staged, const Model& model, const std::string& label) {
    StagedChanges::Cursor cursor = staged.cursor();
    bool more = cursor.first();
    for (const auto& [key, data] : model) {
        ASSERT_TRUE(more) << label;
        ASSERT_EQ(KeyOf(cursor), key) << label;
        ASSERT_EQ(Copy(cursor.change().data), data) << label;
        more = cursor.next();
        const std::optional<StagedChanges::Change> found = staged.find(key);
        ASSERT_TRUE(found) << label;
        ASSERT_EQ(Copy(found->data), data) << label;
    }
    ASSERT_FALSE(more) << label;
}

// The model's answer to a seek.
std::optional<Bytes> ModelSeek(const Model& model, const Bytes& key, SeekMode mode) {
    switch (mode) {
    case SeekMode::AtOrAfter: {
        const auto it = model.lower_bound(key);
        return it == model.end() ? std::nullopt : std::optional<Bytes>(it->first);
    }
    case SeekMode::After: {
        const auto it = model.upper_bound(key);
        return it == model.end() ? std::nullopt : std::optional<Bytes>(it->first);
    }
    case SeekMode::AtOrBefore: {
        auto it = model.upper_bound(key);
        return it == model.begin() ? std::nullopt : std::optional<Bytes>(std::prev(it)->first);
    }
    case SeekMode::Before: {
        auto it = model.lower_bound(key);
        return it == model.begin() ? std::nullopt : std::optional<Bytes>(std::prev(it)->first);
    }
    }
    return std::nullopt;
}

class StagedChangesTest : public testing::TestWithParam<size_t> {};

TEST_P(StagedChangesTest, BehavesLikeAnOrderedMapThroughChangesSavepointsAndRuns) {
    std::mt19937 random(99);
    StagedChanges staged(GetParam());
    Model model;
    Model at_savepoint;
    size_t savepoint = staged.savepoint();
    auto key = [&] {
        Bytes k(1 + random() % 5);
        for (uint8_t& b : k)
            b = static_cast<uint8_t>("\x00\x01\x7f\x80\xff"[random() % 5]);
        return k;
    };
    // Every savepoint writes a run with the low bound: fewer steps keep it quick.
    const int steps = GetParam() == SIZE_MAX ? 3000 : 1000;
    for (int step = 0; step < steps; ++step) {
        const std::string label = "step " + std::to_string(step);
        const uint32_t what = random() % 100;
        if (what < 50) {
            const Bytes k = key();
            const Bytes d(random() % 40, static_cast<uint8_t>(step));
            staged.put(k, d);
            model[k] = d;
        } else if (what < 70) {
            const Bytes k = key();
            staged.erase(k);
            model[k] = std::nullopt;
        } else if (what < 88) {
            const Bytes k = key();
            const auto mode = static_cast<SeekMode>(random() % 4);
            StagedChanges::Cursor cursor = staged.cursor();
            const bool found = cursor.seek(k, mode);
            const std::optional<Bytes> expected = ModelSeek(model, k, mode);
            ASSERT_EQ(found, expected.has_value()) << label;
            if (found) {
                ASSERT_EQ(KeyOf(cursor), *expected) << label;
                ASSERT_EQ(Copy(cursor.change().data), model[*expected]) << label;
            }
        } else if (what < 95) {
            savepoint = staged.savepoint();
            at_savepoint = model;
        } else {
            staged.undo_to(savepoint);
            model = at_savepoint;
            savepoint = staged.savepoint();
        }
        ExpectSame(staged, model, label);
        if (HasFatalFailure())
            return;
    }
    EXPECT_FALSE(staged.find(Bytes{0x42, 0x42, 0x42, 0x42, 0x42, 0x42}));
    staged.clear();
    EXPECT_TRUE(staged.empty());
    EXPECT_FALSE(staged.find(key()));
}

// Unbounded memory, and a bound so low that every savepoint writes a run.
INSTANTIATE_TEST_SUITE_P(MemoryBounds, StagedChangesTest, testing::Values(SIZE_MAX, 1));

TEST(StagedChangesRunsTest, ChangesPastTheBoundGoToRunsWithoutSavepoints) {
    StagedChanges staged(2 << 20); // a run every ten thousand changes or so
    for (uint32_t i = 0; i < 40000; ++i) {
        const Bytes k{uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i), 7};
        staged.put(k, Bytes(100, uint8_t(i)));
    }
    EXPECT_EQ(staged.size(), 40000u);
    EXPECT_GE(staged.runs(), 2u);
    for (uint32_t i = 0; i < 40000; i += 997) {
        const std::optional<StagedChanges::Change> found =
            staged.find(Bytes{uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i), 7});
        ASSERT_TRUE(found) << i;
        EXPECT_EQ(Copy(found->data), Bytes(100, uint8_t(i)));
    }
    StagedChanges::Cursor cursor = staged.cursor();
    size_t seen = 0;
    for (bool more = cursor.first(); more; more = cursor.next())
        ++seen;
    EXPECT_EQ(seen, 40000u);
}

TEST(StagedChangesRunsTest, OnlyTheLatestSavepointCanBeReturnedTo) {
    StagedChanges staged;
    const size_t first = staged.savepoint();
    staged.put(Bytes{1}, Bytes{1});
    staged.savepoint();
    staged.put(Bytes{2}, Bytes{2});
    staged.undo_to(first); // stale: ignored
    EXPECT_EQ(staged.size(), 2u);
}

} // namespace
} // namespace morvex::qvd

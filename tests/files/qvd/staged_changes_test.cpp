// The staged changes against a plain ordered map: random puts, erasures,
// re-puts and savepoints, with point lookups and ordered positions checked
// after each step (the order is rebuilt lazily and merged, so interleaving
// changes and ordered reads is the case that matters).
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

void ExpectSame(StagedChanges& staged, const Model& model, const std::string& label) {
    ASSERT_EQ(staged.size(), model.size()) << label;
    staged.sort();
    size_t position = 0;
    for (const auto& [key, data] : model) {
        const StagedChanges::Change change = staged.at(position++);
        ASSERT_EQ(Bytes(change.key.begin(), change.key.end()), key) << label;
        ASSERT_EQ(Copy(change.data), data) << label;
        const std::optional<StagedChanges::Change> found = staged.find(key);
        ASSERT_TRUE(found) << label;
        ASSERT_EQ(Copy(found->data), data) << label;
    }
}

TEST(StagedChangesTest, BehavesLikeAnOrderedMapThroughChangesAndSavepoints) {
    std::mt19937 random(99);
    StagedChanges staged;
    Model model;
    Model at_savepoint;
    size_t savepoint = staged.savepoint();
    auto key = [&] {
        Bytes k(1 + random() % 5);
        for (uint8_t& b : k)
            b = static_cast<uint8_t>("\x00\x01\x7f\x80\xff"[random() % 5]);
        return k;
    };
    for (int step = 0; step < 4000; ++step) {
        const std::string label = "step " + std::to_string(step);
        const uint32_t what = random() % 100;
        if (what < 50) {
            const Bytes k = key();
            const Bytes d(random() % 40, static_cast<uint8_t>(step));
            staged.put(k, d);
            model[k] = d;
        } else if (what < 75) {
            const Bytes k = key();
            staged.erase(k);
            model[k] = std::nullopt;
        } else if (what < 88) {
            const Bytes k = key();
            const auto expected = model.lower_bound(k);
            const size_t at = staged.lower_bound(k);
            ASSERT_EQ(at, static_cast<size_t>(std::distance(model.begin(), expected))) << label;
            const size_t after = staged.upper_bound(k);
            ASSERT_EQ(after, static_cast<size_t>(std::distance(model.begin(), model.upper_bound(k)))) << label;
        } else if (what < 94) {
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

TEST(StagedChangesTest, OnlyTheLatestSavepointCanBeReturnedTo) {
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

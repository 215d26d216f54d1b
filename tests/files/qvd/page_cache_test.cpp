// The page cache: lookups stay right through any mix of inserts, erases and
// evictions (the table moves entries back when one is removed), the byte
// bound holds, a page found since the clock last passed survives it, and the
// generation tells readers when a page was dropped or replaced.
#include "files/qvd/page_cache.h"

#include <gtest/gtest.h>
#include <map>
#include <random>

namespace morvex::qvd {
namespace {

std::shared_ptr<const PageNode> Page(size_t payload, uint8_t mark = 0) {
    auto node = std::make_shared<PageNode>();
    node->bytes.assign(payload, mark);
    return node;
}

TEST(PageCacheTest, LookupsFollowAModelThroughInsertsErasesAndClears) {
    PageCache cache(SIZE_MAX);
    std::map<uint32_t, std::shared_ptr<const PageNode>> model;
    std::mt19937 rng(11);
    for (int step = 0; step < 200000; ++step) {
        // Few distinct homes, so that probe runs collide and removals shift them.
        const uint32_t home = 512 + 256 * (rng() % 3000);
        const unsigned op = rng() % 100;
        if (op < 50) {
            auto page = Page(1 + rng() % 8);
            cache.insert(home, page);
            model[home] = page;
        } else if (op < 80) {
            cache.erase(home);
            model.erase(home);
        } else if (op == 99 && rng() % 50 == 0) {
            cache.clear();
            model.clear();
        } else {
            const auto it = model.find(home);
            ASSERT_EQ(cache.find(home), it == model.end() ? nullptr : it->second) << "step " << step;
        }
    }
    EXPECT_EQ(cache.pages(), model.size());
    for (const auto& [home, page] : model)
        ASSERT_EQ(cache.find(home), page);
}

TEST(PageCacheTest, StaysWithinItsBoundAndKeepsWhatWasUsed) {
    const size_t page_bytes = Page(1000)->memory();
    PageCache cache(10 * page_bytes);
    for (uint32_t n = 1000; n < 1020; ++n) // full, and the clock has been round
        cache.insert(512 + 256 * n, Page(1000));
    const uint32_t kept = 512;
    cache.insert(kept, Page(1000));
    for (uint32_t n = 1; n < 200; ++n) {
        ASSERT_NE(cache.find(kept), nullptr) << "a page used before each pass of the clock stays, " << n;
        cache.insert(512 + 256 * n, Page(1000));
        EXPECT_LE(cache.bytes(), 10 * page_bytes);
    }
    EXPECT_EQ(cache.pages(), 10u);
    EXPECT_NE(cache.find(512 + 256 * 199), nullptr) << "the newest page is there";
    EXPECT_EQ(cache.find(512 + 256 * 150), nullptr) << "an old unused page is gone";
}

TEST(PageCacheTest, KeepsAPageLargerThanItsBoundUntilTheNext) {
    PageCache cache(10);
    cache.insert(512, Page(1000));
    EXPECT_NE(cache.find(512), nullptr);
    cache.insert(768, Page(1000));
    EXPECT_EQ(cache.pages(), 1u);
    EXPECT_NE(cache.find(768), nullptr);
}

TEST(PageCacheTest, GenerationMovesWhenAPageIsDroppedOrReplacedNotWhenEvicted) {
    PageCache cache(3 * Page(100)->memory());
    uint64_t generation = cache.generation();
    for (uint32_t n = 0; n < 10; ++n)
        cache.insert(512 + 256 * n, Page(100)); // evicts as it goes
    EXPECT_EQ(cache.generation(), generation);
    cache.insert(512 + 256 * 9, Page(100)); // replaces
    EXPECT_GT(cache.generation(), generation);
    generation = cache.generation();
    cache.erase(512 + 256 * 9);
    EXPECT_GT(cache.generation(), generation);
    generation = cache.generation();
    cache.erase(512 + 256 * 9); // nothing to drop
    EXPECT_EQ(cache.generation(), generation);
    cache.clear();
    EXPECT_GT(cache.generation(), generation);
    EXPECT_EQ(cache.pages(), 0u);
    EXPECT_EQ(cache.bytes(), 0u);
}

} // namespace
} // namespace morvex::qvd

// The page code of the QVD container: run-length compression, entries with
// shared leading bytes, and page images.
#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_corruption.h"

#include <gtest/gtest.h>
#include <random>

namespace morvex::qvd {
namespace {

struct RunCase {
    const char* label;
    Bytes plain;
    bool compressible;
    Bytes code; // expected code when compressible
};

Bytes Repeat(uint8_t value, size_t n) {
    return Bytes(n, value);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class RunCodeTest : public testing::TestWithParam<RunCase> {};

TEST_P(RunCodeTest, CompressesAsSpecifiedAndExpandsBack) {
    const RunCase& c = GetParam();
    EXPECT_EQ(HasRun(c.plain), c.compressible) << c.label;
    if (!c.compressible)
        return;
    const Bytes code = CompressRuns(c.plain);
    EXPECT_EQ(code, c.code) << c.label;
    Bytes back;
    ASSERT_EQ(ExpandRuns(code, c.plain.size(), back), 0) << c.label;
    EXPECT_EQ(back, c.plain) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunCodeTest,
    testing::Values(
        RunCase{"eight A: one literal, seven repeats, empty final literal",
                Repeat(0x41, 8),
                true,
                {0x01, 0x41, 0x07, 0x00}},
        RunCase{"a run of exactly three stays literal", Bytes{1, 2, 2, 2, 3}, false, {}},
        RunCase{"no run at all", Bytes{1, 2, 3, 4, 5, 6}, false, {}},
        RunCase{"run of four after literals, then a tail",
                Bytes{9, 8, 7, 7, 7, 7, 5},
                true,
                {0x03, 9, 8, 7, 0x03, 0x01, 5}},
        RunCase{"run of three then run of four",
                Bytes{1, 1, 1, 2, 2, 2, 2},
                true,
                {0x04, 1, 1, 1, 2, 0x03, 0x00}},
        RunCase{"a long run needs a two-byte count", Repeat(0, 300), true, {0x01, 0x00, 0xAB, 0x02, 0x00}},
        RunCase{"two runs back to back",
                Concat({Repeat(5, 4), Repeat(6, 5)}),
                true,
                {0x01, 5, 0x03, 0x01, 6, 0x04, 0x00}}),
    [](const testing::TestParamInfo<RunCase>& info) { return "Case" + std::to_string(info.index); });

TEST(RunCodeTest, LongLiteralCountIsBase128) {
    Bytes plain;
    for (int i = 0; i < 130; ++i)
        plain.push_back(static_cast<uint8_t>(i % 2 ? i : 255 - i));
    plain.insert(plain.end(), 4, 0x20);
    const Bytes code = CompressRuns(plain);
    ASSERT_GE(code.size(), 2u);
    EXPECT_EQ(code[0], 0x83); // 131 = 0x83: low seven bits 3 with the continuation bit
    EXPECT_EQ(code[1], 0x01);
}

TEST(RunCodeTest, RandomAndAdversarialDataRoundTrips) {
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        const size_t n = rng() % 600;
        Bytes plain(n);
        const int alphabet = 1 + static_cast<int>(rng() % (round % 3 == 0 ? 2 : 256));
        for (size_t i = 0; i < n; ++i)
            plain[i] = static_cast<uint8_t>(rng() % alphabet);
        if (round % 5 == 0 && n > 10) // long runs at the edges
            std::fill(plain.begin(), plain.begin() + static_cast<ptrdiff_t>(rng() % n), plain[0]);
        if (!HasRun(plain))
            continue;
        const Bytes code = CompressRuns(plain);
        Bytes back;
        ASSERT_EQ(ExpandRuns(code, plain.size(), back), 0);
        ASSERT_EQ(back, plain);
    }
}

struct BadCode {
    const char* label;
    Bytes code;
    size_t expanded;
    int32_t error;
};

class BadRunCodeTest : public testing::TestWithParam<BadCode> {};

TEST_P(BadRunCodeTest, IsReportedAsCorruption) {
    Bytes out;
    EXPECT_EQ(ExpandRuns(GetParam().code, GetParam().expanded, out), GetParam().error) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadRunCodeTest,
    testing::Values(BadCode{"literal count beyond the expanded length", {0x05, 1, 2, 3, 4, 5}, 4, 522},
                    BadCode{"literal bytes missing", {0x04, 1, 2}, 4, 522},
                    BadCode{"repeat beyond the expanded length", {0x01, 7, 0x09}, 5, 530},
                    BadCode{"repeat count missing", {0x01, 7}, 5, 530},
                    BadCode{"repeat with nothing written", {0x00, 0x03}, 3, 530},
                    BadCode{"endless count", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 3, 522}));

Node Leaf(std::vector<std::pair<std::string, std::string>> entries) {
    Node node;
    for (auto& [k, d] : entries) {
        node.keys.emplace_back(k.begin(), k.end());
        node.data.emplace_back(d.begin(), d.end());
    }
    return node;
}

TEST(EntryEncodingTest, SharesLeadingBytesAndOmitsRepeatedLengths) {
    const Node node = Leaf({{"abcd", "xy"}, {"abce", "xy"}, {"abcefg", "1"}});
    Bytes out;
    EncodeEntries(node, out);
    const Bytes expected = {
        0xC0, 6,   0,   4,   0, 'a', 'b', 'c', 'd', 'x', 'y', // first: both lengths, nothing shared
        0x03, 'e', 'x', 'y',                                  // same lengths, shares "abc"
        0xC4, 7,   0,   6,   0, 'f', 'g', '1',                // both lengths differ, shares "abce"
    };
    EXPECT_EQ(out, expected);
}

TEST(EntryEncodingTest, SharedCountStopsAt63) {
    const std::string base(100, 'k');
    const Node node = Leaf({{base + "a", ""}, {base + "b", ""}});
    Bytes out;
    EncodeEntries(node, out);
    const size_t second = 5 + 101;
    ASSERT_GT(out.size(), second);
    EXPECT_EQ(out[second], 63);
}

TEST(PageTest, LeafAndInnerPagesRoundTrip) {
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        Node node;
        node.level = static_cast<uint8_t>(round % 3);
        const size_t n = 1 + rng() % 60;
        std::vector<Bytes> keys;
        for (size_t i = 0; i < n; ++i) {
            Bytes k(1 + rng() % 12);
            for (auto& b : k)
                b = static_cast<uint8_t>(rng() % 4);
            keys.push_back(k);
        }
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        for (auto& k : keys) {
            node.keys.push_back(k);
            if (node.level == 0)
                node.data.push_back(Bytes(rng() % 40, static_cast<uint8_t>(rng() % 3)));
            else
                node.children.push_back(0);
        }
        Bytes page = EncodePage(node);
        ASSERT_EQ(page.size() % UnitSize, 0u);
        for (size_t i = 0; i < node.children.size(); ++i) {
            node.children[i] = static_cast<uint32_t>(512 + 256 * i);
            PatchChild(page, i, node.children[i]);
        }
        const PageHeader h = ReadPageHeader(page.data());
        const bool compressed = RoundToUnit(h.stored) < RoundToUnit(h.expanded);
        EXPECT_EQ(compressed, h.stored != h.expanded);
        for (size_t i = h.stored; i < page.size(); ++i)
            ASSERT_EQ(page[i], PageFiller);
        Node back;
        ASSERT_EQ(DecodePage(page, page.size(), back), 0);
        EXPECT_EQ(back.keys, node.keys);
        EXPECT_EQ(back.data, node.data);
        EXPECT_EQ(back.children, node.children);
        EXPECT_EQ(back.level, node.level);
    }
}

// Fixed-size entries are found by their place alone; one entry of another
// length (the last, or a key one byte longer) sends the page back to slots.
TEST(PageTest, UniformEntriesAreFoundWithoutSlotsAndOthersWithThem) {
    for (int variant = 0; variant < 3; ++variant) {
        for (uint8_t level : {uint8_t{0}, uint8_t{1}}) {
            Node node;
            node.level = level;
            for (uint32_t i = 0; i < 40; ++i) {
                Bytes key{0, 0, 1, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
                if (variant == 2 && i == 17)
                    key.push_back(0); // still in order, one byte longer
                node.keys.push_back(key);
                if (level == 0)
                    node.data.push_back(Bytes(variant == 1 && i == 39 ? 7 : 12, static_cast<uint8_t>(i)));
                else
                    node.children.push_back(512 + 256 * i);
            }
            Bytes page = EncodePage(node);
            for (size_t i = 0; i < node.children.size(); ++i)
                PatchChild(page, i, node.children[i]);
            PageNode decoded;
            ASSERT_EQ(DecodePage(page, page.size(), decoded), 0);
            const bool uniform = variant == 0 || (variant == 1 && level == 1);
            EXPECT_EQ(decoded.stride != 0, uniform) << variant << " " << int(level);
            EXPECT_EQ(decoded.slots.empty(), uniform);
            ASSERT_EQ(decoded.size(), node.keys.size());
            for (size_t i = 0; i < decoded.size(); ++i) {
                const ByteView key = decoded.key(i);
                const ByteView data = decoded.data(i);
                ASSERT_EQ(Bytes(key.begin(), key.end()), node.keys[i]) << i;
                ASSERT_EQ(Bytes(data.begin(), data.end()), level == 0 ? node.data[i] : Bytes{}) << i;
            }
            const PageNode rebuilt = ToPageNode(node);
            EXPECT_EQ(rebuilt.stride, decoded.stride);
            EXPECT_EQ(rebuilt.range_first, decoded.range_first);
            EXPECT_EQ(rebuilt.range_last, decoded.range_last);
        }
    }
}

TEST(PageTest, PlainPageWithoutRunsHasStoredEqualToExpanded) {
    const Node node = Leaf({{"a", "bcdefg"}, {"b", "hijk"}});
    const Bytes page = EncodePage(node);
    const PageHeader h = ReadPageHeader(page.data());
    EXPECT_EQ(h.stored, h.expanded);
    EXPECT_EQ(page.size(), 256u);
}

TEST(PageTest, CompressesOnlyWhenItSavesAUnit) {
    // 200 equal data bytes fit one unit either way: stored plain.
    Node small = Leaf({{"k", std::string(200, 'z')}});
    EXPECT_EQ(ReadPageHeader(EncodePage(small).data()).stored,
              ReadPageHeader(EncodePage(small).data()).expanded);
    // 2000 equal bytes shrink from 8 units to 1: compressed.
    Node big = Leaf({{"k", std::string(2000, 'z')}});
    const Bytes page = EncodePage(big);
    EXPECT_EQ(page.size(), 256u);
    EXPECT_LT(ReadPageHeader(page.data()).stored, ReadPageHeader(page.data()).expanded);
}

TEST(PageTest, DamagedPagesAreReportedNotTrusted) {
    const Node node = Leaf({{"abc", "def"}, {"abd", "ghi"}});
    const Bytes good = EncodePage(node);
    Node out;
    Bytes bad = good;
    Store16(bad.data() + 4, 300); // stored length of two units in a one-unit slot
    EXPECT_EQ(DecodePage(bad, bad.size(), out), CorruptPageClassMismatch);
    bad = good;
    Store16(bad.data() + 8, 5); // node shorter than the expanded page
    EXPECT_EQ(DecodePage(bad, bad.size(), out), CorruptExpandedLargerThanNode);
    bad = good;
    Store16(bad.data() + 10, 3); // one entry more than written
    EXPECT_EQ(DecodePage(bad, bad.size(), out), CorruptEntriesOverrun);
    bad = good;
    bad[PageHeaderSize] = 0x40; // first entry without its total length
    EXPECT_EQ(DecodePage(bad, bad.size(), out), CorruptEntryHeader);
    // Keys that do not ascend: swapped, equal, and a longer key before its prefix.
    for (const auto& [first, second] :
         {std::pair{"abd", "abc"}, std::pair{"abc", "abc"}, std::pair{"abcd", "abc"}, std::pair{"b", "a"}}) {
        const Bytes page = EncodePage(Leaf({{first, "x"}, {second, "y"}}));
        EXPECT_EQ(DecodePage(page, page.size(), out), CorruptKeyOrder) << first << " " << second;
    }
}

TEST(KeyOrderTest, UnsignedBytesAndShorterFirst) {
    EXPECT_LT(CompareKeys(Bytes{0x01}, Bytes{0xFF}), 0);
    EXPECT_LT(CompareKeys(Bytes{0x7F}, Bytes{0x80}), 0);
    EXPECT_LT(CompareKeys(Bytes{1, 2}, Bytes{1, 2, 0}), 0);
    EXPECT_EQ(CompareKeys(Bytes{}, Bytes{}), 0);
    EXPECT_GT(CompareKeys(Bytes{2}, Bytes{1, 9, 9}), 0);
}

} // namespace
} // namespace morvex::qvd

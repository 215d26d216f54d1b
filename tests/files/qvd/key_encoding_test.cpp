// Key bytes must order as the runtime compares: random pairs of values of
// every field type, ascending and descending, with and without NOCASE, under
// the default character tables and under a collation with digraphs.
#include "files/qvd/key_encoding.h"
#include "runtime/char_tables.h"
#include "runtime/field_compare.h"
#include "runtime/text_compare.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <string_view>

namespace morvex::qvd {
namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

int compare_bytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()))
        return -1;
    return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end()) ? 1 : 0;
}

std::string_view text_of(const FieldDescription& field, const uint8_t* element) {
    const char* p = reinterpret_cast<const char*>(element);
    switch (field.type) {
    case FieldType::CString: {
        const void* end = std::memchr(p, 0, field.size);
        return {p, end ? static_cast<size_t>(static_cast<const char*>(end) - p) : field.size};
    }
    case FieldType::PString:
        return {p + 1, std::min<size_t>(element[0], field.size - 1)};
    default:
        return {p, field.size};
    }
}

// The runtime's order of a key: CompareField per component, the case-blind
// text comparison for text components of a NOCASE key.
int runtime_compare(const KeyShape& key, const uint8_t* a, const uint8_t* b) {
    for (const KeyPart& part : key.parts) {
        int order;
        if (key.nocase && IsTextType(part.field.type)) {
            order = CompareStringValuesNoCase(text_of(part.field, a + part.field.offset),
                                              text_of(part.field, b + part.field.offset));
        } else {
            order = CompareField(part.field, a, b);
        }
        if (order != 0)
            return part.descending ? -sign(order) : sign(order);
    }
    return 0;
}

class ValueMaker {
public:
    explicit ValueMaker(uint32_t seed) : m_random(seed) {}

    uint32_t below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(m_random); }

    // Fills one element with a value that is often near the interesting edges.
    void fill(const FieldDescription& field, uint8_t* p) {
        switch (field.type) {
        case FieldType::String:
        case FieldType::CString:
        case FieldType::PString:
            fill_text(field, p);
            return;
        case FieldType::SReal: {
            static const float edges[] = {0.0f,    -0.0f,    1.0f,      -1.0f, 1e-30f,
                                          -1e-30f, INFINITY, -INFINITY, 2.5f};
            float value = below(3) == 0 ? edges[below(9)] : std::bit_cast<float>(uint32_t(m_random()));
            if (std::isnan(value))
                value = 0.5f;
            std::memcpy(p, &value, 4);
            return;
        }
        case FieldType::Real: {
            static const double edges[] = {0.0, -0.0, 1.0, -1.0, 1e-300, -1e-300, INFINITY, -INFINITY, 2.5};
            double value = below(3) == 0 ? edges[below(9)]
                                         : std::bit_cast<double>(uint64_t(m_random()) << 32 | m_random());
            if (std::isnan(value))
                value = -0.5;
            std::memcpy(p, &value, 8);
            return;
        }
        case FieldType::Decimal:
        case FieldType::PDecimal:
            for (uint32_t i = 0; i < field.size; ++i)
                p[i] = uint8_t(below(4) == 0 ? 0 : below(10) << 4 | below(10));
            if (field.type == FieldType::Decimal)
                p[0] = uint8_t((below(2) ? 0x00 : 0x10 * (1 + below(15))) | (p[0] & 0x0F));
            else
                p[field.size - 1] = uint8_t((p[field.size - 1] & 0xF0) | (below(2)   ? 0x0D
                                                                          : below(2) ? 0x0C
                                                                                     : 0x0F));
            return;
        default:
            // Integers, DATE, TIME: mostly small differences so that equal and
            // neighbouring values meet, sometimes any bytes.
            for (uint32_t i = 0; i < field.size; ++i)
                p[i] = uint8_t(below(3) == 0 ? m_random() : below(3) == 0 ? 0xFF : below(3));
            return;
        }
    }

private:
    void fill_text(const FieldDescription& field, uint8_t* p) {
        // A small alphabet with blanks, both cases, a digraph character, a
        // character below the blank and high characters.
        static const uint8_t alphabet[] = {' ',  ' ',  ' ',  'a',  'A',  'b',  'B', 'z',
                                           0xDF, 0xC6, 0xE6, 0x01, 0x7F, 0xFF, 0};
        std::memset(p, ' ', field.size);
        const uint32_t length = below(field.size + 1);
        uint8_t* text = field.type == FieldType::PString ? p + 1 : p;
        const uint32_t room = field.type == FieldType::PString ? field.size - 1 : field.size;
        for (uint32_t i = 0; i < std::min(length, room); ++i)
            text[i] = alphabet[below(sizeof alphabet)];
        if (field.type == FieldType::PString)
            p[0] = uint8_t(below(field.size + 2)); // sometimes longer than the field
        else if (field.type == FieldType::CString && below(2))
            p[below(field.size)] = 0;
    }

    std::mt19937 m_random;
};

// A collation that is a permutation of the codes (the blank keeps a weight in
// the middle), with two digraphs and the Windows-1252 case pairs of Æ/æ.
CharTables collating_tables() {
    CharTables tables = CharTables::Defaults();
    std::vector<uint8_t> weights(256);
    std::iota(weights.begin(), weights.end(), 0);
    std::mt19937 random(7);
    std::shuffle(weights.begin(), weights.end(), random);
    std::copy(weights.begin(), weights.end(), tables.collation.begin());
    tables.digraphs[0] = {0xDF, 'S', 'S'};
    tables.digraphs[1] = {0xC6, 'A', 'E'};
    tables.digraph_count = 2;
    tables.case_partner[0xE6] = 0xC6;
    tables.case_partner[0xC6] = 0xE6;
    tables.char_class[0xE6] = CharLower;
    tables.char_class[0xC6] = CharUpper;
    return tables;
}

enum class Tables { Defaults, Collating };

struct OrderCase {
    Tables tables;
    bool nocase;
};

class KeyOrder : public testing::TestWithParam<OrderCase> {
protected:
    void SetUp() override {
        SetCharTables(GetParam().tables == Tables::Defaults ? CharTables::Defaults() : collating_tables());
    }
    void TearDown() override { SetCharTables(CharTables::Defaults()); }

    // Random pairs over the key; each pair also compared with itself.
    void check_pairs(const KeyShape& key, uint32_t record_size, uint32_t seed, int pairs) {
        ValueMaker maker(seed);
        std::vector<uint8_t> a(record_size), b(record_size);
        for (int i = 0; i < pairs; ++i) {
            for (const KeyPart& part : key.parts) {
                for (uint32_t e = 0; e < part.field.dimension; ++e) {
                    maker.fill(part.field, a.data() + part.field.offset + e * part.field.size);
                    // Often the same value on both sides, to reach later components.
                    if (maker.below(3) == 0)
                        std::memcpy(b.data() + part.field.offset + e * part.field.size,
                                    a.data() + part.field.offset + e * part.field.size, part.field.size);
                    else
                        maker.fill(part.field, b.data() + part.field.offset + e * part.field.size);
                }
            }
            const int expected = runtime_compare(key, a.data(), b.data());
            const int actual = compare_bytes(KeyBytes(key, a.data()), KeyBytes(key, b.data()));
            ASSERT_EQ(actual, expected) << "pair " << i << " of field " << key.parts[0].field.label;
        }
    }
};

const FieldDescription SingleFields[] = {
    FieldDescription::Of(FieldType::Byte, "BYTE", 0),
    FieldDescription::Of(FieldType::Short, "SHORT", 0),
    FieldDescription::Of(FieldType::UShort, "USHORT", 0),
    FieldDescription::Of(FieldType::Long, "LONG", 0),
    FieldDescription::Of(FieldType::ULong, "ULONG", 0),
    FieldDescription::Of(FieldType::SReal, "SREAL", 0),
    FieldDescription::Of(FieldType::Real, "REAL", 0),
    FieldDescription::Of(FieldType::Date, "DATE", 0),
    FieldDescription::Of(FieldType::Time, "TIME", 0),
    FieldDescription::Sized(FieldType::Decimal, "DECIMAL", 0, 4),
    FieldDescription::Sized(FieldType::PDecimal, "PDECIMAL", 0, 3),
    FieldDescription::Sized(FieldType::String, "STRING", 0, 6),
    FieldDescription::Sized(FieldType::CString, "CSTRING", 0, 6),
    FieldDescription::Sized(FieldType::PString, "PSTRING", 0, 6),
    FieldDescription::Sized(FieldType::Group, "GROUP", 0, 3),
    FieldDescription::Of(FieldType::Short, "SHORT[3]", 0, 3),
};

TEST_P(KeyOrder, EachTypeOrdersAsTheRuntimeComparesAscendingAndDescending) {
    uint32_t seed = 1;
    for (const FieldDescription& field : SingleFields) {
        for (bool descending : {false, true}) {
            KeyShape key{{{field, descending}}, GetParam().nocase};
            check_pairs(key, field.total_size(), seed++, 3000);
        }
    }
}

TEST_P(KeyOrder, ComponentsConcatenateInKeyOrder) {
    // Text first, so that its end must delimit it from what follows.
    const std::vector<FieldDescription> fields = {
        FieldDescription::Sized(FieldType::String, "A", 0, 4),
        FieldDescription::Sized(FieldType::PDecimal, "B", 4, 2),
        FieldDescription::Sized(FieldType::CString, "C", 6, 5),
        FieldDescription::Of(FieldType::Long, "D", 11),
    };
    for (uint32_t mask = 0; mask < 16; ++mask) {
        KeyShape key;
        key.nocase = GetParam().nocase;
        for (size_t i = 0; i < fields.size(); ++i)
            key.parts.push_back({fields[i], (mask >> i & 1) != 0});
        check_pairs(key, 15, 100 + mask, 2000);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, KeyOrder,
    testing::Values(OrderCase{Tables::Defaults, false}, OrderCase{Tables::Defaults, true},
                    OrderCase{Tables::Collating, false}, OrderCase{Tables::Collating, true}),
    [](const testing::TestParamInfo<OrderCase>& info) {
        return std::string(info.param.tables == Tables::Defaults ? "Defaults" : "Collating") +
               (info.param.nocase ? "NoCase" : "Case");
    });

std::vector<uint8_t> string_key(std::string_view text, bool descending = false) {
    const FieldDescription field = FieldDescription::Sized(FieldType::String, "S", 0, 8);
    std::string padded(text);
    padded.resize(8, ' ');
    return KeyBytes({{{field, descending}}, false}, reinterpret_cast<const uint8_t*>(padded.data()));
}

TEST(KeyEncoding, TrailingBlanksDoNotCountAndAShortTextSortsAsIfPadded) {
    EXPECT_EQ(string_key("AB"), string_key("AB   "));
    // "AB" reads as "AB " against "AB\x01": the blank is the larger character.
    EXPECT_GT(string_key("AB"), string_key("AB\x01"));
    EXPECT_LT(string_key("AB"), string_key("ABC"));
    // At the third character a letter meets a blank: the shorter run of blanks is larger.
    EXPECT_GT(string_key("A B"), string_key("A  B"));
    EXPECT_LT(string_key("A \x01"), string_key("A  \x01"));
}

TEST(KeyEncoding, DescendingTextReversesPrefixOrder) {
    EXPECT_GT(string_key("AB", true), string_key("ABC", true));
    EXPECT_LT(string_key("AB", true), string_key("AB\x01", true));
}

TEST(KeyEncoding, BothZerosOfARealAreOneKey) {
    const FieldDescription field = FieldDescription::Of(FieldType::Real, "R", 0);
    const double plus = 0.0, minus = -0.0;
    KeyShape key{{{field, false}}, false};
    EXPECT_EQ(KeyBytes(key, reinterpret_cast<const uint8_t*>(&plus)),
              KeyBytes(key, reinterpret_cast<const uint8_t*>(&minus)));
}

TEST(KeyEncoding, NanSortsAfterInfinity) {
    const FieldDescription field = FieldDescription::Of(FieldType::Real, "R", 0);
    const double nan = std::nan(""), negative_nan = -std::nan(""), inf = INFINITY;
    KeyShape key{{{field, false}}, false};
    auto bytes = [&](const double& v) { return KeyBytes(key, reinterpret_cast<const uint8_t*>(&v)); };
    EXPECT_GT(bytes(nan), bytes(inf));
    EXPECT_EQ(bytes(nan), bytes(negative_nan));
}

struct BlankCase {
    const char* label;
    FieldDescription field;
    std::vector<uint8_t> value;
    bool blank;
};

class KeyBlank : public testing::TestWithParam<BlankCase> {};

TEST_P(KeyBlank, OptLeavesOutOnlyEmptyValues) {
    const BlankCase& c = GetParam();
    KeyShape key{{{c.field, false}}, false};
    EXPECT_EQ(KeyValueIsBlank(key, c.value.data()), c.blank);
}

INSTANTIATE_TEST_SUITE_P(
    Types, KeyBlank,
    testing::Values(
        BlankCase{
            "StringBlanks", FieldDescription::Sized(FieldType::String, "S", 0, 3), {' ', ' ', ' '}, true},
        BlankCase{
            "StringText", FieldDescription::Sized(FieldType::String, "S", 0, 3), {' ', 'a', ' '}, false},
        BlankCase{"StringZeros", FieldDescription::Sized(FieldType::String, "S", 0, 2), {0, 0}, false},
        BlankCase{
            "CStringEmpty", FieldDescription::Sized(FieldType::CString, "S", 0, 3), {0, 'x', 'y'}, true},
        BlankCase{
            "PStringEmpty", FieldDescription::Sized(FieldType::PString, "S", 0, 3), {0, 'x', 'y'}, true},
        BlankCase{
            "PStringText", FieldDescription::Sized(FieldType::PString, "S", 0, 3), {1, 'x', 'y'}, false},
        BlankCase{"LongZero", FieldDescription::Of(FieldType::Long, "L", 0), {0, 0, 0, 0}, true},
        BlankCase{"LongOne", FieldDescription::Of(FieldType::Long, "L", 0), {0, 0, 0, 1}, false},
        BlankCase{"SRealMinusZero", FieldDescription::Of(FieldType::SReal, "F", 0), {0, 0, 0, 0x80}, true},
        BlankCase{
            "DecimalMinusZero", FieldDescription::Sized(FieldType::Decimal, "D", 0, 2), {0x10, 0}, true},
        BlankCase{"DecimalOne", FieldDescription::Sized(FieldType::Decimal, "D", 0, 2), {0x00, 0x01}, false}),
    [](const testing::TestParamInfo<BlankCase>& info) { return std::string(info.param.label); });

TEST(KeyEncoding, PrefixSuccessorFollowsEveryExtension) {
    EXPECT_EQ(KeyPrefixSuccessor({1, 2, 0xFF}), (std::vector<uint8_t>{1, 3}));
    EXPECT_TRUE(KeyPrefixSuccessor({0xFF, 0xFF}).empty());
}

} // namespace
} // namespace morvex::qvd

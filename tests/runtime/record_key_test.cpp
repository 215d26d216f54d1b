#include "runtime/date.h"
#include "runtime/record_key.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace morvex {
namespace {

struct Row {
    uint8_t byte;
    uint8_t pad;
    int16_t small;
    int32_t number;
    uint32_t unsigned_number;
    DateStorage date;
    char text[6];
    char ctext[5];
    char ptext[5];
    double real;
};

FieldDescription row_field(int index) {
    switch (index) {
    case 0:
        return FieldDescription::Of(FieldType::Byte, "R:BYTE", offsetof(Row, byte));
    case 1:
        return FieldDescription::Of(FieldType::Short, "R:SMALL", offsetof(Row, small));
    case 2:
        return FieldDescription::Of(FieldType::Long, "R:NUMBER", offsetof(Row, number));
    case 3:
        return FieldDescription::Of(FieldType::ULong, "R:UNSIGNED", offsetof(Row, unsigned_number));
    case 4:
        return FieldDescription::Of(FieldType::Date, "R:DATE", offsetof(Row, date));
    case 5:
        return FieldDescription::Sized(FieldType::String, "R:TEXT", offsetof(Row, text), 6);
    case 6:
        return FieldDescription::Sized(FieldType::CString, "R:CTEXT", offsetof(Row, ctext), 5);
    case 7:
        return FieldDescription::Sized(FieldType::PString, "R:PTEXT", offsetof(Row, ptext), 5);
    default:
        return FieldDescription::Of(FieldType::Real, "R:REAL", offsetof(Row, real));
    }
}

// Few distinct values per field, so that keys tie often and prefixes are
// cut inside and between fields.
Row random_row(std::mt19937& random) {
    Row row{};
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    row.byte = static_cast<uint8_t>(pick(3) * 120);
    row.small = static_cast<int16_t>(pick(5) * 9000 - 18000);
    row.number = static_cast<int32_t>(int64_t{pick(5)} * 1'000'000'000 - 2'000'000'000);
    row.unsigned_number = static_cast<uint32_t>(pick(4)) * 0x50000001u;
    row.date = LongToDate(DATE(1 + pick(12), 1 + pick(28), 1990 + pick(3)));
    std::memset(row.text, ' ', sizeof row.text);
    std::memset(row.ctext, 0, sizeof row.ctext);
    for (int i = pick(6); i > 0; --i)
        row.text[pick(6)] = static_cast<char>('a' + pick(3));
    for (int i = 0, n = pick(5); i < n; ++i)
        row.ctext[i] = static_cast<char>(pick(3) == 0 ? ' ' : 'a' + pick(3));
    row.ptext[0] = static_cast<char>(pick(6));
    for (int i = 1; i < 5; ++i)
        row.ptext[i] = static_cast<char>(pick(2) == 0 ? ' ' : 'x' + pick(2));
    row.real = pick(3) - 1.0;
    return row;
}

TEST(RecordKey, PrefixNeverContradictsTheComparison) {
    std::mt19937 random(99);
    std::vector<Row> rows(400);
    for (Row& row : rows)
        row = random_row(random);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<RecordKey::Part> parts;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
            parts.push_back(RecordKey::Part{row_field(static_cast<int>(random() % 9)), random() % 2 == 0});
        const RecordKey key(parts);
        for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
            const auto* a = reinterpret_cast<const uint8_t*>(&rows[i]);
            const auto* b = reinterpret_cast<const uint8_t*>(&rows[i + 1]);
            const uint64_t pa = key.prefix(a);
            const uint64_t pb = key.prefix(b);
            const int order = key.compare(a, b);
            if (pa != pb) {
                ASSERT_EQ(pa < pb, order < 0) << "trial " << trial << " row " << i;
                ASSERT_NE(order, 0) << "trial " << trial << " row " << i;
            }
        }
    }
}

TEST(RecordKey, SortIsStableAndMatchesTheComparison) {
    std::mt19937 random(5);
    std::vector<Row> rows(2000);
    for (Row& row : rows)
        row = random_row(random);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<RecordKey::Part> parts;
        for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n)
            parts.push_back(RecordKey::Part{row_field(static_cast<int>(random() % 9)), random() % 2 == 0});
        const RecordKey key(parts);
        std::vector<uint8_t*> records;
        for (Row& row : rows)
            records.push_back(reinterpret_cast<uint8_t*>(&row));
        std::vector<uint8_t*> expected = records;
        std::stable_sort(expected.begin(), expected.end(),
                         [&key](const uint8_t* a, const uint8_t* b) { return key.compare(a, b) < 0; });
        key.sort(records);
        ASSERT_EQ(records, expected) << "trial " << trial;
    }
}

TEST(RecordKey, KeysStartingWithARealHaveNoPrefix) {
    EXPECT_FALSE(RecordKey({RecordKey::Part{row_field(8), false}}).has_prefix());
    EXPECT_TRUE(
        RecordKey({RecordKey::Part{row_field(2), true}, RecordKey::Part{row_field(8), false}}).has_prefix());
}

} // namespace
} // namespace morvex

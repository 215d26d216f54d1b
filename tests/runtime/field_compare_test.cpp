#include "runtime/date.h"
#include "runtime/field_compare.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace morvex {
namespace {

struct CompareCase {
    const char* label;
    FieldType type;
    uint32_t size;
    std::vector<uint8_t> left;
    std::vector<uint8_t> right;
    int expected; // sign of the comparison
};

template <typename T>
std::vector<uint8_t> bytes_of(T value) {
    std::vector<uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::vector<uint8_t> text(const char* value, std::size_t size) {
    std::vector<uint8_t> bytes(size, ' ');
    std::memcpy(bytes.data(), value, std::min(std::strlen(value), size));
    return bytes;
}

std::vector<uint8_t> date_bytes(int32_t month, int32_t day, int32_t year) {
    const DateStorage stored = LongToDate(DATE(month, day, year));
    return {stored.bytes.begin(), stored.bytes.end()};
}

class FieldCompareCases : public ::testing::TestWithParam<CompareCase> {};

TEST_P(FieldCompareCases, OrderByTheFieldsType) {
    const CompareCase& c = GetParam();
    const FieldDescription field = FieldDescription::Sized(c.type, "F", 0, c.size);
    const int order = CompareField(field, c.left.data(), c.right.data());
    EXPECT_EQ((order > 0) - (order < 0), c.expected) << c.label;
    const int reverse = CompareField(field, c.right.data(), c.left.data());
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.expected) << c.label << " (reversed)";
}

INSTANTIATE_TEST_SUITE_P(
    Table, FieldCompareCases,
    ::testing::Values(
        CompareCase{"byte is unsigned", FieldType::Byte, 1, {200}, {100}, 1},
        CompareCase{"short is signed", FieldType::Short, 2, bytes_of<int16_t>(-5), bytes_of<int16_t>(3), -1},
        CompareCase{"ushort", FieldType::UShort, 2, bytes_of<uint16_t>(65000), bytes_of<uint16_t>(3), 1},
        CompareCase{"long", FieldType::Long, 4, bytes_of<int32_t>(-70000), bytes_of<int32_t>(-69999), -1},
        CompareCase{"ulong", FieldType::ULong, 4, bytes_of<uint32_t>(4'000'000'000u), bytes_of<uint32_t>(1),
                    1},
        CompareCase{"sreal", FieldType::SReal, 4, bytes_of(1.5f), bytes_of(-2.5f), 1},
        CompareCase{"real", FieldType::Real, 8, bytes_of(0.1), bytes_of(0.1), 0},
        CompareCase{"date orders by year before day", FieldType::Date, 4, date_bytes(1, 31, 2001),
                    date_bytes(12, 1, 2000), 1},
        CompareCase{"date orders by month before day", FieldType::Date, 4, date_bytes(2, 1, 2001),
                    date_bytes(1, 31, 2001), 1},
        CompareCase{"time", FieldType::Time, 4, {99, 59, 59, 1}, {0, 0, 0, 2}, -1},
        CompareCase{"string", FieldType::String, 5, text("abc", 5), text("abd", 5), -1},
        CompareCase{"string bytes compare unsigned", FieldType::String, 2, text("\xe9", 2), text("z", 2), 1},
        CompareCase{"cstring stops at its zero",
                    FieldType::CString,
                    6,
                    {'a', 'b', 0, 'z', 'z', 0},
                    {'a', 'b', ' ', ' ', 0, 0},
                    0},
        CompareCase{"cstring shorter is padded", FieldType::CString, 4, {'a', 0, 0, 0}, {'a', 1, 0, 0}, 1},
        CompareCase{"pstring uses its length",
                    FieldType::PString,
                    5,
                    {2, 'a', 'b', 'x', 'x'},
                    {3, 'a', 'b', 'c', 'q'},
                    -1},
        CompareCase{
            "pstring length is cut to the field", FieldType::PString, 3, {250, 'a', 'b'}, {2, 'a', 'b'}, 0},
        CompareCase{
            "decimal positive digits", FieldType::Decimal, 3, {0x00, 0x12, 0x35}, {0x00, 0x12, 0x34}, 1},
        CompareCase{"decimal negative below positive", FieldType::Decimal, 2, {0xF9, 0x99}, {0x00, 0x01}, -1},
        CompareCase{"decimal negatives by magnitude", FieldType::Decimal, 2, {0xF0, 0x05}, {0xF0, 0x04}, -1},
        CompareCase{"decimal minus zero equals zero", FieldType::Decimal, 2, {0xF0, 0x00}, {0x00, 0x00}, 0},
        CompareCase{
            "pdecimal sign in the last nibble", FieldType::PDecimal, 2, {0x12, 0x3D}, {0x00, 0x1F}, -1},
        CompareCase{
            "pdecimal any other sign is positive", FieldType::PDecimal, 2, {0x12, 0x3C}, {0x12, 0x3F}, 0},
        CompareCase{"group compares bytes", FieldType::Group, 3, {1, 2, 3}, {1, 2, 4}, -1}));

TEST(FieldCompare, DimensionedFieldsCompareElementByElement) {
    const FieldDescription field = FieldDescription::Of(FieldType::Short, "A", 2, 3);
    const int16_t left[4] = {99, 1, 2, 3};
    const int16_t right[4] = {-99, 1, 2, 4};
    EXPECT_LT(
        CompareField(field, reinterpret_cast<const uint8_t*>(left), reinterpret_cast<const uint8_t*>(right)),
        0);
    const int16_t same[4] = {0, 1, 2, 3};
    EXPECT_EQ(
        CompareField(field, reinterpret_cast<const uint8_t*>(left), reinterpret_cast<const uint8_t*>(same)),
        0);
}

} // namespace
} // namespace morvex

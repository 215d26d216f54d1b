#include "files/record_descriptor.h"

#include <gtest/gtest.h>
#include <vector>

namespace morvex {
namespace {

RecordDescription customer_like() {
    return RecordDescription(68, {FieldDescription::Of(FieldType::Long, "CUS:CUSID", 0),
                                  FieldDescription::Sized(FieldType::String, "CUS:NAME", 4, 20),
                                  FieldDescription::Sized(FieldType::String, "CUS:SUBURB", 24, 20),
                                  FieldDescription::Sized(FieldType::String, "CUS:PHONE", 44, 20),
                                  FieldDescription::Of(FieldType::Long, "CUS:STARTDATE", 64)});
}

void expect_same(const RecordDescription& a, const RecordDescription& b) {
    ASSERT_EQ(a.record_size(), b.record_size());
    ASSERT_EQ(a.field_count(), b.field_count());
    for (int32_t n = 1; n <= a.field_count(); ++n) {
        EXPECT_EQ(a.field(n).type, b.field(n).type) << n;
        EXPECT_EQ(a.field(n).offset, b.field(n).offset) << n;
        EXPECT_EQ(a.field(n).size, b.field(n).size) << n;
        EXPECT_EQ(a.field(n).label, b.field(n).label) << n;
    }
}

TEST(RecordDescriptorTest, SequentialRecordEncodesWithoutOffsets) {
    std::vector<uint8_t> form;
    ASSERT_TRUE(EncodeRecordDescriptor(customer_like(), form).ok);
    const std::vector<uint8_t> header{22, 0, 68, 0, 0, 0, 5, 0, 0, 0};
    ASSERT_GE(form.size(), 14u);
    EXPECT_EQ(std::vector<uint8_t>(form.begin(), form.begin() + 10), header);
    EXPECT_EQ(form[10] | form[11] << 8, static_cast<int>(form.size()));
    // First field: LONG, no flags, label; the second: STRING, size 20 in one byte.
    const std::vector<uint8_t> first{6, 0, 'C', 'U', 'S', ':', 'C', 'U', 'S', 'I', 'D', 0, 18, 0, 20};
    EXPECT_EQ(std::vector<uint8_t>(form.begin() + 14, form.begin() + 14 + first.size()), first);

    RecordDescription back;
    ASSERT_TRUE(DecodeRecordDescriptor(form, back).ok);
    expect_same(back, customer_like());
}

TEST(RecordDescriptorTest, LargeSizesTakeTwoBytesAndGapsTakeAnOffset) {
    const RecordDescription description(400, {FieldDescription::Sized(FieldType::String, "A", 0, 0x1F),
                                              FieldDescription::Sized(FieldType::CString, "B", 0x1F, 0x20),
                                              FieldDescription::Sized(FieldType::PString, "C", 0x3F, 300),
                                              FieldDescription::Of(FieldType::Short, "OVER", 2), // overlays A
                                              FieldDescription::Sized(FieldType::Decimal, "D", 4, 7)});
    std::vector<uint8_t> form;
    ASSERT_TRUE(EncodeRecordDescriptor(description, form).ok);
    // B: size 0x20 written as 0x20 0x20; C: 300 written as 0x21 0x2C.
    const std::vector<uint8_t> b{19, 0, 0x20, 0x20, 'B', 0};
    EXPECT_EQ(std::vector<uint8_t>(form.begin() + 14 + 5, form.begin() + 14 + 5 + 6), b);
    const std::vector<uint8_t> c{20, 0, 0x21, 0x2C, 'C', 0};
    EXPECT_EQ(std::vector<uint8_t>(form.begin() + 25, form.begin() + 31), c);
    const std::vector<uint8_t> over{2, 8, 'O', 'V', 'E', 'R', 0, 2};
    EXPECT_EQ(std::vector<uint8_t>(form.begin() + 31, form.begin() + 39), over);

    RecordDescription back;
    ASSERT_TRUE(DecodeRecordDescriptor(form, back).ok);
    expect_same(back, description);
}

TEST(RecordDescriptorTest, WhatTheFormCannotHoldIsRefused) {
    std::vector<uint8_t> form;
    EXPECT_FALSE(EncodeRecordDescriptor(
                     RecordDescription(600, {FieldDescription::Of(FieldType::Long, "X", 300)}), form)
                     .ok);
    EXPECT_FALSE(EncodeRecordDescriptor(
                     RecordDescription(16, {FieldDescription::Of(FieldType::Long, "X", 0, 4)}), form)
                     .ok);
    EXPECT_FALSE(EncodeRecordDescriptor(
                     RecordDescription(8, {FieldDescription::Sized(FieldType::Memo, "M", 0, 8)}), form)
                     .ok);
    EXPECT_TRUE(form.empty());
}

struct BadForm {
    const char* label;
    std::vector<uint8_t> bytes;
};

class RecordDescriptorBadFormTest : public ::testing::TestWithParam<BadForm> {};

TEST_P(RecordDescriptorBadFormTest, IsRejectedWithAReason) {
    RecordDescription back;
    const DescriptorResult result = DecodeRecordDescriptor(GetParam().bytes, back);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RecordDescriptorBadFormTest,
    ::testing::Values(BadForm{"short_header", {22, 0, 4}},
                      BadForm{"not_a_group", {23, 0, 4, 0, 0, 0, 1, 0, 0, 0, 17, 0, 0, 0, 6, 0, 0}},
                      BadForm{"total_beyond_bytes", {22, 0, 4, 0, 0, 0, 1, 0, 0, 0, 40, 0, 0, 0, 6, 0, 0}},
                      BadForm{"label_without_nul", {22, 0, 4, 0, 0, 0, 1, 0, 0, 0, 17, 0, 0, 0, 6, 0, 'A'}},
                      BadForm{"field_beyond_record", {22, 0, 3, 0, 0, 0, 1, 0, 0, 0, 17, 0, 0, 0, 6, 0, 0}},
                      BadForm{"unsized_type", {22, 0, 4, 0, 0, 0, 1, 0, 0, 0, 17, 0, 0, 0, 21, 0, 0}},
                      BadForm{"zero_string_size", {22, 0, 4, 0, 0, 0, 1, 0, 0, 0, 18, 0, 0, 0, 18, 0, 0, 0}},
                      BadForm{"offset_cut_short", {22, 0, 4, 0, 0, 0, 1, 0, 0, 0, 17, 0, 0, 0, 6, 8, 0}},
                      BadForm{"bytes_left_over", {22, 0, 4, 0, 0, 0, 1, 0, 0, 0, 18, 0, 0, 0, 6, 0, 0, 0}},
                      BadForm{"too_many_fields", {22, 0, 4, 0, 0, 0, 9, 0, 0, 0, 17, 0, 0, 0, 6, 0, 0}}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace morvex

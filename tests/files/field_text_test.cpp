#include "files/field_text.h"
#include "files/record_csv.h"
#include "runtime/date.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace morvex {
namespace {

struct TextCase {
    const char* label;
    FieldDescription field;
    std::string in;
    std::string out; // what FieldText gives back; "!" + start of the error when refused
};

class FieldTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FieldTextTest, StoresAndReadsBack) {
    const TextCase& c = GetParam();
    std::vector<uint8_t> record(64, 0xAA);
    const std::vector<uint8_t> before = record;
    const std::string error = SetFieldText(c.field, c.in, record.data());
    if (c.out.starts_with("!")) {
        EXPECT_EQ(error.substr(0, c.out.size() - 1), c.out.substr(1)) << error;
        EXPECT_EQ(record, before) << "a refused value leaves the field alone";
        return;
    }
    ASSERT_EQ(error, "");
    EXPECT_EQ(FieldText(c.field, record.data()), c.out);
    for (std::size_t i = c.field.offset + c.field.size; i < record.size(); ++i)
        ASSERT_EQ(record[i], 0xAA) << "wrote beyond the field at " << i;
}

const FieldDescription Long = FieldDescription::Of(FieldType::Long, "L", 4);
const FieldDescription Str = FieldDescription::Sized(FieldType::String, "S", 2, 5);
const FieldDescription CStr = FieldDescription::Sized(FieldType::CString, "C", 0, 5);
const FieldDescription PStr = FieldDescription::Sized(FieldType::PString, "P", 0, 5);

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldTextTest,
    ::testing::Values(
        TextCase{"long", Long, "-123", "-123"}, TextCase{"long_plus", Long, "+7", "7"},
        TextCase{"long_empty_is_zero", Long, "", "0"}, TextCase{"long_max", Long, "2147483647", "2147483647"},
        TextCase{"long_overflow", Long, "2147483648", "!'2147483648' is outside"},
        TextCase{"long_letters", Long, "12x", "!'12x' is not a whole number"},
        TextCase{"long_blank", Long, " 1", "!' 1' is not a whole number"},
        TextCase{"byte", FieldDescription::Of(FieldType::Byte, "B", 0), "255", "255"},
        TextCase{"byte_negative", FieldDescription::Of(FieldType::Byte, "B", 0), "-1", "!'-1' is outside"},
        TextCase{"short", FieldDescription::Of(FieldType::Short, "S", 0), "-32768", "-32768"},
        TextCase{"ushort_over", FieldDescription::Of(FieldType::UShort, "U", 0), "65536",
                 "!'65536' is outside"},
        TextCase{"ulong", FieldDescription::Of(FieldType::ULong, "U", 0), "4294967295", "4294967295"},
        TextCase{"real", FieldDescription::Of(FieldType::Real, "R", 0), "1.25", "1.25"},
        TextCase{"sreal", FieldDescription::Of(FieldType::SReal, "R", 0), "-0.5", "-0.5"},
        TextCase{"real_bad", FieldDescription::Of(FieldType::Real, "R", 0), "1.2.3",
                 "!'1.2.3' is not a number"},
        TextCase{"date_storage", FieldDescription::Of(FieldType::Date, "D", 0), "73636", "73636"},
        TextCase{"date_none", FieldDescription::Of(FieldType::Date, "D", 0), "0", "0"},
        TextCase{"date_first", FieldDescription::Of(FieldType::Date, "D", 0), "4", "4"},
        TextCase{"date_last", FieldDescription::Of(FieldType::Date, "D", 0), "2994626", "2994626"},
        TextCase{"date_1_is_none", FieldDescription::Of(FieldType::Date, "D", 0), "1",
                 "!'1' is outside 0 (no date) and 4 to 2994626"},
        TextCase{"date_3_is_none", FieldDescription::Of(FieldType::Date, "D", 0), "3",
                 "!'3' is outside 0 (no date) and 4 to 2994626"},
        TextCase{"date_past_9999", FieldDescription::Of(FieldType::Date, "D", 0), "2994627",
                 "!'2994627' is outside"},
        TextCase{"time_storage", FieldDescription::Of(FieldType::Time, "T", 0), "360001", "360001"},
        TextCase{"string_padded", Str, "ab", "ab"}, TextCase{"string_full", Str, "abcde", "abcde"},
        TextCase{"string_keeps_leading_blanks", Str, "  x", "  x"},
        TextCase{"string_too_long", Str, "abcdef", "!6 characters do not fit STRING(5)"},
        TextCase{"cstring", CStr, "abcd", "abcd"},
        TextCase{"cstring_too_long", CStr, "abcde", "!5 characters do not fit CSTRING(5) (at most 4)"},
        TextCase{"pstring", PStr, "xy", "xy"},
        TextCase{"pstring_too_long", PStr, "abcde", "!5 characters do not fit PSTRING(5)"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FieldTextTest, StringIsBlankPadded) {
    std::vector<uint8_t> record(8, 0);
    ASSERT_EQ(SetFieldText(Str, "ab", record.data()), "");
    EXPECT_EQ(std::memcmp(record.data() + 2, "ab   ", 5), 0);
}

const RecordDescription People(12, {FieldDescription::Of(FieldType::Long, "P:ID", 0),
                                    FieldDescription::Sized(FieldType::String, "P:NAME", 4, 8)});

TEST(RecordCsvTest, HeaderPicksColumnsByLabelInAnyOrder) {
    std::string error;
    const auto columns = RecordCsvColumns::FromHeader(People, {"\xEF\xBB\xBFp:name", "P:ID"}, error);
    ASSERT_TRUE(columns) << error;
    std::vector<uint8_t> record(12, 0);
    ASSERT_EQ(columns->ToRecord({"M\xC3\xBCller", "42"}, record.data()), "");
    EXPECT_EQ(FieldText(People.field(2), record.data()), "M\xFCller") << "stored in Windows-1252";
    EXPECT_EQ(columns->FromRecord(record.data()), (std::vector<std::string>{"M\xC3\xBCller", "42"}));
}

TEST(RecordCsvTest, HeaderErrorsNameTheColumn) {
    std::string error;
    EXPECT_FALSE(RecordCsvColumns::FromHeader(People, {"P:ID", "P:AGE"}, error));
    EXPECT_EQ(error, "column 2 'P:AGE' names no field of the layout");
    EXPECT_FALSE(RecordCsvColumns::FromHeader(People, {"P:ID", "p:id"}, error));
    EXPECT_EQ(error, "column 2 'p:id' appears twice");
}

TEST(RecordCsvTest, RowErrorsNameTheField) {
    const RecordCsvColumns columns = RecordCsvColumns::AllFields(People);
    std::vector<uint8_t> record(12, 0);
    EXPECT_EQ(columns.ToRecord({"1"}, record.data()), "1 fields where the header has 2");
    EXPECT_EQ(columns.ToRecord({"1", "Ivanov\xE2\x80\x94\xD0\x96"}, record.data()).substr(0, 30),
              "P:NAME: the text holds a chara");
    EXPECT_EQ(columns.ToRecord({"1", "Ninechars"}, record.data()),
              "P:NAME: 9 characters do not fit STRING(8) (at most 8)");
    EXPECT_EQ(columns.ToRecord({"1", "ok?"}, record.data()), "") << "a real question mark is fine";
}

} // namespace
} // namespace morvex

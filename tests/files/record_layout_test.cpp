#include "files/record_layout.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

constexpr const char* CustomerText = "# the customer file\n"
                                     "file CUSTOMER 68\n"
                                     "field CUS:CUSID LONG 0\n"
                                     "field CUS:NAME STRING(20)   # after the previous field\n"
                                     "field CUS:SUBURB string(20) 24\r\n"
                                     "\tfield CUS:PHONE STRING(20) 44\n"
                                     "field CUS:STARTDATE LONG\n"
                                     "key CUS:BYNAME OPT NOCASE : CUS:NAME\n"
                                     "key CUS:BYSTARTDATENAME dup opt nocase : CUS:STARTDATE -cus:name\n"
                                     "key CUS:BYID OPT PRIMARY : CUS:CUSID\n";

TEST(RecordLayoutTest, ParsesFieldsOffsetsAndKeys) {
    const LayoutParse parse = ParseRecordLayout(CustomerText);
    ASSERT_TRUE(parse.ok) << parse.error;
    const RecordLayout& layout = parse.layout;
    EXPECT_EQ(layout.label, "CUSTOMER");
    EXPECT_EQ(layout.record.record_size(), 68u);
    ASSERT_EQ(layout.record.field_count(), 5);
    EXPECT_EQ(layout.record.field(2).offset, 4u);
    EXPECT_EQ(layout.record.field(2).size, 20u);
    EXPECT_EQ(layout.record.field(3).type, FieldType::String);
    EXPECT_EQ(layout.record.field(5).offset, 64u);
    ASSERT_EQ(layout.keys.size(), 3u);
    EXPECT_EQ(layout.keys[1].attributes, KeyDup | KeyOpt | KeyNoCase);
    EXPECT_EQ(layout.keys[1].components, (std::vector<int32_t>{5, -2}));
    EXPECT_EQ(layout.keys[2].attributes, KeyOpt | KeyPrimary);
}

TEST(RecordLayoutTest, TextReadsBackToTheSameLayout) {
    const LayoutParse first = ParseRecordLayout(CustomerText);
    ASSERT_TRUE(first.ok);
    const std::string text = RecordLayoutText(first.layout);
    const LayoutParse second = ParseRecordLayout(text);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(RecordLayoutText(second.layout), text);
}

TEST(RecordLayoutTest, SizeDefaultsToTheEndOfTheLastField) {
    const LayoutParse parse = ParseRecordLayout("file X\nfield A CSTRING(5) 10\nfield B BYTE 0\n");
    ASSERT_TRUE(parse.ok) << parse.error;
    EXPECT_EQ(parse.layout.record.record_size(), 15u);
}

TEST(RecordLayoutTest, DeclarationFromLayoutOwnsItsBuffer) {
    const LayoutParse parse = ParseRecordLayout(CustomerText);
    ASSERT_TRUE(parse.ok);
    FileDeclaration file(parse.layout.file_spec(nullptr));
    EXPECT_EQ(file.validate(), 0);
    ASSERT_NE(file.buffer(), nullptr);
    EXPECT_EQ(file.buffer()[4], ' ') << "STRING fields start blank";
    EXPECT_EQ(file.key(2)->file, &file);
}

struct BadLayout {
    const char* label;
    const char* text;
    const char* error;
};

class RecordLayoutErrorTest : public ::testing::TestWithParam<BadLayout> {};

TEST_P(RecordLayoutErrorTest, ReportsTheLine) {
    const LayoutParse parse = ParseRecordLayout(GetParam().text);
    EXPECT_FALSE(parse.ok);
    EXPECT_EQ(parse.error.substr(0, std::string(GetParam().error).size()), GetParam().error) << parse.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordLayoutErrorTest,
    ::testing::Values(
        BadLayout{"empty", "", "no 'file LABEL [SIZE]' line"},
        BadLayout{"field_before_file", "field A LONG\n", "line 1: the layout starts with"},
        BadLayout{"no_fields", "file X\n", "no fields"},
        BadLayout{"second_file", "file X\nfile Y\n", "line 2: a second 'file' line"},
        BadLayout{"unknown_type", "file X\n\nfield A LNG\n", "line 3: unknown type 'LNG'"},
        BadLayout{"zero_size", "file X\nfield A STRING(0)\n", "line 2: the size in"},
        BadLayout{"bad_size", "file X\nfield A STRING(x)\n", "line 2: the size in"},
        BadLayout{"huge_pstring", "file X\nfield A PSTRING(300)\n", "line 2: a PSTRING holds"},
        BadLayout{"beyond_record", "file X 8\nfield A LONG 6\n", "line 2: A ends at byte 10"},
        BadLayout{"bad_offset", "file X\nfield A LONG -1\n", "line 2: the offset"},
        BadLayout{"duplicate_field", "file X\nfield A LONG\nfield a LONG\n", "line 3: a second field"},
        BadLayout{"key_without_colon", "file X\nfield A LONG\nkey K DUP A\n", "line 3: say 'key LABEL"},
        BadLayout{"key_without_components", "file X\nfield A LONG\nkey K :\n", "line 3: say 'key LABEL"},
        BadLayout{"unknown_attribute", "file X\nfield A LONG\nkey K UNIQUE : A\n",
                  "line 3: unknown key attribute"},
        BadLayout{"unknown_component", "file X\nfield A LONG\nkey K : B\n", "line 3: key K names no field B"},
        BadLayout{"duplicate_key", "file X\nfield A LONG\nkey K : A\nkey K : A\n", "line 4: a second key"},
        BadLayout{"unknown_line", "file X\nfeld A LONG\n", "line 2: unknown line 'feld'"},
        BadLayout{"bad_record_size", "file X 0\n", "line 1: the record size"}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace morvex

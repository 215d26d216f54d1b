#include "files/file_declaration.h"
#include "runtime/error_numbers.h"
#include "runtime/fixed_text.h"

#include <cstring>
#include <gtest/gtest.h>

namespace morvex {
namespace {

struct Record {
    int32_t id;
    FixedText<6> name;
};

FileSpec file_spec(uint8_t attributes, void* buffer) {
    return FileSpec{
        .label = "THINGS",
        .attributes = attributes,
        .record_buffer = buffer,
        .record = RecordDescription(10, {FieldDescription::Of(FieldType::Long, "THI:ID", 0),
                                         FieldDescription::Sized(FieldType::String, "THI:NAME", 4, 6)}),
        .keys = {{.label = "THI:BYNAME", .attributes = KeyNoCase, .components = {-2, 1}}},
    };
}

TEST(FileDeclarationTest, KeysPointBackToTheirFile) {
    FileDeclaration file(file_spec(0, nullptr));
    ASSERT_EQ(file.key_count(), 1);
    EXPECT_EQ(file.key(1)->file, &file);
    EXPECT_EQ(file.find_key("thi:byname"), file.key(1));
    EXPECT_EQ(file.find_field("THI:name"), 2);
    EXPECT_EQ(file.key(2), nullptr);
    EXPECT_EQ(file.validate(), 0);
}

TEST(FileDeclarationTest, DeclaredBufferIsTheRecordOfTheStaticInstance) {
    Record record{};
    FileDeclaration file(file_spec(0, &record));
    EXPECT_EQ(file.buffer(), reinterpret_cast<uint8_t*>(&record));
    EXPECT_EQ(&file.instance_for(5), &file.instance_for(0)) << "only THREAD files have instances per thread";
}

TEST(FileDeclarationTest, ThreadFileHasOneInstanceAndBufferPerThread) {
    Record record{};
    FileDeclaration file(file_spec(FileThread, &record));
    FileInstance& first = file.instance_for(0);
    FileInstance& third = file.instance_for(3);
    EXPECT_NE(&first, &third);
    EXPECT_EQ(first.record, reinterpret_cast<uint8_t*>(&record));
    ASSERT_NE(third.record, nullptr);
    EXPECT_NE(third.record, first.record);
    EXPECT_EQ(&file.instance_for(3), &third) << "looked up again, the same instance";
    // A thread's own buffer starts cleared: numbers 0, strings blank.
    EXPECT_EQ(std::memcmp(third.record, "\0\0\0\0      ", 10), 0);
}

TEST(FileDeclarationTest, NameDefaultsToTheLabel) {
    FileDeclaration file(file_spec(0, nullptr));
    EXPECT_EQ(file.disk_name(), "THINGS");
    file.options.name = "data/Things";
    EXPECT_EQ(file.disk_name(), "data/Things");
}

TEST(FileDeclarationTest, ValidateRejectsKeysOnMissingFields) {
    for (int32_t bad : {0, 3, -3}) {
        FileSpec s = file_spec(0, nullptr);
        s.keys[0].components = {bad};
        FileDeclaration file(std::move(s));
        EXPECT_EQ(file.validate(), ErrInvalidRecordDeclaration) << bad;
    }
    FileSpec s = file_spec(0, nullptr);
    s.record = RecordDescription(8, s.record.fields());
    EXPECT_EQ(FileDeclaration(std::move(s)).validate(), ErrInvalidRecordDeclaration)
        << "a field beyond the record";
}

TEST(FileDeclarationTest, KeyComponentsReadWithTheirDirection) {
    FileDeclaration file(file_spec(0, nullptr));
    const KeyDeclaration& key = *file.key(1);
    EXPECT_EQ(key.field_number(1), 2);
    EXPECT_TRUE(key.descending(1));
    EXPECT_EQ(key.field_number(2), 1);
    EXPECT_FALSE(key.descending(2));
    EXPECT_EQ(key.field_number(0), 0);
}

} // namespace
} // namespace morvex

#include "files/driver.h"
#include "files/file_statements.h"
#include "platform/os_error.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/string_stack.h"
#include "runtime/threads.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morvex {
namespace {

// Records what reached it; implements only a few operations.
struct Seen {
    int operation = -1;
    FileDeclaration* file = nullptr;
    uint8_t* record = nullptr;
    std::vector<intptr_t> args;
    std::string text;
};
Seen g_seen;

class RecordingDriver : public FileDriver {
protected:
    int32_t Open(DriverCall& call, int32_t mode) override {
        remember(call);
        // A file that does not exist: the system's error becomes 300 + its code.
        if (mode == -1 && ::open("/nonexistent-dir-for-driver-test/x", O_RDONLY) < 0)
            SetError(0);
        return 0;
    }
    int32_t SetKey(DriverCall& call, KeyDeclaration&) override { return remember(call); }
    int32_t SetFile(DriverCall& call) override { return remember(call); }
    int32_t Records(DriverCall& call, KeyDeclaration* key) override {
        remember(call);
        return key ? 7 : 9;
    }
    int32_t Reset(DriverCall& call, KeyDeclaration*, std::string_view position) override {
        g_seen.text = position;
        return remember(call);
    }
    int32_t Position(DriverCall& call, KeyDeclaration* key, std::string& position) override {
        position = key ? "by " + key->label : "record 1";
        return remember(call);
    }
    int32_t Send(DriverCall& call, std::string_view text, std::string& reply) override {
        g_seen.text = text;
        reply = "ok";
        return remember(call);
    }

private:
    static int32_t remember(DriverCall& call) {
        g_seen.operation = call.operation;
        g_seen.file = &call.file;
        g_seen.record = call.record();
        g_seen.args.clear();
        for (std::size_t i = 0; i < call.args.size(); ++i)
            g_seen.args.push_back(call.args.raw(i));
        return 0;
    }
};

struct Record {
    int32_t id;
    char name[10];
    int32_t date;
};

FileSpec file_spec(DriverEntry driver) {
    return FileSpec{
        .label = "PEOPLE",
        .driver = driver,
        .record = RecordDescription(18, {FieldDescription::Of(FieldType::Long, "PEO:ID", 0),
                                         FieldDescription::Sized(FieldType::String, "PEO:NAME", 4, 10),
                                         FieldDescription::Of(FieldType::Long, "PEO:DATE", 14)}),
        .keys = {{.label = "PEO:BYID", .attributes = KeyOpt | KeyPrimary, .components = {1}},
                 {.label = "PEO:BYDATENAME", .attributes = KeyDup | KeyNoCase, .components = {3, -2}},
                 {.label = "PEO:IDX", .attributes = KeyIndex, .components = {2}}},
    };
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen = Seen{};
        ClearError();
    }
    FileDeclaration people{file_spec(DriverEntryOf<RecordingDriver>)};
    FileDeclaration other{file_spec(DriverEntryOf<RecordingDriver>)};
};

TEST_F(DriverTest, KeyStatementPassesTheOwningFileAndTheKeyFirst) {
    KeyDeclaration& by_date = *people.key(2);
    // Called while another file is the "current" one elsewhere: only the key's owner counts.
    CallDriver(DriverOperation::SetKey, by_date);
    EXPECT_EQ(g_seen.operation, static_cast<int>(DriverOperation::SetKey));
    EXPECT_EQ(g_seen.file, &people);
    ASSERT_EQ(g_seen.args.size(), 1u);
    EXPECT_EQ(g_seen.args[0], reinterpret_cast<intptr_t>(&by_date));

    EXPECT_EQ(RECORDS(*other.key(1)), 7);
    EXPECT_EQ(g_seen.file, &other);
    EXPECT_EQ(RECORDS(other), 9);
}

TEST_F(DriverTest, NumbersTravelAsSignExtendedSlots) {
    OPEN(people, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(g_seen.args.size(), 1u);
    EXPECT_EQ(g_seen.args[0], 0x42);
    const std::array<intptr_t, 1> slots{ToDriverSlot(-5)};
    EXPECT_EQ(DriverArguments(slots).number(0), -5);
    EXPECT_EQ(DriverArguments(slots).number(3), 0) << "a missing slot reads as 0";
}

TEST_F(DriverTest, UnimplementedOperationSetsError80) {
    for (DriverOperation op : {DriverOperation::Add, DriverOperation::Next, DriverOperation::Pack,
                               DriverOperation::BlobSize, DriverOperation::CountRecords}) {
        CallDriver(op, people);
        EXPECT_EQ(ErrorCode(), ErrUnsupportedDriverFunction) << DriverOperationName(static_cast<int>(op));
        EXPECT_EQ(ErrorText(), "Unsupported File Driver Function");
    }
    CallDriverWith(static_cast<DriverOperation>(0), people, {});
    EXPECT_EQ(ErrorCode(), ErrUnsupportedDriverFunction);
}

TEST_F(DriverTest, CallClearsTheErrorStateFirst) {
    SetError(ErrRecordNotAvailable);
    CallDriver(DriverOperation::SetKey, *people.key(1));
    EXPECT_EQ(ErrorCode(), 0);
}

TEST_F(DriverTest, ErrorZeroBecomesSystemErrorPlus300WithItsText) {
    OPEN(people, -1);
    EXPECT_EQ(ErrorCode(), OsErrorNumber(platform::OsFileNotFound)) << ErrorText();
    EXPECT_EQ(ErrorText(), "File Not Found");
}

TEST_F(DriverTest, EveryFileErrorCarriesItsText) {
    const std::pair<int32_t, const char*> errors[] = {{2, "File Not Found"},
                                                      {3, "Path Not Found"},
                                                      {4, "Too Many Open Files"},
                                                      {5, "Access Denied"},
                                                      {7, "Memory Corrupted"},
                                                      {8, "Insufficient Memory"},
                                                      {30, "Entry Not Found"},
                                                      {32, "File Is Already Locked"},
                                                      {33, "Record Not Available"},
                                                      {35, "Record Not Found"},
                                                      {36, "Invalid Data File"},
                                                      {37, "File Not Open"},
                                                      {38, "Invalid Key File"},
                                                      {40, "Creates Duplicate Key"},
                                                      {43, "Record Is Already Held"},
                                                      {45, "Invalid Filename"},
                                                      {46, "Key File Must Be Rebuilt"},
                                                      {47, "Invalid Record Declaration"},
                                                      {48, "Unable To Log Transaction"},
                                                      {52, "File Already Open"},
                                                      {53, "Invalid Morvex File"},
                                                      {54, "No Create Attribute"},
                                                      {55, "File Must Be Shared"},
                                                      {56, "LOGOUT Already Active"},
                                                      {57, "Invalid Memo File"},
                                                      {63, "Exclusive Access Required"},
                                                      {64, "Sharing Violation"},
                                                      {65, "Unable To ROLLBACK Transaction"},
                                                      {73, "Memo File Missing"},
                                                      {75, "Invalid Field Type Descriptor"},
                                                      {76, "Invalid Index String"},
                                                      {77, "Unable To Access Index"},
                                                      {78, "Invalid Number Of Parameters"},
                                                      {79, "Unsupported Data Type In File"},
                                                      {80, "Unsupported File Driver Function"},
                                                      {81, "Unknown Error Posted"},
                                                      {88, "Invalid Key Length"},
                                                      {89, "Record Changed By Another Station"},
                                                      {90, "File System Error"},
                                                      {91, "LOGOUT Not Active"},
                                                      {92, "BUILD In Progress"},
                                                      {93, "BUILD Cancelled"},
                                                      {95, "Server Not Found"},
                                                      {96, "Remote Object Not Found"}};
    for (const auto& [number, text] : errors) {
        SetError(number);
        EXPECT_EQ(ErrorCode(), number);
        EXPECT_EQ(ErrorText(), text) << number;
    }
}

TEST_F(DriverTest, KeyStatementWithoutItsKeySets78) {
    CallDriverWith(DriverOperation::SetKey, people, {});
    EXPECT_EQ(ErrorCode(), ErrInvalidNumberOfParameters);
}

TEST_F(DriverTest, FileWithoutDriverReports80AndKeepsTheStringStackBalanced) {
    FileDeclaration bare{file_spec(nullptr)};
    const std::size_t depth = Strings().size();
    EXPECT_EQ(SEND(bare, "Recover=10"), "");
    EXPECT_EQ(ErrorCode(), ErrUnsupportedDriverFunction);
    RESET(bare, "abc");
    EXPECT_EQ(POSITION(bare), "");
    EXPECT_EQ(Strings().size(), depth);
}

TEST_F(DriverTest, TextsTravelOnTheStringStack) {
    const std::size_t depth = Strings().size();
    EXPECT_EQ(SEND(people, "Recover=10"), "ok");
    EXPECT_EQ(g_seen.text, "Recover=10");
    RESET(*people.key(2), "\x01\x02position");
    EXPECT_EQ(g_seen.text, "\x01\x02position");
    EXPECT_EQ(g_seen.args[0], reinterpret_cast<intptr_t>(people.key(2)));
    EXPECT_EQ(POSITION(people), "record 1");
    EXPECT_EQ(POSITION(*people.key(1)), "by PEO:BYID");
    // An unsupported text operation still takes its input and leaves one result.
    REGET(people, "x");
    EXPECT_EQ(ErrorCode(), ErrUnsupportedDriverFunction);
    EXPECT_EQ(FileProperty(people, 1), "0");
    EXPECT_EQ(Strings().size(), depth);
}

FileDeclaration* g_threaded = nullptr;
void use_threaded_file() {
    SET(*g_threaded);
}

TEST_F(DriverTest, ThreadFileIsResolvedPerThreadAtEveryCall) {
    Record declared{};
    FileSpec threaded_spec = file_spec(DriverEntryOf<RecordingDriver>);
    threaded_spec.attributes = FileThread;
    threaded_spec.record_buffer = &declared;
    FileDeclaration threaded(std::move(threaded_spec));
    g_threaded = &threaded;

    SET(threaded);
    EXPECT_EQ(g_seen.record, reinterpret_cast<uint8_t*>(&declared))
        << "the first thread uses the declared buffer";
    const int32_t number = START(use_threaded_file, 0);
    ASSERT_GT(number, 0);
    WaitForOtherThreads();
    EXPECT_NE(g_seen.record, reinterpret_cast<uint8_t*>(&declared));
    EXPECT_EQ(g_seen.record, threaded.instance_for(number - 1).record) << "the started thread's own buffer";
    SET(people);
    EXPECT_EQ(g_seen.record, people.buffer()) << "a file without THREAD has one buffer";
}

struct KeyPropertyCase {
    const char* label;
    int key;
    int32_t property;
    int32_t index;
    const char* expected;
};

class KeyPropertyTest : public DriverTest, public ::testing::WithParamInterface<KeyPropertyCase> {};

TEST_P(KeyPropertyTest, AnsweredFromTheKeyDeclaration) {
    const KeyPropertyCase& c = GetParam();
    EXPECT_EQ(KeyPropertyText(*people.key(c.key), c.property, c.index), c.expected);
    EXPECT_EQ(ErrorCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyPropertyTest,
    ::testing::Values(KeyPropertyCase{"components", 2, KeyPropertyComponents, 0, "2"},
                      KeyPropertyCase{"unique_key_no_dup", 1, KeyPropertyDup, 0, "0"},
                      KeyPropertyCase{"dup_key", 2, KeyPropertyDup, 0, "1"},
                      KeyPropertyCase{"index_allows_dups", 3, KeyPropertyDup, 0, "1"},
                      KeyPropertyCase{"opt", 1, KeyPropertyOpt, 0, "1"},
                      KeyPropertyCase{"not_opt", 2, KeyPropertyOpt, 0, "0"},
                      KeyPropertyCase{"nocase", 2, KeyPropertyNoCase, 0, "1"},
                      KeyPropertyCase{"primary", 1, KeyPropertyPrimary, 0, "1"},
                      KeyPropertyCase{"not_primary", 2, KeyPropertyPrimary, 0, "0"},
                      KeyPropertyCase{"first_field", 2, KeyPropertyField, 1, "3"},
                      KeyPropertyCase{"minus_two_is_field_2", 2, KeyPropertyField, 2, "2"},
                      KeyPropertyCase{"minus_two_descends", 2, KeyPropertyDescending, 2, "1"},
                      KeyPropertyCase{"ascending", 2, KeyPropertyDescending, 1, "0"},
                      KeyPropertyCase{"component_out_of_range", 2, KeyPropertyField, 3, "0"},
                      KeyPropertyCase{"kind_key", 1, KeyPropertyKind, 0, "KEY"},
                      KeyPropertyCase{"kind_index", 3, KeyPropertyKind, 0, "INDEX"},
                      KeyPropertyCase{"unknown_property", 1, 12345, 0, "0"}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace morvex

#include "runtime/error_state.h"
#include "runtime/message_table.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

class ErrorStateTest : public ::testing::Test {
protected:
    void SetUp() override { ClearError(); }
    void TearDown() override {
        SetMessageOverride(nullptr);
        ClearError();
    }
};

TEST_F(ErrorStateTest, KnownNumbersGiveTheirMessage) {
    SetError(30);
    EXPECT_EQ(ErrorCode(), 30);
    EXPECT_EQ(ErrorText(), "Entry Not Found");
    SetError(501);
    EXPECT_EQ(ErrorText(), "Internal error 01");
    SetError(403);
    EXPECT_EQ(ErrorText(), "Termination caused by signal.  (User break or Floating point)");
    SetError(802);
    EXPECT_EQ(ErrorText(), "Mismatched PUSHSCOPE/POPSCOPE");
}

TEST_F(ErrorStateTest, UnknownNumbersAreReportedWithTheirNumber) {
    SetError(9999);
    EXPECT_EQ(ErrorCode(), 9999);
    EXPECT_EQ(ErrorText(), "Unknown Error Posted : 9999");
    SetError(-4);
    EXPECT_EQ(ErrorText(), "Unknown Error Posted : -4");
}

TEST_F(ErrorStateTest, ReplacementTextsAreLookedUpFirst) {
    SetMessageOverride([](int number) -> std::optional<std::string_view> {
        if (number == 30)
            return "   Eintrag nicht gefunden";
        if (number == 31)
            return std::string_view("A replacement text that is much longer than the seventy-nine characters "
                                    "that the error text holds");
        return std::nullopt;
    });
    SetError(30);
    EXPECT_EQ(ErrorText(), "Eintrag nicht gefunden"); // leading blanks skipped
    SetError(31);
    EXPECT_EQ(ErrorText().size(), ErrorTextSize - 1);
    EXPECT_TRUE(ErrorText().starts_with("A replacement text"));
    SetError(35);
    EXPECT_EQ(ErrorText(), "Record Not Found");
}

struct OsErrorCase {
    int errno_value;
    int32_t number;
    const char* text;
};

class SystemErrors : public ErrorStateTest, public ::testing::WithParamInterface<OsErrorCase> {};

TEST_P(SystemErrors, NumberZeroReportsTheLastSystemError) {
    errno = GetParam().errno_value;
    SetError(0);
    EXPECT_EQ(ErrorCode(), GetParam().number);
    EXPECT_EQ(OsErrorCode(), GetParam().number - 300);
    EXPECT_EQ(ErrorText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, SystemErrors,
                         ::testing::Values(OsErrorCase{EACCES, 305, "Access Denied"},
                                           OsErrorCase{ENOENT, 302, "File Not Found"},
                                           OsErrorCase{ENOTDIR, 303, "Path Not Found"},
                                           OsErrorCase{EMFILE, 304, "Too Many Open Files"},
                                           OsErrorCase{EAGAIN, 333, "Lock Violation"},
                                           OsErrorCase{ENOSPC, 339, "Handle Disk Full"},
                                           OsErrorCase{EEXIST, 380, "File Already Exists"},
                                           OsErrorCase{EINVAL, 387, "Invalid Parameter"},
                                           OsErrorCase{EINTR, 391, "Unknown Error"},
                                           OsErrorCase{0, 300, "Unknown Error Posted : 300"}));

TEST_F(ErrorStateTest, TheSystemErrorIsSavedWithEveryError) {
    errno = EACCES;
    SetError(30);
    EXPECT_EQ(ErrorCode(), 30);
    EXPECT_EQ(OsErrorCode(), 5);
}

TEST_F(ErrorStateTest, AppendedTextFollowsTheLastNonBlankUpTo79Characters) {
    SetError(30);
    AppendErrorText(" (CUSTOMER)");
    EXPECT_EQ(ErrorText(), "Entry Not Found (CUSTOMER)");
    AppendErrorText(std::string(100, 'x'));
    EXPECT_EQ(ErrorText().size(), ErrorTextSize - 1);
    EXPECT_EQ(ErrorText().back(), 'x');
    AppendErrorText("more");
    EXPECT_EQ(ErrorText().size(), ErrorTextSize - 1);
}

TEST_F(ErrorStateTest, ExtraTextIsKeptAndClearedWithTheError) {
    SetError(36, "CUSTOMER.QVD: bad header");
    EXPECT_EQ(ErrorExtraText(), "CUSTOMER.QVD: bad header");
    SetError(36, std::string(200, 'y'));
    EXPECT_EQ(ErrorExtraText().size(), ErrorExtraTextSize);
    ClearError();
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(ErrorText(), "");
    EXPECT_EQ(ErrorExtraText(), "");
}

} // namespace
} // namespace morvex

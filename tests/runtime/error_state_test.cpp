#include "platform/os_error.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/message_table.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <utility>

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

// Each name of runtime/error_numbers.h against the message its number has.
TEST_F(ErrorStateTest, EveryNamedNumberGivesItsMessage) {
    const std::pair<int32_t, const char*> named[] = {
        {ErrFileNotFound, "File Not Found"},
        {ErrPathNotFound, "Path Not Found"},
        {ErrTooManyOpenFiles, "Too Many Open Files"},
        {ErrAccessDenied, "Access Denied"},
        {ErrMemoryCorrupted, "Memory Corrupted"},
        {ErrInsufficientMemory, "Insufficient Memory"},
        {ErrEntryNotFound, "Entry Not Found"},
        {ErrFileAlreadyLocked, "File Is Already Locked"},
        {ErrRecordNotAvailable, "Record Not Available"},
        {ErrRecordNotFound, "Record Not Found"},
        {ErrInvalidDataFile, "Invalid Data File"},
        {ErrFileNotOpen, "File Not Open"},
        {ErrInvalidKeyFile, "Invalid Key File"},
        {ErrCreatesDuplicateKey, "Creates Duplicate Key"},
        {ErrRecordAlreadyHeld, "Record Is Already Held"},
        {ErrInvalidFilename, "Invalid Filename"},
        {ErrKeyFileMustBeRebuilt, "Key File Must Be Rebuilt"},
        {ErrInvalidRecordDeclaration, "Invalid Record Declaration"},
        {ErrUnableToLogTransaction, "Unable To Log Transaction"},
        {ErrFileAlreadyOpen, "File Already Open"},
        {ErrInvalidMorvexFile, "Invalid Morvex File"},
        {ErrNoCreateAttribute, "No Create Attribute"},
        {ErrFileMustBeShared, "File Must Be Shared"},
        {ErrLogoutAlreadyActive, "LOGOUT Already Active"},
        {ErrInvalidMemoFile, "Invalid Memo File"},
        {ErrExclusiveAccessRequired, "Exclusive Access Required"},
        {ErrSharingViolation, "Sharing Violation"},
        {ErrUnableToRollback, "Unable To ROLLBACK Transaction"},
        {ErrMemoFileMissing, "Memo File Missing"},
        {ErrInvalidFieldTypeDescriptor, "Invalid Field Type Descriptor"},
        {ErrInvalidIndexString, "Invalid Index String"},
        {ErrUnableToAccessIndex, "Unable To Access Index"},
        {ErrInvalidNumberOfParameters, "Invalid Number Of Parameters"},
        {ErrUnsupportedDataType, "Unsupported Data Type In File"},
        {ErrUnsupportedDriverFunction, "Unsupported File Driver Function"},
        {ErrUnknownErrorPosted, "Unknown Error Posted"},
        {ErrInvalidKeyLength, "Invalid Key Length"},
        {ErrRecordChangedByAnotherStation, "Record Changed By Another Station"},
        {ErrFileSystemError, "File System Error"},
        {ErrLogoutNotActive, "LOGOUT Not Active"},
        {ErrBuildInProgress, "BUILD In Progress"},
        {ErrBuildCancelled, "BUILD Cancelled"},
        {ErrServerNotFound, "Server Not Found"},
        {ErrRemoteObjectNotFound, "Remote Object Not Found"},
        {ErrStackOverflow, "Stack overflow"},
        {ErrNullPointer, "Null pointer de-reference"},
        {ErrTerminatedBySignal, "Termination caused by signal.  (User break or Floating point)"},
        {ErrArithmeticOverflow, "Arithmetic Overflow"},
        {ErrVariableOutOfRange, "Variable out of range"},
        {ErrNoReturnValue, "No return value from function"},
        {ErrNoMatchingCase, "No matching Case Label"},
        {ErrLongDivideByZero, "Long Integer Divide By Zero"},
        {ErrIndexOutOfRange, "Index out of range"},
        {ErrPureVirtualCall, "Pure Virtual Function Called"},
        {ErrInternal01, "Internal error 01"},
        {ErrInternal02, "Internal error 02"},
        {ErrInternal03, "Internal error 03"},
        {ErrInternal04, "Internal error 04"},
        {ErrInternal05, "Internal error 05"},
        {ErrInternal06, "Internal error 06"},
        {ErrInternal07, "Internal error 07"},
        {ErrInternal08, "Internal error 08"},
        {ErrInternal09, "Internal error 09"},
        {ErrInternal10, "Internal error 10"},
        {ErrInternal11, "Internal error 11"},
        {ErrInternal12, "Internal error 12"},
        {ErrInternal13, "Internal error 13"},
        {ErrInternal14, "Internal error 14"},
        {ErrInternal15, "Internal error 15"},
        {ErrVbxMismatch, "Mismatch with MXVBX.DLL detected"},
        {ErrVbxTooComplex, "VBX control is too complex"},
        {ErrEventPostedToReport, "Event posted to a report control"},
        {ErrMetafileRecordTooLarge, "Metafile record too large in report"},
        {ErrPrinterOpenFailed, "Unexpected error opening printer device"},
        {ErrReportAlreadyOpen, "Report is already open"},
        {ErrApplicationAlreadyActive, "Unable to open APPLICATION (APPLICATION already active)"},
        {ErrApplicationSystemModal, "Unable to open APPLICATION (system is MODAL)"},
        {ErrUnableToOpenApplication, "Unable to open APPLICATION"},
        {ErrUnableToOpenWindow, "Unable to open WINDOW"},
        {ErrMdiWithoutApplication, "Unable to open MDI window (No APPLICATION active)"},
        {ErrMdiSystemModal, "Unable to open MDI window (system is MODAL)"},
        {ErrMdiOnApplicationThread, "Unable to open MDI window on APPLICATION's thread"},
        {ErrUnableToOpenMdiWindow, "Unable to open MDI WINDOW"},
        {ErrTooManyKeystrokes, "Too many keystrokes PRESSed"},
        {ErrWindowAlreadyOpen, "Window is already open"},
        {ErrWindowNotOpen, "Window is not open"},
        {ErrAcceptWithoutWindow, "ACCEPT loop requires a window"},
        {ErrPrintOutsideReport, "PRINT must only be called for reports"},
        {ErrEndPageOutsideReport, "ENDPAGE must only be called for reports"},
        {ErrAcceptSystemModal, "Unable to process ACCEPT (system is MODAL)"},
        {ErrCreateControlSystemModal, "Unable to create control (system is MODAL)"},
        {ErrOperationSystemModal, "Unable to complete operation (system is MODAL)"},
        {ErrSliderNeeds32Bit, "Slider controls are only available in 32-bit programs"},
        {ErrTooManyVbxHooks, "Too Many VBX Hooks"},
        {ErrDdeInvalidChannel, "Invalid DDE channel"},
        {ErrDdeChannelNotOpen, "DDE channel is not open"},
        {ErrDdeExecuteInvalid, "DDEexecute - invalid command"},
        {ErrDdePokeInvalid, "DDEpoke - invalid command"},
        {ErrDdeTimedOut, "DDE transaction timed out"},
        {ErrInvalidExpression, "Invalid expression for EVALUATE"},
        {ErrNoBind, "No BIND on variable"},
        {ErrMismatchedScope, "Mismatched PUSHSCOPE/POPSCOPE"}};
    for (const auto& [number, text] : named) {
        SetError(number);
        EXPECT_EQ(ErrorText(), text) << number;
    }
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
        if (number == ErrEntryNotFound)
            return "   Eintrag nicht gefunden";
        if (number == 31)
            return std::string_view("A replacement text that is much longer than the seventy-nine characters "
                                    "that the error text holds");
        return std::nullopt;
    });
    SetError(ErrEntryNotFound);
    EXPECT_EQ(ErrorText(), "Eintrag nicht gefunden"); // leading blanks skipped
    SetError(31);
    EXPECT_EQ(ErrorText().size(), ErrorTextSize - 1);
    EXPECT_TRUE(ErrorText().starts_with("A replacement text"));
    SetError(ErrRecordNotFound);
    EXPECT_EQ(ErrorText(), "Record Not Found");
}

struct OsErrorCase {
    int errno_value;
    int32_t os_code;
    const char* text;
};

class SystemErrors : public ErrorStateTest, public ::testing::WithParamInterface<OsErrorCase> {};

TEST_P(SystemErrors, NumberZeroReportsTheLastSystemError) {
    errno = GetParam().errno_value;
    SetError(0);
    EXPECT_EQ(ErrorCode(), OsErrorNumber(GetParam().os_code));
    EXPECT_EQ(OsErrorCode(), GetParam().os_code);
    EXPECT_EQ(ErrorText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemErrors,
    ::testing::Values(OsErrorCase{EACCES, platform::OsAccessDenied, "Access Denied"},
                      OsErrorCase{ENOENT, platform::OsFileNotFound, "File Not Found"},
                      OsErrorCase{ENOTDIR, platform::OsPathNotFound, "Path Not Found"},
                      OsErrorCase{EMFILE, platform::OsTooManyOpenFiles, "Too Many Open Files"},
                      OsErrorCase{EAGAIN, platform::OsLockViolation, "Lock Violation"},
                      OsErrorCase{ENOSPC, platform::OsDiskFull, "Handle Disk Full"},
                      OsErrorCase{EEXIST, platform::OsFileExists, "File Already Exists"},
                      OsErrorCase{EINVAL, platform::OsInvalidParameter, "Invalid Parameter"},
                      OsErrorCase{EINTR, platform::OsUnknownError, "Unknown Error"},
                      OsErrorCase{0, platform::OsNoError, "Unknown Error Posted : 300"}));

TEST_F(ErrorStateTest, TheSystemErrorIsSavedWithEveryError) {
    errno = EACCES;
    SetError(ErrEntryNotFound);
    EXPECT_EQ(ErrorCode(), ErrEntryNotFound);
    EXPECT_EQ(OsErrorCode(), platform::OsAccessDenied);
}

TEST_F(ErrorStateTest, AppendedTextFollowsTheLastNonBlankUpTo79Characters) {
    SetError(ErrEntryNotFound);
    AppendErrorText(" (CUSTOMER)");
    EXPECT_EQ(ErrorText(), "Entry Not Found (CUSTOMER)");
    AppendErrorText(std::string(100, 'x'));
    EXPECT_EQ(ErrorText().size(), ErrorTextSize - 1);
    EXPECT_EQ(ErrorText().back(), 'x');
    AppendErrorText("more");
    EXPECT_EQ(ErrorText().size(), ErrorTextSize - 1);
}

TEST_F(ErrorStateTest, ExtraTextIsKeptAndClearedWithTheError) {
    SetError(ErrInvalidDataFile, "CUSTOMER.QVD: bad header");
    EXPECT_EQ(ErrorExtraText(), "CUSTOMER.QVD: bad header");
    SetError(ErrInvalidDataFile, std::string(200, 'y'));
    EXPECT_EQ(ErrorExtraText().size(), ErrorExtraTextSize);
    ClearError();
    EXPECT_EQ(ErrorCode(), 0);
    EXPECT_EQ(ErrorText(), "");
    EXPECT_EQ(ErrorExtraText(), "");
}

} // namespace
} // namespace morvex

// The runtime's error numbers by name: the numbers that SetError and
// FatalError take and that ErrorCode reads back, with the message each one
// has in the built-in table (message_table.cpp).
//
// Operating-system failures are 300 + the system's code in the Windows
// numbering (platform/os_error.h names those codes); OsErrorNumber builds one.
#pragma once

#include <cstdint>

namespace morvex {

// File errors, set by file drivers and by the runtime's own containers.
constexpr int32_t ErrFileNotFound = 2;                   // "File Not Found"
constexpr int32_t ErrPathNotFound = 3;                   // "Path Not Found"
constexpr int32_t ErrTooManyOpenFiles = 4;               // "Too Many Open Files"
constexpr int32_t ErrAccessDenied = 5;                   // "Access Denied"
constexpr int32_t ErrMemoryCorrupted = 7;                // "Memory Corrupted"
constexpr int32_t ErrInsufficientMemory = 8;             // "Insufficient Memory"
constexpr int32_t ErrEntryNotFound = 30;                 // "Entry Not Found"
constexpr int32_t ErrFileAlreadyLocked = 32;             // "File Is Already Locked"
constexpr int32_t ErrRecordNotAvailable = 33;            // "Record Not Available"
constexpr int32_t ErrRecordNotFound = 35;                // "Record Not Found"
constexpr int32_t ErrInvalidDataFile = 36;               // "Invalid Data File"
constexpr int32_t ErrFileNotOpen = 37;                   // "File Not Open"
constexpr int32_t ErrInvalidKeyFile = 38;                // "Invalid Key File"
constexpr int32_t ErrCreatesDuplicateKey = 40;           // "Creates Duplicate Key"
constexpr int32_t ErrRecordAlreadyHeld = 43;             // "Record Is Already Held"
constexpr int32_t ErrInvalidFilename = 45;               // "Invalid Filename"
constexpr int32_t ErrKeyFileMustBeRebuilt = 46;          // "Key File Must Be Rebuilt"
constexpr int32_t ErrInvalidRecordDeclaration = 47;      // "Invalid Record Declaration"
constexpr int32_t ErrUnableToLogTransaction = 48;        // "Unable To Log Transaction"
constexpr int32_t ErrFileAlreadyOpen = 52;               // "File Already Open"
constexpr int32_t ErrInvalidMorvexFile = 53;             // "Invalid Morvex File"
constexpr int32_t ErrNoCreateAttribute = 54;             // "No Create Attribute"
constexpr int32_t ErrFileMustBeShared = 55;              // "File Must Be Shared"
constexpr int32_t ErrLogoutAlreadyActive = 56;           // "LOGOUT Already Active"
constexpr int32_t ErrInvalidMemoFile = 57;               // "Invalid Memo File"
constexpr int32_t ErrExclusiveAccessRequired = 63;       // "Exclusive Access Required"
constexpr int32_t ErrSharingViolation = 64;              // "Sharing Violation"
constexpr int32_t ErrUnableToRollback = 65;              // "Unable To ROLLBACK Transaction"
constexpr int32_t ErrMemoFileMissing = 73;               // "Memo File Missing"
constexpr int32_t ErrInvalidFieldTypeDescriptor = 75;    // "Invalid Field Type Descriptor"
constexpr int32_t ErrInvalidIndexString = 76;            // "Invalid Index String"
constexpr int32_t ErrUnableToAccessIndex = 77;           // "Unable To Access Index"
constexpr int32_t ErrInvalidNumberOfParameters = 78;     // "Invalid Number Of Parameters"
constexpr int32_t ErrUnsupportedDataType = 79;           // "Unsupported Data Type In File"
constexpr int32_t ErrUnsupportedDriverFunction = 80;     // "Unsupported File Driver Function"
constexpr int32_t ErrUnknownErrorPosted = 81;            // "Unknown Error Posted"
constexpr int32_t ErrInvalidKeyLength = 88;              // "Invalid Key Length"
constexpr int32_t ErrRecordChangedByAnotherStation = 89; // "Record Changed By Another Station"
constexpr int32_t ErrFileSystemError = 90;               // "File System Error"
constexpr int32_t ErrLogoutNotActive = 91;               // "LOGOUT Not Active"
constexpr int32_t ErrBuildInProgress = 92;               // "BUILD In Progress"
constexpr int32_t ErrBuildCancelled = 93;                // "BUILD Cancelled"
constexpr int32_t ErrServerNotFound = 95;                // "Server Not Found"
constexpr int32_t ErrRemoteObjectNotFound = 96;          // "Remote Object Not Found"

// Operating-system errors: 300 + the system's code ("Access Denied" is 305).
constexpr int32_t OsErrorNumber(int32_t os_code) {
    return 300 + os_code;
}

// Program faults.
constexpr int32_t ErrStackOverflow = 401;
constexpr int32_t ErrNullPointer = 402;
constexpr int32_t ErrTerminatedBySignal = 403;
constexpr int32_t ErrArithmeticOverflow = 404;
constexpr int32_t ErrVariableOutOfRange = 405;
constexpr int32_t ErrNoReturnValue = 406;
constexpr int32_t ErrNoMatchingCase = 407;
constexpr int32_t ErrLongDivideByZero = 408;
constexpr int32_t ErrIndexOutOfRange = 409;
constexpr int32_t ErrPureVirtualCall = 410;

// Internal errors (fatal): "Internal error 01" to "Internal error 15". The
// extra text of the fatal error says what failed ("String Stack Error").
constexpr int32_t ErrInternal01 = 501;
constexpr int32_t ErrInternal02 = 502;
constexpr int32_t ErrInternal03 = 503;
constexpr int32_t ErrInternal04 = 504;
constexpr int32_t ErrInternal05 = 505;
constexpr int32_t ErrInternal06 = 506;
constexpr int32_t ErrInternal07 = 507;
constexpr int32_t ErrInternal08 = 508;
constexpr int32_t ErrInternal09 = 509;
constexpr int32_t ErrInternal10 = 510;
constexpr int32_t ErrInternal11 = 511;
constexpr int32_t ErrInternal12 = 512;
constexpr int32_t ErrInternal13 = 513;
constexpr int32_t ErrInternal14 = 514;
constexpr int32_t ErrInternal15 = 515;

// Window-engine errors (fatal).
constexpr int32_t ErrVbxMismatch = 520;
constexpr int32_t ErrVbxTooComplex = 521;
constexpr int32_t ErrEventPostedToReport = 522;
constexpr int32_t ErrMetafileRecordTooLarge = 523;
constexpr int32_t ErrPrinterOpenFailed = 524;
constexpr int32_t ErrReportAlreadyOpen = 525;
constexpr int32_t ErrApplicationAlreadyActive = 526;
constexpr int32_t ErrApplicationSystemModal = 527;
constexpr int32_t ErrUnableToOpenApplication = 528;
constexpr int32_t ErrUnableToOpenWindow = 529;
constexpr int32_t ErrMdiWithoutApplication = 530;
constexpr int32_t ErrMdiSystemModal = 531;
constexpr int32_t ErrMdiOnApplicationThread = 532;
constexpr int32_t ErrUnableToOpenMdiWindow = 533;
constexpr int32_t ErrTooManyKeystrokes = 534;
constexpr int32_t ErrWindowAlreadyOpen = 535;
constexpr int32_t ErrWindowNotOpen = 536;
constexpr int32_t ErrAcceptWithoutWindow = 537;
constexpr int32_t ErrPrintOutsideReport = 538;
constexpr int32_t ErrEndPageOutsideReport = 539;
constexpr int32_t ErrAcceptSystemModal = 540;
constexpr int32_t ErrCreateControlSystemModal = 541;
constexpr int32_t ErrOperationSystemModal = 542;
constexpr int32_t ErrSliderNeeds32Bit = 543;
constexpr int32_t ErrTooManyVbxHooks = 544;

// DDE errors.
constexpr int32_t ErrDdeInvalidChannel = 601;
constexpr int32_t ErrDdeChannelNotOpen = 602;
constexpr int32_t ErrDdeExecuteInvalid = 603;
constexpr int32_t ErrDdePokeInvalid = 604;
constexpr int32_t ErrDdeTimedOut = 605;

// Expression evaluator and binding scopes.
constexpr int32_t ErrInvalidExpression = 800; // "Invalid expression for EVALUATE"
constexpr int32_t ErrNoBind = 801;            // "No BIND on variable"
constexpr int32_t ErrMismatchedScope = 802;   // "Mismatched PUSHSCOPE/POPSCOPE"

} // namespace morvex

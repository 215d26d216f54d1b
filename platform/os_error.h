// Operating-system error numbers in the Windows numbering that the runtime's
// message table uses (it names system errors 300 + the Windows code).
#pragma once

namespace morvex::platform {

// Windows-numbered codes for the errno values that have a clear equivalent.
enum OsErrorCode : int {
    OsNoError = 0,
    OsInvalidFunction = 1,
    OsFileNotFound = 2,
    OsPathNotFound = 3,
    OsTooManyOpenFiles = 4,
    OsAccessDenied = 5,
    OsInvalidHandle = 6,
    OsInsufficientMemory = 8,
    OsInvalidFormat = 11,
    OsNotSameDevice = 17,
    OsWriteProtect = 19,
    OsSeekError = 25,
    OsGeneralFailure = 31,
    OsSharingViolation = 32,
    OsLockViolation = 33,
    OsDiskFull = 39,
    OsNotSupported = 50,
    OsDeviceDoesNotExist = 55,
    OsFileExists = 80,
    OsInvalidParameter = 87,
    OsUnknownError = 91,
};

// Maps an errno value to the Windows numbering. 0 stays 0; a value without a
// clear equivalent becomes OsUnknownError (message 391 "Unknown Error").
int os_error_from_errno(int errno_value);

// The calling thread's last system error (errno), in the Windows numbering.
int last_os_error();

} // namespace morvex::platform

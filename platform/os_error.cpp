// errno to Windows error numbers. Only pairs with the same meaning are mapped,
// so that "300 + code" names the failure truthfully in the message table.
#include "platform/os_error.h"

#include <cerrno>

namespace morvex::platform {

int os_error_from_errno(int errno_value) {
    switch (errno_value) {
    case 0:
        return OsNoError;
    case ENOSYS:
        return OsInvalidFunction;
    case ENOENT:
        return OsFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return OsPathNotFound;
    case EMFILE:
    case ENFILE:
        return OsTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
        return OsAccessDenied;
    case EBADF:
        return OsInvalidHandle;
    case ENOMEM:
        return OsInsufficientMemory;
    case ENOEXEC:
        return OsInvalidFormat;
    case EXDEV:
        return OsNotSameDevice;
    case EROFS:
        return OsWriteProtect;
    case ESPIPE:
        return OsSeekError;
    case EIO:
        return OsGeneralFailure;
    case EBUSY:
    case ETXTBSY:
        return OsSharingViolation;
    case EAGAIN:
    case EDEADLK:
    case ENOLCK:
        return OsLockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return OsDiskFull;
    case ENOTSUP:
        return OsNotSupported;
    case ENODEV:
    case ENXIO:
        return OsDeviceDoesNotExist;
    case EEXIST:
        return OsFileExists;
    case EINVAL:
        return OsInvalidParameter;
    default:
        return OsUnknownError;
    }
}

int last_os_error() {
    return os_error_from_errno(errno);
}

} // namespace morvex::platform

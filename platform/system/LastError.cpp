// The per-thread last error and the mapping from errno.
#include <cerrno>
#include <utility>

#include "KstWin32Base.h"
#include "KstWin32System.h"
#include "internal/Errno.h"
#include "internal/Handle.h"
#include "internal/ThreadObject.h"
#include "internal/Waitable.h"

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD code) {
    t_lastError = code;
}

BOOL CloseHandle(HANDLE handle) {
    // The current thread's pseudo handle closes quietly, as on the platform.
    if (handle == reinterpret_cast<HANDLE>(LONG_PTR{-2})) return TRUE;
    if (kst::detail::ReleaseHandle(handle)) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD, BOOL, DWORD options) {
    HANDLE self = GetCurrentProcess();
    if (sourceProcess != self || targetProcess != self) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!target) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    kst::detail::ControlDeferral defer;
    auto object = kst::detail::LookupWaitable(source);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *target = kst::detail::NewHandle(std::move(object));
    if (options & DUPLICATE_CLOSE_SOURCE) CloseHandle(source);
    return TRUE;
}

namespace kst::detail {

DWORD SystemErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case EBUSY:
        case ETXTBSY:
            return ERROR_BUSY;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EPIPE:
        case ECONNRESET:
            return ERROR_BROKEN_PIPE;
        case EAGAIN:
            return ERROR_PIPE_BUSY;
        case ECONNREFUSED:
            return ERROR_FILE_NOT_FOUND;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case EIO:
            return ERROR_GEN_FAILURE;
        case ENXIO:
        case ENODEV:
            return ERROR_NOT_READY;
        case ELOOP:
            return ERROR_CANT_RESOLVE_FILENAME;
        case ETIMEDOUT:
            return ERROR_TIMEOUT;
        default:
            return ERROR_GEN_FAILURE;
    }
}

void SetLastErrorFromErrno(int err) {
    SetLastError(SystemErrorFromErrno(err));
}

int RuntimeErrnoFromSystemError(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_DRIVE:
        case ERROR_NO_MORE_FILES:
        case ERROR_BAD_NET_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return ENOENT;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_ACCESS_DENIED:
        case 16:  // current directory
        case ERROR_NETWORK_ACCESS_DENIED:
        case ERROR_CANNOT_MAKE:
        case 83:   // fail i24
        case 108:  // drive locked
        case 132:  // seek on device
        case 158:  // not locked
        case 167:  // lock failed
            return EACCES;
        case ERROR_INVALID_HANDLE:
        case 114:  // invalid target handle
        case 130:  // direct access handle
            return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case 9:  // invalid block
        case 7:  // arena trashed
            return ENOMEM;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_BROKEN_PIPE:
            return EPIPE;
        case ERROR_DISK_FULL:
            return ENOSPC;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        default:
            // From write protection to sharing-buffer overflow, all kinds of denied access.
            if (code >= ERROR_WRITE_PROTECT && code <= 36) return EACCES;
            return EINVAL;
    }
}

}  // namespace kst::detail

// CreateFileA and the calls on its handles: files, pipes and raw devices.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/Errno.h"
#include "internal/Faults.h"
#include "internal/FileObject.h"
#include "internal/Paths.h"
#include "internal/Sharing.h"

namespace kst::detail {

FileObject::~FileObject() {
    if (m_deleteOnClose) ::unlink(m_hostPath.c_str());
    if (m_lockFd >= 0) ::close(m_lockFd);
    if (m_fd >= 0) ::close(m_fd);
}

HANDLE NewFileHandle(FileObject::Kind kind, int fd, std::string hostPath) {
    return NewHandle(std::make_shared<FileObject>(kind, fd, std::move(hostPath)));
}

namespace {

struct OpenRequest {
    bool read = false;
    bool write = false;
    DWORD share = 0;
    DWORD disposition = 0;
    DWORD flags = 0;
};

bool HasNoWriteBits(const struct stat& st) {
    return (st.st_mode & 0222) == 0;
}

int AccessFlags(const OpenRequest& r) {
    if (r.read && r.write) return O_RDWR;
    if (r.write) return O_WRONLY;
    return O_RDONLY;
}

// Opens, creating as the disposition says; existed tells whether the file was there before.
int OpenWithDisposition(const std::string& host, const OpenRequest& r, bool& existed) {
    int base = AccessFlags(r) | O_CLOEXEC | O_NOCTTY;
    bool mayCreate = r.disposition == CREATE_NEW || r.disposition == CREATE_ALWAYS ||
                     r.disposition == OPEN_ALWAYS;
    // The file that is there first: opening it is the common case and cheaper than a creation
    // that fails.
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (r.disposition != CREATE_NEW) {
            int fd = ::open(host.c_str(), base);
            if (fd >= 0 || errno != ENOENT || !mayCreate) {
                existed = fd >= 0;
                return fd;
            }
        }
        int fd = ::open(host.c_str(), base | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST || r.disposition == CREATE_NEW) {
            existed = fd < 0;
            return fd;
        }
    }
    errno = ENOENT;
    return -1;
}

ShareRequest ShareOf(const OpenRequest& r) {
    return {r.read, r.write, (r.share & FILE_SHARE_READ) != 0, (r.share & FILE_SHARE_WRITE) != 0};
}

// Sharing marks need a readable description; a write-only handle gets a second one.
bool MarkSharing(FileObject& file, const OpenRequest& r) {
    int lockFd = file.fd();
    if (!r.read && r.write) {
        lockFd =
            ::open(("/proc/self/fd/" + std::to_string(file.fd())).c_str(), O_RDONLY | O_CLOEXEC);
        if (lockFd < 0) return true;  // an unreadable file cannot carry marks
        file.SetLockFd(lockFd);
    }
    switch (TakeShareMarks(lockFd, ShareOf(r))) {
        case ShareResult::Granted:
            return true;
        case ShareResult::Violation:
            SetLastError(ERROR_SHARING_VIOLATION);
            return false;
        case ShareResult::Failed:
            SetLastErrorFromErrno(errno);
            return false;
    }
    return false;
}

// Whether the file opened (its status) is still the one the path names: not removed, not
// replaced. An open file keeps its inode number, so no other file can have taken it.
bool StillAtPath(const struct stat& opened, const std::string& host) {
    struct stat named {};
    return ::stat(host.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

HANDLE OpenHostFileOnce(const std::string& host, const OpenRequest& r, bool& stale) {
    bool existed = false;
    int fd = OpenWithDisposition(host, r, existed);
    if (fd < 0) {
        int err = errno;
        if (err == EISDIR)
            SetLastError(ERROR_ACCESS_DENIED);
        else if (err == EEXIST)
            SetLastError(ERROR_FILE_EXISTS);
        else
            SetLastErrorForPath(err, host);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>(FileObject::Kind::File, fd, host);
    struct stat st {};
    ::fstat(fd, &st);
    bool folderAllowed = (r.flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    // The read-only attribute binds every caller, as on the platform (root included).
    if ((S_ISDIR(st.st_mode) && !folderAllowed) || (existed && r.write && HasNoWriteBits(st))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!S_ISDIR(st.st_mode) && !MarkSharing(*file, r)) return INVALID_HANDLE_VALUE;
    if (S_ISREG(st.st_mode) && !StillAtPath(st, host)) {
        stale = true;
        return INVALID_HANDLE_VALUE;
    }
    bool truncate =
        existed && (r.disposition == CREATE_ALWAYS || r.disposition == TRUNCATE_EXISTING);
    if (truncate && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (r.flags & FILE_FLAG_DELETE_ON_CLOSE) file->SetDeleteOnClose();
    if (S_ISREG(st.st_mode)) file->SetRegular();
    HANDLE handle = NewHandle(std::move(file));
    bool reportExisting =
        existed && (r.disposition == CREATE_ALWAYS || r.disposition == OPEN_ALWAYS);
    SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE OpenHostFile(const std::string& host, const OpenRequest& r) {
    if (r.disposition < CREATE_NEW || r.disposition > TRUNCATE_EXISTING ||
        (r.disposition == TRUNCATE_EXISTING && !r.write)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // A holder that denied this opener's access may have removed or replaced the file before
    // it let go, as a program that empties a shared file deletes it: the platform opens no
    // file that is no longer at its path, so open again what is there now.
    for (int attempt = 0; attempt < 64; ++attempt) {
        bool stale = false;
        HANDLE handle = OpenHostFileOnce(host, r, stale);
        if (!stale) return handle;
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
}

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
    auto file = LookupHandleAs<FileObject>(handle);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

off_t OffsetOf(const OVERLAPPED* overlapped) {
    return static_cast<off_t>((uint64_t(overlapped->OffsetHigh) << 32) | overlapped->Offset);
}

// Reads until the count is reached or the end of the data; false on an error.
bool ReadFully(const FileObject& file, char* buffer, DWORD size, DWORD& done, off_t* offset) {
    while (done < size) {
        ssize_t n;
        if (file.kind() == FileObject::Kind::Pipe)
            n = ::recv(file.fd(), buffer + done, size - done, 0);
        else if (offset)
            n = FaultPread(file.fd(), buffer + done, size - done, *offset + done);
        else
            n = FaultRead(file.fd(), buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        // Short is not the end: network and user-space file systems read short anywhere.
        done += static_cast<DWORD>(n);
    }
    return true;
}

bool WriteFully(const FileObject& file, const char* buffer, DWORD size, DWORD& done,
                off_t* offset) {
    while (done < size) {
        ssize_t n;
        if (file.kind() == FileObject::Kind::Pipe)
            n = ::send(file.fd(), buffer + done, size - done, MSG_NOSIGNAL);
        else if (offset)
            n = FaultPwrite(file.fd(), buffer + done, size - done, *offset + done);
        else
            n = FaultWrite(file.fd(), buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<DWORD>(n);
    }
    return true;
}

}  // namespace
}  // namespace kst::detail

using kst::detail::FileObject;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string_view path(fileName);
    bool write = (desiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    if (kst::detail::IsPipePath(path)) return kst::detail::OpenPipe(path);
    if (kst::detail::IsDevicePath(path)) return kst::detail::OpenDevice(path, write);
    auto host = kst::detail::HostPath(path);
    if (!host) return INVALID_HANDLE_VALUE;
    kst::detail::OpenRequest request;
    request.read = (desiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
    request.write = write;
    request.share = shareMode;
    request.disposition = creationDisposition;
    request.flags = flagsAndAttributes;
    return kst::detail::OpenHostFile(*host, request);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    if (bytesRead) *bytesRead = 0;
    auto file = kst::detail::LookupFile(handle);
    if (!file) return FALSE;
    if (file->kind() == FileObject::Kind::DiskService) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    off_t offset = overlapped ? kst::detail::OffsetOf(overlapped) : 0;
    off_t* at = overlapped ? &offset : nullptr;
    DWORD done = 0;
    bool ok;
    if (file->kind() == FileObject::Kind::RawDevice)
        ok = kst::detail::ReadRawDevice(*file, buffer, bytesToRead, done, at);
    else if (!(ok = kst::detail::ReadFully(*file, static_cast<char*>(buffer), bytesToRead, done,
                                           at)))
        kst::detail::SetLastErrorFromErrno(errno);
    if (bytesRead) *bytesRead = done;
    if (!ok) return FALSE;
    // A pipe whose other end has gone without sending anything is broken, as on the platform.
    if (file->kind() == FileObject::Kind::Pipe && done == 0 && bytesToRead > 0) {
        SetLastError(ERROR_BROKEN_PIPE);
        return FALSE;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (bytesWritten) *bytesWritten = 0;
    auto file = kst::detail::LookupFile(handle);
    if (!file) return FALSE;
    if (file->kind() == FileObject::Kind::DiskService) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (file->kind() == FileObject::Kind::RawDevice) kst::detail::ForgetReadAhead(*file);
    off_t offset = overlapped ? kst::detail::OffsetOf(overlapped) : 0;
    DWORD done = 0;
    bool ok = kst::detail::WriteFully(*file, static_cast<const char*>(buffer), bytesToWrite, done,
                                      overlapped ? &offset : nullptr);
    if (bytesWritten) *bytesWritten = done;
    if (!ok) {
        int err = errno;
        if (err == ENOSPC || err == EDQUOT)
            SetLastError(ERROR_DISK_FULL);
        else
            kst::detail::SetLastErrorFromErrno(err);
        return FALSE;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    auto file = kst::detail::LookupFile(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    if (file->kind() == FileObject::Kind::Pipe) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t move =
        distanceHigh
            ? static_cast<int64_t>((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance))
            : distance;
    int whence = moveMethod == FILE_CURRENT ? SEEK_CUR
                 : moveMethod == FILE_END   ? SEEK_END
                                            : SEEK_SET;
    if (moveMethod > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t pos = ::lseek(file->fd(), move, whence);
    if (pos < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK
                                     : kst::detail::SystemErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (!distanceHigh && uint64_t(pos) > 0xFFFFFFFFu) {
        // Without a high half the position must fit in 32 bits.
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(uint64_t(pos) >> 32);
    // Tells a position whose low half is 0xFFFFFFFF from a failure.
    if (static_cast<DWORD>(pos) == INVALID_SET_FILE_POINTER) SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(pos);
}

DWORD GetFileSize(HANDLE handle, LPDWORD fileSizeHigh) {
    auto file = kst::detail::LookupFile(handle);
    if (!file) return INVALID_FILE_SIZE;
    struct stat st {};
    if (::fstat(file->fd(), &st) != 0) {
        kst::detail::SetLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    off_t size = st.st_size;
    if (S_ISBLK(st.st_mode)) {  // a block device tells its size through a seek
        off_t pos = ::lseek(file->fd(), 0, SEEK_CUR);
        size = std::max<off_t>(::lseek(file->fd(), 0, SEEK_END), 0);
        ::lseek(file->fd(), pos, SEEK_SET);
    }
    if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(uint64_t(size) >> 32);
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL kst::GetFileIdentity(HANDLE handle, FileIdentity* identity) {
    auto file = kst::detail::LookupFile(handle);
    if (!file) return FALSE;
    struct stat st {};
    if (::fstat(file->fd(), &st) != 0) {
        kst::detail::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (identity) *identity = FileIdentity{st.st_dev, st.st_ino};
    return TRUE;
}

BOOL SetEndOfFile(HANDLE handle) {
    auto file = kst::detail::LookupFile(handle);
    if (!file) return FALSE;
    off_t pos = ::lseek(file->fd(), 0, SEEK_CUR);
    if (pos < 0 || ::ftruncate(file->fd(), pos) != 0) {
        kst::detail::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
    auto file = kst::detail::LookupFile(handle);
    if (!file) return FALSE;
    if (file->kind() != FileObject::Kind::File) return TRUE;
    if (::fdatasync(file->fd()) != 0 && errno != EINVAL && errno != EROFS) {
        kst::detail::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

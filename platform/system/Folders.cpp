// Files and folders by name: attributes, creation, copy, move, deletion and listings.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/Errno.h"
#include "internal/Faults.h"
#include "internal/FileAttributes.h"
#include "internal/FileObject.h"
#include "internal/Paths.h"

namespace kst::detail {

DWORD AttributesOf(const struct stat& st) {
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & 0222) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

FILETIME FileTimeOf(const struct timespec& time) {
    constexpr uint64_t kSecondsFrom1601To1970 = 11644473600ull;
    uint64_t ticks = (uint64_t(time.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
                     uint64_t(time.tv_nsec) / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

namespace {

bool StatHost(const std::string& host, struct stat& st) {
    if (::stat(host.c_str(), &st) == 0) return true;
    SetLastErrorForPath(errno, host);
    return false;
}

// Copies the data of one descriptor into another; false with errno set.
bool CopyData(int from, int to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t n = FaultRead(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = FaultWrite(to, buffer.data() + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return false;
            done += w;
        }
    }
}

// Wildcards of the platform: * and ?, letters compared without case; "*.*" is everything.
bool WildcardMatch(const char* pattern, const char* name) {
    if (!*pattern) return !*name;
    if (*pattern == '*') {
        for (const char* rest = name;; ++rest) {
            if (WildcardMatch(pattern + 1, rest)) return true;
            if (!*rest) return false;
        }
    }
    if (!*name) return false;
    bool same = *pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                                       std::tolower(static_cast<unsigned char>(*name));
    return same && WildcardMatch(pattern + 1, name + 1);
}

class FindObject : public KernelObject {
public:
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

WIN32_FIND_DATAA FindDataOf(const std::string& name, const struct stat& st) {
    WIN32_FIND_DATAA data{};
    data.dwFileAttributes = AttributesOf(st);
    data.ftCreationTime = FileTimeOf(st.st_ctim);
    data.ftLastAccessTime = FileTimeOf(st.st_atim);
    data.ftLastWriteTime = FileTimeOf(st.st_mtim);
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    std::snprintf(data.cFileName, sizeof data.cFileName, "%s", name.c_str());
    return data;
}

}  // namespace
}  // namespace kst::detail

using kst::detail::HostPath;
using kst::detail::SetLastErrorForPath;

DWORD GetFileAttributesA(LPCSTR fileName) {
    auto host = HostPath(fileName ? fileName : "");
    struct stat st {};
    if (!host || !kst::detail::StatHost(*host, st)) return INVALID_FILE_ATTRIBUTES;
    return kst::detail::AttributesOf(st);
}

BOOL kst::GetFileIdentity(LPCSTR fileName, FileIdentity* identity) {
    auto host = HostPath(fileName ? fileName : "");
    struct stat st {};
    if (!host || !kst::detail::StatHost(*host, st)) return FALSE;
    if (identity) *identity = FileIdentity{st.st_dev, st.st_ino};
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    auto host = HostPath(pathName ? pathName : "");
    if (!host) return FALSE;
    if (::mkdir(host->c_str(), 0777) == 0) return TRUE;
    if (errno == EEXIST)
        SetLastError(ERROR_ALREADY_EXISTS);
    else if (errno == ENOENT)
        SetLastError(ERROR_PATH_NOT_FOUND);
    else
        kst::detail::SetLastErrorFromErrno(errno);
    return FALSE;
}

int _mkdir(const char* path) {
    if (CreateDirectoryA(path, nullptr)) return 0;
    errno = kst::detail::RuntimeErrnoFromSystemError(GetLastError());
    return -1;
}

BOOL RemoveDirectoryA(LPCSTR pathName) {
    auto host = HostPath(pathName ? pathName : "");
    if (!host) return FALSE;
    if (::rmdir(host->c_str()) == 0) return TRUE;
    if (errno == ENOTDIR)
        SetLastError(ERROR_DIRECTORY);
    else if (errno == ENOTEMPTY || errno == EEXIST)
        SetLastError(ERROR_DIR_NOT_EMPTY);
    else
        SetLastErrorForPath(errno, *host);
    return FALSE;
}

BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
    HANDLE source = CreateFileA(existingFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (source == INVALID_HANDLE_VALUE) return FALSE;
    HANDLE target = CreateFileA(newFileName, GENERIC_WRITE, 0, nullptr,
                                failIfExists ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        CloseHandle(source);
        SetLastError(error);
        return FALSE;
    }
    using kst::detail::FileObject;
    auto from = kst::detail::LookupHandleAs<FileObject>(source);
    auto to = kst::detail::LookupHandleAs<FileObject>(target);
    bool ok = kst::detail::CopyData(from->fd(), to->fd());
    DWORD error = ok ? ERROR_SUCCESS : kst::detail::SystemErrorFromErrno(errno);
    struct stat st {};
    // The copy keeps the original's modification time and permissions, as on the platform.
    if (ok && ::fstat(from->fd(), &st) == 0) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(to->fd(), times);
        ::fchmod(to->fd(), st.st_mode & 07777);
    }
    CloseHandle(source);
    CloseHandle(target);
    if (!ok) {
        SetLastError(error == ERROR_HANDLE_DISK_FULL ? ERROR_DISK_FULL : error);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName) {
    auto from = HostPath(existingFileName ? existingFileName : "");
    if (!from) return FALSE;
    auto to = HostPath(newFileName ? newFileName : "");
    if (!to) return FALSE;
    struct stat st {};
    if (!kst::detail::StatHost(*from, st)) return FALSE;
    if (::renameat2(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str(), RENAME_NOREPLACE) == 0)
        return TRUE;
    int err = errno;
    if (err == EINVAL && ::access(to->c_str(), F_OK) != 0 &&
        ::rename(from->c_str(), to->c_str()) == 0)
        return TRUE;  // a file system without RENAME_NOREPLACE
    if (err == EEXIST || (err == EINVAL && ::access(to->c_str(), F_OK) == 0)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (err == EXDEV && S_ISREG(st.st_mode)) {  // another volume: copy, then delete
        if (!CopyFileA(existingFileName, newFileName, TRUE)) return FALSE;
        return DeleteFileA(existingFileName);
    }
    SetLastErrorForPath(err, *to);
    return FALSE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    auto host = HostPath(fileName ? fileName : "");
    struct stat st {};
    if (!host || !kst::detail::StatHost(*host, st)) return FALSE;
    // Folders and read-only files are not deleted, as on the platform.
    if (S_ISDIR(st.st_mode) || (st.st_mode & 0222) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(host->c_str()) == 0) return TRUE;
    SetLastErrorForPath(errno, *host);
    return FALSE;
}

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
    auto host = HostPath(fileName ? fileName : "");
    if (!host || !findData) {
        if (host) SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto slash = host->rfind('/');
    std::string folder = slash == std::string::npos ? "." : host->substr(0, slash + 1);
    std::string pattern = slash == std::string::npos ? *host : host->substr(slash + 1);
    if (pattern == "*.*") pattern.resize(1);  // "*.*" is everything: "*"
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        SetLastError(errno == ENOENT || errno == ENOTDIR
                         ? ERROR_PATH_NOT_FOUND
                         : kst::detail::SystemErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_shared<kst::detail::FindObject>();
    while (dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (!kst::detail::WildcardMatch(pattern.c_str(), entry->d_name) ||
            ::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0)
            continue;
        find->entries.push_back(kst::detail::FindDataOf(entry->d_name, st));
    }
    ::closedir(dir);
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *findData = find->entries[find->next++];
    SetLastError(ERROR_SUCCESS);
    return kst::detail::NewHandle(std::move(find));
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA findData) {
    auto find = kst::detail::LookupHandleAs<kst::detail::FindObject>(handle);
    if (!find || !findData) {
        SetLastError(find ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    if (!kst::detail::LookupHandleAs<kst::detail::FindObject>(handle) ||
        !kst::detail::ReleaseHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// Path mapping onto the host and the runtime library's path split and join.
#include "internal/Paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/DriveTable.h"
#include "internal/Errno.h"

namespace kst::detail {

bool HasDriveLetter(std::string_view path, char* letter) {
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
        return false;
    if (letter) *letter = path[0];
    return true;
}

std::optional<std::string> HostPath(std::string_view path) {
    std::string host;
    char letter = 0;
    if (HasDriveLetter(path, &letter)) {
        auto drive = FindDrive(letter);
        if (!drive || drive->root.empty()) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return std::nullopt;
        }
        host = drive->root;
        std::string_view rest = path.substr(2);
        while (!rest.empty() && IsSeparator(rest.front())) rest.remove_prefix(1);
        if (!rest.empty()) {
            if (host.empty() || host.back() != '/') host += '/';
            host += rest;
        }
    } else {
        host = path;
    }
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    std::replace(host.begin(), host.end(), '\\', '/');
    return host;
}

bool IsFolder(const std::string& hostPath) {
    struct stat st {};
    return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HostParent(std::string hostPath) {
    while (!hostPath.empty() && hostPath.back() == '/') hostPath.pop_back();
    auto slash = hostPath.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : hostPath.substr(0, slash);
}

void SetLastErrorForPath(int err, const std::string& hostPath) {
    if (err == ENOENT) {
        SetLastError(IsFolder(HostParent(hostPath)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return;
    }
    SetLastErrorFromErrno(err);
}

SplitPath Split(std::string_view path) {
    SplitPath parts;
    if (HasDriveLetter(path)) {
        parts.drive = path.substr(0, 2);
        path.remove_prefix(2);
    }
    size_t lastSep = std::string_view::npos;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsSeparator(path[i])) lastSep = i;
    if (lastSep != std::string_view::npos) {
        parts.dir = path.substr(0, lastSep + 1);
        path.remove_prefix(lastSep + 1);
    }
    auto dot = path.rfind('.');
    if (dot != std::string_view::npos) {
        parts.ext = path.substr(dot);
        path = path.substr(0, dot);
    }
    parts.fname = path;
    return parts;
}

}  // namespace kst::detail

namespace {

void CopyPart(char* out, const std::string& part, size_t capacity) {
    if (!out) return;
    size_t n = std::min(part.size(), capacity - 1);
    std::memcpy(out, part.data(), n);
    out[n] = '\0';
}

// The separator to add after a folder: `/` for a path written with `/` only.
char SeparatorFor(std::string_view path) {
    bool hasSlash = path.find('/') != std::string_view::npos;
    bool hasBackslash = path.find('\\') != std::string_view::npos;
    return hasSlash && !hasBackslash ? '/' : '\\';
}

}  // namespace

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
    auto parts = kst::detail::Split(path ? path : "");
    CopyPart(drive, parts.drive, _MAX_DRIVE);
    CopyPart(dir, parts.dir, _MAX_DIR);
    CopyPart(fname, parts.fname, _MAX_FNAME);
    CopyPart(ext, parts.ext, _MAX_EXT);
}

void _makepath(char* path, const char* drive, const char* dir, const char* fname, const char* ext) {
    std::string out;
    if (drive && *drive) {
        out += drive[0];
        out += ':';
    }
    if (dir && *dir) {
        out += dir;
        if (!kst::detail::IsSeparator(out.back())) out += SeparatorFor(dir);
    }
    if (fname) out += fname;
    if (ext && *ext) {
        if (*ext != '.') out += '.';
        out += ext;
    }
    CopyPart(path, out, _MAX_PATH);
}

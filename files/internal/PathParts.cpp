#include "PathParts.h"

#include <cstring>

#include "KstWin32Files.h"

namespace kst::files {
namespace {

bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

}  // namespace

bool SplitPathParts(const char* path, PathParts& parts) {
    parts = PathParts{};
    if (!path) return true;
    size_t length = std::strlen(path);
    if (length >= MAX_PATH) return false;
    _splitpath(path, parts.drive, parts.dir, parts.fname, parts.ext);
    // The runtime cuts a part that does not fit its buffer: then the parts no longer add up.
    size_t kept = std::strlen(parts.drive) + std::strlen(parts.dir) + std::strlen(parts.fname) +
                  std::strlen(parts.ext);
    if (kept == length) return true;
    parts = PathParts{};
    return false;
}

CString JoinPath(const char* drive, const char* dir, const char* fname, const char* ext) {
    auto length = [](const char* text) { return text ? std::strlen(text) : 0; };
    size_t needed = length(drive) + length(dir) + length(fname) + length(ext);
    if (dir && *dir && !EndsWithSeparator(dir)) ++needed;
    if (ext && *ext && *ext != '.') ++needed;
    if (needed >= MAX_PATH) return CString();
    char path[MAX_PATH];
    _makepath(path, drive, dir, fname, ext);
    return CString(path);
}

bool EndsWithSeparator(const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    return length > 0 && IsSeparator(text[length - 1]);
}

char SeparatorFor(const char* path) {
    bool slash = path && std::strchr(path, '/');
    bool backslash = path && std::strchr(path, '\\');
    return slash && !backslash ? '/' : '\\';
}

}  // namespace kst::files

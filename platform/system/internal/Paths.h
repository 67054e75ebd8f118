// Paths of the library onto host paths: `\` becomes `/`, a drive letter goes through the
// drive table, a path without a drive letter is a host path as it stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kst::detail {

// The host path, or nullopt with the last error set (ERROR_PATH_NOT_FOUND for an empty path,
// a letter without an entry, or a drive without a root folder).
std::optional<std::string> HostPath(std::string_view path);

// "X:" at the start; letter set when it is.
bool HasDriveLetter(std::string_view path, char* letter = nullptr);
inline bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

// The last error of a failed call on a host path: a missing file whose folder is missing too
// is ERROR_PATH_NOT_FOUND, as on the platform.
void SetLastErrorForPath(int err, const std::string& hostPath);
bool IsFolder(const std::string& hostPath);
// The folder a host path is in ("." for a bare name, "/" at the root).
std::string HostParent(std::string hostPath);

struct SplitPath {
    std::string drive, dir, fname, ext;
};
SplitPath Split(std::string_view path);

}  // namespace kst::detail

// Drive types and short path names.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/CodePage.h"
#include "internal/DriveTable.h"
#include "internal/MountTable.h"
#include "internal/Paths.h"

namespace {

bool ReadsOne(const std::string& file) {
    std::ifstream in(file);
    int value = 0;
    return in >> value && value == 1;
}

// A block device is removable when its disk says so; a partition asks its parent disk.
bool IsRemovableDevice(dev_t device) {
    std::string sys =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char resolved[PATH_MAX];
    if (!::realpath(sys.c_str(), resolved)) return false;
    std::string path = resolved;
    if (::access((path + "/removable").c_str(), F_OK) == 0) return ReadsOne(path + "/removable");
    return ReadsOne(path + "/../removable");
}

UINT HostDriveType(const std::string& host) {
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return DRIVE_NO_ROOT_DIR;
    auto mount = kst::detail::FindMount(host);
    if (mount && kst::detail::IsRemoteFileSystem(mount->fileSystem)) return DRIVE_REMOTE;
    if (IsRemovableDevice(st.st_dev)) return DRIVE_REMOVABLE;
    return DRIVE_FIXED;
}

}  // namespace

UINT GetDriveTypeA(LPCSTR rootPathName) {
    std::string_view path = rootPathName ? rootPathName : "";
    char letter = 0;
    // The drive table knows what a letter is, whatever folder below its root is named.
    if (kst::detail::HasDriveLetter(path, &letter)) {
        auto drive = kst::detail::FindDrive(letter);
        return drive ? static_cast<UINT>(drive->type) : DRIVE_NO_ROOT_DIR;
    }
    if (path.empty()) {
        char cwd[PATH_MAX];
        return ::getcwd(cwd, sizeof cwd) ? HostDriveType(cwd) : DRIVE_UNKNOWN;
    }
    auto host = kst::detail::HostPath(path);
    return host ? HostDriveType(*host) : DRIVE_NO_ROOT_DIR;
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD bufferLength) {
    if (!longPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string result = longPath;
    char letter = 0;
    auto drive = kst::detail::HasDriveLetter(result, &letter) ? kst::detail::FindDrive(letter)
                                                              : std::nullopt;
    if (drive && drive->root.empty() && !drive->rawDevice.empty()) {
        // A diskette seen only through its raw device: FAT names are upper case, and the FAT
        // walk decides whether the file is there.
        kst::detail::ToUpper(result);
    } else if (GetFileAttributesA(longPath) == INVALID_FILE_ATTRIBUTES) {
        return 0;
    }
    if (!shortPath || bufferLength <= result.size()) return static_cast<DWORD>(result.size() + 1);
    std::memcpy(shortPath, result.c_str(), result.size() + 1);
    return static_cast<DWORD>(result.size());
}

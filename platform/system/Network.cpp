// Universal names of paths on SMB mounts: a mount of //server/share at /mnt/s gives
// \\server\share\rest for /mnt/s/rest.
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "KstWin32Base.h"
#include "KstWin32System.h"
#include "internal/MountTable.h"
#include "internal/Paths.h"

namespace {

std::string AbsolutePath(const std::string& host) {
    if (!host.empty() && host[0] == '/') return host;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + host : host;
}

std::string Backslashed(std::string text) {
    for (char& ch : text)
        if (ch == '/') ch = '\\';
    return text;
}

// \\server\share for the mount's source, with the mounted sub-folder when it is not the root.
std::string UniversalName(const kst::detail::MountEntry& mount, const std::string& path) {
    std::string name = Backslashed(mount.source);
    while (!name.empty() && name.back() == '\\') name.pop_back();
    if (mount.root != "/" && !mount.root.empty()) name += Backslashed(mount.root);
    std::string rest =
        mount.mountPoint == "/" ? path.substr(1) : path.substr(mount.mountPoint.size());
    if (!rest.empty() && rest[0] != '/') rest.insert(0, 1, '/');
    return name + Backslashed(rest);
}

}  // namespace

DWORD WNetGetUniversalNameA(LPCSTR localPath, DWORD infoLevel, LPVOID buffer, LPDWORD bufferSize) {
    if (!localPath || !bufferSize) return ERROR_INVALID_PARAMETER;
    if (infoLevel != UNIVERSAL_NAME_INFO_LEVEL) return ERROR_NOT_SUPPORTED;
    auto host = kst::detail::HostPath(localPath);
    if (!host) return ERROR_BAD_DEVICE;
    std::string path = AbsolutePath(*host);
    // Callers may have lower-cased the path, as on the platform where case does not matter.
    auto mount = kst::detail::FindMount(path, true);
    if (!mount || !kst::detail::IsSmbFileSystem(mount->fileSystem) ||
        mount->source.rfind("//", 0) != 0)
        return ERROR_NOT_CONNECTED;
    std::string name = UniversalName(*mount, path);
    DWORD needed = static_cast<DWORD>(sizeof(UNIVERSAL_NAME_INFOA) + name.size() + 1);
    if (!buffer || *bufferSize < needed) {
        *bufferSize = needed;
        return ERROR_MORE_DATA;
    }
    auto* info = static_cast<UNIVERSAL_NAME_INFOA*>(buffer);
    char* text = static_cast<char*>(buffer) + sizeof(UNIVERSAL_NAME_INFOA);
    std::memcpy(text, name.c_str(), name.size() + 1);
    info->lpUniversalName = text;
    return NO_ERROR;
}

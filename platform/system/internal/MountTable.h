// The mount table of /proc/self/mountinfo.
#pragma once

#include <optional>
#include <string>

#include "KstExport.h"

namespace kst::detail {

struct MountEntry {
    std::string mountPoint;  // where it is mounted
    std::string root;        // the folder of the mounted file system shown there
    std::string fileSystem;  // nfs, cifs, ext4, ...
    std::string source;      // //server/share, /dev/sda1, ...
};

// The mount holding an absolute host path (the deepest mount point that is a prefix of it).
// With ignoreCase, mount points are compared without regard to case, for paths that callers
// have lower-cased.
std::optional<MountEntry> FindMount(const std::string& hostPath, bool ignoreCase = false);
bool IsRemoteFileSystem(const std::string& fileSystem);
bool IsSmbFileSystem(const std::string& fileSystem);

// Tests read a fixture instead of /proc/self/mountinfo; an empty path restores it.
KST_INTERNAL void SetMountTablePath(const std::string& path);

}  // namespace kst::detail

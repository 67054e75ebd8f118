// The shares of this computer that NetShareEnum lists. By default they are read from Samba's
// configuration (the `path =` of each section of smb.conf, and the user shares); a host or a
// test may supply its own list.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "KstExport.h"

namespace kst {

struct ShareInfo {
    std::string name;  // the share's network name
    std::string path;  // its local folder; empty for shares without one
    std::string remark;
    unsigned type = 0;  // STYPE_DISKTREE, STYPE_PRINTQ, ...
};

using ShareProvider = std::function<std::vector<ShareInfo>()>;
// Returns the previous provider; an empty provider restores the Samba configuration.
KST_API ShareProvider SetShareProvider(ShareProvider provider);

}  // namespace kst

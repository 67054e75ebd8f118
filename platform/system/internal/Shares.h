// This computer's shares for NetShareEnum.
#pragma once

#include <string>
#include <vector>

#include "KstExport.h"
#include "KstPlatformShares.h"

namespace kst::detail {

// The shares of the provider in force (the host's, or Samba's configuration).
std::vector<ShareInfo> CurrentShares();

// Samba's shares: sections of smb.conf with a path, then the user shares.
KST_INTERNAL std::vector<ShareInfo> ReadSambaShares(const std::string& configPath,
                                                    const std::string& usershareFolder);

// The Samba reader over the system's (or the tests') files.
std::vector<ShareInfo> SambaShares();

// Tests point the Samba reader at fixtures; empty paths restore the system's.
KST_INTERNAL void SetSambaPaths(const std::string& configPath, const std::string& usershareFolder);

}  // namespace kst::detail

// Run-time library loading: built-in modules that stand in for the platform's own libraries,
// and shared objects loaded from disk.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KstExport.h"
#include "KstWinTypes.h"

namespace kst::detail {

using ModuleExports = std::vector<std::pair<std::string_view, FARPROC>>;

// The exports of the built-in "netapi32.dll" and "svrapi.dll".
const ModuleExports& NetApi32Exports();
const ModuleExports& SvrApiExports();

// The loaded object (the library itself, the executable, ...) that holds the address; null
// when none does.
KST_INTERNAL HMODULE ModuleOfAddress(const void* address);

// Tests make a library's load fail (by its file name, case-blind) to reach callers' fallbacks.
KST_INTERNAL void SetLibraryLoadBlocked(const std::string& name, bool blocked);

}  // namespace kst::detail

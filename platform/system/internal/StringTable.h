// The module's compiled-in string table.
#pragma once

#include <string>

#include "KstWinTypes.h"

namespace kst::detail {

// The text of a string id in the ANSI code page; false for an id the table does not hold.
bool LoadModuleString(UINT id, std::string& text);

}  // namespace kst::detail

// Entry names and library texts in the ANSI code page.
#pragma once

#include <string>
#include <string_view>

#include "KstString.h"
#include "KstWinTypes.h"

namespace kst::zip {

// An entry name as stored: UTF-8 when flag bit 11 is set, else the OEM code page.
CString NameToAnsi(std::string_view stored, WORD flags);

}  // namespace kst::zip

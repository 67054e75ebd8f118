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

namespace kst::zip {

// The system's text for an error code, for failure reasons ("error N" when it has none).
CString SystemErrorText(DWORD code);

}  // namespace kst::zip

class CException;

namespace kst::zip {

// The framework exception's own message, for failure reasons.
CString ExceptionText(CException* error);

}  // namespace kst::zip

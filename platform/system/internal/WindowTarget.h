// Window handles without a CWnd, for the library's own dialogs.
#pragma once

#include <string>

#include "KstWnd.h"

namespace kst::detail {

HWND CreateWindowTarget(CWnd::MessageHandler handler);
void DestroyWindowTarget(HWND handle);
bool RunFolderDialog(const std::string& title, const std::string& start, std::string& chosen);

}  // namespace kst::detail

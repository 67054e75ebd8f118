// Window handles without a CWnd, for the library's own dialogs and for CWnd itself.
#pragma once

#include <functional>
#include <string>

#include "KstWinTypes.h"

namespace kst::detail {

using WindowHandler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

HWND CreateWindowTarget(WindowHandler handler);
void DestroyWindowTarget(HWND handle);
// Safe while messages are being delivered; a running call of the old handler finishes.
void SetWindowTargetHandler(HWND handle, WindowHandler handler);
bool RunFolderDialog(const std::string& title, const std::string& start, std::string& chosen);

}  // namespace kst::detail

// Shared internal header: the files subsystem's helpers on plain character strings, for the
// other subsystems that need them (archive spanning, diskette access). The one internal
// header of files/ that another subsystem may include; not installed.
#pragma once

#include "KstExport.h"
#include "KstString.h"
#include "KstWinTypes.h"

// Writes the parent folder of path into out (MAX_PATH characters): c:\a\b.txt gives c:\a\,
// c:\a\b\ gives c:\a\, c:\ gives c:. Empty for a path of MAX_PATH characters or more.
KST_INTERNAL void GetParentDir(const char* path, char* out);
// Creates a folder and the folders above it; true when the path exists afterwards (or
// already did). A failure leaves the system's code in the last error.
KST_INTERNAL bool CreateDirTree(const char* path);
KST_INTERNAL bool IsDirExist(const char* path);
// Whether two folder names reach the same folder (c:\dir and C:\DIR\ at once; otherwise by
// creating a probe file in second and looking for it through first).
KST_INTERNAL bool IsSameDir(CString first, CString second);
// Shows the system's text for code (0: the last error) in a message box captioned "Error";
// answers the code shown, 0 when there was none.
KST_INTERNAL DWORD ShowSystemError(DWORD code);
// The folder dialog's callback: on BFFM_INITIALIZED it selects the drive root of the start
// text (data), then the start text itself.
KST_INTERNAL int BrowseCallbackProc(HWND window, UINT message, LPARAM lParam, LPARAM data);

namespace kst::files {

bool EndsWithSeparator(const char* text);
// The separator to append to path: `/` for a path written with `/` only, else `\`.
char SeparatorFor(const char* path);

}  // namespace kst::files

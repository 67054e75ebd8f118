// Creating folder trees, silently or after asking the user.
#include "KstFileService.h"
#include "KstWin32.h"
#include "KstWnd.h"
#include "internal/CodePage.h"
#include "internal/SharedPathHelpers.h"

namespace {

// The library's texts are kept in UTF-8 and shown in the ANSI code page.
CString UserText(const char* utf8Format, const CString& path) {
    CString text;
    text.Format(kst::detail::FromUtf8ToAnsi(utf8Format).c_str(), path.c_str());
    return text;
}

}  // namespace

bool CFileService::CreateFullPath(const CString& path) {
    if (path.IsEmpty()) return true;
    if (path.GetLength() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (IsFileExist(path)) return true;
    CString parent = GetPath(path);
    if (parent.CompareNoCase(path) == 0) return true;  // a root that cannot be split further
    if (!IsFileExist(parent)) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
        if (!CreateFullPath(parent)) return false;
    }
    if (CreateDirectoryA(path, nullptr)) return true;
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND || error == ERROR_ALREADY_EXISTS;
}

int CFileService::CreatePathMsgBox(const CString& path) {
    if (IsDirExist(path)) return 1;
    if (IsFileExist(path)) {
        AfxMessageBox(UserText("Каталог %s создать нельзя, так как уже существует файл с "
                               "таким именем",
                               path),
                      MB_ICONSTOP);
        return 0;
    }
    if (AfxMessageBox(UserText("Каталог %s не найден. Создать его?.", path),
                      MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return 0;
    if (!CreateFullPath(path)) {
        ShowSystemError(0);
        return 0;
    }
    return 1;
}

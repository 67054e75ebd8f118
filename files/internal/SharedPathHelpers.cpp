// The subsystem's helpers on plain character strings: parent folders, folder trees, folder
// identity and the system-error box.
#include "SharedPathHelpers.h"

#include <cstdio>
#include <cstring>

#include "KstFile.h"
#include "KstWin32.h"
#include "PathParts.h"
#include "internal/CodePage.h"

namespace {

// The last system-error text shown; one at a time per process, as callers expect.
char g_systemErrorText[256];

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void GetParentDir(const char* path, char* out) {
    if (!out) return;
    out[0] = '\0';
    size_t length = path ? std::strlen(path) : 0;
    if (length == 0 || length >= MAX_PATH) return;
    char copy[MAX_PATH];
    std::memcpy(copy, path, length + 1);
    // Only one trailing separator goes: c:\a\b\ is the folder b, whose parent is c:\a\.
    if (kst::files::EndsWithSeparator(copy)) copy[length - 1] = '\0';
    kst::files::PathParts parts;
    if (!kst::files::SplitPathParts(copy, parts)) return;
    CString parent = kst::files::JoinPath(parts.drive, parts.dir, nullptr, nullptr);
    std::memcpy(out, parent.c_str(), size_t(parent.GetLength()) + 1);
}

bool CreateDirTree(const char* path) {
    if (!path || !*path) return true;
    if (std::strlen(path) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (Exists(path)) return true;
    char parent[MAX_PATH];
    GetParentDir(path, parent);
    // A root that cannot be split further.
    if (kst::detail::FoldCompare(parent, path) == 0) return true;
    if (!Exists(parent)) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
        if (!CreateDirTree(parent)) return false;
    }
    if (CreateDirectoryA(path, nullptr)) return true;
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND || error == ERROR_ALREADY_EXISTS;
}

bool IsDirExist(const char* path) {
    DWORD attributes = GetFileAttributesA(path ? path : "");
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSameDir(CString first, CString second) {
    for (CString* dir : {&first, &second}) {
        dir->Trim();
        if (!dir->IsEmpty() && !kst::files::EndsWithSeparator(*dir))
            *dir += kst::files::SeparatorFor(*dir);
    }
    if (first.CompareNoCase(second) == 0) return true;

    // Different names may still reach one folder (a link, a mapped drive): leave a probe file
    // through the second name and look for it through the first.
    char probe[MAX_PATH];
    if (!GetTempFileNameA(second, "tmp", 0, probe)) return false;
    CFile file;
    if (file.Open(probe, CFile::modeCreate | CFile::shareExclusive, nullptr)) file.Close();
    kst::files::PathParts parts;
    kst::files::SplitPathParts(probe, parts);
    bool same = Exists(first + parts.fname + parts.ext);
    DeleteFileA(probe);
    return same;
}

DWORD ShowSystemError(DWORD code) {
    if (code == 0) code = GetLastError();
    if (code == 0) return 0;
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length && text) {
        std::snprintf(g_systemErrorText, sizeof g_systemErrorText, "%s", text);
    } else {
        // The system has no text for this code: show it the way the library names system codes.
        std::snprintf(g_systemErrorText, sizeof g_systemErrorText, "Win32:%u", unsigned(code));
    }
    MessageBoxA(nullptr, g_systemErrorText, "Error", MB_ICONSTOP | MB_SETFOREGROUND);
    if (text) LocalFree(text);
    return code;
}

// The shell's folder dialog in its three forms, and the callback that preselects the start.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "KstFileService.h"
#include "KstWin32.h"
#include "internal/SharedPathHelpers.h"
#include "internal/PathParts.h"

namespace {

constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;  // 0x41
constexpr int kWidePathSize = 2600;

void CopyText(char* out, size_t size, const char* text) {
    size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(out, text, length);
    out[length] = '\0';
}

// The start folder handed to the callback, without its trailing separator. The first form
// always drops it; the others keep a lone separator.
CString StartWithoutSeparator(const CString& start, int keepLength) {
    CString copy = start;
    if (copy.GetLength() > keepLength && kst::files::EndsWithSeparator(copy))
        copy = copy.Left(copy.GetLength() - 1);
    return copy;
}

BROWSEINFOA MakeBrowseInfo(HWND owner, LPCITEMIDLIST root, char* display, const CString& title,
                           const CString& start) {
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = root;
    info.pszDisplayName = display;
    info.lpszTitle = title;
    info.ulFlags = kBrowseFlags;
    info.lpfn = BrowseCallbackProc;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    return info;
}

// The chosen folder's path with a trailing separator; false when it has none.
bool ReadChosenPath(LPCITEMIDLIST item, CString& folder) {
    char path[kWidePathSize] = {};
    if (!item || !SHGetPathFromIDListA(item, path) || !*path) return false;
    folder = path;
    CFileService::AddBackSlash(folder);
    return true;
}

// The root text as an item list through the desktop folder. An empty root is parsed too:
// what the desktop answers for it decides.
HRESULT ParseRoot(const CString& root, LPMALLOC allocator, LPITEMIDLIST& list) {
    list = nullptr;
    IShellFolder* desktop = nullptr;
    HRESULT result = SHGetDesktopFolder(&desktop);
    if (FAILED(result)) return result;
    WCHAR wide[kWidePathSize] = {};
    if (!MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, root, -1, wide, kWidePathSize)) {
        desktop->Release();
        return E_INVALIDARG;
    }
    ULONG eaten = 0;
    result = desktop->ParseDisplayName(nullptr, nullptr, wide, &eaten, &list, nullptr);
    desktop->Release();
    if (FAILED(result) && list) {
        allocator->Free(list);
        list = nullptr;
    }
    return result;
}

}  // namespace

int BrowseCallbackProc(HWND window, UINT message, LPARAM, LPARAM data) {
    if (message != BFFM_INITIALIZED || !data) return 0;
    const char* start = reinterpret_cast<const char*>(data);
    char drive[_MAX_DRIVE] = {};
    kst::files::PathParts parts;
    if (kst::files::SplitPathParts(start, parts)) std::memcpy(drive, parts.drive, sizeof drive);
    // Kept beyond this call: a dialog of another thread handles the request later.
    static thread_local char root[_MAX_DRIVE + 1];
    std::snprintf(root, sizeof root, "%s\\", drive);
    SendNotifyMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(root));
    SendNotifyMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start));
    return 0;
}

int CFileService::GetFolder(CString& folder, const CString& title, ITEMIDLIST** chosenItem,
                            HWND owner) {
    char display[MAX_PATH];
    CopyText(display, sizeof display, folder);
    CString start = StartWithoutSeparator(folder, 0);
    BROWSEINFOA info = MakeBrowseInfo(owner, nullptr, display, title, start);
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (!item) return 0;
    CString chosen;
    if (!ReadChosenPath(item, chosen)) chosen.Empty();  // a choice without a path: empty
    if (chosenItem)
        *chosenItem = item;
    else
        CoTaskMemFree(item);
    folder = chosen;
    return 1;
}

long CFileService::GetFolder(CString& folder, const CString& root, const CString& start,
                             const CString& title, HWND owner) {
    LPMALLOC allocator = nullptr;
    HRESULT result = SHGetMalloc(&allocator);
    if (FAILED(result)) return result;
    LPITEMIDLIST rootList = nullptr;
    result = ParseRoot(root, allocator, rootList);
    if (FAILED(result)) {
        allocator->Release();
        return result;
    }
    char display[MAX_PATH];
    CopyText(display, sizeof display, start);
    CString startCopy = StartWithoutSeparator(start, 1);
    BROWSEINFOA info = MakeBrowseInfo(owner, rootList, display, title, startCopy);
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (rootList) allocator->Free(rootList);
    if (!item) {
        allocator->Release();
        return 1;
    }
    bool read = ReadChosenPath(item, folder);  // folder stays as it was without a path
    allocator->Free(item);
    allocator->Release();
    return read ? 0 : 1;
}

long CFileService::GetFolder(CString& folder, const CString& start, LPCITEMIDLIST root,
                             const CString& title, HWND owner) {
    LPMALLOC allocator = nullptr;
    HRESULT result = SHGetMalloc(&allocator);
    if (FAILED(result)) return result;
    char display[MAX_PATH] = {};
    CString startCopy = StartWithoutSeparator(start, 1);
    BROWSEINFOA info = MakeBrowseInfo(owner, root, display, title, startCopy);
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    // Cancelled, or chosen without a path: folder stays as the caller had it.
    bool read = ReadChosenPath(item, folder);
    if (item) allocator->Free(item);
    allocator->Release();
    return read ? 0 : 1;
}

// The shell's folder selection: the dialog asks the host's folder-dialog handler, item lists
// carry a path, and the task allocator is the C heap.
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "KstWin32Ui.h"
#include "internal/CodePage.h"
#include "internal/WindowTarget.h"

namespace {

constexpr HRESULT HResultFromWin32(DWORD code) {
    return code == 0 ? S_OK : static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}

LPITEMIDLIST MakeItemList(const std::string& path) {
    size_t itemSize = sizeof(USHORT) + path.size() + 1;
    if (itemSize > 0xFFFF) return nullptr;
    auto* bytes = static_cast<BYTE*>(CoTaskMemAlloc(itemSize + sizeof(USHORT)));
    if (!bytes) return nullptr;
    USHORT cb = static_cast<USHORT>(itemSize);
    memcpy(bytes, &cb, sizeof cb);
    memcpy(bytes + sizeof cb, path.c_str(), path.size() + 1);
    memset(bytes + itemSize, 0, sizeof(USHORT));
    return reinterpret_cast<LPITEMIDLIST>(bytes);
}

std::string PathOfItemList(LPCITEMIDLIST list) {
    if (!list) return {};
    const auto* bytes = reinterpret_cast<const BYTE*>(list);
    USHORT cb;
    memcpy(&cb, bytes, sizeof cb);
    if (cb <= sizeof cb) return {};
    const char* text = reinterpret_cast<const char*>(bytes + sizeof cb);
    return std::string(text, strnlen(text, cb - sizeof cb));
}

// The folder's own name, as the dialog reports it in the display-name buffer.
std::string LastComponent(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class DialogWindow {
public:
    DialogWindow()
        : m_handle(
              kst::detail::CreateWindowTarget([this](UINT message, WPARAM wParam, LPARAM lParam) {
                  OnMessage(message, wParam, lParam);
              })) {}
    ~DialogWindow() { kst::detail::DestroyWindowTarget(m_handle); }
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    HWND Handle() const { return m_handle; }
    bool HasSelection() const { return m_hasSelection; }
    const std::string& Selection() const { return m_selection; }

private:
    void OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != BFFM_SETSELECTIONA || !lParam) return;
        // wParam TRUE: lParam is a path text; FALSE: an item list.
        m_selection = wParam ? std::string(reinterpret_cast<const char*>(lParam))
                             : PathOfItemList(reinterpret_cast<LPCITEMIDLIST>(lParam));
        m_hasSelection = true;
    }

    HWND m_handle;
    std::string m_selection;
    bool m_hasSelection = false;
};

class TaskAllocator final : public IMalloc {
public:
    ULONG AddRef() override { return 2; }  // one static instance: counts are not kept
    ULONG Release() override { return 1; }
    LPVOID Alloc(SIZE_T size) override { return CoTaskMemAlloc(size); }
    LPVOID Realloc(LPVOID block, SIZE_T size) override { return CoTaskMemRealloc(block, size); }
    void Free(LPVOID block) override { CoTaskMemFree(block); }
    SIZE_T GetSize(LPVOID block) override { return block ? malloc_usable_size(block) : 0; }
    int DidAlloc(LPVOID) override { return -1; }  // cannot tell
    void HeapMinimize() override {}
};

class DesktopFolder final : public IShellFolder {
public:
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override {
        ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT ParseDisplayName(HWND, void*, LPWSTR displayName, ULONG* eaten, LPITEMIDLIST* list,
                             ULONG* attributes) override {
        if (list) *list = nullptr;
        if (!displayName || !list) return E_INVALIDARG;
        std::string path = kst::detail::FromUtf16(displayName, CP_ACP);
        if (path.empty()) return E_INVALIDARG;
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return HResultFromWin32(GetLastError() ? GetLastError() : ERROR_FILE_NOT_FOUND);
        *list = MakeItemList(path);
        if (!*list) return E_OUTOFMEMORY;
        if (eaten) {
            ULONG length = 0;
            while (displayName[length]) ++length;
            *eaten = length;
        }
        if (attributes) *attributes = 0;
        return S_OK;
    }

private:
    std::atomic<ULONG> m_references{1};
};

}  // namespace

LPVOID CoTaskMemAlloc(SIZE_T size) {
    return malloc(size ? size : 1);
}
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size) {
    return realloc(block, size ? size : 1);
}
void CoTaskMemFree(LPVOID block) {
    free(block);
}
void ILFree(LPITEMIDLIST list) {
    CoTaskMemFree(list);
}

HRESULT SHGetMalloc(LPMALLOC* allocator) {
    static TaskAllocator* instance = new TaskAllocator;
    if (!allocator) return E_INVALIDARG;
    *allocator = instance;
    return S_OK;
}

HRESULT SHGetDesktopFolder(IShellFolder** folder) {
    if (!folder) return E_INVALIDARG;
    *folder = new DesktopFolder;
    return S_OK;
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) {
    if (!path) return FALSE;
    path[0] = '\0';
    std::string text = PathOfItemList(list);
    if (text.empty() || text.size() >= MAX_PATH) return FALSE;  // too long for the buffer
    memcpy(path, text.c_str(), text.size() + 1);
    return TRUE;
}

LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) {
    if (!info) return nullptr;
    DialogWindow dialog;
    if (info->lpfn) {
        info->lpfn(dialog.Handle(), BFFM_INITIALIZED, 0, info->lParam);
        kst::FlushPostedMessages();  // a selection posted rather than sent counts too
    }
    std::string start = dialog.HasSelection() ? dialog.Selection() : PathOfItemList(info->pidlRoot);
    std::string chosen;
    if (!kst::detail::RunFolderDialog(info->lpszTitle ? info->lpszTitle : "", start, chosen) ||
        chosen.empty())
        return nullptr;
    if (info->pszDisplayName) {
        std::string name = LastComponent(chosen).substr(0, MAX_PATH - 1);
        memcpy(info->pszDisplayName, name.c_str(), name.size() + 1);
    }
    return MakeItemList(chosen);
}

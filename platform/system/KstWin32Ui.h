// System interfaces of the user interface: message boxes, window messages and the shell's
// folder selection, answered by handlers that the host installs (see KstPlatform.h).
#pragma once

#include "KstExport.h"
#include "KstWinTypes.h"

#define WM_NULL 0x0000u
#define WM_USER 0x0400u

// Message boxes. No owner is needed; a null caption reads "Error".
KST_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Window messages reach the handler of the CWnd behind the handle (KstWnd.h).
// PostMessageA queues the message and returns at once; the messages are handled in order on
// the process's message thread. SendNotifyMessageA handles the message at once when the
// window belongs to the calling thread, else it posts it. SendMessageA always handles it at
// once, on the calling thread.
KST_API BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KST_API BOOL SendNotifyMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KST_API LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KST_API BOOL IsWindow(HWND window);

namespace kst {
// Waits until every message posted so far has been handled (returns at once when called from
// a message handler).
KST_API void FlushPostedMessages();
}  // namespace kst

// Item identifier lists. Here a list holds one item: the folder's path text in the ANSI code
// page, zero-terminated, followed by the terminating zero-sized item.
#pragma pack(push, 1)
struct SHITEMID {
    USHORT cb;  // size of the item including cb; 0 ends the list
    BYTE abID[1];
};
struct ITEMIDLIST {
    SHITEMID mkid;
};
#pragma pack(pop)
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;

typedef int (*BFFCALLBACK)(HWND window, UINT message, LPARAM lParam, LPARAM data);

struct BROWSEINFOA {
    HWND hwndOwner;
    LPCITEMIDLIST pidlRoot;
    LPSTR pszDisplayName;  // MAX_PATH characters: receives the chosen folder's own name
    LPCSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
};
typedef BROWSEINFOA* LPBROWSEINFOA;

#define BIF_RETURNONLYFSDIRS 0x0001u
#define BIF_DONTGOBELOWDOMAIN 0x0002u
#define BIF_EDITBOX 0x0010u
#define BIF_NEWDIALOGSTYLE 0x0040u
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BFFM_INITIALIZED 1u
#define BFFM_SELCHANGED 2u
#define BFFM_SETSTATUSTEXTA (WM_USER + 100)
#define BFFM_ENABLEOK (WM_USER + 101)
#define BFFM_SETSELECTIONA (WM_USER + 102)

// The dialog: BFFM_INITIALIZED reaches the callback first; a BFFM_SETSELECTIONA sent from it
// (wParam TRUE, lParam the path text) becomes the start folder the folder-dialog handler sees,
// else the root's path. Answers the chosen folder (free it with CoTaskMemFree or the shell's
// allocator), or null when cancelled or without a handler.
KST_API LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info);
// Copies the path (at most MAX_PATH characters with the zero); FALSE for an empty list.
KST_API BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);
KST_API void ILFree(LPITEMIDLIST list);

KST_API LPVOID CoTaskMemAlloc(SIZE_T size);
KST_API LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size);
KST_API void CoTaskMemFree(LPVOID block);

// The shell's task allocator: the same heap as CoTaskMemAlloc. One shared instance.
struct KST_API IMalloc {
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual LPVOID Alloc(SIZE_T size) = 0;
    virtual LPVOID Realloc(LPVOID block, SIZE_T size) = 0;
    virtual void Free(LPVOID block) = 0;
    virtual SIZE_T GetSize(LPVOID block) = 0;
    virtual int DidAlloc(LPVOID block) = 0;
    virtual void HeapMinimize() = 0;

protected:
    ~IMalloc() = default;
};
typedef IMalloc* LPMALLOC;

// The desktop folder: parses a path into an item list. Each instance is freed by its last
// Release.
struct KST_API IShellFolder {
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // The display name is a path in UTF-16; an existing folder or file gives S_OK and its list,
    // anything else 0x80070002 (file not found) or E_INVALIDARG and a null list.
    virtual HRESULT ParseDisplayName(HWND owner, void* bindContext, LPWSTR displayName,
                                     ULONG* eaten, LPITEMIDLIST* list, ULONG* attributes) = 0;

protected:
    ~IShellFolder() = default;
};
typedef IShellFolder* LPSHELLFOLDER;

KST_API HRESULT SHGetMalloc(LPMALLOC* allocator);
KST_API HRESULT SHGetDesktopFolder(IShellFolder** folder);

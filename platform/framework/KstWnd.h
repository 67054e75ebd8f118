// CWnd as the target of posted messages, and the framework's message boxes.
#pragma once

#include <functional>
#include <memory>

#include "KstExport.h"
#include "KstObject.h"
#include "KstString.h"
#include "KstWin32Ui.h"

// A window as this library needs one: a handle that messages are posted to, and a handler
// that the host sets to receive them. The handle is valid from construction to destruction;
// messages still queued for a destroyed window are dropped.
class KST_API CWnd : public CObject {
public:
    using MessageHandler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

    CWnd();
    explicit CWnd(MessageHandler handler);
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Safe while messages are being delivered; a running call of the old handler finishes.
    void SetMessageHandler(MessageHandler handler);
    HWND GetSafeHwnd() const { return m_hWnd; }

    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL SendNotifyMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // The names a program of the ANSI build reaches through the system's name mapping.
    BOOL PostMessageA(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return PostMessage(message, wParam, lParam);
    }
    LRESULT SendMessageA(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessage(message, wParam, lParam);
    }
    BOOL SendNotifyMessageA(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendNotifyMessage(message, wParam, lParam);
    }

    HWND m_hWnd = nullptr;
};

// The framework's message box: caption is the program's name; the answer is IDOK, IDCANCEL, ...
KST_API int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
// The text is the string of the module's string table with that id.
KST_API int AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));

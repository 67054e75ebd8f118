// CWnd over the system's window targets, and the framework's message boxes.
#include <cerrno>
#include <string>

#include "KstWnd.h"
#include "internal/CodePage.h"
#include "internal/WindowTarget.h"

CWnd::CWnd() : CWnd(MessageHandler()) {}

CWnd::CWnd(MessageHandler handler) : m_hWnd(kst::detail::CreateWindowTarget(std::move(handler))) {}

CWnd::~CWnd() {
    kst::detail::DestroyWindowTarget(m_hWnd);
}

void CWnd::SetMessageHandler(MessageHandler handler) {
    kst::detail::SetWindowTargetHandler(m_hWnd, std::move(handler));
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::SendNotifyMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendNotifyMessageA(m_hWnd, message, wParam, lParam);
}

// The caption is the program's name, which the system gives in UTF-8; the box takes texts in
// the ANSI code page.
int AfxMessageBox(LPCSTR text, UINT type, UINT) {
    std::string caption =
        kst::detail::Convert(program_invocation_short_name, 65001, kst::detail::AnsiCodePage());
    return MessageBoxA(nullptr, text, caption.c_str(), type);
}

int AfxMessageBox(UINT textId, UINT type, UINT helpId) {
    CString text;
    text.LoadString(textId);
    return AfxMessageBox(text.c_str(), type, helpId);
}

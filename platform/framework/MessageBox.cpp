// Message boxes: the host's handler answers, or stderr and the answer that starts nothing.
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

#include "KstPlatform.h"
#include "KstWnd.h"
#include "internal/CodePage.h"
#include "internal/WindowTarget.h"

namespace {

struct Handlers {
    std::mutex mutex;
    kst::MessageBoxHandler messageBox;
    kst::FolderDialogHandler folderDialog;
};

Handlers& TheHandlers() {
    static Handlers* handlers = new Handlers;  // usable from static destructors of hosts
    return *handlers;
}

int SafeAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return IDOK;
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNO:
            return IDNO;
        case MB_OKCANCEL:
        case MB_YESNOCANCEL:
        case MB_RETRYCANCEL:
        default:
            return IDCANCEL;  // every other button set has a Cancel button
    }
}

}  // namespace

namespace kst {

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    auto& handlers = TheHandlers();
    std::lock_guard lock(handlers.mutex);
    std::swap(handlers.messageBox, handler);
    return handler;
}

FolderDialogHandler SetFolderDialogHandler(FolderDialogHandler handler) {
    auto& handlers = TheHandlers();
    std::lock_guard lock(handlers.mutex);
    std::swap(handlers.folderDialog, handler);
    return handler;
}

namespace detail {

// Called outside the lock, so a handler may install another handler or show another box.
bool RunFolderDialog(const std::string& title, const std::string& start, std::string& chosen) {
    FolderDialogHandler handler;
    {
        auto& handlers = TheHandlers();
        std::lock_guard lock(handlers.mutex);
        handler = handlers.folderDialog;
    }
    return handler && handler(title, start, chosen);
}

}  // namespace detail

}  // namespace kst

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    std::string textString = text ? text : "";
    std::string captionString = caption ? caption : "Error";
    kst::MessageBoxHandler handler;
    {
        auto& handlers = TheHandlers();
        std::lock_guard lock(handlers.mutex);
        handler = handlers.messageBox;
    }
    if (handler) return handler(textString, captionString, type);
    fprintf(stderr, "%s: %s\n", captionString.c_str(), textString.c_str());
    return SafeAnswer(type);
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

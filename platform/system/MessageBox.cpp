// Message boxes and the folder dialog: the host's handlers answer; without one a message box
// goes to stderr and gives the answer that starts nothing.
#include <cstdio>
#include <mutex>
#include <string>

#include "KstPlatform.h"
#include "KstWin32Ui.h"
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

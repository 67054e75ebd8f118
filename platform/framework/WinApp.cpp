// The application object and the program's handles.
#include "KstWinApp.h"

#include "KstWin32Files.h"
#include "KstWin32System.h"

namespace {

CWinApp* g_app = nullptr;

// The command line after the program's name, as the framework hands it to the application.
LPTSTR ArgumentsOf(LPTSTR commandLine) {
    if (!commandLine) return nullptr;
    char* p = commandLine;
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) {
        }
        if (*p) ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

}  // namespace

IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

CWinApp::CWinApp(LPCTSTR lpszAppName) {
    if (lpszAppName) {
        m_strAppName = lpszAppName;
        m_pszAppName = m_strAppName;
    }
    m_bAutoDelete = FALSE;  // a global object: never deleted by a thread's end
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE, LPTSTR lpCmdLine, int nCmdShow) {
    CWinApp* app = g_app;
    if (!app) return TRUE;
    app->m_hInstance = hInstance ? hInstance : GetModuleHandleA(nullptr);
    app->m_lpCmdLine = ArgumentsOf(lpCmdLine ? lpCmdLine : GetCommandLineA());
    app->m_nCmdShow = nCmdShow;
    char path[MAX_PATH] = "";
    GetModuleFileNameA(app->m_hInstance, path, sizeof path);
    CString name(path);
    int slash = name.ReverseFind('/');
    name = name.Mid(slash + 1);
    int dot = name.ReverseFind('.');
    if (dot > 0) name = name.Left(dot);
    app->m_strExeName = name;
    app->m_pszExeName = app->m_strExeName;
    if (!app->m_pszAppName) {
        app->m_strAppName = name;
        app->m_pszAppName = app->m_strAppName;
    }
    return TRUE;
}

CWinApp* AfxGetApp() {
    return g_app;
}

HINSTANCE AfxGetInstanceHandle() {
    return g_app && g_app->m_hInstance ? g_app->m_hInstance : GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() {
    return AfxGetInstanceHandle();
}

LPCTSTR AfxGetAppName() {
    return g_app ? g_app->m_pszAppName : nullptr;
}

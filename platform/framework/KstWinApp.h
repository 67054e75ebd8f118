// CWinApp: the program's one application object, as a console program of the framework has it.
// There is no message loop: AfxWinInit fills in what the object knows of the program, and the
// program's main function does the rest.
#pragma once

#include "KstExport.h"
#include "KstString.h"
#include "KstWinThread.h"

class KST_API CWinApp : public CWinThread {
    DECLARE_DYNAMIC(CWinApp)
public:
    // The name defaults to the program's file name without extension (set by AfxWinInit).
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;

    LPCTSTR m_pszAppName = nullptr;
    LPCTSTR m_pszExeName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    LPTSTR m_lpCmdLine = nullptr;  // the command line after the program's name
    int m_nCmdShow = 0;

private:
    friend BOOL AfxWinInit(HINSTANCE, HINSTANCE, LPTSTR, int);
    CString m_strAppName;
    CString m_strExeName;
};

// Fills in the application object (when there is one); FALSE only when it cannot.
KST_API BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine,
                        int nCmdShow);
// The application object, or null when the program has none.
KST_API CWinApp* AfxGetApp();
// The program's module handle: the one AfxWinInit was given, else GetModuleHandleA(nullptr).
KST_API HINSTANCE AfxGetInstanceHandle();
KST_API HINSTANCE AfxGetResourceHandle();
KST_API LPCTSTR AfxGetAppName();

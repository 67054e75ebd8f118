// The framework's debug diagnostics behind ASSERT, ASSERT_VALID and TRACE of the compatibility
// layer: trace lines go to the debug listener, failed assertions to a message box.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "KstTraceLog.h"
#include "KstWin32Files.h"
#include "KstWin32Ui.h"
#include "KstWnd.h"

KST_API BOOL AfxAssertFailedLine(LPCSTR lpszFileName, int nLine);
KST_API void AfxAssertValidObject(const CObject* pOb, LPCSTR lpszFileName, int nLine);
KST_API void AfxTrace(LPCTSTR lpszFormat, ...) __attribute__((format(printf, 1, 2)));

// Abort ends the program, Retry asks the caller to stop in a debugger, Ignore goes on.
BOOL AfxAssertFailedLine(LPCSTR lpszFileName, int nLine) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    char text[1024];
    std::snprintf(text, sizeof text, "Debug Assertion Failed!\n\nProgram: %s\nFile: %s\nLine: %d",
                  program, lpszFileName ? lpszFileName : "", nLine);
    AfxTrace("%s(%d) : Assertion failed\n", lpszFileName ? lpszFileName : "", nLine);
    switch (
        MessageBoxA(nullptr, text, "Debug Assertion Failed", MB_ABORTRETRYIGNORE | MB_ICONSTOP)) {
        case IDRETRY:
            return TRUE;
        case IDIGNORE:
            return FALSE;
        default:
            std::abort();
    }
}

void AfxAssertValidObject(const CObject* pOb, LPCSTR lpszFileName, int nLine) {
    if (!pOb) {
        if (AfxAssertFailedLine(lpszFileName, nLine)) __builtin_trap();
        return;
    }
    pOb->AssertValid();
}

// Texts longer than the framework's 512-character buffer are cut.
void AfxTrace(LPCTSTR lpszFormat, ...) {
    char buffer[512];
    va_list args;
    va_start(args, lpszFormat);
    if (std::vsnprintf(buffer, sizeof buffer, lpszFormat, args) < 0) buffer[0] = '\0';
    va_end(args);
    OutputDebugStringA(buffer);
}

// The framework's exceptions that carry no data of their own, and the report of any exception
// in a message box.
#include <algorithm>
#include <cstring>

#include "KstObject.h"
#include "KstString.h"
#include "KstWnd.h"

int CException::ReportError(UINT nType, UINT nMessageID) {
    char message[512] = "";
    if (GetErrorMessage(message, sizeof message)) return AfxMessageBox(message, nType);
    if (nMessageID != 0) return AfxMessageBox(nMessageID, nType);
    return AfxMessageBox("An unsupported operation was attempted.", nType);
}

IMPLEMENT_DYNAMIC(CMemoryException, CException)

BOOL CMemoryException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    if (!lpszError || nMaxError == 0) return FALSE;
    const char text[] = "Out of memory.";
    size_t n = std::min<size_t>(sizeof text - 1, nMaxError - 1);
    std::memcpy(lpszError, text, n);
    lpszError[n] = '\0';
    return TRUE;
}

IMPLEMENT_DYNAMIC(CUserException, CException)

void AfxThrowMemoryException() {
    throw new CMemoryException;
}

void AfxThrowUserException() {
    throw new CUserException;
}

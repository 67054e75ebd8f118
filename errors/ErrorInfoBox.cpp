// CErrorInfo's message boxes.
#include "KstErrorInfo.h"
#include "KstTraceLog.h"
#include "KstWnd.h"

namespace {

constexpr UINT kErrorBoxStyle = MB_ICONSTOP | MB_SETFOREGROUND;
constexpr UINT kErrorTextId = 1;  // "Ошибка: %s%s\n%s."

}  // namespace

UINT CErrorInfo::MessageBoxA(UINT type) {
    m_strBoxText = GetErrorMsgForBox();
    if (m_dwError == 0) return 0;
    CTraceLog_Trace("{{ *** ErrorInfo::MessageBox ***\n%s}} *** ErrorInfo::MessageBox ***\n",
                    m_strBoxText.c_str());
    return static_cast<UINT>(AfxMessageBox(m_strBoxText, type | kErrorBoxStyle, 0));
}

UINT CErrorInfo::OneMessageBox(UINT type) {
    if (!m_strBoxText.IsEmpty()) return 0;
    return MessageBoxA(type);
}

void CErrorInfo::ErrorMsgBox(const char* a, const char* b, const char* c) {
    CString text;
    text.Format(kErrorTextId, a ? a : "", b ? b : "", c ? c : "");
    AfxMessageBox(text, MB_OK, 0);
}

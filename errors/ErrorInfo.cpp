// CErrorInfo: construction and the texts of an error.
#include <cstdio>

#include "KstErrorInfo.h"
#include "KstLocalization.h"
#include "KstTraceLog.h"
#include "KstWin32System.h"

namespace {

constexpr DWORD kOwnCodeFlag = 0x20000000u;    // bit 29: one of the library's own codes
constexpr DWORD kOwnNumberMask = 0x1FFFFFFFu;  // the own code's number
const char kDelimiters[] = ";|\n";

bool IsOwnCode(DWORD code) {
    return (code & kOwnCodeFlag) != 0;
}

// What the system says about a code, without its line end; false when it knows nothing.
bool SystemText(DWORD code, CString& text) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length == 0 || !buffer) {
        if (buffer) LocalFree(buffer);
        return false;
    }
    text = CString(buffer);
    LocalFree(buffer);
    int n = text.GetLength();
    if (n > 1 && text[n - 1] == '\n') {
        text = text.Left(--n);
        if (n > 0 && text[n - 1] == '\r') text = text.Left(n - 1);
    }
    return true;
}

// The text for a code the system does not know: dispatch errors by number, others in hex.
CString FallbackText(DWORD code) {
    char buffer[32];
    WORD dispatchNumber = static_cast<WORD>(code - 0x200u);
    if (code >= 0x80040200u && code <= 0x8004FFFFu && dispatchNumber != 0)
        snprintf(buffer, sizeof buffer, "IDispatch error #%d", static_cast<int>(dispatchNumber));
    else
        snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
    return CString(buffer);
}

// The line of section "Message" under key, with its line end; empty when missing.
CString MessageLine(const char* key) {
    CString value;
    if (!theMessage.Lookup("Message", key, value)) return CString();
    return value + "\n";
}

}  // namespace

CErrorInfo::CErrorInfo() {
    CErrorInfo::Init();
}

CErrorInfo::CErrorInfo(const CErrorInfo& other)
    : CErrorData(other), m_strBoxText(other.m_strBoxText), m_eErrorType(other.m_eErrorType) {}

CErrorInfo::CErrorInfo(const CPropertySet& set) {
    SetErrorParam(set);
}

CErrorInfo& CErrorInfo::operator=(const CErrorInfo& other) {
    CErrorData::operator=(other);
    m_strBoxText = other.m_strBoxText;
    m_eErrorType = other.m_eErrorType;
    return *this;
}

CErrorInfo::~CErrorInfo() = default;

void CErrorInfo::Init() {
    CErrorData::Init();
    m_eErrorType = 0;
    m_strBoxText.Empty();
}

CString CErrorInfo::GetOperationName() const {
    return GetOperationName(m_strOperation);
}

CString CErrorInfo::GetOperationName(const CString& operation) {
    CString name;
    if (!theMessage.Lookup("Operation", operation, name)) return CString();
    return name;
}

CString CErrorInfo::Replacement(CString text, CString pairs, const char* delimiters) {
    return CLocalizationCollection::Replacement(text, pairs, delimiters);
}

CString CErrorInfo::GetErrorCodeText() const {
    CString text;
    if (IsOwnCode(m_dwError))
        text.Format("Kst:%u", m_dwError & kOwnNumberMask);
    else
        text.Format("Win32:%u", m_dwError);
    return text;
}

CString CErrorInfo::GetErrorMsgTempl() const {
    if (m_dwError == 0) {
        CTraceLog_Trace(
            "WARNING: CErrorInfo::GetErrorMsgTempl(); m_eErrorType == %u, dwError == %u\n",
            static_cast<unsigned>(m_eErrorType), m_dwError);
        return CString("<Unknown>");
    }
    CString text;
    if (IsOwnCode(m_dwError)) {
        if (!theMessage.Lookup_KError(m_dwError, text)) return CString();
        return text;
    }
    if (!SystemText(m_dwError, text)) text = FallbackText(m_dwError);
    return text;
}

CString CErrorInfo::GetErrorMsg() const {
    if (IsOwnCode(m_dwError)) return Replacement(GetErrorMsgTempl(), m_strDescription, kDelimiters);
    if (m_strDescription.IsEmpty()) return GetErrorMsgTempl();
    return GetErrorMsgTempl() + " (" + m_strDescription + ")";
}

CString CErrorInfo::GetErrorMsgForBox() const {
    // The description goes first unchanged: its own pairs fill the first occurrences.
    CString pairs = m_strDescription;
    pairs += "%Error%=" + GetErrorMsg() + ";";
    pairs += "%ErrorCode%=" + GetErrorCodeText() + ";";
    pairs += "%Operation%=" + GetOperationName() + ";";
    CString boxTemplate;
    if (m_eErrorType != 0) boxTemplate += MessageLine("ErrorOnServer");
    if (!m_strOperation.IsEmpty()) boxTemplate += MessageLine("InsideOperation");
    boxTemplate += MessageLine("ErrorInfo");
    return Replacement(boxTemplate, pairs, kDelimiters);
}

// CObject, the dump context and the framework's exception roots.
#include <cstdio>
#include <cstring>

#include "KstObject.h"

const CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};

CRuntimeClass* CObject::GetRuntimeClass() const {
    return RUNTIME_CLASS(CObject);
}

void CObject::Serialize(CArchive&) {}

void CObject::Dump(CDumpContext& dc) const {
    dc << "a " << GetRuntimeClass()->m_lpszClassName << " at " << static_cast<const void*>(this)
       << "\n";
}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const {
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

BOOL CObject::IsSerializable() const {
    return GetRuntimeClass()->m_wSchema != 0xFFFF;
}

CDumpContext afxDump;

CDumpContext& CDumpContext::operator<<(const char* text) {
    std::fputs(text ? text : "(null)", stderr);
    return *this;
}

CDumpContext& CDumpContext::operator<<(long long value) {
    std::fprintf(stderr, "%lld", value);
    return *this;
}

CDumpContext& CDumpContext::operator<<(const void* pointer) {
    std::fprintf(stderr, "%p", pointer);
    return *this;
}

IMPLEMENT_DYNAMIC(CException, CObject)

BOOL CException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    if (lpszError && nMaxError > 0) *lpszError = '\0';
    return FALSE;
}

void CException::Delete() {
    delete this;
}

IMPLEMENT_DYNAMIC(CArchiveException, CException)

CArchiveException::CArchiveException(int cause, LPCTSTR lpszArchiveName)
    : m_cause(cause), m_strFileName(lpszArchiveName ? lpszArchiveName : "") {}

namespace {

const char* ArchiveCauseText(int cause) {
    switch (cause) {
        case CArchiveException::none:
            return "No error occurred";
        case CArchiveException::readOnly:
            return "Tried to write to an archive opened for loading";
        case CArchiveException::endOfFile:
            return "Reached the end of the archive";
        case CArchiveException::writeOnly:
            return "Tried to read from an archive opened for storing";
        case CArchiveException::badIndex:
            return "Invalid file format";
        case CArchiveException::badClass:
            return "Tried to read an object of an unexpected class";
        case CArchiveException::badSchema:
            return "Tried to read an object of an unsupported version";
        default:
            return "An unknown error occurred while accessing the archive";
    }
}

}  // namespace

BOOL CArchiveException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    if (!lpszError || nMaxError == 0) return FALSE;
    std::string text = ArchiveCauseText(m_cause);
    if (!m_strFileName.empty()) text += " (" + m_strFileName + ")";
    text += ".";
    size_t n = std::min<size_t>(text.size(), nMaxError - 1);
    std::memcpy(lpszError, text.data(), n);
    lpszError[n] = '\0';
    return TRUE;
}

void AfxThrowArchiveException(int cause, LPCTSTR lpszArchiveName) {
    throw new CArchiveException(cause, lpszArchiveName);
}
